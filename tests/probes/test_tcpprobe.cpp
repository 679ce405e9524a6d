// The TCP Connect probe against real sockets on loopback.

#include "peers/netprobesupport.h"
#include "probes/tcpprobe.h"

#include <QElapsedTimer>
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

// A listening socket whose accept queue is full: further connection attempts
// get no answer at all, like a filtered port.
struct SaturatedListener {
    int listener = -1;
    std::vector<int> clients;
    quint16 port = 0;

    bool start()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return false;
        port = ntohs(a.sin_port);
        // Fill the queue until an attempt stays unanswered.
        for (int i = 0; i < 16; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            clients.push_back(c);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0)
                return true;
        }
        return false;
    }
    ~SaturatedListener()
    {
        for (int c : clients)
            ::close(c);
        if (listener >= 0)
            ::close(listener);
    }
};

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

    // The whole test runs inside RunTest.
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
        if (server.waitForNewConnection(2000))
            peer = server.nextPendingConnection();
        // Still connected: the probe has not closed its side yet.
        openDuringAlert = peer && !peer->waitForDisconnected(200);
    };
    bench.engine.RunTest(0);

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

    bench.engine.RunTest(0);
    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QCOMPARE(bench.sinks.lines.size(), 1);
    QCOMPARE(bench.sinks.alerts.size(), 1);

    // The port opens: one line and one alive alert for the recovery.
    if (!server.listen(QHostAddress::LocalHost, port))
        QSKIP("the closed port was taken by another program meanwhile");
    bench.engine.RunTest(0);
    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("OK"));
    QCOMPARE(bench.sinks.lines,
             (QStringList{"localhost;;localhost TCP Connect Error;;TCP Connect",
                          "localhost;;localhost Connect OK;;TCP Connect"}));
    QCOMPARE(bench.sinks.alerts.size(), 2);
    QVERIFY(bench.sinks.alerts[1].alive);
}

void TestTcpProbe::unansweredConnectIsBounded()
{
    SaturatedListener peer;
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
    const qint64 waited = clock.elapsed();

    QCOMPARE(bench.status(0), QStringLiteral("TCP Connect Error"));
    QVERIFY2(waited >= 650, qPrintable(QString::number(waited))); // it did wait for an answer
    QVERIFY2(waited < 5000, qPrintable(QString::number(waited))); // and gave up at its bound
}

QTEST_GUILESS_MAIN(TestTcpProbe)
#include "test_tcpprobe.moc"
