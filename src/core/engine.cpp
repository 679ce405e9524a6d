#include "engine.h"

#include "ansitext.h"
#include "formats.h"

#include <QCoreApplication>

#include <climits>
#include <algorithm>
#include <iterator>

namespace {
// The serial of a test that was cancelled: its late outcome, in either form
// of ReportOutcome, is dropped.
constexpr quint64 kCancelled = ~quint64(0);
} // namespace

// ---- row model -------------------------------------------------------------

ObserverRowModel::ObserverRowModel(MonitorEngine *engine)
    : QAbstractTableModel(engine), m_engine(engine)
{
}

int ObserverRowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_engine->count();
}

int ObserverRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int ObserverRowModel::statusImageIndex(const QString &status)
{
    if (status == QLatin1String("OK"))
        return 1;
    if (status == QLatin1String("TEST"))
        return 2;
    return 0;
}

QString ObserverRowModel::causeText(const ObserverObject &object)
{
    QString text = object.cause;
    if (object.responseMs >= 0) {
        const QString ms = QString::number(object.responseMs) + QLatin1String(" ms");
        if (!text.contains(ms))
            text = text.isEmpty() ? ms : text + QLatin1String(" (") + ms + QLatin1Char(')');
    }
    return text;
}

QVariant ObserverRowModel::data(const QModelIndex &index, int role) const
{
    const ObserverObject *o = m_engine->object(index.row());
    if (!o)
        return {};
    if (role == StatusImageRole)
        return statusImageIndex(o->status);
    if (role == Qt::ToolTipRole) {
        if (index.column() != StatusColumn)
            return {};
        const QString text = causeText(*o);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case HostColumn: return o->caption;
    case StatusColumn: return o->status;
    case LastTestColumn: return o->lastTest;
    case IntervalColumn: return o->interval;
    case MethodColumn: return o->method;
    default: return {};
    }
}

QVariant ObserverRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const captions[] = {"Host", "Status", "Last Test", "Interval", "Test metod"};
    if (section >= 0 && section < ColumnCount)
        return QString::fromLatin1(captions[section]);
    return {};
}

// ---- engine ----------------------------------------------------------------

MonitorEngine::MonitorEngine(QObject *parent) : QObject(parent), m_model(this)
{
    m_monotonic.start();
    m_tickTimer.setSingleShot(true);
    m_tickTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_tickTimer, &QTimer::timeout, this, &MonitorEngine::runDueTicks);
}

MonitorEngine::~MonitorEngine() = default;

void MonitorEngine::setProbe(qint32 kind, ObserverProbe *probe)
{
    if (Records::isKnownKind(kind))
        m_probes[kind] = probe;
}

ObserverObject *MonitorEngine::object(int position)
{
    if (position < 0 || position >= count())
        return nullptr;
    return m_objects[size_t(position)].get();
}

const ObserverObject *MonitorEngine::object(int position) const
{
    if (position < 0 || position >= count())
        return nullptr;
    return m_objects[size_t(position)].get();
}

bool MonitorEngine::isTimed(int position) const
{
    const ObserverObject *o = object(position);
    return o && o->timed;
}

qint64 MonitorEngine::intervalMs(int position) const
{
    const ObserverObject *o = object(position);
    return o ? o->tickIntervalMs : 0;
}

qint64 MonitorEngine::msUntilTick(int position) const
{
    const ObserverObject *o = object(position);
    if (!o || !o->timed)
        return -1;
    return std::max<qint64>(0, o->tickDueMs - m_monotonic.elapsed());
}

void MonitorEngine::fireTick(int position)
{
    if (object(position))
        TimerTimer(position);
}

void MonitorEngine::setTickInterval(int position, qint64 ms)
{
    if (ObserverObject *o = object(position))
        retime(o, ms, o->timed);
}

int MonitorEngine::positionOf(quint64 id) const
{
    const ObserverObject *o = m_byId.value(id);
    return o ? o->position : -1;
}

int MonitorEngine::positionOf(const TestTicket &ticket) const
{
    if (!ticket.isValid())
        return -1;
    const ObserverObject *o = object(ticket.hint);
    if (!o || o->id != ticket.object)
        o = m_byId.value(ticket.object);
    if (!o)
        return -1;
    // Serial 0: a probe called directly, outside RunTest; it matches the
    // object unless its test was cancelled.
    if (ticket.serial == 0 ? o->testSerial == kCancelled : o->testSerial != ticket.serial)
        return -1;
    return o->position;
}

