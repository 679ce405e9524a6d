// The engine on real QTimers with a probe the test controls.
#include "../support/enginefakes.h"

#include "core/engine.h"
#include "core/formats.h"

#include <QtTest>

namespace {

ObserverRecord object(const QString &target, int min = 0, int sec = 0, bool enabled = true)
{
    ObserverRecord rec = Records::newRecord(okFolderSize);
    rec.setTarget(target);
    rec.IntervalMin = min;
    rec.IntervalSec = sec;
    rec.Enabled = enabled;
    return rec;
}

struct Rig {
    MonitorEngine engine;
    ScriptedProbe probe{engine};
    RecordingEventSink events;
    RecordingAlertSink alerts;
    Rig()
    {
        engine.setProbe(okFolderSize, &probe);
        engine.setEventSink(&events);
        engine.setAlertSink(&alerts);
        engine.setClock([] { return QDateTime(QDate(2005, 3, 5), QTime(14, 3, 7)); });
    }
    void add(const QString &target, int min = 0, int sec = 0, bool enabled = true)
    {
        engine.AppendObject(object(target, min, sec, enabled), target);
    }
    int tag(int i) { return engine.object(i)->position; }
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void appendTestsAtOnceAndFillsCells();
    void onlyChangesAreLoggedAndAlerted();
    void firstOutcomeAlwaysReported();
    void thrownErrorShowsErrorAndChangesNothingElse();
    void unknownKindStaysTest();
    void removalRenumbersTags();
    void removingLastChangesNoTag();
    void intervalZeroNeverFires();
    void stoppedObserverIgnoresTicks();
    void startedObserverTestsOnTicks();
    void disabledObjectTimerDoesNotRun();
    void gateBlocksTimedTestsOnly();
    void refreshAllInRowOrder();
    void startStopLogsTwoLines();
    void removalDuringPendingEvents();
    void moveDuringPendingEvents();
    void applyEditRetimes();
    void statusImages();
    void alertAfterBadAttempts_data();
    void alertAfterBadAttempts();

    void testInFlightIsNotStartedAgain();
    void slowTestDelaysNoOtherTick();
    void lateOutcomeFollowsItsObject_data();
    void lateOutcomeFollowsItsObject();
    void cancelAllDropsEveryOutcome();
    void lostTestIsStartedAgain();
    void causeTextForTooltip();
    void manyObjectsFoundWithoutSearch();

    void tickTimingFollowsTheRecord();
    void staleTicksAreNotDelivered_data();
    void staleTicksAreNotDelivered();
    void stallGivesOneTickNotABurst();
    void everyTimedObjectTicksInTurn();
};

void TestEngine::appendTestsAtOnceAndFillsCells()
{
    Rig r;
    r.engine.AppendObject(object("/a", 2, 30), QStringLiteral("/a"));
    QCOMPARE(r.probe.tested, QStringList{"/a"});
    const ObserverObject *o = r.engine.object(0);
    QCOMPARE(o->caption, QStringLiteral("/a"));
    QCOMPARE(o->status, QStringLiteral("OK"));
    QCOMPARE(o->interval, QStringLiteral("2:30"));
    QCOMPARE(o->method, QStringLiteral("File/Folder Size"));
    QCOMPARE(o->lastTest, Formats::longDateTime(r.engine.now()));
    auto *m = r.engine.model();
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Test metod"));
    QCOMPARE(m->data(m->index(0, 3)).toString(), QStringLiteral("2:30"));
    QCOMPARE(r.tag(0), 0);
    QCOMPARE(r.engine.intervalMs(0), 150000);
    QVERIFY(r.engine.isTimed(0));
}

void TestEngine::onlyChangesAreLoggedAndAlerted()
{
    Rig r;
    r.probe.next = ScriptedProbe::Fail;
    r.add("/a");
    for (int i = 0; i < 3; ++i)
        r.engine.RunTest(0);
    QCOMPARE(r.events.lines, QStringList{"05.03.2005 14:03:07;;/a;;/a failed;;File/Folder Size"});
    QCOMPARE(r.alerts.alerts, QStringList{"0|/a Fake Error|Dead"});
    QCOMPARE(r.engine.object(0)->record.LastResult, QStringLiteral("Fake Error"));
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("Error"));

