// The ping probe: the echo request on the wire, the asynchronous lookup and
// the outcomes, against loopback and a network namespace the test builds.

#include "peers/netprobesupport.h"
#include "probes/ping.h"

#include <QElapsedTimer>
#include <QProcess>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kText = "Velmora Sentrova echo request: are you alive?";

ObserverRecord pingObject(const QString &host, qint32 timeout = 1000)
{
    ObserverRecord rec = Records::newRecord(okPing);
    rec.params<PingParams>()->Target = host;
    rec.params<PingParams>()->Timeout = timeout;
    return rec;
}

bool icmpAvailable() { return TICMP().isOpen(); }

// What a ping of loopback reports here: with no ICMP socket every echo
// fails, which is just as good for following where an outcome goes.
QString loopbackOutcome(const PingProbe &probe)
{
    return probe.pingAvailable() ? QStringLiteral("Ping OK") : QStringLiteral("Ping error");
}
QString loopbackStatus(const PingProbe &probe)
{
    return probe.pingAvailable() ? QStringLiteral("OK") : QStringLiteral("Ping error");
}

const char *const kNoIcmp = "the system allows no ICMP socket here (run the tests as root)";

bool runIp(const QStringList &args, QString *output = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("ip"), args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A network namespace joined to this one by a veth pair: the address .2
// inside it answers pings, nothing answers at .99 (no one claims the
// address, so the requests never leave the link). The subnet lies in
// 198.19.0.0/16 and depends on the process id, so parallel runs do not meet.
struct NamespacePeer {
    QString name;
    QString hostSide, peerSide;
    QString prefix; // "198.19.N."
    bool up = false;
    QString error;

    bool start()
    {
        if (::geteuid() != 0) {
            error = QStringLiteral("building a network namespace needs root");
            return false;
        }
        removeStale();
        const qint64 pid = ::getpid();
        name = QStringLiteral("sntping%1").arg(pid);
        hostSide = QStringLiteral("sntp%1a").arg(pid);
        peerSide = QStringLiteral("sntp%1b").arg(pid);
        prefix = QStringLiteral("198.19.%1.").arg(pid % 250 + 1);
        const QList<QStringList> steps = {
            {"netns", "add", name},
            {"link", "add", hostSide, "type", "veth", "peer", "name", peerSide, "netns", name},
            {"addr", "add", prefix + "1/24", "dev", hostSide},
            {"link", "set", hostSide, "up"},
            {"-n", name, "addr", "add", prefix + "2/24", "dev", peerSide},
            {"-n", name, "link", "set", peerSide, "up"},
            {"-n", name, "link", "set", "lo", "up"},
        };
        for (const QStringList &step : steps) {
            if (!runIp(step)) {
                error = QStringLiteral("ip %1 failed (package iproute2)").arg(step.join(u' '));
                stop();
                return false;
            }
            up = true;
        }
        return true;
    }

    void stop()
    {
        if (!up)
            return;
        runIp({"link", "del", hostSide}); // removes both ends
        runIp({"netns", "del", name});
        up = false;
    }

    // Namespaces left behind by runs that were killed.
    static void removeStale()
    {
        QString list;
        if (!runIp({"netns", "list"}, &list))
            return;
        for (const QString &line : list.split(u'\n', Qt::SkipEmptyParts)) {
            const QString ns = line.section(u' ', 0, 0);
            if (!ns.startsWith(QLatin1String("sntping")))
                continue;
            const pid_t pid = pid_t(ns.mid(7).toLongLong());
            if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
                runIp({"link", "del", QStringLiteral("sntp%1a").arg(pid)});
                runIp({"netns", "del", ns});
            }
        }
    }
};

// A second raw ICMP socket that sees the requests as they go out.
struct Sniffer {
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
    ~Sniffer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // The IP packet of the echo request with the identifier and sequence.
    QByteArray request(quint16 identifier, quint16 sequence)
    {
        char buf[70000];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 500) <= 0)
                return QByteArray();
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n < 28)
                continue;
            const int ihl = (buf[0] & 0x0F) * 4;
            const auto *icmp = reinterpret_cast<const uchar *>(buf + ihl);
            if (icmp[0] == 8 && ((icmp[4] << 8) | icmp[5]) == identifier && ((icmp[6] << 8) | icmp[7]) == sequence)
                return QByteArray(buf, int(n));
        }
    }
};

} // namespace

