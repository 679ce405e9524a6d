// Shots of the availability window over a sample log: the last 24 hours and
// the last 7 days, with a tooltip-sized outage, a stop of the observer and
// an object that appears late.
#include "shots.h"

#include "eventlog/availability.h"
#include "eventlog/availabilityform.h"
#include "eventlog/eventlog.h"

#include <QDateTime>

namespace {

const QDateTime kNow(QDate(2005, 3, 8), QTime(18, 0));

void fillLog(EventLog &log)
{
    const qint64 end = Availability::wallSeconds(kNow);
    const qint64 h = 3600;
    auto add = [&](qint64 hoursAgo, const char *host, const char *status, const char *method) {
        log.appendRawLine(Availability::wallText(end - hoursAgo * h).toLatin1() + ";;" + host + ";;" + status + ";;" +
                          method);
    };
    auto observer = [&](qint64 hoursAgo, bool started) {
        log.appendRawLine(Availability::wallText(end - hoursAgo * h).toLatin1() +
                          (started ? ";;Sentrova Started;;Start;;Inner" : ";;Sentrova Stopped;;Stop;;Inner"));
    };
    observer(200, true);
    add(199, "gw-01", "gw-01 Ping OK", "Ping");
    add(199, "mail.example.com", "mail.example.com Connect OK", "TCP Connect");
    add(199, "http://www.velmora.example/status/", "http://www.velmora.example/status/ OK", "URL Request");
    add(150, "mail.example.com", "mail.example.com TCP Connect Error", "TCP Connect");
    add(146, "mail.example.com", "mail.example.com Connect OK", "TCP Connect");
    add(120, "gw-01", "gw-01 Ping error", "Ping");
    add(119, "gw-01", "gw-01 Ping OK", "Ping");
    observer(96, false);
    observer(80, true);
    add(60, "Provider=QPSQL;Data Source=db-primary", "\"Provider=QPSQL;Data Source=db-primary\" test OK",
        "Database Connect");
    add(20, "http://www.velmora.example/status/", "http://www.velmora.example/status/ URL Request Error",
        "URL Request");
    add(17, "http://www.velmora.example/status/", "http://www.velmora.example/status/ OK", "URL Request");
    add(9, "gw-01", "gw-01 DNS Lookup error", "Ping");
    add(8, "gw-01", "gw-01 Ping error", "Ping");
    add(6, "gw-01", "gw-01 Ping OK", "Ping");
    add(3, "Provider=QPSQL;Data Source=db-primary", "\"Provider=QPSQL;Data Source=db-primary\" connection error",
        "Database Connect");
}

void availabilityShot(const Shots::Context &ctx, Availability::Span span, const QString &name)
{
    EventLog log;
    fillLog(log);
    TAvailabilityForm form(log, &Shots::quietPrompt());
    form.setClock([] { return kNow; });
    form.setSpan(span);
    form.resize(920, 260);
    form.show();
    for (int i = 0; i < 200 && !form.isReady(); ++i)
        Shots::settle();
    Shots::save(ctx, &form, name);
}

const Shots::Register day(QStringLiteral("availability-24h"), [](const Shots::Context &ctx) {
    availabilityShot(ctx, Availability::Span::Day, QStringLiteral("availability-24h"));
});
const Shots::Register week(QStringLiteral("availability-7d"), [](const Shots::Context &ctx) {
    availabilityShot(ctx, Availability::Span::Week, QStringLiteral("availability-7d"));
});

} // namespace
