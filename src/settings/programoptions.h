#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QSettings;

// The user's own settings: the live values that the options dialog edits in
// place, the main window reads at start-up and the e-mail action reads before
// every mail. Registry-style values live in QSettings("Velmora", "Sentrova"),
// group "Option", every value written as text; the message template lives in
// the text file "email.dat" of the data folder.
struct ProgramOptions {
    // Value names in the Option group.
    static constexpr const char *SmtpServerKey = "SMTP Server";
    static constexpr const char *SmtpPortKey = "SMTP Port";
    static constexpr const char *MailFromKey = "Mail From";
    static constexpr const char *MailToKey = "Mail To";
    static constexpr const char *MailSubjectKey = "Mail Subject";
    static constexpr const char *AutoStartKey = "Auto Start";
    static constexpr const char *MinimizeToTrayKey = "Minimize To Tray";
    // Beyond the seven values above: stored only while on, so a store that
    // never had it on keeps exactly the seven.
    static constexpr const char *AlertAfterKey = "Alert After Bad Attempts";
    // Mail security and the way alerts are shown (values this build adds;
    // absent values give the plain dialogue and boxes of every earlier run).
    static constexpr const char *SmtpSecurityKey = "SMTP Security";
    static constexpr const char *SmtpUserKey = "SMTP User";
    static constexpr const char *SmtpAcceptUntrustedKey = "SMTP Accept Untrusted";
    static constexpr const char *AlertStyleKey = "Alert Style";

    // Defaults when a value is absent.
    static constexpr const char *DefaultSmtpPort = "25";
    static constexpr const char *DefaultMailFrom = "sentrova@example.com";
    static constexpr const char *DefaultMailTo = "admin@example.com";
    static constexpr const char *DefaultMailSubject = "Velmora Sentrova";

    QString SmtpServer;                                     // SMTPEdit
    QString SmtpPort = DefaultSmtpPort;                     // PortEdit: any text, as typed
    QString MailFrom = DefaultMailFrom;                     // MailEdit
    QString MailTo = DefaultMailTo;                         // MailToEdit: stored and shown only
    QString MailSubject = DefaultMailSubject;               // MailSubjectEdit
    bool AutoStart = false;                                 // AutoStartBox
    bool MinimizeToTray = false;                            // MinimizeToTrayCB
    // An object alerts only after its "Alert after N bad attempts" failures
    // in a row (the engine's setAlertAfterEnabled).
    bool AlertAfterBadAttempts = false; // AlertAfterCB
    QStringList MessageTemplate = defaultMessageTemplate(); // MessageMemo

    // Mail security, the login and the way alerts are shown.
    enum Security { SecurityNone = 0, SecurityStartTls = 1, SecurityTls = 2 };
    enum AlertStyles { AlertBoxes = 0, AlertNotifications = 1, AlertBoth = 2 };
    int SmtpSecurity = SecurityNone;   // SecurityBox
    QString SmtpUser;                  // UserEdit; empty: no login
    // PasswordEdit. Never written to the options: the secret store keeps it
    // (PasswordStore); without one it lasts for this run only.
    QString SmtpPassword;
    bool SmtpAcceptUntrusted = false;  // AcceptCertificateBox
    int AlertStyle = AlertBoxes;       // AlertStyleBox
    // The port each security setting proposes: 25, 587 for STARTTLS, 465
    // for TLS on connect.
    static QString proposedPort(int security);
    // The metrics endpoint for Prometheus: off unless switched on; the port
    // alone listens on 127.0.0.1, "address:port" elsewhere. Both values are
    // written only once the endpoint was switched on, so the stored options
    // of a user who never does stay as they were.
    static constexpr const char *ServeMetricsKey = "Serve Metrics";
    static constexpr const char *MetricsPortKey = "Metrics Port";
    static constexpr const char *DefaultMetricsPort = "9464";
    bool ServeMetrics = false;                // ServeMetricsCB
    QString MetricsPort = DefaultMetricsPort; // MetricsPortEdit
    // A larger email.dat is refused rather than read: no template comes
    // near it, and a device in its place would never end.
    static constexpr qint64 TemplateFileMaxBytes = 1024 * 1024;

