#include "mainform.h"

#include "alerts/alertprofileform.h"
#include "alerts/desktopservices.h"
#include "alerts/dispatcher.h"
#include "core/paths.h"
#include "core/prompt.h"
#include "customizetoolbardialog.h"
#include "eventlog/availabilityform.h"
#include "eventlog/loganalyserform.h"
#include "mail/inetmail.h"
#include "metrics/metricsserver.h"
#include "newfileform.h"
#include "objectcommands.h"
#include "listprinter.h"
#include "objectparamsform.h"
#include "probeset.h"
#include "schedules/scheduleform.h"
#include "sentrovaicons.h"
#include "settings/autostart.h"
#include "settings/programoptionform.h"
#include "widgets/aboutform.h"
#include "widgets/helpform.h"
#include "widgets/hottrack.h"
#include "widgets/selectdateform.h"
#include "widgets/selectportform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QWindowStateChangeEvent>

#include <cstdio>

// The desktop calls of the alert actions. Once the program has begun to end,
// an alert that was interrupted (its message box closed by the shut-down)
// starts nothing more: no sound, no program, no network message, no reboot.
class AlertDesktopGuard : public DesktopServices
{
public:
    explicit AlertDesktopGuard(DesktopServices *real) : m_real(real) {}
    bool stopped = false;

    void showMessage(const QString &caption, const QString &text, const QString &key, AlertStyle style) override
    {
        if (!stopped)
            m_real->showMessage(caption, text, key, style);
    }
    void playSound(const QString &file) override
    {
        if (!stopped)
            m_real->playSound(file);
    }
    void shellOpen(const QString &item) override
    {
        if (!stopped)
            m_real->shellOpen(item);
    }
    void netSend(const QString &commandLine) override
    {
        if (!stopped)
            m_real->netSend(commandLine);
    }
    void reboot() override
    {
        if (!stopped)
            m_real->reboot();
    }

private:
    DesktopServices *m_real;
};

// The questions and messages of every window. Once the program has begun to
// end without questions (a signal), nobody may be there to answer: nothing
// is shown any more, each question gets the answer that changes nothing, and
// a message goes to the standard error instead.
class QuietablePrompt : public UserPrompt
{
public:
    explicit QuietablePrompt(UserPrompt *real) : m_real(real) {}
    bool quiet = false;

    Answer confirm(const QString &title, const QString &text) override
    {
        return quiet ? Cancel : m_real->confirm(title, text);
    }
    bool okCancel(const QString &title, const QString &text) override
    {
        return quiet ? false : m_real->okCancel(title, text);
    }
    void message(const QString &title, const QString &text) override
    {
        if (quiet)
            std::fprintf(stderr, "sentrova: %s: %s\n", qPrintable(title), qPrintable(text));
        else
            m_real->message(title, text);
    }
    bool inputText(const QString &caption, const QString &prompt, QString &value) override
    {
        return quiet ? false : m_real->inputText(caption, prompt, value);
    }
    QString openFileName(const QString &filter, const QString &defaultSuffix, const QString &initialName) override
    {
        return quiet ? QString() : m_real->openFileName(filter, defaultSuffix, initialName);
    }
    QString saveFileName(const QString &filter, const QString &defaultSuffix) override
    {
        return quiet ? QString() : m_real->saveFileName(filter, defaultSuffix);
    }

private:
    UserPrompt *m_real;
};

// The maker's addresses, the same as the about box's.
const QString TMainForm::HomePageUrl = QString::fromLatin1(TAboutForm::HomePageUrl);
const QString TMainForm::ContactUrl = QString::fromLatin1(TAboutForm::ContactUrl);

namespace
{

// Draws a row of the main list: the status image before the row caption
// (ItemsListViewCustomDrawItem), the underline of the row under the mouse,
// and the row of a disabled object greyed.
class ObserverRowDelegate : public HotTrackDelegate
{
public:
    ObserverRowDelegate(const MonitorEngine &engine, QObject *parent) : HotTrackDelegate(parent), m_engine(engine) {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        HotTrackDelegate::initStyleOption(option, index);
        const ObserverObject *o = m_engine.object(index.row());
        if (o && !o->record.Enabled) {
            option->state &= ~QStyle::State_Enabled;
            option->palette.setCurrentColorGroup(QPalette::Disabled);
        }
        if (index.column() == ObserverRowModel::HostColumn) {
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->icon = SentrovaIcons::statusIcon(index.data(ObserverRowModel::StatusImageRole).toInt());
            option->decorationSize = QSize(16, 16);
        }
    }

private:
    const MonitorEngine &m_engine;
};

// The tray icon of a state: the program's icon with a round badge in its
// lower right corner, green while every tested object is OK, red while some
// fail, grey while the observer is stopped.
QIcon trayStateIcon(TMainForm::TrayState state)
{
    QIcon out;
    const QColor badge = state == TMainForm::TrayAllOk         ? QColor(0x2e, 0x9d, 0x3a)
                         : state == TMainForm::TraySomeFailing ? QColor(0xd3, 0x2f, 0x2f)
                                                               : QColor(0x8a, 0x8a, 0x8a);
    for (int size : {16, 22, 32, 64}) {
        QPixmap pm = SentrovaIcons::appIcon().pixmap(size, size);
        if (pm.isNull()) {
            pm = QPixmap(size, size);
            pm.fill(Qt::transparent);
        }
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double d = size * 0.55;
        const QRectF dot(size - d - 0.5, size - d - 0.5, d, d);
        p.setPen(QPen(Qt::white, qMax(1.0, size / 16.0)));
        p.setBrush(badge);
        p.drawEllipse(dot);
        p.end();
        out.addPixmap(pm);
    }
    return out;
}

// The main list's view; it tells how wide a column's visible cells are.
class ItemsTable : public QTableView
{
public:
    using QTableView::QTableView;
    int contentWidth(int column) const { return sizeHintForColumn(column); }
};

// The main list's column headings. The view lays itself out again after
// every row added or removed and asks the headings for their size each
// time; measuring the five captions anew cost more than the row itself
// (reading a project of 20,000 objects spent a quarter of its time there).
// The size is kept until the captions, the columns, the font or the style
// change.
class ItemsHeader : public QHeaderView
{
public:
    explicit ItemsHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
    {
        connect(this, &QHeaderView::sectionCountChanged, this, [this] { m_hint = QSize(); });
    }
    QSize sizeHint() const override
    {
        if (!m_hint.isValid())
            m_hint = QHeaderView::sizeHint();
        return m_hint;
    }
    void setModel(QAbstractItemModel *model) override
    {
        if (this->model())
            disconnect(this->model(), nullptr, this, nullptr);
        QHeaderView::setModel(model);
        m_hint = QSize();
        if (!model)
            return;
        const auto forget = [this] { m_hint = QSize(); };
        connect(model, &QAbstractItemModel::headerDataChanged, this, forget);
        connect(model, &QAbstractItemModel::modelReset, this, forget);
        connect(model, &QAbstractItemModel::layoutChanged, this, forget);
    }

protected:
    void changeEvent(QEvent *e) override
    {
        if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
            m_hint = QSize();
        QHeaderView::changeEvent(e);
    }
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::Polish || e->type() == QEvent::LocaleChange)
            m_hint = QSize();
        return QHeaderView::event(e);
    }

