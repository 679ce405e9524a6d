#include "mail/inetmail.h"

#include "core/ansitext.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <cctype>

namespace
{

constexpr int DoneMessage = 0x402;
constexpr int PieceSize = 2048;
// Reads handled per read notification before the event loop gets its turn,
// so a flooding server cannot starve timers and the rest of the program.
constexpr int MaxReadsPerNotification = 32;
// Most body text taken from OnFeedData for one message.
constexpr qsizetype MaxFedData = 16 * 1024 * 1024;
const QByteArray Boundary = "==============ghyurgtfy573======___";

// A header value or an address never carries a line break onto the wire:
// CR and LF become blanks.
QByteArray headerBytes(const QString &text)
{
    QByteArray b = Ansi::fromUnicode(text);
    for (char &c : b)
        if (c == '\r' || c == '\n')
            c = ' ';
    return b;
}

// Text with CR and LF as blanks, so that no value can end a header line.
QString flatText(const QString &text)
{
    QString t = text;
    for (QChar &c : t)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return t;
}

// The header-word rule: text with a character above 0x7E goes out as one
// Q-encoded word, labelled with the character set of its bytes (ISO-8859-1
// for Latin-1 text, windows-1252 where that code page holds it, UTF-8
// otherwise); any other text unchanged. With maxLength the word is cut
// between characters so that it stays whole ("?=" included) within that
// many bytes.
QByteArray encodeHeaderWord(const QString &raw, int maxLength)
{
    const QString text = flatText(raw);
    bool high = false;
    bool latin1 = true;
    for (QChar c : text) {
        if (c.unicode() > 0x7E)
            high = true;
        if (c.unicode() > 0xFF)
            latin1 = false;
    }
    if (!high)
        return Ansi::fromUnicode(text);
    enum { Latin1, CodePage, Utf8 } set = latin1 ? Latin1 : Ansi::fitsCodePage(text) ? CodePage : Utf8;
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out = set == Latin1 ? "=?ISO-8859-1?Q?" : set == CodePage ? "=?windows-1252?Q?" : "=?UTF-8?Q?";
    for (qsizetype i = 0; i < text.size(); ++i) {
        // One character at a time (a surrogate pair is one), so a cut never
        // falls inside a character's bytes.
        qsizetype n = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            n = 2;
        const QString ch = text.mid(i, n);
        i += n - 1;
        const QByteArray bytes =
            set == Latin1 ? ch.toLatin1() : set == CodePage ? Ansi::fromUnicode(ch) : ch.toUtf8();
        QByteArray unit;
        for (char c : bytes) {
            const uchar u = uchar(c);
            if (u == ' ')
                unit += '_';
            // '?' and '_' are encoded too: left bare they end the word early
            // or turn into a blank when it is decoded.
            else if (u >= 0x21 && u <= 0x7E && u != '=' && u != '?' && u != '_')
                unit += char(u);
            else {
                unit += '=';
                unit += hex[u >> 4];
                unit += hex[u & 15];
            }
        }
        if (maxLength >= 0 && out.size() + unit.size() + 2 > maxLength)
            break;
        out += unit;
    }
    out += "?=";
    return out;
}

// Body text with every line break as CR LF, so that no lone CR or LF can
// end a line early on the server's side.
QByteArray normaliseLineEnds(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32 + 2);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool needsQuotedPrintable(const QByteArray &body)
{
    for (char c : body) {
        const uchar u = uchar(c);
        if (u != '\n' && u != '\r' && (u < 0x20 || u > 0x7E))
            return true;
    }
    return false;
}

struct ErrorEntry {
    SendMailError code;
    const char *text;
};

ErrorEntry socketError(int e)
{
    switch (e) {
    case 10004:
    case 10014:
    case 10022:
    case 10036:
    case 10038:
    case 10040:
    case 10045:
    case 10047:
    case 10048:
    case 10056:
    case 10057:
    case 10058:
        return {smInternalError, "Unexpected internal error in component"};
    case 10013:
        return {smInvalidAddress, "Invalid address specified"};
    case 10024:
        return {smOutofSockets, "Out of sockets"};
    case 10049:
        return {smAddressNotAvailable, "Address not available"};
    case 10050:
        return {smNetworkDown, "Network down"};
    case 10051:
        return {smNetworkUnreachable, "Network unreachable"};
    case 10052:
    case 10055:
        return {smGeneralWinsockError, "General Winsock Error"};
    case 10053:
        return {smConnAborted, "Connection aborted due to timeout or other failure"};
    case 10054:
        return {smConnReset, "Connection reset by remote side"};
    case 10060:
        return {smConnectTimeOut, "timeout"};
    case 10061:
        return {smConnectionRefused, "Connection Refused"};
    case 10065:
        return {smHostUnreachable, "Host Unreachable"};
    case 10093:
        return {smWInsockNotInitialized, "Winsock not initialized"};
    case 11001:
    case 11002:
    case 11003:
    case 11004:
        return {smAddressResolutionError, "Address resolution error"};
    default:
        return {smUnknown, "Unknown Error"};
    }
}

} // namespace

