#include "httpclient.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkCookie>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

const QByteArray kUserAgent = "Mozilla/3.0 (compatible; Velmora Sentrova)";
// Bytes the socket may hold beyond what we have taken out: keeps a fast
// server's endless body from growing memory.
constexpr qint64 kSocketBufferSize = 256 * 1024;

int defaultPort(const QString &scheme)
{
    return scheme == QLatin1String("https") ? 443 : 80;
}

// "host" or "[v6]" for a Host header or a CONNECT line.
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

// Resolves a host name with the system resolver, waiting at most timeoutMs.
// The resolver cannot be cancelled, so the lookup runs on a helper thread
// that is left to finish by itself when the wait runs out. IPv4 addresses
// come first.
QList<QHostAddress> resolveBounded(const QString &name, qint64 timeoutMs, QString *error)
{
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int status = 0;
        std::vector<sockaddr_storage> addresses;
    };
    const QByteArray host = QUrl::toAce(name);
    if (host.isEmpty()) {
        *error = QStringLiteral("invalid host name %1").arg(name);
        return {};
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *list = nullptr;
        const int status = ::getaddrinfo(host.constData(), nullptr, &hints, &list);
        std::vector<sockaddr_storage> found;
        for (addrinfo *a = status == 0 ? list : nullptr; a; a = a->ai_next) {
            if (a->ai_addrlen > sizeof(sockaddr_storage))
                continue;
            sockaddr_storage ss{};
            std::memcpy(&ss, a->ai_addr, a->ai_addrlen);
            found.push_back(ss);
        }
        if (list)
            ::freeaddrinfo(list);
        std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->status = status;
        lookup->addresses = std::move(found);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(0, timeoutMs)),
                               [&] { return lookup->finished; })) {
        *error = QStringLiteral("no answer from the name lookup of %1").arg(name);
        return {};
    }
    QList<QHostAddress> result;
    for (const sockaddr_storage &ss : lookup->addresses) {
        const QHostAddress addr(reinterpret_cast<const sockaddr *>(&ss));
        if (!addr.isNull() && !result.contains(addr))
            result << addr;
    }
    if (result.isEmpty()) {
        *error = QStringLiteral("cannot resolve %1").arg(name);
        return {};
    }
    std::stable_partition(result.begin(), result.end(),
                          [](const QHostAddress &a) { return a.protocol() == QAbstractSocket::IPv4Protocol; });
    return result;
}

} // namespace

// One answer's head and what follows from it for the body and the connection.
struct HttpClient::Answer {
    int status = 0;
    QByteArray location; // null when the answer has no Location header
    bool hasLocation = false;
    qint64 contentLength = -1;
    bool chunked = false;
    bool closeDelimited = false; // body ends when the server closes
    bool keepAliveAsked = false; // Connection/Proxy-Connection says keep-alive
    bool closeAsked = false;     // ... or says close
    bool earlyClose = false;     // the body ended by a close before its end
};

// The socket with a small read buffer of our own for lines and body bytes.
class HttpClient::Connection
{
public:
    enum ReadState { Ok, Eof, TimedOut, TooLong };

    std::unique_ptr<QTcpSocket> socket;
    QString key; // where it leads: scheme, connect host and port, tunnel target
    int silenceMs = DefaultSilenceTimeoutMs;
    quint64 bytesRead = 0; // since the last resetCounter()
    qint64 discarded = 0;  // body bytes thrown away since the last resetCounter()
    bool timedOut = false; // a wait ran out since the last resetCounter()

    Connection() : m_buf(MaxLineLength + 8192) {}

    bool idle() const { return m_begin == m_end; }
    void resetCounter()
    {
        bytesRead = 0;
        discarded = 0;
        timedOut = false;
    }

