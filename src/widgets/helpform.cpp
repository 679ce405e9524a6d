#include "helpform.h"

#include "core/paths.h"

#ifdef SENTROVA_HAVE_ICONS
#include "sentrovaicons.h"
#endif

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>

namespace
{

#ifndef SENTROVA_HAVE_ICONS
// A printer drawn in a few strokes, for a desktop without an icon theme.
QIcon printerIcon()
{
    QIcon themed = QIcon::fromTheme(QStringLiteral("document-print"));
    if (!themed.isNull())
        return themed;
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 3.5, 13, 10)); // paper going in
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(QRectF(3.5, 12.5, 25, 11), 2, 2); // body
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8.5, 19.5, 15, 9)); // paper coming out
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.drawLine(QPointF(11, 23), QPointF(21, 23));
    p.drawLine(QPointF(11, 26), QPointF(19, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 170, 60));
    p.drawEllipse(QPointF(24.5, 16), 1.5, 1.5);
    return QIcon(pm);
}
#endif

bool isExternal(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return !scheme.isEmpty() && scheme != QLatin1String("file") && scheme != QLatin1String("qrc");
}

} // namespace

QVariant HelpBrowser::loadResource(int type, const QUrl &name)
{
    if (type == QTextDocument::HtmlResource && (name.isLocalFile() || name.scheme().isEmpty())) {
        const QString path = name.isLocalFile() ? name.toLocalFile() : name.path();
        if (!QFileInfo(path).isFile())
            return notFoundPage(path);
    }
    return QTextBrowser::loadResource(type, name);
}

QString HelpBrowser::notFoundPage(const QString &path)
{
    return QStringLiteral("<html><head><title>Page not found</title></head><body>"
                          "<h2>Page not found</h2>"
                          "<p>The help page <b>%1</b> cannot be shown: the file does not exist.</p>"
                          "<p>The help pages belong in the folder Help/quimbel beside the program.</p>"
                          "</body></html>")
        .arg(QDir::toNativeSeparators(path).toHtmlEscaped());
}

THelpForm::THelpForm(QWidget *parent) : QMainWindow(parent), m_programDir(Paths::programDir())
{
    setObjectName(QStringLiteral("HelpForm"));
    // A window of its own beside the main window, even with a parent.
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Help"));
    resize(800, 600);

    WebBrowser1 = new HelpBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    // Links are followed here, so that web and mail links can leave.
    WebBrowser1->setOpenLinks(false);
    WebBrowser1->setOpenExternalLinks(false);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this, &THelpForm::linkClicked);
    setCentralWidget(WebBrowser1);

    ToolBar1 = addToolBar(QStringLiteral("Help"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setIconSize(QSize(24, 24));

#ifdef SENTROVA_HAVE_ICONS
    const QIcon backIcon = SentrovaIcons::icon(QStringLiteral("back"));
    const QIcon forwardIcon = SentrovaIcons::icon(QStringLiteral("forward"));
    const QIcon printIcon = SentrovaIcons::icon(QStringLiteral("print"));
    const QIcon closeIcon = SentrovaIcons::icon(QStringLiteral("close"));
#else
    const QIcon backIcon = style()->standardIcon(QStyle::SP_ArrowBack);
    const QIcon forwardIcon = style()->standardIcon(QStyle::SP_ArrowForward);
    const QIcon printIcon = printerIcon();
    const QIcon closeIcon = style()->standardIcon(QStyle::SP_DialogCloseButton);
#endif
    BackAction = ToolBar1->addAction(backIcon, QStringLiteral("Back"));
    BackAction->setObjectName(QStringLiteral("BackAction"));
    ForwardAction = ToolBar1->addAction(forwardIcon, QStringLiteral("Forward"));
    ForwardAction->setObjectName(QStringLiteral("ForwardAction"));
    PrintAction = ToolBar1->addAction(printIcon, QStringLiteral("Print"));
    PrintAction->setObjectName(QStringLiteral("PrintAction"));
    ToolBar1->addSeparator();
    CloseAction = ToolBar1->addAction(closeIcon, QStringLiteral("Close"));
    CloseAction->setObjectName(QStringLiteral("CloseAction"));
    for (QAction *a : {BackAction, ForwardAction, PrintAction, CloseAction})
        a->setToolTip(a->text());

    // Moving past either end of the history does nothing.
    connect(BackAction, &QAction::triggered, WebBrowser1, &QTextBrowser::backward);
    connect(ForwardAction, &QAction::triggered, WebBrowser1, &QTextBrowser::forward);
    connect(WebBrowser1, &QTextBrowser::backwardAvailable, BackAction, &QAction::setEnabled);
    connect(WebBrowser1, &QTextBrowser::forwardAvailable, ForwardAction, &QAction::setEnabled);
    BackAction->setEnabled(false);
    ForwardAction->setEnabled(false);
    connect(PrintAction, &QAction::triggered, this, &THelpForm::print);
    connect(CloseAction, &QAction::triggered, this, &QWidget::hide);
}

QString THelpForm::helpFile(const QString &page) const
{
    return QDir(QDir(m_programDir).filePath(QLatin1String(HelpFolder))).filePath(page);
}

void THelpForm::setVisible(bool visible)
{
    const bool becomesVisible = visible && !isVisible();
    QMainWindow::setVisible(visible);
    // Every new showing starts again at the contents page.
    if (becomesVisible)
        showPage(helpFile(QLatin1String(ContentsPage)));
}

void THelpForm::showHelp()
{
    if (!isVisible()) {
        showMaximized();
        return;
    }
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void THelpForm::showPage(const QString &pathOrUrl)
{
    // A path (absolute, or relative to the working folder) or a URL.
    QUrl url(pathOrUrl);
    if (QFileInfo(pathOrUrl).isAbsolute() || url.scheme().isEmpty())
        url = QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    if (isExternal(url)) {
        linkClicked(url);
        return;
    }
    WebBrowser1->setSource(url);
}

void THelpForm::showOptionsHelp()
{
    showHelp();
    showPage(helpFile(QLatin1String(OptionsPage)));
}

void THelpForm::linkClicked(const QUrl &url)
{
    if (isExternal(url)) {
        if (m_openExternal)
            m_openExternal(url);
        else
            QDesktopServices::openUrl(url);
        return;
    }
    WebBrowser1->setSource(url);
}

void THelpForm::print()
{
    if (m_print) {
        m_print(WebBrowser1->document());
        return;
    }
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // A printer that fails is ignored, like the other toolbar commands.
    WebBrowser1->document()->print(&printer);
}
