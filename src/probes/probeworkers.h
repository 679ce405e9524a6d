#pragma once

#include <QObject>

class QTimer;

#include <functional>
#include <map>
#include <memory>

// Worker threads for probe work that can block for a long time: file-system
// calls (a dead network mount hangs stat, statvfs and folder walks) and
// database opens. The GUI thread hands a piece of work over and gets its
// ending back on its own event loop; it never waits for a worker.
//
// Every piece of work has a bound. When the bound runs out first, the ending
// is TimedOut at once, on the GUI thread; the work goes on alone on its
// worker and what it finds is dropped. A worker whose work has run longer
// than slowMs (250 ms unless set) while other work waits, or whose work timed
// out or was cancelled, is stuck: it no longer counts against the limit of
// live workers, and a new thread takes its place for the work still waiting.
// Work that has waited longer than slowMs gets a thread of its own as
// well. So work on live targets never waits long behind stalled calls; each
// stalled call costs one thread until it returns (and no more than
// stuckLimit threads are added in place of stuck ones; past that, waiting
// work ends at its own bound).
//
// Threads are started when work is waiting and none is idle, up to the live
// limit; an idle thread waits for the next piece and ends when the pool is
// destroyed. The pool never joins a thread: a thread stuck in a system call
// must not keep the program from ending.
class ProbeWorkers : public QObject
{
    Q_OBJECT
public:
    enum class Ending { Done, TimedOut };

    explicit ProbeWorkers(int liveLimit, int stuckLimit = 256, QObject *parent = nullptr);
    ~ProbeWorkers() override;
    ProbeWorkers(const ProbeWorkers &) = delete;
    ProbeWorkers &operator=(const ProbeWorkers &) = delete;

    // Runs work on a worker thread. done(Done) follows on this object's
    // thread once work has returned, within boundMs of this call; done(
    // TimedOut) when the bound runs out first (the work may not even have
    // started). Exactly one of them follows, unless cancelAll() comes first.
    // work runs on another thread: it may touch only its own captured data.
    void start(std::function<void()> work, std::function<void(Ending)> done, int boundMs);

    // Drops every piece of work not yet started and the endings of all work
    // under way: no done() of them follows. Work under way goes on alone, as
    // stuck work does.
    void cancelAll();

    int liveLimit() const;
    void setSlowMs(int ms);
    // Runs on each worker thread just before it ends (to close what the
    // thread opened for itself).
    void setThreadEnd(std::function<void()> end);
    // Threads that exist now, the stuck ones among them, and the pieces of
    // work waiting for a thread.
    int threadCount() const;
    int stuckCount() const;
    int waitingCount() const;

    // Threads of every pool that are inside a piece of work right now. The
    // program ends without running static destructors while any is.
    static int busyThreadsEverywhere();

    struct Shared;

private:
    void armDeadline();
    void expireDue();

    std::shared_ptr<Shared> m_shared;
    QTimer *m_watch = nullptr;
    QTimer *m_deadline = nullptr;
    qint64 m_nextDeadline = 0;
    std::multimap<qint64, std::shared_ptr<void>> m_deadlines; // bound -> work, on this thread only
};
