#include "probeworkers.h"

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace
{

std::atomic<int> g_busyThreads{0};

enum class JobState { Waiting, Running, Finished, TimedOut, Cancelled };

struct Job {
    std::function<void()> work;
    std::function<void(ProbeWorkers::Ending)> done; // touched on the GUI thread only
    JobState state = JobState::Waiting;             // guarded by Shared::mutex
    bool slow = false;     // counted as stuck (guarded by Shared::mutex)
    qint64 startedMs = 0;  // on the pool's clock, when a thread took it
    qint64 queuedMs = 0;   // on the pool's clock, when it was handed over
};

} // namespace

struct ProbeWorkers::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Job>> waiting;
    std::unordered_set<std::shared_ptr<Job>> active; // waiting or running, ending not yet given
    QObject *receiver = nullptr; // the pool; null once it is destroyed
    int liveLimit = 1;
    int stuckLimit = 0;
    int threads = 0;
    int idle = 0;
    int stuck = 0; // threads inside work that is slow, timed out or cancelled
    int slowMs = 250;
    bool closing = false;
    std::function<void()> threadEnd;
    QElapsedTimer clock;
    std::unordered_set<std::shared_ptr<Job>> running;

    void markSlow(const std::shared_ptr<Job> &job, const std::shared_ptr<Shared> &self)
    {
        if (job->slow)
            return;
        job->slow = true;
        ++stuck;
        growIfNeeded(self);
    }

    // Called with the mutex held: one more thread when work waits, no thread
    // is idle and the limit allows it.
    void growIfNeeded(const std::shared_ptr<Shared> &self)
    {
        if (closing || waiting.empty() || idle > 0)
            return;
        if (threads >= liveLimit + std::min(stuck, stuckLimit))
            return;
        ++threads;
        std::thread([self] { self->run(self); }).detach();
    }

    void run(const std::shared_ptr<Shared> &self)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            std::shared_ptr<Job> job;
            while (!closing) {
                while (!waiting.empty() && waiting.front()->state != JobState::Waiting)
                    waiting.pop_front(); // timed out or cancelled while waiting
                if (!waiting.empty())
                    break;
                ++idle;
                wake.wait(lock);
                --idle;
            }
            if (closing) {
                --threads;
                lock.unlock();
                if (threadEnd)
                    threadEnd();
                return;
            }
            job = std::move(waiting.front());
            waiting.pop_front();
            job->state = JobState::Running;
            job->startedMs = clock.elapsed();
            running.insert(job);
            auto work = std::move(job->work);
            lock.unlock();
            ++g_busyThreads;
            work();
            work = nullptr; // its captures go while the lock is not held
            --g_busyThreads;
            lock.lock();
            running.erase(job);
            if (job->slow)
                --stuck;
            if (job->state == JobState::Running) {
                job->state = JobState::Finished;
                if (receiver) {
                    QMetaObject::invokeMethod(
                        receiver, [self, job] { self->deliver(job); }, Qt::QueuedConnection);
                }
            }
            job.reset();
            if (threads - std::min(stuck, stuckLimit) > liveLimit) {
                --threads; // it stood in for a stuck one that has come back
                lock.unlock();
                if (threadEnd)
                    threadEnd();
                return;
            }
        }
    }

    // On the pool's thread: the ending of work that returned in time.
    void deliver(const std::shared_ptr<Job> &job)
    {
        std::function<void(Ending)> done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (active.erase(job) == 0)
                return; // cancelled meanwhile
            done = std::move(job->done);
        }
        if (done)
            done(Ending::Done);
    }

    // On the pool's thread: the bound of the work ran out.
    void expire(const std::shared_ptr<Shared> &self, const std::shared_ptr<Job> &job)
    {
        std::function<void(Ending)> done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (job->state == JobState::Waiting) {
                job->state = JobState::TimedOut;
            } else if (job->state == JobState::Running) {
                job->state = JobState::TimedOut;
                markSlow(job, self);
            } else {
                return; // finished (its ending is on its way) or cancelled
            }
            if (active.erase(job) == 0)
                return;
            done = std::move(job->done);
        }
        if (done)
            done(Ending::TimedOut);
    }
};