private:
    mutable QSize m_hint;
};


} // namespace

TMainForm::TMainForm(UserPrompt *prompt, DesktopServices *desktop, QWidget *parent)
    : QMainWindow(parent), m_quietPrompt(std::make_unique<QuietablePrompt>(prompt)), m_prompt(m_quietPrompt.get()),
      m_desktop(desktop)
{
    setWindowTitle(QStringLiteral("Velmora Sentrova"));
    setWindowIcon(SentrovaIcons::appIcon());
    resize(617, 347);

    m_engine.setEventSink(&m_eventLog);
    m_gate = std::make_unique<ScheduleTestGate>(m_schedules, m_engine);
    m_engine.setScheduleGate(m_gate.get());
    m_project = std::make_unique<ProjectController>(m_engine, *m_prompt);
    // While "Start with my desktop session" is on, its entry starts the
    // project opened or saved last.
    connect(m_project.get(), &ProjectController::fileNameChanged, this, [](const QString &name) {
        Autostart::followProject(QCoreApplication::applicationFilePath(), name);
    });
    m_probes = std::make_unique<ProbeSet>(m_engine);
    m_sendMail = std::make_unique<SendMail>();
    m_alertDesktop = std::make_unique<AlertDesktopGuard>(m_desktop);
    m_dispatcher = std::make_unique<AlertDispatcher>(m_engine, m_profiles, m_options, *m_alertDesktop, *m_sendMail);
    m_engine.setAlertSink(m_dispatcher.get());

    createActions();
    createMenus();
    createToolBar();
    createListView();
    createStatusBar();
    createTrayIcon();
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();

    connect(m_project.get(), &ProjectController::modifiedChanged, SaveToolButton, &QAction::setEnabled);
    SaveToolButton->setEnabled(m_project->isModified());
    // The title names the open project and marks unsaved changes.
    connect(m_project.get(), &ProjectController::modifiedChanged, this, &TMainForm::updateTitle);
    connect(m_project.get(), &ProjectController::fileNameChanged, this, &TMainForm::updateTitle);
    // The observer's state can also change without the action (a test or
    // another window starting it): the button follows.
    connect(&m_engine, &MonitorEngine::startedChanged, StartButton, &QAction::setChecked);
    // The tray icon follows the rows and the observer's state: at once when
    // the observer starts or stops, and at most a few times a second while
    // rows change (counting reads every row).
    auto *trayPause = new QTimer(this);
    trayPause->setSingleShot(true);
    trayPause->setInterval(200);
    connect(trayPause, &QTimer::timeout, this, [this] {
        if (m_trayUpdatePending)
            updateTrayState();
    });
    auto rowsChanged = [this, trayPause] {
        m_trayUpdatePending = true;
        if (!trayPause->isActive())
            trayPause->start();
    };
    for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_engine.model(), changed, trayPause, rowsChanged);
    connect(m_engine.model(), &QAbstractItemModel::dataChanged, trayPause, rowsChanged);
    connect(m_engine.model(), &QAbstractItemModel::modelReset, trayPause, rowsChanged);
    connect(&m_engine, &MonitorEngine::startedChanged, this, &TMainForm::updateTrayState);
    updateTrayState();
    // The first Ping object of a run on a system that allows no ICMP socket
    // tells the user once how to allow ping.
    connect(m_engine.model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                if (m_probes->pingAvailable() || m_pingNoticeShown)
                    return;
                for (int i = first; i <= last; ++i) {
                    const ObserverObject *o = m_engine.object(i);
                    if (o && o->record.Kind == okPing) {
                        m_pingNoticeShown = true;
                        showNotice(QStringLiteral("Ping"), ProbeSet::pingHelp());
                        return;
                    }
                }
            });
}

TMainForm::~TMainForm()
{
    // The view must let go of the engine's model before the engine goes.
    ItemsListView->setModel(nullptr);
    m_engine.setAlertSink(nullptr);
    m_engine.setScheduleGate(nullptr);
    m_engine.setEventSink(nullptr);
    m_dispatcher.reset();
}

QAction *TMainForm::makeAction(const QString &caption, const QString &hint, const QString &icon,
                               const QKeySequence &shortcut, void (TMainForm::*handler)())
{
    auto *a = new QAction(SentrovaIcons::icon(icon), caption, this);
    a->setStatusTip(hint);
    a->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, handler);
    m_allActions << a;
    addAction(a); // shortcuts work while the window has the focus, also with the toolbar hidden
    return a;
}