class TestPing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void payload_data();
    void payload();
    void echoRequest();
    void requestOnTheWire_data();
    void requestOnTheWire();
    void allOnesAddressSendsNothing();

    void dottedAddressReportsInsideRunTest();
    void nameReportsLater();
    void unresolvableName_data();
    void unresolvableName();
    void destroyedWhileResolving();
    void pingStartedDuringAlert();
    void oddParameters_data();
    void oddParameters();
    void backToBackNamesOnlyLaterReports();
    void objectRemovedOrMovedWhileResolving_data();
    void objectRemovedOrMovedWhileResolving();
    void noIcmpSocket();

    void namespaceHosts_data();
    void namespaceHosts();
    void datagramSocket();

private:
    NamespacePeer m_net;
};

void TestPing::initTestCase() { m_net.start(); }

void TestPing::cleanupTestCase() { m_net.stop(); }

void TestPing::payload_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("0: empty") << 0 << QByteArray();
    QTest::newRow("negative: empty") << -5 << QByteArray();
    QTest::newRow("1") << 1 << QByteArray("V");
    QTest::newRow("10: cut") << 10 << QByteArray("Velmora Se");
    QTest::newRow("45: the whole text") << 45 << kText;
    QTest::newRow("46: one blank") << 46 << kText + " ";
    QTest::newRow("56: padded, not repeated") << 56 << kText + QByteArray(11, ' ');
}

void TestPing::payload()
{
    QFETCH(int, size);
    QFETCH(QByteArray, expected);
    QCOMPARE(kText.size(), TICMP::PayloadTextLength);
    QCOMPARE(TICMP::buildPayload(size), expected);
}

void TestPing::echoRequest()
{
    // An odd-length payload exercises the checksum's last half-word.
    const QByteArray packet = TICMP::buildEchoRequest(0x1234, 0x0102, "abc");
    QCOMPARE(packet.toHex(), QByteArray("08002067123401026162 63").replace(' ', ""));
    QCOMPARE(TICMP::checksum(packet), quint16(0)); // a correct packet sums to zero
    QCOMPARE(TICMP::buildEchoRequest(0xFFFF, 0xFFFF, QByteArray()).toHex(), QByteArray("0800f7ffffffffff"));
}

void TestPing::requestOnTheWire_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("wireTtl");
    QTest::newRow("size 0") << 0 << 64 << QByteArray() << 64;
    QTest::newRow("size 10, TTL 7") << 10 << 7 << QByteArray("Velmora Se") << 7;
    QTest::newRow("size 45") << 45 << 64 << kText << 64;
    QTest::newRow("size 100, TTL 300 uses its low byte") << 100 << 300 << kText + QByteArray(55, ' ') << 44;
}

void TestPing::requestOnTheWire()
{
    QFETCH(int, size);
    QFETCH(int, ttl);
    QFETCH(QByteArray, payload);
    QFETCH(int, wireTtl);
    REQUIRE_PEER(::geteuid() == 0, QStringLiteral("watching the wire needs a raw socket: run the tests as root"));
    TICMP icmp(TICMP::skRaw);
    Sniffer sniffer;
    QVERIFY(icmp.isOpen() && sniffer.fd >= 0);

    icmp.setAddress(QStringLiteral("127.0.0.1"));
    icmp.setSize(size);
    icmp.setTTL(ttl);
    icmp.setTimeout(2000);
    QCOMPARE(icmp.Ping(), 1);
    QCOMPARE(icmp.ReplyData(), payload); // the echo carries the payload back

    const QByteArray seen = sniffer.request(icmp.Identifier(), icmp.Sequence());
    QVERIFY2(!seen.isEmpty(), "the request did not go out");
    const int ihl = (seen[0] & 0x0F) * 4;
    QCOMPARE(int(uchar(seen[8])), wireTtl);
    QCOMPARE(seen.mid(ihl + 8), payload);
    QCOMPARE(TICMP::checksum(seen.mid(ihl)), quint16(0));
}

