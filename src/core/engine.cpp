#include "engine.h"

#include "ansitext.h"
#include "formats.h"

#include <QCoreApplication>

#include <climits>
#include <algorithm>
#include <iterator>

namespace {
const char *const kTag = "tag";
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
}

MonitorEngine::~MonitorEngine()
{
    for (QTimer *t : m_timers)
        delete t;
}

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

QTimer *MonitorEngine::timer(int position)
{
    if (position < 0 || position >= int(m_timers.size()))
        return nullptr;
    return m_timers[size_t(position)];
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

static void timeTimer(QTimer *t, const ObserverRecord &rec)
{
    const qint64 ms = rec.intervalMs();
    // A QTimer with interval 0 would fire continuously: 0:0 means never.
    if (ms <= 0 || ms > std::numeric_limits<int>::max()) {
        t->stop();
        t->setInterval(0);
        return;
    }
    t->setInterval(int(ms));
    if (rec.Enabled)
        t->start();
    else
        t->stop();
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
    m_byId.insert(obj->id, obj.get());
    m_objects.push_back(std::move(obj));
    auto *t = new QTimer;
    t->setProperty(kTag, position);
    connect(t, &QTimer::timeout, this, [this, t] { TimerTimer(t); });
    m_timers.push_back(t);
    m_model.endInsertRows();
    timeTimer(t, record);

    RunTest(position);
}

void MonitorEngine::RemoveObject(int position)
{
    if (position < 0 || position >= count())
        return;
    QTimer *t = m_timers[size_t(position)];
    t->stop();
    m_timers.erase(m_timers.begin() + position);
    t->deleteLater(); // it may be the sender of a tick that is running now
    m_model.beginRemoveRows(QModelIndex(), position, position);
    m_byId.remove(m_objects[size_t(position)]->id);
    m_objects.erase(m_objects.begin() + position);
    m_model.endRemoveRows();
    for (size_t i = size_t(position); i < m_timers.size(); ++i) {
        m_timers[i]->setProperty(kTag, m_timers[i]->property(kTag).toInt() - 1);
        m_objects[i]->position = int(i);
    }
}

void MonitorEngine::clear()
{
    // Nothing of the old list is tested or reported any more.
    cancelAll();
    m_model.beginResetModel();
    for (QTimer *t : m_timers) {
        t->stop();
        t->deleteLater();
    }
    m_timers.clear();
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

void MonitorEngine::TimerTimer(QTimer *t)
{
    const int tag = t->property(kTag).toInt();
    if (!m_started)
        return;
    if (m_gate && !m_gate->isTestAllowedNow(tag))
        return;
    RunTest(tag);
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
    timeTimer(m_timers[size_t(position)], o->record);
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
