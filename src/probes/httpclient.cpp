#include "httpclient.h"

#include "hostlookup.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkCookie>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace
{

const QByteArray kUserAgent = "Mozilla/3.0 (compatible; Velmora Sentrova)";
// Bytes the socket may hold beyond what we have taken out: keeps a fast
// server's endless body from growing memory.
constexpr qint64 kSocketBufferSize = 1024 * 1024;
// Our own buffer for head lines and chunk size lines.
constexpr qsizetype kLineBuffer = HttpClient::MaxLineLength + 8192;

int defaultPort(const QString &scheme)
{
    return scheme == QLatin1String("https") ? 443 : 80;
}

// "host" or "[v6]" for a Host header, a CONNECT line or an absolute target.
QByteArray hostForHeader(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    return host;
}

// True when the comma-separated header value holds the token (any case).
bool hasToken(const QByteArray &value, const char *token)
{
    const QList<QByteArray> parts = value.split(',');
    for (const QByteArray &p : parts) {
        if (p.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Percent-encodes only what cannot go raw on a request line: blanks,
// control characters and bytes beyond ASCII (non-ASCII text as UTF-8).
QByteArray encodeForWire(const QByteArray &raw)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(raw.size());
    for (const char ch : raw) {
        const uchar c = uchar(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

bool hasScheme(const QByteArray &ref)
{
    if (ref.isEmpty() || !std::isalpha(uchar(ref[0])))
        return false;
    for (const char ch : ref) {
        if (ch == ':')
            return true;
        if (!std::isalnum(uchar(ch)) && ch != '+' && ch != '-' && ch != '.')
            return false;
    }
    return false;
}

// Removes "." and ".." segments from a path without touching anything else.
QByteArray removeDotSegments(QByteArray in)
{
    QByteArray out;
    auto dropLastSegment = [&out] {
        const qsizetype slash = out.lastIndexOf('/');
        out.truncate(slash < 0 ? 0 : slash);
    };
    while (!in.isEmpty()) {
        if (in.startsWith("../")) {
            in.remove(0, 3);
        } else if (in.startsWith("./")) {
            in.remove(0, 2);
        } else if (in.startsWith("/./")) {
            in.remove(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.startsWith("/../")) {
            in.remove(0, 3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            qsizetype end = in.indexOf('/', in.startsWith('/') ? 1 : 0);
            if (end < 0)
                end = in.size();
            out += in.left(end);
            in.remove(0, end);
        }
    }
    return out;
}

QString socketCause(QAbstractSocket *socket)
{
    switch (socket->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("connection closed");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("name not found");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("network unreachable");
    default:
        break;
    }
    QString text = socket->errorString();
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString sslCause(const QList<QSslError> &errors, QSslSocket *socket)
{
    for (const QSslError &e : errors) {
        switch (e.error()) {
        case QSslError::CertificateExpired:
            return QStringLiteral("certificate has expired");
        case QSslError::CertificateNotYetValid:
            return QStringLiteral("certificate is not yet valid");
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
            return QStringLiteral("certificate is self-signed");
        case QSslError::HostNameMismatch:
            return QStringLiteral("certificate is for another name");
        case QSslError::CertificateRevoked:
            return QStringLiteral("certificate was revoked");
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            return QStringLiteral("certificate is not trusted");
        default:
            break;
        }
    }
    QString text = errors.isEmpty() ? socket->errorString() : errors.first().errorString();
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return QStringLiteral("TLS: ") + text;
}

// "30", "2.5": a bound in seconds for a cause text.
QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4);
}

} // namespace

// ---- BoundedCookieJar -------------------------------------------------------

bool BoundedCookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url)
{
    QList<QNetworkCookie> usable;
    for (const QNetworkCookie &c : cookies) {
        if (c.name().size() + c.value().size() <= MaxCookieBytes)
            usable << c;
    }
    // A server that sets more than a host may keep: only the last ones count.
    if (usable.size() > MaxPerHost)
        usable = usable.mid(usable.size() - MaxPerHost);
    const bool added = QNetworkCookieJar::setCookiesFromUrl(usable, url);
    prune();
    return added;
}

void BoundedCookieJar::prune()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<QNetworkCookie> all = allCookies();
    const qsizetype before = all.size();
    all.erase(std::remove_if(all.begin(), all.end(),
                             [&](const QNetworkCookie &c) {
                                 return !c.isSessionCookie() && c.expirationDate().toUTC() <= now;
                             }),
              all.end());
    // Newest last: walk backwards, keeping up to the limits.
    QHash<QString, int> perHost;
    QList<QNetworkCookie> kept;
    for (qsizetype i = all.size() - 1; i >= 0; --i) {
        QString domain = all[i].domain();
        if (domain.startsWith(QLatin1Char('.')))
            domain.remove(0, 1);
        if (kept.size() >= MaxTotal || ++perHost[domain.toLower()] > MaxPerHost)
            continue;
        kept.prepend(all[i]);
    }
    if (kept.size() != before)
        setAllCookies(kept);
}

QList<QNetworkCookie> BoundedCookieJar::cookiesForUrl(const QUrl &url) const
{
    // Qt's jar leaves expired cookies out already; the line's bound is ours.
    const QList<QNetworkCookie> all = QNetworkCookieJar::cookiesForUrl(url);
    QList<QNetworkCookie> fit;
    qsizetype length = 0;
    for (const QNetworkCookie &c : all) {
        const qsizetype size = c.toRawForm(QNetworkCookie::NameAndValueOnly).size() + (fit.isEmpty() ? 0 : 2);
        if (length + size > MaxLineBytes)
            break;
        length += size;
        fit << c;
    }
    return fit;
}

QByteArray BoundedCookieJar::cookieLine(const QUrl &url)
{
    prune();
    QByteArray line;
    for (const QNetworkCookie &c : cookiesForUrl(url)) {
        if (!line.isEmpty())
            line += "; ";
        line += c.toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    return line;
}

// ---- one fetch --------------------------------------------------------------

class HttpClient::Fetch : public QObject
{
public:
    Fetch(HttpClient *client, quint64 id, Callback done)
        : m_client(client), m_id(id), m_done(std::move(done)), m_proxyHost(client->m_proxyHost),
          m_proxyPort(client->m_proxyPort), m_connectMs(client->m_connectTimeoutMs),
          m_silenceMs(client->m_silenceTimeoutMs), m_fetchMs(client->m_fetchTimeoutMs)
    {
        m_phaseTimer.setSingleShot(true);
        m_fetchTimer.setSingleShot(true);
        connect(&m_phaseTimer, &QTimer::timeout, this, [this] { onPhaseTimeout(); });
        connect(&m_fetchTimer, &QTimer::timeout, this, [this] {
            fail(QStringLiteral("no answer within %1 s").arg(seconds(m_fetchMs)),
                 QStringLiteral("the fetch took longer than its bound"));
        });
    }

    ~Fetch() override { dropSocket(); }

    void start(const QString &text)
    {
        m_clock.start();
        m_fetchTimer.start(std::max(1, m_fetchMs));
        m_url = parseUrl(text, &m_result.error);
        if (!m_url.isValid()) {
            m_result.cause = QStringLiteral("invalid URL");
            finish();
            return;
        }
        m_target = wireTarget(text);
        beginRequest();
    }

private:
    enum class Phase { Idle, Connect, Tunnel, Handshake, Head, Body, Done };
    enum class BodyMode { None, Length, Chunked, Close };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };
    enum class After { Succeed, Redirect, Fail };

    bool tls() const { return m_url.scheme() == QLatin1String("https"); }
    bool viaProxy() const { return !m_proxyHost.isEmpty(); }

    QString placeKey() const
    {
        const QString host = m_url.host();
        const int port = m_url.port(defaultPort(m_url.scheme()));
        QString key = QStringLiteral("%1 %2 %3")
                          .arg(tls() ? "tls" : "tcp", viaProxy() ? m_proxyHost : host)
                          .arg(viaProxy() ? m_proxyPort : port);
        if (viaProxy() && tls())
            key += QStringLiteral(" tunnel %1 %2").arg(host).arg(port);
        return key;
    }

    QByteArray buildRequest() const
    {
        // An https request through a proxy travels inside a CONNECT tunnel
        // and so takes the direct form.
        const bool proxyForm = viaProxy() && !tls();
        QByteArray target = m_target;
        if (proxyForm) {
            QByteArray origin = m_url.scheme().toLatin1() + "://" + hostForHeader(m_url);
            if (m_url.port() != -1)
                origin += ':' + QByteArray::number(m_url.port());
            target = origin + target;
        }
        QByteArray host = hostForHeader(m_url);
        const int port = m_url.port(defaultPort(m_url.scheme()));
        if (port != defaultPort(m_url.scheme()))
            host += ':' + QByteArray::number(port);

        QByteArray req;
        req.reserve(256 + target.size());
        req += "GET " + target + " HTTP/1.0\r\n";
        req += proxyForm ? "Proxy-Connection: keep-alive\r\n" : "Connection: keep-alive\r\n";
        req += "Content-Type: text/html\r\n";
        req += "Host: " + host + "\r\n";
        req += "Accept: text/html, */*\r\n";
        req += "User-Agent: " + kUserAgent + "\r\n";
        const QByteArray cookies = m_client->m_jar->cookieLine(m_url);
        if (!cookies.isEmpty())
            req += "Cookie: " + cookies + "\r\n";
        req += "\r\n";
        return req;
    }

    // ---- connection ----

    void beginRequest()
    {
        ++m_result.requests;
        m_attempt = 0;
        attemptRequest();
    }

    void attemptRequest()
    {
        m_key = placeKey();
        if (std::unique_ptr<QTcpSocket> kept = m_client->takeIdle(m_key)) {
            m_reused = true;
            attach(std::move(kept));
            sendRequest();
            return;
        }
        m_reused = false;
        // Another place closes the connections kept for the old one first.
        m_client->closeIdleExcept(m_key);

        if (viaProxy() && (m_proxyPort < 1 || m_proxyPort > 65535)) {
            fail(QStringLiteral("invalid proxy port"), QStringLiteral("invalid proxy port"));
            return;
        }
        if (tls() && !QSslSocket::supportsSsl()) {
            fail(QStringLiteral("TLS is not available"), QStringLiteral("TLS is not available"));
            return;
        }
        m_phase = Phase::Connect;
        // The name lookup and the connect attempts share the connect bound.
        m_phaseTimer.start(std::max(1, m_connectMs));
        const QString host = viaProxy() ? m_proxyHost : m_url.host();
        QHostAddress literal;
        if (literal.setAddress(host)) {
            m_addresses = {literal};
            tryNextAddress();
            return;
        }
        delete m_lookupContext;
        m_lookupContext = new QObject(this);
        HostLookup::start(host, m_lookupContext, [this](HostLookup::Error error, const QList<QHostAddress> &found) {
            m_lookupContext->deleteLater();
            m_lookupContext = nullptr;
            if (error != HostLookup::NoError) {
                fail(HostLookup::errorText(error), QStringLiteral("cannot resolve ") + m_url.host());
                return;
            }
            m_addresses = found;
            tryNextAddress();
        });
    }

    void tryNextAddress()
    {
        if (m_addresses.isEmpty()) {
            fail(m_lastConnectCause.isEmpty() ? QStringLiteral("connection failed") : m_lastConnectCause,
                 QStringLiteral("connection failed: ") + m_lastConnectCause);
            return;
        }
        const QHostAddress address = m_addresses.takeFirst();
        std::unique_ptr<QTcpSocket> socket;
        if (tls())
            socket = std::make_unique<QSslSocket>();
        else
            socket = std::make_unique<QTcpSocket>();
        socket->setProxy(QNetworkProxy::NoProxy);
        socket->setReadBufferSize(kSocketBufferSize);
        attach(std::move(socket));
        m_socket->connectToHost(address, quint16(viaProxy() ? m_proxyPort : m_url.port(defaultPort(m_url.scheme()))));
    }

    void attach(std::unique_ptr<QTcpSocket> socket)
    {
        dropSocket();
        m_socket = std::move(socket);
        m_in.clear();
        m_pos = 0;
        m_eof = false;
        m_gotBytes = 0;
        QTcpSocket *s = m_socket.get();
        connect(s, &QAbstractSocket::connected, this, [this] { onConnected(); });
        connect(s, &QIODevice::readyRead, this, [this] { onReadable(); });
        connect(s, &QIODevice::bytesWritten, this, [this] {
            if (m_phase == Phase::Head || m_phase == Phase::Tunnel)
                m_phaseTimer.start(std::max(1, m_silenceMs));
        });
        connect(s, &QAbstractSocket::disconnected, this, [this] { onClosed(); });
        connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) { onSocketError(); });
        if (auto *ssl = qobject_cast<QSslSocket *>(s))
            connect(ssl, &QSslSocket::encrypted, this, [this] { sendRequest(); });
    }

    void dropSocket()
    {
        if (!m_socket)
            return;
        QTcpSocket *s = m_socket.release();
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }

    void onConnected()
    {
        if (m_phase != Phase::Connect)
            return;
        ++m_result.connections;
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (viaProxy() && tls()) {
            // Ask the proxy for a tunnel to the origin; TLS runs inside it.
            const QByteArray hostPort = hostForHeader(m_url) + ':' + QByteArray::number(m_url.port(443));
            const QByteArray req = "CONNECT " + hostPort + " HTTP/1.0\r\nHost: " + hostPort +
                                   "\r\nProxy-Connection: keep-alive\r\nUser-Agent: " + kUserAgent + "\r\n\r\n";
            m_phase = Phase::Tunnel;
            resetHead();
            m_phaseTimer.start(std::max(1, m_silenceMs));
            m_socket->write(req);
            return;
        }
        if (tls()) {
            startHandshake();
            return;
        }
        sendRequest();
    }

    void startHandshake()
    {
        auto *ssl = static_cast<QSslSocket *>(m_socket.get());
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        if (!m_client->m_extraCas.isEmpty())
            config.addCaCertificates(m_client->m_extraCas);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        ssl->setSslConfiguration(config);
        ssl->setPeerVerifyName(m_url.host());
        m_phase = Phase::Handshake;
        m_phaseTimer.start(std::max(1, m_connectMs));
        ssl->startClientEncryption();
    }

    void sendRequest()
    {
        m_phase = Phase::Head;
        resetHead();
        m_phaseTimer.start(std::max(1, m_silenceMs));
        const QByteArray request = buildRequest();
        if (m_socket->write(request) != request.size()) {
            staleOrFail(QStringLiteral("cannot send the request"));
            return;
        }
        // A kept connection may already hold the server's close.
        if (m_socket->bytesAvailable() > 0)
            onReadable();
    }

    // A kept connection that the server closed while it was idle fails
    // before any byte of the answer: the request goes once more over a new
    // connection. Anything else ends the fetch.
    void staleOrFail(const QString &cause)
    {
        if (m_reused && m_attempt == 0 && m_gotBytes == 0) {
            ++m_attempt;
            dropSocket();
            attemptRequest();
            return;
        }
        fail(cause, cause);
    }

    void onSocketError()
    {
        switch (m_phase) {
        case Phase::Connect:
            m_lastConnectCause = socketCause(m_socket.get());
            dropSocket();
            tryNextAddress();
            return;
        case Phase::Handshake: {
            auto *ssl = static_cast<QSslSocket *>(m_socket.get());
            const QString cause = sslCause(ssl->sslHandshakeErrors(), ssl);
            fail(cause, QStringLiteral("TLS handshake failed: ") + cause);
            return;
        }
        case Phase::Tunnel:
        case Phase::Head:
        case Phase::Body:
            // A close or a reset: what was received before still counts.
            onClosed();
            return;
        default:
            return;
        }
    }

    void onClosed()
    {
        if (m_phase == Phase::Connect) {
            m_lastConnectCause = QStringLiteral("connection closed");
            dropSocket();
            tryNextAddress();
            return;
        }
        if (m_phase == Phase::Handshake) {
            fail(QStringLiteral("connection closed during the TLS handshake"),
                 QStringLiteral("connection closed during the TLS handshake"));
            return;
        }
        if (m_eof)
            return;
        m_eof = true;
        pump();
    }

    void onPhaseTimeout()
    {
        switch (m_phase) {
        case Phase::Connect:
            fail(QStringLiteral("no connection within %1 s").arg(seconds(m_connectMs)),
                 QStringLiteral("no connection within the connect bound"));
            return;
        case Phase::Handshake:
            fail(QStringLiteral("no TLS handshake within %1 s").arg(seconds(m_connectMs)),
                 QStringLiteral("the TLS handshake took longer than the connect bound"));
            return;
        case Phase::Tunnel:
        case Phase::Head:
            m_timedOut = true;
            fail(QStringLiteral("no answer within %1 s").arg(seconds(m_silenceMs)),
                 QStringLiteral("no answer within the silence bound"));
            return;
        case Phase::Body:
            m_timedOut = true;
            fail(QStringLiteral("the body stalled for %1 s").arg(seconds(m_silenceMs)),
                 QStringLiteral("the body stalled beyond the silence bound"));
            return;
        default:
            return;
        }
    }

    void onReadable()
    {
        if (m_phase == Phase::Head || m_phase == Phase::Tunnel || m_phase == Phase::Body) {
            m_phaseTimer.start(std::max(1, m_silenceMs));
            pump();
        }
    }

    // ---- reading ----

    // Moves bytes from the socket into our buffer, up to its size.
    bool fillLineBuffer()
    {
        if (m_pos > 0 && m_pos == m_in.size()) {
            m_in.clear();
            m_pos = 0;
        } else if (m_pos > kLineBuffer / 2) {
            m_in.remove(0, m_pos);
            m_pos = 0;
        }
        const qint64 room = kLineBuffer - m_in.size();
        if (room <= 0 || !m_socket || m_socket->bytesAvailable() <= 0)
            return false;
        const QByteArray more = m_socket->read(room);
        if (more.isEmpty())
            return false;
        m_gotBytes += more.size();
        m_in += more;
        return true;
    }

    // 1: a line (without CR LF; a lone LF ends a line too), 0: more bytes
    // are needed, -1: the line is too long.
    int takeLine(QByteArray &line)
    {
        for (;;) {
            const qsizetype nl = m_in.indexOf('\n', m_pos);
            if (nl >= 0) {
                line = m_in.mid(m_pos, nl - m_pos);
                if (line.endsWith('\r'))
                    line.chop(1);
                m_pos = nl + 1;
                return 1;
            }
            if (m_in.size() - m_pos > MaxLineLength)
                return -1;
            if (!fillLineBuffer())
                return m_in.size() - m_pos > MaxLineLength ? -1 : 0;
        }
    }

    // Throws away up to n body bytes from our buffer and the socket.
    qint64 skipBody(qint64 n)
    {
        qint64 done = 0;
        const qint64 buffered = std::min<qint64>(n, m_in.size() - m_pos);
        if (buffered > 0) {
            m_pos += buffered;
            done += buffered;
        }
        while (done < n && m_socket && m_socket->bytesAvailable() > 0) {
            const qint64 got = m_socket->skip(std::min<qint64>(n - done, m_socket->bytesAvailable()));
            if (got <= 0)
                break;
            m_gotBytes += got;
            done += got;
        }
        m_discarded += done;
        return done;
    }

    bool bufferedEmpty() const { return m_pos >= m_in.size(); }

    void resetHead()
    {
        m_statusSeen = false;
        m_blanks = 0;
        m_name.clear();
        m_value.clear();
        m_status = 0;
        m_reason.clear();
        m_location.clear();
        m_hasLocation = false;
        m_contentLength = -1;
        m_chunked = false;
        m_closeDelimited = false;
        m_keepAliveAsked = false;
        m_closeAsked = false;
        m_earlyClose = false;
        m_cookies.clear();
        m_headerLines = 0;
        m_headerBytes = 0;
        m_interim = 0;
    }

    void pump()
    {
        while (m_phase == Phase::Head || m_phase == Phase::Tunnel || m_phase == Phase::Body) {
            if (m_phase == Phase::Body) {
                if (!bodyStep())
                    return;
                continue;
            }
            QByteArray line;
            const int got = takeLine(line);
            if (got < 0) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("line too long"));
                return;
            }
            if (got == 0) {
                if (m_eof) {
                    if (m_phase == Phase::Head)
                        staleOrFail(QStringLiteral("connection closed before an answer"));
                    else
                        fail(QStringLiteral("the proxy closed the connection"),
                             QStringLiteral("connection closed (tunnel)"));
                }
                return;
            }
            headLine(line);
        }
    }

    void headLine(const QByteArray &line)
    {
        if (!m_statusSeen) {
            if (line.isEmpty()) {
                // Tolerate a few stray empty lines before the status line.
                if (++m_blanks > 4)
                    fail(QStringLiteral("malformed answer"), QStringLiteral("malformed status line"));
                return;
            }
            // "HTTP/1.x SSS reason"
            if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[7] < '0' || line[7] > '9' ||
                line[8] != ' ' || (line.size() > 12 && line[12] != ' ')) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("malformed status line"));
                return;
            }
            bool numOk = false;
            const QByteArray code = line.mid(9, 3);
            m_status = code.toInt(&numOk);
            if (!numOk || m_status < 100 || m_status > 999 || !std::isdigit(uchar(code[0]))) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("malformed status code"));
                return;
            }
            m_reason = line.mid(13, 80).trimmed();
            m_statusSeen = true;
            return;
        }
        if (line.isEmpty()) {
            flushHeader();
            headDone();
            return;
        }
        if (++m_headerLines > MaxHeaderLines) {
            fail(QStringLiteral("malformed answer"), QStringLiteral("too many header lines"));
            return;
        }
        m_headerBytes += line.size();
        if (m_headerBytes > MaxHeaderBytes) {
            fail(QStringLiteral("malformed answer"), QStringLiteral("headers too large"));
            return;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !m_name.isEmpty()) {
            m_value += ' ' + line.trimmed(); // folded continuation line
            return;
        }
        flushHeader();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return; // not a header line: ignored
        m_name = line.left(colon).trimmed().toLower();
        m_value = line.mid(colon + 1);
    }

    void flushHeader()
    {
        if (m_name.isEmpty())
            return;
        const QByteArray value = m_value.trimmed();
        if (m_name == "location") {
            m_location = value;
            m_hasLocation = true;
        } else if (m_name == "content-length") {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            // A malformed or negative length cannot frame the body.
            m_contentLength = (ok && n >= 0 && !value.startsWith('+')) ? n : -2;
        } else if (m_name == "transfer-encoding") {
            const QList<QByteArray> codings = value.split(',');
            m_chunked = codings.last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
            if (!m_chunked)
                m_closeDelimited = true;
        } else if (m_name == "connection" || m_name == "proxy-connection") {
            if (hasToken(value, "keep-alive"))
                m_keepAliveAsked = true;
            if (hasToken(value, "close"))
                m_closeAsked = true;
        } else if (m_name == "set-cookie" || m_name == "set-cookie2") {
            // Only the newest can be kept: older ones go at once.
            m_cookies += QNetworkCookie::parseCookies(value);
            if (m_cookies.size() > 2 * BoundedCookieJar::MaxPerHost)
                m_cookies.remove(0, m_cookies.size() - BoundedCookieJar::MaxPerHost);
        }
        m_name.clear();
        m_value.clear();
    }

    void headDone()
    {
        if (m_status == 100) {
            if (++m_interim >= MaxInterimAnswers) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("too many interim answers"));
                return;
            }
            const int interim = m_interim, lines = m_headerLines;
            const qint64 bytes = m_headerBytes;
            resetHead();
            m_interim = interim;
            m_headerLines = lines;
            m_headerBytes = bytes;
            return;
        }
        if (m_phase == Phase::Tunnel) {
            if (m_status / 100 != 2) {
                fail(QStringLiteral("the proxy refused the tunnel (HTTP %1)").arg(m_status),
                     QStringLiteral("the proxy refused the tunnel (%1)").arg(m_status));
                return;
            }
            if (!bufferedEmpty() || m_socket->bytesAvailable() > 0) {
                fail(QStringLiteral("the proxy sent data before the tunnel opened"),
                     QStringLiteral("the proxy sent data before the tunnel opened"));
                return;
            }
            startHandshake();
            return;
        }
        onAnswer();
    }

    void onAnswer()
    {
        if (!m_cookies.isEmpty())
            m_client->m_jar->setCookiesFromUrl(m_cookies, m_url);
        m_result.status = m_status;
        if (m_contentLength == -2 && !m_chunked) {
            fail(QStringLiteral("malformed answer"), QStringLiteral("malformed Content-Length"));
            return;
        }
        if (m_status / 100 == 1 || m_status == 204 || m_status == 304)
            m_mode = BodyMode::None;
        else if (m_chunked)
            m_mode = BodyMode::Chunked;
        else if (m_contentLength >= 0 && !m_closeDelimited)
            m_mode = BodyMode::Length;
        else
            m_mode = BodyMode::Close;
        m_left = m_contentLength;
        m_chunkStep = ChunkStep::Size;
        m_trailerLines = 0;
        m_discarded = 0;
        const bool reusable = m_keepAliveAsked && !m_closeAsked && m_mode != BodyMode::Close;

        const bool redirect = m_hasLocation || (m_status / 100 == 3 && m_status != 304);
        if (redirect && m_result.requests < MaxRequests) {
            if (!m_hasLocation) {
                fail(QStringLiteral("HTTP %1 without a Location").arg(m_status),
                     QStringLiteral("redirect without a Location"));
                return;
            }
            const QUrl location = QUrl::fromEncoded(m_location, QUrl::TolerantMode);
            m_nextUrl = parseUrl(m_url.resolved(location).toString(), &m_result.error);
            if (!m_nextUrl.isValid()) {
                fail(QStringLiteral("redirect to an unusable URL"), m_result.error);
                return;
            }
            m_nextTarget = hasScheme(m_location.trimmed()) ? wireTarget(QString::fromUtf8(m_location))
                                                           : resolveTarget(m_target, m_location);
            // Read the redirect's body only when the connection may be used
            // again; otherwise closing is quicker and safer.
            if (reusable) {
                beginBody(After::Redirect, MaxSkippedBody);
            } else {
                dropSocket();
                followRedirect();
            }
            return;
        }

        m_result.responseMs = m_clock.elapsed();
        // The last allowed answer is final even when it is again a redirect.
        if (redirect) {
            beginBody(After::Succeed, MaxSkippedBody);
            return;
        }
        if (m_status / 100 == 2) {
            beginBody(After::Succeed, -1);
            return;
        }
        m_answerFailed = true;
        m_result.cause = QStringLiteral("HTTP %1").arg(m_status);
        if (!m_reason.isEmpty())
            m_result.cause += QLatin1Char(' ') + QString::fromLatin1(m_reason);
        m_result.error = QStringLiteral("answer %1").arg(m_status);
        // A failure still leaves a kept-alive connection usable for the next
        // test once its (framed, short) body is read.
        if (m_status >= 200 && reusable) {
            beginBody(After::Fail, MaxSkippedBody);
        } else {
            dropSocket();
            finish();
        }
    }

    void beginBody(After after, qint64 cap)
    {
        m_after = after;
        m_cap = cap;
        if (cap >= 0 && (m_mode == BodyMode::Close || (m_mode == BodyMode::Length && m_left > cap))) {
            // Too long to read for nothing: close instead.
            dropSocket();
            bodyDone();
            return;
        }
        m_phase = Phase::Body;
        pump();
    }

    // One step of reading the body; false when more bytes are needed or the
    // body is over (the fetch moved on).
    bool bodyStep()
    {
        if (m_cap >= 0 && m_discarded > m_cap) {
            dropSocket();
            m_earlyClose = true;
            bodyDone();
            return false;
        }
        switch (m_mode) {
        case BodyMode::None:
            bodyDone();
            return false;
        case BodyMode::Length:
            if (m_left > 0)
                m_left -= skipBody(m_left);
            if (m_left == 0) {
                bodyDone();
                return false;
            }
            if (m_eof) {
                m_earlyClose = true; // a close before the announced end ends the body
                bodyDone();
                return false;
            }
            return false;
        case BodyMode::Close:
            skipBody(std::numeric_limits<qint64>::max());
            if (m_eof) {
                bodyDone();
                return false;
            }
            return false;
        case BodyMode::Chunked:
            return chunkStep();
        }
        return false;
    }

    bool chunkStep()
    {
        if (m_chunkStep == ChunkStep::Data) {
            if (m_left > 0)
                m_left -= skipBody(m_left);
            if (m_left > 0) {
                if (m_eof)
                    return chunkedEof();
                return false;
            }
            m_chunkStep = ChunkStep::DataEnd;
            return true;
        }
        QByteArray line;
        const int got = takeLine(line);
        if (got < 0) {
            fail(QStringLiteral("malformed answer"), QStringLiteral("chunk size line too long"));
            return false;
        }
        if (got == 0)
            return m_eof ? chunkedEof() : false;
        m_discarded += line.size() + 2;
        switch (m_chunkStep) {
        case ChunkStep::Size: {
            // size in hex, then optional extensions after ';'
            QByteArray sizeText = line;
            const qsizetype semi = sizeText.indexOf(';');
            if (semi >= 0)
                sizeText.truncate(semi);
            sizeText = sizeText.trimmed();
            bool ok = !sizeText.isEmpty() && sizeText.size() <= 15;
            for (char ch : sizeText)
                ok = ok && std::isxdigit(uchar(ch));
            const qint64 size = ok ? sizeText.toLongLong(&ok, 16) : 0;
            if (!ok) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("bad chunk size"));
                return false;
            }
            if (size == 0) {
                m_chunkStep = ChunkStep::Trailer;
            } else {
                m_left = size;
                m_chunkStep = ChunkStep::Data;
            }
            return true;
        }
        case ChunkStep::DataEnd:
            if (!line.isEmpty()) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("bad chunk framing"));
                return false;
            }
            m_chunkStep = ChunkStep::Size;
            return true;
        case ChunkStep::Trailer:
            if (line.isEmpty()) {
                bodyDone();
                return false;
            }
            if (++m_trailerLines > MaxHeaderLines) {
                fail(QStringLiteral("malformed answer"), QStringLiteral("bad chunked trailer"));
                return false;
            }
            return true;
        case ChunkStep::Data:
            break;
        }
        return false;
    }

    bool chunkedEof()
    {
        m_earlyClose = true;
        bodyDone();
        return false;
    }

    void bodyDone()
    {
        m_phase = Phase::Idle;
        m_phaseTimer.stop();
        keepOrClose();
        switch (m_after) {
        case After::Succeed:
            m_result.bodyBytes = m_discarded;
            m_result.ok = true;
            m_result.error.clear();
            m_result.cause = QStringLiteral("answered in %1 ms").arg(m_result.responseMs);
            finish();
            return;
        case After::Redirect:
            followRedirect();
            return;
        case After::Fail:
            finish();
            return;
        }
    }

    void keepOrClose()
    {
        if (!m_socket)
            return;
        const bool keep = m_keepAliveAsked && !m_closeAsked && m_mode != BodyMode::Close && !m_earlyClose &&
                          !m_eof && bufferedEmpty() && m_socket->bytesAvailable() == 0 &&
                          m_socket->state() == QAbstractSocket::ConnectedState;
        if (!keep) {
            dropSocket();
            return;
        }
        QTcpSocket *s = m_socket.get();
        s->disconnect(this);
        m_client->keepIdle(m_key, std::move(m_socket));
    }

    void followRedirect()
    {
        m_url = m_nextUrl;
        m_target = m_nextTarget;
        beginRequest();
    }

    // ---- ending ----

    void fail(const QString &cause, const QString &error)
    {
        if (m_phase == Phase::Done)
            return;
        dropSocket();
        // A failure answer keeps its own cause when reading its body fails.
        if (!m_answerFailed) {
            m_result.ok = false;
            m_result.cause = cause;
            m_result.error = error;
        }
        finish();
    }

    void finish()
    {
        if (m_phase == Phase::Done)
            return;
        m_phase = Phase::Done;
        m_phaseTimer.stop();
        m_fetchTimer.stop();
        delete m_lookupContext;
        m_lookupContext = nullptr;
        dropSocket();
        // The callback runs from the event loop, never inside a call of ours.
        QMetaObject::invokeMethod(
            this,
            [this] {
                Callback done = std::move(m_done);
                const Result result = m_result;
                m_client->finished(m_id); // deletes this later
                if (done)
                    done(result);
            },
            Qt::QueuedConnection);
    }

    HttpClient *m_client;
    quint64 m_id;
    Callback m_done;
    Result m_result;
    QString m_proxyHost;
    qint32 m_proxyPort;
    int m_connectMs, m_silenceMs, m_fetchMs;
    QElapsedTimer m_clock;
    QTimer m_phaseTimer, m_fetchTimer;

    QUrl m_url, m_nextUrl;
    QByteArray m_target, m_nextTarget;
    QString m_key;
    Phase m_phase = Phase::Idle;
    std::unique_ptr<QTcpSocket> m_socket;
    QObject *m_lookupContext = nullptr;
    QList<QHostAddress> m_addresses;
    QString m_lastConnectCause;
    bool m_reused = false;
    int m_attempt = 0;
    qint64 m_gotBytes = 0; // bytes received over the current connection in this attempt
    bool m_eof = false;
    bool m_timedOut = false;
    bool m_answerFailed = false;

    QByteArray m_in; // head and chunk lines not taken yet, from m_pos on
    qsizetype m_pos = 0;

    // the answer being read
    bool m_statusSeen = false;
    int m_blanks = 0;
    QByteArray m_name, m_value;
    int m_status = 0;
    QByteArray m_reason;
    QByteArray m_location;
    bool m_hasLocation = false;
    qint64 m_contentLength = -1;
    bool m_chunked = false;
    bool m_closeDelimited = false;
    bool m_keepAliveAsked = false;
    bool m_closeAsked = false;
    bool m_earlyClose = false;
    QList<QNetworkCookie> m_cookies;
    int m_headerLines = 0;
    qint64 m_headerBytes = 0;
    int m_interim = 0;

    // its body
    BodyMode m_mode = BodyMode::None;
    ChunkStep m_chunkStep = ChunkStep::Size;
    After m_after = After::Succeed;
    qint64 m_cap = -1;
    qint64 m_left = 0;
    qint64 m_discarded = 0;
    int m_trailerLines = 0;
};

