#pragma once

#include "core/engine.h"

#include <QHash>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
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

// A probe that ends later, when the test says so (finish) or after a delay
// on a real timer (delayMs per target). It keeps the ticket of every test it
// started and counts cancelAll calls.
class DeferredProbe : public ObserverProbe
{
public:
    explicit DeferredProbe(MonitorEngine &engine) : m_engine(engine) {}

    struct Started {
        QString target;
        TestTicket ticket;
    };
    QList<Started> started;
    QHash<QString, int> delayMs; // targets that end by themselves
    int cancelled = 0;
    bool pass = true;

    void test(int position) override
    {
        const ObserverObject *o = m_engine.object(position);
        const QString target = o->record.target();
        started << Started{target, m_engine.testTicket(position)};
        if (delayMs.contains(target)) {
            const TestTicket ticket = started.last().ticket;
            QTimer::singleShot(delayMs.value(target), m_context.get(), [this, ticket, target] { report(ticket, target); });
        }
    }
    void cancelAll() override
    {
        ++cancelled;
        m_context = std::make_unique<QObject>(); // drops the pending timers
    }
    // Ends the i-th test started with its own ticket.
    void finish(int i) { report(started.at(i).ticket, started.at(i).target); }
    int startedFor(const QString &target) const
    {
        int n = 0;
        for (const Started &s : started)
            n += s.target == target;
        return n;
    }

private:
    void report(const TestTicket &ticket, const QString &target)
    {
        Outcome out;
        out.pass = pass;
        out.failMarker = QStringLiteral("Fake Error");
        out.failStatus = QStringLiteral("Error");
        out.hostField = target;
        out.statusField = target + (pass ? QStringLiteral(" OK") : QStringLiteral(" failed"));
        out.methodName = QStringLiteral("Fake");
        out.alertSuffix = pass ? QStringLiteral(" Fake OK") : QStringLiteral(" Fake Error");
        out.cause = QStringLiteral("answered");
        out.responseMs = 12;
        m_engine.ReportOutcome(ticket, out);
    }

    MonitorEngine &m_engine;
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};
