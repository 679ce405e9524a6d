#pragma once

// An HTTP peer on loopback (IPv4 or IPv6) served by the test's own event
// loop: it only works while events run, which is what the asynchronous
// client has to allow. Each path names a behaviour, hostile ones included:
// answers that drip one byte at a time, endless bodies, slow redirects.
// Every request head is recorded byte for byte.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

class EventPeer : public QObject
{
public:
    // What the peer does on one connection after reading a request.
    struct Behaviour {
        QByteArray head;           // sent at once
        QByteArray drip;           // then sent one byte per tick, over and over
        int dripMs = 0;            // the tick; 0 sends nothing more
        bool endless = false;      // then zeros as fast as the client takes them
        int delayMs = 0;           // wait before sending head
        bool keepOpen = false;     // read the next request on the same connection
    };
    using Route = std::function<Behaviour(const QByteArray &path)>;

    EventPeer(Route route, const QHostAddress &address = QHostAddress::LocalHost) : m_route(std::move(route))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                serve(s);
        });
        m_server.listen(address, 0);
    }

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const
    {
        const QHostAddress a = m_server.serverAddress();
        const QString host = a.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + a.toString() + QLatin1Char(']')
                                                                             : a.toString();
        return QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path);
    }
    QList<QByteArray> requests() const { return m_requests; }
    int connections() const { return m_connections; }
    // Connections closed (or reset) so far, by either side.
    int closedConnections() const { return m_closed; }

private:
    void serve(QTcpSocket *s)
    {
        ++m_connections;
        auto pending = std::make_shared<QByteArray>();
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            ++m_closed;
            s->deleteLater();
        });
        connect(s, &QTcpSocket::readyRead, this, [this, s, pending] {
            *pending += s->readAll();
            const qsizetype end = pending->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray request = pending->left(end + 4);
            pending->remove(0, end + 4);
            m_requests << request;
            const QByteArray target = request.split(' ').value(1);
            answer(s, m_route(target));
        });
    }

    void answer(QTcpSocket *s, const Behaviour &b)
    {
        QPointer<QTcpSocket> socket(s);
        auto start = [this, socket, b] {
            if (!socket)
                return;
            socket->write(b.head);
            if (b.dripMs > 0 && !b.drip.isEmpty()) {
                auto *timer = new QTimer(socket);
                auto index = std::make_shared<qsizetype>(0);
                connect(timer, &QTimer::timeout, socket, [socket, b, index] {
                    socket->write(b.drip.mid(*index % b.drip.size(), 1));
                    ++*index;
                });
                timer->start(b.dripMs);
            } else if (b.endless) {
                const QByteArray block(64 * 1024, '\0');
                auto feed = [socket, block] {
                    while (socket && socket->bytesToWrite() < 256 * 1024 &&
                           socket->state() == QAbstractSocket::ConnectedState)
                        socket->write(block);
                };
                connect(socket, &QTcpSocket::bytesWritten, socket, feed);
                feed();
            } else if (!b.keepOpen) {
                socket->disconnectFromHost();
            }
        };
        if (b.delayMs > 0)
            QTimer::singleShot(b.delayMs, s, start);
        else
            start();
    }

    Route m_route;
    QTcpServer m_server;
    QList<QByteArray> m_requests;
    int m_connections = 0;
    int m_closed = 0;
};