// ---- HttpClient -------------------------------------------------------------

HttpClient::HttpClient(QObject *parent) : QObject(parent), m_jar(std::make_unique<BoundedCookieJar>()) {}

HttpClient::~HttpClient()
{
    abortAll();
    closeConnection();
}

void HttpClient::setProxy(const QString &server, qint32 port)
{
    QString host = server.trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    m_proxyHost = host;
    m_proxyPort = port;
}

void HttpClient::addCaCertificates(const QList<QSslCertificate> &certificates)
{
    m_extraCas += certificates;
    closeConnection(); // a kept TLS connection was verified against the old set
}

quint64 HttpClient::fetch(const QString &url, Callback done)
{
    const quint64 id = m_nextId++;
    auto *f = new Fetch(this, id, std::move(done));
    m_fetches[id] = f;
    f->start(url);
    return id;
}

void HttpClient::abort(quint64 id)
{
    const auto it = m_fetches.find(id);
    if (it == m_fetches.end())
        return;
    Fetch *f = it->second;
    m_fetches.erase(it);
    delete f;
}

void HttpClient::abortAll()
{
    std::map<quint64, Fetch *> all;
    all.swap(m_fetches);
    for (auto &entry : all)
        delete entry.second;
}

void HttpClient::finished(quint64 id)
{
    const auto it = m_fetches.find(id);
    if (it == m_fetches.end())
        return;
    it->second->deleteLater();
    m_fetches.erase(it);
}

