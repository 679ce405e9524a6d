#pragma once

#include "core/records.h"

#include <QDialog>
#include <QString>

#include <functional>

class ConnectionStringEditor;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class TSelectPortForm;
class UserPrompt;

// A list of names with a selection that outlives the dialogs: the alert
// profile editor's profile list and the schedule editor's name list. The
// parameters dialog sets the selection before it opens, lets the user open
// the editor, and reads the selection when it is confirmed.
class ObjectNamePicker
{
public:
    virtual ~ObjectNamePicker() = default;
    // Selects the first entry whose name equals name, ignoring letter case;
    // nothing is selected when name is empty or matches no entry.
    virtual void select(const QString &name) = 0;
    // The selected entry's name; empty when nothing is selected.
    virtual QString selectedName() const = 0;
    // Shows the editor modally and returns when it is closed.
    virtual void exec() = 0;
};

// An ObjectNamePicker made of three calls, for an editor that does not
// implement the interface itself. An unset call does nothing (or answers
// "nothing selected").
class CallbackNamePicker : public ObjectNamePicker
{
public:
    std::function<void(const QString &)> onSelect;
    std::function<QString()> onSelectedName;
    std::function<void()> onExec;

    void select(const QString &name) override
    {
        if (onSelect)
            onSelect(name);
    }
    QString selectedName() const override { return onSelectedName ? onSelectedName() : QString(); }
    void exec() override
    {
        if (onExec)
            onExec();
    }
};

