// The HTTP client on the event loop: hostile peers that drip or never end
// are cut off by their bounds while other URL objects get their outcomes at
// once; IPv6; the request target as typed; the bounded cookie jar; kept
// connections when fetches overlap; abandoning fetches in flight.

#include "core/engine.h"
#include "core/records.h"
#include "peers/eventpeer.h"
#include "peers/netprobesupport.h"
#include "probes/httpclient.h"
#include "probes/urlprobe.h"

#include <QElapsedTimer>
#include <QtTest>

namespace
{

using Behaviour = EventPeer::Behaviour;

Behaviour send(const QByteArray &bytes, bool keepOpen = false)
{
    Behaviour b;
    b.head = bytes;
    b.keepOpen = keepOpen;
    return b;
}

Behaviour route(const QByteArray &path)
{
    if (path == "/ok" || path.startsWith("/echo"))
        return send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    if (path == "/ka")
        return send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok", true);
    if (path == "/drip-head") {
        Behaviour b = send("HTTP/1.0 200 OK\r\n");
        b.drip = "X-Slow: still coming\r\n";
        b.dripMs = 100;
        return b;
    }
    if (path == "/drip-body") {
        Behaviour b = send("HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n");
        b.drip = "x";
        b.dripMs = 100;
        return b;
    }
    if (path == "/endless") {
        Behaviour b = send("HTTP/1.0 200 OK\r\n\r\n");
        b.endless = true;
        return b;
    }
    if (path == "/404-drip") {
        // Keep-alive and framed, so the client would read it for reuse: its
        // body comes one chunk byte at a time.
        Behaviour b = send("HTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n");
        b.drip = "1\r\nx\r\n";
        b.dripMs = 50;
        return b;
    }
    if (path == "/404-huge") {
        Behaviour b = send("HTTP/1.0 404 Not Found\r\nConnection: keep-alive\r\nContent-Length: 50000000\r\n\r\n");
        b.drip = "x";
        b.dripMs = 100;
        return b;
    }
    if (path == "/404-endless-chunks") {
        Behaviour b = send("HTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n"
                           "100000\r\n");
        b.endless = true;
        return b;
    }
    if (path == "/slow-redirect") {
        Behaviour b = send("HTTP/1.0 302 Found\r\nLocation: /slow-redirect\r\nContent-Length: 0\r\n\r\n");
        b.delayMs = 300;
        return b;
    }
    if (path == "/cookies") {
        QByteArray head = "HTTP/1.0 200 OK\r\n";
        static int round = 0;
        ++round;
        for (int i = 0; i < 250; ++i)
            head += "Set-Cookie: c" + QByteArray::number(round) + "_" + QByteArray::number(i) + "=" +
                    QByteArray(100, 'v') + "; Path=/\r\n";
        head += "Set-Cookie: brief=1; Max-Age=1; Path=/\r\n";
        return send(head + "Content-Length: 0\r\n\r\n");
    }
    return send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

ObserverRecord urlObject(const QString &url)
{
    ObserverRecord rec = Records::newRecord(okUrl);
    rec.IntervalMin = 0;
    rec.IntervalSec = 0;
    rec.params<UrlParams>()->Target = url;
    return rec;
}

} // namespace

class TestHttpAsync : public QObject
{
    Q_OBJECT

private slots:
    void hostilePeerEndsWithinItsBound_data();
    void hostilePeerEndsWithinItsBound();
    void causesOfOrdinaryOutcomes_data();
    void causesOfOrdinaryOutcomes();
    void ipv6Literal();
    void targetGoesOutAsTyped_data();
    void targetGoesOutAsTyped();
    void redirectTargets_data();
    void redirectTargets();
    void cookieJarStaysBounded();
    void overlappingFetchesKeepTheirConnections();
    void cancelAllReportsNothing();
};

void TestHttpAsync::hostilePeerEndsWithinItsBound_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("boundMs");
    // Silence bound 1 s, whole fetch 2.5 s: the dripping peers never stay
    // silent for a second, so only the whole-fetch bound stops them.
    QTest::newRow("header drips") << "/drip-head" << "no answer within 2.5 s" << 2500;
    QTest::newRow("body drips") << "/drip-body" << "no answer within 2.5 s" << 2500;
    QTest::newRow("endless body") << "/endless" << "no answer within 2.5 s" << 2500;
    QTest::newRow("redirects, each slow") << "/slow-redirect" << "no answer within 2.5 s" << 2500;
    // A failure answer keeps its own cause; its body is read only up to a
    // small limit, or not at all when it announces more.
    QTest::newRow("404 whose body drips") << "/404-drip" << "HTTP 404 Not Found" << 2500;
    QTest::newRow("404 announcing a huge body") << "/404-huge" << "HTTP 404 Not Found" << 0;
    QTest::newRow("404 with an endless chunk") << "/404-endless-chunks" << "HTTP 404 Not Found" << 0;
}