void TestPing::allOnesAddressSendsNothing()
{
    // 255.255.255.255 is no host: nothing is sent and no outcome follows, as
    // the component only tells its display hook.
    TICMP icmp;
    QStringList shown;
    int replies = 0;
    icmp.OnDisplay = [&](TICMP *, const QString &text) { shown << text; };
    icmp.OnEchoReply = [&](TICMP *, int) { ++replies; };
    icmp.setAddress(QStringLiteral("255.255.255.255"));
    QCOMPARE(icmp.Ping(), 0);
    QCOMPARE(icmp.LastError(), TICMP::IpBadDestination);
    QCOMPARE(shown, QStringList{"Invalid host address"});
    QCOMPARE(replies, 0);
}

void TestPing::dottedAddressReportsInsideRunTest()
{
    REQUIRE_PEER(icmpAvailable(), kNoIcmp);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    QVERIFY(probe.pingAvailable());
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("127.0.0.1")));

    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("OK"));
    QCOMPARE(bench.lastResult(0), QStringLiteral("OK"));
    QCOMPARE(bench.sinks.lines, QStringList{"127.0.0.1;;127.0.0.1 Ping OK;;Ping"});
    QCOMPARE(bench.sinks.alerts.size(), 1);
    QCOMPARE(bench.sinks.alerts[0].text, QStringLiteral("127.0.0.1 Ping OK"));
    QVERIFY(bench.sinks.alerts[0].alive);
    QVERIFY(!bench.engine.object(0)->lastTest.isEmpty());
}

void TestPing::nameReportsLater()
{
    REQUIRE_PEER(icmpAvailable(), kNoIcmp);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("localhost")));

    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("TEST")); // the lookup answers later
    QVERIFY(bench.sinks.lines.isEmpty());
    QTRY_COMPARE(bench.status(0), QStringLiteral("OK"));
    // The host field is the name as stored, not the address it resolved to.
    QCOMPARE(bench.sinks.lines, QStringList{"localhost;;localhost Ping OK;;Ping"});
    QCOMPARE(probe.Ping1.LookupResult(), QStringLiteral("127.0.0.1"));
}

void TestPing::unresolvableName_data()
{
    // Only texts that fail without asking a name server.
    QTest::addColumn<QString>("host");
    QTest::newRow("reserved .invalid name") << "nosuchhost.invalid";
    QTest::newRow("empty host") << "";
    // "::1" is pinged over ICMPv6 now (test_ping6); a link-local address
    // with a zone is not.
    QTest::newRow("IPv6 address with a zone") << "fe80::1%lo";
}

void TestPing::unresolvableName()
{
    QFETCH(QString, host);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(host));

    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("TEST")); // a lookup failure is an answer of the lookup, later
    QTRY_COMPARE(bench.status(0), QStringLiteral("DNS Lookup error"));
    QCOMPARE(bench.lastResult(0), QStringLiteral("DNS Lookup error"));
    QCOMPARE(bench.sinks.lines, QStringList{host + ";;" + host + " DNS Lookup error;;Ping"});
    QCOMPARE(bench.sinks.alerts.size(), 1);
    QCOMPARE(bench.sinks.alerts[0].text, host + " DNS Lookup error");
    QVERIFY(!bench.sinks.alerts[0].alive);
    QVERIFY(probe.Ping1.LookupResult().isEmpty());
}

void TestPing::destroyedWhileResolving()
{
    // At the end of the program a pending lookup is cancelled and reports
    // nothing.
    ProbeBench bench;
    bench.add(pingObject(QStringLiteral("localhost")));
    {
        PingProbe probe(&bench.engine);
        bench.attach(okPing, &probe);
        probe.TestPing(0);
        QVERIFY(probe.Ping1.isLookupPending());
        bench.attach(okPing, nullptr);
    }
    QTest::qWait(300);
    QCOMPARE(bench.status(0), QStringLiteral("TEST"));
    QVERIFY(bench.sinks.lines.isEmpty());
}