void TMainForm::createActions()
{
    const QKeySequence none;
    // File
    NewProjectAction =
        makeAction(QStringLiteral("&New project"), QStringLiteral("Create new project file"), QStringLiteral("new"),
                   QKeySequence(Qt::CTRL | Qt::Key_N), &TMainForm::Newproject1Click);
    OpenProjectAction =
        makeAction(QStringLiteral("&Open existing"), QStringLiteral("Opens an existing project file"),
                   QStringLiteral("open"), QKeySequence(Qt::CTRL | Qt::Key_O), &TMainForm::OpenToolButtonClick);
    SaveToolButton =
        makeAction(QStringLiteral("&Save project"), QStringLiteral("Save current project file"), QStringLiteral("save"),
                   QKeySequence(Qt::CTRL | Qt::Key_S), &TMainForm::SaveToolButtonClick);
    SaveProjectAsAction = makeAction(QStringLiteral("S&ave as..."), QStringLiteral("Save project with new name"),
                                     QStringLiteral("saveas"), none, &TMainForm::SaveAs1Click);
    AppendAction = makeAction(QStringLiteral("A&ppend"), QStringLiteral("Append from existing project file"),
                              QStringLiteral("append"), none, &TMainForm::Append1Click);
    PrinterSetupAction = makeAction(QStringLiteral("P&rinter setup"), QStringLiteral("Printer setup"),
                                    QStringLiteral("printersetup"), none, &TMainForm::Printersetup1Click);
    PrintAction = makeAction(QStringLiteral("Pr&int"), QStringLiteral("Print current project"), QStringLiteral("print"),
                             QKeySequence(Qt::CTRL | Qt::Key_P), &TMainForm::Print1Click);
    ExitAction = makeAction(QStringLiteral("&Exit"), QStringLiteral("Exit from Velmora Sentrova"),
                            QStringLiteral("exit"), QKeySequence(Qt::ALT | Qt::Key_F4), &TMainForm::CloseButtonClick);
    // Project
    AddObjectAction =
        makeAction(QStringLiteral("&Add observer object"), QStringLiteral("Add Observer object to Sentrova list"),
                   QStringLiteral("add"), QKeySequence(Qt::CTRL | Qt::Key_A), &TMainForm::Add1Click);
    EditObjectAction = makeAction(QStringLiteral("&Edit selected object"),
                                  QStringLiteral("Edit properties of selected observer object"), QStringLiteral("edit"),
                                  QKeySequence(Qt::CTRL | Qt::Key_E), &TMainForm::EditItemToolButtonClick);
    DeleteObjectAction =
        makeAction(QStringLiteral("&Delete selected"), QStringLiteral("Delete selected observer object"),
                   QStringLiteral("delete"), QKeySequence(Qt::CTRL | Qt::Key_D), &TMainForm::DelItemToolButtonClick);
    StartButton = makeAction(QStringLiteral("&Start observer"), QStringLiteral("Start observer"),
                             QStringLiteral("start"), QKeySequence(Qt::CTRL | Qt::Key_R), &TMainForm::Start1Click);
    StartButton->setCheckable(true);
    RefreshSelectedAction =
        makeAction(QStringLiteral("&Refresh Selected"), QStringLiteral("Refresh Selected"), QStringLiteral("refresh"),
                   QKeySequence(Qt::CTRL | Qt::Key_U), &TMainForm::RefreshToolButtonClick);
    RefreshAllAction = makeAction(QStringLiteral("Re&fresh all"), QStringLiteral("Refresh all objects"),
                                  QStringLiteral("refreshall"), none, &TMainForm::RefreshAll1Click);
    // View
    VewSheduleAction = makeAction(QStringLiteral("&Vew Shedule"), QStringLiteral("Vew Shedule"),
                                  QStringLiteral("schedule"), none, &TMainForm::Schedule1Click);
    AlertProfileAction = makeAction(QStringLiteral("&Alert Profile"), QStringLiteral("View Alert Profile"),
                                    QStringLiteral("alertprofile"), none, &TMainForm::AlertProfile1Click);
    LogAnalyserAction = makeAction(QStringLiteral("&Log Analyser"), QStringLiteral("View Log Analyser"),
                                   QStringLiteral("loganalyser"), none, &TMainForm::Log1Click);
    AvailabilityAction = makeAction(QStringLiteral("Availa&bility"), QStringLiteral("View the availability of every object"),
                                    QStringLiteral("loganalyser"), none, &TMainForm::Availability1Click);
    // Tools
    ProgramOptionAction = makeAction(QStringLiteral("&Program options"), QStringLiteral("Program options"),
                                     QStringLiteral("options"), none, &TMainForm::Programoption1Click);
    CustomizeActionBars1 = makeAction(QStringLiteral("&Customize toolbar"), QStringLiteral("Customize toolbar buttons"),
                                      QStringLiteral("customize"), none, &TMainForm::CustomizeToolbarClick);
    // Help
    HelpAction = makeAction(QStringLiteral("&Help"), QString(), QStringLiteral("help"), QKeySequence(Qt::Key_F1),
                            &TMainForm::Help2Click);
    HomePageAction = makeAction(QStringLiteral("H&ome Page"), QStringLiteral("Velmora Software Labs Home Page"),
                                QStringLiteral("homepage"), none, &TMainForm::HomePage1Click);
    ContactAsAction = makeAction(QStringLiteral("&Contact As"), QStringLiteral("Contact As"), QStringLiteral("contact"),
                                 none, &TMainForm::Mailme1Click);
    AboutAction = makeAction(QStringLiteral("About"), QStringLiteral("About Velmora Sentrova"), QStringLiteral("about"),
                             none, &TMainForm::AboutToolButtonClick);
}

