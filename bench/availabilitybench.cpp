// Times the availability window over an event log of many lines, offscreen,
// for bench/cases/availability.sh:
//   availabilitybench LINES RUNS
// Fills the log with LINES event lines of 200 objects spread over the last
// 30 days, changes of outcome and the observer's start and stop lines mixed
// in, then RUNS times: opens a new window on the 30-day span and waits until
// every line is read and the figures are shown and painted. Prints one
// "open S rows N" line per run, in seconds.
#include "eventlog/availability.h"
#include "eventlog/availabilityform.h"
#include "eventlog/eventlog.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int lines = args.size() > 1 ? args[1].toInt() : 1000000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;

    static const char *const kinds[][3] = {
        {"Ping", " Ping OK", " Ping error"},
        {"TCP Connect", " Connect OK", " TCP Connect Error"},
        {"URL Request", " OK", " URL Request Error"},
        {"Database Connect", " test OK", " connection error"},
    };
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 end = Availability::wallSeconds(now);
    const qint64 start = end - 30 * 86400;
    EventLog log;
    for (int i = 0; i < lines; ++i) {
        const qint64 t = start + qint64(i) * (30 * 86400) / lines;
        const QByteArray stamp = Availability::wallText(t).toLatin1();
        if (i % 5000 == 0) {
            log.appendRawLine(stamp + (i % 10000 ? ";;Sentrova Stopped;;Stop;;Inner" : ";;Sentrova Started;;Start;;Inner"));
            continue;
        }
        const int object = (i * 7) % 200;
        const auto &k = kinds[object % 4];
        const QByteArray host = "host-" + QByteArray::number(object) + ".example.net";
        const bool ok = (i / 200) % 2 == 0;
        log.appendRawLine(stamp + ";;" + host + ";;" + host + (ok ? k[1] : k[2]) + ";;" + k[0]);
    }

    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        TAvailabilityForm form(log, nullptr);
        form.setClock([now] { return now; });
        form.setSpan(Availability::Span::Month);
        form.resize(900, 600);
        form.show();
        while (!form.isReady())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        form.AvailabilityView->viewport()->repaint();
        QCoreApplication::processEvents();
        const double open = timer.nsecsElapsed() / 1e9;
        std::printf("open %.4f rows %d\n", open, int(form.rows().size()));
        std::fflush(stdout);
    }
    return 0;
}
