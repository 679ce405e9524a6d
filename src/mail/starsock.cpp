#include "mail/starsock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace Winsock
{

int fromErrno(int error)
{
    switch (error) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return WSAEINPROGRESS;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
    case EBADF:
        return WSAENOTSOCK;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: // writing after the peer reset the connection
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return WSAEHOSTUNREACH;
    default:
        // No Winsock counterpart: the sender reports it as unknown.
        return WSAUNKNOWN;
    }
}

} // namespace Winsock

namespace
{

class OwnerMessageEvent : public QEvent
{
public:
    static QEvent::Type type()
    {
        static const int t = QEvent::registerEventType();
        return static_cast<QEvent::Type>(t);
    }
    explicit OwnerMessageEvent(int msg) : QEvent(type()), message(msg) {}
    int message;
};

} // namespace

TStarSocket::TStarSocket(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TStarSocket::countdownTick);
}

TStarSocket::~TStarSocket()
{
    Close();
    StopLibrary();
}

bool TStarSocket::StartLibrary()
{
    // POSIX sockets need no start-up; the flag keeps the sender's contract.
    m_started = true;
    return m_started;
}

void TStarSocket::StopLibrary()
{
    m_started = false;
}

int TStarSocket::CreateSocket()
{
    if (m_fd >= 0)
        return 0;
    return openSocket(AF_INET);
}

int TStarSocket::openSocket(int family)
{
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        setLastError(Winsock::fromErrno(errno));
        return m_lastError;
    }
    m_fd = fd;
    m_family = family;
    // Every SMTP line is a write of its own: without this, Nagle's algorithm
    // holds a line back until the server acknowledges the previous one (up to
    // the peer's delayed-ACK time, 40 ms on Linux), which multiplies the time
    // of a send several times over.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setLastError(0);
    return 0;
}

bool TStarSocket::isIPv6Literal(const QString &text)
{
    QString t = text;
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        t = t.mid(1, t.size() - 2);
    if (!t.contains(QLatin1Char(':')))
        return false;
    const QHostAddress a(t);
    return !a.isNull() && a.protocol() == QAbstractSocket::IPv6Protocol;
}

void TStarSocket::SetAddress(const QString &dotted)
{
    m_address6.clear();
    if (isIPv6Literal(dotted)) {
        QString t = dotted;
        if (t.startsWith(QLatin1Char('[')))
            t = t.mid(1, t.size() - 2);
        m_address6 = QHostAddress(t);
        m_address = 0;
        return;
    }
    in_addr a{};
    if (::inet_aton(dotted.toLatin1().constData(), &a) == 0)
        m_address = 0xFFFFFFFFu;
    else
        m_address = ntohl(a.s_addr);
}

int TStarSocket::ResolveName(const QString &hostName)
{
    if (m_lookupContext)
        return 0;
    if (hostName.isEmpty() || hostName.size() > MaxHostName) {
        setLastError(Winsock::WSAHOST_NOT_FOUND);
        return m_lastError;
    }
    setLastError(0);
    // One context object per lookup: deleting it cancels the delivery, even
    // for names Qt answers from its cache.
    QObject *context = new QObject(this);
    m_lookupContext = context;
    StartCountdown(m_timeoutArp);
    QHostInfo::lookupHost(hostName, context, [this, context](const QHostInfo &info) {
        if (context != m_lookupContext)
            return;
        m_lookupContext = nullptr;
        context->deleteLater();
        StopCountdown();
        int error = 0;
        if (info.error() == QHostInfo::HostNotFound)
            error = Winsock::WSAHOST_NOT_FOUND;
        else if (info.error() != QHostInfo::NoError)
            error = Winsock::WSATRY_AGAIN;
        else {
            // The first IPv4 address; a name with AAAA records only gives
            // its first IPv6 address.
            error = Winsock::WSANO_DATA;
            m_resolved6.clear();
            for (const QHostAddress &a : info.addresses()) {
                bool ok = false;
                quint32 v4 = a.toIPv4Address(&ok);
                if (ok && a.protocol() == QAbstractSocket::IPv4Protocol) {
                    m_resolved = v4;
                    error = 0;
                    break;
                }
            }
            if (error) {
                for (const QHostAddress &a : info.addresses()) {
                    if (a.protocol() == QAbstractSocket::IPv6Protocol) {
                        m_resolved6 = a;
                        m_resolved = 0;
                        error = 0;
                        break;
                    }
                }
            }
        }
        setLastError(error);
        ResolvedEvent();
    });
    return 0;
}