void TestPing::pingStartedDuringAlert()
{
    // An alert box keeps events running: a tick may ping another object
    // while the first one's outcome is still being reported.
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("127.0.0.1")));
    bench.add(pingObject(QStringLiteral("127.0.0.2")));
    bench.sinks.duringAlert = [&](int position) {
        if (position == 0)
            bench.engine.RunTest(1);
    };
    bench.engine.RunTest(0);
    const QString outcome = loopbackOutcome(probe);
    QCOMPARE(bench.status(0), loopbackStatus(probe));
    QCOMPARE(bench.status(1), loopbackStatus(probe));
    QCOMPARE(bench.sinks.lines,
             (QStringList{"127.0.0.1;;127.0.0.1 " + outcome + ";;Ping", "127.0.0.2;;127.0.0.2 " + outcome + ";;Ping"}));
    QCOMPARE(bench.sinks.alerts[1].position, 1);
}

void TestPing::oddParameters_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<QString>("status");
    QTest::newRow("negative size") << -1 << 64 << "Ping error";
    QTest::newRow("size beyond an IPv4 packet") << 70000 << 64 << "Ping error";
    QTest::newRow("largest size") << TICMP::MaxSize << 64 << "OK";
    QTest::newRow("TTL 0: the system's default") << 56 << 0 << "OK";
    QTest::newRow("negative TTL: its low byte") << 56 << -1 << "OK";
}

void TestPing::oddParameters()
{
    QFETCH(int, size);
    QFETCH(int, ttl);
    QFETCH(QString, status);
    REQUIRE_PEER(icmpAvailable(), kNoIcmp);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    ObserverRecord rec = pingObject(QStringLiteral("127.0.0.1"));
    rec.params<PingParams>()->PacketSize = size;
    rec.params<PingParams>()->TTL = ttl;
    bench.add(rec);
    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), status);
}

void TestPing::backToBackNamesOnlyLaterReports()
{
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("localhost")));
    bench.add(pingObject(QStringLiteral("localhost")));

    // No events run between the two: the first lookup is still pending when
    // the second starts, and is cancelled.
    probe.TestPing(0);
    probe.TestPing(1);
    QCOMPARE(probe.PingIndex, 1);
    QTRY_COMPARE(bench.status(1), loopbackStatus(probe));
    QTRY_VERIFY(!probe.Ping1.isLookupPending());
    QTest::qWait(300);
    QCOMPARE(bench.status(0), QStringLiteral("TEST"));
    QCOMPARE(bench.sinks.lines, QStringList{"localhost;;localhost " + loopbackOutcome(probe) + ";;Ping"});
    QCOMPARE(bench.sinks.alerts.size(), 1);
}

void TestPing::objectRemovedOrMovedWhileResolving_data()
{
    QTest::addColumn<int>("removed"); // position removed while the name of object 1 resolves
    QTest::newRow("an object before it: it moves up") << 0;
    QTest::newRow("the pinged object itself") << 1;
}

void TestPing::objectRemovedOrMovedWhileResolving()
{
    QFETCH(int, removed);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("first")));
    bench.add(pingObject(QStringLiteral("localhost")));
    bench.add(pingObject(QStringLiteral("third")));
    const quint64 pinged = bench.engine.object(1)->id;

    probe.TestPing(1);
    bench.engine.RemoveObject(removed);
    QTRY_VERIFY(!probe.Ping1.isLookupPending());
    QTest::qWait(100);

    const int now = bench.engine.positionOf(pinged);
    if (removed == 1) {
        QCOMPARE(now, -1);
        QVERIFY(bench.sinks.lines.isEmpty());
        QVERIFY(bench.sinks.alerts.isEmpty());
    } else {
        QCOMPARE(now, 0);
        QCOMPARE(bench.status(0), loopbackStatus(probe));
        QCOMPARE(bench.sinks.lines, QStringList{"localhost;;localhost " + loopbackOutcome(probe) + ";;Ping"});
        QCOMPARE(bench.sinks.alerts.size(), 1);
        QCOMPARE(bench.sinks.alerts[0].position, 0);
    }
    // The object that now sits at the old position was not touched.
    QCOMPARE(bench.status(1), QStringLiteral("TEST"));
    QCOMPARE(bench.lastResult(1), QString());
}

