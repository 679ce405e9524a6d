#pragma once

#include "records.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// What a probe hands to the engine's closing step when it has an outcome.
struct Outcome {
    bool pass = false;
    QString failMarker;  // stored in LastResult on a failure
    QString failStatus;  // Status cell text on a failure
    QString hostField;   // event-log field 2
    QString statusField; // event-log field 3
    QString methodName;  // event-log field 4: the kind's column text
    QString alertSuffix; // appended to the row caption for the alert text
    // For the person looking at the row, never for the log or the alert
    // text: a short cause ("connection refused", "answered in 12 ms") and the
    // time the peer took to answer (-1 when there was no answer to time).
    QString cause;
    qint64 responseMs = -1;
};

// One test of one object: the object's identity and the serial of the test.
// A probe that ends later keeps the ticket of the test it started and reports
// with it; the engine drops the outcome when the object is gone, when a newer
// test of it was started (after an Edit) or when the test was cancelled.
struct TestTicket {
    quint64 object = 0;
    quint64 serial = 0;
    int hint = -1; // the position at the start, checked first
    // Serial 0 names the object without a test of RunTest's (a probe that
    // was called directly).
    bool isValid() const { return object != 0; }
};

// The engine's four outward calls. Other libraries implement them; the
// engine only knows these interfaces.
class ObserverProbe
{
public:
    virtual ~ObserverProbe() = default;
    // Tests the object at the position; ends (now or later) in ReportOutcome.
    // A probe that ends later takes MonitorEngine::testTicket(position) at
    // the start and reports with it: until then the test is under way. A
    // probe that returns without an outcome and without taking the ticket
    // has no test under way. May throw: RunTest shows "Error" then.
    virtual void test(int position) = 0;
    // Abandons every test still in flight: none of them reaches ReportOutcome
    // afterwards. Called when the program ends or the list is replaced.
    virtual void cancelAll() {}
};

class ScheduleGate
{
public:
    virtual ~ScheduleGate() = default;
    virtual bool isTestAllowedNow(int position) = 0;
};

class EventSink
{
public:
    virtual ~EventSink() = default;
    virtual void appendLine(const QString &line) = 0;
};

class AlertSink
{
public:
    virtual ~AlertSink() = default;
    virtual void dispatchAlert(int position, const QString &alertText, bool alive) = 0;
};

// One observer object: its record and the cells of its row.
struct ObserverObject {
    quint64 id = 0; // unique for the run; survives moves in the list
    ObserverRecord record;
    QString caption;  // "Host"
    QString status;   // "Status"
    QString lastTest; // "Last Test"
    QString interval; // "Interval"
    QString method;   // "Test metod"
    // The last completed outcome beside its cells: its cause and response
    // time (Outcome) and when it arrived (invalid before the first).
    QString cause;
    qint64 responseMs = -1;
    QDateTime lastTestTime;
    // Failed tests in a row since the last pass ("Alert after N bad attempts").
    int failuresInRow = 0;
    // The test under way: its serial (0 when none) and when it started on
    // the engine's monotonic clock. Kept by the engine.
    quint64 testSerial = 0;
    qint64 testStartedMs = 0;
    mutable bool ticketTaken = false; // the probe took the ticket of the test
    // Its timed tests, kept by the engine's tick queue: the interval (0 when
    // never timed), whether it ticks, the generation of its queued tick (a
    // queued tick of an older generation is stale) and when that tick is due
    // on the engine's monotonic clock.
    qint64 tickIntervalMs = 0;
    bool timed = false;
    quint64 tickGeneration = 0;
    qint64 tickDueMs = 0;

    int position = 0; // its position in ObserverList, kept by the engine
};

class MonitorEngine;

// The main list's cells as a table model (caption + four cells).
class ObserverRowModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { HostColumn, StatusColumn, LastTestColumn, IntervalColumn, MethodColumn, ColumnCount };
    // Qt::UserRole + 1: the status image index (0 failure, 1 OK, 2 testing).
    static constexpr int StatusImageRole = Qt::UserRole + 1;

    explicit ObserverRowModel(MonitorEngine *engine);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static int statusImageIndex(const QString &status);
    // The cause of the last outcome with its response time, for the Status
    // cell's tooltip and the status bar ("connection refused", "answered in
    // 12 ms", "12.0 MB free (3 ms)"); empty before the first outcome.
    static QString causeText(const ObserverObject &object);

private:
    friend class MonitorEngine;
    MonitorEngine *m_engine;
};

class MonitorEngine : public QObject
{
    Q_OBJECT
public:
    explicit MonitorEngine(QObject *parent = nullptr);
    ~MonitorEngine() override;

    // Hooks. The engine does not own them; unset hooks do nothing (an unset
    // gate allows every test).
    void setProbe(qint32 kind, ObserverProbe *probe);
    void setScheduleGate(ScheduleGate *gate) { m_gate = gate; }
    void setEventSink(EventSink *sink) { m_events = sink; }
    void setAlertSink(AlertSink *sink) { m_alerts = sink; }
    // The clock of the Last Test cell and the event-log lines.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    // The program option "Alert after N bad attempts" (off by default). When
    // on, a failure changes an object's LastResult, is logged and alerted
    // only once the object has failed its record's AlertAfter tests in a
    // row; the Status cell still shows every failure at once, and one pass
    // is enough for Alive. AlertAfter of 0 or 1 acts on the first failure.
    void setAlertAfterEnabled(bool on) { m_alertAfter = on; }
    bool alertAfterEnabled() const { return m_alertAfter; }