HttpClient::Result HttpClient::get(const QString &url)
{
    Result result;
    QEventLoop loop;
    bool done = false;
    fetch(url, [&](const Result &r) {
        result = r;
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

std::unique_ptr<QTcpSocket> HttpClient::takeIdle(const QString &key)
{
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        if (it->key != key) {
            ++it;
            continue;
        }
        std::unique_ptr<QTcpSocket> socket = std::move(it->socket);
        it = m_idle.erase(it);
        socket->disconnect(this);
        // Use only a connection that is still up and has nothing unread: a
        // peek notices a close the server made while it was idle, even when
        // no events ran since.
        bool alive = socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
        if (alive) {
            char probe;
            const ssize_t n = ::recv(int(socket->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            alive = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        if (alive)
            return socket;
        socket->abort();
        socket.release()->deleteLater();
    }
    return nullptr;
}

void HttpClient::keepIdle(const QString &key, std::unique_ptr<QTcpSocket> socket)
{
    QTcpSocket *s = socket.get();
    connect(s, &QAbstractSocket::disconnected, this, [this, s] { dropIdle(s); });
    connect(s, &QIODevice::readyRead, this, [this, s] { dropIdle(s); });
    connect(s, &QAbstractSocket::errorOccurred, this, [this, s] { dropIdle(s); });
    m_idle.push_back(Idle{key, std::move(socket)});
    // The oldest go first.
    for (;;) {
        const auto same = std::count_if(m_idle.begin(), m_idle.end(), [&](const Idle &i) { return i.key == key; });
        if (same > MaxIdlePerPlace) {
            dropIdle(std::find_if(m_idle.begin(), m_idle.end(), [&](const Idle &i) { return i.key == key; })
                         ->socket.get());
        } else if (int(m_idle.size()) > MaxIdle) {
            dropIdle(m_idle.front().socket.get());
        } else {
            break;
        }
    }
}

void HttpClient::dropIdle(QTcpSocket *socket)
{
    for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
        if (it->socket.get() != socket)
            continue;
        QTcpSocket *s = it->socket.release();
        m_idle.erase(it);
        s->disconnect(this);
        s->abort();
        s->deleteLater();
        return;
    }
}

void HttpClient::closeIdleExcept(const QString &key)
{
    std::vector<QTcpSocket *> others;
    for (const Idle &i : m_idle)
        if (i.key != key)
            others.push_back(i.socket.get());
    for (QTcpSocket *s : others)
        dropIdle(s);
}

void HttpClient::closeConnection()
{
    while (!m_idle.empty())
        dropIdle(m_idle.front().socket.get());
}

bool HttpClient::hasOpenConnection() const
{
    for (const Idle &i : m_idle)
        if (i.socket->state() == QAbstractSocket::ConnectedState)
            return true;
    return false;
}

QUrl HttpClient::parseUrl(const QString &text, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QUrl();
    };
    const QString t = text.trimmed();
    if (t.isEmpty())
        return fail(QStringLiteral("empty URL"));
    QUrl url(t, QUrl::TolerantMode);
    if (!url.isValid())
        return fail(QStringLiteral("invalid URL: ") + url.errorString());
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return fail(QStringLiteral("unsupported scheme: ") + url.scheme());
    url.setScheme(scheme);
    if (url.host().isEmpty())
        return fail(QStringLiteral("the URL names no host"));
    const int port = url.port();
    if (port == 0 || port > 65535)
        return fail(QStringLiteral("invalid port"));
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

QByteArray HttpClient::wireTarget(const QString &text)
{
    const QByteArray t = text.trimmed().toUtf8();
    qsizetype start = t.indexOf("://");
    start = start < 0 ? 0 : start + 3;
    // The authority ends at the first "/", "?" or "#".
    qsizetype end = start;
    while (end < t.size() && t[end] != '/' && t[end] != '?' && t[end] != '#')
        ++end;
    QByteArray rest = t.mid(end);
    const qsizetype hash = rest.indexOf('#');
    if (hash >= 0)
        rest.truncate(hash);
    if (rest.isEmpty() || rest.startsWith('?'))
        rest.prepend('/');
    return encodeForWire(rest);
}

QByteArray HttpClient::resolveTarget(const QByteArray &base, const QByteArray &reference)
{
    QByteArray ref = reference.trimmed();
    const qsizetype hash = ref.indexOf('#');
    if (hash >= 0)
        ref.truncate(hash);
    if (hasScheme(ref))
        return wireTarget(QString::fromUtf8(ref));
    if (ref.startsWith("//"))
        return wireTarget(QStringLiteral("http:") + QString::fromUtf8(ref));
    ref = encodeForWire(ref);

    const qsizetype baseQuery = base.indexOf('?');
    const QByteArray basePath = baseQuery >= 0 ? base.left(baseQuery) : base;
    if (ref.isEmpty())
        return base;
    if (ref.startsWith('?'))
        return basePath + ref;
    const qsizetype query = ref.indexOf('?');
    QByteArray path = query >= 0 ? ref.left(query) : ref;
    const QByteArray tail = query >= 0 ? ref.mid(query) : QByteArray();
    if (!path.startsWith('/')) {
        const qsizetype slash = basePath.lastIndexOf('/');
        path = (slash >= 0 ? basePath.left(slash + 1) : QByteArray("/")) + path;
    }
    path = removeDotSegments(path);
    if (path.isEmpty())
        path = "/";
    return path + tail;
}
