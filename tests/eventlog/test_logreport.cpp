// The pieces of the log analyser that need no window: how a line is cut into
// its four cells, the dates of the lines and of the date edits in the
// locale's order, and the HTML report's text, escaping and file.
#include "eventlog/eventlog.h"
#include "eventlog/logreport.h"
#include "eventlog/logview.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LogCells)

class TestLogReport : public QObject
{
    Q_OBJECT

private slots:
    void splitsIntoFourCells_data();
    void splitsIntoFourCells();
    void lineDates_data();
    void lineDates();
    void localeDateShapes_data();
    void localeDateShapes();
    void boundsMustBeCompleteDates_data();
    void boundsMustBeCompleteDates();
    void reportEscapesCellsAndDateTexts();
    void reportIsWindows1252WithCrLf();
    void reportFileReplacesOrNamesTheFile();
    void reportBeyondTheCodePageIsUtf8AndSaysSo_data();
    void reportBeyondTheCodePageIsUtf8AndSaysSo();
};

void TestLogReport::splitsIntoFourCells_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<LogCells>("cells");
    QTest::newRow("probe line") << QStringLiteral("05.03.2005 14:03:07;;gw-01;;gw-01 Ping OK;;Ping")
                                << LogCells{"05.03.2005 14:03:07", "gw-01", "gw-01 Ping OK", "Ping"};
    QTest::newRow("engine line") << QStringLiteral("05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner")
                                 << LogCells{"05.03.2005 14:03:07", "Sentrova Started", "Start", "Inner"};
    QTest::newRow("five separators: the rest is Test Metod")
        << QStringLiteral("05.03.2005 14:03:07;;h;;s;;URL Request;;x;;y")
        << LogCells{"05.03.2005 14:03:07", "h", "s", "URL Request;;x;;y"};
    QTest::newRow("no separator: all Event time") << QStringLiteral("written by hand")
                                                  << LogCells{"written by hand", "", "", ""};
    QTest::newRow("one separator") << QStringLiteral("a;;b") << LogCells{"a", "b", "", ""};
    QTest::newRow("two separators") << QStringLiteral("a;;b;;c") << LogCells{"a", "b", "c", ""};
    QTest::newRow("empty line") << QString() << LogCells{};
    QTest::newRow("empty fields") << QStringLiteral(";;;;;;") << LogCells{};
    QTest::newRow("three semicolons") << QStringLiteral("a;;;b;;c;;d") << LogCells{"a", ";b", "c", "d"};
}

void TestLogReport::splitsIntoFourCells()
{
    QFETCH(QString, line);
    QFETCH(LogCells, cells);
    const LogCells got = LogLine::split(line);
    QCOMPARE(got.eventTime, cells.eventTime);
    QCOMPARE(got.host, cells.host);
    QCOMPARE(got.status, cells.status);
    QCOMPARE(got.testMethod, cells.testMethod);
}

void TestLogReport::lineDates_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QDate>("date");
    QTest::newRow("program's line") << QByteArray("05.03.2005 14:03:07;;h;;s;;Ping") << QChar('.') << QDate(2005, 3, 5);
    QTest::newRow("day first in a month-first locale")
        << QByteArray("13.03.2005 14:03:07;;h;;s;;Ping") << QChar('/') << QDate(2005, 3, 13);
    QTest::newRow("locale separator accepted") << QByteArray("05/03/2005 x") << QChar('/') << QDate(2005, 3, 5);
    QTest::newRow("other separator refused") << QByteArray("05/03/2005 x") << QChar('.') << QDate();
    QTest::newRow("just the date") << QByteArray("31.12.1999") << QChar('.') << QDate(1999, 12, 31);
    QTest::newRow("too short") << QByteArray("05.03.200") << QChar('.') << QDate();
    QTest::newRow("one-digit day") << QByteArray("5.3.2005 14:03") << QChar('.') << QDate();
    QTest::newRow("not a real day") << QByteArray("30.02.2005 14:03") << QChar('.') << QDate();
    QTest::newRow("zeros") << QByteArray("00.00.0000 00:00") << QChar('.') << QDate();
    QTest::newRow("text") << QByteArray("Sentrova Started") << QChar('.') << QDate();
    QTest::newRow("empty") << QByteArray() << QChar('.') << QDate();
}