SendMail::SendMail(QObject *parent) : TStarSocket(parent)
{
    setTimeoutConnect(30);
    setTimeoutArp(30);
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &SendMail::replyTimedOut);
}

SendMail::~SendMail()
{
    m_replyTimer.stop();
}

void SendMail::setSMTP_Server(const QString &server)
{
    if (server.isEmpty())
        return;
    m_server = server;
    // An IPv6 address ("::1", "[2001:db8::1]") is an address too, never a
    // name to resolve.
    m_serverIsDotted = (server.at(0) >= QLatin1Char('0') && server.at(0) <= QLatin1Char('9')) ||
                       TStarSocket::isIPv6Literal(server);
}

void SendMail::setTimeoutReply(int seconds)
{
    m_timeoutReply = seconds;
}

void SendMail::setAction(TMailAction action)
{
    switch (action) {
    case TMailAction::None:
        break;
    case TMailAction::Send_Mail:
        startSend();
        break;
    case TMailAction::Cancel_SendMail:
        if (m_busy && !m_aborted && !m_ended) {
            m_lastMailError = smCanceled;
            abortSend();
        } else if (!m_busy && Socket() >= 0) {
            // Nothing under way: a connection kept open is let go.
            Close();
        }
        break;
    }
}

void SendMail::info(SendMailInfo what, const QString &addInfo)
{
    if (OnMailInfo)
        OnMailInfo(this, what, addInfo);
}