void TMainForm::createMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({NewProjectAction, OpenProjectAction, SaveToolButton, SaveProjectAsAction});
    file->addSeparator();
    file->addAction(AppendAction);
    file->addSeparator();
    file->addActions({PrinterSetupAction, PrintAction});
    file->addSeparator();
    file->addAction(ExitAction);

    QMenu *project = menuBar()->addMenu(QStringLiteral("&Project"));
    project->addActions({AddObjectAction, EditObjectAction, DeleteObjectAction});
    project->addSeparator();
    project->addAction(StartButton);
    project->addSeparator();
    project->addActions({RefreshSelectedAction, RefreshAllAction});

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions({VewSheduleAction, AlertProfileAction, LogAnalyserAction, AvailabilityAction});

    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->addActions({ProgramOptionAction, CustomizeActionBars1});

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(HelpAction);
    help->addSeparator();
    help->addActions({HomePageAction, ContactAsAction});
    help->addSeparator();
    help->addAction(AboutAction);
}

void TMainForm::createToolBar()
{
    ToolBar = addToolBar(QStringLiteral("Toolbar"));
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->setMovable(false);
    ToolBar->setIconSize(QSize(24, 24));
    m_defaultToolbar = {
        NewProjectAction, OpenProjectAction, SaveToolButton,     nullptr,          PrintAction, nullptr,
        AddObjectAction,  EditObjectAction,  DeleteObjectAction, nullptr,          StartButton, RefreshSelectedAction,
        nullptr,          VewSheduleAction,  AlertProfileAction, LogAnalyserAction};
    setToolbarLayout(m_defaultToolbar);
}

QList<QAction *> TMainForm::toolbarLayout() const
{
    QList<QAction *> out;
    for (QAction *a : ToolBar->actions())
        out << (a->isSeparator() ? nullptr : a);
    return out;
}

void TMainForm::setToolbarLayout(const QList<QAction *> &layout)
{
    ToolBar->clear();
    for (QAction *a : layout) {
        if (a)
            ToolBar->addAction(a);
        else
            ToolBar->addSeparator();
    }
}

void TMainForm::createListView()
{
    ItemsListView = new ItemsTable(this);
    ItemsListView->setObjectName(QStringLiteral("ItemsListView"));
    ItemsListView->setHorizontalHeader(new ItemsHeader(ItemsListView));
    ItemsListView->setModel(m_engine.model());
    auto *delegate = new ObserverRowDelegate(m_engine, ItemsListView);
    ItemsListView->setItemDelegate(delegate);
    ItemsListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ItemsListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ItemsListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ItemsListView->setShowGrid(true);
    ItemsListView->setSortingEnabled(false);
    ItemsListView->setWordWrap(false);
    ItemsListView->setTabKeyNavigation(false);
    ItemsListView->setMouseTracking(true);
    ItemsListView->viewport()->setMouseTracking(true);
    // A cell whose text does not fit its column shows the whole text as a
    // tooltip.
    auto *hotTrack = new HotTrackFilter(ItemsListView, delegate);
    hotTrack->setCellToolTips(true);
    ItemsListView->viewport()->installEventFilter(hotTrack);
    // A double click on a row edits its object.
    connect(ItemsListView, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (!index.isValid())
            return;
        selectRow(index.row());
        EditItemToolButtonClick();
    });
    ItemsListView->setIconSize(QSize(16, 16));
    QFont bold = ItemsListView->font();
    bold.setBold(true);
    ItemsListView->setFont(bold);
    // The selection stays visible when the list loses the focus.
    QPalette pal = ItemsListView->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    ItemsListView->setPalette(pal);

    QHeaderView *rows = ItemsListView->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(qMax(20, QFontMetrics(bold).height() + 4));

    QHeaderView *header = ItemsListView->horizontalHeader();
    header->setSectionsClickable(false); // no sorting
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Only the visible rows are measured when a column is sized to fit (by
    // default the toolkit measures 1,000 rows each time).
    header->setResizeContentsPrecision(0);
    ItemsListView->setColumnWidth(ObserverRowModel::HostColumn, 160);
    ItemsListView->setColumnWidth(ObserverRowModel::StatusColumn, 80);
    ItemsListView->setColumnWidth(ObserverRowModel::LastTestColumn, 160);
    ItemsListView->setColumnWidth(ObserverRowModel::IntervalColumn, 80);

    // "Sized to fit": the Host and Last Test columns grow to their widest
    // visible cell whenever the list changes: at once, then at most a few
    // times a second while changes keep coming.
    auto *fit = new QTimer(this);
    fit->setSingleShot(true);
    fit->setInterval(200);
    connect(fit, &QTimer::timeout, this, [this] {
        if (m_fitPending) {
            m_fitPending = false;
            fitColumns();
        }
    });
    auto changed = [this, fit] {
        if (fit->isActive()) {
            m_fitPending = true;
            return;
        }
        fitColumns();
        fit->start();
    };
    connect(m_engine.model(), &QAbstractItemModel::rowsInserted, fit, changed);
    connect(m_engine.model(), &QAbstractItemModel::dataChanged, fit, changed);
    connect(m_engine.model(), &QAbstractItemModel::modelReset, fit, changed);

    // Every test lets pending events run, and each change of a row asks the
    // list to repaint. While rows change in quick succession (a large
    // project being read, Refresh all) the list is repainted at most every
    // 40 ms (list, scroll bars and headings): the first change paints at
    // once, later ones within the pause only mark the list for one repaint
    // at its end. Without this, reading a project of thousands of objects
    // spends almost all its time painting.
    auto *paintPause = new QTimer(this);
    paintPause->setSingleShot(true);
    paintPause->setInterval(40);
    auto held = std::make_shared<bool>(false);
    connect(paintPause, &QTimer::timeout, this, [this, paintPause, held] {
        if (!*held)
            return;
        *held = false;
        ItemsListView->setUpdatesEnabled(true); // repaints the whole list
        paintPause->start();
    });
    auto rowsChanged = [this, paintPause, held] {
        if (!paintPause->isActive()) {
            paintPause->start();
        } else if (!*held) {
            *held = true;
            ItemsListView->setUpdatesEnabled(false);
        }
    };
    connect(m_engine.model(), &QAbstractItemModel::rowsInserted, paintPause, rowsChanged);
    connect(m_engine.model(), &QAbstractItemModel::rowsRemoved, paintPause, rowsChanged);
    connect(m_engine.model(), &QAbstractItemModel::dataChanged, paintPause, rowsChanged);
    connect(m_engine.model(), &QAbstractItemModel::modelReset, paintPause, rowsChanged);
    setCentralWidget(ItemsListView);
}

