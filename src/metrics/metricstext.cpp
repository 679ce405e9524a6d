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

QByteArray render(const MonitorEngine &engine)
{
    const int n = engine.count();
    // The label set of every object, once.
    std::vector<QByteArray> labels(static_cast<size_t>(n));
    QHash<QByteArray, int> seen;
    seen.reserve(n);
    for (int i = 0; i < n; ++i) {
        const ObserverObject *o = engine.object(i);
        // The caption the main list shows masks a database password; the
        // mask is applied again to every kind so that a URL's user:password@
        // or a typed caption holding a password never leaves the program.
        QByteArray set = "host=\"" + escapeLabelValue(Records::maskPassword(o->caption)) + "\",method=\"" +
                         escapeLabelValue(o->method) + '"';
        const int count = ++seen[set];
        if (count > 1)
            set += ",duplicate=\"" + QByteArray::number(count) + '"';
        labels[size_t(i)] = std::move(set);
    }

    QByteArray out;
    out.reserve(256 + n * 200);
    appendHeader(out, "sentrova_up", "1 when the last test of the object passed, 0 when it failed or has not run.");
    for (int i = 0; i < n; ++i) {
        out += "sentrova_up{";
        out += labels[size_t(i)];
        out += engine.object(i)->record.LastResult == QLatin1String("OK") ? "} 1\n" : "} 0\n";
    }
    appendHeader(out, "sentrova_last_test_timestamp_seconds", "When the last test of the object ended, in seconds since the epoch.");
    for (int i = 0; i < n; ++i) {
        const ObserverObject *o = engine.object(i);
        if (!o->lastTestTime.isValid())
            continue;
        out += "sentrova_last_test_timestamp_seconds{";
        out += labels[size_t(i)];
        out += "} ";
        appendMillis(out, o->lastTestTime.toMSecsSinceEpoch());
        out += '\n';
    }
    appendHeader(out, "sentrova_response_seconds", "How long the peer took to answer the last test, in seconds.");
    for (int i = 0; i < n; ++i) {
        const ObserverObject *o = engine.object(i);
        if (o->responseMs < 0)
            continue;
        out += "sentrova_response_seconds{";
        out += labels[size_t(i)];
        out += "} ";
        appendMillis(out, o->responseMs);
        out += '\n';
    }
    appendHeader(out, "sentrova_observer_started", "1 while the observer is started and the objects are tested.");
    out += engine.isStarted() ? "sentrova_observer_started 1\n" : "sentrova_observer_started 0\n";
    return out;
}

} // namespace MetricsText