void SendMail::startSend()
{
    if (m_busy) {
        info(smAlreadyBusy);
        return;
    }
    // Busy from here on, so that a request made from a handler called while
    // the values are taken (OnFeedData) is refused as well.
    m_busy = true;
    m_aborted = false;
    m_ended = false;

    // Take the values for this send.
    auto entry = [](const QString &text) {
        const qsizetype bar = text.indexOf(QLatin1Char('|'));
        Recipient r;
        r.address = headerBytes(bar < 0 ? text : text.left(bar));
        if (bar >= 0)
            r.name = flatText(text.mid(bar + 1).left(999));
        return r;
    };
    auto entries = [&](const QStringList &list) {
        QList<Recipient> out;
        for (const QString &t : list) {
            Recipient r = entry(t);
            if (!r.address.isEmpty())
                out.append(r);
        }
        return out;
    };
    Snapshot s;
    s.server = m_server;
    s.serverIsDotted = m_serverIsDotted;
    s.port = m_port;
    s.fromName = flatText(m_fromName);
    s.fromAddress = headerBytes(m_fromAddress);
    s.subject = flatText(m_subject);
    s.to = entries(m_listTo);
    s.cc = entries(m_listCc);
    s.bcc = entries(m_listBcc);
    for (const QString &h : m_headers) {
        const QString line = flatText(h);
        if (!line.isEmpty()) // an empty line would end the header early
            s.headers.append(line);
    }
    s.security = m_security;
    s.user = m_user;
    s.password = m_password;
    s.acceptUntrusted = m_acceptUntrusted;
    s.attachments = m_attachments;
    s.keepOpen = m_keepOpen;
    s.firstList = -1;
    if (!m_toAddress.isEmpty()) {
        s.first.address = headerBytes(m_toAddress);
        s.first.name = flatText(m_toName);
        s.firstList = 0;
    } else {
        QList<Recipient> *lists[] = {&s.to, &s.cc, &s.bcc};
        for (int i = 0; i < 3; ++i) {
            if (!lists[i]->isEmpty()) {
                s.first = lists[i]->takeFirst();
                s.firstList = i;
                break;
            }
        }
    }
    QString text;
    for (const QString &line : m_mailText)
        text += line + QLatin1String("\r\n");
    if (OnFeedData) {
        for (;;) {
            QString data;
            OnFeedData(this, data);
            if (data.isEmpty() || text.size() > MaxFedData)
                break;
            text += data;
        }
    }
    // The whole body is one text, so that its bytes have one character set
    // and the label says which.
    QByteArray body = Ansi::fromUnicode(text);
    bool ascii = true;
    for (char c : body)
        if (uchar(c) > 0x7F)
            ascii = false;
    s.charset = ascii ? "us-ascii" : Ansi::fitsCodePage(text) ? "windows-1252" : "utf-8";
    s.hasBody = !m_mailText.isEmpty() || !body.isEmpty();
    s.body = normaliseLineEnds(body);
    s.quotedPrintable = needsQuotedPrintable(s.body);
    m_send = s;
    ++m_generation;
    m_holdLines = false;
    m_held.clear();
    m_capabilities.clear();
    m_replyLines.clear();
    m_authenticated = false;
    m_donePending = false;

    m_accepted = false;
    m_cursorList = 0;
    m_cursorIndex = 0;
    m_lastRecipient.clear();
    m_partial.clear();
    m_lastMailError = smNone;

    if (m_send.firstList < 0) {
        reportError(smMailDestinationError, QStringLiteral("Mail Destination Error"));
        return;
    }

    if (m_send.keepOpen && Connected()) {
        // The connection of the last message is still up: go on as if the
        // server had just answered HELO.
        m_state = State::HeloSent;
        touchReplyTimer();
        m_inReply = true;
        advance();
        m_inReply = false;
        resumeReading();
        return;
    }

    if (!StartLibrary()) {
        reportError(smWInsockNotInitialized, QStringLiteral("Winsock not initiliazed"));
        return;
    }
    Close(); // whatever is left of an earlier conversation
    if (int e = CreateSocket()) {
        reportSocketError(e);
        return;
    }
    SetPort(m_send.port);
    if (m_send.serverIsDotted) {
        SetAddress(m_send.server);
        if (int e = Connect())
            reportSocketError(e);
        return;
    }
    info(smResolvingAddress, m_send.server);
    if (m_aborted || m_ended)
        return;
    if (int e = ResolveName(m_send.server))
        reportSocketError(e);
}

void SendMail::ResolvedEvent()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    if (LastError()) {
        reportSocketError(LastError());
        return;
    }
    UseResolvedAddress();
    info(smAddressResolved, DottedAddress());
    if (m_aborted || m_ended)
        return;
    SetPort(m_send.port);
    if (int e = Connect())
        reportSocketError(e);
}

void SendMail::ConnectEvent()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    if (LastError()) {
        reportSocketError(LastError());
        return;
    }
    m_state = State::AwaitingGreeting;
    m_partial.clear();
    m_accepted = false;
    touchReplyTimer();
    const quint64 generation = m_generation;
    info(smServerConnected, DottedAddress());
    if (generation != m_generation || m_aborted || m_ended)
        return;
    if (m_send.security == SecurityTls) {
        // TLS from the first byte: the greeting comes once it is up.
        m_state = State::TlsConnecting;
        StartTls(m_send.server, m_send.acceptUntrusted);
    }
}

void SendMail::TlsReadyEvent()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    touchReplyTimer();
    if (m_state == State::TlsConnecting) {
        m_state = State::AwaitingGreeting;
        return;
    }
    if (m_state == State::TlsHandshake) {
        // What the server said before TLS counts for nothing now: greet it
        // again and learn what it offers over TLS.
        m_capabilities.clear();
        m_partial.clear();
        m_state = State::EhloSent;
        writeLine("EHLO " + Ansi::fromUnicode(LocalHostName()));
    }
}