    r.probe.next = ScriptedProbe::Pass;
    r.engine.RunTest(0);
    r.engine.RunTest(0);
    QCOMPARE(r.events.lines.size(), 2);
    QCOMPARE(r.events.lines.last(), QStringLiteral("05.03.2005 14:03:07;;/a;;/a OK;;File/Folder Size"));
    QCOMPARE(r.alerts.alerts.last(), QStringLiteral("0|/a Fake OK|Alive"));
    QCOMPARE(r.alerts.alerts.size(), 2);
}

void TestEngine::firstOutcomeAlwaysReported()
{
    // A new object's first pass is news; a loaded object that was OK is not.
    Rig r;
    r.add("/new");
    QCOMPARE(r.events.lines.size(), 1);
    QCOMPARE(r.alerts.alerts, QStringList{"0|/new Fake OK|Alive"});

    ObserverRecord loaded = object("/loaded");
    loaded.LastResult = QStringLiteral("OK");
    r.engine.AppendObject(loaded, QStringLiteral("/loaded"));
    QCOMPARE(r.events.lines.size(), 1);
    QCOMPARE(r.alerts.alerts.size(), 1);
    QCOMPARE(r.engine.object(1)->status, QStringLiteral("OK"));
}

void TestEngine::thrownErrorShowsErrorAndChangesNothingElse()
{
    Rig r;
    r.probe.next = ScriptedProbe::Fail;
    r.add("/a");
    const QString lastTest = r.engine.object(0)->lastTest;
    r.engine.setClock([] { return QDateTime(QDate(2006, 1, 1), QTime(1, 1, 1)); });
    r.probe.next = ScriptedProbe::Throw;
    r.engine.RunTest(0);
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("Error"));
    QCOMPARE(r.engine.object(0)->lastTest, lastTest);
    QCOMPARE(r.engine.object(0)->record.LastResult, QStringLiteral("Fake Error"));
    QCOMPARE(r.events.lines.size(), 1);
    QCOMPARE(r.alerts.alerts.size(), 1);
    // The next pass compares with the marker from before the error.
    r.probe.next = ScriptedProbe::Pass;
    r.engine.RunTest(0);
    QCOMPARE(r.events.lines.size(), 2);
    QCOMPARE(r.alerts.alerts.last(), QStringLiteral("0|/a Fake OK|Alive"));
}

void TestEngine::unknownKindStaysTest()
{
    Rig r;
    ObserverRecord odd;
    odd.Kind = 42;
    r.engine.AppendObject(odd, QString());
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));
    QCOMPARE(r.engine.object(0)->method, QString());
    QVERIFY(r.probe.tested.isEmpty());
}

void TestEngine::removalRenumbersTags()
{
    Rig r;
    r.add("/0");
    r.add("/1");
    r.add("/2");
    r.engine.RemoveObject(0);
    QCOMPARE(r.engine.count(), 2);
    QCOMPARE(r.tag(0), 0);
    QCOMPARE(r.tag(1), 1);
    QCOMPARE(r.engine.model()->rowCount(), 2);
    // Each tick tests the object of its own row.
    r.engine.StartButtonClick(true);
    r.probe.tested.clear();
    r.engine.fireTick(1);
    r.engine.fireTick(0);
    QCOMPARE(r.probe.tested, (QStringList{"/2", "/1"}));
}

void TestEngine::removingLastChangesNoTag()
{
    Rig r;
    r.add("/0");
    r.add("/1");
    r.add("/2");
    r.engine.RemoveObject(2);
    QCOMPARE(r.tag(0), 0);
    QCOMPARE(r.tag(1), 1);
    r.engine.RemoveObject(7); // out of range: nothing happens
    QCOMPARE(r.engine.count(), 2);
}

