// Times the event log store on one file, for bench/cases/event-log.sh.
//   eventlogbench load FILE        LoadEventLog(FILE)
//   eventlogbench save FILE OUT    LoadEventLog(FILE) untimed, SaveEventLog(OUT)
// Prints the number of lines and the microseconds the timed call took.
#include "eventlog/eventlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool save = args.size() == 4 && args[1] == QLatin1String("save");
    if (!save && !(args.size() == 3 && args[1] == QLatin1String("load"))) {
        std::fprintf(stderr, "usage: eventlogbench load FILE | save FILE OUT\n");
        return 2;
    }

    EventLog log;
    QElapsedTimer timer;
    if (!save)
        timer.start();
    if (!log.LoadEventLog(args[2])) {
        std::fprintf(stderr, "%s\n", qPrintable(log.errorString()));
        return 1;
    }
    const int lines = log.count();
    if (save) {
        timer.start();
        if (!log.SaveEventLog(args[3])) {
            std::fprintf(stderr, "%s\n", qPrintable(log.errorString()));
            return 1;
        }
    }
    const qint64 us = timer.nsecsElapsed() / 1000;
    std::printf("%d %lld\n", lines, static_cast<long long>(us));
    return 0;
}
