// Shared pieces of the libFuzzer harnesses: the Qt application they need,
// a scratch file for the readers that take a path, a check that aborts (so
// libFuzzer records the input) and a loopback peer that answers every
// connection with the current input.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace Fuzz {

// One application for the whole run; sockets and timers need it.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// A folder of this process's own for the files a reader is given.
inline QString scratchPath(const QString &name)
{
    static const QString dir = [] {
        const QString d = QDir::temp().filePath(QStringLiteral("sentrova-fuzz-%1").arg(::getpid()));
        QDir().mkpath(d);
        return d;
    }();
    return QDir(dir).filePath(name);
}

inline void writeScratch(const QString &path, const uint8_t *data, size_t size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write the scratch file %s\n", qPrintable(path));
        std::abort();
    }
}

inline QByteArray readScratch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A property of the reader that must hold for every input.
#define FUZZ_CHECK(cond)                                                                                           \
    do {                                                                                                           \
        if (!(cond)) {                                                                                             \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);                      \
            std::abort();                                                                                          \
        }                                                                                                          \
    } while (0)

// A TCP peer on 127.0.0.1 that answers each connection with the current
// input: it reads what the client sends first (up to a blank line, for
// HTTP, or nothing, for SMTP, whose server speaks first), writes the input,
// ends its side and reads on until the client closes. So every dialogue
// ends by itself, whatever the input says.
class LoopbackPeer
{
public:
    explicit LoopbackPeer(bool clientSpeaksFirst) : m_clientFirst(clientSpeaksFirst)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            ::listen(m_listen, 16) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
            std::perror("loopback peer");
            std::abort();
        }
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
        m_thread.detach(); // lives as long as the process
    }

    quint16 port() const { return m_port; }
    void setReply(const uint8_t *data, size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reply.assign(reinterpret_cast<const char *>(data), size);
    }

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return;
            }
            answer(fd);
            ::close(fd);
        }
    }

    // Reads what is there within `ms`; false at the end or on an error.
    static bool readSome(int fd, std::string &into, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        into.append(buf, size_t(n));
        return true;
    }

    void answer(int fd)
    {
        std::string got;
        if (m_clientFirst)
            while (got.find("\r\n\r\n") == std::string::npos && got.size() < 65536 && readSome(fd, got, 1000)) {
            }
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            reply = m_reply;
        }
        size_t done = 0;
        while (done < reply.size()) {
            const ssize_t n = ::send(fd, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::shutdown(fd, SHUT_WR);
        // Until the client closes, so that nothing it still sends resets
        // the connection before it has read the reply.
        std::string rest;
        for (int i = 0; i < 50 && readSome(fd, rest, 100); ++i)
            rest.clear();
    }

    bool m_clientFirst;
    int m_listen = -1;
    quint16 m_port = 0;
    std::mutex m_mutex;
    std::string m_reply;
    std::thread m_thread;
};

} // namespace Fuzz
