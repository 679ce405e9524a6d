// Times the log analyser over an event log of many lines, offscreen, for
// bench/cases/analyser.sh:
//   analyserbench LINES RUNS
// Fills the log with LINES event lines spread over a year, then RUNS times:
// opens the window (its view is built and painted) and clicks "Filter" with
// bounds that keep about half the lines (the view is rebuilt and painted).
// Prints one "open S filter S shown N" line per run, in seconds.
#include "eventlog/eventlog.h"
#include "eventlog/loganalyserform.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>

#include <cstdio>

namespace
{

// Lets the window lay out and paint what it now shows.
void settle(TLogAnalyserForm &form)
{
    QCoreApplication::processEvents();
    form.LogListView->viewport()->repaint();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int lines = args.size() > 1 ? args[1].toInt() : 1000000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;

    static const char *const kinds[][3] = {
        {"Ping", "gw-01", " Ping Error"},
        {"TCP Connect", "mail.example.com", " TCP Connect Error"},
        {"URL Request", "http://www.velmora.example/status/index.html", "Error 404: Not Found"},
        {"Disk Space", "/srv/backup", "Free space less then 80 Mb"},
        {"File/Folder Size", "/var/log/syslog", "Size more than 80 Mb"},
        {"Database Connect", "Provider=QPSQL;Data Source=db-primary", "Database Connect Error"},
    };
    EventLog log;
    QDateTime t(QDate(2004, 1, 1), QTime(8, 0));
    for (int i = 0; i < lines; ++i) {
        t = t.addSecs(7 + i % 53);
        const QByteArray stamp = t.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toLatin1();
        if (i % 500 == 0) {
            log.appendRawLine(stamp + (i % 1000 == 0 ? ";;Sentrova Started;;Start;;Inner"
                                                     : ";;Sentrova Stopped;;Stop;;Inner"));
            continue;
        }
        const auto &k = kinds[i % 6];
        log.appendRawLine(stamp + ";;" + k[1] + ";;" + k[2] + ";;" + k[0]);
    }
    // Bounds around the middle half of the log's dates.
    const QDate first = QDate(2004, 1, 1);
    const qint64 days = first.daysTo(t.date());
    const QDate from = first.addDays(days / 4), to = first.addDays(days * 3 / 4);

    TLogAnalyserForm form(log, nullptr, nullptr);
    form.setDateLocale(QLocale(QStringLiteral("de_DE")));
    form.resize(800, form.height());
    for (int run = 0; run < runs; ++run) {
        form.FilterCheckBox->setChecked(false);
        form.StartDateEdit->clear();
        form.EndDateEdit->clear();

        QElapsedTimer timer;
        timer.start();
        form.show(); // builds the view of every line
        settle(form);
        const double open = timer.nsecsElapsed() / 1e9;
        if (form.viewModel()->rowCount() != log.count()) {
            std::fprintf(stderr, "the view shows %d of %d lines\n", form.viewModel()->rowCount(), log.count());
            return 1;
        }

        form.StartDateEdit->setText(form.dateFormat().format(from));
        form.EndDateEdit->setText(form.dateFormat().format(to));
        timer.restart();
        form.FilterCheckBox->click(); // rebuilds with the bounds
        settle(form);
        const double filter = timer.nsecsElapsed() / 1e9;
        const int shown = form.viewModel()->rowCount();
        if (shown <= 0 || shown >= log.count()) {
            std::fprintf(stderr, "the filter kept %d of %d lines\n", shown, log.count());
            return 1;
        }
        std::printf("open %.4f filter %.4f shown %d\n", open, filter, shown);
        std::fflush(stdout);
        form.hide();
        QCoreApplication::processEvents();
    }
    return 0;
}
