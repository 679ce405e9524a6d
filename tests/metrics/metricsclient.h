// A plain HTTP client for the metrics tests: one request on its own
// connection, driven by the event loop of the thread that also runs the
// server, so a test waits without blocking the server.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

struct HttpReply {
    bool closed = false; // the server closed the connection within the time
    QByteArray bytes;    // everything received
    QByteArray statusLine() const { return bytes.left(bytes.indexOf("\r\n")); }
    QByteArray body() const
    {
        const qsizetype at = bytes.indexOf("\r\n\r\n");
        return at < 0 ? QByteArray() : bytes.mid(at + 4);
    }
    QByteArray header(const QByteArray &name) const
    {
        const QByteArray head = bytes.left(bytes.indexOf("\r\n\r\n"));
        for (const QByteArray &line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    }
};

// Runs the event loop until done() or the time is up.
template <class Done> bool spinUntil(Done done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    // Wakes the wait below at least every 10 ms, so the time limit is seen.
    QTimer tick;
    tick.start(10);
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A request in flight; collects the answer until the server closes.
class HttpRequest
{
public:
    HttpRequest(quint16 port, const QByteArray &request)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { reply.bytes += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] {
            reply.bytes += socket.readAll();
            reply.closed = true;
        });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError e) {
            if (e == QAbstractSocket::RemoteHostClosedError || socket.state() == QAbstractSocket::UnconnectedState)
                reply.closed = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!request.isEmpty())
            socket.write(request);
    }
    bool done() const { return reply.closed; }
    QTcpSocket socket;
    HttpReply reply;
};

inline HttpReply fetch(quint16 port, const QByteArray &request, int timeoutMs = 5000)
{
    HttpRequest r(port, request);
    spinUntil([&] { return r.done(); }, timeoutMs);
    return r.reply;
}

inline HttpReply scrape(quint16 port)
{
    return fetch(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n");
}