    // Writes everything, bounded by the silence bound per wait.
    bool writeAll(const QByteArray &data)
    {
        if (socket->write(data) != data.size())
            return false;
        while (socket->bytesToWrite() > 0) {
            if (!socket->waitForBytesWritten(silenceMs))
                return false;
        }
        return true;
    }

    // One line without its CR LF (a lone LF ends a line as well).
    ReadState readLine(QByteArray &line)
    {
        size_t scanned = 0; // bytes from m_begin already searched
        for (;;) {
            const char *start = m_buf.data() + m_begin;
            const size_t have = m_end - m_begin;
            if (const void *nl = std::memchr(start + scanned, '\n', have - scanned)) {
                const size_t len = static_cast<const char *>(nl) - start;
                line = QByteArray(start, qsizetype(len));
                if (line.endsWith('\r'))
                    line.chop(1);
                m_begin += len + 1;
                return Ok;
            }
            scanned = have;
            if (have > size_t(MaxLineLength))
                return TooLong;
            const ReadState st = fill();
            if (st != Ok)
                return st;
        }
    }

    // Reads and throws away up to n bytes; Eof when the server closed first.
    ReadState discard(qint64 n)
    {
        while (n > 0) {
            if (idle()) {
                const ReadState st = fill();
                if (st != Ok)
                    return st;
            }
            const qint64 take = std::min<qint64>(n, qint64(m_end - m_begin));
            m_begin += size_t(take);
            n -= take;
            discarded += take;
        }
        return Ok;
    }

    // Reads and throws away everything until the server closes.
    ReadState discardToEnd()
    {
        for (;;) {
            discarded += qint64(m_end - m_begin);
            m_begin = m_end;
            const ReadState st = fill();
            if (st != Ok)
                return st;
        }
    }

private:
    // Brings more bytes into the buffer. Eof when the connection is closed
    // (or reset), TimedOut when nothing came within the silence bound.
    ReadState fill()
    {
        if (m_begin == m_end) {
            m_begin = m_end = 0;
        } else if (m_end == m_buf.size()) {
            std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
        }
        if (m_end == m_buf.size())
            return TooLong; // a line fills the whole buffer; readLine reports it
        QDeadlineTimer deadline(silenceMs);
        while (socket->bytesAvailable() <= 0) {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return Eof;
            if (!socket->waitForReadyRead(int(deadline.remainingTime()))) {
                if (socket->bytesAvailable() > 0)
                    break;
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return Eof;
                if (deadline.hasExpired() || socket->error() == QAbstractSocket::SocketTimeoutError) {
                    timedOut = true;
                    return TimedOut;
                }
                return Eof; // an error that left the socket nominally connected
            }
            if (deadline.hasExpired() && socket->bytesAvailable() <= 0) {
                timedOut = true;
                return TimedOut;
            }
        }
        const qint64 got = socket->read(m_buf.data() + m_end, qint64(m_buf.size() - m_end));
        if (got <= 0)
            return Eof;
        m_end += size_t(got);
        bytesRead += quint64(got);
        return Ok;
    }

    std::vector<char> m_buf;
    size_t m_begin = 0;
    size_t m_end = 0;
};

HttpClient::HttpClient() : m_jar(std::make_unique<QNetworkCookieJar>()) {}

HttpClient::~HttpClient() = default;

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

void HttpClient::closeConnection()
{
    if (m_conn) {
        m_conn->socket->abort();
        m_conn.reset();
    }
}