// The object parameters dialog: one panel of parameters per kind of test
// (only the panel of the object's kind is shown) above the settings every
// object has: the interval, the comment, the alert profile, the schedule and
// the Enabled check box. The dialog is created once and reused; its controls
// keep their values from one use to the next.
class TObjectParamsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TObjectParamsForm(UserPrompt &prompt, QWidget *parent = nullptr);
    ~TObjectParamsForm() override;

    // The alert profile editor and the schedule editor, through their lists.
    void setProfilePicker(ObjectNamePicker *picker) { m_profiles = picker; }
    void setSchedulePicker(ObjectNamePicker *picker) { m_schedules = picker; }
    ObjectNamePicker *profilePicker() const { return m_profiles; }
    ObjectNamePicker *schedulePicker() const { return m_schedules; }
    // The port reference picker behind the Port box's button.
    void setPortPicker(TSelectPortForm *picker) { m_portPicker = picker; }
    // The folder browser ("Select Directory"): title and start folder in,
    // the chosen folder out (empty when cancelled). A QFileDialog unless set.
    void setFolderBrowser(std::function<QString(const QString &title, const QString &start)> browser)
    {
        m_folderBrowser = std::move(browser);
    }
    // Closes the program's shared database connection before the
    // connection-string editor opens. Tests may replace it.
    void setDatabaseCloser(std::function<void()> closer) { m_closeDatabase = std::move(closer); }
    ConnectionStringEditor *connectionEditor() const { return m_connectionEditor; }

    // The panel of a kind by its name: "NetPanel1" to "NetPanel3",
    // "DrivePanel1" to "DrivePanel4", "DatabasePanel1".
    static QString panelName(qint32 kind);
    QFrame *panel(qint32 kind) const;
    // Hides every panel and shows the kind's (none for an unknown kind).
    void showPanel(qint32 kind);
    void hidePanels();
    // The kind whose panel is shown; 0 when none is.
    qint32 shownKind() const;
    // The caption Edit gives the dialog for a kind ("Ping Options", ...).
    static QString editCaption(qint32 kind);

    // Fills the kind's panel and the common controls from an object; the
    // Enabled flag goes into the check box's check mark.
    void loadRecord(const ObserverRecord &rec);
    // The check box "Enabled": checked for an enabled object, its caption
    // "Enabled" or "Disabled" after its state.
    void setEnabledFlag(bool enabled);
    // The names the object has now (empty for none). The dialog shows the
    // name selected in each editor's list, or this one while none is.
    void setAttachedNames(const QString &profile, const QString &schedule);
    // Shows the attached names again (after an editor was used).
    void refreshAttachedNames();
    // The kind's target box is empty (only blanks): says so, gives the box
    // the focus and answers false.
    bool validateTarget(qint32 kind);
    // The megabyte box of the kind (Disk Space, File/Folder Size) holds a
    // decimal number; otherwise says so and gives the box the focus.
    bool validateNumbers(qint32 kind);
    // The kind's panel into the object's parameter record. False when a
    // megabyte box holds no number: then nothing is changed.
    bool storeParams(ObserverRecord &rec) const;
    // The interval, the alert count, the comment and the Enabled flag (the
    // check box's check mark).
    void storeCommon(ObserverRecord &rec) const;
    // The text of the kind's target box, as entered.
    QString targetText(qint32 kind) const;

    // Reads a megabyte box's text: a decimal number in the locale's format
    // (or with a '.' as the decimal point). False for anything else.
    static bool parseMegabytes(const QString &text, double &value);

    // NetPanel1: Ping
    QLineEdit *PingHostEdit;
    QSpinBox *PacketSizeEdit;
    QSpinBox *TimeoutEdit;
    QSpinBox *TTLEdit;
    // NetPanel2: TCP Connect
    QLineEdit *TcpHostEdit;
    QSpinBox *PortEdit;
    QToolButton *SelectPortButton;
    // NetPanel3: URL Request
    QLineEdit *UrlEdit;
    QLineEdit *ProxyServerEdit;
    QSpinBox *ProxyPortEdit;
    // DrivePanel1: Disk Space
    QLineEdit *DiskEdit;
    QComboBox *DriveComboBox;
    QLineEdit *MinFreeEdit;
    // DrivePanel2: File/Folder Size
    QLineEdit *SizeTargetEdit;
    QToolButton *SizeFileButton;
    QToolButton *SizeFolderButton;
    QLineEdit *MaxSizeEdit;
    QCheckBox *SubFoldersCheckBox;
    // DrivePanel3: File/Folder Present
    QLineEdit *PresentTargetEdit;
    QToolButton *PresentFileButton;
    QToolButton *PresentFolderButton;
    QRadioButton *NotExistRadioButton;
    QRadioButton *ExistRadioButton;
    // DrivePanel4: Compare Files
    QLineEdit *FirstFileEdit;
    QToolButton *FirstFileButton;
    QLineEdit *SecondFileEdit;
    QToolButton *SecondFileButton;
    QComboBox *AlertWhenComboBox;
    // DatabasePanel1: Database Connect
    QLineEdit *ConnectionEdit;
    QPushButton *SelectDatabaseButton;
    // Common controls
    QSpinBox *IntervalMinEdit;
    QSpinBox *IntervalSecEdit;
    QLabel *AlertAfterLabel;
    QSpinBox *AlertAfterEdit;
    QLabel *BadAttemptsLabel;
    QLineEdit *CommentEdit;
    QPushButton *AlertProfileButton;
    QPushButton *ScheduleButton;
    QCheckBox *StatusCheckBox;
    // Under the interval: shown while it is 0:0, which no timer ever tests.
    QLabel *IntervalWarningLabel;
    // Beside the editors' buttons: the attached alert profile and schedule.
    QLabel *AlertProfileNameLabel;
    QLabel *ScheduleNameLabel;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    // Re-reads the mounted volumes into the drive list.
    void refreshDrives();

    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    QFrame *makePanel(qint32 kind, const QString &heading);
    QSpinBox *makeNumberBox(int min, int max, int value);
    QToolButton *makeFileButton(QLineEdit *target);
    QToolButton *makeFolderButton(QLineEdit *target);
    QLineEdit *megabyteBox(qint32 kind) const;
    void selectDatabase();
    void selectPort();
    void updateIntervalWarning();
    QLineEdit *targetBox(qint32 kind) const;

    UserPrompt &m_prompt;
    ObjectNamePicker *m_profiles = nullptr;
    ObjectNamePicker *m_schedules = nullptr;
    TSelectPortForm *m_portPicker = nullptr;
    std::function<QString(const QString &, const QString &)> m_folderBrowser;
    std::function<void()> m_closeDatabase;
    ConnectionStringEditor *m_connectionEditor;
    QFrame *m_panels[9] = {};
    qint32 m_alertWhenKept = 0; // an AlertWhen the list cannot show, kept as it was
    QString m_keptProfile, m_keptSchedule;
};
