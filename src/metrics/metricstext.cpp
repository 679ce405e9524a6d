#include "metricstext.h"

#include "core/engine.h"
#include "core/records.h"

#include <QHash>

#include <cstdio>
#include <vector>

namespace MetricsText
{

QByteArray escapeLabelValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace
{

// Milliseconds as seconds with three decimals, exact ("1.5" stays "1.500").
void appendMillis(QByteArray &out, qint64 ms)
{
    char buf[40];
    const char *sign = ms < 0 ? "-" : "";
    const unsigned long long a = ms < 0 ? 0ULL - (unsigned long long)ms : (unsigned long long)ms;
    const int n = std::snprintf(buf, sizeof buf, "%s%llu.%03llu", sign, a / 1000, a % 1000);
    out.append(buf, n);
}

void appendHeader(QByteArray &out, const char *name, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += " gauge\n";
}

} // namespace

static QByteArray baseLabels(const ObserverObject *o)
{
    // The caption the main list shows masks a database password; the mask is
    // applied again to every kind so that a URL's user:password@ or a typed
    // caption holding a password never leaves the program.
    return "host=\"" + escapeLabelValue(Records::maskPassword(o->caption)) + "\",method=\"" +
           escapeLabelValue(o->method) + '"';
}

void Renderer::fillValues(const MonitorEngine &engine, int i)
{
    const ObserverObject *o = engine.object(i);
    Row &r = m_rows[size_t(i)];
    r.up = o->record.LastResult == QLatin1String("OK") ? QByteArray("1") : QByteArray("0");
    r.seen.clear();
    if (o->lastTestTime.isValid())
        appendMillis(r.seen, o->lastTestTime.toMSecsSinceEpoch());
    r.response.clear();
    if (o->responseMs >= 0)
        appendMillis(r.response, o->responseMs);
}

void Renderer::rebuild(const MonitorEngine &engine)
{
    const int n = engine.count();
    m_rows.assign(size_t(n), Row());
    QHash<QByteArray, int> seen;
    seen.reserve(n);
    for (int i = 0; i < n; ++i) {
        Row &r = m_rows[size_t(i)];
        r.base = baseLabels(engine.object(i));
        r.labels = r.base;
        const int count = ++seen[r.base];
        if (count > 1)
            r.labels += ",duplicate=\"" + QByteArray::number(count) + '"';
        fillValues(engine, i);
    }
}

bool Renderer::refreshRow(const MonitorEngine &engine, int row)
{
    if (row < 0 || row >= int(m_rows.size()) || row >= engine.count())
        return false;
    if (baseLabels(engine.object(row)) != m_rows[size_t(row)].base)
        return false;
    fillValues(engine, row);
    return true;
}

QByteArray Renderer::body(const MonitorEngine &engine) const
{
    QByteArray out;
    out.reserve(m_size + 1024);
    const auto series = [&](const char *name, QByteArray Row::*value) {
        for (const Row &r : m_rows) {
            const QByteArray &v = r.*value;
            if (v.isEmpty())
                continue;
            out += name;
            out += '{';
            out += r.labels;
            out += "} ";
            out += v;
            out += '\n';
        }
    };
    appendHeader(out, "sentrova_up", "1 when the last test of the object passed, 0 when it failed or has not run.");
    series("sentrova_up", &Row::up);
    appendHeader(out, "sentrova_last_test_timestamp_seconds", "When the last test of the object ended, in seconds since the epoch.");
    series("sentrova_last_test_timestamp_seconds", &Row::seen);
    appendHeader(out, "sentrova_response_seconds", "How long the peer took to answer the last test, in seconds.");
    series("sentrova_response_seconds", &Row::response);
    appendHeader(out, "sentrova_observer_started", "1 while the observer is started and the objects are tested.");
    out += engine.isStarted() ? "sentrova_observer_started 1\n" : "sentrova_observer_started 0\n";
    m_size = out.size();
    return out;
}

QByteArray render(const MonitorEngine &engine)
{
    Renderer r;
    r.rebuild(engine);
    return r.body(engine);
}

} // namespace MetricsText