void TMainForm::fitColumns()
{
    // A hidden list (the window in the tray) would be measured row by row
    // in full; it is fitted when the window is shown again.
    if (!ItemsListView->isVisible())
        return;
    for (int column : {int(ObserverRowModel::HostColumn), int(ObserverRowModel::LastTestColumn)}) {
        const int want = qMax(ItemsListView->horizontalHeader()->sectionSizeHint(column),
                              static_cast<ItemsTable *>(ItemsListView)->contentWidth(column));
        if (want > ItemsListView->columnWidth(column))
            ItemsListView->setColumnWidth(column, want);
    }
}

void TMainForm::createStatusBar()
{
    HintPanel = new QLabel(QStringLiteral("Status"), this);
    HintPanel->setObjectName(QStringLiteral("HintPanel"));
    HintPanel->setFixedWidth(300);
    EmptyPanel = new QLabel(this);
    EmptyPanel->setObjectName(QStringLiteral("EmptyPanel"));
    EmptyPanel->setFixedWidth(50);
    for (QLabel *l : {HintPanel, EmptyPanel})
        l->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    statusBar()->addWidget(HintPanel);
    statusBar()->addWidget(EmptyPanel);
    statusBar()->setSizeGripEnabled(true);

    // The selected row's cause ("connection refused", "answered in 12 ms"),
    // kept up to date while its outcomes come in.
    CausePanel = new QLabel(this);
    CausePanel->setObjectName(QStringLiteral("CausePanel"));
    statusBar()->addWidget(CausePanel, 1);
    auto showCause = [this] {
        const ObserverObject *o = m_engine.object(selectedRow());
        CausePanel->setText(o ? ObserverRowModel::causeText(*o) : QString());
    };
    connect(ItemsListView->selectionModel(), &QItemSelectionModel::selectionChanged, CausePanel, showCause);
    connect(m_engine.model(), &QAbstractItemModel::modelReset, CausePanel, showCause);
    connect(m_engine.model(), &QAbstractItemModel::rowsRemoved, CausePanel, showCause);
    connect(m_engine.model(), &QAbstractItemModel::dataChanged, CausePanel,
            [this, showCause](const QModelIndex &first, const QModelIndex &last) {
                const int row = selectedRow();
                if (row >= first.row() && row <= last.row())
                    showCause();
            });
}

void TMainForm::createTrayIcon()
{
    TrayIcon = new QSystemTrayIcon(trayStateIcon(TrayObserverStopped), this);
    TrayIcon->setToolTip(QStringLiteral("Velmora Sentrova"));
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TrayMenu"));
    TrayShowAction = menu->addAction(QStringLiteral("&Show"), this, [this] {
        if (m_inTray) {
            TrayIconClick();
            return;
        }
        if (isMinimized())
            setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    });
    // The same command as the toolbar's: it switches the check mark and
    // starts or stops the observer.
    TrayStartAction = menu->addAction(QStringLiteral("&Start observer"), this, [this] { StartButton->trigger(); });
    menu->addSeparator();
    menu->addAction(ExitAction);
    TrayIcon->setContextMenu(menu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            TrayIconClick();
    });
}

// ---- start-up and shut-down -------------------------------------------------

void TMainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        FormShow();
    }
    fitColumns();
}

void TMainForm::FormShow()
{
    // 1. No project file.
    m_project->ProjectFileName.clear();
    // 2. The event log of earlier runs.
    if (!m_eventLog.LoadEventLog(Paths::dataFile(QStringLiteral("data.log")))) {
        m_eventLogUnreadable = true;
        showNotice(QStringLiteral("Event log"),
                   m_eventLog.errorString() +
                       QStringLiteral("\nThe log starts empty. At exit the old file is kept as data.log.bak."));
    }
    // 3. Empty object and timer lists.
    m_engine.clear();
    // 4. Hints go to the status bar's first panel (see event()).
    // 5. Window placement.
    LoadWindowPlacement();
    // 6. The options dialog and the program options, and the tray behaviour
    // from them.
    ProgramOptionForm = new TProgramOptionForm(m_options, m_prompt, this);
    ProgramOptionForm->setOptionsLocation(m_optionsLocation);
    if (HelpForm)
        ProgramOptionForm->setHelpForm(HelpForm);
    ProgramOptionForm->setAutostartProject([this] { return m_project->ProjectFileName; });
    QString problem;
    if (!LoadProgramOptions(m_options, m_optionsLocation, &problem))
        showNotice(QStringLiteral("Program options"), problem);
    applyTrayOption();
    m_engine.setAlertAfterEnabled(m_options.AlertAfterBadAttempts);
    m_metrics = std::make_unique<MetricsServer>(&m_engine);
    ProgramOptionForm->setMetricsHook([this](const ProgramOptions &o) { return applyMetricsOption(o); });
    ProgramOptionForm->setMetricsStatus(applyMetricsOption(m_options));
    // 7. Auto Start.
    if (m_options.AutoStart) {
        StartButton->setChecked(true);
        Start1Click();
    }
    // 8. The project is unmodified.
    SaveToolButton->setEnabled(false);
    updateTitle();
}

