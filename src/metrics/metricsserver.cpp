#include "metricsserver.h"

#include "core/engine.h"
#include "metricstext.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace
{

// Per-connection state, kept on the socket.
constexpr const char *kBuffer = "sentrovaRequest";
constexpr const char *kAnswered = "sentrovaAnswered";

// The longest a rendered body is reused although nothing was reported changed.
constexpr qint64 kMaxBodyAgeMs = 1000;

} // namespace

bool MetricsAddress::parse(const QString &typed, MetricsAddress *out, QString *error)
{
    const QString text = typed.trimmed();
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (text.isEmpty())
        return fail(QStringLiteral("No metrics port is given."));
    QString hostText;
    QString portText = text;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1String("]:"));
        if (close < 0)
            return fail(QStringLiteral("\"%1\" is not an address and port: write an IPv6 address as [::1]:9464.").arg(text));
        hostText = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else if (text.count(QLatin1Char(':')) == 1) {
        hostText = text.section(QLatin1Char(':'), 0, 0);
        portText = text.section(QLatin1Char(':'), 1);
    } else if (text.contains(QLatin1Char(':'))) {
        return fail(QStringLiteral("\"%1\" is not an address and port: write an IPv6 address as [::1]:9464.").arg(text));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    if (!ok || port > 65535 || portText.startsWith(QLatin1Char('+')))
        return fail(QStringLiteral("\"%1\" is not a port number from 0 to 65535.").arg(portText));
    MetricsAddress a;
    if (!hostText.isEmpty()) {
        if (!a.host.setAddress(hostText))
            return fail(QStringLiteral("\"%1\" is not a numeric IPv4 or IPv6 address.").arg(hostText));
    }
    a.port = quint16(port);
    if (out)
        *out = a;
    return true;
}