int TStarSocket::Connect()
{
    if (m_fd < 0) {
        setLastError(Winsock::WSAENOTSOCK);
        return m_lastError;
    }
    int rc = 0;
    if (!m_address6.isNull()) {
        if (m_family != AF_INET6) {
            // The socket was made for IPv4 before the address was known.
            ::close(m_fd);
            m_fd = -1;
            if (int e = openSocket(AF_INET6))
                return e;
        }
        sockaddr_in6 sa6{};
        sa6.sin6_family = AF_INET6;
        sa6.sin6_port = htons(m_port);
        const Q_IPV6ADDR raw = m_address6.toIPv6Address();
        std::memcpy(&sa6.sin6_addr, &raw, sizeof raw);
        sa6.sin6_scope_id = m_address6.scopeId().toUInt();
        rc = ::connect(m_fd, reinterpret_cast<sockaddr *>(&sa6), sizeof sa6);
    } else {
        // 0.0.0.0 and the broadcast address (also what an invalid dotted
        // text becomes) are not addresses a client can connect to.
        if (m_address == 0 || m_address == 0xFFFFFFFFu) {
            setLastError(Winsock::WSAEADDRNOTAVAIL);
            return m_lastError;
        }
        if (m_family != AF_INET) {
            ::close(m_fd);
            m_fd = -1;
            if (int e = openSocket(AF_INET))
                return e;
        }
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(m_port);
        sa.sin_addr.s_addr = htonl(m_address);
        rc = ::connect(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    }
    if (rc != 0 && errno != EINPROGRESS) {
        setLastError(Winsock::fromErrno(errno));
        return m_lastError;
    }
    setLastError(0);
    m_connecting = true;
    dropNotifiers();
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TStarSocket::readReady);
    // The end of the connect, good or bad, makes the socket writable.
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &TStarSocket::writeReady);
    StartCountdown(m_timeoutConnect);
    return 0;
}

qint64 TStarSocket::Send(const char *data, qint64 n)
{
    if (m_tls) {
        if (!m_tlsReady || m_tls->state() != QAbstractSocket::ConnectedState) {
            setLastError(Winsock::WSAENOTCONN);
            return 0;
        }
        // QSslSocket buffers whatever it is given; past this much waiting to
        // go out the caller is told to wait, as a full socket would.
        constexpr qint64 MaxBuffered = 256 * 1024;
        if (m_tls->bytesToWrite() >= MaxBuffered) {
            setLastError(0);
            m_wantWrite = true;
            return 0;
        }
        const qint64 taken = m_tls->write(data, qMin(n, MaxBuffered));
        if (taken < 0) {
            setLastError(Winsock::WSAECONNRESET);
            return 0;
        }
        setLastError(0);
        return taken;
    }
    if (m_fd < 0) {
        setLastError(Winsock::WSAENOTSOCK);
        return 0;
    }
    ssize_t sent = ::send(m_fd, data, size_t(n), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
        setLastError(0);
        return sent;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // Would block: no error; a write notification follows when the
        // connection can take data again.
        setLastError(0);
        m_wantWrite = true;
        if (m_writeNotifier && !m_connecting)
            m_writeNotifier->setEnabled(true);
        return 0;
    }
    setLastError(Winsock::fromErrno(errno));
    return 0;
}