void TMainForm::LoadWindowPlacement()
{
    const WindowPlacement wp = ::LoadWindowPlacement(m_optionsLocation);
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    resize(qMax(wp.Width, 100), qMax(wp.Heigth, 100));
    move(wp.Left, wp.Top);
    switch (wp.WinState) {
    case WindowPlacement::Minimized:
        setWindowState(Qt::WindowMinimized);
        break;
    case WindowPlacement::Maximized:
        setWindowState(Qt::WindowMaximized);
        break;
    default:
        setWindowState(Qt::WindowNoState);
        break;
    }
}

void TMainForm::SaveWindowPlacement()
{
    WindowPlacement wp;
    if (m_inTray || isMinimized())
        wp.WinState = WindowPlacement::Minimized;
    else if (isMaximized())
        wp.WinState = WindowPlacement::Maximized;
    else
        wp.WinState = WindowPlacement::Normal;
    if (wp.WinState == WindowPlacement::Normal) {
        wp.Width = width();
        wp.Heigth = height();
        wp.Left = x();
        wp.Top = y();
    }
    ::SaveWindowPlacement(wp, m_optionsLocation);
}

void TMainForm::closeEvent(QCloseEvent *e)
{
    if (m_closed) {
        e->accept();
        return;
    }
    if (m_fileCommandRunning && !m_noQuestions && !m_closingQueued) {
        // A project is being read or written: the window closes once that
        // has ended, so that the save question sees the whole project.
        e->ignore();
        m_pendingFileCommands.append([this] {
            m_closingQueued = true;
            close();
            m_closingQueued = false;
        });
        return;
    }
    if (!m_noQuestions && !m_project->closeQuery()) {
        e->ignore(); // Cancel: the window stays open
        return;
    }
    if (m_closed) { // ended while the question was open
        e->accept();
        return;
    }
    FormClose();
    e->accept();
    emit closed();
}

void TMainForm::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    m_alertDesktop->stopped = true;
    // 1. Window placement.
    if (m_firstShowDone)
        SaveWindowPlacement();
    // 2. Every test in flight is abandoned: nothing of it is logged. The
    // object and timer lists; a project still loading (the program ends
    // while an object's test lets events run) adds nothing more.
    m_probes->cancelAll();
    m_project->abortLoad();
    m_engine.clear();
    // 3. The event log, then the editors' stores.
    const QString logPath =
        m_eventLog.path().isEmpty() ? Paths::dataFile(QStringLiteral("data.log")) : m_eventLog.path();
    if (m_eventLogUnreadable && QFileInfo::exists(logPath)) {
        // The old log could not be read at start: keep it rather than
        // replace it with this run's lines alone.
        QFile::remove(logPath + QStringLiteral(".bak"));
        QFile::rename(logPath, logPath + QStringLiteral(".bak"));
    }
    if (!m_eventLog.SaveEventLog(logPath))
        reportStoreError(m_eventLog.errorString());
    if (m_profilesLoaded) {
        QString error;
        if (!m_profiles.save(&error))
            reportStoreError(error);
    }
    if (m_schedulesLoaded && !m_schedules.SaveSchedules())
        reportStoreError(m_schedules.errorString());
    TrayIcon->hide();
}

void TMainForm::reportStoreError(const QString &text)
{
    // The program still ends; the user is told unless the end came from a
    // signal, when nobody may be there to close a box.
    std::fprintf(stderr, "sentrova: %s\n", qPrintable(text));
    if (!m_noQuestions)
        m_prompt->message(QStringLiteral("Error"), text);
}

void TMainForm::quitWithoutQuestions()
{
    m_noQuestions = true;
    m_quietPrompt->quiet = true;
    m_pendingFileCommands.clear();
    m_alertDesktop->stopped = true;
    // Close every open modal box and dialog, innermost first; their exec()
    // loops return as soon as the stack unwinds.
    for (int guard = 0; guard < 100; ++guard) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    // The boxes that do not wait for an answer (notices, alert messages)
    // close as well: after a signal no box is left on the screen.
    for (QMessageBox *box : findChildren<QMessageBox *>())
        if (box->isVisible())
            box->close();
    FormClose();
    hide();
    emit closed();
}

bool TMainForm::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        // Hints of actions and controls under the mouse go to the first panel.
        HintPanel->setText(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

void TMainForm::showNotice(const QString &title, const QString &text)
{
    m_notices << text;
    if (m_noQuestions)
        return; // the program is ending: no box any more
    // Told once, without blocking: a box that does not wait for its answer.
    auto *box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    QTimer::singleShot(0, box, [box] { box->show(); });
}

// ---- tray ---------------------------------------------------------------------

// Opens, moves or closes the metrics endpoint as the options say; the
// problem for the options dialog when it cannot listen.
QString TMainForm::applyMetricsOption(const ProgramOptions &o)
{
    MetricsAddress address;
    QString problem;
    if (!o.ServeMetrics)
        m_metrics->close();
    else if (!MetricsAddress::parse(o.MetricsPort, &address, &problem) || !m_metrics->listen(address, &problem))
        m_metrics->close();
    return problem;
}

void TMainForm::applyTrayOption()
{
    m_minimizeToTray = m_options.MinimizeToTray;
}

void TMainForm::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || !m_firstShowDone || m_closed)
        return;
    if ((windowState() & Qt::WindowMinimized) && m_minimizeToTray && m_trayAvailable && !m_inTray) {
        m_stateBeforeTray = static_cast<QWindowStateChangeEvent *>(e)->oldState() & ~Qt::WindowMinimized;
        // Hidden once the state change has been handled.
        QTimer::singleShot(0, this, &TMainForm::hideToTray);
    }
}