bool HttpClient::hasOpenConnection() const
{
    return m_conn && m_conn->socket->state() == QAbstractSocket::ConnectedState;
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

QByteArray HttpClient::buildRequest(const QUrl &url) const
{
    const bool viaProxy = !m_proxyHost.isEmpty();
    const bool tls = url.scheme() == QLatin1String("https");
    // An https request through a proxy travels inside a CONNECT tunnel and
    // so takes the direct form.
    const bool proxyForm = viaProxy && !tls;

    QByteArray target;
    if (proxyForm) {
        target = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded();
    } else {
        target = url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }

    QByteArray host = hostForHeader(url);
    const int port = url.port(defaultPort(url.scheme()));
    if (port != defaultPort(url.scheme()))
        host += ':' + QByteArray::number(port);

    QByteArray req;
    req.reserve(256 + target.size());
    req += "GET " + target + " HTTP/1.0\r\n";
    req += proxyForm ? "Proxy-Connection: keep-alive\r\n" : "Connection: keep-alive\r\n";
    req += "Content-Type: text/html\r\n";
    req += "Host: " + host + "\r\n";
    req += "Accept: text/html, */*\r\n";
    req += "User-Agent: " + kUserAgent + "\r\n";
    const QList<QNetworkCookie> cookies = m_jar->cookiesForUrl(url);
    if (!cookies.isEmpty()) {
        QByteArray line;
        for (const QNetworkCookie &c : cookies) {
            if (!line.isEmpty())
                line += "; ";
            line += c.toRawForm(QNetworkCookie::NameAndValueOnly);
        }
        req += "Cookie: " + line + "\r\n";
    }
    req += "\r\n";
    return req;
}

namespace
{

// Reads a status line and the header lines that follow; interim 100 answers
// are skipped. onHeader sees every header (name lower-cased, value trimmed).
template <class Conn, class OnHeader> bool readHead(Conn &c, int &status, QString *error, OnHeader onHeader)
{
    auto fail = [error](const QString &why) {
        *error = why;
        return false;
    };
    auto readFailure = [&](typename Conn::ReadState st, const char *where) {
        switch (st) {
        case Conn::TimedOut:
            return fail(QStringLiteral("no answer within the silence bound (%1)").arg(QLatin1String(where)));
        case Conn::TooLong:
            return fail(QStringLiteral("line too long (%1)").arg(QLatin1String(where)));
        default:
            return fail(QStringLiteral("connection closed (%1)").arg(QLatin1String(where)));
        }
    };

    int headerLines = 0;
    qint64 headerBytes = 0;
    for (int interim = 0;; ++interim) {
        QByteArray line;
        // Tolerate a few stray empty lines before the status line.
        int blanks = 0;
        for (;;) {
            const auto st = c.readLine(line);
            if (st != Conn::Ok)
                return readFailure(st, "status line");
            if (!line.isEmpty() || ++blanks > 4)
                break;
        }
        // "HTTP/1.x SSS reason"
        if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[7] < '0' || line[7] > '9' || line[8] != ' ' ||
            (line.size() > 12 && line[12] != ' '))
            return fail(QStringLiteral("malformed status line"));
        bool numOk = false;
        const QByteArray code = line.mid(9, 3);
        status = code.toInt(&numOk);
        if (!numOk || status < 100 || status > 999 || !std::isdigit(uchar(code[0])))
            return fail(QStringLiteral("malformed status code"));

        QByteArray name, value;
        auto flush = [&]() {
            if (!name.isEmpty())
                onHeader(name, value.trimmed());
            name.clear();
            value.clear();
        };
        for (;;) {
            const auto st = c.readLine(line);
            if (st != Conn::Ok)
                return readFailure(st, "headers");
            if (line.isEmpty())
                break;
            if (++headerLines > HttpClient::MaxHeaderLines)
                return fail(QStringLiteral("too many header lines"));
            headerBytes += line.size();
            if (headerBytes > HttpClient::MaxHeaderBytes)
                return fail(QStringLiteral("headers too large"));
            if ((line[0] == ' ' || line[0] == '\t') && !name.isEmpty()) {
                value += ' ' + line.trimmed(); // folded continuation line
                continue;
            }
            flush();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue; // not a header line: ignored
            name = line.left(colon).trimmed().toLower();
            value = line.mid(colon + 1);
        }
        flush();
        if (status != 100)
            return true;
        if (interim + 1 >= HttpClient::MaxInterimAnswers)
            return fail(QStringLiteral("too many interim answers"));
    }
}

} // namespace

