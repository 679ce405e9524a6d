// The worker pool of the blocking probes, on real threads and real timers:
// the limit of live workers, stalled work that makes room for live work, the
// bound of every piece and cancelling.

#include "probes/probeworkers.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace
{

// Work that blocks until the test opens the gate.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    void wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return open; });
    }
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        cv.notify_all();
    }
};

struct Endings {
    int done = 0;
    int timedOut = 0;
    std::function<void(ProbeWorkers::Ending)> record()
    {
        return [this](ProbeWorkers::Ending e) { ++(e == ProbeWorkers::Ending::Done ? done : timedOut); };
    }
};

} // namespace

class TestProbeWorkers : public QObject
{
    Q_OBJECT

private slots:
    void liveWorkersAreLimited();
    void stalledWorkDoesNotStarveLiveWork();
    void waitingWorkEndsAtItsBound();
    void cancelAllDropsEveryEnding();
};

void TestProbeWorkers::liveWorkersAreLimited()
{
    ProbeWorkers pool(3);
    pool.setSlowMs(60000); // nothing counts as stalled here
    std::atomic<int> running{0}, most{0};
    Endings endings;
    for (int i = 0; i < 12; ++i) {
        pool.start(
            [&] {
                const int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
                --running;
            },
            endings.record(), 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(endings.done, 12, 5000);
    QCOMPARE(endings.timedOut, 0);
    QCOMPARE(most.load(), 3);
    QCOMPARE(pool.threadCount(), 3);
}

void TestProbeWorkers::stalledWorkDoesNotStarveLiveWork()
{
    // Twenty pieces hang on two live workers; the quick ones after them end
    // at once, long before the hung ones' bound.
    Gate gate;
    Endings hung, quick;
    {
        ProbeWorkers pool(2);
        pool.setSlowMs(100);
        for (int i = 0; i < 20; ++i)
            pool.start([&gate] { gate.wait(); }, hung.record(), 3000);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 5; ++i)
            pool.start([] {}, quick.record(), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(quick.done, 5, 2500);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(hung.done + hung.timedOut, 0);
        // The hung ones fail at their bound; each holds one thread.
        QTRY_COMPARE_WITH_TIMEOUT(hung.timedOut, 20, 5000);
        QCOMPARE(pool.stuckCount(), 20);
        QVERIFY(pool.threadCount() <= 2 + 20);
        gate.release();
        // They return: their endings were given already; the extra threads go.
        QTRY_COMPARE_WITH_TIMEOUT(pool.stuckCount(), 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(pool.threadCount() <= 2, 5000);
        QTest::qWait(50);
        QCOMPARE(hung.done, 0);
    }
}

void TestProbeWorkers::waitingWorkEndsAtItsBound()
{
    // More stalled work than the pool may add threads for: the work that
    // gets no thread still ends, at its own bound, and never runs later.
    Gate gate;
    Endings stalled, waiting;
    std::atomic<int> ran{0};
    {
        ProbeWorkers pool(1, 2);
        pool.setSlowMs(50);
        for (int i = 0; i < 3; ++i)
            pool.start([&gate] { gate.wait(); }, stalled.record(), 5000);
        QTRY_COMPARE(pool.threadCount(), 3);
        pool.start([&ran] { ++ran; }, waiting.record(), 300);
        QTRY_COMPARE_WITH_TIMEOUT(waiting.timedOut, 1, 2000);
        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(stalled.done, 3, 5000);
        QTest::qWait(100);
        QCOMPARE(ran.load(), 0);
        QCOMPARE(waiting.done, 0);
    }
}

void TestProbeWorkers::cancelAllDropsEveryEnding()
{
    Gate gate;
    Endings endings;
    {
        ProbeWorkers pool(2);
        for (int i = 0; i < 4; ++i)
            pool.start([&gate] { gate.wait(); }, endings.record(), 300);
        QTRY_COMPARE(pool.threadCount(), 2);
        pool.cancelAll();
        QCOMPARE(pool.waitingCount(), 0);
        gate.release();
        QTest::qWait(500); // past the bound too
        QCOMPARE(endings.done + endings.timedOut, 0);
        // The pool goes on serving new work.
        pool.start([] {}, endings.record(), 1000);
        QTRY_COMPARE(endings.done, 1);
    }
    // A pool destroyed with work inside does not wait for it.
    Gate never;
    QElapsedTimer clock;
    clock.start();
    {
        ProbeWorkers pool(1);
        pool.start([&never] { never.wait(); }, endings.record(), 10000);
        QTRY_COMPARE(ProbeWorkers::busyThreadsEverywhere(), 1);
    }
    QVERIFY(clock.elapsed() < 2000);
    never.release(); // the thread ends and touches nothing of the pool
    QTRY_COMPARE(ProbeWorkers::busyThreadsEverywhere(), 0);
}

QTEST_GUILESS_MAIN(TestProbeWorkers)
#include "test_probeworkers.moc"
