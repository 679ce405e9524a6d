// Ping over ICMPv6 on ::1, the TTL that really goes out on the shared socket
// (read back from it), the causes of ping outcomes, and abandoning a ping in
// flight.

#include "peers/netprobesupport.h"
#include "probes/ping.h"

#include <QFile>

namespace
{

ObserverRecord pingObject(const QString &host, qint32 ttl = 64)
{
    ObserverRecord rec = Records::newRecord(okPing);
    rec.IntervalMin = 0;
    rec.IntervalSec = 0;
    rec.params<PingParams>()->Target = host;
    rec.params<PingParams>()->Timeout = 1000;
    rec.params<PingParams>()->TTL = ttl;
    return rec;
}

int systemDefault(const char *path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : -1;
}

const char *const kNoIcmp = "the system allows no ICMP socket here (run the tests as root)";

} // namespace

class TestPing6 : public QObject
{
    Q_OBJECT

private slots:
    void ttlOnTheSharedSocket_data();
    void ttlOnTheSharedSocket();
    void echoOverIcmpv6();
    void outcomeCauses_data();
    void outcomeCauses();
    void cancelAllDropsThePendingPing();
};

void TestPing6::ttlOnTheSharedSocket_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("systemTtl");
    QTest::newRow("IPv4") << "127.0.0.1" << systemDefault("/proc/sys/net/ipv4/ip_default_ttl");
    QTest::newRow("IPv6") << "::1" << systemDefault("/proc/sys/net/ipv6/conf/all/hop_limit");
}

void TestPing6::ttlOnTheSharedSocket()
{
    // One component serves every ping object: each object's TTL, and the
    // system's default where the TTL's low byte is 0, is what its echo
    // carries, never the TTL of the object pinged before.
    QFETCH(QString, host);
    QFETCH(int, systemTtl);
    REQUIRE_PEER(TICMP().isOpen(), kNoIcmp);
    QVERIFY(systemTtl > 0);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    const QList<QPair<int, int>> steps = {{7, 7}, {0, systemTtl}, {9, 9}, {256, systemTtl}, {300, 44}, {64, 64}};
    for (const auto &[ttl, wire] : steps)
        bench.add(pingObject(host, ttl));
    for (int i = 0; i < steps.size(); ++i) {
        bench.engine.RunTest(i);
        QTRY_COMPARE(bench.status(i), QStringLiteral("OK"));
        QCOMPARE(probe.Ping1.icmp()->isIPv6(), host.contains(QLatin1Char(':')));
        QCOMPARE(probe.Ping1.icmp()->sentTtl(), steps[i].second);
    }
}

void TestPing6::echoOverIcmpv6()
{
    TICMP icmp;
    icmp.setAddress(QStringLiteral("::1"));
    icmp.setSize(60);
    icmp.setTimeout(2000);
    const int replies = icmp.Ping();
    REQUIRE_PEER(icmp.sentKind() != TICMP::skAuto, kNoIcmp);
    QCOMPARE(replies, 1);
    QVERIFY(icmp.isIPv6());
    QCOMPARE(icmp.HostIP(), QStringLiteral("::1"));
    QCOMPARE(icmp.ReplyData(), TICMP::buildPayload(60)); // the echo carries the payload back
    QCOMPARE(icmp.Reply().Status, TICMP::IpSuccess);
    QCOMPARE(TICMP::buildEchoRequest(1, 2, "ab", true).toHex(), QByteArray("80000000000100026162"));
}

void TestPing6::outcomeCauses_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("causePattern");
    QTest::addColumn<bool>("timed");
    QTest::newRow("IPv4 answer") << "127.0.0.1" << 56 << "OK" << "^answered in \\d+ ms$" << true;
    QTest::newRow("IPv6 answer") << "::1" << 56 << "OK" << "^answered in \\d+ ms$" << true;
    QTest::newRow("unknown name") << "nosuchhost.invalid" << 56 << "DNS Lookup error" << "^name not found$" << false;
    QTest::newRow("size out of range") << "::1" << 70000 << "Ping error" << "^packet size out of range$" << false;
}

void TestPing6::outcomeCauses()
{
    QFETCH(QString, host);
    QFETCH(int, size);
    QFETCH(QString, status);
    QFETCH(QString, causePattern);
    QFETCH(bool, timed);
    REQUIRE_PEER(TICMP().isOpen(), kNoIcmp);
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    ObserverRecord rec = pingObject(host);
    rec.params<PingParams>()->PacketSize = size;
    bench.add(rec);
    bench.engine.RunTest(0);
    QTRY_COMPARE(bench.status(0), status);
    const ObserverObject *o = bench.engine.object(0);
    QVERIFY2(QRegularExpression(causePattern).match(o->cause).hasMatch(), qPrintable(o->cause));
    QCOMPARE(o->responseMs >= 0, timed);
    // The log line is the one it always was: no cause in it.
    QCOMPARE(bench.sinks.lines, QStringList{host + ";;" + host + QLatin1Char(' ') +
                                            (status == QLatin1String("OK") ? QStringLiteral("Ping OK") : status) +
                                            ";;Ping"});
}

void TestPing6::cancelAllDropsThePendingPing()
{
    ProbeBench bench;
    PingProbe probe(&bench.engine);
    bench.attach(okPing, &probe);
    bench.add(pingObject(QStringLiteral("::1")));
    bench.add(pingObject(QStringLiteral("localhost")));
    bench.engine.RunTest(1);
    QVERIFY(probe.Ping1.isLookupPending());
    probe.cancelAll();
    QVERIFY(!probe.Ping1.isLookupPending());
    QTest::qWait(300);
    QCOMPARE(bench.status(1), QStringLiteral("TEST"));
    QVERIFY(bench.sinks.lines.isEmpty());

    // An IPv6 literal is answered from the event loop, so it can be
    // abandoned too; afterwards the probe pings on.
    bench.engine.RunTest(0);
    probe.cancelAll();
    QTest::qWait(100);
    QCOMPARE(bench.status(0), QStringLiteral("TEST"));
    QVERIFY(bench.sinks.lines.isEmpty());
    bench.engine.RunTest(1);
    QTRY_VERIFY(bench.status(1) != QLatin1String("TEST"));
    QCOMPARE(bench.sinks.lines.size(), 1);
}

QTEST_GUILESS_MAIN(TestPing6)
#include "test_ping6.moc"