ProbeWorkers::ProbeWorkers(int liveLimit, int stuckLimit, QObject *parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = this;
    m_shared->liveLimit = std::max(1, liveLimit);
    m_shared->stuckLimit = std::max(0, stuckLimit);
    m_shared->clock.start();
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &ProbeWorkers::expireDue);
    // While work waits for a thread, work that runs long is looked at: past
    // slowMs it no longer holds back the waiting work.
    m_watch = new QTimer(this);
    m_watch->setInterval(50);
    connect(m_watch, &QTimer::timeout, this, [this] {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        bool waiting = false;
        for (const auto &job : m_shared->waiting)
            if (job->state == JobState::Waiting) {
                waiting = true;
                break;
            }
        if (!waiting) {
            if (m_shared->active.empty())
                m_watch->stop();
            return;
        }
        const qint64 now = m_shared->clock.elapsed();
        for (const auto &job : m_shared->running)
            if (job->state == JobState::Running && now - job->startedMs >= m_shared->slowMs)
                m_shared->markSlow(job, m_shared);
        // Work that has waited past slowMs gets a thread of its own, up to
        // the limit for stuck threads: with hundreds of stalled pieces ahead
        // of it, live work still starts within about slowMs.
        int late = 0;
        for (const auto &job : m_shared->waiting)
            if (job->state == JobState::Waiting && now - job->queuedMs >= m_shared->slowMs)
                ++late;
        const int room = m_shared->liveLimit + m_shared->stuckLimit - m_shared->threads;
        for (int i = 0; i < std::min(late - m_shared->idle, room); ++i) {
            ++m_shared->threads;
            std::thread([shared = m_shared] { shared->run(shared); }).detach();
        }
    });
}

void ProbeWorkers::setSlowMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->slowMs = std::max(0, ms);
}

void ProbeWorkers::setThreadEnd(std::function<void()> end)
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->threadEnd = std::move(end);
}

ProbeWorkers::~ProbeWorkers()
{
    std::vector<std::function<void(Ending)>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->receiver = nullptr;
        m_shared->closing = true;
        for (const auto &job : m_shared->active)
            dropped.push_back(std::move(job->done));
        m_shared->active.clear();
        m_shared->waiting.clear();
    }
    m_shared->wake.notify_all();
}

void ProbeWorkers::start(std::function<void()> work, std::function<void(Ending)> done, int boundMs)
{
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->done = std::move(done);
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        job->queuedMs = m_shared->clock.elapsed();
        m_shared->active.insert(job);
        m_shared->waiting.push_back(job);
        m_shared->growIfNeeded(m_shared);
    }
    m_shared->wake.notify_one();
    if (!m_watch->isActive())
        m_watch->start();
    // One timer for every bound, set to the earliest: thousands of timers
    // of their own would make each new timer of the program cost a walk
    // through all of them.
    const qint64 deadline = m_shared->clock.elapsed() + std::max(0, boundMs);
    m_deadlines.emplace(deadline, job);
    if (!m_deadline->isActive() || deadline < m_nextDeadline)
        armDeadline();
}

void ProbeWorkers::armDeadline()
{
    if (m_deadlines.empty()) {
        m_deadline->stop();
        return;
    }
    m_nextDeadline = m_deadlines.begin()->first;
    m_deadline->start(int(std::max<qint64>(0, m_nextDeadline - m_shared->clock.elapsed())));
}

void ProbeWorkers::expireDue()
{
    const qint64 now = m_shared->clock.elapsed();
    std::vector<std::shared_ptr<void>> due;
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        due.push_back(m_deadlines.begin()->second);
        m_deadlines.erase(m_deadlines.begin());
    }
    for (const auto &job : due)
        m_shared->expire(m_shared, std::static_pointer_cast<Job>(job));
    armDeadline();
}

void ProbeWorkers::cancelAll()
{
    std::vector<std::function<void(Ending)>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (const auto &job : m_shared->active) {
            if (job->state == JobState::Running)
                m_shared->markSlow(job, m_shared);
            if (job->state == JobState::Running || job->state == JobState::Waiting)
                job->state = JobState::Cancelled;
            dropped.push_back(std::move(job->done));
        }
        m_shared->active.clear();
        m_shared->waiting.clear();
        m_shared->growIfNeeded(m_shared);
    }
    m_deadlines.clear();
    m_deadline->stop();
    // The dropped endings (and what they hold) go here, outside the lock.
}

int ProbeWorkers::liveLimit() const
{
    return m_shared->liveLimit;
}

int ProbeWorkers::threadCount() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->threads;
}

int ProbeWorkers::stuckCount() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->stuck;
}

int ProbeWorkers::waitingCount() const
{
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    int n = 0;
    for (const auto &job : m_shared->waiting)
        if (job->state == JobState::Waiting)
            ++n;
    return n;
}

int ProbeWorkers::busyThreadsEverywhere()
{
    return g_busyThreads.load();
}
