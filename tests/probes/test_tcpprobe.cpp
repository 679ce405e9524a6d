// The TCP Connect probe against real sockets on loopback.

#include "../support/swallowingport.h"
#include "peers/netprobesupport.h"
#include "probes/tcpprobe.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

ObserverRecord tcpObject(const QString &host, qint32 port)
{
    ObserverRecord rec = Records::newRecord(okTcpConnect);
    rec.params<TcpConnectParams>()->Target = host;
    rec.params<TcpConnectParams>()->Port = port;
    return rec;
}

// A port on 127.0.0.1 with nothing listening: bound once, then released.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestTcpProbe : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void connectionOpenDuringAlertsAndClosedAfter();
    void repeatedFailureLogsOnce();
    void unansweredConnectIsBounded();
    void swallowingPortDelaysNoOtherObject();
    void ipv6_data();
    void ipv6();
    void causes_data();
    void causes();
    void cancelAllEndsEveryAttempt();
};

void TestTcpProbe::outcome_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint32>("portOffset"); // added to the listening port; -1: port 0; -2: 131072
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("pass");

    QTest::newRow("dotted address, listening port") << "127.0.0.1" << 0 << true << true;
    QTest::newRow("name from /etc/hosts") << "localhost" << 0 << true << true;
    QTest::newRow("blanks around the address") << " 127.0.0.1 " << 0 << true << true;
    QTest::newRow("65536 + port uses the port") << "127.0.0.1" << 65536 << true << true;
    QTest::newRow("only the low 16 bits count") << "127.0.0.1" << 0x7FFF0000 << true << true;
    QTest::newRow("closed port") << "127.0.0.1" << 0 << false << false;
    QTest::newRow("empty host") << "" << 0 << true << false;
    QTest::newRow("name that does not resolve") << "nosuchhost.invalid" << 0 << true << false;
    QTest::newRow("port 0") << "127.0.0.1" << -1 << true << false;
    QTest::newRow("131072: low 16 bits are 0") << "127.0.0.1" << -2 << true << false;
}

void TestTcpProbe::outcome()
{
    QFETCH(QString, host);
    QFETCH(qint32, portOffset);
    QFETCH(bool, listening);
    QFETCH(bool, pass);

    QTcpServer server;
    quint16 port = 0;
    if (listening) {
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        port = server.serverPort();
    } else {
        port = closedPort();
    }
    const qint32 stored = portOffset == -1 ? 0 : portOffset == -2 ? 131072 : qint32(port) + portOffset;

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    bench.engine.AppendObject(tcpObject(host, stored), host);
    QVERIFY(bench.settle(0));

    QCOMPARE(bench.status(0), pass ? QStringLiteral("OK") : QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.lastResult(0), pass ? QStringLiteral("OK") : QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.sinks.lines,
             QStringList{pass ? host + ";;" + host + " Connect OK;;TCP Connect"
                              : host + ";;" + host + " TCP Connect Error;;TCP Connect"});
    QCOMPARE(bench.sinks.alerts.size(), 1);
    QCOMPARE(bench.sinks.alerts[0].text, host + (pass ? " TCP Connect ok" : " TCP Connect Error"));
    QCOMPARE(bench.sinks.alerts[0].alive, pass);
    if (listening && pass)
        QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(2000));
    else if (listening)
        QVERIFY(!server.waitForNewConnection(50)); // no attempt reached the server
}

void TestTcpProbe::connectionOpenDuringAlertsAndClosedAfter()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    bench.add(tcpObject(QStringLiteral("127.0.0.1"), server.serverPort()));

    QTcpSocket *peer = nullptr;
    bool openDuringAlert = false;
    bench.sinks.duringAlert = [&](int) {
        // The server may have taken it already, while events ran.
        if (server.hasPendingConnections() || server.waitForNewConnection(2000))
            peer = server.nextPendingConnection();
        // Still connected: the probe has not closed its side yet.
        openDuringAlert = peer && !peer->waitForDisconnected(200);
    };
    bench.engine.RunTest(0);
    QVERIFY(bench.settle(0));

    QVERIFY(peer);
    QVERIFY(openDuringAlert);
    QVERIFY(peer->state() == QAbstractSocket::UnconnectedState || peer->waitForDisconnected(2000));
    QCOMPARE(peer->bytesAvailable(), 0); // nothing was sent
}

