#include "dispatcher.h"

#include "alerts/desktopservices.h"
#include "core/formats.h"
#include "mail/inetmail.h"
#include "settings/programoptions.h"

namespace
{

// Upper-cases the letters a to z only, so that every other character keeps
// its place and a position found in the result is a position in the line.
QString upperAsciiLetters(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(char16_t(u - (u'a' - u'A')));
    }
    return out;
}

} // namespace

AlertDispatcher::AlertDispatcher(MonitorEngine &engine, const AlertProfileList &profiles, const ProgramOptions &options,
                                 DesktopServices &desktop, SendMail &sender, Clock clock)
    : m_engine(engine), m_profiles(profiles), m_options(options), m_desktop(desktop), m_sender(sender),
      m_clock(std::move(clock))
{
    m_previousOnDone = m_sender.OnDone;
    m_sender.OnDone = [this](SendMail *s) { senderDone(s); };
}

AlertDispatcher::~AlertDispatcher()
{
    m_sender.OnDone = m_previousOnDone;
}

QString AlertDispatcher::fillLine(const QString &line, const Placeholders &v)
{
    struct Item {
        QLatin1String name;
        const QString *value;
    };
    const Item items[] = {
        {QLatin1String("%HOSTNAME%"), &v.hostName}, {QLatin1String("%STATUS%"), &v.status},
        {QLatin1String("%DATETIME%"), &v.dateTime}, {QLatin1String("%TESTMETHOD%"), &v.testMethod},
        {QLatin1String("%COMMENT%"), &v.comment},
    };
    QString out = line;
    for (const Item &item : items) {
        const qsizetype at = upperAsciiLetters(out).indexOf(item.name);
        if (at < 0)
            continue;
        out.remove(at, item.name.size());
        out.insert(at, *item.value);
    }
    return out;
}

QStringList AlertDispatcher::fillTemplate(const QStringList &lines, const Placeholders &values)
{
    QStringList out;
    out.reserve(lines.size());
    for (const QString &line : lines)
        out << fillLine(line, values);
    return out;
}

QString AlertDispatcher::netSendLine(const QString &recipient, const QString &alertText)
{
    return QStringLiteral("NET SEND ") + recipient + QLatin1Char(' ') + alertText;
}

void AlertDispatcher::dispatchAlert(int position, const QString &alertText, bool alive)
{
    const ObserverObject *object = m_engine.object(position);
    if (!object)
        return;
    const QString profileName = object->record.AlertProfileName;
    if (profileName.isEmpty())
        return;
    const int index = m_profiles.find(profileName);
    if (index < 0)
        return;

    // Everything the actions need is taken now: the message box below keeps
    // events running, and while it is open the object may be removed or
    // moved and the profile edited or deleted.
    const AlertProfile profile = m_profiles.at(index);
    const QString caption = object->caption;
    const QString method = object->method;
    const QString comment = object->record.Comment;

    if (profile.action(alive, aaShowMessage))
        m_desktop.showMessage(alive ? QStringLiteral("Alive") : QStringLiteral("Dead"), alertText);
    if (profile.action(alive, aaPlaySound))
        m_desktop.playSound(profile.parameter(alive, aaPlaySound));
    if (profile.action(alive, aaExecuteProgram))
        m_desktop.shellOpen(profile.parameter(alive, aaExecuteProgram));
    if (profile.action(alive, aaSendEMail)) {
        // The options are read now, after any message box was closed: a mail
        // uses the values in force at the moment it is composed.
        MailMessage mail;
        mail.from = m_options.MailFrom;
        mail.server = m_options.SmtpServer;
        mail.port = ProgramOptions::mailPort(m_options.SmtpPort);
        mail.to = profile.parameter(alive, aaSendEMail);
        mail.subject = m_options.MailSubject;
        Placeholders values;
        values.hostName = caption;
        values.status = alertText;
        values.dateTime = Formats::longDateTime(m_clock ? m_clock() : m_engine.now());
        values.testMethod = method;
        values.comment = comment;
        mail.lines = fillTemplate(m_options.MessageTemplate, values);
        sendMail(mail);
    }
    if (profile.action(alive, aaSendNetMessage))
        m_desktop.netSend(netSendLine(profile.parameter(alive, aaSendNetMessage), alertText));
    if (profile.action(alive, aaRebootComputer))
        m_desktop.reboot();
}

void AlertDispatcher::sendMail(const MailMessage &message)
{
    if (int(m_queue.size()) >= MailQueueLimit) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back(message);
    startNextMail();
}

void AlertDispatcher::startNextMail()
{
    // Starting a send lets no events run, but guard anyway: one start at a
    // time, and only while the sender is free.
    if (m_starting)
        return;
    m_starting = true;
    while (!m_queue.empty() && !m_sender.Busy()) {
        const MailMessage mail = std::move(m_queue.front());
        m_queue.pop_front();
        try {
            m_sender.setFROM_Address(mail.from);
            m_sender.setSMTP_Server(mail.server);
            m_sender.setSMTP_Port(mail.port);
            m_sender.setTO_Address(mail.to);
            m_sender.setSubject(mail.subject);
            m_sender.setMailText(mail.lines);
            m_sender.setAction(TMailAction::Send_Mail);
        } catch (...) {
            // A mail that cannot be started is dropped without a word, like
            // every other mail failure.
        }
    }
    m_starting = false;
}

void AlertDispatcher::senderDone(SendMail *sender)
{
    if (m_previousOnDone)
        m_previousOnDone(sender);
    startNextMail();
}