qint64 TStarSocket::Receive(char *data, qint64 n)
{
    if (m_tls) {
        if (m_inRead)
            m_receivedInRead = true;
        const qint64 got = m_tls->read(data, n);
        setLastError(0);
        return got > 0 ? got : 0;
    }
    if (m_fd < 0) {
        setLastError(Winsock::WSAENOTSOCK);
        return 0;
    }
    ssize_t got = ::recv(m_fd, data, size_t(n), MSG_DONTWAIT);
    int error = got < 0 ? errno : 0;
    // Like Winsock, a receive re-arms the read notification: it comes again
    // while data (or the peer's close) is waiting.
    if (m_inRead)
        m_receivedInRead = true;
    else if (m_readNotifier && m_connected)
        m_readNotifier->setEnabled(true);
    if (got > 0) {
        setLastError(0);
        return got;
    }
    if (got == 0 || error == EAGAIN || error == EWOULDBLOCK) {
        setLastError(0);
        return 0;
    }
    setLastError(Winsock::fromErrno(error));
    return 0;
}

void TStarSocket::Close()
{
    if (m_lookupContext) {
        delete m_lookupContext;
        m_lookupContext = nullptr;
    }
    StopCountdown();
    dropNotifiers();
    if (m_tls) {
        // The TLS socket owns the descriptor now.
        QSslSocket *tls = m_tls;
        m_tls = nullptr;
        tls->disconnect(this);
        tls->abort();
        tls->deleteLater();
        m_fd = -1;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_connected = false;
    m_connecting = false;
    m_wantWrite = false;
    m_tlsReady = false;
    m_tlsReadPending = false;
}

QString TStarSocket::LocalHostName()
{
    return QHostInfo::localHostName().left(255);
}

QString TStarSocket::DottedAddress() const
{
    if (!m_address6.isNull())
        return m_address6.toString();
    return QHostAddress(m_address).toString();
}

bool TStarSocket::TlsSupported()
{
    return QSslSocket::supportsSsl();
}

namespace
{

// A short reason for a refused certificate, in the words people read in
// mail programs.
QString certificateReason(const QSslError &e)
{
    switch (e.error()) {
    case QSslError::CertificateExpired:
        return QStringLiteral("certificate has expired");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("certificate is not yet valid");
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("self-signed certificate");
    case QSslError::HostNameMismatch:
        return QStringLiteral("certificate is for another host name");
    case QSslError::CertificateRevoked:
        return QStringLiteral("certificate has been revoked");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
        return QStringLiteral("certificate is not trusted");
    default:
        return e.errorString().toLower();
    }
}

} // namespace

QHash<QString, QSslConfiguration> &TStarSocket::tlsConfigurations()
{
    static QHash<QString, QSslConfiguration> cache;
    return cache;
}

void TStarSocket::StartTls(const QString &peerName, bool acceptUntrusted)
{
    if (m_fd < 0 || m_tls || !m_connected) {
        setLastError(Winsock::WSAENOTCONN);
        m_tlsReason = QStringLiteral("not connected");
        QPointer<TStarSocket> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (self)
                    self->TlsFailedEvent(self->m_tlsReason);
            },
            Qt::QueuedConnection);
        return;
    }
    // Our notifiers stop; the TLS socket watches the descriptor from now on.
    dropNotifiers();
    auto *tls = new QSslSocket(this);
    m_tls = tls;
    m_tlsReady = false;
    m_tlsFailed = false;
    m_tlsReason.clear();
    QString name = peerName;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    // The configuration of the last good handshake with the same server
    // under the same rules carries its TLS context and session: the next
    // mail to that server resumes the session instead of building both
    // anew. Any other server or rule starts from the default.
    QString cacheKey = name + QLatin1Char('|') + QString::number(m_port) + QLatin1Char('|') +
                       QLatin1Char(acceptUntrusted ? '1' : '0');
    for (const QSslCertificate &c : m_extraCa)
        cacheKey += QLatin1Char('|') + QString::fromLatin1(c.digest(QCryptographicHash::Sha256).toHex());
    m_tlsCacheKey = cacheKey;
    auto &cache = tlsConfigurations();
    QSslConfiguration conf;
    if (cache.contains(cacheKey)) {
        conf = cache.value(cacheKey);
    } else {
        conf = QSslConfiguration::defaultConfiguration();
        if (!m_extraCa.isEmpty())
            conf.addCaCertificates(m_extraCa);
        conf.setPeerVerifyMode(acceptUntrusted ? QSslSocket::VerifyNone : QSslSocket::VerifyPeer);
        // Keep the session so that the next connection can resume it.
        conf.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    }
    tls->setSslConfiguration(conf);
    connect(tls, &QSslSocket::newSessionTicketReceived, this, [this, tls] {
        if (tls == m_tls && m_tlsReady)
            tlsConfigurations().insert(m_tlsCacheKey, tls->sslConfiguration());
    });
    tls->setPeerVerifyName(name);
    connect(tls, &QSslSocket::sslErrors, this, [this, tls, acceptUntrusted](const QList<QSslError> &errors) {
        if (tls != m_tls)
            return;
        if (acceptUntrusted) {
            tls->ignoreSslErrors();
            return;
        }
        if (!errors.isEmpty() && m_tlsReason.isEmpty())
            m_tlsReason = certificateReason(errors.first());
    });
    connect(tls, &QSslSocket::encrypted, this, [this, tls] {
        if (tls != m_tls)
            return;
        StopCountdown();
        m_tlsReady = true;
        setLastError(0);
        auto &cache = tlsConfigurations();
        if (cache.size() > 16)
            cache.clear();
        cache.insert(m_tlsCacheKey, tls->sslConfiguration());
        TlsReadyEvent();
    });
    connect(tls, &QSslSocket::readyRead, this, &TStarSocket::tlsReadyRead);
    connect(tls, &QSslSocket::encryptedBytesWritten, this, &TStarSocket::tlsWritten);
    connect(tls, &QSslSocket::errorOccurred, this, &TStarSocket::tlsError);
    connect(tls, &QSslSocket::disconnected, this, &TStarSocket::tlsDisconnected);
    const int fd = m_fd;
    if (!tls->setSocketDescriptor(fd, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        m_tlsReason = tls->errorString();
        m_tls = nullptr;
        tls->deleteLater();
        Close();
        TlsFailedEvent(m_tlsReason);
        return;
    }
    tls->startClientEncryption();
}