void SendMail::TlsFailedEvent(const QString &reason)
{
    if (!m_busy || m_aborted || m_ended)
        return;
    reportError(smTlsError, QStringLiteral("TLS handshake failed: ") + reason);
}

void SendMail::ReadEvent()
{
    if (!m_busy || m_aborted || m_ended) {
        // Nothing to say to the server now (an idle kept-open connection):
        // take what it sent so the notification does not come back at once.
        char buf[PieceSize];
        for (int reads = 0; reads < MaxReadsPerNotification && Receive(buf, sizeof buf) > 0; ++reads) {
        }
        return;
    }
    if (m_inReply) {
        // A reply line is being handled; this data is read after it.
        m_readAgain = true;
        return;
    }
    m_readAgain = false;
    QPointer<SendMail> self(this);
    const quint64 generation = m_generation;
    char buf[PieceSize];
    for (int reads = 0; reads < MaxReadsPerNotification; ++reads) {
        const qint64 n = Receive(buf, sizeof buf);
        if (n <= 0) {
            if (LastError())
                reportSocketError(LastError());
            return;
        }
        m_partial.append(buf, n);
        qsizetype start = 0;
        for (;;) {
            const qsizetype end = m_partial.indexOf("\r\n", start);
            if (end < 0)
                break;
            const QByteArray line = m_partial.mid(start, end - start);
            start = end + 2;
            m_inReply = true;
            const State before = m_state;
            handleReplyLine(line);
            if (!self)
                return;
            m_inReply = false;
            // Events ran while the line was handled: another send may be
            // under way now, and this data is not its own.
            if (generation != m_generation || m_aborted || m_ended || !m_busy)
                return;
            if (before == State::StartTlsSent && m_state == State::TlsHandshake) {
                // Nothing sent in the clear after the server's go-ahead may
                // count: it would be read as if it came over TLS.
                m_partial.clear();
                return;
            }
        }
        m_partial.remove(0, start);
        if (m_partial.size() > MaxReplyLine) {
            reportError(smProtocolError,
                        QStringLiteral("Unexpected response: ") + Ansi::toUnicode(m_partial.left(MaxReplyLine)));
            return;
        }
    }
    // More may be waiting: the socket layer notifies again.
}

void SendMail::resumeReading()
{
    // Data that arrived while a reply was handled outside a read
    // notification is read from the event loop.
    if (m_readAgain && m_busy && !m_aborted && !m_ended) {
        m_readAgain = false;
        QMetaObject::invokeMethod(
            this, [this] { ReadEvent(); }, Qt::QueuedConnection);
    }
}

void SendMail::CloseEvent()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    if (LastError()) {
        reportSocketError(LastError());
        return;
    }
    info(smServerDisconnected);
    if (m_aborted || m_ended)
        return;
    if (!m_accepted)
        reportError(smPrematureDisconnect, QStringLiteral("Prematurely Disconnected"));
    else
        endSend();
}

void SendMail::TimeoutEvent()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    reportError(smConnectTimeOut, QStringLiteral("Connection timed out"));
}

void SendMail::MessageEvent(int msg)
{
    if (msg != DoneMessage)
        return;
    if (m_writeDepth > 0) {
        // The ended send is still inside a write further up the stack (a
        // handler let events run there): it has fully ended only once that
        // write has returned.
        m_donePending = true;
        return;
    }
    m_busy = false;
    if (OnDone)
        OnDone(this);
}