bool HttpClient::openConnection(const QUrl &url, Result &result, QString *error, bool *reused)
{
    *reused = false;
    const bool tls = url.scheme() == QLatin1String("https");
    const bool viaProxy = !m_proxyHost.isEmpty();
    const QString host = url.host();
    const int port = url.port(defaultPort(url.scheme()));
    const QString connectHost = viaProxy ? m_proxyHost : host;
    const int connectPort = viaProxy ? m_proxyPort : port;
    QString key = QStringLiteral("%1 %2 %3").arg(tls ? "tls" : "tcp", connectHost).arg(connectPort);
    if (viaProxy && tls)
        key += QStringLiteral(" tunnel %1 %2").arg(host).arg(port);

    if (m_conn && m_conn->key == key) {
        // Reuse only a connection that is still up and has nothing unread:
        // a peek notices a close the server made while it was idle.
        if (m_conn->idle() && m_conn->socket->state() == QAbstractSocket::ConnectedState &&
            m_conn->socket->bytesAvailable() == 0) {
            m_conn->socket->waitForReadyRead(0);
            if (m_conn->socket->state() == QAbstractSocket::ConnectedState && m_conn->socket->bytesAvailable() == 0) {
                m_conn->silenceMs = m_silenceTimeoutMs;
                *reused = true;
                return true;
            }
        }
    }
    closeConnection();

    if (viaProxy && (m_proxyPort < 1 || m_proxyPort > 65535)) {
        *error = QStringLiteral("invalid proxy port");
        return false;
    }
    if (tls && !QSslSocket::supportsSsl()) {
        *error = QStringLiteral("TLS is not available");
        return false;
    }

    // The name lookup and the connect share the connect bound.
    QDeadlineTimer deadline(m_connectTimeoutMs);
    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(connectHost)) {
        addresses << literal;
    } else {
        addresses = resolveBounded(connectHost, deadline.remainingTime(), error);
        if (addresses.isEmpty())
            return false;
    }

    auto conn = std::make_unique<Connection>();
    conn->key = key;
    conn->silenceMs = m_silenceTimeoutMs;
    QString lastError = QStringLiteral("connection failed");
    bool connected = false;
    for (const QHostAddress &addr : addresses) {
        std::unique_ptr<QTcpSocket> sock;
        if (tls)
            sock = std::make_unique<QSslSocket>();
        else
            sock = std::make_unique<QTcpSocket>();
        sock->setProxy(QNetworkProxy::NoProxy);
        sock->setReadBufferSize(kSocketBufferSize);
        sock->connectToHost(addr, quint16(connectPort));
        if (sock->waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            sock->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            conn->socket = std::move(sock);
            connected = true;
            break;
        }
        lastError = sock->errorString();
        if (deadline.hasExpired()) {
            lastError = QStringLiteral("no connection within the connect bound");
            break;
        }
    }
    if (!connected) {
        *error = lastError;
        return false;
    }
    ++result.connections;

    if (viaProxy && tls) {
        // Ask the proxy for a tunnel to the origin; TLS runs inside it.
        QByteArray hostPort = hostForHeader(url) + ':' + QByteArray::number(port);
        const QByteArray req = "CONNECT " + hostPort + " HTTP/1.0\r\nHost: " + hostPort +
                               "\r\nProxy-Connection: keep-alive\r\nUser-Agent: " + kUserAgent + "\r\n\r\n";
        if (!conn->writeAll(req)) {
            *error = QStringLiteral("cannot write to the proxy");
            return false;
        }
        int status = 0;
        if (!readHead(*conn, status, error, [](const QByteArray &, const QByteArray &) {}))
            return false;
        if (status / 100 != 2) {
            *error = QStringLiteral("the proxy refused the tunnel (%1)").arg(status);
            return false;
        }
        if (!conn->idle()) {
            *error = QStringLiteral("the proxy sent data before the tunnel opened");
            return false;
        }
    }

    if (tls) {
        auto *ssl = static_cast<QSslSocket *>(conn->socket.get());
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        if (!m_extraCas.isEmpty())
            config.addCaCertificates(m_extraCas);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        ssl->setSslConfiguration(config);
        ssl->setPeerVerifyName(host);
        ssl->startClientEncryption();
        if (!ssl->waitForEncrypted(m_connectTimeoutMs)) {
            QStringList why;
            for (const QSslError &e : ssl->sslHandshakeErrors())
                why << e.errorString();
            if (why.isEmpty())
                why << ssl->errorString();
            *error = QStringLiteral("TLS handshake failed: ") + why.join(QLatin1String("; "));
            return false;
        }
    }

    m_conn = std::move(conn);
    return true;
}