void TMainForm::hideToTray()
{
    if (!(windowState() & Qt::WindowMinimized) || m_closed)
        return;
    m_inTray = true;
    TrayIcon->show();
    hide();
}

void TMainForm::TrayIconClick()
{
    if (!m_inTray)
        return;
    m_inTray = false;
    TrayIcon->hide();
    setWindowState(m_stateBeforeTray);
    show();
    raise();
    activateWindow();
}

// ---- File ---------------------------------------------------------------------

// Reading a project tests each object as it is added, and testing lets
// events run, so the menus work while a project loads. A file command chosen
// meanwhile waits until the one under way has ended and then runs, in the
// order chosen: no command ever sees half a project or mixes two files.
void TMainForm::runFileCommand(const std::function<void()> &command)
{
    if (m_fileCommandRunning) {
        m_pendingFileCommands.append(command);
        return;
    }
    m_fileCommandRunning = true;
    command();
    while (!m_pendingFileCommands.isEmpty() && !m_closed)
        m_pendingFileCommands.takeFirst()();
    m_pendingFileCommands.clear();
    m_fileCommandRunning = false;
}

void TMainForm::Newproject1Click()
{
    runFileCommand([this] { m_project->Newproject1Click(); });
}

void TMainForm::OpenToolButtonClick()
{
    runFileCommand([this] { m_project->OpenToolButtonClick(); });
}

void TMainForm::SaveToolButtonClick()
{
    runFileCommand([this] { m_project->SaveToolButtonClick(); });
}

void TMainForm::SaveAs1Click()
{
    runFileCommand([this] { saveAsAndWrite(); });
}

void TMainForm::saveAsAndWrite()
{
    // Save as chooses the name (with the overwrite question) and then writes
    // the project there, as Save does; a write that fails keeps the old name
    // and state.
    const QString before = m_project->ProjectFileName;
    const bool wasModified = m_project->isModified();
    bool chosen = false;
    const auto watch = connect(m_project.get(), &ProjectController::fileNameChanged, this, [&chosen] { chosen = true; });
    m_project->SaveAs1Click();
    disconnect(watch);
    if (!chosen)
        return;
    m_project->setModified(true);
    m_project->SaveToolButtonClick();
    if (m_project->isModified()) {
        m_project->ProjectFileName = before;
        m_project->setModified(wasModified);
        updateTitle();
    }
}

void TMainForm::Append1Click()
{
    runFileCommand([this] { m_project->Append1Click(); });
}

bool TMainForm::openProjectFile(const QString &path)
{
    bool opened = false;
    runFileCommand([this, path, &opened] { opened = m_project->openFile(path); });
    return opened;
}

void TMainForm::updateTitle()
{
    const QString name = m_project->ProjectFileName;
    if (name.isEmpty()) {
        setWindowModified(false);
        setWindowTitle(QStringLiteral("Velmora Sentrova"));
        return;
    }
    // "[*]" shows as "*" while the project has unsaved changes.
    setWindowTitle(QFileInfo(name).fileName() + QStringLiteral("[*] - Velmora Sentrova"));
    setWindowModified(m_project->isModified());
}

// ---- tray state -----------------------------------------------------------------

QString TMainForm::trayToolTip() const
{
    const QString counts = QStringLiteral("%1 OK, %2 failing").arg(m_okCount).arg(m_failingCount);
    return m_engine.isStarted() ? counts : QStringLiteral("Observer stopped\n") + counts;
}

void TMainForm::updateTrayState()
{
    m_trayUpdatePending = false;
    int ok = 0, failing = 0;
    const QAbstractItemModel *model = m_engine.model();
    for (int row = 0, rows = model->rowCount(); row < rows; ++row) {
        const int image = model->index(row, ObserverRowModel::HostColumn).data(ObserverRowModel::StatusImageRole).toInt();
        if (image == 1)
            ++ok;
        else if (image == 0)
            ++failing;
    }
    m_okCount = ok;
    m_failingCount = failing;
    const TrayState state = !m_engine.isStarted() ? TrayObserverStopped : failing > 0 ? TraySomeFailing : TrayAllOk;
    if (state != m_trayState || TrayIcon->icon().isNull()) {
        m_trayState = state;
        TrayIcon->setIcon(trayStateIcon(state));
    }
    TrayIcon->setToolTip(trayToolTip());
    TrayStartAction->setText(m_engine.isStarted() ? QStringLiteral("&Stop observer")
                                                  : QStringLiteral("&Start observer"));
}

QPrinter &TMainForm::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setResolution(300);
        m_printer->setDocName(QStringLiteral("Velmora Sentrova"));
    }
    return *m_printer;
}

void TMainForm::Printersetup1Click()
{
    QPrinter &p = printer();
    if (printerSetupDialog) {
        printerSetupDialog(p);
        return;
    }
    QPageSetupDialog dialog(&p, this);
    dialog.exec();
}

void TMainForm::Print1Click()
{
    QPrinter &p = printer();
    bool ok;
    if (printDialog) {
        ok = printDialog(p);
    } else {
        QPrintDialog dialog(&p, this);
        ok = dialog.exec() == QDialog::Accepted;
    }
    if (!ok)
        return;
    QString error;
    if (!printList(p, &error))
        m_prompt->message(QStringLiteral("Error"), error);
}

bool TMainForm::printList(QPrinter &printer, QString *error)
{
    return ListPrinter::print(printer, m_engine, error);
}

void TMainForm::CloseButtonClick()
{
    close();
}

// ---- Project ------------------------------------------------------------------