TestTicket MonitorEngine::testTicket(int position) const
{
    const ObserverObject *o = object(position);
    if (!o)
        return {};
    o->ticketTaken = true;
    return TestTicket{o->id, o->testSerial == kCancelled ? 0 : o->testSerial, position};
}

bool MonitorEngine::isTestInFlight(int position) const
{
    const ObserverObject *o = object(position);
    return o && o->testSerial != 0 && o->testSerial != kCancelled;
}

int MonitorEngine::testsInFlight() const
{
    int n = 0;
    for (const auto &o : m_objects)
        if (o->testSerial != 0 && o->testSerial != kCancelled)
            ++n;
    return n;
}

void MonitorEngine::rowChanged(int position)
{
    emit m_model.dataChanged(m_model.index(position, 0), m_model.index(position, ObserverRowModel::ColumnCount - 1));
}

// The interval of the record's ticks: 0 (never) for 0:0, for a negative
// one and for one beyond what a timer's int milliseconds hold.
static qint64 recordIntervalMs(const ObserverRecord &rec)
{
    const qint64 ms = rec.intervalMs();
    return ms <= 0 || ms > std::numeric_limits<int>::max() ? 0 : ms;
}

namespace {
// Orders the tick heap so that its front is the earliest tick; of ticks due
// at the same time, the object added first.
bool laterTick(const auto &a, const auto &b)
{
    return a.dueMs != b.dueMs ? a.dueMs > b.dueMs : a.object > b.object;
}
} // namespace

void MonitorEngine::retime(ObserverObject *o, qint64 intervalMs, bool enabled)
{
    const bool timed = intervalMs > 0 && enabled;
    m_timedCount += int(timed) - int(o->timed);
    o->tickIntervalMs = intervalMs > 0 ? intervalMs : 0;
    o->timed = timed;
    ++o->tickGeneration; // a tick still queued for the old timing is stale
    if (timed) {
        o->tickDueMs = m_monotonic.elapsed() + intervalMs;
        queueTick(o);
    }
}

void MonitorEngine::queueTick(const ObserverObject *o)
{
    // Stale entries are dropped as they reach the front; when they outnumber
    // the live ones the queue is built again, so it stays within twice the
    // timed objects.
    if (m_ticks.size() >= size_t(2 * m_timedCount + 64)) {
        std::vector<Tick> live;
        live.reserve(size_t(m_timedCount) + 1);
        for (const Tick &t : m_ticks) {
            const ObserverObject *owner = m_byId.value(t.object);
            if (owner && owner->timed && owner->tickGeneration == t.generation && owner != o)
                live.push_back(t);
        }
        m_ticks.swap(live);
        std::make_heap(m_ticks.begin(), m_ticks.end(), laterTick<Tick, Tick>);
    }
    m_ticks.push_back(Tick{o->tickDueMs, o->id, o->tickGeneration});
    std::push_heap(m_ticks.begin(), m_ticks.end(), laterTick<Tick, Tick>);
    armTickTimer();
}

void MonitorEngine::dropTickQueue()
{
    m_ticks.clear();
    m_timedCount = 0;
    m_tickTimer.stop();
    m_armedDueMs = -1;
}

void MonitorEngine::armTickTimer()
{
    if (m_ticks.empty()) {
        m_tickTimer.stop();
        m_armedDueMs = -1;
        return;
    }
    const qint64 due = m_ticks.front().dueMs;
    if (m_tickTimer.isActive() && m_armedDueMs == due)
        return;
    const qint64 wait = std::clamp<qint64>(due - m_monotonic.elapsed(), 0, std::numeric_limits<int>::max());
    m_armedDueMs = due;
    m_tickTimer.start(int(wait));
}