bool HttpClient::request(const QUrl &url, Answer &answer, Result &result)
{
    QString error;
    // A kept connection may have been closed by the server while idle; the
    // request then goes once more over a new connection.
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool isKeptConnection = false;
        if (!openConnection(url, result, &error, &isKeptConnection)) {
            closeConnection();
            result.error = error;
            return false;
        }
        Connection &c = *m_conn;
        c.resetCounter();
        answer = Answer();

        if (!c.writeAll(buildRequest(url))) {
            closeConnection();
            if (isKeptConnection && attempt == 0)
                continue;
            result.error = QStringLiteral("cannot send the request");
            return false;
        }

        QList<QNetworkCookie> cookies;
        auto onHeader = [&](const QByteArray &name, const QByteArray &value) {
            if (name == "location") {
                answer.location = value;
                answer.hasLocation = true;
            } else if (name == "content-length") {
                bool ok = false;
                const qint64 n = value.toLongLong(&ok);
                // A malformed or negative length cannot frame the body.
                answer.contentLength = (ok && n >= 0 && !value.startsWith('+')) ? n : -2;
            } else if (name == "transfer-encoding") {
                const QList<QByteArray> codings = value.split(',');
                answer.chunked = codings.last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
                if (!answer.chunked)
                    answer.closeDelimited = true;
            } else if (name == "connection" || name == "proxy-connection") {
                if (hasToken(value, "keep-alive"))
                    answer.keepAliveAsked = true;
                if (hasToken(value, "close"))
                    answer.closeAsked = true;
            } else if (name == "set-cookie" || name == "set-cookie2") {
                cookies += QNetworkCookie::parseCookies(value);
            }
        };
        if (!readHead(c, answer.status, &error, onHeader)) {
            const bool nothingCame = c.bytesRead == 0 && !c.timedOut;
            closeConnection();
            if (isKeptConnection && nothingCame && attempt == 0)
                continue;
            result.error = error;
            return false;
        }
        if (!cookies.isEmpty())
            m_jar->setCookiesFromUrl(cookies, url);
        if (answer.contentLength == -2 && !answer.chunked) {
            closeConnection();
            result.error = QStringLiteral("malformed Content-Length");
            return false;
        }
        if (answer.chunked)
            answer.closeDelimited = false;
        else if (answer.contentLength < 0)
            answer.closeDelimited = true;
        return true;
    }
    result.error = QStringLiteral("connection closed before an answer");
    return false;
}

