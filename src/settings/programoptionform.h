#pragma once

#include "settings/programoptions.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

#include <functional>

class PasswordStore;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class QWindow;
class THelpForm;
class SendMail;
class UserPrompt;

// The program options dialog: the pages "Basic", "Mail server" and "Message
// Format" over the live ProgramOptions, with "OK", "Cancel" and "Help".
//
// Every change in a control goes into the options at once, so an e-mail sent
// while the dialog is open uses the values as they stand in it. Closing with
// "OK" saves the options (QSettings and email.dat); "Cancel", Escape or the
// close box reload them, which throws the edits away (the message template
// only when email.dat exists). After either, minimizeToTrayChanged() tells
// the main window the "Minimize To Tray" option now in force.
//
// The Mail server page also holds the connection's security, the login and
// the certificate rule, and "Send test mail", which sends the message
// template filled with sample values to the "E-mail To" recipients at once
// and shows the dialogue and its end in the page. The password goes to the
// secret store on OK (PasswordStore); where none answers the page says the
// password is kept for this run only.
//
// The options, the prompt (messages) and the help viewer are borrowed and
// must outlive the dialog.
class TProgramOptionForm : public QDialog
{
    Q_OBJECT
public:
    TProgramOptionForm(ProgramOptions &options, UserPrompt *prompt, QWidget *parent = nullptr);

    // Where the options are kept (the user's settings and the data folder's
    // email.dat unless set).
    void setOptionsLocation(const OptionsLocation &where) { m_where = where; }
    // The program's help viewer, which "Help" shows. Without one the dialog
    // makes its own when first needed.
    void setHelpForm(THelpForm *help);
    // "Start with my desktop session": the project the entry starts with
    // (the one open now) and where the entry lives. Ticked on opening while
    // the entry exists; OK writes or removes it, and says so when it cannot.
    void setAutostartProject(std::function<QString()> project) { m_autostartProject = std::move(project); }
    void setAutostartPath(const QString &path) { m_autostartPath = path; }
    QString autostartPath() const;

    // The metrics endpoint: OK, after saving, hands the options to the hook,
    // which opens, moves or closes the endpoint and returns an empty text, or
    // the problem (a port already taken); then the dialog stays open and
    // shows the problem, and the program goes on without the endpoint.
    void setMetricsHook(std::function<QString(const ProgramOptions &)> apply) { m_applyMetrics = std::move(apply); }
    // What the dialog says under the metrics option (its state or a problem).
    void setMetricsStatus(const QString &text);

    // Opens the dialog modally on its first page; returns QDialog::Accepted
    // after OK. The options are saved or reloaded before it returns.
    int Execute();

    QTabWidget *PageControl;
    QWidget *BasicSheet;
    QWidget *MailServerSheet;
    QWidget *MessageFormatSheet;
    QLabel *BasicHeading;
    QLabel *MailServerHeading;
    QLabel *MessageFormatHeading;
    QCheckBox *AutoStartBox;
    QCheckBox *MinimizeToTrayCB;
    // Alerts and session.
    QCheckBox *AlertAfterCB;
    QCheckBox *StartWithDesktopCB;
    QCheckBox *ServeMetricsCB;
    QLineEdit *MetricsPortEdit;
    QLabel *MetricsStatusLabel;
    QLineEdit *SMTPEdit;
    QLineEdit *PortEdit;
    QLineEdit *MailEdit;
    QLineEdit *MailToEdit;
    QComboBox *SecurityBox;
    QLineEdit *UserEdit;
    QLineEdit *PasswordEdit;
    QLabel *PasswordNote;
    QCheckBox *AcceptCertificateBox;
    QPushButton *TestMailBtn;
    QPlainTextEdit *TestMailLog;
    QLabel *TestMailResult;
    QComboBox *AlertStyleBox;
    QLineEdit *MailSubjectEdit;
    QPlainTextEdit *MessageMemo;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    // The handlers, callable as the controls call them.
    void FormShow();
    void HelpBtnClick();
    void TestMailBtnClick();

    // The sender of the test mail (for tests: trust anchors, time-outs).
    SendMail *testMailSender() const { return m_testMail; }
    PasswordStore *passwordStore() const { return m_passwords; }
    // The values a test mail's placeholders are filled with.
    static QStringList testMailText(const QStringList &templ, const QDateTime &when);

signals:
    // After every close, OK or not: the "Minimize To Tray" option in force.
    void minimizeToTrayChanged(bool minimizeToTray);

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void showOptions();
    THelpForm *helpForm();
    void releaseHelpForm();
    void securityChanged(int index);
    void showPasswordNote();

    ProgramOptions &m_options;
    UserPrompt *m_prompt;
    OptionsLocation m_where;
    QPointer<THelpForm> m_help;
    bool m_filling = false;
    std::function<QString()> m_autostartProject;
    QString m_autostartPath;
    // While the dialog is open the help viewer is made its transient child,
    // so that the modal dialog does not block it; its own parent window is
    // given back when the dialog closes.
    QPointer<QWindow> m_helpTransientParent;
    bool m_helpAttached = false;
    SendMail *m_testMail = nullptr;
    PasswordStore *m_passwords = nullptr;
    QString m_passwordAtShow;
    std::function<QString(const ProgramOptions &)> m_applyMetrics;
};
