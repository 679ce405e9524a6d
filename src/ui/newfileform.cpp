#include "newfileform.h"

#include "widgets/dialogbuttons.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#if __has_include("sentrovaicons.h")
#include "sentrovaicons.h"
#define SENTROVA_KIND_ICONS 1
#endif

namespace
{

constexpr int KindRole = Qt::UserRole + 1;

QIcon kindIcon(qint32 kind, QStyle *style)
{
#ifdef SENTROVA_KIND_ICONS
    const QIcon icon = SentrovaIcons::kindIcon(kind);
    if (!icon.isNull())
        return icon;
#endif
    static const QStyle::StandardPixmap fallback[9] = {
        QStyle::SP_FileIcon,    QStyle::SP_ComputerIcon, QStyle::SP_DriveNetIcon, QStyle::SP_DirLinkIcon,
        QStyle::SP_DriveHDIcon, QStyle::SP_DirIcon,      QStyle::SP_FileIcon,     QStyle::SP_FileDialogContentsView,
        QStyle::SP_DriveCDIcon};
    return style->standardIcon(fallback[kind >= 1 && kind <= 8 ? kind : 0]);
}

} // namespace

QStringList TNewFileForm::helpText(qint32 kind)
{
    switch (kind) {
    case 1:
        return {QStringLiteral("The ping command verifies connections to remote computer, router or other network "
                               "components by sending ICMP (Internet Control Message Protocol) echo packets to the "
                               "computer and listening for echo reply packets."),
                QStringLiteral("If you want to check a remote network component in common, you have to define server "
                               "IP address (e.g. 192.168.100.1) or name (e.g. www.example.com). You may choose Packet "
                               "Size, Timeout, TTL.")};
    case 2:
        return {
            QStringLiteral("You can check specific TCP/IP service such as HTTP, FTP or any other. You have to enter "
                           "server address and port to be checked. You can use either string (e.x. "
                           "mail.example.com) or dotted notation (e.x. 192.168.100.1) in server address.")};
    case 3:
        return {
            QStringLiteral("Sentrova can do a URL (Universal Resource Locator) check based on the HTTP (web) or FTP "
                           "protocols. A URL should be something like: http://www.example.com/index.html")};
    case 4:
        return {QStringLiteral("Select drive that is to be checked, and specify minimum free space value.")};
    case 5:
        return {
            QStringLiteral("Sentrova can check folder or file size. To add this task enter folder name and specify "
                           "a maximum size."),
            QStringLiteral("You can manually type in the complete path to the folder that you wish to test, or "
                           "click on the \"Browse\" button to the right and you will be presented dialog window for "
                           "select folder."),
            QStringLiteral("Also you can select option \"Include sub-folders\" and program will calculate size for "
                           "folder and all sub-folders in this folder.")};
    case 6:
        return {
            QStringLiteral("Sentrova can check for a file that must exist each time the test is run, or check for a "
                           "file that must not exist each time the test is run. Select \"File exists\" as test type "
                           "and enter file or folder name."),
            QStringLiteral("You can manually type in the complete path and filename that you wish to test, or click "
                           "on the \"Browse\" button to the right and you will be presented a dialog for select "
                           "file.")};
    case 7:
        return {QStringLiteral("You can use this test to compare two files.")};
    case 8:
        return {QStringLiteral("This test check connection to any database. You should specify driver, server`s name, "
                               "database name, login and password.")};
    default:
        return {};
    }
}

