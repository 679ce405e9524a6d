#pragma once

#include "alerts/alertprofile.h"
#include "core/engine.h"
#include "core/projectfile.h"
#include "eventlog/eventlog.h"
#include "schedules/schedulestore.h"
#include "settings/programoptions.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class AlertDesktopGuard;
class AlertDispatcher;
class CustomizeToolbarDialog;
class DesktopServices;
class MetricsServer;
class ProbeSet;
class QLabel;
class QPrinter;
class QSystemTrayIcon;
class QTableView;
class QToolBar;
class SendMail;
class CallbackNamePicker;
class ObjectCommands;
class TAlertProfileForm;
class TLogAnalyserForm;
class TAvailabilityForm;
class TNewFileForm;
class TObjectParamsForm;
class TProgramOptionForm;
class TScheduleForm;
class TAboutForm;
class THelpForm;
class TSelectDateForm;
class TSelectPortForm;
class UserPrompt;
class QuietablePrompt;

// The main window: the project's list with one row per observer object, the
// commands as actions shown in the menu bar and the toolbar, the hint panel
// in the status bar, the tray icon, printing, and the program's start-up
// (first showing) and shut-down (closing) steps.
//
// The window owns the engine with its object and timer lists, the event log,
// the program options, the probes, the alert profiles and the schedules
// (loaded when their editors are created, written after the event log when
// the window closes), the mail sender and the alert dispatcher.
//
// Questions and file dialogs go through the UserPrompt, the alert actions and
// the help links through the DesktopServices; both are borrowed and must
// outlive the window (tests pass a scripted prompt and a recorder).
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    static const QString HomePageUrl;
    static const QString ContactUrl;

    TMainForm(UserPrompt *prompt, DesktopServices *desktop, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Creates the program's other windows, once each, in their order: about
    // box, new-object wizard, object parameters dialog, alert profile editor
    // (which reads profile.dat), port picker, help viewer, schedule editor
    // (which reads Schedule.dat), log analyser and date picker.
    void createWindows();

    // Opens a project without the open dialog (a file named on the command
    // line), as Open does, with the same messages for a missing file or one
    // that is not a project.
    bool openProjectFile(const QString &path);

    // Ends the program as a normal exit without any question: modal boxes
    // and dialogs are closed, the window placement and the stores are written
    // (data.log, profile.dat, Schedule.dat), an unsaved project is not.
    // Used for SIGTERM, SIGINT and SIGHUP.
    void quitWithoutQuestions();

    // Prints the list on the printer: headings at y = 100, one row per line
    // step below, in the device units of a 300-dpi printer. Rows that do not
    // fit continue on a new page under repeated headings. False, with the
    // reason in *error, when the print job could not be started.
    bool printList(QPrinter &printer, QString *error = nullptr);

    MonitorEngine &engine() { return m_engine; }
    ProjectController &project() { return *m_project; }
    EventLog &eventLog() { return m_eventLog; }
    ProgramOptions &options() { return m_options; }
    // The metrics endpoint (null until the first showing; not listening while the option is off).
    MetricsServer *metricsServer() { return m_metrics.get(); }
    AlertProfileList &alertProfiles() { return m_profiles; }
    ScheduleList &schedules() { return m_schedules; }
    ProbeSet &probes() { return *m_probes; }
    UserPrompt &prompt() { return *m_prompt; }
    DesktopServices &desktop() { return *m_desktop; }
    // Where the options and the window placement are kept (the user's
    // settings unless a test points elsewhere before the first showing).
    void setOptionsLocation(const OptionsLocation &where) { m_optionsLocation = where; }

    // Row of the selected object, -1 when none is selected.
    int selectedRow() const;
    void selectRow(int row);

    // Whether the desktop shows tray icons (taken from the system at start;
    // without a tray, minimising never hides the window).
    void setTrayAvailable(bool available) { m_trayAvailable = available; }
    bool minimizeToTray() const { return m_minimizeToTray; }
    bool isInTray() const { return m_inTray; }

    bool firstShowDone() const { return m_firstShowDone; }
    bool isClosed() const { return m_closed; }

    // The toolbar's buttons in order; nullptr stands for a separator.
    QList<QAction *> toolbarLayout() const;
    void setToolbarLayout(const QList<QAction *> &layout);
    QList<QAction *> allActions() const { return m_allActions; }

    // Notices shown once without blocking (for example how to allow ping).
    QStringList notices() const { return m_notices; }

    // The print and printer setup dialogs; true when confirmed. Tests set
    // them to choose a PDF file instead of showing a dialog.
    std::function<bool(QPrinter &)> printDialog;
    std::function<bool(QPrinter &)> printerSetupDialog;
    // The "Customize toolbar" dialog is shown through this call (exec by
    // default); tests drive the dialog and return their answer.
    std::function<int(CustomizeToolbarDialog &)> customizeDialogExec;

    // The program's other windows (created by createWindows(); each lives
    // as long as the main window).
    TAboutForm *AboutForm = nullptr;
    TNewFileForm *NewFileForm = nullptr;
    TObjectParamsForm *ObjectParamsForm = nullptr;
    TAlertProfileForm *AlertProfileForm = nullptr;
    TSelectPortForm *SelectPortForm = nullptr;
    THelpForm *HelpForm = nullptr;
    TScheduleForm *ScheduleForm = nullptr;
    TLogAnalyserForm *LogAnalyserForm = nullptr;
    TSelectDateForm *SelectDateForm = nullptr;
    // Created by the first showing.
    TProgramOptionForm *ProgramOptionForm = nullptr;

    // The list and the window's parts.
    QTableView *ItemsListView = nullptr;
    QToolBar *ToolBar = nullptr;
    QLabel *HintPanel = nullptr;
    QLabel *EmptyPanel = nullptr;
    // The cause and response time of the selected row's last outcome.
    QLabel *CausePanel = nullptr;
    QSystemTrayIcon *TrayIcon = nullptr;

    // File
    QAction *NewProjectAction = nullptr;
    QAction *OpenProjectAction = nullptr;
    QAction *SaveToolButton = nullptr;
    QAction *SaveProjectAsAction = nullptr;
    QAction *AppendAction = nullptr;
    QAction *PrinterSetupAction = nullptr;
    QAction *PrintAction = nullptr;
    QAction *ExitAction = nullptr;
    // Project
    QAction *AddObjectAction = nullptr;
    QAction *EditObjectAction = nullptr;
    QAction *DeleteObjectAction = nullptr;
    QAction *StartButton = nullptr;
    QAction *RefreshSelectedAction = nullptr;
    QAction *RefreshAllAction = nullptr;
    // View
    QAction *VewSheduleAction = nullptr;
    QAction *AlertProfileAction = nullptr;
    QAction *LogAnalyserAction = nullptr;
    // View > Availability: the availability window, made at its first use.
    QAction *AvailabilityAction = nullptr;
    TAvailabilityForm *AvailabilityForm = nullptr;
    // Tools
    QAction *ProgramOptionAction = nullptr;
    QAction *CustomizeActionBars1 = nullptr;
    // Help
    QAction *HelpAction = nullptr;
    QAction *HomePageAction = nullptr;
    QAction *ContactAsAction = nullptr;
    QAction *AboutAction = nullptr;

    // The action handlers.
    void Newproject1Click();
    void OpenToolButtonClick();
    void SaveToolButtonClick();
    void SaveAs1Click();
    void Append1Click();
    void Printersetup1Click();
    void Print1Click();
    void CloseButtonClick();
    void Add1Click();
    void EditItemToolButtonClick();
    void DelItemToolButtonClick();
    void Start1Click();
    void RefreshToolButtonClick();
    void RefreshAll1Click();
    void Schedule1Click();
    void AlertProfile1Click();
    void Log1Click();
    void Availability1Click();
    void Programoption1Click();
    void CustomizeToolbarClick();
    void Help2Click();
    void HomePage1Click();
    void Mailme1Click();
    void AboutToolButtonClick();

    // A click on the tray icon: shows the window again in front.
    void TrayIconClick();

    // The tray icon's picture and tooltip follow the whole state: every
    // tested object OK, some failing, or the observer stopped.
    enum TrayState { TrayAllOk, TraySomeFailing, TrayObserverStopped };
    TrayState trayState() const { return m_trayState; }
    // "12 OK, 2 failing" (with "Observer stopped" first while it is).
    QString trayToolTip() const;
    // The tray menu: Show, Start/Stop observer, Exit.
    QAction *TrayShowAction = nullptr;
    QAction *TrayStartAction = nullptr;

    // Whether a file command (New, Open, Append, Save, Save as) is under way;
    // one chosen meanwhile waits until it has ended.
    bool fileCommandRunning() const { return m_fileCommandRunning; }

signals:
    // The window has closed and written its stores; the program ends.
    void closed();

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createListView();
    void createStatusBar();
    void createTrayIcon();
    QAction *makeAction(const QString &caption, const QString &hint, const QString &icon, const QKeySequence &shortcut,
                        void (TMainForm::*handler)());

    void FormShow();
    void FormClose();
    void LoadWindowPlacement();
    void SaveWindowPlacement();
    void applyTrayOption();
    QString applyMetricsOption(const ProgramOptions &options);
    void hideToTray();
    void showNotice(const QString &title, const QString &text);
    void reportStoreError(const QString &text);
    void fitColumns();
    QPrinter &printer();
    void runFileCommand(const std::function<void()> &command);
    void saveAsAndWrite();
    void updateTitle();
    void updateTrayState();

    // Every window asks through m_prompt, which passes the questions on to
    // the prompt the window was given until the program begins to end
    // without questions; after that it shows nothing.
    std::unique_ptr<QuietablePrompt> m_quietPrompt;
    UserPrompt *m_prompt;
    DesktopServices *m_desktop;

    // Declared in order of construction; destroyed in reverse, so the
    // probes and the dispatcher go before the engine they hook into.
    MonitorEngine m_engine;
    EventLog m_eventLog;
    ProgramOptions m_options;
    OptionsLocation m_optionsLocation;
    AlertProfileList m_profiles;
    ScheduleList m_schedules;
    std::unique_ptr<ScheduleTestGate> m_gate;
    std::unique_ptr<ProjectController> m_project;
    std::unique_ptr<ProbeSet> m_probes;
    std::unique_ptr<SendMail> m_sendMail;
    std::unique_ptr<AlertDesktopGuard> m_alertDesktop;
    std::unique_ptr<AlertDispatcher> m_dispatcher;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<CallbackNamePicker> m_profilePicker;
    std::unique_ptr<CallbackNamePicker> m_schedulePicker;
    std::unique_ptr<ObjectCommands> m_commands;
    std::unique_ptr<MetricsServer> m_metrics; // goes first: it reads the engine

    QList<QAction *> m_allActions;
    QList<QAction *> m_defaultToolbar;
    QStringList m_notices;

    bool m_firstShowDone = false;
    bool m_closed = false;
    bool m_noQuestions = false;
    bool m_trayAvailable = false;
    bool m_minimizeToTray = false;
    bool m_inTray = false;
    bool m_windowsCreated = false;
    bool m_eventLogUnreadable = false;
    bool m_profilesLoaded = false;
    bool m_schedulesLoaded = false;
    bool m_pingNoticeShown = false;
    bool m_fitPending = false;
    bool m_fileCommandRunning = false;
    bool m_closingQueued = false;
    QList<std::function<void()>> m_pendingFileCommands;
    TrayState m_trayState = TrayObserverStopped;
    int m_okCount = 0;
    int m_failingCount = 0;
    bool m_trayUpdatePending = false;
    Qt::WindowStates m_stateBeforeTray = Qt::WindowNoState;
};
