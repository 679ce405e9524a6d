// The availability window over an event log the test writes: its rows and
// cells, the colours of the timeline, the tooltip of a stretch, the choice
// of span, reading new lines and a cleared log, the CSV and PNG exports, and
// reading a large log in slices without blocking.
#include "eventlog/availabilityform.h"
#include "eventlog/eventlog.h"

#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

using namespace Availability;

namespace
{

constexpr qint64 H = 3600;
// The window's clock: 6 March 2005, 00:00, so "24 hours" is 5 March.
const QDateTime kNow(QDate(2005, 3, 6), QTime(0, 0));
const qint64 D = wallSeconds(2005, 3, 5, 0, 0, 0);

QByteArray line(qint64 at, const char *host, const char *status, const char *method)
{
    return wallText(at).toLatin1() + ";;" + host + ";;" + status + ";;" + method;
}

// gw: OK, down 6:00 to 9:00 and 18:00 to 18:30 on 5 March, and down for two
// hours two days before. mail: from noon on, failing from 20:00.
void writeLog(EventLog &log)
{
    log.appendRawLine(line(D - 3 * 24 * H, "gw", "gw Ping OK", "Ping"));
    log.appendRawLine(line(D - 2 * 24 * H, "gw", "gw Ping error", "Ping"));
    log.appendRawLine(line(D - 2 * 24 * H + 2 * H, "gw", "gw Ping OK", "Ping"));
    log.appendRawLine(line(D + 6 * H, "gw", "gw Ping error", "Ping"));
    log.appendRawLine(line(D + 9 * H, "gw", "gw Ping OK", "Ping"));
    log.appendRawLine(line(D + 12 * H, "mail, relay", "mail Connect OK", "TCP Connect"));
    log.appendRawLine("a line without a date");
    log.appendRawLine(line(D + 18 * H, "gw", "gw Ping error", "Ping"));
    log.appendRawLine(line(D + 18 * H + 1800, "gw", "gw Ping OK", "Ping"));
    log.appendRawLine(line(D + 20 * H, "mail, relay", "mail TCP Connect Error", "TCP Connect"));
}

QString cell(TAvailabilityForm &form, int row, int column)
{
    return form.AvailabilityView->model()->index(row, column).data().toString();
}

bool waitReady(TAvailabilityForm &form)
{
    return QTest::qWaitFor([&] { return form.isReady(); }, 10000);
}

} // namespace

class TestAvailabilityForm : public QObject
{
    Q_OBJECT
private slots:
    void rowsAndCells();
    void timelineColoursAndTooltip();
    void spans();
    void newLinesAndClearedLog();
    void exports();
    void emptyLog();
    void largeLogInSlices();
};

