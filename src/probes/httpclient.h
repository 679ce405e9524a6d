#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookieJar>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <memory>

class QTcpSocket;

// The one HTTP client the URL objects share (component `HTTP`).
//
// A small HTTP/1.0 client over our own sockets, used in blocking shape on the
// calling (GUI) thread: no events run while it works, so two fetches never
// overlap. Every wait is bounded: the name lookup with the connect together,
// and the TLS handshake, by the connect bound; every read and write by the
// silence bound. A wait that runs out fails the fetch.
//
// What lives as long as the client and is shared by every fetch: one
// connection (kept open after an answer that asks for keep-alive and reused
// by the next request to the same place) and the cookie jar.
class HttpClient
{
public:
    // How one fetch ended. Only `ok` decides a test; the rest is for
    // diagnostics and tests.
    struct Result {
        bool ok = false;
        int status = 0;       // status of the last answer read; 0 when none
        int requests = 0;     // requests sent (redirects count, a resend on a stale connection does not)
        int connections = 0;  // connections opened during the fetch
        qint64 bodyBytes = 0; // bytes of the final answer's body read and thrown away
        QString error;        // why it failed; empty on success
    };

    static constexpr int DefaultConnectTimeoutMs = 10000;
    static constexpr int DefaultSilenceTimeoutMs = 20000;
    // At most this many requests per fetch; the last answer is final.
    static constexpr int MaxRequests = 15;
    // Bounds against hostile servers.
    static constexpr int MaxLineLength = 64 * 1024;
    static constexpr int MaxHeaderLines = 256;
    static constexpr int MaxHeaderBytes = 1024 * 1024;
    static constexpr int MaxInterimAnswers = 16;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // The proxy for the following fetches; an empty server means a direct
    // connection. A port outside 1..65535 with a server set fails the fetch.
    void setProxy(const QString &server, qint32 port);
    QString proxyServer() const { return m_proxyHost; }
    qint32 proxyPort() const { return m_proxyPort; }

    // Bounds in milliseconds: connect (with the TLS handshake) and silence
    // while reading or writing.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    void setSilenceTimeout(int ms) { m_silenceTimeoutMs = ms; }
    int connectTimeout() const { return m_connectTimeoutMs; }
    int silenceTimeout() const { return m_silenceTimeoutMs; }

    // Certificate authorities trusted besides the system's, for https.
    void addCaCertificates(const QList<QSslCertificate> &certificates);

    // GET of one absolute http or https URL: follows redirects, stores the
    // cookies it is given, reads the body and throws it away. ok is true
    // when the final answer is 2xx (or the last allowed answer is again a
    // redirect).
    Result get(const QString &url);

    // The jar shared by every fetch for the life of the client.
    QNetworkCookieJar *cookieJar() const { return m_jar.get(); }

    // Closes the kept-alive connection, if any.
    void closeConnection();
    bool hasOpenConnection() const;

    // Parses a target text into an absolute http/https URL with a host and a
    // valid port; surrounding blanks are dropped and blanks inside the path
    // are percent-encoded. An invalid QUrl and a message on failure.
    static QUrl parseUrl(const QString &text, QString *error = nullptr);

private:
    struct Answer;
    class Connection;

    bool request(const QUrl &url, Answer &answer, Result &result);
    bool openConnection(const QUrl &url, Result &result, QString *error, bool *reused);
    QByteArray buildRequest(const QUrl &url) const;
    bool discardBody(Answer &answer, QString *error);
    void keepOrClose(const Answer &answer);

    std::unique_ptr<QNetworkCookieJar> m_jar;
    std::unique_ptr<Connection> m_conn;
    QList<QSslCertificate> m_extraCas;
    QString m_proxyHost;
    qint32 m_proxyPort = 0;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    int m_silenceTimeoutMs = DefaultSilenceTimeoutMs;
};