void TestLogReport::lineDates()
{
    QFETCH(QByteArray, line);
    QFETCH(QChar, separator);
    QFETCH(QDate, date);
    QCOMPARE(LogLine::eventDate(line, separator), date);
}

void TestLogReport::localeDateShapes_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("text");  // 5 March 2005 in the edit
    QTest::addColumn<QString>("blank"); // an unfilled edit
    QTest::newRow("de_DE dd.MM.yy") << "de_DE" << "99.99.9999;_" << "05.03.2005" << "  .  .    ";
    QTest::newRow("ru_RU dd.MM.yyyy") << "ru_RU" << "99.99.9999;_" << "05.03.2005" << "  .  .    ";
    QTest::newRow("en_US M/d/yy") << "en_US" << "99/99/9999;_" << "03/05/2005" << "  /  /    ";
    QTest::newRow("en_GB dd/MM/yyyy") << "en_GB" << "99/99/9999;_" << "05/03/2005" << "  /  /    ";
    QTest::newRow("nl_NL dd-MM-yyyy") << "nl_NL" << "99-99-9999;_" << "05-03-2005" << "  -  -    ";
    QTest::newRow("sv_SE yyyy-MM-dd") << "sv_SE" << "9999-99-99;_" << "2005-03-05" << "    -  -  ";
    QTest::newRow("hu_HU yyyy. MM. dd.") << "hu_HU" << "9999.99.99;_" << "2005.03.05" << "    .  .  ";
    QTest::newRow("bg_BG quoted era text") << "bg_BG" << "99.99.9999;_" << "05.03.2005" << "  .  .    ";
    QTest::newRow("C: no separator, day first") << "C" << "99/99/9999;_" << "05/03/2005" << "  /  /    ";
}

void TestLogReport::localeDateShapes()
{
    QFETCH(QString, locale);
    QFETCH(QString, mask);
    QFETCH(QString, text);
    QFETCH(QString, blank);
    const LocaleDateFormat format{QLocale(locale)};
    QCOMPARE(format.inputMask(), mask);
    QCOMPARE(format.format(QDate(2005, 3, 5)), text);
    QCOMPARE(format.parse(text), QDate(2005, 3, 5));
    QCOMPARE(format.blankText(), blank);
    QCOMPARE(format.parse(blank), QDate());
}

void TestLogReport::boundsMustBeCompleteDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("complete") << "04.03.2005" << QDate(2005, 3, 4);
    QTest::newRow("blanks around") << " 04.03.2005 " << QDate(2005, 3, 4);
    QTest::newRow("year unfilled") << "04.03.    " << QDate();
    QTest::newRow("year half filled") << "04.03.20  " << QDate();
    QTest::newRow("day half filled") << "4 .03.2005" << QDate();
    QTest::newRow("not a real day") << "31.04.2005" << QDate();
    QTest::newRow("other separator") << "04/03/2005" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void TestLogReport::boundsMustBeCompleteDates()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(LocaleDateFormat(LocaleDateFormat::DayMonthYear, QLatin1Char('.')).parse(text), date);
}

void TestLogReport::reportEscapesCellsAndDateTexts()
{
    // A log line must not put markup or script into the page.
    EventLog log;
    log.appendLine(QStringLiteral("05.03.2005 14:03:07;;<script>alert(1)</script>;;a & b;;\"Ping\""));
    LogViewModel view(log);
    view.rebuild();
    const QStringList lines = LogReport::lines(QStringLiteral("<b>"), QStringLiteral("&amp;"), view);
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines[6], QStringLiteral("<CENTER><FONT COLOR=\"#0000FF\"><H1> Velmora Software Labs </H1></FONT><hr> "
                                      "<h3> LOG Report from &lt;b&gt; to &amp;amp; </CENTER>"));
    QCOMPARE(lines[9], QStringLiteral("<TR><TD>05.03.2005 14:03:07</TD><TD>&lt;script&gt;alert(1)&lt;/script&gt;</TD>"
                                      "<TD>a &amp; b</TD><TD>&quot;Ping&quot;</TD></TR>"));
    QVERIFY(!lines.join(QString()).contains(QStringLiteral("<script>")));
}