void TestTcpProbe::repeatedFailureLogsOnce()
{
    QTcpServer server;
    const quint16 port = closedPort();

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    bench.add(tcpObject(QStringLiteral("localhost"), port));

    for (int i = 0; i < 2; ++i) {
        bench.engine.RunTest(0);
        QVERIFY(bench.settle(0));
    }
    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.cause(0), QStringLiteral("connection refused"));
    QCOMPARE(bench.sinks.lines.size(), 1);
    QCOMPARE(bench.sinks.alerts.size(), 1);

    // The port opens: one line and one alive alert for the recovery.
    if (!server.listen(QHostAddress::LocalHost, port))
        QSKIP("the closed port was taken by another program meanwhile");
    for (int i = 0; i < 2; ++i) {
        bench.engine.RunTest(0);
        QVERIFY(bench.settle(0));
    }
    QCOMPARE(bench.status(0), QStringLiteral("OK"));
    QVERIFY2(bench.cause(0).startsWith(QLatin1String("answered in ")), qPrintable(bench.cause(0)));
    QCOMPARE(bench.sinks.lines,
             (QStringList{"localhost;;localhost TCP Connect Error;;TCP Connect",
                          "localhost;;localhost Connect OK;;TCP Connect"}));
    QCOMPARE(bench.sinks.alerts.size(), 2);
    QVERIFY(bench.sinks.alerts[1].alive);
}

void TestTcpProbe::unansweredConnectIsBounded()
{
    SwallowingPort peer;
    if (!peer.start())
        QSKIP("this system answers every connection attempt to a full queue; no unanswered port to test with");

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    QCOMPARE(probe.connectTimeout(), 10000);
    probe.setConnectTimeout(700);
    bench.attach(okTcpConnect, &probe);
    bench.add(tcpObject(QStringLiteral("127.0.0.1"), peer.port));

    QElapsedTimer clock;
    clock.start();
    bench.engine.RunTest(0);
    QVERIFY(bench.engine.isTestInFlight(0)); // the window is not held meanwhile
    QVERIFY(bench.settle(0));
    const qint64 waited = clock.elapsed();

    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.cause(0), QStringLiteral("no answer within 0.7 s"));
    QVERIFY2(waited >= 650, qPrintable(QString::number(waited))); // it did wait for an answer
    QVERIFY2(waited < 5000, qPrintable(QString::number(waited))); // and gave up at its bound
}

void TestTcpProbe::swallowingPortDelaysNoOtherObject()
{
    // Fifty objects wait on a port that never answers; objects on a live
    // listener get their outcomes at once all the same.
    SwallowingPort swallowing;
    if (!swallowing.start())
        QSKIP("this system answers every connection attempt to a full queue; no unanswered port to test with");
    QTcpServer live;
    QVERIFY(live.listen(QHostAddress::LocalHost, 0));

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    probe.setConnectTimeout(3000);
    bench.attach(okTcpConnect, &probe);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 50; ++i)
        bench.engine.AppendObject(tcpObject(QStringLiteral("127.0.0.1"), swallowing.port), QStringLiteral("s"));
    for (int i = 0; i < 5; ++i)
        bench.engine.AppendObject(tcpObject(QStringLiteral("127.0.0.1"), live.serverPort()), QStringLiteral("l"));
    QVERIFY(probe.attemptsInFlight() >= 50); // the live ones may be through already
    for (int i = 50; i < 55; ++i)
        QVERIFY(bench.settle(i, 2000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    for (int i = 50; i < 55; ++i)
        QCOMPARE(bench.status(i), QStringLiteral("OK"));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(bench.status(i), QStringLiteral("TEST"));
    for (int i = 0; i < 50; ++i)
        QVERIFY(bench.settle(i, 10000));
    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QCOMPARE(probe.attemptsInFlight(), 0);
}

void TestTcpProbe::ipv6_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("cause"); // prefix
    QTest::newRow("literal") << "::1" << true << "answered in ";
    QTest::newRow("literal in brackets") << "[::1]" << true << "answered in ";
    QTest::newRow("literal, closed port") << "::1" << false << "connection refused";
    QTest::newRow("name with an IPv6 address") << "v6name" << true << "answered in ";
}

