#include "objectparamsform.h"

#include "connectionstringeditor.h"

#include "core/ansitext.h"
#include "core/formats.h"
#include "core/prompt.h"
#include "probes/databaseprobe.h"
#include "widgets/dialogbuttons.h"
#include "widgets/selectportform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace
{

const char *const PanelNames[9] = {nullptr,       "NetPanel1",   "NetPanel2",   "NetPanel3",     "DrivePanel1",
                                   "DrivePanel2", "DrivePanel3", "DrivePanel4", "DatabasePanel1"};

const QString AllFilesFilter = QStringLiteral("All files (*)");

QString cut255(const QString &text)
{
    return Ansi::cut(text, 255);
}

} // namespace

TObjectParamsForm::TObjectParamsForm(UserPrompt &prompt, QWidget *parent)
    : QDialog(parent), m_prompt(prompt), m_closeDatabase(&DatabaseProbe::closeConnection)
{
    setObjectName(QStringLiteral("ObjectParamsForm"));
    setWindowTitle(QStringLiteral("Options"));
    m_connectionEditor = new ConnectionStringEditor(this);

    // Ping
    QFrame *p = makePanel(okPing, QStringLiteral("Ping Options"));
    auto *form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    PingHostEdit = new QLineEdit(p);
    PingHostEdit->setObjectName(QStringLiteral("PingHostEdit"));
    PingHostEdit->setToolTip(QStringLiteral("Host name or IP address"));
    PacketSizeEdit = makeNumberBox(INT_MIN, INT_MAX, 56);
    PacketSizeEdit->setObjectName(QStringLiteral("PacketSizeEdit"));
    PacketSizeEdit->setToolTip(QStringLiteral("Echo data size in bytes"));
    TimeoutEdit = makeNumberBox(INT_MIN, INT_MAX, 400);
    TimeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    TimeoutEdit->setToolTip(QStringLiteral("Echo timeout in milliseconds"));
    TTLEdit = makeNumberBox(INT_MIN, INT_MAX, 64);
    TTLEdit->setObjectName(QStringLiteral("TTLEdit"));
    TTLEdit->setToolTip(QStringLiteral("Time to live of the echo request"));
    form->addRow(QStringLiteral("Host name or IP address"), PingHostEdit);
    form->addRow(QStringLiteral("Packet Size"), PacketSizeEdit);
    form->addRow(QStringLiteral("Timeout"), TimeoutEdit);
    form->addRow(QStringLiteral("TTL"), TTLEdit);

    // TCP Connect
    p = makePanel(okTcpConnect, QStringLiteral("TCP Connect Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    TcpHostEdit = new QLineEdit(p);
    TcpHostEdit->setObjectName(QStringLiteral("TcpHostEdit"));
    TcpHostEdit->setToolTip(QStringLiteral("Host name or IP address"));
    PortEdit = makeNumberBox(INT_MIN, INT_MAX, 56);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setToolTip(QStringLiteral("TCP port"));
    SelectPortButton = new QToolButton(p);
    SelectPortButton->setObjectName(QStringLiteral("SelectPortButton"));
    SelectPortButton->setText(QStringLiteral("..."));
    SelectPortButton->setToolTip(QStringLiteral("Select from reference book"));
    connect(SelectPortButton, &QToolButton::clicked, this, &TObjectParamsForm::selectPort);
    auto *portRow = new QHBoxLayout;
    portRow->addWidget(PortEdit);
    portRow->addWidget(SelectPortButton);
    portRow->addStretch();
    form->addRow(QStringLiteral("Host name or IP address"), TcpHostEdit);
    form->addRow(QStringLiteral("Port"), portRow);

    // URL Request
    p = makePanel(okUrl, QStringLiteral("URL Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    UrlEdit = new QLineEdit(p);
    UrlEdit->setObjectName(QStringLiteral("UrlEdit"));
    UrlEdit->setToolTip(QStringLiteral("The address of the page, e.g. http://www.example.com/index.html"));
    ProxyServerEdit = new QLineEdit(p);
    ProxyServerEdit->setObjectName(QStringLiteral("ProxyServerEdit"));
    ProxyServerEdit->setToolTip(QStringLiteral("Proxy host; empty for none"));
    ProxyPortEdit = makeNumberBox(INT_MIN, INT_MAX, 0);
    ProxyPortEdit->setObjectName(QStringLiteral("ProxyPortEdit"));
    ProxyPortEdit->setToolTip(QStringLiteral("Proxy port"));
    form->addRow(QStringLiteral("URL"), UrlEdit);
    form->addRow(QStringLiteral("Proxy Server"), ProxyServerEdit);
    form->addRow(QStringLiteral("Proxy Port"), ProxyPortEdit);

    // Disk Space
    p = makePanel(okDiskSpace, QStringLiteral("Disk Space Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    DiskEdit = new QLineEdit(p);
    DiskEdit->setObjectName(QStringLiteral("DiskEdit"));
    DiskEdit->setToolTip(QStringLiteral("A mount point or any folder on the volume"));
    DriveComboBox = new QComboBox(p);
    DriveComboBox->setObjectName(QStringLiteral("DriveComboBox"));
    DriveComboBox->setToolTip(QStringLiteral("Mounted volumes"));
    DriveComboBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    DriveComboBox->setMinimumContentsLength(8);
    DriveComboBox->setMaximumWidth(160);
    // Choosing a volume writes its mount point into the box.
    connect(DriveComboBox, &QComboBox::activated, this, [this](int index) {
        const QString root = DriveComboBox->itemData(index).toString();
        if (!root.isEmpty())
            DiskEdit->setText(root);
    });
    auto *diskRow = new QHBoxLayout;
    diskRow->addWidget(DiskEdit, 1);
    diskRow->addWidget(DriveComboBox);
    MinFreeEdit = new QLineEdit(Formats::generalNumber(80), p);
    MinFreeEdit->setObjectName(QStringLiteral("MinFreeEdit"));
    MinFreeEdit->setToolTip(QStringLiteral("Megabytes"));
    MinFreeEdit->setFixedWidth(90);
    auto *minFreeRow = new QHBoxLayout;
    minFreeRow->addWidget(MinFreeEdit);
    minFreeRow->addWidget(new QLabel(QStringLiteral("Mb"), p));
    minFreeRow->addStretch();
    form->addRow(QStringLiteral("Disk"), diskRow);
    form->addRow(QStringLiteral("Alert if free space less then"), minFreeRow);

    // File/Folder Size
    p = makePanel(okFolderSize, QStringLiteral("Folder/File size Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    SizeTargetEdit = new QLineEdit(p);
    SizeTargetEdit->setObjectName(QStringLiteral("SizeTargetEdit"));
    SizeTargetEdit->setToolTip(QStringLiteral("Path of a file or a folder"));
    SizeFileButton = makeFileButton(SizeTargetEdit);
    SizeFileButton->setObjectName(QStringLiteral("SizeFileButton"));
    SizeFolderButton = makeFolderButton(SizeTargetEdit);
    SizeFolderButton->setObjectName(QStringLiteral("SizeFolderButton"));
    auto *sizeRow = new QHBoxLayout;
    sizeRow->addWidget(SizeTargetEdit, 1);
    sizeRow->addWidget(SizeFileButton);
    sizeRow->addWidget(SizeFolderButton);
    MaxSizeEdit = new QLineEdit(Formats::generalNumber(80), p);
    MaxSizeEdit->setObjectName(QStringLiteral("MaxSizeEdit"));
    MaxSizeEdit->setToolTip(QStringLiteral("Megabytes"));
    MaxSizeEdit->setFixedWidth(90);
    auto *maxSizeRow = new QHBoxLayout;
    maxSizeRow->addWidget(MaxSizeEdit);
    maxSizeRow->addWidget(new QLabel(QStringLiteral("Mb"), p));
    maxSizeRow->addStretch();
    SubFoldersCheckBox = new QCheckBox(QStringLiteral("Include sub-folders"), p);
    SubFoldersCheckBox->setObjectName(QStringLiteral("SubFoldersCheckBox"));
    SubFoldersCheckBox->setToolTip(QStringLiteral("Also count the files of the folder's sub-folders"));
    form->addRow(QStringLiteral("File/Filder"), sizeRow);
    form->addRow(QStringLiteral("Alert if size more then"), maxSizeRow);
    form->addRow(QString(), SubFoldersCheckBox);

    // File/Folder Present
    p = makePanel(okFilePresent, QStringLiteral("Folder/File present Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    PresentTargetEdit = new QLineEdit(p);
    PresentTargetEdit->setObjectName(QStringLiteral("PresentTargetEdit"));
    PresentTargetEdit->setToolTip(QStringLiteral("Path of a file or a folder"));
    PresentFileButton = makeFileButton(PresentTargetEdit);
    PresentFileButton->setObjectName(QStringLiteral("PresentFileButton"));
    PresentFolderButton = makeFolderButton(PresentTargetEdit);
    PresentFolderButton->setObjectName(QStringLiteral("PresentFolderButton"));
    auto *presentRow = new QHBoxLayout;
    presentRow->addWidget(PresentTargetEdit, 1);
    presentRow->addWidget(PresentFileButton);
    presentRow->addWidget(PresentFolderButton);
    NotExistRadioButton = new QRadioButton(QStringLiteral("file/folder doesn't exist"), p);
    NotExistRadioButton->setObjectName(QStringLiteral("NotExistRadioButton"));
    NotExistRadioButton->setChecked(true);
    ExistRadioButton = new QRadioButton(QStringLiteral("file/folder exist"), p);
    ExistRadioButton->setObjectName(QStringLiteral("ExistRadioButton"));
    auto *alertWhen = new QVBoxLayout;
    alertWhen->addWidget(NotExistRadioButton);
    alertWhen->addWidget(ExistRadioButton);
    form->addRow(QStringLiteral("File/Filder"), presentRow);
    form->addRow(QStringLiteral("Alert when"), alertWhen);

    // Compare Files
    p = makePanel(okCompareFiles, QStringLiteral("Compare Files Options"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    FirstFileEdit = new QLineEdit(p);
    FirstFileEdit->setObjectName(QStringLiteral("FirstFileEdit"));
    FirstFileEdit->setToolTip(QStringLiteral("Path of the first file"));
    FirstFileButton = makeFileButton(FirstFileEdit);
    FirstFileButton->setObjectName(QStringLiteral("FirstFileButton"));
    FirstFileButton->setIcon(QIcon());
    FirstFileButton->setText(QStringLiteral("..."));
    SecondFileEdit = new QLineEdit(p);
    SecondFileEdit->setObjectName(QStringLiteral("SecondFileEdit"));
    SecondFileEdit->setToolTip(QStringLiteral("Path of the second file"));
    SecondFileButton = makeFileButton(SecondFileEdit);
    SecondFileButton->setObjectName(QStringLiteral("SecondFileButton"));
    SecondFileButton->setIcon(QIcon());
    SecondFileButton->setText(QStringLiteral("..."));
    auto *firstRow = new QHBoxLayout;
    firstRow->addWidget(FirstFileEdit, 1);
    firstRow->addWidget(FirstFileButton);
    auto *secondRow = new QHBoxLayout;
    secondRow->addWidget(SecondFileEdit, 1);
    secondRow->addWidget(SecondFileButton);
    AlertWhenComboBox = new QComboBox(p);
    AlertWhenComboBox->setObjectName(QStringLiteral("AlertWhenComboBox"));
    AlertWhenComboBox->addItems({QStringLiteral("Files are different"), QStringLiteral("Files are identical"),
                                 QStringLiteral("1st file equals 2nd file"), QStringLiteral("1st file less 2nd file"),
                                 QStringLiteral("1st file greater 2nd file")});
    AlertWhenComboBox->setToolTip(QStringLiteral("When the two files give an alert"));
    form->addRow(QStringLiteral("1st File"), firstRow);
    form->addRow(QStringLiteral("2nd file "), secondRow);
    form->addRow(QStringLiteral("Alert when"), AlertWhenComboBox);

    // Database Connect
    p = makePanel(okDatabase, QStringLiteral("Database present"));
    form = static_cast<QFormLayout *>(p->layout()->itemAt(1)->layout());
    ConnectionEdit = new QLineEdit(p);
    ConnectionEdit->setObjectName(QStringLiteral("ConnectionEdit"));
    ConnectionEdit->setToolTip(QStringLiteral("Connection string: key=value pairs separated by \";\""));
    SelectDatabaseButton = new QPushButton(QStringLiteral("Select database"), p);
    SelectDatabaseButton->setObjectName(QStringLiteral("SelectDatabaseButton"));
    SelectDatabaseButton->setToolTip(QStringLiteral("Compose the connection string"));
    SelectDatabaseButton->setAutoDefault(false);
    connect(SelectDatabaseButton, &QPushButton::clicked, this, &TObjectParamsForm::selectDatabase);
    auto *dbButtonRow = new QHBoxLayout;
    dbButtonRow->addWidget(SelectDatabaseButton);
    dbButtonRow->addStretch();
    form->addRow(QStringLiteral("Connection to database"), ConnectionEdit);
    form->addRow(QString(), dbButtonRow);

    // All panels share one place, as large as the largest of them (the
    // drive list filled, so that its width counts).
    refreshDrives();
    auto *panelArea = new QWidget(this);
    auto *panelGrid = new QGridLayout(panelArea);
    panelGrid->setContentsMargins(0, 0, 0, 0);
    QSize largest;
    for (qint32 kind = okPing; kind <= okDatabase; ++kind) {
        m_panels[kind]->setParent(panelArea);
        panelGrid->addWidget(m_panels[kind], 0, 0);
        largest = largest.expandedTo(m_panels[kind]->sizeHint());
    }
    panelArea->setMinimumSize(largest.expandedTo(QSize(440, 0)));
    hidePanels();

    // Common controls.
    auto *time = new QGroupBox(QStringLiteral("Time Options"), this);
    IntervalMinEdit = makeNumberBox(0, 59, 5);
    IntervalMinEdit->setObjectName(QStringLiteral("IntervalMinEdit"));
    IntervalMinEdit->setToolTip(QStringLiteral("Minutes of the test interval"));
    IntervalMinEdit->setFixedWidth(60);
    IntervalSecEdit = makeNumberBox(0, 59, 0);
    IntervalSecEdit->setObjectName(QStringLiteral("IntervalSecEdit"));
    IntervalSecEdit->setToolTip(QStringLiteral("Seconds of the test interval"));
    IntervalSecEdit->setFixedWidth(60);
    AlertAfterLabel = new QLabel(QStringLiteral("Alert after"), time);
    AlertAfterEdit = makeNumberBox(INT_MIN, INT_MAX, 1);
    AlertAfterEdit->setObjectName(QStringLiteral("AlertAfterEdit"));
    BadAttemptsLabel = new QLabel(QStringLiteral("bad attempts"), time);
    AlertAfterLabel->setBuddy(AlertAfterEdit);
    AlertAfterEdit->setFixedWidth(60);
    AlertAfterEdit->setToolTip(QStringLiteral("Failed tests in a row before the object alerts, when the program "
                                              "option for it is on; 0 or 1 alerts at the first failure"));
    auto *timeRow = new QHBoxLayout(time);
    timeRow->addWidget(new QLabel(QStringLiteral("Test every"), time));
    timeRow->addWidget(IntervalMinEdit);
    timeRow->addWidget(new QLabel(QStringLiteral("min"), time));
    timeRow->addWidget(IntervalSecEdit);
    timeRow->addWidget(new QLabel(QStringLiteral("sec"), time));
    timeRow->addSpacing(12);
    timeRow->addWidget(AlertAfterLabel);
    timeRow->addWidget(AlertAfterEdit);
    timeRow->addWidget(BadAttemptsLabel);
    timeRow->addStretch();

    CommentEdit = new QLineEdit(this);
    CommentEdit->setObjectName(QStringLiteral("CommentEdit"));
    CommentEdit->setMaxLength(255);
    CommentEdit->setToolTip(QStringLiteral("Free comment; the %COMMENT% of the alert mail"));
    AlertProfileButton = new QPushButton(QStringLiteral("Alert Profile"), this);
    AlertProfileButton->setObjectName(QStringLiteral("AlertProfileButton"));
    AlertProfileButton->setToolTip(QStringLiteral("Choose the alert profile: the one selected in its list is used"));
    AlertProfileButton->setAutoDefault(false);
    ScheduleButton = new QPushButton(QStringLiteral("Schedule"), this);
    ScheduleButton->setObjectName(QStringLiteral("ScheduleButton"));
    ScheduleButton->setToolTip(QStringLiteral("Choose the schedule: the one selected in its list is used"));
    ScheduleButton->setAutoDefault(false);
    connect(AlertProfileButton, &QPushButton::clicked, this, [this] {
        if (m_profiles)
            m_profiles->exec();
    });
    connect(ScheduleButton, &QPushButton::clicked, this, [this] {
        if (m_schedules)
            m_schedules->exec();
    });
    StatusCheckBox = new QCheckBox(QStringLiteral("Enabled"), this);
    StatusCheckBox->setObjectName(QStringLiteral("StatusCheckBox"));
    StatusCheckBox->setToolTip(QStringLiteral("Whether the object is tested on its interval"));
    StatusCheckBox->setChecked(true);
    connect(StatusCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        StatusCheckBox->setText(checked ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
    });
    AlertProfileNameLabel = new QLabel(this);
    AlertProfileNameLabel->setObjectName(QStringLiteral("AlertProfileNameLabel"));
    ScheduleNameLabel = new QLabel(this);
    ScheduleNameLabel->setObjectName(QStringLiteral("ScheduleNameLabel"));
    for (QLabel *l : {AlertProfileNameLabel, ScheduleNameLabel})
        l->setTextFormat(Qt::PlainText);
    connect(AlertProfileButton, &QPushButton::clicked, this, &TObjectParamsForm::refreshAttachedNames);
    connect(ScheduleButton, &QPushButton::clicked, this, &TObjectParamsForm::refreshAttachedNames);

    IntervalWarningLabel = new QLabel(
        QStringLiteral("0:0 means never tested by the timer: the object is tested only when it is added, "
                       "edited or refreshed."),
        this);
    IntervalWarningLabel->setObjectName(QStringLiteral("IntervalWarningLabel"));
    IntervalWarningLabel->setWordWrap(true);
    {
        QPalette warn = IntervalWarningLabel->palette();
        warn.setColor(QPalette::WindowText, QColor(0xa0, 0x40, 0x00));
        IntervalWarningLabel->setPalette(warn);
    }
    connect(IntervalMinEdit, &QSpinBox::valueChanged, this, &TObjectParamsForm::updateIntervalWarning);
    connect(IntervalSecEdit, &QSpinBox::valueChanged, this, &TObjectParamsForm::updateIntervalWarning);

    auto *commentRow = new QHBoxLayout;
    commentRow->addWidget(new QLabel(QStringLiteral("Comment"), this));
    commentRow->addWidget(CommentEdit, 1);
    auto *editorsRow = new QHBoxLayout;
    editorsRow->addWidget(AlertProfileButton);
    editorsRow->addWidget(ScheduleButton);
    editorsRow->addStretch();
    editorsRow->addWidget(StatusCheckBox);
    auto *namesRow = new QHBoxLayout;
    namesRow->addWidget(AlertProfileNameLabel);
    namesRow->addSpacing(16);
    namesRow->addWidget(ScheduleNameLabel);
    namesRow->addStretch();

    const OkCancelButtons buttons = makeOkCancelButtons(this, ReturnOnCancel::PressesOk);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *main = new QVBoxLayout(this);
    main->addWidget(panelArea);
    main->addWidget(line);
    main->addWidget(time);
    main->addWidget(IntervalWarningLabel);
    main->addLayout(commentRow);
    main->addLayout(editorsRow);
    main->addLayout(namesRow);
    main->addLayout(buttons.row);
    // Not resizable: the dialog keeps the size its contents ask for.
    main->setSizeConstraint(QLayout::SetFixedSize);
    IntervalWarningLabel->setMaximumWidth(panelArea->minimumWidth());
    updateIntervalWarning();
    refreshAttachedNames();
}

void TObjectParamsForm::updateIntervalWarning()
{
    IntervalWarningLabel->setVisible(IntervalMinEdit->value() == 0 && IntervalSecEdit->value() == 0);
}

void TObjectParamsForm::setEnabledFlag(bool enabled)
{
    StatusCheckBox->setChecked(enabled);
    StatusCheckBox->setText(enabled ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
}

void TObjectParamsForm::setAttachedNames(const QString &profile, const QString &schedule)
{
    m_keptProfile = profile;
    m_keptSchedule = schedule;
    refreshAttachedNames();
}

void TObjectParamsForm::refreshAttachedNames()
{
    auto shown = [](ObjectNamePicker *picker, const QString &kept) {
        const QString selected = picker ? picker->selectedName() : QString();
        const QString name = selected.isEmpty() ? kept : selected;
        return name.isEmpty() ? QStringLiteral("none") : name;
    };
    AlertProfileNameLabel->setText(QStringLiteral("Alert profile: ") + shown(m_profiles, m_keptProfile));
    ScheduleNameLabel->setText(QStringLiteral("Schedule: ") + shown(m_schedules, m_keptSchedule));
}

void TObjectParamsForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    refreshAttachedNames();
    updateIntervalWarning();
}

QLineEdit *TObjectParamsForm::targetBox(qint32 kind) const
{
    switch (kind) {
    case okPing:
        return PingHostEdit;
    case okTcpConnect:
        return TcpHostEdit;
    case okUrl:
        return UrlEdit;
    case okDiskSpace:
        return DiskEdit;
    case okFolderSize:
        return SizeTargetEdit;
    case okFilePresent:
        return PresentTargetEdit;
    case okCompareFiles:
        return FirstFileEdit;
    case okDatabase:
        return ConnectionEdit;
    default:
        return nullptr;
    }
}

bool TObjectParamsForm::validateTarget(qint32 kind)
{
    QLineEdit *box = targetBox(kind);
    QString text;
    switch (kind) {
    case okPing:
    case okTcpConnect:
        text = QStringLiteral("Enter the host name or IP address to test.");
        break;
    case okUrl:
        text = QStringLiteral("Enter the address of the page to request.");
        break;
    case okDiskSpace:
        text = QStringLiteral("Enter the mount point or a folder of the volume to test.");
        break;
    case okFolderSize:
    case okFilePresent:
        text = QStringLiteral("Enter the file or folder to test.");
        break;
    case okCompareFiles:
        text = QStringLiteral("Enter the first file to compare.");
        break;
    case okDatabase:
        text = QStringLiteral("Enter the connection string of the database.");
        break;
    default:
        return true;
    }
    if (kind == okCompareFiles && box && !box->text().trimmed().isEmpty() && SecondFileEdit->text().trimmed().isEmpty()) {
        box = SecondFileEdit;
        text = QStringLiteral("Enter the second file to compare.");
    } else if (!box || !box->text().trimmed().isEmpty()) {
        return true;
    }
    m_prompt.message(QStringLiteral("Error"), text);
    box->setFocus();
    return false;
}

TObjectParamsForm::~TObjectParamsForm() = default;

QFrame *TObjectParamsForm::makePanel(qint32 kind, const QString &heading)
{
    auto *panel = new QFrame(this);
    panel->setObjectName(QLatin1String(PanelNames[kind]));
    panel->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(panel);
    auto *title = new QLabel(heading, panel);
    title->setObjectName(QLatin1String(PanelNames[kind]) + QStringLiteral("Heading"));
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    title->setFont(f);
    layout->addWidget(title);
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addLayout(form);
    layout->addStretch();
    m_panels[kind] = panel;
    return panel;
}

QSpinBox *TObjectParamsForm::makeNumberBox(int min, int max, int value)
{
    auto *box = new QSpinBox(this);
    box->setRange(min, max);
    box->setValue(value);
    box->setFixedWidth(qMax(box->fontMetrics().horizontalAdvance(QStringLiteral("-2147483648")) / 2 + 60, 90));
    return box;
}

QToolButton *TObjectParamsForm::makeFileButton(QLineEdit *target)
{
    auto *button = new QToolButton(this);
    button->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("Select file"));
    connect(button, &QToolButton::clicked, this, [this, target] {
        const QString file = m_prompt.openFileName(AllFilesFilter, QString(), target->text());
        if (!file.isEmpty())
            target->setText(QDir::toNativeSeparators(file));
    });
    return button;
}

QToolButton *TObjectParamsForm::makeFolderButton(QLineEdit *target)
{
    auto *button = new QToolButton(this);
    button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("SelectFolder"));
    connect(button, &QToolButton::clicked, this, [this, target] {
        const QString title = QStringLiteral("Select Directory");
        const QString folder = m_folderBrowser ? m_folderBrowser(title, target->text())
                                               : QFileDialog::getExistingDirectory(this, title, target->text());
        if (!folder.isEmpty())
            target->setText(QDir::toNativeSeparators(folder));
    });
    return button;
}

QString TObjectParamsForm::panelName(qint32 kind)
{
    return Records::isKnownKind(kind) ? QLatin1String(PanelNames[kind]) : QString();
}

QFrame *TObjectParamsForm::panel(qint32 kind) const
{
    if (!Records::isKnownKind(kind))
        return nullptr;
    return findChild<QFrame *>(panelName(kind));
}

void TObjectParamsForm::hidePanels()
{
    for (qint32 kind = okPing; kind <= okDatabase; ++kind)
        m_panels[kind]->hide();
}

void TObjectParamsForm::showPanel(qint32 kind)
{
    hidePanels();
    if (QFrame *p = panel(kind)) {
        if (kind == okDiskSpace)
            refreshDrives();
        p->show();
    }
}

qint32 TObjectParamsForm::shownKind() const
{
    for (qint32 kind = okPing; kind <= okDatabase; ++kind)
        if (!m_panels[kind]->isHidden())
            return kind;
    return 0;
}

QString TObjectParamsForm::editCaption(qint32 kind)
{
    switch (kind) {
    case okPing:
        return QStringLiteral("Ping Options");
    case okTcpConnect:
        return QStringLiteral("TCP Connect Options");
    case okUrl:
        return QStringLiteral("URL Options");
    case okDiskSpace:
        return QStringLiteral("Disk Space Options");
    case okFolderSize:
        return QStringLiteral("File/Folder Size Options");
    case okFilePresent:
        return QStringLiteral("File/Folder Present Options");
    case okCompareFiles:
        return QStringLiteral("Compare Files Options");
    case okDatabase:
        return QStringLiteral("Database Options");
    default:
        return QString();
    }
}

void TObjectParamsForm::refreshDrives()
{
    const QString current = DiskEdit->text();
    DriveComboBox->clear();
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo &a, const QStorageInfo &b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo &v : volumes) {
        // A file mounted on its own (a container's /etc/hosts) is no volume.
        if (!v.isValid() || !v.isReady() || !QFileInfo(v.rootPath()).isDir())
            continue;
        DriveComboBox->addItem(v.rootPath(), v.rootPath());
        DriveComboBox->setItemData(DriveComboBox->count() - 1,
                                   QStringLiteral("%1 (%2)").arg(v.rootPath(), QString::fromUtf8(v.fileSystemType())),
                                   Qt::ToolTipRole);
    }
    // Show the volume that holds the box's path, when there is one.
    int index = -1;
    if (!current.isEmpty() && QDir::isAbsolutePath(current))
        index = DriveComboBox->findData(QStorageInfo(current).rootPath());
    DriveComboBox->setCurrentIndex(index);
}

QString TObjectParamsForm::targetText(qint32 kind) const
{
    switch (kind) {
    case okPing:
        return PingHostEdit->text();
    case okTcpConnect:
        return TcpHostEdit->text();
    case okUrl:
        return UrlEdit->text();
    case okDiskSpace:
        return DiskEdit->text();
    case okFolderSize:
        return SizeTargetEdit->text();
    case okFilePresent:
        return PresentTargetEdit->text();
    case okCompareFiles:
        return FirstFileEdit->text();
    case okDatabase:
        return ConnectionEdit->text();
    default:
        return QString();
    }
}

QLineEdit *TObjectParamsForm::megabyteBox(qint32 kind) const
{
    if (kind == okDiskSpace)
        return MinFreeEdit;
    if (kind == okFolderSize)
        return MaxSizeEdit;
    return nullptr;
}

bool TObjectParamsForm::parseMegabytes(const QString &text, double &value)
{
    const QString t = text.trimmed();
    bool ok = false;
    double v = QLocale::system().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool TObjectParamsForm::validateNumbers(qint32 kind)
{
    QLineEdit *box = megabyteBox(kind);
    double value = 0;
    if (!box || parseMegabytes(box->text(), value))
        return true;
    m_prompt.message(QStringLiteral("Error"),
                     QStringLiteral("'%1' is not a valid floating point value").arg(box->text()));
    box->setFocus();
    box->selectAll();
    return false;
}

void TObjectParamsForm::loadRecord(const ObserverRecord &rec)
{
    if (const auto *p = rec.params<PingParams>()) {
        PingHostEdit->setText(p->Target);
        PacketSizeEdit->setValue(p->PacketSize);
        TimeoutEdit->setValue(p->Timeout);
        TTLEdit->setValue(p->TTL);
    } else if (const auto *p = rec.params<TcpConnectParams>()) {
        TcpHostEdit->setText(p->Target);
        PortEdit->setValue(p->Port);
    } else if (const auto *p = rec.params<UrlParams>()) {
        UrlEdit->setText(p->Target);
        ProxyServerEdit->setText(p->ProxyServer);
        ProxyPortEdit->setValue(p->ProxyPort);
    } else if (const auto *p = rec.params<DiskSpaceParams>()) {
        DiskEdit->setText(p->Target);
        MinFreeEdit->setText(Formats::generalNumber(p->MinFreeMb));
        refreshDrives();
    } else if (const auto *p = rec.params<FolderSizeParams>()) {
        SizeTargetEdit->setText(p->Target);
        MaxSizeEdit->setText(Formats::generalNumber(p->MaxSizeMb));
        SubFoldersCheckBox->setChecked(p->IncludeSubfolders);
    } else if (const auto *p = rec.params<FilePresentParams>()) {
        PresentTargetEdit->setText(p->Target);
        ExistRadioButton->setChecked(p->AlertIfExists);
        NotExistRadioButton->setChecked(!p->AlertIfExists);
    } else if (const auto *p = rec.params<CompareFilesParams>()) {
        FirstFileEdit->setText(p->Target);
        SecondFileEdit->setText(p->SecondFile);
        // A condition the list does not hold (from a file) shows no entry
        // and is stored back unchanged.
        m_alertWhenKept = p->AlertWhen;
        AlertWhenComboBox->setCurrentIndex(p->AlertWhen >= 0 && p->AlertWhen < AlertWhenComboBox->count() ? p->AlertWhen
                                                                                                          : -1);
    } else if (const auto *p = rec.params<DatabaseParams>()) {
        ConnectionEdit->setText(p->Target);
        ConnectionEdit->setCursorPosition(0);
    }
    IntervalMinEdit->setValue(rec.IntervalMin);
    IntervalSecEdit->setValue(rec.IntervalSec);
    AlertAfterEdit->setValue(rec.AlertAfter);
    CommentEdit->setText(rec.Comment);
    setEnabledFlag(rec.Enabled);
}

bool TObjectParamsForm::storeParams(ObserverRecord &rec) const
{
    const QString target = cut255(targetText(rec.Kind));
    if (auto *p = rec.params<PingParams>()) {
        p->Target = target;
        p->PacketSize = PacketSizeEdit->value();
        p->Timeout = TimeoutEdit->value();
        p->TTL = TTLEdit->value();
    } else if (auto *p = rec.params<TcpConnectParams>()) {
        p->Target = target;
        p->Port = PortEdit->value();
    } else if (auto *p = rec.params<UrlParams>()) {
        p->Target = target;
        p->ProxyServer = cut255(ProxyServerEdit->text());
        p->ProxyPort = ProxyPortEdit->value();
    } else if (auto *p = rec.params<DiskSpaceParams>()) {
        double mb = 0;
        if (!parseMegabytes(MinFreeEdit->text(), mb))
            return false;
        p->Target = target;
        p->MinFreeMb = mb;
    } else if (auto *p = rec.params<FolderSizeParams>()) {
        double mb = 0;
        if (!parseMegabytes(MaxSizeEdit->text(), mb))
            return false;
        p->Target = target;
        p->MaxSizeMb = mb;
        p->IncludeSubfolders = SubFoldersCheckBox->isChecked();
    } else if (auto *p = rec.params<FilePresentParams>()) {
        p->Target = target;
        p->AlertIfExists = ExistRadioButton->isChecked();
    } else if (auto *p = rec.params<CompareFilesParams>()) {
        p->Target = target;
        p->SecondFile = cut255(SecondFileEdit->text());
        const int index = AlertWhenComboBox->currentIndex();
        p->AlertWhen = index >= 0 ? index : m_alertWhenKept;
    } else if (auto *p = rec.params<DatabaseParams>()) {
        p->Target = target;
    } else {
        return false;
    }
    return true;
}

void TObjectParamsForm::storeCommon(ObserverRecord &rec) const
{
    rec.IntervalMin = IntervalMinEdit->value();
    rec.IntervalSec = IntervalSecEdit->value();
    rec.AlertAfter = AlertAfterEdit->value();
    rec.Comment = cut255(CommentEdit->text());
    rec.Enabled = StatusCheckBox->isChecked();
}

void TObjectParamsForm::accept()
{
    // A megabyte box without a number keeps the dialog open: nothing is
    // created or changed until it holds one or the dialog is cancelled.
    if (!validateNumbers(shownKind()))
        return;
    // An object without a target could only ever fail.
    if (!validateTarget(shownKind()))
        return;
    QDialog::accept();
}

void TObjectParamsForm::done(int result)
{
    QDialog::done(result);
    hidePanels();
}

void TObjectParamsForm::selectPort()
{
    if (!m_portPicker)
        return;
    QString port;
    if (m_portPicker->selectPort(port))
        PortEdit->setValue(port.toInt());
}

void TObjectParamsForm::selectDatabase()
{
    if (m_closeDatabase)
        m_closeDatabase();
    QString text = ConnectionEdit->text();
    if (m_connectionEditor->edit(text)) {
        ConnectionEdit->setText(text);
        ConnectionEdit->setCursorPosition(0);
    }
}