void TestHttpAsync::hostilePeerEndsWithinItsBound()
{
    QFETCH(QString, path);
    QFETCH(QString, cause);
    QFETCH(int, boundMs);
    EventPeer peer(route);
    QVERIFY(peer.isListening());
    ProbeBench bench;
    HttpClient client;
    client.setSilenceTimeout(1000);
    client.setFetchTimeout(2500);
    UrlProbe probe(bench.engine, &client);
    bench.attach(okUrl, &probe);
    bench.add(urlObject(peer.url(path)));
    bench.add(urlObject(peer.url(QStringLiteral("/ok"))));

    QElapsedTimer clock;
    clock.start();
    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("TEST"));
    bench.engine.RunTest(1);
    // The live object's outcome does not wait for the hostile one.
    QTRY_COMPARE_WITH_TIMEOUT(bench.status(1), QStringLiteral("OK"), 2000);
    if (boundMs > 0)
        QCOMPARE(bench.status(0), QStringLiteral("TEST"));

    QTRY_COMPARE_WITH_TIMEOUT(bench.status(0), QStringLiteral("Error"), 10000);
    QVERIFY2(clock.elapsed() < boundMs + 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(bench.engine.object(0)->cause, cause);
    QCOMPARE(bench.lastResult(0), QStringLiteral("URL Request Error"));
    // Nothing of a hostile answer is kept for the next test.
    QCOMPARE(client.fetchesInFlight(), 0);
    QTRY_COMPARE(peer.closedConnections(), peer.connections());
}

void TestHttpAsync::causesOfOrdinaryOutcomes_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("causePattern");
    QTest::addColumn<bool>("timed");
    QTest::newRow("200") << "/ok" << "^answered in \\d+ ms$" << true;
    QTest::newRow("404") << "/missing" << "^HTTP 404 Not Found$" << true;
    QTest::newRow("refused") << "refused" << "^connection refused$" << false;
    QTest::newRow("name not found") << "http://nosuchhost.invalid/" << "^name not found$" << false;
}

void TestHttpAsync::causesOfOrdinaryOutcomes()
{
    QFETCH(QString, url);
    QFETCH(QString, causePattern);
    QFETCH(bool, timed);
    EventPeer peer(route);
    if (url.startsWith(QLatin1Char('/')))
        url = peer.url(url);
    if (url == QLatin1String("refused")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        url = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
        closed.close();
    }
    HttpClient client;
    const HttpClient::Result r = client.get(url);
    QVERIFY2(QRegularExpression(causePattern).match(r.cause).hasMatch(), qPrintable(r.cause));
    QCOMPARE(r.responseMs >= 0, timed);
    const Outcome o = UrlProbe::outcomeFor(url, r);
    QCOMPARE(o.cause, r.cause);
    QCOMPARE(o.responseMs, r.responseMs);
}

void TestHttpAsync::ipv6Literal()
{
    EventPeer peer(route, QHostAddress::LocalHostIPv6);
    REQUIRE_PEER(peer.isListening(), QStringLiteral("no IPv6 on loopback here"));
    ProbeBench bench;
    UrlProbe probe(bench.engine);
    bench.attach(okUrl, &probe);
    const QString url = peer.url(QStringLiteral("/ok"));
    QVERIFY(url.startsWith(QLatin1String("http://[::1]:")));
    bench.add(urlObject(url));
    bench.engine.RunTest(0);
    QTRY_COMPARE(bench.status(0), QStringLiteral("OK"));
    QCOMPARE(bench.sinks.lines, QStringList{url + ";;" + url + " OK;;URL Request"});
    QCOMPARE(peer.requests().size(), 1);
    QVERIFY(peer.requests()[0].contains("\r\nHost: [::1]:" + QByteArray::number(peer.port()) + "\r\n"));
}

void TestHttpAsync::targetGoesOutAsTyped_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("escapes of unreserved characters stay") << "/echo/a%7Eb/%41" << QByteArray("/echo/a%7Eb/%41");
    QTest::newRow("a stray percent stays") << "/echo/%zz" << QByteArray("/echo/%zz");
    QTest::newRow("query as typed") << "/echo?sig=a%2Fb%3D&x=%7e" << QByteArray("/echo?sig=a%2Fb%3D&x=%7e");
    QTest::newRow("blank and non-ASCII encoded") << "/echo/\u00fc x" << QByteArray("/echo/%C3%BC%20x");
    QTest::newRow("dot segments as typed") << "/echo/./a/../b" << QByteArray("/echo/./a/../b");
}

void TestHttpAsync::targetGoesOutAsTyped()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, wire);
    EventPeer peer(route);
    HttpClient client;
    const HttpClient::Result r = client.get(peer.url(path) + QStringLiteral("#fragment"));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(peer.requests().size(), 1);
    QCOMPARE(peer.requests()[0].left(peer.requests()[0].indexOf("\r\n")), "GET " + wire + " HTTP/1.0");
    QCOMPARE(HttpClient::wireTarget(peer.url(path)), wire);
}

