#pragma once

#include "settings/programoptions.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class QWindow;
class THelpForm;
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
    QCheckBox *ServeMetricsCB;
    QLineEdit *MetricsPortEdit;
    QLabel *MetricsStatusLabel;
    QLineEdit *SMTPEdit;
    QLineEdit *PortEdit;
    QLineEdit *MailEdit;
    QLineEdit *MailToEdit;
    QLineEdit *MailSubjectEdit;
    QPlainTextEdit *MessageMemo;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    // The handlers, callable as the controls call them.
    void FormShow();
    void HelpBtnClick();

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

    ProgramOptions &m_options;
    UserPrompt *m_prompt;
    OptionsLocation m_where;
    QPointer<THelpForm> m_help;
    bool m_filling = false;
    // While the dialog is open the help viewer is made its transient child,
    // so that the modal dialog does not block it; its own parent window is
    // given back when the dialog closes.
    QPointer<QWindow> m_helpTransientParent;
    bool m_helpAttached = false;
    std::function<QString(const ProgramOptions &)> m_applyMetrics;
};