void MonitorEngine::runDueTicks()
{
    // Every tick that is due is taken off the queue and the object's next
    // one queued first; then the ticks run, in the order they were due. A
    // repeating tick that fell behind (a long stall) comes once, and the next
    // one an interval later: there is no burst of ticks to catch up.
    const qint64 nowMs = m_monotonic.elapsed();
    std::vector<Tick> due;
    while (!m_ticks.empty() && m_ticks.front().dueMs <= nowMs) {
        std::pop_heap(m_ticks.begin(), m_ticks.end(), laterTick<Tick, Tick>);
        const Tick t = m_ticks.back();
        m_ticks.pop_back();
        ObserverObject *o = m_byId.value(t.object);
        if (!o || !o->timed || o->tickGeneration != t.generation)
            continue;
        o->tickDueMs = t.dueMs + o->tickIntervalMs;
        if (o->tickDueMs <= nowMs)
            o->tickDueMs = nowMs + o->tickIntervalMs;
        m_ticks.push_back(Tick{o->tickDueMs, o->id, o->tickGeneration});
        std::push_heap(m_ticks.begin(), m_ticks.end(), laterTick<Tick, Tick>);
        due.push_back(t);
    }
    m_armedDueMs = -1;
    armTickTimer();
    // A test lets events run: an object may be removed or re-timed before
    // its tick here comes; such a tick is not delivered.
    for (const Tick &t : due) {
        const ObserverObject *o = m_byId.value(t.object);
        if (o && o->timed && o->tickGeneration == t.generation)
            TimerTimer(o->position);
    }
}

void MonitorEngine::AppendObject(const ObserverRecord &record, const QString &caption)
{
    auto obj = std::make_unique<ObserverObject>();
    obj->id = m_nextId++;
    obj->record = record;
    obj->caption = caption;
    obj->method = Records::kindColumnText(record.Kind);
    obj->interval = Records::intervalText(record);

    const int position = count();
    obj->position = position;
    m_model.beginInsertRows(QModelIndex(), position, position);
    ObserverObject *o = obj.get();
    m_byId.insert(obj->id, o);
    m_objects.push_back(std::move(obj));
    m_model.endInsertRows();
    retime(o, recordIntervalMs(record), record.Enabled);

    RunTest(position);
}

void MonitorEngine::RemoveObject(int position)
{
    if (position < 0 || position >= count())
        return;
    // Its queued tick goes stale: the queue finds no object of its id.
    m_timedCount -= int(m_objects[size_t(position)]->timed);
    m_model.beginRemoveRows(QModelIndex(), position, position);
    m_byId.remove(m_objects[size_t(position)]->id);
    m_objects.erase(m_objects.begin() + position);
    m_model.endRemoveRows();
    for (size_t i = size_t(position); i < m_objects.size(); ++i)
        m_objects[i]->position = int(i);
}

void MonitorEngine::clear()
{
    // Nothing of the old list is tested or reported any more.
    cancelAll();
    m_model.beginResetModel();
    dropTickQueue();
    m_byId.clear();
    m_objects.clear();
    m_model.endResetModel();
}

void MonitorEngine::cancelAll()
{
    // Each probe once, though one probe may serve several kinds.
    for (size_t k = 0; k < std::size(m_probes); ++k) {
        ObserverProbe *probe = m_probes[k];
        if (probe && std::find(m_probes, m_probes + k, probe) == m_probes + k)
            probe->cancelAll();
    }
    for (const auto &o : m_objects)
        if (o->testSerial != 0)
            o->testSerial = kCancelled;
}

void MonitorEngine::setStatus(int position, const QString &status)
{
    if (ObserverObject *o = object(position)) {
        o->status = status;
        rowChanged(position);
    }
}

void MonitorEngine::setCaption(int position, const QString &caption)
{
    if (ObserverObject *o = object(position)) {
        o->caption = caption;
        rowChanged(position);
    }
}

