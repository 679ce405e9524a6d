#include "tcpprobe.h"

#include "ipv4lookup.h"

#include <QElapsedTimer>

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

} // namespace

TcpConnectProbe::TcpConnectProbe(MonitorEngine *engine) : m_engine(engine) {}

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

    SocketGuard connection{connectTo(host, p->Port, m_connectTimeoutMs)};
    const bool pass = connection.fd >= 0;

    Outcome outcome;
    outcome.pass = pass;
    outcome.failMarker = QStringLiteral("TCP Connect Error");
    outcome.failStatus = QStringLiteral("TCP Connect Error");
    outcome.hostField = host;
    outcome.statusField = host + (pass ? QStringLiteral(" Connect OK") : QStringLiteral(" TCP Connect Error"));
    outcome.methodName = QStringLiteral("TCP Connect");
    outcome.alertSuffix = pass ? QStringLiteral(" TCP Connect ok") : QStringLiteral(" TCP Connect Error");
    m_engine->ReportOutcome(Index, outcome);
}