void TestEngine::intervalZeroNeverFires()
{
    Rig r;
    r.engine.StartButtonClick(true);
    r.add("/zero", 0, 0);
    QVERIFY(!r.engine.isTimed(0));
    r.probe.tested.clear();
    QTest::qWait(100);
    QVERIFY(r.probe.tested.isEmpty());
    // Refresh still tests it.
    r.engine.RefreshToolButtonClick(0);
    QCOMPARE(r.probe.tested, QStringList{"/zero"});
}

void TestEngine::stoppedObserverIgnoresTicks()
{
    Rig r;
    r.add("/a", 0, 1);
    r.engine.setTickInterval(0, 20);
    const QString status = r.engine.object(0)->status;
    r.probe.tested.clear();
    r.engine.setClock([] { return QDateTime(QDate(2010, 1, 1), QTime(0, 0)); });
    QTest::qWait(150);
    QVERIFY(r.probe.tested.isEmpty());
    QCOMPARE(r.engine.object(0)->status, status);
    QVERIFY(r.engine.object(0)->lastTest.contains(QStringLiteral("2005")));
}

void TestEngine::startedObserverTestsOnTicks()
{
    Rig r;
    r.add("/a", 0, 1);
    r.engine.setTickInterval(0, 20);
    r.engine.StartButtonClick(true);
    r.probe.tested.clear();
    QTRY_VERIFY_WITH_TIMEOUT(r.probe.tested.size() >= 3, 5000);
}

void TestEngine::disabledObjectTimerDoesNotRun()
{
    Rig r;
    r.engine.StartButtonClick(true);
    r.add("/off", 0, 1, false);
    QVERIFY(!r.engine.isTimed(0));
    QCOMPARE(r.probe.tested, QStringList{"/off"}); // tested on creation all the same
}

class BlockingGate : public ScheduleGate
{
public:
    QList<int> asked;
    bool isTestAllowedNow(int position) override
    {
        asked << position;
        return false;
    }
};

void TestEngine::gateBlocksTimedTestsOnly()
{
    Rig r;
    BlockingGate gate;
    r.engine.setScheduleGate(&gate);
    r.add("/a", 0, 1);
    r.engine.setTickInterval(0, 20);
    r.engine.StartButtonClick(true);
    r.probe.tested.clear();
    QTRY_VERIFY(gate.asked.size() >= 2);
    QVERIFY(r.probe.tested.isEmpty());
    r.engine.RefreshAll1Click();
    QCOMPARE(r.probe.tested, QStringList{"/a"});
}

void TestEngine::refreshAllInRowOrder()
{
    Rig r;
    r.add("/0");
    r.add("/1");
    r.add("/2");
    r.probe.tested.clear();
    QVERIFY(!r.engine.isStarted());
    r.engine.RefreshAll1Click();
    QCOMPARE(r.probe.tested, (QStringList{"/0", "/1", "/2"}));
    r.probe.tested.clear();
    r.engine.RefreshToolButtonClick(-1); // no selection: nothing
    QVERIFY(r.probe.tested.isEmpty());
}

void TestEngine::startStopLogsTwoLines()
{
    Rig r;
    QSignalSpy spy(&r.engine, &MonitorEngine::startedChanged);
    r.engine.StartButtonClick(true);
    r.engine.setClock([] { return QDateTime(QDate(2005, 3, 5), QTime(14, 5, 10)); });
    r.engine.StartButtonClick(false);
    QCOMPARE(r.events.lines, (QStringList{"05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner",
                                          "05.03.2005 14:05:10;;Sentrova Stopped;;Stop;;Inner"}));
    QCOMPARE(spy.size(), 2);
    QVERIFY(!r.engine.isStarted());
}

void TestEngine::removalDuringPendingEvents()
{
    // The object under test is deleted while RunTest lets events run: the
    // probe must not be called for it, nor for the object that takes its row.
    Rig r;
    r.add("/0");
    r.add("/1");
    r.probe.tested.clear();
    QTimer::singleShot(0, &r.engine, [&] { r.engine.RemoveObject(0); });
    r.engine.RunTest(0);
    QVERIFY(r.probe.tested.isEmpty());
    QCOMPARE(r.engine.count(), 1);
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("OK")); // "/1" untouched
}

