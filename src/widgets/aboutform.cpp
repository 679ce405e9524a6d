#include "aboutform.h"

#include "logo.h"

#include "core/paths.h"

#ifdef SENTROVA_HAVE_ICONS
#include "sentrovaicons.h"
#endif

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TAboutForm::TAboutForm(QWidget *parent) : QDialog(parent), m_programDir(Paths::programDir())
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About Velmora Sentrova"));

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setFixedWidth(Logo::StripWidth);
    LogoImage->setScaledContents(true);
    LogoImage->setFrameShape(QFrame::StyledPanel);
    LogoImage->setWordWrap(true);
    LogoImage->setAlignment(Qt::AlignCenter);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
#ifdef SENTROVA_HAVE_ICONS
    QIcon icon = SentrovaIcons::appIcon();
#else
    QIcon icon = QApplication::windowIcon();
#endif
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    ProgramIcon->setPixmap(icon.pixmap(48, 48));

    TitleLabel = new QLabel(QStringLiteral("Velmora Sentrova (2.0)"), this);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    QFont titleFont = TitleLabel->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    TitleLabel->setFont(titleFont);

    MakerLabel = new QLabel(QStringLiteral("Velmora Software Labs"), this);
    MakerLabel->setObjectName(QStringLiteral("MakerLabel"));

    InfoMemo = new QPlainTextEdit(this);
    InfoMemo->setObjectName(QStringLiteral("InfoMemo"));
    InfoMemo->setReadOnly(true);
    InfoMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    InfoMemo->setPlainText(
        QStringLiteral("Velmora Sentrova watches the hosts, services, web pages, disks, files and databases "
                       "of your network and tells you when one of them stops working and when it comes back.\n"
                       "\n"
                       "Eight tests are available: Ping, TCP Connect, URL Request, Disk Space, File/Folder Size, "
                       "File/Folder Present, Compare Files and Database Connect. Each observer object is tested on "
                       "its own interval, on the days its schedule allows; a change of its state is written to the "
                       "event log and runs its alert profile: a message, a sound, a program, an e-mail, a network "
                       "message or a reboot.\n"
                       "\n"
                       "Questions, wishes and bug reports are welcome at the address behind the E-Mail button."));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    HomePageButton = new QPushButton(QStringLiteral("Home Page"), this);
    HomePageButton->setObjectName(QStringLiteral("HomePageButton"));
    HomePageButton->setAutoDefault(false);
    EMailButton = new QPushButton(QStringLiteral("E-Mail"), this);
    EMailButton->setObjectName(QStringLiteral("EMailButton"));
    EMailButton->setAutoDefault(false);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(HomePageButton, &QPushButton::clicked, this, [this] { open(HomePageUrl); });
    connect(EMailButton, &QPushButton::clicked, this, [this] { open(ContactUrl); });

    auto *titleRow = new QHBoxLayout;
    titleRow->addWidget(ProgramIcon);
    auto *titles = new QVBoxLayout;
    titles->addWidget(TitleLabel);
    titles->addWidget(MakerLabel);
    titleRow->addLayout(titles, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(HomePageButton);
    buttons->addWidget(EMailButton);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    auto *right = new QVBoxLayout;
    right->addLayout(titleRow);
    right->addWidget(InfoMemo, 1);
    right->addLayout(buttons);
    auto *main = new QHBoxLayout(this);
    main->addWidget(LogoImage);
    main->addLayout(right, 1);

    setFixedSize(520, 330);
}

void TAboutForm::setVisible(bool visible)
{
    // The logo is read on each showing; a missing or unreadable file is named
    // in the picture's place instead of stopping the box with a message.
    if (visible && !isVisible()) {
        m_logoProblem = Logo::loadPicture(LogoImage, m_programDir);
        if (!m_logoProblem.isEmpty()) {
            LogoImage->setPixmap(QPixmap());
            LogoImage->setScaledContents(false);
            // Let the path wrap after each folder in the narrow strip.
            QString shown = m_logoProblem;
            shown.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
            LogoImage->setText(shown);
            LogoImage->setToolTip(m_logoProblem);
        } else {
            LogoImage->setScaledContents(true);
            LogoImage->setToolTip(QString());
        }
    }
    QDialog::setVisible(visible);
}

void TAboutForm::open(const char *address)
{
    const QUrl url(QString::fromLatin1(address));
    if (m_open)
        m_open(url);
    else
        QDesktopServices::openUrl(url);
}