void TStarSocket::tlsReadyRead()
{
    if (!m_tls || !m_tlsReady)
        return;
    if (m_inRead) {
        m_tlsReadPending = true;
        return;
    }
    QSslSocket *tls = m_tls;
    QPointer<TStarSocket> self(this);
    setLastError(0);
    m_inRead = true;
    m_receivedInRead = false;
    m_tlsReadPending = false;
    ReadEvent();
    if (!self)
        return;
    m_inRead = false;
    // readyRead comes only for new data: what is left (or came while the
    // owner was busy) is handed over again from the event loop.
    if (m_tls == tls && m_receivedInRead && (m_tlsReadPending || tls->bytesAvailable() > 0))
        QMetaObject::invokeMethod(this, &TStarSocket::tlsReadyRead, Qt::QueuedConnection);
}

void TStarSocket::tlsWritten()
{
    if (!m_tls || !m_wantWrite)
        return;
    m_wantWrite = false;
    setLastError(0);
    WriteEvent();
}

void TStarSocket::tlsError()
{
    QSslSocket *tls = m_tls;
    if (!tls)
        return;
    const QAbstractSocket::SocketError error = tls->error();
    if (!m_tlsReady) {
        if (m_tlsFailed)
            return;
        m_tlsFailed = true;
        QString reason = m_tlsReason;
        if (reason.isEmpty()) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                reason = QStringLiteral("the server closed the connection");
            else
                reason = tls->errorString();
        }
        m_tlsReason = reason;
        QPointer<TStarSocket> self(this);
        Close();
        TlsFailedEvent(reason);
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError)
        return; // disconnected() follows
    int winsock = Winsock::WSAECONNRESET;
    if (error == QAbstractSocket::NetworkError)
        winsock = Winsock::WSAECONNABORTED;
    else if (error == QAbstractSocket::SocketTimeoutError)
        winsock = Winsock::WSAETIMEDOUT;
    StopCountdown();
    closeNotification(winsock);
}

void TStarSocket::tlsDisconnected()
{
    if (!m_tls || !m_tlsReady)
        return;
    StopCountdown();
    closeNotification(0);
}

