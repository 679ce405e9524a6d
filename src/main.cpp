// Start-up of Velmora Sentrova: the application title, the windows created
// once each in their order, the project named on the command line, the
// signals that end the program, and the message loop.
#include "probes/probeworkers.h"
#include "ui/commandline.h"
#include "ui/desktop.h"
#include "ui/mainform.h"
#include "ui/qtprompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe work here: wake the event loop through the pipe.
    const char c = 1;
    const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    (void)n;
}

// SIGTERM (logoff, shutdown), SIGINT and SIGHUP end the program as a normal
// exit without any question.
bool installQuitSignals(QObject *context, const std::function<void()> &quit)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [quit] {
        char buf[16];
        while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
        }
        quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    return true;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// For the start-up benchmark only (SENTROVA_EXIT_WHEN_TESTED=1): once every
// row of the project shows its first outcome, print the time since start and
// the resident memory, then end as a normal exit.
// With SENTROVA_BENCH_TRACE=1 as well (the fleet benchmark), each row's
// first outcome is printed as "outcome ROW S" (seconds since start) as it
// comes, and at the end "max-stall-ms M": the longest delay of a 10 ms timer
// beyond its interval, how long the GUI thread was ever held.
void exitWhenTested(TMainForm &main, const QElapsedTimer &clock)
{
    const bool trace = qEnvironmentVariable("SENTROVA_BENCH_TRACE") == QLatin1String("1");
    auto seen = std::make_shared<std::vector<bool>>();
    auto maxStall = std::make_shared<qint64>(0);
    if (trace) {
        auto *stall = new QTimer(&main);
        stall->setTimerType(Qt::PreciseTimer);
        stall->setInterval(10);
        auto last = std::make_shared<qint64>(clock.elapsed());
        QObject::connect(stall, &QTimer::timeout, &main, [&clock, last, maxStall] {
            const qint64 now = clock.elapsed();
            *maxStall = std::max(*maxStall, now - *last - 10);
            *last = now;
        });
        stall->start();
    }
    auto *poll = new QTimer(&main);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, &main, [&main, &clock, poll, trace, seen, maxStall] {
        MonitorEngine &engine = main.engine();
        bool all = true;
        seen->resize(size_t(engine.count()), false);
        for (int i = 0; i < engine.count(); ++i) {
            const ObserverObject *o = engine.object(i);
            const bool tested = !o->lastTest.isEmpty() || o->status == QLatin1String("Error");
            if (tested && trace && !(*seen)[size_t(i)]) {
                (*seen)[size_t(i)] = true;
                std::printf("outcome %d %.3f\n", i, clock.elapsed() / 1000.0);
            }
            all = all && tested;
            if (!all && !trace)
                return;
        }
        if (!all)
            return;
        poll->stop();
        if (trace)
            std::printf("max-stall-ms %lld\n", static_cast<long long>(*maxStall));
        std::printf("tested %d rows in %.3f s, rss %ld kB\n", engine.count(), clock.elapsed() / 1000.0, residentKb());
        std::fflush(stdout);
        main.quitWithoutQuestions();
    });
    poll->start();
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer clock;
    clock.start();
    // --help, --version and a mistyped option end here, without a window.
    const CommandLine commandLine = CommandLine::parse(argc, argv);
    if (commandLine.action != CommandLine::Run)
        return commandLine.finish();
    QApplication app(argc, argv);
    // 1. The application title.
    // No display name is set: on X11 and Wayland the toolkit would append it
    // to every window title (" — Velmora Sentrova"); the application name
    // stands in wherever a display name is asked for.
    QApplication::setApplicationName(QStringLiteral("Velmora Sentrova"));
    QApplication::setDesktopFileName(QStringLiteral("sentrova"));
    // The program ends when its main window closes, not when its last
    // visible window does (the main window may be hidden in the tray).
    QApplication::setQuitOnLastWindowClosed(false);

    QtPrompt prompt;
    SystemDesktop desktop;

    // 2. The windows, once each. The main window is shown as soon as it
    // exists; its first showing loads the event log, the placement and the
    // options, and starts the observer when "Auto Start" is set.
    TMainForm main(&prompt, &desktop);
    prompt.setParentWidget(&main);
    desktop.setParentWidget(&main);
    QObject::connect(&main, &TMainForm::closed, &app, [] { QCoreApplication::exit(0); });
    main.show();
    main.createWindows();

    installQuitSignals(&main, [&main] { main.quitWithoutQuestions(); });

    // A project named on the command line opens once the loop runs, as Open
    // does; a missing file or one that is not a project gets Open's message
    // and the program goes on.
    const bool benchmark = qEnvironmentVariable("SENTROVA_EXIT_WHEN_TESTED") == QLatin1String("1");
    if (!commandLine.file.isEmpty() || benchmark) {
        const QString path = commandLine.file;
        QTimer::singleShot(0, &main, [&main, &clock, path, benchmark] {
            if (!path.isEmpty())
                main.openProjectFile(path);
            if (benchmark)
                exitWhenTested(main, clock);
        });
    }

    // 3. The message loop, until the main window closes.
    const int code = app.exec();
    // The stores are written. A worker thread still inside a file-system
    // call or a database open (a dead mount, a silent server) must neither
    // hold the end back nor run into the static destructors: end here.
    if (ProbeWorkers::busyThreadsEverywhere() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