void TestEngine::moveDuringPendingEvents()
{
    // An object above the tested one is removed while events run: the test
    // follows its object to the new row.
    Rig r;
    r.add("/0");
    r.add("/1");
    r.probe.tested.clear();
    r.alerts.alerts.clear();
    r.probe.next = ScriptedProbe::Fail;
    QTimer::singleShot(0, &r.engine, [&] { r.engine.RemoveObject(0); });
    r.engine.RunTest(1);
    QCOMPARE(r.probe.tested, QStringList{"/1"});
    QCOMPARE(r.alerts.alerts, QStringList{"0|/1 Fake Error|Dead"});
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("Error"));
}

void TestEngine::applyEditRetimes()
{
    Rig r;
    r.add("/a", 0, 0);
    QVERIFY(!r.engine.isTimed(0));
    r.engine.object(0)->record.IntervalSec = 7;
    r.engine.applyEdit(0, QStringLiteral("edited"));
    QVERIFY(r.engine.isTimed(0));
    QCOMPARE(r.engine.intervalMs(0), 7000);
    QCOMPARE(r.engine.object(0)->interval, QStringLiteral("0:7"));
    QCOMPARE(r.engine.object(0)->caption, QStringLiteral("edited"));
    r.engine.object(0)->record.Enabled = false;
    r.engine.applyEdit(0, QStringLiteral("edited"));
    QVERIFY(!r.engine.isTimed(0));
}

void TestEngine::statusImages()
{
    QCOMPARE(ObserverRowModel::statusImageIndex(QStringLiteral("OK")), 1);
    QCOMPARE(ObserverRowModel::statusImageIndex(QStringLiteral("TEST")), 2);
    QCOMPARE(ObserverRowModel::statusImageIndex(QString()), 0);
    QCOMPARE(ObserverRowModel::statusImageIndex(QStringLiteral("Error")), 0);
    QCOMPARE(ObserverRowModel::statusImageIndex(QStringLiteral("ok")), 0);
}

void TestEngine::alertAfterBadAttempts_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("alertAfter");
    // P a pass, F a failure, one test each.
    QTest::addColumn<QString>("outcomes");
    // Per test: A an Alive line and alert, D a Dead one, . nothing.
    QTest::addColumn<QString>("reported");
    QTest::newRow("option off: the first failure") << false << 3 << "PFFFP"
                                                   << "AD..A";
    QTest::newRow("three in a row") << true << 3 << "PFFFP"
                                    << "A..DA";
    QTest::newRow("a pass starts the count again") << true << 3 << "PFFPFFFFP"
                                                   << "A.....D.A";
    QTest::newRow("0 as today") << true << 0 << "PFFP"
                                << "AD.A";
    QTest::newRow("1 as today") << true << 1 << "PFFP"
                                << "AD.A";
    QTest::newRow("negative as today") << true << -4 << "PFP"
                                       << "ADA";
    QTest::newRow("more than any run of failures") << true << 10 << "PFFFFFPFFFFFFFFFP"
                                                   << "A................";
    QTest::newRow("a new object that fails from the start") << true << 3 << "FFFFP"
                                                            << "..D.A";
}

