// The availability figures computed from event-log lines written here:
// known outages and percentages, a stop of the observer over a whole day,
// interleaved objects, lines without dates, an empty log and a million lines.
#include "eventlog/availability.h"

#include <QtTest>

using namespace Availability;

namespace
{

constexpr qint64 H = 3600;
constexpr qint64 M = 60;

// The day the figures are taken over: 5 March 2005, 00:00 to 24:00.
const qint64 D = wallSeconds(2005, 3, 5, 0, 0, 0);

QByteArray line(qint64 at, const char *host, const QByteArray &status, const char *method)
{
    return wallText(at).toLatin1() + ";;" + host + ";;" + status + ";;" + method;
}

QByteArray started(qint64 at)
{
    return wallText(at).toLatin1() + ";;Sentrova Started;;Start;;Inner";
}

QByteArray stopped(qint64 at)
{
    return wallText(at).toLatin1() + ";;Sentrova Stopped;;Stop;;Inner";
}

Log feedAll(const QList<QByteArray> &lines)
{
    Log log;
    for (const QByteArray &l : lines)
        log.feed(l);
    return log;
}

int objectNamed(const Log &log, const QString &host, const QString &method)
{
    for (int i = 0; i < log.objectCount(); ++i)
        if (log.host(i) == host && log.method(i) == method)
            return i;
    return -1;
}

} // namespace

class TestAvailability : public QObject
{
    Q_OBJECT
private slots:
    void eventTimes_data();
    void eventTimes();
    void okStatus_data();
    void okStatus();
    void knownOutages();
    void interleavedObjects();
    void dayWithNoData();
    void linesWithoutDates();
    void emptyLogAndEmptyWindow();
    void clockSetBack();
    void millionLines();
};

void TestAvailability::eventTimes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("seconds");
    const qint64 t = wallSeconds(2005, 3, 5, 14, 3, 7);
    QTest::newRow("as written") << QByteArray("05.03.2005 14:03:07;;h;;s;;m") << true << t;
    QTest::newRow("other time separator") << QByteArray("05.03.2005 14.03.07") << true << t;
    QTest::newRow("29 February of a leap year") << QByteArray("29.02.2004 00:00:00") << true
                                                << wallSeconds(2004, 2, 29, 0, 0, 0);
    QTest::newRow("29 February otherwise") << QByteArray("29.02.2005 00:00:00") << false << qint64(0);
    QTest::newRow("one-digit day") << QByteArray("5.03.2005 14:03:07;;") << false << qint64(0);
    QTest::newRow("hour 24") << QByteArray("05.03.2005 24:00:00") << false << qint64(0);
    QTest::newRow("minute 60") << QByteArray("05.03.2005 10:60:00") << false << qint64(0);
    QTest::newRow("month 13") << QByteArray("05.13.2005 10:00:00") << false << qint64(0);
    QTest::newRow("slashes") << QByteArray("05/03/2005 10:00:00") << false << qint64(0);
    QTest::newRow("digit as time separator") << QByteArray("05.03.2005 1010000") << false << qint64(0);
    QTest::newRow("cut short") << QByteArray("05.03.2005 10:00") << false << qint64(0);
    QTest::newRow("empty") << QByteArray() << false << qint64(0);
}

void TestAvailability::eventTimes()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(qint64, seconds);
    qint64 got = 0;
    QCOMPARE(parseEventTime(text, &got), ok);
    if (ok) {
        QCOMPARE(got, seconds);
        // Back to the text the log writes, ":" between the time's parts.
        QCOMPARE(wallText(got).left(13), QString::fromLatin1(text.left(13)));
        QCOMPARE(wallSeconds(fromWallSeconds(got)), got);
    }
}