QString MetricsAddress::toString() const
{
    if (host.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(host.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(host.toString()).arg(port);
}

MetricsServer::MetricsServer(MonitorEngine *engine, QObject *parent) : QObject(parent), m_engine(engine)
{
    // Any change of a row, of the list or of the observer's state makes the
    // next scrape render the body again.
    const auto stale = [this] { m_rebuild = true; };
    ObserverRowModel *model = engine->model();
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
        if (m_rebuild)
            return;
        if (to.row() - from.row() > 64 || m_changedRows.size() > 4096) {
            m_rebuild = true;
            return;
        }
        for (int row = from.row(); row <= to.row(); ++row)
            m_changedRows.push_back(row);
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, stale);
    connect(model, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(model, &QAbstractItemModel::rowsMoved, this, stale);
    connect(model, &QAbstractItemModel::modelReset, this, stale);
    connect(model, &QAbstractItemModel::layoutChanged, this, stale);
    connect(engine, &MonitorEngine::startedChanged, this, [this] { m_reassemble = true; });
}

MetricsServer::~MetricsServer()
{
    close();
}

bool MetricsServer::listen(const MetricsAddress &address, QString *error)
{
    // Already there: the connections in flight go on.
    if (isListening() && address.port != 0 && m_server->serverAddress() == address.host &&
        m_server->serverPort() == address.port)
        return true;
    close();
    m_server = new QTcpServer(this);
    // Pending connections are taken at once, so that none waits in Qt's queue.
    m_server->setMaxPendingConnections(m_limits.maxConnections);
    if (!m_server->listen(address.host, address.port)) {
        if (error) {
            const bool taken = m_server->serverError() == QAbstractSocket::AddressInUseError;
            *error = taken ? QStringLiteral("The metrics port %1 is already in use by another program. "
                                            "Metrics are not served; choose another port.")
                                 .arg(address.toString())
                           : QStringLiteral("The metrics endpoint cannot listen on %1: %2. Metrics are not served.")
                                 .arg(address.toString(), m_server->errorString());
        }
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &MetricsServer::acceptPending);
    return true;
}

void MetricsServer::close()
{
    if (!m_server)
        return;
    m_server->close();
    // Connections in flight are children of the server and go with it.
    delete m_server;
    m_server = nullptr;
    m_open = 0;
}

bool MetricsServer::isListening() const
{
    return m_server && m_server->isListening();
}

MetricsAddress MetricsServer::serverAddress() const
{
    MetricsAddress a;
    if (m_server) {
        a.host = m_server->serverAddress();
        a.port = m_server->serverPort();
    }
    return a;
}

const QByteArray &MetricsServer::body()
{
    if (!m_rebuild && !m_changedRows.empty()) {
        for (int row : m_changedRows) {
            if (!m_renderer.refreshRow(*m_engine, row)) {
                m_rebuild = true;
                break;
            }
        }
        m_changedRows.clear();
        m_reassemble = true;
    }
    if (m_rebuild || !m_rendered.isValid() || m_rendered.elapsed() > kMaxBodyAgeMs) {
        m_renderer.rebuild(*m_engine);
        m_rebuild = false;
        m_changedRows.clear();
        m_rendered.start();
        m_reassemble = true;
    }
    if (m_reassemble) {
        m_body = m_renderer.body(*m_engine);
        m_reassemble = false;
    }
    return m_body;
}

void MetricsServer::acceptPending()
{
    QTcpServer *server = m_server;
    while (server && server->hasPendingConnections()) {
        QTcpSocket *socket = server->nextPendingConnection();
        if (m_open >= m_limits.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_open;
        // The socket lives under the server: closing the endpoint ends it.
        socket->setParent(server);
        // Qt takes no more from the kernel than one request may hold; what a
        // client sends beyond it is never read.
        socket->setReadBufferSize(m_limits.maxRequestBytes + 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, server] {
            if (server == m_server && m_open > 0)
                --m_open;
        });
        // One deadline for reading the request and sending the answer: a
        // client that trickles its request or does not read its answer is
        // cut off.
        QTimer::singleShot(m_limits.requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void MetricsServer::readRequest(QTcpSocket *socket)
{
    if (socket->property(kAnswered).toBool())
        return; // whatever follows the request is left unread until the close
    QByteArray buffer = socket->property(kBuffer).toByteArray();
    const qint64 room = qint64(m_limits.maxRequestBytes) + 1 - buffer.size();
    buffer += socket->read(qMax<qint64>(room, 0));
    const qsizetype headEnd = [&] {
        const qsizetype crlf = buffer.indexOf("\r\n\r\n");
        const qsizetype lf = buffer.indexOf("\n\n");
        return crlf >= 0 && (lf < 0 || crlf < lf) ? crlf : lf;
    }();
    if (headEnd < 0) {
        if (buffer.size() > m_limits.maxRequestBytes) {
            answer(socket, 431, "Request Header Fields Too Large", "text/plain; charset=utf-8", "request too large\n");
            return;
        }
        // A request line that cannot be HTTP is refused without waiting
        // for the rest.
        const qsizetype lineEnd = buffer.indexOf('\n');
        if (lineEnd >= 0 && !buffer.left(lineEnd).trimmed().contains(" HTTP/"))
            answer(socket, 400, "Bad Request", "text/plain; charset=utf-8", "bad request\n");
        else
            socket->setProperty(kBuffer, buffer);
        return;
    }
    socket->setProperty(kBuffer, QVariant());
    const QByteArray requestLine = buffer.left(buffer.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
        answer(socket, 400, "Bad Request", "text/plain; charset=utf-8", "bad request\n");
        return;
    }
    QByteArray path = parts[1];
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);
    if (parts[0] != "GET" || path != "/metrics") {
        answer(socket, 404, "Not Found", "text/plain; charset=utf-8", "not found: only GET /metrics is served\n");
        return;
    }
    ++m_scrapes;
    answer(socket, 200, "OK", MetricsText::ContentType, body());
}

void MetricsServer::answer(QTcpSocket *socket, int code, const char *reason, const QByteArray &contentType,
                           const QByteArray &content)
{
    socket->setProperty(kAnswered, true);
    // Room for the whole answer in the kernel at once: one write instead of a
    // round of "writable" wake-ups per few kilobytes.
    if (content.size() > 64 * 1024)
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(qMin<qsizetype>(content.size() + 4096, 4 << 20)));
    QByteArray head = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(content.size()) + "\r\nConnection: close\r\n\r\n";
    socket->write(head);
    socket->write(content);
    // Closes once everything has been written; the deadline still applies.
    socket->disconnectFromHost();
}