void SendMail::handleReplyLine(const QByteArray &line)
{
    info(smTraceIn, Ansi::toUnicode(line));
    if (m_aborted || m_ended)
        return;
    auto unexpected = [&] {
        reportError(smProtocolError, QStringLiteral("Unexpected response: ") + Ansi::toUnicode(line));
    };
    if (line.isEmpty()) {
        // An empty line is no reply at all.
        unexpected();
        return;
    }
    const bool more = line.size() >= 4 && line.at(3) == '-';
    const char first = line.at(0);
    if (first == '4' || first == '5' || first == '-') {
        switch (m_state) {
        case State::RcptSent:
            // The refused recipient is skipped; the dialogue goes on.
            info(smBadAddress, Ansi::toUnicode(m_lastRecipient));
            if (m_aborted || m_ended)
                return;
            break;
        case State::EhloSent:
            if (first == '5' && true) {
                if (more)
                    return;
                // A server that does not know EHLO: greet it the old way.
                touchReplyTimer();
                m_state = State::HeloFallbackSent;
                writeLine("HELO " + Ansi::fromUnicode(LocalHostName()));
                return;
            }
            unexpected();
            return;
        case State::StartTlsSent:
            if (more)
                return;
            reportError(smTlsError, QStringLiteral("STARTTLS refused: ") + Ansi::toUnicode(line));
            return;
        case State::AuthPlainSent:
        case State::AuthLoginSent:
        case State::AuthUserSent:
        case State::AuthPasswordSent:
            if (more)
                return;
            reportError(smLoginRefused, QStringLiteral("Login refused: ") + Ansi::toUnicode(line));
            return;
        default:
            unexpected();
            return;
        }
    }
    // A line of one to three characters is final; any final line that does
    // not start with "4", "5" or "-" is acceptance, whatever its number.
    if (m_state == State::EhloSent)
        m_replyLines << QString::fromLatin1(line.mid(4)).trimmed().toUpper();
    if (more)
        return; // more lines of the same reply follow
    // The server has answered: it owes nothing until we write again (each
    // write starts the silence bound once it is done).
    stopReplyTimer();
    advance();
}

bool SendMail::extendedDialogue() const
{
    return m_send.security != SecurityNone || !m_send.user.isEmpty();
}

void SendMail::afterGreeting()
{
    if (extendedDialogue()) {
        m_replyLines.clear();
        m_state = State::EhloSent;
        writeLine("EHLO " + Ansi::fromUnicode(LocalHostName()));
    } else {
        m_state = State::HeloSent;
        writeLine("HELO " + Ansi::fromUnicode(LocalHostName()));
    }
}

void SendMail::afterCapabilities()
{
    const auto offers = [this](const QString &word) {
        for (const QString &c : m_capabilities)
            if (c == word || c.startsWith(word + QLatin1Char(' ')))
                return true;
        return false;
    };
    if (m_send.security == SecurityStartTls && !TlsActive()) {
        if (!offers(QStringLiteral("STARTTLS"))) {
            reportError(smTlsError, QStringLiteral("TLS handshake failed: the server offers no STARTTLS"));
            return;
        }
        m_state = State::StartTlsSent;
        writeLine("STARTTLS");
        return;
    }
    if (!m_send.user.isEmpty() && !m_authenticated) {
        // Never a password in the clear unless the user chose no security.
        if (m_send.security != SecurityNone && !TlsActive()) {
            reportError(smTlsError, QStringLiteral("TLS handshake failed: the connection is not encrypted"));
            return;
        }
        QStringList mechanisms;
        for (const QString &c : m_capabilities)
            if (c.startsWith(QLatin1String("AUTH ")) || c.startsWith(QLatin1String("AUTH=")))
                mechanisms << c.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QByteArray user = m_send.user.toUtf8();
        const QByteArray password = m_send.password.toUtf8();
        if (mechanisms.contains(QLatin1String("PLAIN"))) {
            m_state = State::AuthPlainSent;
            const QByteArray token = (QByteArray(1, '\0') + user + QByteArray(1, '\0') + password).toBase64();
            writeSecret("AUTH PLAIN " + token, QStringLiteral("AUTH PLAIN ****"));
            return;
        }
        if (mechanisms.contains(QLatin1String("LOGIN"))) {
            m_state = State::AuthLoginSent;
            writeLine("AUTH LOGIN");
            return;
        }
        reportError(smNoLoginMethod,
                    QStringLiteral("Login failed: the server offers no login method this program knows (") +
                        (mechanisms.isEmpty() ? QStringLiteral("none") : mechanisms.join(QLatin1Char(' '))) +
                        QLatin1Char(')'));
        return;
    }
    sendMailFrom();
}

void SendMail::sendMailFrom()
{
    m_state = State::MailSent;
    writeLine("MAIL FROM:<" + m_send.fromAddress + ">");
}

