#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include "metricstext.h"

#include <vector>

class MonitorEngine;
class QTcpServer;
class QTcpSocket;

// Where the metrics endpoint listens, as typed in the options: a port alone
// ("9464") means 127.0.0.1; another address only when written out
// ("0.0.0.0:9464", "192.168.1.5:9464", "[::1]:9464", "[::]:9464").
struct MetricsAddress {
    QHostAddress host = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;

    // False with the reason in *error when the text is not an address.
    static bool parse(const QString &text, MetricsAddress *out, QString *error);
    // "127.0.0.1:9464", "[::1]:9464".
    QString toString() const;
};

// Serves GET /metrics (MetricsText::render) on the GUI thread with
// non-blocking sockets, so it never holds up the window: every request has
// a size and time bound, and the number of open connections is capped.
// Anything but GET /metrics is answered 404; a request line that is not
// HTTP gets 400, a request head above the size bound 431. Every answer closes
// its connection. The body is made again only after the objects changed, only
// for the rows that changed (and whole at least once a second), so many
// scrapes a second cost little.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    struct Limits {
        int maxRequestBytes = 8192; // request line and headers together
        int requestTimeoutMs = 5000; // from accepting until the answer has gone out
        int maxConnections = 128;    // beyond that new connections are closed at once
    };

    explicit MetricsServer(MonitorEngine *engine, QObject *parent = nullptr);
    ~MetricsServer() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    // Starts listening (closing any earlier endpoint first). False with a
    // message for the user in *error when the address cannot be opened, for
    // example because another program holds the port.
    bool listen(const MetricsAddress &address, QString *error);
    void close();
    bool isListening() const;
    // The address and port really listened on (the port chosen when 0 was asked).
    MetricsAddress serverAddress() const;

    int openConnections() const { return m_open; }
    qint64 scrapesServed() const { return m_scrapes; }

    // The current body (rendered again when stale).
    const QByteArray &body();

private:
    void acceptPending();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, int code, const char *reason, const QByteArray &contentType, const QByteArray &body);

    MonitorEngine *m_engine;
    QTcpServer *m_server = nullptr;
    Limits m_limits;
    QByteArray m_body;
    MetricsText::Renderer m_renderer;
    bool m_rebuild = true;         // the list changed: every row again
    bool m_reassemble = false;     // rows changed or the observer started or stopped
    std::vector<int> m_changedRows;
    QElapsedTimer m_rendered;
    int m_open = 0;
    qint64 m_scrapes = 0;
};
