#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QTcpSocket;

// The cookie jar of the HTTP client, bounded against servers that set
// cookies without end: at most MaxPerHost cookies per domain and MaxTotal in
// all (the oldest go first), no cookie larger than MaxCookieBytes, expired
// cookies dropped whenever cookies are stored or read, and a Cookie line of
// at most MaxLineBytes.
class BoundedCookieJar : public QNetworkCookieJar
{
public:
    static constexpr int MaxPerHost = 50;
    static constexpr int MaxTotal = 1000;
    static constexpr int MaxCookieBytes = 4096;
    static constexpr int MaxLineBytes = 8192;

    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url) override;
    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const override;
    // The value of the Cookie line for the URL; empty when no cookie
    // matches. Drops the cookies that expired meanwhile first.
    QByteArray cookieLine(const QUrl &url);
    int count() const { return int(allCookies().size()); }
    QList<QNetworkCookie> cookies() const { return allCookies(); }

private:
    void prune();
};

// The one HTTP client the URL objects share (component `HTTP`).
//
// A small HTTP/1.0 client over our own non-blocking sockets, driven by the
// event loop of the thread it lives on: fetch() starts a fetch and returns at
// once; the result comes later through the callback. Several fetches run at
// the same time, each on its own connection. Every wait is bounded: the name
// lookup with the connect (and the TLS handshake) by the connect bound, every
// read and write by the silence bound, and the whole fetch, redirects
// included, by the fetch bound. A wait that runs out fails the fetch.
//
// What lives as long as the client and is shared by every fetch: the cookie
// jar and the connections kept open after answers that ask for keep-alive,
// reused by later requests to the same place.
class HttpClient : public QObject
{
public:
    // How one fetch ended. Only `ok` decides a test; the rest is for the
    // person looking at the row, diagnostics and tests.
    struct Result {
        bool ok = false;
        int status = 0;       // status of the last answer read; 0 when none
        int requests = 0;     // requests sent (redirects count, a resend on a stale connection does not)
        int connections = 0;  // connections opened during the fetch
        qint64 bodyBytes = 0; // bytes of the final answer's body read and thrown away
        QString error;        // why it failed; empty on success
        // A short cause: "HTTP 404 Not Found", "name not found", "no answer
        // within 30 s", "answered in 12 ms".
        QString cause;
        qint64 responseMs = -1; // from the start until the final answer's head; -1 without one
    };
    using Callback = std::function<void(const Result &)>;

    static constexpr int DefaultConnectTimeoutMs = 10000;
    static constexpr int DefaultSilenceTimeoutMs = 20000;
    static constexpr int DefaultFetchTimeoutMs = 30000;
    // At most this many requests per fetch; the last answer is final.
    static constexpr int MaxRequests = 15;
    // Bounds against hostile servers.
    static constexpr int MaxLineLength = 64 * 1024;
    static constexpr int MaxHeaderLines = 256;
    static constexpr int MaxHeaderBytes = 1024 * 1024;
    static constexpr int MaxInterimAnswers = 16;
    // The body of a failure or redirect answer is read up to this many bytes
    // (to keep its connection); a longer one closes the connection instead.
    static constexpr qint64 MaxSkippedBody = 64 * 1024;
    // Kept-alive connections waiting for the next request.
    static constexpr int MaxIdlePerPlace = 8;
    static constexpr int MaxIdle = 64;

    explicit HttpClient(QObject *parent = nullptr);
    ~HttpClient() override;
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // The proxy for the fetches started from now on; an empty server means a
    // direct connection. A port outside 1..65535 with a server set fails the
    // fetch.
    void setProxy(const QString &server, qint32 port);
    QString proxyServer() const { return m_proxyHost; }
    qint32 proxyPort() const { return m_proxyPort; }

    // Bounds in milliseconds, for the fetches started from now on: connect
    // (with the TLS handshake), silence while reading or writing, and the
    // whole fetch.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    void setSilenceTimeout(int ms) { m_silenceTimeoutMs = ms; }
    void setFetchTimeout(int ms) { m_fetchTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    int silenceTimeout() const { return m_silenceTimeoutMs; }
    int fetchTimeout() const { return m_fetchTimeoutMs; }

    // Certificate authorities trusted besides the system's, for https.
    void addCaCertificates(const QList<QSslCertificate> &certificates);

    // Starts a GET of one absolute http or https URL: follows redirects,
    // stores the cookies it is given, reads the body and throws it away. ok
    // is true when the final answer is 2xx (or the last allowed answer is
    // again a redirect). done runs later on this thread, never inside
    // fetch(), unless the fetch is aborted first. Returns the fetch's id.
    quint64 fetch(const QString &url, Callback done);
    // Ends a fetch in flight; its callback never runs.
    void abort(quint64 id);
    // Ends every fetch in flight; none of their callbacks runs.
    void abortAll();
    int fetchesInFlight() const { return int(m_fetches.size()); }

    // fetch() and a wait for its result in a local event loop: for tools and
    // tests that want the blocking shape. Events keep running meanwhile.
    Result get(const QString &url);

    // The jar shared by every fetch for the life of the client.
    BoundedCookieJar *cookieJar() const { return m_jar.get(); }

    // Closes the kept-alive connections.
    void closeConnection();
    bool hasOpenConnection() const;
    int idleConnections() const { return int(m_idle.size()); }

    // Parses a target text into an absolute http/https URL with a host and a
    // valid port; surrounding blanks are dropped and blanks inside the path
    // are percent-encoded. An invalid QUrl and a message on failure.
    static QUrl parseUrl(const QString &text, QString *error = nullptr);
    // The path and query of a URL text as they go on the request line: as
    // typed, with only what cannot go raw on a request line percent-encoded
    // (blanks, control characters, non-ASCII as its UTF-8 bytes); "/" when
    // the text has neither.
    static QByteArray wireTarget(const QString &text);
    // The target after following the reference from a page whose target is
    // base: an absolute reference's own, otherwise resolved against base
    // without decoding or re-encoding anything.
    static QByteArray resolveTarget(const QByteArray &base, const QByteArray &reference);

private:
    class Fetch;
    friend class Fetch;
    struct Idle {
        QString key;
        std::unique_ptr<QTcpSocket> socket;
    };

    std::unique_ptr<QTcpSocket> takeIdle(const QString &key);
    void keepIdle(const QString &key, std::unique_ptr<QTcpSocket> socket);
    void closeIdleExcept(const QString &key);
    void dropIdle(QTcpSocket *socket);
    void finished(quint64 id);

    std::unique_ptr<BoundedCookieJar> m_jar;
    std::vector<Idle> m_idle;
    std::map<quint64, Fetch *> m_fetches;
    quint64 m_nextId = 1;
    QList<QSslCertificate> m_extraCas;
    QString m_proxyHost;
    qint32 m_proxyPort = 0;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_silenceTimeoutMs = DefaultSilenceTimeoutMs;
    int m_fetchTimeoutMs = DefaultFetchTimeoutMs;
};