// "Alert after N bad attempts": the Status and Last Test cells follow every
// test, LastResult, the log line and the alert only N failures in a row.
void TestEngine::alertAfterBadAttempts()
{
    QFETCH(bool, enabled);
    QFETCH(int, alertAfter);
    QFETCH(QString, outcomes);
    QFETCH(QString, reported);
    Rig r;
    r.engine.setAlertAfterEnabled(enabled);
    QCOMPARE(r.engine.alertAfterEnabled(), enabled);
    ObserverRecord rec = object(QStringLiteral("/a"));
    rec.AlertAfter = alertAfter;
    r.probe.next = outcomes[0] == QLatin1Char('P') ? ScriptedProbe::Pass : ScriptedProbe::Fail;
    r.engine.AppendObject(rec, QStringLiteral("/a")); // the first test

    QString got;
    QString lastResult;
    int run = 0;
    for (int i = 0; i < outcomes.size(); ++i) {
        const bool pass = outcomes[i] == QLatin1Char('P');
        run = pass ? 0 : run + 1;
        if (i > 0) {
            r.probe.next = pass ? ScriptedProbe::Pass : ScriptedProbe::Fail;
            r.engine.RunTest(0);
        }
        const ObserverObject *o = r.engine.object(0);
        QCOMPARE(o->status, pass ? QStringLiteral("OK") : QStringLiteral("Error"));
        QCOMPARE(o->failuresInRow, run);
        const qsizetype lines = r.events.lines.size();
        QCOMPARE(r.alerts.alerts.size(), lines);
        const qsizetype before = got.size() == 0 ? 0 : got.count(QLatin1Char('A')) + got.count(QLatin1Char('D'));
        if (lines == before) {
            got += QLatin1Char('.');
            QCOMPARE(o->record.LastResult, lastResult);
        } else {
            QCOMPARE(lines, before + 1);
            got += pass ? QLatin1Char('A') : QLatin1Char('D');
            QVERIFY(r.alerts.alerts.last().endsWith(pass ? QLatin1String("|Alive") : QLatin1String("|Dead")));
            lastResult = o->record.LastResult;
            QCOMPARE(lastResult, pass ? QStringLiteral("OK") : QStringLiteral("Fake Error"));
        }
    }
    QCOMPARE(got, reported);
}

// An engine whose folder-size objects end later, through DeferredProbe.
struct DeferredRig {
    MonitorEngine engine;
    DeferredProbe probe{engine};
    RecordingEventSink events;
    RecordingAlertSink alerts;
    DeferredRig()
    {
        engine.setProbe(okFolderSize, &probe);
        engine.setEventSink(&events);
        engine.setAlertSink(&alerts);
        engine.setClock([] { return QDateTime(QDate(2005, 3, 5), QTime(14, 3, 7)); });
    }
    void add(const QString &target, int sec = 0) { engine.AppendObject(object(target, 0, sec), target); }
};

void TestEngine::testInFlightIsNotStartedAgain()
{
    DeferredRig r;
    r.add("/a", 1);
    r.engine.setTickInterval(0, 20);
    r.engine.StartButtonClick(true);
    QVERIFY(r.engine.isTestInFlight(0));
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));

    // Ticks, Refresh and Refresh all while the first test runs start nothing.
    QTest::qWait(150);
    r.engine.RefreshToolButtonClick(0);
    r.engine.RefreshAll1Click();
    QCOMPARE(r.probe.started.size(), 1);
    QCOMPARE(r.engine.testsInFlight(), 1);

    // Its outcome ends it; the next tick starts the next test.
    r.probe.finish(0);
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("OK"));
    QCOMPARE(r.events.lines.last(), QStringLiteral("05.03.2005 14:03:07;;/a;;/a OK;;Fake"));
    QTRY_COMPARE(r.probe.started.size(), 2);
    // A second report with the first ticket is no news for the second test.
    r.probe.pass = false;
    r.probe.finish(0);
    QVERIFY(r.engine.isTestInFlight(0));
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));
    QCOMPARE(r.events.lines.size(), 2); // the start line and the one outcome
}

void TestEngine::slowTestDelaysNoOtherTick()
{
    // One object's test takes 3 s; another object ticks every 30 ms and each
    // of its tests ends in 5 ms. The slow one neither blocks nor is repeated.
    DeferredRig r;
    r.probe.delayMs = {{"/slow", 3000}, {"/fast", 5}};
    r.add("/slow", 1);
    r.add("/fast", 1);
    r.engine.setTickInterval(0, 30);
    r.engine.setTickInterval(1, 30);
    r.engine.StartButtonClick(true);
    QTRY_VERIFY_WITH_TIMEOUT(r.probe.startedFor("/fast") >= 10, 2500);
    QCOMPARE(r.probe.startedFor("/slow"), 1);
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));
    QCOMPARE(r.engine.object(1)->status, QStringLiteral("OK"));
    QTRY_VERIFY_WITH_TIMEOUT(r.probe.startedFor("/slow") >= 2, 6000);
}