void TestAvailability::okStatus_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("ok");
    // The pass texts of every test method.
    QTest::newRow("ping") << QByteArray("gw Ping OK") << true;
    QTest::newRow("tcp") << QByteArray("mail Connect OK") << true;
    QTest::newRow("url") << QByteArray("http://x/ OK") << true;
    QTest::newRow("disk") << QByteArray("\"C:\\\" OK") << true;
    QTest::newRow("size") << QByteArray("\"/var/log\" OK") << true;
    QTest::newRow("present") << QByteArray("\"/f\" test OK") << true;
    QTest::newRow("database") << QByteArray("\"Provider=QSQLITE\" test OK") << true;
    QTest::newRow("alone") << QByteArray("OK") << true;
    QTest::newRow("trailing blank") << QByteArray("gw Ping OK ") << true;
    // Failure texts, some of which hold "OK" elsewhere.
    QTest::newRow("ping error") << QByteArray("gw Ping error") << false;
    QTest::newRow("dns") << QByteArray("OK DNS Lookup error") << false;
    QTest::newRow("tcp error") << QByteArray("mail TCP Connect Error") << false;
    QTest::newRow("disk less") << QByteArray("\"C:\\\" Disk Space less then 80") << false;
    QTest::newRow("exists") << QByteArray("\"/OK\" File/folder exist") << false;
    QTest::newRow("compare") << QByteArray("\"/a\" 1st file less 2nd file") << false;
    QTest::newRow("word ending in ok") << QByteArray("gw LOOK") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestAvailability::okStatus()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, ok);
    QCOMPARE(isOkStatus(status), ok);
}

// One ping object over one day: OK from the evening before, down from 6:00
// to 9:00 (first no echo, then no name), and again from 18:00 to 18:30.
void TestAvailability::knownOutages()
{
    const Log log = feedAll({
        line(D - 1 * H, "gw", "gw Ping OK", "Ping"),
        line(D + 6 * H, "gw", "gw Ping error", "Ping"),
        line(D + 8 * H, "gw", "gw DNS Lookup error", "Ping"),
        line(D + 9 * H, "gw", "gw Ping OK", "Ping"),
        line(D + 18 * H, "gw", "gw Ping error", "Ping"),
        line(D + 18 * H + 30 * M, "gw", "gw Ping OK", "Ping"),
        line(D + 30 * H, "gw", "gw Ping error", "Ping"), // after the window
    });
    QCOMPARE(log.objectCount(), 1);
    const Figures f = log.figures(0, D, D + 24 * H);
    QCOMPARE(f.host, QStringLiteral("gw"));
    QCOMPARE(f.method, QStringLiteral("Ping"));
    QCOMPARE(f.okSeconds, 20 * H + 30 * M);
    QCOMPARE(f.failingSeconds, 3 * H + 30 * M);
    QCOMPARE(f.noDataSeconds, qint64(0));
    QCOMPARE(f.failures, 2);
    QCOMPARE(f.longestOutage, 3 * H); // the change of failure text does not break it
    QCOMPARE(f.percentOk, 100.0 * (20.5 * H) / (24 * H));

    const std::vector<Stretch> expected = {
        {D, D + 6 * H, State::Ok, QStringLiteral("gw Ping OK")},
        {D + 6 * H, D + 8 * H, State::Failing, QStringLiteral("gw Ping error")},
        {D + 8 * H, D + 9 * H, State::Failing, QStringLiteral("gw DNS Lookup error")},
        {D + 9 * H, D + 18 * H, State::Ok, QStringLiteral("gw Ping OK")},
        {D + 18 * H, D + 18 * H + 30 * M, State::Failing, QStringLiteral("gw Ping error")},
        {D + 18 * H + 30 * M, D + 24 * H, State::Ok, QStringLiteral("gw Ping OK")},
    };
    QCOMPARE(f.stretches, expected);

    // A window that starts inside an outage clips it and counts no new
    // failure for it.
    const Figures clipped = log.figures(0, D + 7 * H, D + 10 * H);
    QCOMPARE(clipped.failures, 0);
    QCOMPARE(clipped.longestOutage, 2 * H);
    QCOMPARE(clipped.okSeconds, 1 * H);
    QCOMPARE(clipped.stretches.front().start, D + 7 * H);
    QCOMPARE(clipped.stretches.back().end, D + 10 * H);
}

