#pragma once

// Shared by the ping, TCP and database probe tests: an engine whose event log
// and alerts are recorded, and the rule for missing peers (skip locally, fail
// under CI=true).

#include "core/engine.h"
#include "core/records.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QtTest>

struct RecordingSinks : public EventSink, public AlertSink {
    struct Alert {
        int position;
        QString text;
        bool alive;
    };
    QStringList lines; // event-log lines without their date and time
    QList<Alert> alerts;
    std::function<void(int)> duringAlert; // runs inside DispatchAlert

    void appendLine(const QString &line) override { lines << line.section(QLatin1String(";;"), 1); }
    void dispatchAlert(int position, const QString &alertText, bool alive) override
    {
        alerts.append({position, alertText, alive});
        if (duringAlert)
            duringAlert(position);
    }
};

// An engine wired to the sinks, with the probe set for one kind.
struct ProbeBench {
    MonitorEngine engine;
    RecordingSinks sinks;

    ProbeBench()
    {
        engine.setEventSink(&sinks);
        engine.setAlertSink(&sinks);
    }
    void attach(qint32 kind, ObserverProbe *probe)
    {
        probes[kind] = probe;
        engine.setProbe(kind, probe);
    }
    // Appends an object as loading a project does, but leaves it untested:
    // its Status stays "TEST" until a test calls the probe.
    int add(const ObserverRecord &rec)
    {
        engine.setProbe(rec.Kind, nullptr);
        engine.AppendObject(rec, Records::rowCaption(rec));
        engine.setProbe(rec.Kind, probes.value(rec.Kind));
        return engine.count() - 1;
    }
    // Waits until the object's test has ended (its outcome came, or it
    // was dropped); false when it is still under way after ms.
    bool settle(int position, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return !engine.isTestInFlight(position); }, ms);
    }
    QString cause(int position) const { return engine.object(position)->cause; }
    QMap<qint32, ObserverProbe *> probes;
    QString status(int position) const { return engine.object(position)->status; }
    QString lastResult(int position) const { return engine.object(position)->record.LastResult; }
};

inline bool underCi() { return qgetenv("CI") == "true"; }

// A missing test peer: skipped locally with the reason, a failure under CI.
#define REQUIRE_PEER(condition, reason)                                                                                \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            if (underCi())                                                                                             \
                QFAIL(qPrintable(QStringLiteral("missing test peer: ") + (reason)));                                   \
            QSKIP(qPrintable(reason));                                                                                 \
        }                                                                                                              \
    } while (0)
