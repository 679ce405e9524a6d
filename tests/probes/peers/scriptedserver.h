#pragma once

// A scripted HTTP peer for tests: a listening socket on loopback whose
// connections are served by plain POSIX threads, so that a client blocking
// the test's own thread can talk to it. Every request head it receives is
// recorded byte for byte.

#include <QByteArray>
#include <QList>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ScriptedServer;

// One accepted connection, seen from the server's side.
class ScriptedPeer
{
public:
    ScriptedPeer(ScriptedServer *server, int fd) : m_server(server), m_fd(fd) {}

    // The next request head (up to and including the empty line); empty when
    // the client closed, the wait ran out or the server stops.
    QByteArray readRequest(int timeoutMs = 15000);
    // The target of the request line, in origin form ("/path?query") even
    // when the client sent an absolute URL to a proxy.
    static QByteArray pathOf(const QByteArray &request);

    bool send(const QByteArray &data);
    // Streams n zero bytes as fast as the client takes them.
    bool sendZeros(qint64 n);
    // Waits until the client closes or the server stops, sending nothing.
    void hang();
    bool stopping() const;

private:
    bool waitReadable(int timeoutMs);
    ScriptedServer *m_server;
    int m_fd;
    QByteArray m_pending;
};

class ScriptedServer
{
public:
    // What the server does with one request: the answer's bytes, then either
    // the connection stays open for the next request (keepOpen) or closes.
    // A custom step replaces the bytes for answers that need streaming.
    struct Reply {
        QByteArray bytes;
        bool keepOpen = false;
        std::function<void(ScriptedPeer &)> custom;
    };
    using Route = std::function<Reply(const QByteArray &path, const QByteArray &request)>;

    explicit ScriptedServer(Route route, const char *address = "127.0.0.1") : m_route(std::move(route))
    {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = 0;
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || ::listen(m_listenFd, 16) != 0) {
            ::close(m_listenFd);
            m_listenFd = -1;
            return;
        }
        socklen_t len = sizeof sa;
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&sa), &len);
        m_port = ntohs(sa.sin_port);
        m_address = QString::fromLatin1(address);
        m_acceptThread = std::thread([this] { acceptLoop(); });
    }

    ~ScriptedServer() { stop(); }

    void stop()
    {
        if (m_stop.exchange(true))
            return;
        if (m_acceptThread.joinable())
            m_acceptThread.join();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (int fd : m_fds)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (std::thread &t : m_threads)
            t.join();
        for (int fd : m_fds)
            ::close(fd);
        if (m_listenFd >= 0)
            ::close(m_listenFd);
    }

    bool isListening() const { return m_listenFd >= 0; }
    quint16 port() const { return m_port; }
    QString address() const { return m_address; }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://%1:%2%3").arg(m_address).arg(m_port).arg(path);
    }

    QList<QByteArray> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int connections() const { return m_connections.load(); }
    void clearRecords()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.clear();
        m_connections = 0;
    }

    bool stopping() const { return m_stop.load(); }
    void record(const QByteArray &request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests << request;
    }

private:
    void acceptLoop()
    {
        while (!m_stop.load()) {
            pollfd p{m_listenFd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++m_connections;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_fds.push_back(fd);
            m_threads.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd)
    {
        ScriptedPeer peer(this, fd);
        for (;;) {
            const QByteArray request = peer.readRequest();
            if (request.isEmpty())
                break;
            record(request);
            const Reply reply = m_route(ScriptedPeer::pathOf(request), request);
            if (reply.custom)
                reply.custom(peer);
            else if (!peer.send(reply.bytes))
                break;
            if (!reply.keepOpen || reply.custom)
                break;
        }
        // Orderly close: the client sees the end of the stream. The fd
        // itself is closed when the server stops, so that stop() never
        // shuts down a number that the system has handed out again.
        ::shutdown(fd, SHUT_RDWR);
    }

    Route m_route;
    int m_listenFd = -1;
    quint16 m_port = 0;
    QString m_address;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_acceptThread;
    std::vector<std::thread> m_threads;
    std::vector<int> m_fds;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
};

inline bool ScriptedPeer::stopping() const
{
    return m_server->stopping();
}

inline bool ScriptedPeer::waitReadable(int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs && !stopping(); waited += 50) {
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 50);
        if (r > 0)
            return true;
        if (r < 0)
            return false;
    }
    return false;
}

inline QByteArray ScriptedPeer::readRequest(int timeoutMs)
{
    for (;;) {
        const qsizetype end = m_pending.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray request = m_pending.left(end + 4);
            m_pending.remove(0, end + 4);
            return request;
        }
        if (m_pending.size() > 1024 * 1024 || !waitReadable(timeoutMs))
            return QByteArray();
        char buf[4096];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0)
            return QByteArray();
        m_pending.append(buf, qsizetype(n));
    }
}

inline QByteArray ScriptedPeer::pathOf(const QByteArray &request)
{
    const QByteArray line = request.left(request.indexOf("\r\n"));
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2)
        return QByteArray();
    QByteArray target = parts[1];
    const qsizetype scheme = target.indexOf("://");
    if (scheme >= 0) {
        const qsizetype slash = target.indexOf('/', scheme + 3);
        target = slash >= 0 ? target.mid(slash) : QByteArray("/");
    }
    return target;
}

inline bool ScriptedPeer::send(const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(m_fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

inline bool ScriptedPeer::sendZeros(qint64 n)
{
    static const std::vector<char> zeros(1 << 20, 0);
    while (n > 0 && !stopping()) {
        const size_t chunk = size_t(std::min<qint64>(n, qint64(zeros.size())));
        const ssize_t sent = ::send(m_fd, zeros.data(), chunk, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        n -= sent;
    }
    return n == 0;
}

inline void ScriptedPeer::hang()
{
    while (!stopping()) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buf[4096];
            if (::recv(m_fd, buf, sizeof buf, 0) <= 0)
                return;
        }
    }
}