// Two objects on the same host (ping and TCP) and a third one, their lines
// mixed in time order: each row follows only its own lines.
void TestAvailability::interleavedObjects()
{
    const Log log = feedAll({
        line(D + 0 * H, "gw", "gw Ping OK", "Ping"),
        line(D + 0 * H, "gw", "gw Connect OK", "TCP Connect"),
        line(D + 1 * H, "db", "\"Provider=QSQLITE\" test OK", "Database Connect"),
        line(D + 2 * H, "gw", "gw TCP Connect Error", "TCP Connect"),
        line(D + 3 * H, "gw", "gw Ping error", "Ping"),
        line(D + 4 * H, "gw", "gw Connect OK", "TCP Connect"),
        line(D + 6 * H, "db", "\"Provider=QSQLITE\" connection error", "Database Connect"),
        line(D + 12 * H, "gw", "gw Ping OK", "Ping"),
    });
    QCOMPARE(log.objectCount(), 3);
    struct Want {
        QString host, method;
        qint64 ok, failing, noData;
        int failures;
    };
    const Want wants[] = {
        {QStringLiteral("gw"), QStringLiteral("Ping"), 15 * H, 9 * H, 0, 1},
        {QStringLiteral("gw"), QStringLiteral("TCP Connect"), 22 * H, 2 * H, 0, 1},
        {QStringLiteral("db"), QStringLiteral("Database Connect"), 5 * H, 18 * H, 1 * H, 1},
    };
    for (const Want &w : wants) {
        const int i = objectNamed(log, w.host, w.method);
        QVERIFY2(i >= 0, qPrintable(w.host + QLatin1Char('/') + w.method));
        const Figures f = log.figures(i, D, D + 24 * H);
        QCOMPARE(f.okSeconds, w.ok);
        QCOMPARE(f.failingSeconds, w.failing);
        QCOMPARE(f.noDataSeconds, w.noData);
        QCOMPARE(f.failures, w.failures);
        QCOMPARE(f.longestOutage, w.failing);
    }
    // The objects keep the order of their first lines.
    const std::vector<Figures> all = log.allFigures(D, D + 24 * H);
    QCOMPARE(int(all.size()), 3);
    QCOMPARE(all[2].host, QStringLiteral("db"));
    // Before its first line the database object has no data.
    QCOMPARE(all[2].stretches.front(), (Stretch{D, D + 1 * H, State::NoData, QStringLiteral("No data")}));
}

// Over seven days the observer is stopped from noon of day 2 to noon of day 3:
// that day counts as no data and not in the percentage; on the start the
// object is in its last reported state again (failing here), without a new
// failure. An outage broken by the stop is two outages in length.
void TestAvailability::dayWithNoData()
{
    const qint64 from = D, to = D + 7 * 24 * H;
    const Log log = feedAll({
        started(D - 1 * H),
        line(D, "gw", "gw Ping OK", "Ping"),
        line(D + 24 * H, "gw", "gw Ping error", "Ping"), // day 2, 0:00
        stopped(D + 36 * H),
        // Refresh while stopped: known at that instant only.
        line(D + 40 * H, "gw", "gw Ping OK", "Ping"),
        line(D + 41 * H, "gw", "gw Ping error", "Ping"),
        started(D + 60 * H),
        line(D + 66 * H, "gw", "gw Ping OK", "Ping"),
    });
    QCOMPARE(log.objectCount(), 1); // the observer's lines are no object
    const Figures f = log.figures(0, from, to);
    QCOMPARE(f.noDataSeconds, 24 * H);
    QCOMPARE(f.failingSeconds, 12 * H + 6 * H);
    QCOMPARE(f.okSeconds, 7 * 24 * H - 24 * H - 18 * H);
    QCOMPARE(f.longestOutage, 12 * H);
    QCOMPARE(f.failures, 2); // day 2 at 0:00, and the refresh at 41 h
    QCOMPARE(f.percentOk, 100.0 * double(f.okSeconds) / double(f.okSeconds + f.failingSeconds));
    const std::vector<Stretch> expected = {
        {from, D + 24 * H, State::Ok, QStringLiteral("gw Ping OK")},
        {D + 24 * H, D + 36 * H, State::Failing, QStringLiteral("gw Ping error")},
        {D + 36 * H, D + 60 * H, State::NoData, QStringLiteral("Observer stopped")},
        {D + 60 * H, D + 66 * H, State::Failing, QStringLiteral("gw Ping error")},
        {D + 66 * H, to, State::Ok, QStringLiteral("gw Ping OK")},
    };
    QCOMPARE(f.stretches, expected);

    // A window that lies wholly inside the stop: no data at all, no percentage.
    const Figures inside = log.figures(0, D + 42 * H, D + 54 * H);
    QCOMPARE(inside.noDataSeconds, 12 * H);
    QCOMPARE(inside.percentOk, -1.0);
    QCOMPARE(int(inside.stretches.size()), 1);
}

