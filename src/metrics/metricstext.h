#pragma once

#include <QByteArray>
#include <QString>

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
// A label value as the format wants it: \ " and line feed escaped.
QByteArray escapeLabelValue(const QString &value);
// The content type of the body.
inline constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";
} // namespace MetricsText
