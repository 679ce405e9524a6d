#include "dispatcher.h"

#include "alerts/desktopservices.h"
#include "core/formats.h"
#include "mail/inetmail.h"
#include "settings/programoptions.h"

#include <QLocale>
#include <QObject>
#include <QTimeZone>
#include <QUuid>

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
      m_clock(std::move(clock)), m_postContext(std::make_unique<QObject>())
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

QString AlertDispatcher::rfc5322Date(const QDateTime &when)
{
    // English day and month names whatever the locale, and the zone as
    // +hhmm or -hhmm.
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return c.toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QStringList AlertDispatcher::mailHeaders(const QDateTime &when, const QString &fromAddress)
{
    QString domain = fromAddress.section(QLatin1Char('@'), -1).trimmed();
    // Only characters an address's domain may hold; anything else (or no
    // domain at all) gives a name of our own.
    bool plain = !domain.isEmpty() && fromAddress.contains(QLatin1Char('@'));
    for (QChar ch : domain)
        if (!(ch.isLetterOrNumber() && ch.unicode() < 0x80) && ch != u'.' && ch != u'-')
            plain = false;
    if (!plain)
        domain = QStringLiteral("sentrova.invalid");
    const QString unique = QUuid::createUuid().toString(QUuid::Id128);
    return {QStringLiteral("Date: ") + rfc5322Date(when),
            QStringLiteral("Message-ID: <%1.%2@%3>").arg(unique).arg(when.toSecsSinceEpoch()).arg(domain)};
}

void AlertDispatcher::applyServerOptions(SendMail &sender, const ProgramOptions &options)
{
    sender.setFROM_Address(options.MailFrom);
    sender.setSMTP_Server(options.SmtpServer);
    sender.setSMTP_Port(ProgramOptions::mailPort(options.SmtpPort));
    sender.setSecurity(SendMail::Security(options.SmtpSecurity));
    sender.setUserName(options.SmtpUser);
    sender.setPassword(options.SmtpPassword);
    sender.setAcceptUntrustedCertificate(options.SmtpAcceptUntrusted);
}

QString AlertDispatcher::boxKey(quint64 objectId, bool alive)
{
    return QStringLiteral("%1/%2").arg(objectId).arg(alive ? QLatin1String("Alive") : QLatin1String("Dead"));
}

void AlertDispatcher::dispatchAlert(int position, const QString &alertText, bool alive)
{
    const ObserverObject *object = m_engine.object(position);
    if (!object)
        return;
    // The time of the outcome: the object's last test when the engine
    // recorded one, else the clock's now.
    const QDateTime when = m_clock                         ? m_clock()
                           : object->lastTestTime.isValid() ? object->lastTestTime
                                                            : m_engine.now();
    const QString profileName = object->record.AlertProfileName;
    if (profileName.isEmpty())
        return;
    const int index = m_profiles.find(profileName);
    if (index < 0)
        return;

    // Everything the actions need is taken now: a desktop call may let events
    // run, and meanwhile the object may be removed or moved and the profile
    // edited or deleted.
    const AlertProfile profile = m_profiles.at(index);
    const QString caption = object->caption;
    const QString method = object->method;
    const QString comment = object->record.Comment;
    const quint64 objectId = object->id;

    if (profile.action(alive, aaShowMessage))
        m_desktop.showMessage(alive ? QStringLiteral("Alive") : QStringLiteral("Dead"), alertText,
                              boxKey(objectId, alive), AlertStyle(m_options.AlertStyle));
    if (profile.action(alive, aaPlaySound))
        m_desktop.playSound(profile.parameter(alive, aaPlaySound));
    if (profile.action(alive, aaExecuteProgram))
        m_desktop.shellOpen(profile.parameter(alive, aaExecuteProgram));
    if (profile.action(alive, aaSendEMail)) {
        // A mail uses the option values in force at the moment it is composed.
        MailMessage mail;
        mail.from = m_options.MailFrom;
        mail.server = m_options.SmtpServer;
        mail.port = ProgramOptions::mailPort(m_options.SmtpPort);
        mail.to = profile.parameter(alive, aaSendEMail);
        mail.subject = m_options.MailSubject;
        mail.headers = mailHeaders(when, mail.from);
        mail.security = m_options.SmtpSecurity;
        mail.user = m_options.SmtpUser;
        mail.password = m_options.SmtpPassword;
        mail.acceptUntrusted = m_options.SmtpAcceptUntrusted;
        Placeholders values;
        values.hostName = caption;
        values.status = alertText;
        values.dateTime = Formats::longDateTime(when);
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
            m_sender.setHeaders(mail.headers);
            m_sender.setSecurity(SendMail::Security(mail.security));
            m_sender.setUserName(mail.user);
            m_sender.setPassword(mail.password);
            m_sender.setAcceptUntrustedCertificate(mail.acceptUntrusted);
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
    postNextMail();
}

void AlertDispatcher::postNextMail()
{
    // The next mail starts from the event loop, never from inside the call
    // chain of the send that just ended.
    QMetaObject::invokeMethod(
        m_postContext.get(), [this] { startNextMail(); }, Qt::QueuedConnection);
}
