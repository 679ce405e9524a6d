#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class MonitorEngine;

// The state of the watched objects in the Prometheus text exposition format
// (version 0.0.4), one scrape's body:
//   sentrova_up{host,method}                   1 when the last outcome was "OK"
//   sentrova_last_test_timestamp_seconds{...}  when the last test ended (tested objects only)
//   sentrova_response_seconds{...}             the peer's answer time (only when known)
//   sentrova_observer_started                  1 while the observer is started
// "host" is the row caption with every password masked, "method" the
// "Test metod" cell. Two objects with the same host and method would make
// the same series twice, which Prometheus rejects; the second and later ones
// get a label duplicate="2", "3", ...
namespace MetricsText
{
QByteArray render(const MonitorEngine &engine);

// The same text kept row by row, so that after one object's outcome only its
// lines are made again (reading the time of a test and masking a caption are
// the costly parts; joining the lines is cheap).
class Renderer
{
public:
    // Every row from the engine.
    void rebuild(const MonitorEngine &engine);
    // The lines of one row again; false when its labels changed or the row is
    // not there (call rebuild() then: a label can make or end a duplicate).
    bool refreshRow(const MonitorEngine &engine, int row);
    QByteArray body(const MonitorEngine &engine) const;
    int rows() const { return int(m_rows.size()); }

private:
    struct Row {
        QByteArray base;   // host and method
        QByteArray labels; // base with the duplicate label when there is one
        QByteArray up, seen, response; // the values, each after "} "; empty when absent
    };
    void fillValues(const MonitorEngine &engine, int row);
    std::vector<Row> m_rows;
    mutable qsizetype m_size = 0; // the last body's size, to reserve the next
};

// A label value as the format wants it: \ " and line feed escaped.
QByteArray escapeLabelValue(const QString &value);
// The content type of the body.
inline constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";
} // namespace MetricsText
