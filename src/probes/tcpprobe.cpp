#include "tcpprobe.h"

#include "ipv4lookup.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Closes the socket when the test is over, after ReportOutcome: the
// connection stays open while the alert actions run.
struct SocketGuard {
    int fd;
    ~SocketGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QString causeOf(int error)
{
    switch (error) {
    case ECONNREFUSED: return QStringLiteral("connection refused");
    case ENETUNREACH: return QStringLiteral("network unreachable");
    case EHOSTUNREACH: return QStringLiteral("host unreachable");
    case ETIMEDOUT: return QStringLiteral("connection timed out");
    case EADDRNOTAVAIL: return QStringLiteral("address not available");
    case EAFNOSUPPORT: return QStringLiteral("address family not supported");
    default: return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

} // namespace

// One test under way: the lookup, then one non-blocking connect after the
// other, all under one deadline.
class TcpConnectProbe::Attempt : public QObject
{
public:
    Attempt(TcpConnectProbe *probe, quint64 key, const TestTicket &ticket, const QString &host, quint16 port,
            int boundMs)
        : m_probe(probe), m_key(key), m_ticket(ticket), m_host(host), m_port(port), m_boundMs(boundMs)
    {
        m_clock.start();
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            fail(m_lookupPending ? QStringLiteral("no address for the name within %1 s").arg(seconds(m_boundMs))
                                 : QStringLiteral("no answer within %1 s").arg(seconds(m_boundMs)));
        });
        m_deadline.start(qMax(0, boundMs));
    }
    ~Attempt() override { closeSocket(); }

    quint64 key() const { return m_key; }
    const TestTicket &ticket() const { return m_ticket; }
    const QString &host() const { return m_host; }

    void lookUp(const QString &name)
    {
        m_lookupPending = true;
        auto *context = new QObject(this);
        QHostInfo::lookupHost(name, context, [this, context](const QHostInfo &info) {
            context->deleteLater();
            m_lookupPending = false;
            if (m_done)
                return;
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                fail(info.error() == QHostInfo::HostNotFound || info.error() == QHostInfo::NoError
                         ? QStringLiteral("name not found")
                         : QStringLiteral("name lookup failed: ") + info.errorString());
                return;
            }
            tryAddresses(info.addresses());
        });
    }

    void tryAddresses(const QList<QHostAddress> &addresses)
    {
        m_addresses = addresses;
        m_next = 0;
        connectNext();
    }

    // Ends the test without an outcome (the test was cancelled).
    void abandon()
    {
        m_done = true;
        m_deadline.stop();
        closeSocket();
    }

    void fail(const QString &cause)
    {
        if (m_done)
            return;
        m_done = true;
        m_deadline.stop();
        closeSocket();
        m_probe->finish(this, false, cause, -1);
    }

    int takeSocket()
    {
        const int fd = m_fd;
        m_fd = -1;
        delete m_notifier;
        m_notifier = nullptr;
        return fd;
    }

private:
    void closeSocket()
    {
        delete m_notifier;
        m_notifier = nullptr;
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    void connectNext()
    {
        while (!m_done) {
            if (m_next >= m_addresses.size()) {
                fail(m_lastCause.isEmpty() ? QStringLiteral("name not found") : m_lastCause);
                return;
            }
            const QHostAddress address = m_addresses.at(m_next++);
            sockaddr_storage to{};
            socklen_t length = 0;
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                auto *in4 = reinterpret_cast<sockaddr_in *>(&to);
                in4->sin_family = AF_INET;
                in4->sin_port = htons(m_port);
                in4->sin_addr.s_addr = htonl(address.toIPv4Address());
                length = sizeof(sockaddr_in);
            } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
                auto *in6 = reinterpret_cast<sockaddr_in6 *>(&to);
                in6->sin6_family = AF_INET6;
                in6->sin6_port = htons(m_port);
                const Q_IPV6ADDR bytes = address.toIPv6Address();
                std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
                bool ok = false;
                const uint scope = address.scopeId().toUInt(&ok);
                if (ok)
                    in6->sin6_scope_id = scope;
                length = sizeof(sockaddr_in6);
            } else {
                continue;
            }
            m_fd = ::socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (m_fd < 0) {
                m_lastCause = causeOf(errno);
                continue;
            }
            if (::connect(m_fd, reinterpret_cast<sockaddr *>(&to), length) == 0) {
                succeed();
                return;
            }
            if (errno != EINPROGRESS && errno != EINTR) {
                m_lastCause = causeOf(errno);
                closeSocket();
                continue;
            }
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
            connect(m_notifier, &QSocketNotifier::activated, this, [this] { connectEnded(); });
            return;
        }
    }

    void connectEnded()
    {
        if (m_done || m_fd < 0)
            return;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            error = errno;
        if (error == 0) {
            succeed();
            return;
        }
        m_lastCause = causeOf(error);
        closeSocket();
        connectNext(); // the next address, within what is left of the bound
    }

    void succeed()
    {
        m_done = true;
        m_deadline.stop();
        const qint64 ms = m_clock.elapsed();
        m_probe->finish(this, true, QStringLiteral("answered in %1 ms").arg(ms), ms);
    }

    TcpConnectProbe *m_probe;
    quint64 m_key;
    TestTicket m_ticket;
    QString m_host;
    quint16 m_port;
    int m_boundMs;
    QElapsedTimer m_clock;
    QTimer m_deadline;
    QList<QHostAddress> m_addresses;
    qsizetype m_next = 0;
    QString m_lastCause;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    bool m_lookupPending = false;
    bool m_done = false;
};