void TestPing::noIcmpSocket()
{
    // Datagram ICMP sockets are refused unless the ping group range covers
    // the user (on this machine it covers no one).
    ProbeBench bench;
    PingProbe probe(&bench.engine, TICMP::skDatagram);
    if (probe.pingAvailable())
        QSKIP("this system allows datagram ICMP sockets; no way to test without one");
    const QString message = PingProbe::pingUnavailableMessage();
    QVERIFY(message.contains(QLatin1String("setcap cap_net_raw+ep")));
    QVERIFY(message.contains(QLatin1String("net.ipv4.ping_group_range")));
    QVERIFY(message.contains(QLatin1String("root")));
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("127.0.0.1")));

    bench.engine.RunTest(0);
    QCOMPARE(bench.status(0), QStringLiteral("Ping error"));

    // A lookup failure after an echo failure is a new outcome: logged and
    // alerted again.
    bench.engine.object(0)->record.setTarget(QStringLiteral("nosuchhost.invalid"));
    bench.engine.RunTest(0);
    QTRY_COMPARE(bench.status(0), QStringLiteral("DNS Lookup error"));
    QCOMPARE(bench.sinks.lines,
             (QStringList{"127.0.0.1;;127.0.0.1 Ping error;;Ping",
                          "nosuchhost.invalid;;nosuchhost.invalid DNS Lookup error;;Ping"}));
    QCOMPARE(bench.sinks.alerts.size(), 2);
    QVERIFY(!bench.sinks.alerts[0].alive && !bench.sinks.alerts[1].alive);
    QCOMPARE(bench.sinks.alerts[0].text, QStringLiteral("127.0.0.1 Ping error"));
}

void TestPing::namespaceHosts_data()
{
    QTest::addColumn<QString>("host"); // last part of the address in the namespace's subnet
    QTest::addColumn<bool>("answers");
    QTest::newRow("the namespace's own address") << "2" << true;
    QTest::newRow("no host behind the address") << "99" << false;
}

void TestPing::namespaceHosts()
{
    QFETCH(QString, host);
    QFETCH(bool, answers);
    REQUIRE_PEER(m_net.up, m_net.error);
    REQUIRE_PEER(icmpAvailable(), kNoIcmp);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    const QString address = m_net.prefix + host;
    bench.add(pingObject(address, 400));

    QElapsedTimer clock;
    clock.start();
    bench.engine.RunTest(0);
    const qint64 waited = clock.elapsed();

    QCOMPARE(bench.status(0), answers ? QStringLiteral("OK") : QStringLiteral("Ping error"));
    QCOMPARE(bench.sinks.lines,
             QStringList{address + ";;" + address + (answers ? " Ping OK;;Ping" : " Ping error;;Ping")});
    if (!answers) {
        // It waited for the time-out, and no longer than the bound.
        QVERIFY2(waited >= 380, qPrintable(QString::number(waited)));
        QVERIFY2(waited < 3000, qPrintable(QString::number(waited)));
    }
}

void TestPing::datagramSocket()
{
    // The unprivileged socket, in the namespace where this test widens the
    // ping group range (the setting belongs to each network namespace).
    REQUIRE_PEER(m_net.up, m_net.error);
    QVERIFY(runIp({"netns", "exec", m_net.name, "sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"}));

    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SENTROVA_PING_HELPER"), QStringLiteral("50"));
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral("ip"), {"netns", "exec", m_net.name, QCoreApplication::applicationFilePath()});
    QVERIFY(helper.waitForFinished(10000));
    const QString out = QString::fromLatin1(helper.readAllStandardOutput()).trimmed();
    QCOMPARE(out, QStringLiteral("datagram received 1 data ") + QString::fromLatin1((kText + "     ").toHex()));
}

// Run inside the namespace by datagramSocket(): one echo to 127.0.0.1 through
// a datagram socket only.
static int datagramHelper(int size)
{
    TICMP icmp(TICMP::skDatagram);
    if (!icmp.isOpen()) {
        printf("closed %s\n", qPrintable(icmp.openError()));
        return 1;
    }
    icmp.setAddress(QStringLiteral("127.0.0.1"));
    icmp.setSize(size);
    icmp.setTimeout(3000);
    const int received = icmp.Ping();
    printf("%s received %d data %s\n", icmp.openKind() == TICMP::skDatagram ? "datagram" : "raw", received,
           icmp.ReplyData().toHex().constData());
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("SENTROVA_PING_HELPER"))
        return datagramHelper(qEnvironmentVariableIntValue("SENTROVA_PING_HELPER"));
    TestPing test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_ping.moc"