void TestAvailabilityForm::rowsAndCells()
{
    EventLog log;
    writeLog(log);
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    QCOMPARE(form.windowTitle(), QStringLiteral("Availability"));
    QCOMPARE(form.SpanBox->currentText(), QStringLiteral("Last 24 hours"));
    form.show();
    QVERIFY(waitReady(form));

    QCOMPARE(form.AvailabilityView->model()->rowCount(), 2);
    const QStringList titles = {QStringLiteral("Host"), QStringLiteral("Test method"), QStringLiteral("Timeline"),
                                QStringLiteral("OK"), QStringLiteral("Failures"), QStringLiteral("Longest outage")};
    for (int c = 0; c < titles.size(); ++c)
        QCOMPARE(form.AvailabilityView->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    const QStringList gw = {QStringLiteral("gw"), QStringLiteral("Ping"), QString(),
                            QStringLiteral("85.42%"), QStringLiteral("2"), QStringLiteral("3:00:00")};
    // mail: no data until noon, OK 8 hours, failing 4 hours.
    const QStringList mail = {QStringLiteral("mail, relay"), QStringLiteral("TCP Connect"), QString(),
                              QStringLiteral("66.67%"), QStringLiteral("1"), QStringLiteral("4:00:00")};
    for (int c = 0; c < TAvailabilityForm::ColumnCount; ++c) {
        QCOMPARE(cell(form, 0, c), gw[c]);
        QCOMPARE(cell(form, 1, c), mail[c]);
    }
    QCOMPARE(form.StatusLabel->text(),
             QStringLiteral("2 objects from 10 lines, 05.03.2005 00:00:00 to 06.03.2005 00:00:00; "
                            "1 lines without a date or fields skipped"));
}

void TestAvailabilityForm::timelineColoursAndTooltip()
{
    EventLog log;
    writeLog(log);
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    form.resize(1000, 300);
    form.show();
    QVERIFY(waitReady(form));
    QApplication::processEvents();

    QTableView *view = form.AvailabilityView;
    const QImage shot = view->viewport()->grab().toImage();
    // The bar spans the cell less 2 pixels on each side; a point at hour h.
    auto at = [&](int row, double hour) {
        const QRect r = view->visualRect(view->model()->index(row, TAvailabilityForm::TimelineColumn));
        const int left = r.left() + 2, width = r.width() - 4;
        return QPoint(left + int(hour / 24.0 * width), r.center().y());
    };
    const QColor green(0x2e, 0xa0, 0x43), red(0xd7, 0x30, 0x27), grey(0xb4, 0xb4, 0xb4);
    struct Probe {
        int row;
        double hour;
        QColor colour;
    };
    const Probe probes[] = {
        {0, 3, green}, {0, 7.5, red}, {0, 12, green}, {0, 18.25, red}, {0, 22, green},
        {1, 6, grey},  {1, 16, green}, {1, 22, red},
    };
    for (const Probe &p : probes) {
        const QColor got = shot.pixelColor(at(p.row, p.hour));
        QVERIFY2(got == p.colour, qPrintable(QStringLiteral("row %1 at %2 h: %3, want %4")
                                                 .arg(p.row)
                                                 .arg(p.hour)
                                                 .arg(got.name(), p.colour.name())));
    }

    // The tooltip of the stretch under the mouse, as the view shows it.
    const QPoint inOutage = at(0, 7.5);
    QHelpEvent help(QEvent::ToolTip, inOutage, view->viewport()->mapToGlobal(inOutage));
    QApplication::sendEvent(view->viewport(), &help);
    const QString expected = QStringLiteral("From: 05.03.2005 06:00:00\nTo: 05.03.2005 09:00:00 (3:00:00)\n"
                                            "Status: gw Ping error");
    QCOMPARE(QToolTip::text(), expected);
    QToolTip::hideText();
    // Before the first line of an object: no data.
    const QRect r = view->visualRect(view->model()->index(1, TAvailabilityForm::TimelineColumn));
    QCOMPARE(form.timelineToolTip(1, 10, r.width() - 4),
             QStringLiteral("From: 05.03.2005 00:00:00\nTo: 05.03.2005 12:00:00 (12:00:00)\nStatus: No data"));
    // In a bar of one pixel per hour the half-hour outage still owns the
    // pixel it falls into.
    QCOMPARE(form.timelineToolTip(0, 18, 24).section(QLatin1Char('\n'), 2), QStringLiteral("Status: gw Ping error"));
    QCOMPARE(form.timelineToolTip(0, -1, 24), QString());
    QCOMPARE(form.timelineToolTip(5, 1, 24), QString());
}

void TestAvailabilityForm::spans()
{
    EventLog log;
    writeLog(log);
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    form.show();
    QVERIFY(waitReady(form));

    struct Want {
        Span span;
        QString text;
        qint64 from;
        QString gwFailures;
        qint64 gwNoData;
    };
    const Want wants[] = {
        {Span::Week, QStringLiteral("Last 7 days"), D + 24 * H - 7 * 24 * H, QStringLiteral("3"), 3 * 24 * H},
        {Span::Month, QStringLiteral("Last 30 days"), D + 24 * H - 30 * 24 * H, QStringLiteral("3"), 26 * 24 * H},
        {Span::Day, QStringLiteral("Last 24 hours"), D, QStringLiteral("2"), 0},
    };
    for (const Want &w : wants) {
        // Chosen in the window, as the user does.
        form.SpanBox->setCurrentIndex(form.SpanBox->findText(w.text));
        QVERIFY(!form.isReady());
        QVERIFY(waitReady(form));
        QCOMPARE(form.span(), w.span);
        QCOMPARE(form.rows().at(0).from, w.from);
        QCOMPARE(form.rows().at(0).to, D + 24 * H);
        QCOMPARE(cell(form, 0, TAvailabilityForm::FailuresColumn), w.gwFailures);
        QCOMPARE(form.rows().at(0).noDataSeconds, w.gwNoData);
    }
}

void TestAvailabilityForm::newLinesAndClearedLog()
{
    EventLog log;
    writeLog(log);
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    form.show();
    QVERIFY(waitReady(form));

    // A new object's line arrives while the window is open: it is read
    // within the second, without the old lines being read again.
    log.appendRawLine(line(D + 23 * H, "db", "\"db\" connection error", "Database Connect"));
    QSignalSpy ready(&form, &TAvailabilityForm::ready);
    QVERIFY(ready.wait(5000));
    QCOMPARE(form.AvailabilityView->model()->rowCount(), 3);
    QCOMPARE(cell(form, 2, TAvailabilityForm::HostColumn), QStringLiteral("db"));
    QCOMPARE(cell(form, 2, TAvailabilityForm::OutageColumn), QStringLiteral("1:00:00"));
    QCOMPARE(form.log().linesFed(), qint64(11));

    // The log is cleared (the analyser's Clear) and gets as many lines as it
    // had: the window notices and reads it anew.
    log.Clear();
    for (int i = 0; i < 11; ++i)
        log.appendRawLine(line(D + i * H, "new", i % 2 ? "new Ping error" : "new Ping OK", "Ping"));
    form.checkForNewLines();
    QVERIFY(waitReady(form));
    QCOMPARE(form.AvailabilityView->model()->rowCount(), 1);
    QCOMPARE(cell(form, 0, TAvailabilityForm::HostColumn), QStringLiteral("new"));
    QCOMPARE(cell(form, 0, TAvailabilityForm::FailuresColumn), QStringLiteral("5"));

    // Emptied: no rows.
    log.Clear();
    form.checkForNewLines();
    QVERIFY(waitReady(form));
    QCOMPARE(form.AvailabilityView->model()->rowCount(), 0);
}

void TestAvailabilityForm::exports()
{
    QTemporaryDir dir;
    EventLog log;
    writeLog(log);
    ScriptedPrompt prompt;
    TAvailabilityForm form(log, &prompt);
    form.setClock([] { return kNow; });
    form.resize(800, 300);
    form.show();
    QVERIFY(waitReady(form));

    // CSV: the title row and one row per object, the comma quoted.
    const QString csv = dir.filePath(QStringLiteral("week.csv"));
    prompt.fileNames.enqueue(csv);
    QTest::mouseClick(form.CsvBtn, Qt::LeftButton);
    QCOMPARE(prompt.shown.last().kind, QStringLiteral("save"));
    QCOMPARE(QString::fromUtf8(readFile(csv)),
             QStringLiteral("Host,Test method,From,To,OK %,Failures,Longest outage (s),OK (s),Failing (s),No data (s)\r\n"
                            "gw,Ping,05.03.2005 00:00:00,06.03.2005 00:00:00,85.42,2,10800,73800,12600,0\r\n"
                            "\"mail, relay\",TCP Connect,05.03.2005 00:00:00,06.03.2005 00:00:00,66.67,1,14400,28800,"
                            "14400,43200\r\n"));

    // PNG: the window as it shows.
    const QString png = dir.filePath(QStringLiteral("window.png"));
    prompt.fileNames.enqueue(png);
    QTest::mouseClick(form.PngBtn, Qt::LeftButton);
    const QImage picture(png);
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), form.size() * form.devicePixelRatio());

    // Cancelled dialogs write nothing; a folder that does not exist gets a
    // message naming the file, and nothing appears.
    const int shownBefore = int(prompt.shown.size());
    QTest::mouseClick(form.CsvBtn, Qt::LeftButton);
    QCOMPARE(int(prompt.shown.size()), shownBefore + 1);
    const QString nowhere = dir.filePath(QStringLiteral("missing/folder/out.csv"));
    for (QPushButton *button : {form.CsvBtn, form.PngBtn}) {
        prompt.fileNames.enqueue(nowhere);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(prompt.shown.last().kind, QStringLiteral("message"));
        QCOMPARE(prompt.shown.last().title, QStringLiteral("Error"));
        QVERIFY(prompt.shown.last().text.contains(nowhere));
        QVERIFY(!QFileInfo::exists(nowhere));
    }
}