TcpConnectProbe::TcpConnectProbe(MonitorEngine *engine) : m_engine(engine) {}

TcpConnectProbe::~TcpConnectProbe()
{
    for (auto &entry : m_attempts) {
        entry.second->abandon();
        delete entry.second;
    }
    m_attempts.clear();
}

void TcpConnectProbe::cancelAll()
{
    // Deleted later: this may run inside one of their own handlers.
    auto attempts = std::move(m_attempts);
    m_attempts.clear();
    for (auto &entry : attempts) {
        entry.second->abandon();
        entry.second->deleteLater();
    }
}

int TcpConnectProbe::connectTo(const QString &host, qint32 port, int timeoutMs)
{
    quint32 address = 0;
    if (!Ipv4Lookup::resolve(host, &address))
        return -1; // no address: no connection attempt
    const quint16 portNumber = quint16(quint32(port) & 0xFFFF);
    if (portNumber == 0)
        return -1;

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(portNumber);
    to.sin_addr.s_addr = address;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    SocketGuard guard{fd};

    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return -1;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const qint64 remaining = qint64(qMax(0, timeoutMs)) - clock.elapsed();
            if (remaining <= 0)
                return -1; // the wait ran out
            pollfd pfd{fd, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, int(remaining));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return -1;
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
                return -1;
            break;
        }
    }
    guard.fd = -1;
    return fd;
}

void TcpConnectProbe::TestTcpConnect(int Index)
{
    const ObserverObject *o = m_engine->object(Index);
    const TcpConnectParams *p = o ? o->record.params<TcpConnectParams>() : nullptr;
    if (!p)
        return;
    const QString host = p->Target;
    const quint16 port = quint16(quint32(p->Port) & 0xFFFF);

    const quint64 key = m_nextAttempt++;
    auto *attempt = new Attempt(this, key, m_engine->testTicket(Index), host, port, m_connectTimeoutMs);
    m_attempts.emplace(key, attempt);

    const QString name = host.trimmed();
    quint32 dotted = 0;
    QHostAddress literal;
    QString bracketless = name;
    if (bracketless.startsWith(u'[') && bracketless.endsWith(u']'))
        bracketless = bracketless.mid(1, bracketless.size() - 2);

    if (name.isEmpty()) {
        attempt->fail(QStringLiteral("no host name"));
    } else if (port == 0) {
        attempt->fail(QStringLiteral("port 0 cannot be connected"));
    } else if (Ipv4Lookup::parseDotted(name, &dotted)) {
        // A dotted IPv4 address is taken as it stands.
        attempt->tryAddresses({QHostAddress(ntohl(dotted))});
    } else if (literal.setAddress(bracketless) && literal.protocol() == QAbstractSocket::IPv6Protocol) {
        attempt->tryAddresses({literal});
    } else if (Ipv4Lookup::isReservedInvalid(name)) {
        attempt->fail(QStringLiteral("name not found")); // never asked of a name server
    } else {
        // International names in their ASCII form; a text that is no valid
        // host name fails without a query.
        const QByteArray ace = QUrl::toAce(name);
        if (ace.isEmpty())
            attempt->fail(QStringLiteral("name not found"));
        else
            attempt->lookUp(QString::fromLatin1(ace));
    }
}

void TcpConnectProbe::finish(Attempt *attempt, bool pass, const QString &cause, qint64 responseMs)
{
    m_attempts.erase(attempt->key());
    attempt->deleteLater();
    SocketGuard connection{pass ? attempt->takeSocket() : -1};

    const QString host = attempt->host();
    Outcome outcome;
    outcome.pass = pass;
    outcome.failMarker = QStringLiteral("TCP Connect Error");
    outcome.failStatus = QStringLiteral("TCP Connect Error");
    outcome.hostField = host;
    outcome.statusField = host + (pass ? QStringLiteral(" Connect OK") : QStringLiteral(" TCP Connect Error"));
    outcome.methodName = QStringLiteral("TCP Connect");
    outcome.alertSuffix = pass ? QStringLiteral(" TCP Connect ok") : QStringLiteral(" TCP Connect Error");
    outcome.cause = cause;
    outcome.responseMs = responseMs;
    m_engine->ReportOutcome(attempt->ticket(), outcome);
}