// Lines without a date, with a broken date or too few fields are counted and
// skipped; the lines between them still count.
void TestAvailability::linesWithoutDates()
{
    const Log log = feedAll({
        QByteArray(),
        QByteArray("no separators at all"),
        QByteArray(";;gw;;gw Ping error;;Ping"),
        line(D, "gw", "gw Ping OK", "Ping"),
        QByteArray("5.3.2005 01:00:00;;gw;;gw Ping error;;Ping"),
        QByteArray("31.02.2005 01:00:00;;gw;;gw Ping error;;Ping"),
        QByteArray("05.03.2005 01:00:00 and more;;gw;;gw Ping error;;Ping"),
        QByteArray("05.03.2005 01:00:00;;gw;;gw Ping error"),
        QByteArray("\xff\xfe\x00\x01", 4),
        line(D + 12 * H, "gw", "gw Ping error", "Ping"),
        // A fourth field that holds ";;" is part of the method.
        line(D + 13 * H, "gw", "gw Ping OK", "Ping;;x"),
    });
    QCOMPARE(log.linesFed(), qint64(11));
    QCOMPARE(log.linesSkipped(), qint64(8));
    QCOMPARE(log.objectCount(), 2);
    QCOMPARE(log.method(1), QStringLiteral("Ping;;x"));
    const Figures f = log.figures(0, D, D + 24 * H);
    QCOMPARE(f.okSeconds, 12 * H);
    QCOMPARE(f.failingSeconds, 12 * H);
    QCOMPARE(f.failures, 1);
}

void TestAvailability::emptyLogAndEmptyWindow()
{
    Log log;
    QCOMPARE(log.objectCount(), 0);
    QVERIFY(log.allFigures(D, D + 24 * H).empty());
    QCOMPARE(log.lastTime(), qint64(0));

    log.feed(line(D + 30 * H, "gw", "gw Ping OK", "Ping"));
    // An object whose only line lies after the window: no data throughout.
    Figures f = log.figures(0, D, D + 24 * H);
    QCOMPARE(f.noDataSeconds, 24 * H);
    QCOMPARE(f.percentOk, -1.0);
    QCOMPARE(f.failures, 0);
    // A window of no length has no stretches.
    f = log.figures(0, D, D);
    QVERIFY(f.stretches.empty());

    log.clear();
    QCOMPARE(log.objectCount(), 0);
    QCOMPARE(log.linesFed(), qint64(0));
}

// A line dated before the line above it counts at the earlier line's time:
// no stretch runs backwards and the window's seconds still add up.
void TestAvailability::clockSetBack()
{
    const Log log = feedAll({
        line(D + 2 * H, "gw", "gw Ping OK", "Ping"),
        line(D + 4 * H, "gw", "gw Ping error", "Ping"),
        line(D + 3 * H, "gw", "gw Ping OK", "Ping"), // one hour back
        line(D + 5 * H, "gw", "gw Ping error", "Ping"),
    });
    QCOMPARE(log.lastTime(), D + 5 * H);
    const Figures f = log.figures(0, D, D + 6 * H);
    QCOMPARE(f.noDataSeconds, 2 * H);
    QCOMPARE(f.okSeconds, 3 * H);
    QCOMPARE(f.failingSeconds, 1 * H);
    QCOMPARE(f.failures, 2);
    for (const Stretch &s : f.stretches)
        QVERIFY(s.end > s.start);
}

// A million lines of a hundred objects, one line a second: object k reports
// at second k + 100 j, OK for even j and failing for odd j.
void TestAvailability::millionLines()
{
    constexpr int kLines = 1000000, kObjects = 100;
    Log log;
    for (int i = 0; i < kLines; ++i) {
        const int k = i % kObjects, j = i / kObjects;
        const QByteArray host = "host-" + QByteArray::number(k);
        log.feed(line(D + i, host.constData(), host + (j % 2 ? " Ping error" : " Ping OK"), "Ping"));
    }
    QCOMPARE(log.objectCount(), kObjects);
    QCOMPARE(log.linesSkipped(), qint64(0));
    const qint64 from = D, to = D + kLines;
    const std::vector<Figures> all = log.allFigures(from, to);
    for (int k = 0; k < kObjects; ++k) {
        const Figures &f = all[size_t(k)];
        QCOMPARE(f.host, QStringLiteral("host-%1").arg(k));
        QCOMPARE(f.noDataSeconds, qint64(k));
        QCOMPARE(f.okSeconds, qint64(5000 * 100));
        QCOMPARE(f.failingSeconds, qint64(4999 * 100 + 100 - k));
        QCOMPARE(f.failures, 5000);
        QCOMPARE(f.longestOutage, qint64(100));
        QCOMPARE(int(f.stretches.size()), (k ? 1 : 0) + 10000);
    }
}

QTEST_GUILESS_MAIN(TestAvailability)
#include "test_availability.moc"