void TestLogReport::reportIsWindows1252WithCrLf()
{
    // The log's bytes come back as they were: a Windows-1252 host name.
    EventLog log;
    log.appendRawLine("05.03.2005 14:03:07;;Z\xFCrich-printer;;Z\xFCrich-printer Ping OK;;Ping");
    LogViewModel view(log);
    view.rebuild();
    QCOMPARE(view.cells(0).host, QStringLiteral("Z\u00FCrich-printer"));
    const QByteArray bytes = LogReport::encode(LogReport::lines(QString(), QString(), view));
    QVERIFY(bytes.contains("<TR><TD>05.03.2005 14:03:07</TD><TD>Z\xFCrich-printer</TD>"));
    QVERIFY(bytes.endsWith("</BODY></HTML>\r\n"));
    QCOMPARE(bytes.count("\r\n"), 13);
    QCOMPARE(bytes.count('\n'), 13);
}

void TestLogReport::reportFileReplacesOrNamesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.htm"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("a much longer old report that must not leave a tail behind");
    old.close();
    QVERIFY(LogReport::write(path, "new\r\n"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("new\r\n"));

    // A path under a regular file cannot be created.
    const QString bad = path + QStringLiteral("/inside.htm");
    QString error;
    QVERIFY(!LogReport::write(bad, "x", &error));
    QVERIFY2(error.contains(bad), qPrintable(error));
}

void TestLogReport::reportBeyondTheCodePageIsUtf8AndSaysSo_data()
{
    QTest::addColumn<QByteArray>("logLine"); // as data.log holds it
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("latin-1 only") << QByteArray("05.03.2005 14:03:07;;Z\xFCrich;;s;;Ping") << QStringLiteral("Z\u00fcrich")
                                  << false;
    QTest::newRow("cyrillic") << QByteArray("05.03.2005 14:03:07;;\xd0\x94\xd0\xbe\xd0\xba;;s;;Ping")
                              << QStringLiteral("\u0414\u043e\u043a") << true;
    QTest::newRow("cjk") << QByteArray("05.03.2005 14:03:07;;\xe7\x9b\xa3;;s;;Ping") << QStringLiteral("\u76e3")
                         << true;
    QTest::newRow("emoji") << QByteArray("05.03.2005 14:03:07;;\xf0\x9f\x98\x80;;s;;Ping")
                           << QStringLiteral("\U0001F600") << true;
}

// One line beyond Windows-1252 makes the whole page UTF-8 (a page of two
// encodings cannot be shown right), declared in its head; a page that
// Windows-1252 holds keeps its old bytes and no declaration.
void TestLogReport::reportBeyondTheCodePageIsUtf8AndSaysSo()
{
    QFETCH(QByteArray, logLine);
    QFETCH(QString, host);
    QFETCH(bool, utf8);
    EventLog log;
    log.appendRawLine("05.03.2005 14:03:07;;Z\xFCrich;;s;;Ping");
    log.appendRawLine(logLine);
    LogViewModel view(log);
    view.rebuild();
    const QStringList lines = LogReport::lines(QStringLiteral("01.03.2005"), QStringLiteral("\u00fc"), view);
    const QByteArray bytes = LogReport::encode(lines);
    QCOMPARE(bytes.contains(LogReport::Utf8Declaration), utf8);
    if (!utf8) {
        QVERIFY(bytes.contains("<TD>Z\xFCrich</TD>"));
        return;
    }
    QVERIFY(bytes.startsWith(QByteArray("<HTML><HEAD>") + LogReport::Utf8Declaration + "<TITLE>"));
    // Every line is UTF-8, the Windows-1252 one from the log as well.
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(text.toUtf8(), bytes);
    QVERIFY(text.contains(QStringLiteral("<TD>Z\u00fcrich</TD>")));
    QVERIFY(text.contains(QStringLiteral("<TD>%1</TD>").arg(host)));
    QVERIFY(text.contains(QStringLiteral(" to \u00fc ")));
    QCOMPARE(bytes.count("\r\n"), 14);
}

QTEST_GUILESS_MAIN(TestLogReport)
#include "test_logreport.moc"