void SendMail::advance()
{
    switch (m_state) {
    case State::AwaitingGreeting:
        afterGreeting();
        break;
    case State::HeloSent:
        sendMailFrom();
        break;
    case State::TlsConnecting:
    case State::TlsHandshake:
        // Nothing is read before TLS is up.
        break;
    case State::EhloSent:
        m_capabilities = m_replyLines;
        m_replyLines.clear();
        afterCapabilities();
        break;
    case State::HeloFallbackSent:
        m_capabilities.clear();
        afterCapabilities();
        break;
    case State::StartTlsSent:
        m_state = State::TlsHandshake;
        touchReplyTimer(); // the server owes the handshake
        StartTls(m_send.server, m_send.acceptUntrusted);
        break;
    case State::AuthPlainSent:
    case State::AuthPasswordSent:
        m_authenticated = true;
        sendMailFrom();
        break;
    case State::AuthLoginSent:
        m_state = State::AuthUserSent;
        writeSecret(m_send.user.toUtf8().toBase64(), QStringLiteral("****"));
        break;
    case State::AuthUserSent:
        m_state = State::AuthPasswordSent;
        writeSecret(m_send.password.toUtf8().toBase64(), QStringLiteral("****"));
        break;
    case State::MailSent:
        m_state = State::RcptSent;
        m_cursorList = 0;
        m_cursorIndex = 0;
        m_lastRecipient = m_send.first.address;
        if (writeLine("RCPT TO:<" + m_send.first.address + ">"))
            info(smRecipient, Ansi::toUnicode(m_send.first.address));
        break;
    case State::RcptSent: {
        Recipient r;
        if (nextRecipient(r)) {
            m_lastRecipient = r.address;
            if (writeLine("RCPT TO:<" + r.address + ">"))
                info(smRecipient, Ansi::toUnicode(r.address));
        } else {
            m_state = State::DataSent;
            writeLine("DATA");
        }
        break;
    }
    case State::DataSent:
        m_state = State::MessageSent;
        sendMessage();
        break;
    case State::MessageSent:
        m_accepted = true;
        info(smMessageAccepted);
        if (m_aborted || m_ended)
            return;
        if (m_send.keepOpen) {
            endSend();
        } else {
            m_state = State::QuitSent;
            writeLine("QUIT");
        }
        break;
    case State::QuitSent:
        // The server answered QUIT: the conversation is over whether or not
        // it closes its side, so close ours rather than wait for it.
        Close();
        endSend();
        break;
    }
}

bool SendMail::nextRecipient(Recipient &out)
{
    const QList<Recipient> *lists[] = {&m_send.to, &m_send.cc, &m_send.bcc};
    while (m_cursorList < 3) {
        const QList<Recipient> &list = *lists[m_cursorList];
        if (m_cursorIndex < list.size()) {
            out = list.at(m_cursorIndex++);
            return true;
        }
        ++m_cursorList;
        m_cursorIndex = 0;
    }
    return false;
}

bool SendMail::writeLine(const QByteArray &text, bool messageLine)
{
    QByteArray line = text.left(253);
    if (messageLine && line.startsWith('.'))
        line.prepend('.');
    line += "\r\n";
    info(smTraceOut, Ansi::toUnicode(line));
    if (m_holdLines) {
        // The message's lines travel together with what follows them, in
        // as few writes (and TLS records) as possible; the bytes are the
        // same.
        m_held += line;
        return !m_aborted && !m_ended;
    }
    return writeRaw(line);
}

bool SendMail::writeSecret(const QByteArray &text, const QString &shown)
{
    // Credentials are not cut and never shown in the trace.
    info(smTraceOut, shown + QLatin1String("\r\n"));
    return writeRaw(text + "\r\n");
}

