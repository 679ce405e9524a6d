#include "selectportform.h"

#include "dialogbuttons.h"
#include "logo.h"

#include "core/paths.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

const QList<TSelectPortForm::Port> &TSelectPortForm::referenceList()
{
    static const QList<Port> ports = {
        {"1", "tcpmux", "TCP Port Service Multiplexer"},
        {"3", "compressnet", "Compression Process"},
        {"5", "rje", "Remote Job Entry"},
        {"7", "echo", "Echo"},
        {"9", "discard", "Discard"},
        {"11", "systat", "Active Users"},
        {"13", "daytime", "Daytime (RFC 867)"},
        {"17", "qotd", "Quote of the Day"},
        {"18", "msp", "Message Send Protocol"},
        {"19", "chargen", "Character Generator"},
        {"20", "ftp-data", "File Transfer [Default Data]"},
        {"21", "ftp", "File Transfer [Control]"},
        {"22", "ssh", "SSH Remote Login Protocol"},
        {"23", "telnet", "Telnet"},
        {"25", "smtp", "Simple Mail Transfer"},
        {"37", "time", "Time"},
        {"38", "rap", "Route Access Protocol"},
        {"39", "rlp", "Resource Location Protocol"},
        {"42", "nameserver", "Host Name Server"},
        {"43", "nicname", "Who Is"},
        {"53", "domain", "Domain Name Server"},
        {"69", "tftp", "Trivial File Transfer"},
        {"70", "gopher", "Gopher"},
        {"79", "finger", "Finger"},
        {"88", "kerberos", "Kerberos"},
        {"92", "npp", "Network Printing Protocol"},
        {"109", "pop2", "Post Office Protocol - Version 2"},
        {"110", "pop3", "Post Office Protocol - Version 3"},
        {"137", "netbios-ns", "NetBIOS Name Service"},
        {"138", "netbios-dgm", "NetBIOS Datagram Service"},
        {"139", "netbios-ssn", "NetBIOS Session Service"},
        {"143", "imap", "Internet Message Access Protocol"},
        {"170", "print-srv", "Network PostScript"},
        {"443", "https", "http protocol over TLS/SSL"},
        {"445", "microsoft-ds", "Microsoft-DS"},
        {"465", "smtps", "smtp protocol over TLS/SSL (was ssmtp)"},
    };
    return ports;
}

TSelectPortForm::TSelectPortForm(QWidget *parent) : QDialog(parent), m_programDir(Paths::programDir())
{
    setObjectName(QStringLiteral("SelectPortForm"));
    setWindowTitle(QStringLiteral("Select Port"));

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setFixedWidth(Logo::StripWidth);
    LogoImage->setScaledContents(true);
    LogoImage->setFrameShape(QFrame::StyledPanel);

    PortListView = new QTableWidget(this);
    PortListView->setObjectName(QStringLiteral("PortListView"));
    PortListView->setColumnCount(3);
    PortListView->setHorizontalHeaderLabels(
        {QStringLiteral("Port"), QStringLiteral("Name"), QStringLiteral("Description")});
    PortListView->verticalHeader()->hide();
    PortListView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    PortListView->verticalHeader()->setDefaultSectionSize(PortListView->fontMetrics().height() + 6);
    PortListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    PortListView->setSelectionMode(QAbstractItemView::SingleSelection);
    PortListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PortListView->setShowGrid(true);
    PortListView->setSortingEnabled(false);
    PortListView->setWordWrap(false);
    PortListView->horizontalHeader()->setSectionsClickable(false);
    PortListView->horizontalHeader()->setHighlightSections(false);
    PortListView->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    PortListView->horizontalHeader()->setStretchLastSection(true);
    PortListView->setColumnWidth(0, 40);
    PortListView->setColumnWidth(1, 80);
    PortListView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PortListView->setMouseTracking(true);
    PortListView->viewport()->setCursor(Qt::PointingHandCursor);
    PortListView->viewport()->installEventFilter(this);

    // The list is filled once, here; it never changes afterwards.
    const auto &ports = referenceList();
    PortListView->setRowCount(int(ports.size()));
    for (int row = 0; row < ports.size(); ++row) {
        const Port &p = ports.at(row);
        PortListView->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(p.port)));
        PortListView->setItem(row, 1, new QTableWidgetItem(QString::fromLatin1(p.name)));
        PortListView->setItem(row, 2, new QTableWidgetItem(QString::fromLatin1(p.description)));
    }
    // The columns are 40 and 80 pixels wide, or wider where the font needs
    // it, so that no port or name is cut off.
    for (int column : {0, 1}) {
        const int designed = PortListView->columnWidth(column);
        PortListView->resizeColumnToContents(column);
        PortListView->setColumnWidth(column, qMax(designed, PortListView->columnWidth(column)));
    }
    connect(PortListView, &QTableWidget::cellEntered, this, [this](int row, int) { hotTrack(row); });
    // A double click on a row picks it, like selecting it and pressing OK.
    connect(PortListView, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });

    const OkCancelButtons buttons = makeOkCancelButtons(this, ReturnOnCancel::PressesCancel);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    auto *right = new QVBoxLayout;
    right->addWidget(PortListView);
    right->addLayout(buttons.row);
    auto *main = new QHBoxLayout(this);
    main->addWidget(LogoImage);
    main->addLayout(right);

    // Wide enough for the longest description without a horizontal scroll.
    PortListView->resizeColumnToContents(2);
    const int listWidth = PortListView->columnWidth(0) + PortListView->columnWidth(1) + PortListView->columnWidth(2) +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * PortListView->frameWidth() + 4;
    const QMargins m = main->contentsMargins();
    setFixedSize(qMax(470, m.left() + Logo::StripWidth + main->spacing() + listWidth + m.right()), 400);
}

QString TSelectPortForm::selectedPort() const
{
    const QModelIndexList rows = PortListView->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return QString();
    return PortListView->item(rows.first().row(), 0)->text();
}

bool TSelectPortForm::selectPort(QString &port)
{
    if (exec() != QDialog::Accepted)
        return false;
    const QString chosen = selectedPort();
    if (chosen.isEmpty())
        return false;
    port = chosen;
    return true;
}

void TSelectPortForm::setVisible(bool visible)
{
    // Each showing reads the logo again; a problem is reported before the
    // picker appears, and the picker then works with the old picture.
    if (visible && !isVisible())
        Logo::load(LogoImage, m_programDir, m_prompt, parentWidget());
    if (!visible)
        hotTrack(-1);
    QDialog::setVisible(visible);
}

bool TSelectPortForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PortListView->viewport() && event->type() == QEvent::Leave)
        hotTrack(-1);
    return QDialog::eventFilter(watched, event);
}

void TSelectPortForm::hotTrack(int row)
{
    if (row == m_hotRow)
        return;
    auto underline = [this](int r, bool on) {
        if (r < 0 || r >= PortListView->rowCount())
            return;
        for (int c = 0; c < PortListView->columnCount(); ++c) {
            QTableWidgetItem *item = PortListView->item(r, c);
            QFont f = item->font();
            f.setUnderline(on);
            item->setFont(f);
        }
    };
    underline(m_hotRow, false);
    m_hotRow = row;
    underline(m_hotRow, true);
}
