#pragma once

#include "core/engine.h"

#include <QStringList>

#include <functional>
#include <stdexcept>

// Records the engine's event-log lines.
class RecordingEventSink : public EventSink
{
public:
    QStringList lines;
    void appendLine(const QString &line) override { lines << line; }
};

// Records the engine's alert dispatches as "position|text|Alive/Dead".
class RecordingAlertSink : public AlertSink
{
public:
    QStringList alerts;
    void dispatchAlert(int position, const QString &text, bool alive) override
    {
        alerts << QStringLiteral("%1|%2|%3").arg(position).arg(text, alive ? QStringLiteral("Alive") : QStringLiteral("Dead"));
    }
};

// A probe whose outcome the test decides: pass, fail, or throw. It records
// the target of every object it was asked to test.
class ScriptedProbe : public ObserverProbe
{
public:
    enum Result { Pass, Fail, Throw };

    explicit ScriptedProbe(MonitorEngine &engine) : m_engine(engine) {}

    Result next = Pass;
    QStringList tested; // targets in test order
    std::function<void(int)> before; // runs at the start of each test

    void test(int position) override
    {
        if (before)
            before(position);
        const ObserverObject *o = m_engine.object(position);
        const QString target = o->record.target();
        tested << target;
        if (next == Throw)
            throw std::runtime_error("probe failed");
        Outcome out;
        out.pass = next == Pass;
        out.failMarker = QStringLiteral("Fake Error");
        out.failStatus = QStringLiteral("Error");
        out.hostField = target;
        out.statusField = target + (out.pass ? QStringLiteral(" OK") : QStringLiteral(" failed"));
        out.methodName = Records::kindColumnText(o->record.Kind);
        out.alertSuffix = out.pass ? QStringLiteral(" Fake OK") : QStringLiteral(" Fake Error");
        m_engine.ReportOutcome(position, out);
    }

private:
    MonitorEngine &m_engine;
};