void TStarSocket::PostMessage(int msg)
{
    QCoreApplication::postEvent(this, new OwnerMessageEvent(msg));
}

void TStarSocket::ConnectEvent()
{
    if (OnSocketConnect)
        OnSocketConnect();
}

void TStarSocket::ReadEvent()
{
    if (OnSocketRead)
        OnSocketRead();
}

void TStarSocket::WriteEvent()
{
    if (OnSocketWrite)
        OnSocketWrite();
}

void TStarSocket::CloseEvent()
{
    if (OnSocketClose)
        OnSocketClose();
}

void TStarSocket::TimeoutEvent()
{
    if (OnSocketTimeout)
        OnSocketTimeout();
}

void TStarSocket::ResolvedEvent()
{
    if (OnSocketResolved)
        OnSocketResolved();
}

void TStarSocket::MessageEvent(int msg)
{
    if (OnSocketMessage)
        OnSocketMessage(msg);
}

void TStarSocket::customEvent(QEvent *event)
{
    if (event->type() == OwnerMessageEvent::type()) {
        int msg = static_cast<OwnerMessageEvent *>(event)->message;
        if (msg >= FirstOwnerMessage)
            MessageEvent(msg);
        return;
    }
    QObject::customEvent(event);
}

void TStarSocket::StartCountdown(int seconds)
{
    StopCountdown();
    if (seconds <= 0)
        return;
    m_countdown = seconds;
    m_timer.start();
}

void TStarSocket::StopCountdown()
{
    m_timer.stop();
    m_countdown = 0;
}

void TStarSocket::countdownTick()
{
    if (--m_countdown > 0)
        return;
    Close();
    TimeoutEvent();
}

void TStarSocket::writeReady()
{
    if (!m_writeNotifier)
        return;
    StopCountdown();
    if (m_connecting) {
        m_connecting = false;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error != 0) {
            m_writeNotifier->setEnabled(false);
            setLastError(Winsock::fromErrno(error));
            ConnectEvent();
            return;
        }
        m_connected = true;
        m_readNotifier->setEnabled(true);
        // The write notifier stays on: a write notification follows the
        // connect, as it does on Winsock.
        setLastError(0);
        ConnectEvent();
        return;
    }
    m_writeNotifier->setEnabled(false);
    m_wantWrite = false;
    setLastError(0);
    WriteEvent();
}

void TStarSocket::readReady()
{
    if (!m_readNotifier || m_inRead)
        return;
    char probe;
    ssize_t n = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    StopCountdown();
    if (n <= 0) {
        // EPIPE here means a reset that came after the peer's orderly close
        // (typically the answer to a write after its FIN): still a close
        // without error, as the peer meant it.
        const int error = n == 0 || errno == EPIPE ? 0 : Winsock::fromErrno(errno);
        closeNotification(error);
        return;
    }
    // No further read notification while the owner handles this one; it is
    // re-armed afterwards if the owner received, as recv re-arms FD_READ.
    m_readNotifier->setEnabled(false);
    setLastError(0);
    m_inRead = true;
    m_receivedInRead = false;
    QSocketNotifier *notifier = m_readNotifier;
    ReadEvent();
    m_inRead = false;
    if (m_receivedInRead && m_readNotifier == notifier && notifier && m_connected)
        notifier->setEnabled(true);
}

void TStarSocket::closeNotification(int error)
{
    dropNotifiers();
    setLastError(error);
    QPointer<TStarSocket> self(this);
    CloseEvent();
    if (!self)
        return;
    if (m_connected) {
        if (m_tls) {
            QSslSocket *tls = m_tls;
            m_tls = nullptr;
            tls->disconnect(this);
            tls->abort();
            tls->deleteLater();
            m_fd = -1;
            m_tlsReady = false;
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_connected = false;
    }
}

void TStarSocket::dropNotifiers()
{
    // The notifier may be the one whose signal is being handled: switch it
    // off now and delete it later.
    for (QSocketNotifier **n : {&m_readNotifier, &m_writeNotifier}) {
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->disconnect(this);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
}