bool SendMail::writeRaw(const QByteArray &given)
{
    // Message lines held back go out in front of these bytes.
    QByteArray bytes;
    if (m_held.isEmpty()) {
        bytes = given;
    } else {
        bytes = std::move(m_held) + given;
        m_held.clear();
    }
    QPointer<SendMail> self(this);
    const quint64 generation = m_generation;
    // The server owes nothing while we write: the silence bound waits.
    stopReplyTimer();
    ++m_writeDepth;
    const auto leave = [&](bool result) {
        if (!self)
            return false;
        if (--m_writeDepth == 0 && m_donePending) {
            m_donePending = false;
            PostMessage(DoneMessage);
        }
        if (result && generation == m_generation)
            touchReplyTimer(); // now the server owes the answer
        return result;
    };
    const auto current = [&] { return self && generation == m_generation && !m_aborted && !m_ended; };
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (!current())
            return leave(false);
        QCoreApplication::processEvents();
        if (!current())
            return leave(false);
        const qint64 n = Send(bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (LastError()) {
            reportSocketError(LastError());
            return leave(false);
        }
        // The connection cannot take data now: wait for the write
        // notification (or any other event, a time-out or a cancel among
        // them) instead of spinning. A server that takes nothing owes us
        // room, so the silence bound runs while we wait.
        touchReplyTimer();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!self)
            return false;
        stopReplyTimer();
    }
    return leave(current());
}

void SendMail::sendMessage()
{
    const Snapshot &s = m_send;
    auto line = [this](const QByteArray &text) { return writeLine(text, true); };
    m_holdLines = true;
    m_held.clear();

    if (!line("From: " + headerWord(s.fromName, 253 - 6) + " <" + s.fromAddress + ">"))
        return;
    auto toLine = [&](const Recipient &r) {
        return line(r.name.isEmpty() ? "To: " + r.address + ";" : "To: " + headerWord(r.name) + " <" + r.address + ">");
    };
    auto ccLine = [&](const Recipient &r) {
        return line(r.name.isEmpty() ? "cc: " + r.address : "cc: " + headerWord(r.name) + " <" + r.address + ">");
    };
    if (s.firstList == 0 && !toLine(s.first))
        return;
    for (const Recipient &r : s.to)
        if (!toLine(r))
            return;
    if (s.firstList == 1 && !ccLine(s.first))
        return;
    for (const Recipient &r : s.cc)
        if (!ccLine(r))
            return;
    // The cut at 253 characters falls after the encoded word, never in it.
    if (!s.subject.isEmpty() && !line("Subject: " + headerWord(s.subject, 253 - 9) + "  "))
        return;
    if (!line("Mime-Version: 1.0"))
        return;
    const bool multipart = !s.attachments.isEmpty();
    auto textType = [&] {
        if (!line("Content-Type: text/plain; charset=\"" + s.charset + "\""))
            return false;
        return !s.quotedPrintable || line("Content-Transfer-Encoding: quoted-printable");
    };
    if (multipart) {
        if (!line("Content-Type: multipart/mixed; boundary=\"" + Boundary + "\""))
            return;
    } else if (!textType()) {
        return;
    }
    for (const QString &h : s.headers) {
        const qsizetype colon = h.indexOf(QLatin1String(": "));
        const QByteArray name = Ansi::fromUnicode(colon < 0 ? h : h.left(colon + 2));
        const QByteArray out =
            colon < 0 ? name : name + headerWord(h.mid(colon + 2), 253 - int(name.size())) + "  ";
        if (!line(out))
            return;
    }
    if (!line(QByteArray()))
        return;
    if (multipart && s.hasBody) {
        if (!line("--" + Boundary) || !textType() || !line(QByteArray()))
            return;
    }
    if (s.hasBody) {
        if (!sendBody() || !line(QByteArray()))
            return;
    }
    if (multipart && !sendAttachments())
        return;
    if (m_aborted || m_ended)
        return;
    writeLine(".");
    // Everything still held goes out now, the closing "." with it.
    m_holdLines = false;
    flushHeld();
}

bool SendMail::flushHeld()
{
    if (m_held.isEmpty())
        return true;
    const QByteArray bytes = std::move(m_held);
    m_held.clear();
    return writeRaw(bytes);
}