void MonitorEngine::RunTest(int position)
{
    ObserverObject *o = object(position);
    if (!o)
        return;
    const qint64 nowMs = m_monotonic.elapsed();
    if (o->testSerial != 0 && o->testSerial != kCancelled && nowMs - o->testStartedMs < m_lostTestMs)
        return; // its outcome is still coming: nothing new is started
    o->testSerial = m_nextSerial++;
    o->testStartedMs = nowMs;
    const TestTicket ticket{o->id, o->testSerial, position};
    setStatus(position, QStringLiteral("TEST"));

    // Repaints, queued ticks and user commands run here. Any of them may
    // remove this object or move it; the test follows the object itself.
    // A tick or Refresh of this object meanwhile finds its test under way.
    QCoreApplication::processEvents();
    position = positionOf(ticket);
    if (position < 0)
        return;
    o = object(position);

    ObserverProbe *probe = m_probes[Records::isKnownKind(o->record.Kind) ? o->record.Kind : 0];
    if (!probe) {
        endTest(o); // unknown kind (or no probe built in): Status stays "TEST"
        return;
    }
    o->ticketTaken = false;
    try {
        probe->test(position);
        // A probe that neither reported nor took the ticket has nothing
        // under way for this object.
        const int now = positionOf(ticket);
        if (now >= 0 && !object(now)->ticketTaken)
            endTest(object(now));
    } catch (...) {
        const int now = positionOf(ticket);
        if (now >= 0) {
            endTest(object(now));
            setStatus(now, QStringLiteral("Error"));
        }
    }
}

void MonitorEngine::TimerTimer(int position)
{
    if (!m_started)
        return;
    if (m_gate && !m_gate->isTestAllowedNow(position))
        return;
    RunTest(position);
}

void MonitorEngine::appendLog(const QString &line)
{
    if (m_events)
        m_events->appendLine(line);
}

void MonitorEngine::ReportOutcome(const TestTicket &ticket, const Outcome &outcome)
{
    const int position = positionOf(ticket);
    if (position >= 0)
        ReportOutcome(position, outcome);
}

void MonitorEngine::ReportOutcome(int position, const Outcome &outcome)
{
    ObserverObject *o = object(position);
    if (!o)
        return;
    if (o->testSerial == kCancelled) {
        o->testSerial = 0; // the late outcome of a cancelled test
        return;
    }
    endTest(o);
    const QDateTime when = now();
    o->status = outcome.pass ? QStringLiteral("OK") : outcome.failStatus;
    o->lastTest = Formats::longDateTime(when);
    o->lastTestTime = when;
    o->cause = outcome.cause;
    o->responseMs = outcome.responseMs;
    rowChanged(position);

    const QString marker = outcome.pass ? QStringLiteral("OK") : outcome.failMarker;
    o->failuresInRow = outcome.pass ? 0 : (o->failuresInRow < INT_MAX ? o->failuresInRow + 1 : INT_MAX);
    if (marker == o->record.LastResult)
        return;
    // Not yet enough bad attempts in a row: the failure shows in the row only.
    if (!outcome.pass && m_alertAfter && o->failuresInRow < o->record.AlertAfter)
        return;
    o->record.LastResult = Ansi::cut(marker, 255);
    const QString alertText = o->caption + outcome.alertSuffix;
    appendLog(Formats::eventTime(when) + QLatin1String(";;") + outcome.hostField + QLatin1String(";;") +
              outcome.statusField + QLatin1String(";;") + outcome.methodName);
    if (m_alerts)
        m_alerts->dispatchAlert(position, alertText, outcome.pass);
}

void MonitorEngine::applyEdit(int position, const QString &caption)
{
    ObserverObject *o = object(position);
    if (!o)
        return;
    o->caption = caption;
    o->interval = Records::intervalText(o->record);
    o->method = Records::kindColumnText(o->record.Kind);
    // A test still under way tested the old values: its outcome is dropped
    // and the next test starts at once.
    if (o->testSerial != 0)
        o->testSerial = kCancelled;
    retime(o, recordIntervalMs(o->record), o->record.Enabled);
    rowChanged(position);
}

void MonitorEngine::StartButtonClick(bool nowStarted)
{
    m_started = nowStarted;
    const QString time = Formats::eventTime(now());
    appendLog(time + (nowStarted ? QLatin1String(";;Sentrova Started;;Start;;Inner")
                                 : QLatin1String(";;Sentrova Stopped;;Stop;;Inner")));
    emit startedChanged(nowStarted);
}

void MonitorEngine::RefreshToolButtonClick(int selectedRow)
{
    if (object(selectedRow))
        RunTest(selectedRow);
}

void MonitorEngine::RefreshAll1Click()
{
    // Collect identities first: a test lets events run, which may remove or
    // add objects; each object still present is tested once, in row order.
    std::vector<quint64> ids;
    for (const auto &o : m_objects)
        ids.push_back(o->id);
    for (quint64 id : ids) {
        const int position = positionOf(id);
        if (position >= 0)
            RunTest(position);
    }
}