void TestAvailabilityForm::emptyLog()
{
    EventLog log;
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    form.show();
    QVERIFY(waitReady(form));
    QCOMPARE(form.AvailabilityView->model()->rowCount(), 0);
    QVERIFY(form.StatusLabel->text().startsWith(QStringLiteral("0 objects from 0 lines")));
    QCOMPARE(form.csvText().count(QStringLiteral("\r\n")), 1);
}

// 300,000 lines: the window shows at once and reads them over many turns of
// the event loop, saying how far it is, and ends with the right figures.
void TestAvailabilityForm::largeLogInSlices()
{
    constexpr int kLines = 300000;
    EventLog log;
    const QByteArray okText = "big Ping OK", failText = "big Ping error";
    for (int i = 0; i < kLines; ++i)
        log.appendRawLine(line(D + i / 4, "big", i % 2 ? failText : okText, "Ping"));
    TAvailabilityForm form(log, nullptr);
    form.setClock([] { return kNow; });
    form.show();
    QApplication::processEvents();
    int turns = 0;
    bool sawProgress = false;
    while (!form.isReady() && turns < 100000) {
        QApplication::processEvents();
        sawProgress = sawProgress || form.StatusLabel->text().startsWith(QStringLiteral("Reading the event log: "));
        ++turns;
    }
    QVERIFY(form.isReady());
    QVERIFY(sawProgress);
    QVERIFY2(turns > 1, "the log was read in one go");
    QCOMPARE(form.log().linesFed(), qint64(kLines));
    QCOMPARE(form.rows().size(), size_t(1));
    // Four lines a second, the last one failing, until the window's end.
    const Figures &f = form.rows().front();
    QCOMPARE(f.failures, kLines / 2);
    QCOMPARE(f.okSeconds + f.failingSeconds, 24 * H);
}

QTEST_MAIN(TestAvailabilityForm)
#include "test_availabilityform.moc"