int TMainForm::selectedRow() const
{
    const QModelIndexList rows = ItemsListView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void TMainForm::selectRow(int row)
{
    if (row < 0) {
        ItemsListView->clearSelection();
        return;
    }
    ItemsListView->selectRow(row);
}

// The object commands exist once the program's windows are created.
void TMainForm::Add1Click()
{
    if (m_commands)
        m_commands->Add1Click();
}

void TMainForm::EditItemToolButtonClick()
{
    if (m_commands)
        m_commands->EditItemToolButtonClick(selectedRow());
}

void TMainForm::DelItemToolButtonClick()
{
    if (m_commands)
        m_commands->DelItemToolButtonClick(selectedRow());
}

void TMainForm::Start1Click()
{
    m_engine.StartButtonClick(StartButton->isChecked());
}

void TMainForm::RefreshToolButtonClick()
{
    m_engine.RefreshToolButtonClick(selectedRow());
}

void TMainForm::RefreshAll1Click()
{
    m_engine.RefreshAll1Click();
}

// ---- View and Tools -----------------------------------------------------------

void TMainForm::Schedule1Click()
{
    if (ScheduleForm)
        ScheduleForm->showEditor();
}

void TMainForm::AlertProfile1Click()
{
    if (AlertProfileForm)
        AlertProfileForm->showEditor();
}

void TMainForm::Log1Click()
{
    if (LogAnalyserForm)
        LogAnalyserForm->Execute();
}

void TMainForm::Availability1Click()
{
    // A window beside the main one, not modal: it follows the log while
    // monitoring goes on.
    if (!AvailabilityForm)
        AvailabilityForm = new TAvailabilityForm(m_eventLog, m_prompt, this);
    AvailabilityForm->show();
    AvailabilityForm->raise();
    AvailabilityForm->activateWindow();
}

void TMainForm::Programoption1Click()
{
    // The dialog edits the live options; OK saves them, any other close
    // reloads them. Either way the tray behaviour follows the "Minimize To
    // Tray" option afterwards.
    if (ProgramOptionForm)
        ProgramOptionForm->Execute();
    applyTrayOption();
    m_engine.setAlertAfterEnabled(m_options.AlertAfterBadAttempts);
}

void TMainForm::CustomizeToolbarClick()
{
    CustomizeToolbarDialog dialog(m_allActions, m_defaultToolbar, this);
    dialog.setLayout(toolbarLayout());
    const int result = customizeDialogExec ? customizeDialogExec(dialog) : dialog.exec();
    if (result == QDialog::Accepted)
        setToolbarLayout(dialog.toolbarLayout());
}

// ---- Help ---------------------------------------------------------------------

void TMainForm::Help2Click()
{
    if (HelpForm)
        HelpForm->showHelp();
}

void TMainForm::HomePage1Click()
{
    m_desktop->shellOpen(HomePageUrl);
}

void TMainForm::Mailme1Click()
{
    m_desktop->shellOpen(ContactUrl);
}

void TMainForm::AboutToolButtonClick()
{
    if (AboutForm)
        AboutForm->exec();
}

// ---- the other windows --------------------------------------------------------

void TMainForm::createWindows()
{
    if (m_windowsCreated)
        return;
    m_windowsCreated = true;
    auto openExternal = [this](const QUrl &url) { m_desktop->shellOpen(url.toString()); };

    AboutForm = new TAboutForm(this);
    AboutForm->setShellOpener(openExternal);

    NewFileForm = new TNewFileForm(this);
    ObjectParamsForm = new TObjectParamsForm(*m_prompt, this);

    // The alert profile editor reads profile.dat as it is created.
    AlertProfileForm = new TAlertProfileForm(m_profiles, m_prompt, this);
    QString problem;
    if (!AlertProfileForm->LoadProfiles(&problem))
        showNotice(QStringLiteral("Alert Profile"), problem);
    m_profilesLoaded = true;

    SelectPortForm = new TSelectPortForm(this);
    SelectPortForm->setPrompt(m_prompt);

    HelpForm = new THelpForm(this);
    HelpForm->setExternalOpener(openExternal);

    // The schedule editor reads Schedule.dat as it is created.
    ScheduleForm = new TScheduleForm(m_schedules, m_prompt, this);
    if (!ScheduleForm->LoadSchedules())
        showNotice(QStringLiteral("Schedule"), m_schedules.errorString());
    m_schedulesLoaded = true;

    LogAnalyserForm = new TLogAnalyserForm(m_eventLog, m_prompt, m_desktop, this);

    SelectDateForm = new TSelectDateForm(this);
    SelectDateForm->setPrompt(m_prompt);

    // How the windows use one another.
    LogAnalyserForm->setDatePicker(SelectDateForm);
    if (ProgramOptionForm)
        ProgramOptionForm->setHelpForm(HelpForm);
    m_profilePicker = std::make_unique<CallbackNamePicker>();
    m_profilePicker->onSelect = [this](const QString &name) { AlertProfileForm->selectProfileByName(name); };
    m_profilePicker->onSelectedName = [this] { return AlertProfileForm->selectedProfileName(); };
    m_profilePicker->onExec = [this] { AlertProfileForm->showEditor(); };
    m_schedulePicker = std::make_unique<CallbackNamePicker>();
    m_schedulePicker->onSelect = [this](const QString &name) { ScheduleForm->selectScheduleByName(name); };
    m_schedulePicker->onSelectedName = [this] { return ScheduleForm->selectedScheduleName(); };
    m_schedulePicker->onExec = [this] { ScheduleForm->showEditor(); };
    ObjectParamsForm->setProfilePicker(m_profilePicker.get());
    ObjectParamsForm->setSchedulePicker(m_schedulePicker.get());
    ObjectParamsForm->setPortPicker(SelectPortForm);
    m_commands = std::make_unique<ObjectCommands>(m_engine, *m_project, *m_prompt, *NewFileForm, *ObjectParamsForm);
}
