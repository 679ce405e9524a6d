// The URL probe and the shared HTTP client against real peers on loopback:
// a scripted server (exact bytes, odd and hostile answers), nginx (plain and
// TLS) and tinyproxy.

#include "core/engine.h"
#include "core/records.h"
#include "peers/scriptedserver.h"
#include "peers/webpeers.h"
#include "probes/httpclient.h"
#include "probes/urlprobe.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslSocket>
#include <QtTest>

namespace
{

using Reply = ScriptedServer::Reply;

Reply close(const QByteArray &bytes)
{
    return Reply{bytes, false, {}};
}

Reply keep(const QByteArray &bytes)
{
    return Reply{bytes, true, {}};
}

Reply streaming(std::function<void(ScriptedPeer &)> step)
{
    return Reply{{}, false, std::move(step)};
}

const QByteArray kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello";

// The answers of the scripted origin, by path.
Reply route(const QByteArray &path, const QByteArray &)
{
    if (path == "/" || path == "/ok" || path == "/a%20b" || path == "/check" || path == "/page?x=1")
        return close(kOk);
    if (path == "/ok11")
        return close("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi");
    if (path == "/204")
        return close("HTTP/1.0 204 No Content\r\n\r\n");
    if (path == "/304")
        return close("HTTP/1.0 304 Not Modified\r\n\r\n");
    if (path == "/404")
        return close("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
    if (path == "/500")
        return close("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    if (path == "/401")
        return close("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 0\r\n\r\n");
    if (path == "/407")
        return close("HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
    if (path == "/continue")
        return close("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX-A: b\r\n\r\n" + kOk);
    if (path == "/103")
        return close("HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n");
    if (path == "/chunked")
        return close("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "5\r\nhello\r\n1a; ext=1\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: 1\r\n\r\n");
    if (path == "/closebody")
        return close("HTTP/1.0 200 OK\r\n\r\n" + QByteArray(100000, 'x'));
    if (path == "/shortbody")
        return close("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly ten b");
    if (path == "/lf")
        return close("HTTP/1.0 200 OK\nContent-Length: 2\n\nhi");
    if (path == "/redirect")
        return close("HTTP/1.0 302 Found\r\nLocation: /ok\r\nContent-Length: 0\r\n\r\n");
    if (path == "/dir/relative")
        return close("HTTP/1.0 301 Moved\r\nLocation: ../ok\r\n\r\n");
    if (path == "/redirect404")
        return close("HTTP/1.0 307 Temporary Redirect\r\nLocation: /404\r\n\r\n");
    if (path == "/redirectftp")
        return close("HTTP/1.0 302 Found\r\nLocation: ftp://127.0.0.1/file\r\n\r\n");
    if (path == "/302noloc")
        return close("HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n");
    if (path == "/200loc")
        return close("HTTP/1.0 200 OK\r\nLocation: /404\r\nContent-Length: 0\r\n\r\n");
    if (path == "/loop")
        return close("HTTP/1.0 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n");
    if (path == "/badchunk")
        return close("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nzz\r\nxx\r\n0\r\n\r\n");
    if (path == "/badlength")
        return close("HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\nhello");
    if (path == "/garbage")
        return close("SSH-2.0-OpenSSH_9.2\r\n\r\n");
    if (path == "/http09")
        return close("<html>no status line</html>\r\n");
    if (path == "/nothing")
        return close({});
    if (path == "/longline")
        return streaming(
            [](ScriptedPeer &p) { p.send("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(1024 * 1024, 'a') + "\r\n\r\n"); });
    if (path == "/endlessheaders")
        return streaming([](ScriptedPeer &p) {
            if (!p.send("HTTP/1.0 200 OK\r\n"))
                return;
            const QByteArray block = QByteArray("X-Again: and again\r\n").repeated(100);
            while (!p.stopping() && p.send(block)) {
            }
        });
    if (path == "/silent")
        return streaming([](ScriptedPeer &p) { p.hang(); });
    if (path == "/statusonly")
        return streaming([](ScriptedPeer &p) {
            p.send("HTTP/1.0 200 OK\r\n");
            p.hang();
        });
    if (path == "/stall")
        return streaming([](ScriptedPeer &p) {
            p.send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
            p.hang();
        });
    if (path == "/huge")
        return streaming([](ScriptedPeer &p) {
            const qint64 size = 3LL * 1024 * 1024 * 1024;
            if (p.send("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(size) + "\r\n\r\n"))
                p.sendZeros(size);
        });
    if (path == "/setcookie")
        return close("HTTP/1.0 200 OK\r\nSet-Cookie: sid=abc123; Path=/\r\n"
                     "Set-cookie2: lang=en; Version=1; Path=/\r\nContent-Length: 0\r\n\r\n");
    if (path == "/cookieredirect")
        return close("HTTP/1.0 302 Found\r\nSet-Cookie: hop=1; Path=/\r\nLocation: /check\r\n\r\n");
    // keep-alive
    if (path == "/ka")
        return keep("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 5\r\n\r\nhello");
    if (path == "/ka-chunked")
        return keep("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "3\r\nabc\r\n0\r\n\r\n");
    if (path == "/ka-proxyheader")
        return keep("HTTP/1.0 200 OK\r\nProxy-Connection: KEEP-ALIVE\r\nContent-Length: 0\r\n\r\n");
    if (path == "/noka")
        return keep("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    if (path == "/ka-then-close")
        return close("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 5\r\n\r\nhello");
    if (path == "/ka-drop-second")
        return streaming([](ScriptedPeer &p) {
            // Promises keep-alive, then drops the connection when the next
            // request arrives, as a server whose idle time ran out just then.
            p.send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 5\r\n\r\nhello");
            p.readRequest();
        });
    if (path == "/ka-redirect")
        return keep("HTTP/1.0 302 Found\r\nConnection: keep-alive\r\nLocation: /ka\r\nContent-Length: 3\r\n\r\nabc");
    return close("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

qint64 peakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray expectedRequest(const QByteArray &target, const QByteArray &connectionLine, const QByteArray &host,
                           const QByteArray &cookie = {})
{
    return "GET " + target + " HTTP/1.0\r\n" + connectionLine +
           "\r\n"
           "Content-Type: text/html\r\n"
           "Host: " +
           host +
           "\r\n"
           "Accept: text/html, */*\r\n"
           "User-Agent: Mozilla/3.0 (compatible; Velmora Sentrova)\r\n" +
           (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n") + "\r\n";
}

class RecordingEvents : public EventSink
{
public:
    void appendLine(const QString &line) override { lines << line; }
    QStringList lines;
};

class RecordingAlerts : public AlertSink
{
public:
    struct Alert {
        int position;
        QString text;
        bool alive;
    };
    void dispatchAlert(int position, const QString &text, bool alive) override
    {
        alerts.push_back({position, text, alive});
    }
    std::vector<Alert> alerts;
};

ObserverRecord urlRecord(const QString &url, const QString &proxy = {}, qint32 proxyPort = 0)
{
    ObserverRecord rec = Records::newRecord(okUrl);
    rec.IntervalMin = 0; // tested only when asked
    rec.IntervalSec = 0;
    UrlParams *p = rec.params<UrlParams>();
    p->Target = url;
    p->ProxyServer = proxy;
    p->ProxyPort = proxyPort;
    return rec;
}

#define REQUIRE_PEER(ok, why)                                                                                          \
    do {                                                                                                               \
        if (!(ok)) {                                                                                                   \
            if (WebPeers::ciMode())                                                                                    \
                QFAIL(qPrintable(why));                                                                                \
            QSKIP(qPrintable(why));                                                                                    \
        }                                                                                                              \
    } while (false)

} // namespace

class TestUrlProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void rejectsUnusableUrls_data();
    void rejectsUnusableUrls();
    void finalAnswerDecides_data();
    void finalAnswerDecides();
    void redirectLoopEndsAfterFifteenRequests();
    void requestBytes_data();
    void requestBytes();
    void cookiesAreSharedBetweenObjects();
    void keepAlive_data();
    void keepAlive();
    void keptConnectionClosedByServerIsReplaced_data();
    void keptConnectionClosedByServerIsReplaced();
    void changingHostClosesConnection();
    void silenceBoundEndsStalledAnswers_data();
    void silenceBoundEndsStalledAnswers();
    void multiGigabyteBodyIsStreamed();
    void nginxPageAndMissingPage();
    void https_data();
    void https();
    void throughTinyproxy();
    void probeReportsOutcomeChanges();

private:
    std::unique_ptr<ScriptedServer> m_origin;
    WebPeers::TlsMaterial m_tls;
    bool m_tlsReady = false;
    QString m_tlsWhy;
    WebPeers::NginxPeer m_nginx;
    bool m_nginxReady = false;
    QString m_nginxWhy;
};

void TestUrlProbe::initTestCase()
{
    m_origin = std::make_unique<ScriptedServer>(route);
    QVERIFY(m_origin->isListening());

    m_tlsReady = m_tls.make(&m_tlsWhy);
    QList<WebPeers::NginxPeer::TlsSite> sites;
    if (m_tlsReady) {
        for (const char *name : {"good", "rogue", "wrongname"})
            sites << WebPeers::NginxPeer::TlsSite{m_tls.path(QLatin1String(name) + QLatin1String(".crt")),
                                                  m_tls.path(QLatin1String(name) + QLatin1String(".key"))};
    }
    m_nginxReady = m_nginx.start(sites, &m_nginxWhy);
}

void TestUrlProbe::cleanupTestCase()
{
    m_nginx.stop();
    m_origin.reset();
}

void TestUrlProbe::rejectsUnusableUrls_data()
{
    QTest::addColumn<QString>("url");
    const QString port = QString::number(m_origin->port());
    QTest::newRow("empty") << QString();
    QTest::newRow("no host") << QStringLiteral("http:///ok");
    QTest::newRow("scheme only") << QStringLiteral("http://");
    QTest::newRow("no scheme") << QStringLiteral("127.0.0.1:") + port + QStringLiteral("/ok");
    QTest::newRow("port 70000") << QStringLiteral("http://127.0.0.1:70000/ok");
    QTest::newRow("port 0") << QStringLiteral("http://127.0.0.1:0/ok");
    QTest::newRow("space in host") << QStringLiteral("http://127.0.0 .1:") + port + QStringLiteral("/ok");
    QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1:") + port + QStringLiteral("/ok");
    QTest::newRow("file") << QStringLiteral("file:///etc/hostname");
}

void TestUrlProbe::rejectsUnusableUrls()
{
    QFETCH(QString, url);
    m_origin->clearRecords();
    HttpClient client;
    const HttpClient::Result r = client.get(url);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(m_origin->requests().size(), 0);
}

void TestUrlProbe::finalAnswerDecides_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<int>("requests");
    auto row = [](const char *name, const char *path, bool pass, int requests) {
        QTest::newRow(name) << QString::fromLatin1(path) << pass << requests;
    };

    row("200", "/ok", true, 1);
    row("HTTP/1.1 status line", "/ok11", true, 1);
    row("204 without body", "/204", true, 1);
    row("100 answers skipped", "/continue", true, 1);
    row("chunked body", "/chunked", true, 1);
    row("body up to close", "/closebody", true, 1);
    row("close before Content-Length", "/shortbody", true, 1);
    row("bare LF line ends", "/lf", true, 1);
    row("blank in path is encoded", "/a b", true, 1);
    row("304", "/304", false, 1);
    row("404", "/404", false, 1);
    row("500", "/500", false, 1);
    row("401 at once", "/401", false, 1);
    row("407", "/407", false, 1);
    row("final 1xx", "/103", false, 1);
    row("redirect to 200", "/redirect", true, 2);
    row("relative redirect", "/dir/relative", true, 2);
    row("redirect to 404", "/redirect404", false, 2);
    row("Location on a 200 redirects", "/200loc", false, 2);
    row("redirect to ftp", "/redirectftp", false, 1);
    row("3xx without Location", "/302noloc", false, 1);
    row("bad chunk size", "/badchunk", false, 1);
    row("bad Content-Length", "/badlength", false, 1);
    row("garbage status line", "/garbage", false, 1);
    row("no status line", "/http09", false, 1);
    row("closed before status line", "/nothing", false, 1);
    row("1 MB header line", "/longline", false, 1);
    row("endless headers", "/endlessheaders", false, 1);
}

void TestUrlProbe::finalAnswerDecides()
{
    QFETCH(QString, path);
    QFETCH(bool, pass);
    QFETCH(int, requests);
    m_origin->clearRecords();
    HttpClient client;
    const HttpClient::Result r = client.get(m_origin->url(path));
    QVERIFY2(r.ok == pass, qPrintable(r.error));
    QCOMPARE(r.requests, requests);
    QCOMPARE(m_origin->requests().size(), requests);
}

void TestUrlProbe::redirectLoopEndsAfterFifteenRequests()
{
    // The fifteenth answer is taken as final although it redirects again.
    m_origin->clearRecords();
    HttpClient client;
    const HttpClient::Result r = client.get(m_origin->url(QStringLiteral("/loop")));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.status, 302);
    QCOMPARE(m_origin->requests().size(), 15);
}

void TestUrlProbe::requestBytes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("viaProxy");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray hostPort = "127.0.0.1:" + QByteArray::number(m_origin->port());
    QTest::newRow("direct, fragment dropped") << m_origin->url(QStringLiteral("/page?x=1#top")) << false
                                              << expectedRequest("/page?x=1", "Connection: keep-alive", hostPort);
    QTest::newRow("direct, blank encoded") << m_origin->url(QStringLiteral("/a b")) << false
                                           << expectedRequest("/a%20b", "Connection: keep-alive", hostPort);
    QTest::newRow("direct, no path") << QStringLiteral("http://") + hostPort << false
                                     << expectedRequest("/", "Connection: keep-alive", hostPort);
    // The scripted server stands in for the proxy: it sees exactly what a
    // proxy would be sent.
    QTest::newRow("proxy, port 80") << QStringLiteral("http://127.0.0.1/page?x=1") << true
                                    << expectedRequest("http://127.0.0.1/page?x=1", "Proxy-Connection: keep-alive",
                                                       "127.0.0.1");
    QTest::newRow("proxy, other port") << QStringLiteral("http://localhost:8080/ok") << true
                                       << expectedRequest("http://localhost:8080/ok", "Proxy-Connection: keep-alive",
                                                          "localhost:8080");
}

void TestUrlProbe::requestBytes()
{
    QFETCH(QString, url);
    QFETCH(bool, viaProxy);
    QFETCH(QByteArray, expected);
    m_origin->clearRecords();
    HttpClient client;
    if (viaProxy)
        client.setProxy(QStringLiteral("127.0.0.1"), m_origin->port());
    const HttpClient::Result r = client.get(url);
    QVERIFY2(r.ok, qPrintable(r.error));
    const QList<QByteArray> seen = m_origin->requests();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first(), expected);
}

void TestUrlProbe::cookiesAreSharedBetweenObjects()
{
    ScriptedServer otherHost(route, "127.0.0.2");
    if (!otherHost.isListening())
        QSKIP("127.0.0.2 is not usable here");
    m_origin->clearRecords();

    MonitorEngine engine;
    HttpClient client;
    UrlProbe probe(engine, &client);
    engine.setProbe(okUrl, &probe);

    // Object 1's server sets two cookies (Set-Cookie and Set-cookie2)...
    const QString setter = m_origin->url(QStringLiteral("/setcookie"));
    engine.AppendObject(urlRecord(setter), setter);
    QTRY_COMPARE(engine.object(0)->status, QStringLiteral("OK"));

    // ...which object 2 sends to the same host, and object 3 to another
    // host does not.
    const QString checker = m_origin->url(QStringLiteral("/check"));
    engine.AppendObject(urlRecord(checker), checker);
    const QString other = otherHost.url(QStringLiteral("/check"));
    engine.AppendObject(urlRecord(other), other);
    QTRY_COMPARE(engine.object(1)->status, QStringLiteral("OK"));
    QTRY_COMPARE(engine.object(2)->status, QStringLiteral("OK"));

    const QByteArray hostPort = "127.0.0.1:" + QByteArray::number(m_origin->port());
    QCOMPARE(m_origin->requests().value(1),
             expectedRequest("/check", "Connection: keep-alive", hostPort, "sid=abc123; lang=en"));
    QVERIFY(!otherHost.requests().value(0).contains("Cookie:"));

    // A cookie given with a redirect goes with the redirected request.
    m_origin->clearRecords();
    QVERIFY(client.get(m_origin->url(QStringLiteral("/cookieredirect"))).ok);
    const QByteArray redirected = m_origin->requests().value(1);
    QVERIFY(redirected.contains("\r\nCookie: "));
    QVERIFY(redirected.contains("hop=1"));
}

void TestUrlProbe::keepAlive_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("connections");
    auto row = [](const char *name, const char *path, int connections) {
        QTest::newRow(name) << QString::fromLatin1(path) << connections;
    };

    row("Connection: Keep-Alive", "/ka", 1);
    row("chunked, keep-alive", "/ka-chunked", 1);
    row("Proxy-Connection: KEEP-ALIVE", "/ka-proxyheader", 1);
    row("redirect and target on one connection", "/ka-redirect", 1);
    row("no keep-alive header", "/noka", 2);
}

void TestUrlProbe::keepAlive()
{
    // Two tests of the same host and port share one connection when the
    // answers ask for it.
    QFETCH(QString, path);
    QFETCH(int, connections);
    ScriptedServer server(route);
    HttpClient client;
    const HttpClient::Result first = client.get(server.url(path));
    const HttpClient::Result second = client.get(server.url(path));
    QVERIFY2(first.ok && second.ok, qPrintable(first.error + second.error));
    QCOMPARE(server.connections(), connections);
}

void TestUrlProbe::keptConnectionClosedByServerIsReplaced_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("closed while idle") << QStringLiteral("/ka-then-close");
    QTest::newRow("closed when the next request came") << QStringLiteral("/ka-drop-second");
}

void TestUrlProbe::keptConnectionClosedByServerIsReplaced()
{
    // The server promised keep-alive but closed the connection before the
    // next test's answer: that test still succeeds, over a new connection.
    QFETCH(QString, path);
    ScriptedServer server(route);
    HttpClient client;
    QVERIFY(client.get(server.url(path)).ok);
    QThread::msleep(100); // no events run: the client finds out by itself
    const HttpClient::Result r = client.get(server.url(path));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.requests, 1);
    QCOMPARE(server.connections(), 2);
}

void TestUrlProbe::changingHostClosesConnection()
{
    ScriptedServer first(route), second(route);
    HttpClient client;
    QVERIFY(client.get(first.url(QStringLiteral("/ka"))).ok);
    QVERIFY(client.hasOpenConnection());
    QVERIFY(client.get(second.url(QStringLiteral("/ka"))).ok);
    QVERIFY(client.get(first.url(QStringLiteral("/ka"))).ok);
    QCOMPARE(first.connections(), 2);
    QCOMPARE(second.connections(), 1);
}

void TestUrlProbe::silenceBoundEndsStalledAnswers_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("silent after accept") << QStringLiteral("/silent");
    QTest::newRow("status line, then nothing") << QStringLiteral("/statusonly");
    QTest::newRow("body stalls") << QStringLiteral("/stall");
}

void TestUrlProbe::silenceBoundEndsStalledAnswers()
{
    QFETCH(QString, path);
    HttpClient client;
    client.setSilenceTimeout(300);
    const HttpClient::Result r = client.get(m_origin->url(path));
    QVERIFY(!r.ok);
    QVERIFY(!client.hasOpenConnection());
}

void TestUrlProbe::multiGigabyteBodyIsStreamed()
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's quarantine holds freed memory back, so the peak
    // says nothing about what the client keeps.
    QSKIP("peak memory is meaningless under AddressSanitizer");
#endif
    const qint64 before = peakRssKb();
    HttpClient client;
    const HttpClient::Result r = client.get(m_origin->url(QStringLiteral("/huge")));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.bodyBytes, 3LL * 1024 * 1024 * 1024);
    const qint64 after = peakRssKb();
    QVERIFY2(after - before < 64 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 kB").arg(after - before)));
}

void TestUrlProbe::nginxPageAndMissingPage()
{
    REQUIRE_PEER(m_nginxReady, m_nginxWhy);
    HttpClient client;
    HttpClient::Result r = client.get(m_nginx.url(QStringLiteral("/index.html")));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.status, 200);
    // nginx keeps the connection for an HTTP/1.0 keep-alive request.
    QVERIFY(client.hasOpenConnection());
    r = client.get(m_nginx.url(QStringLiteral("/")));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.connections, 0);
    r = client.get(m_nginx.url(QStringLiteral("/missing.html")));
    QVERIFY(!r.ok);
    QCOMPARE(r.status, 404);
    // The failure's body was read, so the connection serves the next test.
    r = client.get(m_nginx.url(QStringLiteral("/index.html")));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.connections, 0);
}

void TestUrlProbe::https_data()
{
    QTest::addColumn<int>("site");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<bool>("pass");
    auto row = [](const char *name, int site, const char *host, bool trust, bool pass) {
        QTest::newRow(name) << site << QString::fromLatin1(host) << trust << pass;
    };

    row("trusted certificate", 0, "127.0.0.1", true, true);
    row("trusted certificate, by name", 0, "localhost", true, true);
    row("authority not trusted", 0, "127.0.0.1", false, false);
    row("self-signed certificate", 1, "127.0.0.1", true, false);
    row("certificate for another name", 2, "127.0.0.1", true, false);
}

void TestUrlProbe::https()
{
    QFETCH(int, site);
    QFETCH(QString, host);
    QFETCH(bool, trustTestCa);
    QFETCH(bool, pass);
    REQUIRE_PEER(m_tlsReady, m_tlsWhy);
    REQUIRE_PEER(m_nginxReady, m_nginxWhy);
    REQUIRE_PEER(QSslSocket::supportsSsl(), QStringLiteral("Qt has no TLS backend (package libssl3)"));

    HttpClient client;
    if (trustTestCa)
        client.addCaCertificates(QSslCertificate::fromPath(m_tls.path(QStringLiteral("ca.crt"))));
    const QString url = QStringLiteral("https://%1:%2/index.html").arg(host).arg(m_nginx.tlsPort(site));
    const HttpClient::Result r = client.get(url);
    QVERIFY2(r.ok == pass, qPrintable(r.error));
}

void TestUrlProbe::throughTinyproxy()
{
    REQUIRE_PEER(m_nginxReady, m_nginxWhy);
    WebPeers::TinyproxyPeer proxy;
    QString why;
    REQUIRE_PEER(proxy.start(&why), why);

    MonitorEngine engine;
    UrlProbe probe(engine);
    engine.setProbe(okUrl, &probe);
    if (m_tlsReady)
        probe.client().addCaCertificates(QSslCertificate::fromPath(m_tls.path(QStringLiteral("ca.crt"))));

    // nginx's page and a missing page, and the scripted origin, which shows
    // what the proxy forwarded.
    m_origin->clearRecords();
    const QString page = m_nginx.url(QStringLiteral("/index.html"));
    const QString missing = m_nginx.url(QStringLiteral("/missing.html"));
    const QString scripted = m_origin->url(QStringLiteral("/ok"));
    engine.AppendObject(urlRecord(page, QStringLiteral("127.0.0.1"), proxy.port()), page);
    engine.AppendObject(urlRecord(missing, QStringLiteral("127.0.0.1"), proxy.port()), missing);
    engine.AppendObject(urlRecord(scripted, QStringLiteral("127.0.0.1"), proxy.port()), scripted);
    QTRY_COMPARE(engine.object(0)->status, QStringLiteral("OK"));
    QTRY_COMPARE(engine.object(1)->status, QStringLiteral("Error"));
    QTRY_COMPARE(engine.object(2)->status, QStringLiteral("OK"));
    QCOMPARE(m_origin->requests().size(), 1);
    QVERIFY(m_origin->requests().first().startsWith("GET /ok HTTP/1."));
    QVERIFY(m_origin->requests().first().contains("User-Agent: Mozilla/3.0 (compatible; Velmora Sentrova)\r\n"));

    // https goes through a CONNECT tunnel.
    if (m_tlsReady && QSslSocket::supportsSsl()) {
        const QString secure = m_nginx.tlsUrl(0, QStringLiteral("/index.html"));
        engine.AppendObject(urlRecord(secure, QStringLiteral("127.0.0.1"), proxy.port()), secure);
        QTRY_COMPARE(engine.object(3)->status, QStringLiteral("OK"));
    }

    // A proxy that is not there fails the test.
    const QString unreachable = m_nginx.url(QStringLiteral("/index.html"));
    engine.AppendObject(urlRecord(unreachable, QStringLiteral("127.0.0.1"), WebPeers::freePort()), unreachable);
    QTRY_COMPARE(engine.object(engine.count() - 1)->status, QStringLiteral("Error"));
}

void TestUrlProbe::probeReportsOutcomeChanges()
{
    MonitorEngine engine;
    RecordingEvents events;
    RecordingAlerts alerts;
    engine.setEventSink(&events);
    engine.setAlertSink(&alerts);
    UrlProbe probe(engine);
    engine.setProbe(okUrl, &probe);

    const QString good = m_origin->url(QStringLiteral("/ok"));
    engine.AppendObject(urlRecord(good), QStringLiteral("caption"));
    ObserverObject *o = engine.object(0);
    QTRY_COMPARE(o->status, QStringLiteral("OK"));
    QCOMPARE(o->record.LastResult, QStringLiteral("OK"));
    QCOMPARE(events.lines.size(), 1);
    QVERIFY(events.lines[0].endsWith(";;" + good + ";;" + good + " OK;;URL Request"));
    QCOMPARE(alerts.alerts.size(), size_t(1));
    QCOMPARE(alerts.alerts[0].text, QStringLiteral("caption URL Request OK"));
    QVERIFY(alerts.alerts[0].alive);

    // Failing three times logs and alerts once; the Status cell says "Error".
    const QString bad = m_origin->url(QStringLiteral("/404"));
    o->record.params<UrlParams>()->Target = bad;
    for (int i = 0; i < 3; ++i) {
        engine.RunTest(0);
        QTRY_COMPARE(o->status, QStringLiteral("Error"));
    }
    QCOMPARE(o->record.LastResult, QStringLiteral("URL Request Error"));
    QCOMPARE(events.lines.size(), 2);
    QVERIFY(events.lines[1].endsWith(";;" + bad + ";;" + bad + " URL Request Error;;URL Request"));
    QCOMPARE(alerts.alerts.size(), size_t(2));
    QCOMPARE(alerts.alerts[1].text, QStringLiteral("caption URL Request Error"));
    QVERIFY(!alerts.alerts[1].alive);
}

QTEST_GUILESS_MAIN(TestUrlProbe)
#include "test_urlprobe.moc"
