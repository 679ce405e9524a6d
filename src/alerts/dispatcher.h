#pragma once

#include "alerts/alertprofile.h"
#include "core/engine.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

class DesktopServices;
class QObject;
class SendMail;
struct ProgramOptions;

// Runs an object's alert profile when its outcome changes: the switched-on
// actions of the Dead or the Alive side, strictly in the order message box,
// sound, program, e-mail, net message, reboot. Nothing waits for the box:
// it is shown (as a box, a desktop notification or both, by the options)
// and the dispatcher goes on at once, so an alert nobody answers never
// delays a mail, a test or a load. One box per object and side: a newer
// alert replaces the text of the box still open. Every placeholder carries
// the time of the outcome.
//
// Alert mails are never lost to a busy sender: when the sender is still
// delivering an earlier message, the new one waits in a queue and is started
// as soon as the sender reports that it is done. The queue holds at most
// MailQueueLimit messages; beyond that the oldest waiting message is dropped,
// because the newest alerts tell the current state.
class AlertDispatcher : public AlertSink
{
public:
    using Clock = std::function<QDateTime()>;

    static constexpr int MailQueueLimit = 100;

    // Everything is borrowed and must outlive the dispatcher. The options are
    // the live values (read afresh for every mail); the clock gives the time
    // of %DATETIME% (the engine's clock when none is given). The dispatcher
    // installs its own OnDone handler on the sender (calling any handler that
    // was set before) and restores the earlier one when it goes away.
    AlertDispatcher(MonitorEngine &engine, const AlertProfileList &profiles, const ProgramOptions &options,
                    DesktopServices &desktop, SendMail &sender, Clock clock = {});
    ~AlertDispatcher() override;
    AlertDispatcher(const AlertDispatcher &) = delete;
    AlertDispatcher &operator=(const AlertDispatcher &) = delete;

    // The engine's alert hook.
    void dispatchAlert(int position, const QString &alertText, bool alive) override;
    void DispatchAlert(int position, const QString &alertText, bool alive)
    {
        dispatchAlert(position, alertText, alive);
    }

    // Messages waiting for the sender.
    int queuedMails() const { return int(m_queue.size()); }
    // Messages dropped because the queue was full.
    int droppedMails() const { return m_dropped; }

    // The values the mail template's placeholders are filled with.
    struct Placeholders {
        QString hostName;   // %HOSTNAME%: the row caption
        QString status;     // %STATUS%: the alert text
        QString dateTime;   // %DATETIME%: "dddddd hh:nn:ss"
        QString testMethod; // %TESTMETHOD%: the "Test metod" cell
        QString comment;    // %COMMENT%: the object's comment
    };
    // Fills one line: each placeholder in the order above, once, at its first
    // occurrence found in the line upper-cased (letters a to z only); a later
    // placeholder is also searched in text an earlier one inserted.
    static QString fillLine(const QString &line, const Placeholders &values);
    static QStringList fillTemplate(const QStringList &lines, const Placeholders &values);
    // "NET SEND " + recipient + " " + alert text, nothing cut.
    static QString netSendLine(const QString &recipient, const QString &alertText);
    // The extra header lines of every mail: "Date: " in the form of RFC 5322
    // and "Message-ID: " unique to the message, its domain the sender's.
    static QStringList mailHeaders(const QDateTime &when, const QString &fromAddress);
    static QString rfc5322Date(const QDateTime &when);
    // Puts the mail options in force on a sender: server, port, sender,
    // security, login and certificate rule.
    static void applyServerOptions(SendMail &sender, const ProgramOptions &options);
    // The key of the box of one object's one side.
    static QString boxKey(quint64 objectId, bool alive);

private:
    struct MailMessage {
        QString server;
        quint16 port = 25;
        QString from;
        QString to;
        QString subject;
        QStringList lines;
        QStringList headers;
        int security = 0;
        QString user, password;
        bool acceptUntrusted = false;
    };

    void sendMail(const MailMessage &message);
    void startNextMail();
    void senderDone(SendMail *sender);
    void postNextMail();

    MonitorEngine &m_engine;
    const AlertProfileList &m_profiles;
    const ProgramOptions &m_options;
    DesktopServices &m_desktop;
    SendMail &m_sender;
    Clock m_clock;
    std::function<void(SendMail *)> m_previousOnDone;
    std::deque<MailMessage> m_queue;
    int m_dropped = 0;
    bool m_starting = false;
    // Context of the posted starts: they are dropped with the dispatcher.
    std::unique_ptr<QObject> m_postContext;
};