bool HttpClient::discardBody(Answer &answer, QString *error)
{
    if (answer.status / 100 == 1 || answer.status == 204 || answer.status == 304)
        return true;
    Connection &c = *m_conn;
    auto timedOut = [error]() {
        *error = QStringLiteral("the body stalled beyond the silence bound");
        return false;
    };

    if (answer.chunked) {
        for (;;) {
            QByteArray line;
            Connection::ReadState st = c.readLine(line);
            if (st == Connection::Eof) {
                answer.earlyClose = true;
                return true;
            }
            if (st == Connection::TimedOut)
                return timedOut();
            if (st == Connection::TooLong) {
                *error = QStringLiteral("chunk size line too long");
                return false;
            }
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
                *error = QStringLiteral("bad chunk size");
                return false;
            }
            if (size == 0) {
                // trailer lines up to the empty line
                for (int n = 0;; ++n) {
                    st = c.readLine(line);
                    if (st == Connection::Eof) {
                        answer.earlyClose = true;
                        return true;
                    }
                    if (st != Connection::Ok || n > MaxHeaderLines) {
                        *error = QStringLiteral("bad chunked trailer");
                        return false;
                    }
                    if (line.isEmpty())
                        return true;
                }
            }
            st = c.discard(size);
            if (st == Connection::Ok)
                st = c.readLine(line);
            if (st == Connection::Eof) {
                answer.earlyClose = true;
                return true;
            }
            if (st == Connection::TimedOut)
                return timedOut();
            if (st != Connection::Ok || !line.isEmpty()) {
                *error = QStringLiteral("bad chunk framing");
                return false;
            }
        }
    }

    const Connection::ReadState st = answer.closeDelimited ? c.discardToEnd() : c.discard(answer.contentLength);
    if (st == Connection::TimedOut)
        return timedOut();
    if (st == Connection::Eof && !answer.closeDelimited)
        answer.earlyClose = true;
    return true;
}

void HttpClient::keepOrClose(const Answer &answer)
{
    const bool keep = m_conn && answer.keepAliveAsked && !answer.closeAsked && !answer.closeDelimited &&
                      !answer.earlyClose && m_conn->idle() &&
                      m_conn->socket->state() == QAbstractSocket::ConnectedState;
    if (!keep)
        closeConnection();
}

HttpClient::Result HttpClient::get(const QString &text)
{
    Result result;
    QUrl url = parseUrl(text, &result.error);
    if (!url.isValid())
        return result;

    for (;;) {
        Answer answer;
        ++result.requests;
        if (!request(url, answer, result))
            return result;
        result.status = answer.status;

        const bool redirect = answer.hasLocation || (answer.status / 100 == 3 && answer.status != 304);
        if (redirect && result.requests < MaxRequests) {
            if (!answer.hasLocation) {
                closeConnection();
                result.error = QStringLiteral("redirect without a Location");
                return result;
            }
            const QUrl location = QUrl::fromEncoded(answer.location, QUrl::TolerantMode);
            const QUrl next = parseUrl(url.resolved(location).toString(), &result.error);
            if (!next.isValid()) {
                closeConnection();
                return result;
            }
            // Drain the redirect's body only when the connection may be used
            // again; otherwise closing is quicker and safer.
            if (answer.keepAliveAsked && !answer.closeAsked && !answer.closeDelimited) {
                QString error;
                if (!discardBody(answer, &error)) {
                    closeConnection();
                    result.error = error;
                    return result;
                }
                keepOrClose(answer);
            } else {
                closeConnection();
            }
            url = next;
            continue;
        }

        // The last allowed answer is final even when it is again a redirect.
        if (redirect || answer.status / 100 == 2) {
            QString error;
            const bool read = discardBody(answer, &error);
            result.bodyBytes = m_conn ? m_conn->discarded : 0;
            if (!read) {
                closeConnection();
                result.error = error;
                return result;
            }
            keepOrClose(answer);
            result.ok = true;
            return result;
        }
        // A failure still leaves a kept-alive connection usable for the next
        // test once its (framed) body is read.
        result.error = QStringLiteral("answer %1").arg(answer.status);
        if (answer.status >= 200 && answer.keepAliveAsked && !answer.closeAsked && !answer.closeDelimited) {
            QString ignored;
            if (discardBody(answer, &ignored))
                keepOrClose(answer);
            else
                closeConnection();
        } else {
            closeConnection();
        }
        return result;
    }
}