bool SendMail::sendBody()
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray &body = m_send.body;
    info(smMessageSize, QString::number(body.size()));
    m_qpCounter = 0;
    m_atLineStart = true;
    for (qsizetype at = 0; at < body.size(); at += PieceSize) {
        if (m_aborted || m_ended)
            return false;
        const QByteArray piece = body.mid(at, PieceSize);
        QByteArray encoded;
        if (m_send.quotedPrintable) {
            encoded.reserve(piece.size() * 5);
            for (char c : piece) {
                const uchar u = uchar(c);
                if (u < 0x21 || u == 0x3D || u > 0x7E) {
                    encoded += '=';
                    encoded += hex[u >> 4];
                    encoded += hex[u & 15];
                    m_qpCounter += 3;
                } else {
                    encoded += c;
                    m_qpCounter += 1;
                }
                if (m_qpCounter > 70) {
                    encoded += "=\r\n";
                    m_qpCounter = 0;
                }
            }
        } else {
            encoded = piece;
        }
        // A line that begins with "." gets a second one, so that no body
        // line can end the message.
        QByteArray wire;
        wire.reserve(encoded.size() + encoded.size() / 64 + 2);
        for (char c : encoded) {
            if (m_atLineStart && c == '.')
                wire += '.';
            wire += c;
            m_atLineStart = c == '\n';
        }
        info(smTraceOut, Ansi::toUnicode(wire));
        if (!writeRaw(wire))
            return false;
        info(smSendingMessage, QString::number(at + piece.size()));
    }
    return !m_aborted && !m_ended;
}

bool SendMail::sendAttachments()
{
    for (const QString &name : m_send.attachments) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            info(smBadAttachment, name);
            continue;
        }
        const QByteArray base = headerWord(QFileInfo(name).fileName().replace(QLatin1Char('"'), QLatin1Char('\'')));
        info(smAttachmentName, name);
        info(smAttachmentSize, QString::number(file.size()));
        if (m_aborted || m_ended)
            return false;
        if (!writeLine("--" + Boundary, true) ||
            !writeLine("Content-Type: application/octet-stream; name=\"" + base + "\"", true) ||
            !writeLine("Content-Transfer-Encoding: base64", true) ||
            !writeLine("Content-Disposition: attachment; filename=\"" + base + "\"", true) ||
            !writeLine(QByteArray(), true))
            return false;
        qint64 sent = 0;
        for (;;) {
            // 57 input bytes make one 76-character base64 line.
            const QByteArray chunk = file.read(57 * 36);
            if (chunk.isEmpty())
                break;
            const QByteArray encoded = chunk.toBase64();
            QByteArray lines;
            for (qsizetype i = 0; i < encoded.size(); i += 76)
                lines += encoded.mid(i, 76) + "\r\n";
            info(smTraceOut, QString::fromLatin1(lines));
            if (!writeRaw(lines))
                return false;
            sent += chunk.size();
            info(smAttachmentBytes, QString::number(sent));
        }
        if (!writeLine(QByteArray(), true))
            return false;
    }
    return writeLine("--" + Boundary + "--", true);
}

void SendMail::reportError(SendMailError error, const QString &text)
{
    if (m_aborted || m_ended || !m_busy)
        return;
    m_lastMailError = error;
    if (OnMailError)
        OnMailError(this, error, text);
    abortSend();
}

void SendMail::reportSocketError(int winsockError)
{
    const ErrorEntry e = socketError(winsockError);
    reportError(e.code, QString::fromLatin1(e.text));
}

void SendMail::clearRecipients()
{
    m_toAddress.clear();
    m_toName.clear();
    m_listTo.clear();
    m_listCc.clear();
    m_listBcc.clear();
}

void SendMail::abortSend()
{
    if (m_aborted || m_ended)
        return;
    clearRecipients();
    m_aborted = true;
    Close();
    endSend();
}

void SendMail::endSend()
{
    if (m_ended)
        return;
    m_ended = true;
    clearRecipients();
    stopReplyTimer();
    PostMessage(DoneMessage);
}

QByteArray SendMail::headerWord(const QString &text, int maxLength) const
{
    return encodeHeaderWord(text, maxLength);
}

void SendMail::touchReplyTimer()
{
    if (m_timeoutReply > 0 && m_busy && !m_aborted && !m_ended)
        m_replyTimer.start(m_timeoutReply * 1000);
}

void SendMail::stopReplyTimer()
{
    m_replyTimer.stop();
}

void SendMail::replyTimedOut()
{
    if (!m_busy || m_aborted || m_ended)
        return;
    if (m_state == State::QuitSent && m_accepted) {
        // Only the answer to QUIT is missing: the message is delivered.
        Close();
        endSend();
        return;
    }
    reportError(smConnectTimeOut, QStringLiteral("Connection timed out"));
}