void TestEngine::lateOutcomeFollowsItsObject_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("statuses"); // of the rows left, after the late outcome
    QTest::addColumn<int>("lines");            // log lines of outcomes

    QTest::newRow("the object above is removed") << "remove above" << QStringList{"OK", "TEST"} << 1;
    QTest::newRow("the object itself is removed") << "remove itself" << QStringList{"TEST", "TEST"} << 0;
    QTest::newRow("the object is edited") << "edit" << QStringList{"TEST", "TEST", "TEST"} << 0;
    QTest::newRow("New, then other objects") << "new" << QStringList{"TEST", "TEST"} << 0;
}

void TestEngine::lateOutcomeFollowsItsObject()
{
    QFETCH(QString, change);
    QFETCH(QStringList, statuses);
    QFETCH(int, lines);

    DeferredRig r;
    r.add("/0");
    r.add("/1");
    r.add("/2");
    QCOMPARE(r.engine.testsInFlight(), 3);
    if (change == "remove above") {
        r.engine.RemoveObject(0);
    } else if (change == "remove itself") {
        r.engine.RemoveObject(1);
    } else if (change == "edit") {
        r.engine.applyEdit(1, QStringLiteral("/1 edited"));
        QVERIFY(!r.engine.isTestInFlight(1));
        r.engine.RunTest(1); // the test of the new values starts at once
        QVERIFY(r.engine.isTestInFlight(1));
    } else {
        r.engine.clear();
        r.add("/new0");
        r.add("/new1");
    }
    r.probe.finish(1); // the late outcome of "/1"'s first test

    QStringList got;
    for (int i = 0; i < r.engine.count(); ++i)
        got << r.engine.object(i)->status;
    QCOMPARE(got, statuses);
    QCOMPARE(r.events.lines.size(), lines);
    if (lines)
        QCOMPARE(r.alerts.alerts, QStringList{"0|/1 Fake OK|Alive"}); // at its new position
}

void TestEngine::cancelAllDropsEveryOutcome()
{
    DeferredRig r;
    r.add("/a");
    r.add("/b");
    r.engine.cancelAll();
    QCOMPARE(r.probe.cancelled, 1);
    QCOMPARE(r.engine.testsInFlight(), 0);
    // A probe that reports all the same, in either form, is not heard.
    r.probe.finish(0);
    Outcome late;
    late.pass = true;
    r.engine.ReportOutcome(1, late);
    QVERIFY(r.events.lines.isEmpty());
    QVERIFY(r.alerts.alerts.isEmpty());
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));
    QCOMPARE(r.engine.object(1)->status, QStringLiteral("TEST"));
    // Later tests are reported as usual.
    r.engine.RunTest(0);
    r.probe.finish(2);
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("OK"));
    QCOMPARE(r.events.lines.size(), 1);
    // clear() cancels as well.
    r.engine.clear();
    QCOMPARE(r.probe.cancelled, 2);
}

void TestEngine::lostTestIsStartedAgain()
{
    // A probe that never reports must not keep its object untested for ever.
    DeferredRig r;
    r.engine.setLostTestMs(100);
    r.add("/a");
    r.engine.RunTest(0);
    QCOMPARE(r.probe.started.size(), 1);
    QTest::qWait(150);
    r.engine.RunTest(0);
    QCOMPARE(r.probe.started.size(), 2);
    r.probe.finish(0); // the lost one comes back after all: dropped
    QVERIFY(r.events.lines.isEmpty());
    r.probe.finish(1);
    QCOMPARE(r.events.lines.size(), 1);
}

