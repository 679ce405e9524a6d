#include "engine.h"

#include "ansitext.h"
#include "formats.h"

#include <QCoreApplication>

#include <climits>

namespace {
const char *const kTag = "tag";
}

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

QVariant ObserverRowModel::data(const QModelIndex &index, int role) const
{
    const ObserverObject *o = m_engine->object(index.row());
    if (!o)
        return {};
    if (role == StatusImageRole)
        return statusImageIndex(o->status);
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

MonitorEngine::MonitorEngine(QObject *parent) : QObject(parent), m_model(this) {}

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
    for (int i = 0; i < count(); ++i)
        if (m_objects[size_t(i)]->id == id)
            return i;
    return -1;
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
    m_model.beginInsertRows(QModelIndex(), position, position);
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
    m_objects.erase(m_objects.begin() + position);
    m_model.endRemoveRows();
    for (size_t i = size_t(position); i < m_timers.size(); ++i)
        m_timers[i]->setProperty(kTag, m_timers[i]->property(kTag).toInt() - 1);
}

void MonitorEngine::clear()
{
    m_model.beginResetModel();
    for (QTimer *t : m_timers) {
        t->stop();
        t->deleteLater();
    }
    m_timers.clear();
    m_objects.clear();
    m_model.endResetModel();
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
    const quint64 id = o->id;
    setStatus(position, QStringLiteral("TEST"));

    // Repaints, queued ticks and user commands run here. Any of them may
    // remove this object or move it; the test follows the object itself.
    QCoreApplication::processEvents();
    position = positionOf(id);
    if (position < 0)
        return;

    ObserverProbe *probe = m_probes[Records::isKnownKind(object(position)->record.Kind) ? object(position)->record.Kind : 0];
    if (!probe)
        return; // unknown kind (or no probe built in): Status stays "TEST"
    try {
        probe->test(position);
    } catch (...) {
        const int now = positionOf(id);
        if (now >= 0)
            setStatus(now, QStringLiteral("Error"));
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

void MonitorEngine::ReportOutcome(int position, const Outcome &outcome)
{
    ObserverObject *o = object(position);
    if (!o)
        return;
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