    // The built-in template, twelve lines with their runs of blanks.
    static QStringList defaultMessageTemplate();
    // The port the e-mail action connects to: the port text read as a
    // decimal integer, 25 when it is not one, then its low 16 bits.
    static quint16 mailPort(const QString &portText);
    quint16 mailPort() const { return mailPort(SmtpPort); }
};

// The main window's size, position and state as stored.
struct WindowPlacement {
    enum State { Normal = 0, Minimized = 1, Maximized = 2 };
    static constexpr const char *WidthKey = "Width";
    static constexpr const char *HeightKey = "Heigth"; // the stored name, as spelt
    static constexpr const char *LeftKey = "Left";
    static constexpr const char *TopKey = "Top";
    static constexpr const char *WinStateKey = "WinState";

    int Width = 600;
    int Heigth = 400;
    int Left = 10;
    int Top = 10;
    int WinState = Maximized; // a stored value other than 0, 1, 2 reads as the default
};

// Where the options are kept. A null settings pointer means the user's
// QSettings("Velmora", "Sentrova"); an empty template file means
// Paths::dataFile("email.dat"). Tests pass a QSettings on a temporary INI file
// and a temporary template path.
struct OptionsLocation {
    QSettings *settings = nullptr;
    QString templateFile;

    QString templatePath() const;
};

// Reads every option from the Option group (the default for each absent or
// unconvertible value) and then, only when the template file exists, replaces
// the message template with its lines (CR LF, a lone CR or a lone LF end a
// line; Windows-1252, or UTF-8 for a line the code page cannot hold). Writes
// nothing. False with a message naming the file in *problem when email.dat
// exists but cannot be read, is not a regular file or is larger than
// TemplateFileMaxBytes (the template then stays as it was).
bool LoadProgramOptions(ProgramOptions &options, const OptionsLocation &where = {}, QString *problem = nullptr);

// Writes the values as text ("1"/"0" for the booleans; the values this build
// adds only where they are not their defaults, the two metrics values once
// the endpoint was switched on), and then the
// template to the template file, every line followed by CR LF, atomically
// (the old file survives a failed write). False with a message naming the
// file in *error when a value or the file could not be written.
bool SaveProgramOptions(const ProgramOptions &options, const OptionsLocation &where = {}, QString *error = nullptr);

// What the dialog's Cancel does: reload the stored values, throwing away the
// edits; the template is reloaded only when the template file exists, so
// without it the edited template stays in force.
bool CancelProgramOptions(ProgramOptions &options, const OptionsLocation &where = {}, QString *problem = nullptr);

// The main window's placement: every value read as text, defaults for absent
// or unconvertible ones.
WindowPlacement LoadWindowPlacement(const OptionsLocation &where = {});
// Writes "Width", "Heigth", "Left" and "Top" only when the state is Normal,
// and "WinState" always, so a maximised or minimised window keeps the normal
// geometry saved last time.
bool SaveWindowPlacement(const WindowPlacement &placement, const OptionsLocation &where = {});

// Text conversions of the stored values. An integer is its decimal text; on
// reading, text that does not convert gives the default. A boolean is "1" or
// "0"; on reading it converts like an integer and anything but 0 is on.
namespace OptionText
{
int toInt(const QString &text, int fallback);
bool toBool(const QString &text, bool fallback);
QString fromInt(int value);
QString fromBool(bool value);
// The template file's text: lines ended by CR LF, CR or LF (a last line
// without an end counts), Windows-1252.
QStringList splitLines(const QByteArray &bytes);
QByteArray joinLines(const QStringList &lines);
} // namespace OptionText