void TestEngine::causeTextForTooltip()
{
    DeferredRig r;
    r.add("/a");
    auto *m = r.engine.model();
    QVERIFY(!m->data(m->index(0, ObserverRowModel::StatusColumn), Qt::ToolTipRole).isValid());
    r.probe.finish(0);
    QCOMPARE(r.engine.object(0)->lastTestTime, r.engine.now());
    QCOMPARE(m->data(m->index(0, ObserverRowModel::StatusColumn), Qt::ToolTipRole).toString(),
             QStringLiteral("answered (12 ms)"));
    QVERIFY(!m->data(m->index(0, ObserverRowModel::HostColumn), Qt::ToolTipRole).isValid());

    ObserverObject o;
    const struct {
        const char *cause;
        qint64 ms;
        const char *shown;
    } rows[] = {
        {"connection refused", -1, "connection refused"},
        {"answered in 12 ms", 12, "answered in 12 ms"},
        {"12.0 MB free", 3, "12.0 MB free (3 ms)"},
        {"", 7, "7 ms"},
        {"", -1, ""},
    };
    for (const auto &row : rows) {
        o.cause = QString::fromLatin1(row.cause);
        o.responseMs = row.ms;
        QCOMPARE(ObserverRowModel::causeText(o), QString::fromLatin1(row.shown));
    }
}

void TestEngine::manyObjectsFoundWithoutSearch()
{
    // Identities and positions stay right through removals at both ends and
    // in the middle of a long list.
    DeferredRig r;
    for (int i = 0; i < 2000; ++i)
        r.add(QStringLiteral("/%1").arg(i));
    const quint64 id1500 = r.engine.object(1500)->id;
    const TestTicket t1500 = r.engine.testTicket(1500);
    r.engine.RemoveObject(0);
    r.engine.RemoveObject(700);
    r.engine.RemoveObject(r.engine.count() - 1);
    QCOMPARE(r.engine.positionOf(id1500), 1498);
    QCOMPARE(r.engine.positionOf(t1500), 1498);
    QCOMPARE(r.engine.object(1498)->record.target(), QStringLiteral("/1500"));
    for (int i = 0; i < r.engine.count(); ++i)
        QCOMPARE(r.engine.positionOf(r.engine.object(i)->id), i);
    r.probe.finish(1500);
    QCOMPARE(r.engine.object(1498)->status, QStringLiteral("OK"));
}

void TestEngine::tickTimingFollowsTheRecord()
{
    // The time until the next tick counts from the object's creation or its
    // last Edit; a disabled or 0:0 object has none, and keeps its interval.
    Rig r;
    r.add("/a", 0, 30);
    r.add("/zero", 0, 0);
    r.add("/off", 1, 30, false);
    QVERIFY(r.engine.isTimed(0));
    QVERIFY(r.engine.msUntilTick(0) > 29000 && r.engine.msUntilTick(0) <= 30000);
    QVERIFY(!r.engine.isTimed(1));
    QCOMPARE(r.engine.msUntilTick(1), -1);
    QCOMPARE(r.engine.intervalMs(1), 0);
    QVERIFY(!r.engine.isTimed(2));
    QCOMPARE(r.engine.msUntilTick(2), -1);
    QCOMPARE(r.engine.intervalMs(2), 90000);

    r.engine.object(0)->record.IntervalMin = 2;
    r.engine.object(0)->record.IntervalSec = 0;
    r.engine.applyEdit(0, QStringLiteral("/a"));
    QCOMPARE(r.engine.intervalMs(0), 120000);
    QVERIFY(r.engine.msUntilTick(0) > 119000 && r.engine.msUntilTick(0) <= 120000);
    r.engine.object(2)->record.Enabled = true;
    r.engine.applyEdit(2, QStringLiteral("/off"));
    QVERIFY(r.engine.isTimed(2));
    QVERIFY(r.engine.msUntilTick(2) > 89000 && r.engine.msUntilTick(2) <= 90000);

    // An out-of-range row has no timing at all.
    QVERIFY(!r.engine.isTimed(3));
    QCOMPARE(r.engine.msUntilTick(-1), -1);
    QCOMPARE(r.engine.intervalMs(3), 0);
    r.engine.fireTick(3); // nothing happens
}