TNewFileForm::TNewFileForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NewFileForm"));
    setWindowTitle(QStringLiteral("New object"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    InternetListView =
        makeList({QStringLiteral("Ping"), QStringLiteral("TCP Connect"), QStringLiteral("URL request")}, 1);
    InternetListView->setObjectName(QStringLiteral("InternetListView"));
    DiskListView = makeList({QStringLiteral("Drive space"), QStringLiteral("Folder/File   size"),
                             QStringLiteral("Folder/File present"), QStringLiteral("Compare files")},
                            4);
    DiskListView->setObjectName(QStringLiteral("DiskListView"));
    DatabaseListView = makeList({QStringLiteral("Check database")}, 8);
    DatabaseListView->setObjectName(QStringLiteral("DatabaseListView"));
    PageControl1->addTab(InternetListView, QStringLiteral("Internet"));
    PageControl1->addTab(DiskListView, QStringLiteral("Disk/Files"));
    PageControl1->addTab(DatabaseListView, QStringLiteral("Databases"));
    // Another tab shows no help until one of its icons is selected.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { HelpMemo->clear(); });

    HelpMemo = new QPlainTextEdit(this);
    HelpMemo->setObjectName(QStringLiteral("HelpMemo"));
    HelpMemo->setReadOnly(true);
    HelpMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    HelpMemo->setMinimumHeight(HelpMemo->fontMetrics().lineSpacing() * 8 + 12);

    const OkCancelButtons buttons = makeOkCancelButtons(this, ReturnOnCancel::PressesOk);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;
    auto *main = new QVBoxLayout(this);
    // The icons need little room; the help box gets the rest, so that the
    // longest help fits without scrolling.
    PageControl1->setFixedHeight(PageControl1->tabBar()->sizeHint().height() + 2 * 76 + 16);
    main->addWidget(PageControl1);
    main->addWidget(HelpMemo, 1);
    main->addLayout(buttons.row);

    setFixedSize(470, 420);
}

QListWidget *TNewFileForm::makeList(const QStringList &captions, qint32 firstKind)
{
    auto *list = new QListWidget(this);
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(32, 32));
    list->setGridSize(QSize(104, 76));
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setWrapping(true);
    list->setWordWrap(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < captions.size(); ++i) {
        // "Databases" holds one icon: its kind is 8 whatever the position.
        const qint32 kind = firstKind + i;
        auto *item = new QListWidgetItem(kindIcon(kind, style()), captions.at(i), list);
        item->setData(KindRole, kind);
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    connect(list, &QListWidget::itemSelectionChanged, this, [this, list] { selectionChanged(list); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] {
        if (selectedKind() != 0)
            accept();
    });
    return list;
}

void TNewFileForm::selectionChanged(QListWidget *list)
{
    if (list != currentList())
        return;
    HelpMemo->clear();
    const QList<QListWidgetItem *> selected = list->selectedItems();
    if (selected.isEmpty())
        return;
    HelpMemo->setPlainText(helpText(selected.first()->data(KindRole).toInt()).join(QLatin1Char('\n')));
}

QListWidget *TNewFileForm::currentList() const
{
    return qobject_cast<QListWidget *>(PageControl1->currentWidget());
}

qint32 TNewFileForm::selectedKind() const
{
    const QListWidget *list = currentList();
    if (!list || list->selectedItems().isEmpty())
        return 0;
    return list->selectedItems().first()->data(KindRole).toInt();
}

QString TNewFileForm::selectedCaption() const
{
    const QListWidget *list = currentList();
    if (!list || list->selectedItems().isEmpty())
        return QString();
    return list->selectedItems().first()->text();
}

void TNewFileForm::selectKind(qint32 kind)
{
    for (QListWidget *list : {InternetListView, DiskListView, DatabaseListView}) {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->data(KindRole).toInt() == kind) {
                PageControl1->setCurrentWidget(list);
                list->setCurrentItem(list->item(i));
                list->item(i)->setSelected(true);
                return;
            }
        }
    }
}

void TNewFileForm::setVisible(bool visible)
{
    // Every showing starts on the "Internet" tab.
    if (visible && !isVisible())
        PageControl1->setCurrentIndex(0);
    QDialog::setVisible(visible);
}

void TNewFileForm::accept()
{
    // Without a selected icon there is no kind: OK does nothing.
    if (selectedKind() == 0)
        return;
    QDialog::accept();
}