    ObserverRowModel *model() { return &m_model; }

    // ObserverList: position i is object and row i.
    int count() const { return int(m_objects.size()); }
    ObserverObject *object(int position);
    const ObserverObject *object(int position) const;
    // The object's interval timer, as the tick queue keeps it. One QTimer
    // serves every object: it is armed for the earliest due tick, so the
    // work of a tick does not grow with the number of objects.
    // isTimed: the object ticks (Enabled and an interval above 0:0).
    // intervalMs: the interval its ticks keep (0 for 0:0: never timed),
    // whether it is Enabled or not. msUntilTick: the time until its next tick
    // (-1 when it is not timed).
    bool isTimed(int position) const;
    qint64 intervalMs(int position) const;
    qint64 msUntilTick(int position) const;
    // Test hooks: the object's tick now, as its timer would deliver it (the
    // observer state and the schedule gate still decide); and a new interval
    // for its ticks, counted from now, until the next Edit re-times it.
    void fireTick(int position);
    void setTickInterval(int position, qint64 ms);
    // Position of the object with the id, or -1 when it is gone. Constant
    // work: objects are found by identity, not by a search of the list.
    int positionOf(quint64 id) const;
    // Position of the ticket's object while that test is still its test
    // under way; -1 when the object is gone or the test was superseded or
    // cancelled.
    int positionOf(const TestTicket &ticket) const;
    // The ticket of the test under way at the position (serial 0 when none;
    // invalid when there is no object there).
    TestTicket testTicket(int position) const;
    bool isTestInFlight(int position) const;
    int testsInFlight() const;

    void AppendObject(const ObserverRecord &record, const QString &caption);
    void RemoveObject(int position);
    // New: removes every object, row and queued tick.
    void clear();
    // Starts a test of the object. An object whose test is still under way
    // is not tested again: the call does nothing new (a tick is skipped, a
    // Refresh waits for the outcome already coming).
    void RunTest(int position);
    // The closing step of every test. The position form ends whatever test
    // the object has under way; the ticket form reports only while its test
    // is still the object's test under way.
    void ReportOutcome(int position, const Outcome &outcome);
    void ReportOutcome(const TestTicket &ticket, const Outcome &outcome);
    // Abandons every test under way: every probe drops its work and no
    // outcome of those tests reaches a row, the log or the alerts. Objects
    // tested later (a new project) are tested as usual.
    void cancelAll();
    // A test whose outcome has not come after this long is taken as lost
    // (a probe that dropped it), so that the object is tested again.
    void setLostTestMs(qint64 ms) { m_lostTestMs = ms; }
    // After an Edit: the timer takes the record's interval and Enabled flag
    // and the Interval cell its text; the caption becomes the given text.
    void applyEdit(int position, const QString &caption);

    bool isStarted() const { return m_started; }
    // The StartButton action's handler: the action already switched its
    // state; this records it and logs the start or stop line.
    void StartButtonClick(bool nowStarted);
    void RefreshToolButtonClick(int selectedRow);
    void RefreshAll1Click();

    // Sets a row's Status cell (and repaints the row).
    void setStatus(int position, const QString &status);
    void setCaption(int position, const QString &caption);

signals:
    void startedChanged(bool started);

private:
    // A tick of the object at the position: tests it when the observer is
    // started and the schedule gate allows it.
    void TimerTimer(int position);
    struct Tick {
        qint64 dueMs;
        quint64 object;
        quint64 generation;
    };
    // Gives the object its timing from the record (or the given interval)
    // and queues its next tick at now + interval when it is timed.
    void retime(ObserverObject *o, qint64 intervalMs, bool enabled);
    void queueTick(const ObserverObject *o);
    void dropTickQueue();
    void armTickTimer();
    void runDueTicks();
    void endTest(ObserverObject *o) { o->testSerial = 0; }
    void rowChanged(int position);
    void appendLog(const QString &line);

    std::vector<std::unique_ptr<ObserverObject>> m_objects; // ObserverList
    // The tick queue: a min-heap on (due time, object id) of the timed
    // objects' next ticks, stale entries (removed or re-timed objects)
    // dropped when they reach the top or when they outnumber the live ones.
    std::vector<Tick> m_ticks;
    int m_timedCount = 0;
    QTimer m_tickTimer;
    qint64 m_armedDueMs = -1; // the due time m_tickTimer is armed for
    QHash<quint64, ObserverObject *> m_byId;
    ObserverRowModel m_model;
    ObserverProbe *m_probes[9] = {};
    ScheduleGate *m_gate = nullptr;
    EventSink *m_events = nullptr;
    AlertSink *m_alerts = nullptr;
    std::function<QDateTime()> m_clock;
    bool m_started = false;
    bool m_alertAfter = false;
    quint64 m_nextId = 1;
    quint64 m_nextSerial = 1;
    qint64 m_lostTestMs = 120000;
    QElapsedTimer m_monotonic;
};