void TestHttpAsync::redirectTargets_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("reference");
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("absolute path kept as sent") << QByteArray("/a/b") << QByteArray("/x%7Ey?q=%41")
                                                << QByteArray("/x%7Ey?q=%41");
    QTest::newRow("relative to the folder") << QByteArray("/a/b?q") << QByteArray("c%20d") << QByteArray("/a/c%20d");
    QTest::newRow("parent folder") << QByteArray("/dir/relative") << QByteArray("../ok") << QByteArray("/ok");
    QTest::newRow("above the root stays at the root") << QByteArray("/a") << QByteArray("../../x")
                                                      << QByteArray("/x");
    QTest::newRow("query only") << QByteArray("/a/b?old") << QByteArray("?new") << QByteArray("/a/b?new");
    QTest::newRow("fragment dropped") << QByteArray("/a") << QByteArray("/b#top") << QByteArray("/b");
    QTest::newRow("absolute URL") << QByteArray("/a") << QByteArray("http://h:81/p%2F?x") << QByteArray("/p%2F?x");
    QTest::newRow("blank encoded") << QByteArray("/a") << QByteArray("/b c") << QByteArray("/b%20c");
}

void TestHttpAsync::redirectTargets()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, reference);
    QFETCH(QByteArray, target);
    QCOMPARE(HttpClient::resolveTarget(base, reference), target);
}

void TestHttpAsync::cookieJarStaysBounded()
{
    // Each answer sets 250 cookies of 100 bytes and one that lives a second.
    EventPeer peer(route);
    HttpClient client;
    for (int i = 0; i < 3; ++i)
        QVERIFY(client.get(peer.url(QStringLiteral("/cookies"))).ok);
    QVERIFY(client.get(peer.url(QStringLiteral("/ok"))).ok);
    QVERIFY(client.cookieJar()->count() <= BoundedCookieJar::MaxPerHost);
    QByteArray cookieLine;
    for (const QByteArray &line : peer.requests().last().split('\n'))
        if (line.startsWith("Cookie: "))
            cookieLine = line.trimmed().mid(8);
    QVERIFY(!cookieLine.isEmpty());
    QVERIFY2(cookieLine.size() <= BoundedCookieJar::MaxLineBytes, qPrintable(QString::number(cookieLine.size())));
    QVERIFY2(cookieLine.contains("brief=1"), cookieLine.left(300).constData());
    // The newest cookies are the ones kept.
    QVERIFY(cookieLine.contains("c3_249="));
    QVERIFY(!cookieLine.contains("c1_"));

    QTest::qWait(1500);
    QVERIFY(client.get(peer.url(QStringLiteral("/ok"))).ok);
    QVERIFY(!peer.requests().last().contains("brief=1"));
    for (const QNetworkCookie &c : client.cookieJar()->cookies())
        QVERIFY(c.name() != "brief");
}

void TestHttpAsync::overlappingFetchesKeepTheirConnections()
{
    // Three fetches at once open three connections; the next three reuse them.
    EventPeer peer(route);
    HttpClient client;
    for (int round = 0; round < 2; ++round) {
        int done = 0;
        for (int i = 0; i < 3; ++i)
            client.fetch(peer.url(QStringLiteral("/ka")), [&](const HttpClient::Result &r) {
                QVERIFY(r.ok);
                ++done;
            });
        QCOMPARE(done, 0); // never inside fetch()
        QTRY_COMPARE(done, 3);
        QCOMPARE(peer.connections(), 3);
        QCOMPARE(client.idleConnections(), 3);
    }
    QCOMPARE(peer.requests().size(), 6);
}

void TestHttpAsync::cancelAllReportsNothing()
{
    EventPeer peer(route);
    ProbeBench bench;
    HttpClient client;
    UrlProbe probe(bench.engine, &client);
    bench.attach(okUrl, &probe);
    bench.add(urlObject(peer.url(QStringLiteral("/drip-head"))));
    bench.add(urlObject(peer.url(QStringLiteral("/ok"))));
    bench.add(urlObject(QStringLiteral("http://nosuchhost.invalid/")));
    for (int i = 0; i < 3; ++i)
        bench.engine.RunTest(i);
    QCOMPARE(probe.fetchesInFlight(), 3);
    probe.cancelAll();
    QCOMPARE(probe.fetchesInFlight(), 0);
    QCOMPARE(client.fetchesInFlight(), 0);
    QTest::qWait(500);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(bench.status(i), QStringLiteral("TEST"));
    QVERIFY(bench.sinks.lines.isEmpty());
    QTRY_COMPARE(peer.closedConnections(), peer.connections());

    // The probe works on afterwards.
    bench.engine.RunTest(1);
    QTRY_COMPARE(bench.status(1), QStringLiteral("OK"));
}

QTEST_GUILESS_MAIN(TestHttpAsync)
#include "test_httpasync.moc"