void TestTcpProbe::ipv6()
{
    QFETCH(QString, host);
    QFETCH(bool, listening);
    QFETCH(QString, cause);

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHostIPv6, 0))
        QSKIP("no IPv6 loopback on this system");
    const quint16 port = server.serverPort();
    if (!listening)
        server.close();
    if (host == QLatin1String("v6name")) {
        // A name of the system's resolver whose addresses include ::1.
        host.clear();
        for (const char *name : {"localhost", "ip6-localhost", "ip6-loopback"}) {
            const QHostInfo info = QHostInfo::fromName(QString::fromLatin1(name));
            if (info.addresses().contains(QHostAddress::LocalHostIPv6)) {
                host = QString::fromLatin1(name);
                break;
            }
        }
        if (host.isEmpty())
            QSKIP("no name resolves to ::1 here (/etc/hosts has no IPv6 entry)");
        // Only IPv6 listens: the IPv4 address, if the name has one, is
        // refused and the next address in the resolver's order is tried.
    }

    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    bench.engine.AppendObject(tcpObject(host, port), host);
    QVERIFY(bench.settle(0));
    QCOMPARE(bench.status(0), listening ? QStringLiteral("OK") : QStringLiteral("TCP Connect Error"));
    QVERIFY2(bench.cause(0).startsWith(cause), qPrintable(bench.cause(0)));
    QCOMPARE(bench.sinks.lines, QStringList{host + ";;" + host + (listening ? " Connect OK" : " TCP Connect Error") +
                                            ";;TCP Connect"});
}

void TestTcpProbe::causes_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint32>("port"); // 0: the closed port
    QTest::addColumn<QString>("cause");
    QTest::newRow("empty host") << "" << 80 << "no host name";
    QTest::newRow("reserved name") << "nosuchhost.invalid" << 80 << "name not found";
    QTest::newRow("no valid host name") << "a..b" << 80 << "name not found";
    QTest::newRow("port 0") << "127.0.0.1" << 65536 << "port 0 cannot be connected";
    QTest::newRow("refused") << "127.0.0.1" << 0 << "connection refused";
}

void TestTcpProbe::causes()
{
    QFETCH(QString, host);
    QFETCH(qint32, port);
    QFETCH(QString, cause);
    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    bench.engine.AppendObject(tcpObject(host, port ? port : closedPort()), host);
    QVERIFY(bench.settle(0));
    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.cause(0), cause);
    QCOMPARE(bench.engine.object(0)->responseMs, -1);
}

void TestTcpProbe::cancelAllEndsEveryAttempt()
{
    SwallowingPort swallowing;
    if (!swallowing.start())
        QSKIP("this system answers every connection attempt to a full queue; no unanswered port to test with");
    ProbeBench bench;
    TcpConnectProbe probe(&bench.engine);
    bench.attach(okTcpConnect, &probe);
    for (int i = 0; i < 3; ++i)
        bench.engine.AppendObject(tcpObject(QStringLiteral("127.0.0.1"), swallowing.port), QStringLiteral("s"));
    QCOMPARE(probe.attemptsInFlight(), 3);
    bench.engine.cancelAll();
    QCOMPARE(probe.attemptsInFlight(), 0);
    QTest::qWait(200);
    QVERIFY(bench.sinks.lines.isEmpty());
    QCOMPARE(bench.status(0), QStringLiteral("TEST"));
}

QTEST_GUILESS_MAIN(TestTcpProbe)
#include "test_tcpprobe.moc"