void TestEngine::staleTicksAreNotDelivered_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("the ticking object is removed") << "remove";
    QTest::newRow("the ticking object is edited to a long interval") << "edit";
    QTest::newRow("the ticking object is disabled") << "disable";
    QTest::newRow("New") << "new";
}

void TestEngine::staleTicksAreNotDelivered()
{
    // Object 0 ticks every 20 ms; after the change none of its queued ticks
    // may test anything, neither it nor the object that takes its row.
    QFETCH(QString, change);
    Rig r;
    r.add("/fast", 0, 1);
    r.add("/slow", 5, 0);
    r.engine.setTickInterval(0, 20);
    r.engine.StartButtonClick(true);
    r.probe.tested.clear();
    QTRY_VERIFY_WITH_TIMEOUT(r.probe.tested.size() >= 2, 5000);
    if (change == "remove") {
        r.engine.RemoveObject(0);
    } else if (change == "edit") {
        r.engine.object(0)->record.IntervalMin = 10;
        r.engine.applyEdit(0, QStringLiteral("/fast"));
    } else if (change == "disable") {
        r.engine.object(0)->record.Enabled = false;
        r.engine.applyEdit(0, QStringLiteral("/fast"));
    } else {
        r.engine.clear();
        r.add("/new", 0, 0);
    }
    r.probe.tested.clear();
    QTest::qWait(200);
    QCOMPARE(r.probe.tested, QStringList());
}

void TestEngine::stallGivesOneTickNotABurst()
{
    // The GUI thread is held for 400 ms while an object ticks every 20 ms:
    // the missed ticks come as one, and the next one an interval later.
    Rig r;
    r.add("/a", 0, 1);
    r.engine.setTickInterval(0, 20);
    r.engine.StartButtonClick(true);
    QTRY_VERIFY_WITH_TIMEOUT(!r.probe.tested.isEmpty(), 5000);
    QThread::msleep(400);
    r.probe.tested.clear();
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!r.probe.tested.isEmpty(), 5000);
    QVERIFY(r.probe.tested.size() <= 2);
    if (clock.elapsed() < 10) {
        // Right after the overdue tick the next one is a whole interval away.
        QVERIFY(r.engine.msUntilTick(0) > 10);
        QVERIFY(r.engine.msUntilTick(0) <= 20);
    }
}

void TestEngine::everyTimedObjectTicksInTurn()
{
    // 300 objects share the one timer, each with its own interval; each is
    // re-timed a few times first, which leaves stale ticks in the queue.
    // Every object ticks, several times, and the untimed ones never do.
    Rig r;
    for (int i = 0; i < 300; ++i)
        r.add(QStringLiteral("/%1").arg(i), 0, i % 3 == 2 ? 0 : 1);
    for (int round = 0; round < 5; ++round)
        for (int i = 0; i < 300; ++i)
            if (r.engine.isTimed(i))
                r.engine.setTickInterval(i, 30 + (i % 7) * 10 + round);
    r.engine.StartButtonClick(true);
    r.probe.tested.clear();
    const auto ticks = [&](int i) { return r.probe.tested.count(QStringLiteral("/%1").arg(i)); };
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (int i = 0; i < 300; ++i)
                if (i % 3 != 2 && ticks(i) < 3)
                    return false;
            return true;
        }(),
        10000);
    for (int i = 2; i < 300; i += 3)
        QCOMPARE(ticks(i), 0);
    // The faster objects ticked more often than the slower ones.
    int fast = 0, slow = 0;
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 2)
            continue;
        if (i % 7 == 0)
            fast += ticks(i);
        else if (i % 7 == 6)
            slow += ticks(i);
    }
    QVERIFY2(fast > slow, qPrintable(QStringLiteral("%1 %2").arg(fast).arg(slow)));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
