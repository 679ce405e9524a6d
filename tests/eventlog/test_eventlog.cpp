#include "core/engine.h"
#include "core/paths.h"
#include "eventlog/eventlog.h"

#include "../support/testfiles.h"
#include "../support/unicodetexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/stat.h>

namespace
{

QList<QByteArray> rawLines(const EventLog &log)
{
    QList<QByteArray> out;
    for (int i = 0; i < log.count(); ++i)
        out.append(log.rawLine(i).toByteArray());
    return out;
}

QByteArray joinedCrLf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void splitsAtEveryLineEnd_data();
    void splitsAtEveryLineEnd();
    void bytesRoundTripUnchanged();
    void textIsWindows1252();
    void firstStartWithoutFile();
    void clearThenSaveGivesEmptyFile();
    void unreadableFileGivesEmptyUsableLog_data();
    void unreadableFileGivesEmptyUsableLog();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void largeLogRoundTripsWhole();
    void engineStartAndStopLines();
    void linesBeyondTheCodePageRoundTrip_data();
    void linesBeyondTheCodePageRoundTrip();
};

// Each file is loaded, compared line by line, then written back: every line
// followed by CR LF, whatever line ends the file had.
void TestEventLog::splitsAtEveryLineEnd_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("crlf") << QByteArray("a;;b\r\nc;;d\r\n") << QList<QByteArray>{"a;;b", "c;;d"};
    QTest::newRow("lone lf") << QByteArray("a\nb\n") << QList<QByteArray>{"a", "b"};
    QTest::newRow("lone cr") << QByteArray("a\rb\r") << QList<QByteArray>{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd\r\n") << QList<QByteArray>{"a", "b", "c", "d"};
    QTest::newRow("no line end at the end") << QByteArray("a\r\nlast") << QList<QByteArray>{"a", "last"};
    QTest::newRow("cr at the very end") << QByteArray("a\r\nb\r") << QList<QByteArray>{"a", "b"};
    QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\n\nb\r\r\n") << QList<QByteArray>{"a", "", "", "b", ""};
    QTest::newRow("lf then cr is two line ends") << QByteArray("a\n\rb") << QList<QByteArray>{"a", "", "b"};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QList<QByteArray>{""};
    QTest::newRow("leading empty line") << QByteArray("\nx") << QList<QByteArray>{"", "x"};
    QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("lines without separators kept")
        << QByteArray("free text\r\n05.03.2005 14:03:07;;h;;s;;m;;more\r\n;;\r\n")
        << QList<QByteArray>{"free text", "05.03.2005 14:03:07;;h;;s;;m;;more", ";;"};
    QTest::newRow("crlf across a 16-byte block")
        << QByteArray("0123456789abcde\r\nx\r\n") << QList<QByteArray>{"0123456789abcde", "x"};

    // Lines of every length from 0 to 49 with CR LF, LF and CR in turn, so
    // that line ends fall at every position of the scanner's blocks.
    QByteArray file;
    QList<QByteArray> lines;
    const char *const ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 150; ++i) {
        const QByteArray line(i % 50, char('A' + i % 26));
        lines.append(line);
        file += line + ends[i % 3];
    }
    QTest::newRow("mixed, all lengths") << file << lines;
}

void TestEventLog::splitsAtEveryLineEnd()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<QByteArray>, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, file);

    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    QVERIFY(log.errorString().isEmpty());
    QCOMPARE(rawLines(log), lines);

    QVERIFY2(log.SaveEventLog(), qPrintable(log.errorString()));
    QCOMPARE(readFile(path), joinedCrLf(lines));
    QCOMPARE(log.count(), 0); // released after the save
}

// Every byte but CR and LF, the code page's holes included, comes back as
// it was read, also after passing through an append of the same text.
void TestEventLog::bytesRoundTripUnchanged()
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all.append(char(b));
    all.append('\0');
    const QByteArray file = "01.01.2025 00:00:00;;" + all + ";;x;;Ping\r\n\xE4\xF6\xFC\x80\x81\x8D\x8F\x90\x9D\r\n";

    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, file);
    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    QCOMPARE(log.count(), 2);

    // A line read as text and appended again is stored with the same bytes.
    log.appendLine(log.line(0));
    log.appendLine(log.line(1));
    QCOMPARE(log.rawLine(2), log.rawLine(0));
    QCOMPARE(log.rawLine(3), log.rawLine(1));

    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), file + file);
}

void TestEventLog::textIsWindows1252()
{
    EventLog log;
    log.appendLine(QStringLiteral("05.03.2005 14:03:07;;Zürich €;;Ping Error;;Ping"));
    log.appendLine(QStringLiteral("a\r\nb\nc")); // one event stays one line
    log.appendLine(QString());
    QCOMPARE(log.count(), 3);
    QCOMPARE(log.rawLine(0), QByteArrayView("05.03.2005 14:03:07;;Z\xFCrich \x80;;Ping Error;;Ping"));
    QCOMPARE(log.line(0), QStringLiteral("05.03.2005 14:03:07;;Zürich €;;Ping Error;;Ping"));
    QCOMPARE(log.line(1), QStringLiteral("a  b c"));
    QCOMPARE(log.line(2), QString());
    QCOMPARE(log.line(3), QString()); // out of range
    QCOMPARE(log.line(-1), QString());
    QVERIFY(log.rawLine(7).isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    QVERIFY(log.SaveEventLog(path));
    EventLog again;
    QVERIFY(again.LoadEventLog(path));
    QCOMPARE(again.count(), 3);
    QCOMPARE(again.line(1), QStringLiteral("a  b c"));
}

// No data.log in the data folder: an empty log, nothing reported, and the
// first save creates the file there.
void TestEventLog::firstStartWithoutFile()
{
    const QString path = Paths::dataFile("data.log");
    QVERIFY(path.startsWith(qEnvironmentVariable("SENTROVA_HOME")));
    QFile::remove(path);

    EventLog log;
    QVERIFY(log.LoadEventLog());
    QCOMPARE(log.count(), 0);
    QVERIFY(log.errorString().isEmpty());
    QCOMPARE(log.path(), path);

    log.appendLine("one");
    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), QByteArray("one\r\n"));
    QFile::remove(path);
}

void TestEventLog::clearThenSaveGivesEmptyFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, "a\r\nb\r\n");
    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    log.Clear();
    QCOMPARE(log.count(), 0);
    QCOMPARE(readFile(path), QByteArray("a\r\nb\r\n")); // Clear leaves the file alone
    QVERIFY(log.SaveEventLog());
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);

    // Lines appended after a Clear are the only ones written.
    QVERIFY(log.LoadEventLog(path));
    log.appendLine("x");
    log.Clear();
    log.appendLine("after");
    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), QByteArray("after\r\n"));
}

void TestEventLog::unreadableFileGivesEmptyUsableLog_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";
    QTest::newRow("pipe without a writer") << "fifo";
}

// A data.log that exists but cannot be read (the tests run as root, whom
// permission bits stop nothing): a folder of that name, or a named pipe,
// which would block the start for ever if it were opened.
void TestEventLog::unreadableFileGivesEmptyUsableLog()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    else
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    EventLog log;
    log.appendLine("left over from before");
    QVERIFY(!log.LoadEventLog(path));
    QVERIFY2(log.errorString().contains(path), qPrintable(log.errorString()));
    QCOMPARE(log.count(), 0);

    log.appendLine("05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner");
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.line(0), QStringLiteral("05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner"));

    // A later successful load clears the error.
    writeFile(dir.filePath("other.log"), "x\r\n");
    QVERIFY(log.LoadEventLog(dir.filePath("other.log")));
    QVERIFY(log.errorString().isEmpty());
}

void TestEventLog::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("parent is a regular file") << "under-file";
    QTest::newRow("disk refuses the write half way") << "size-limit";
}

// The save fails, says which file, keeps the lines so the caller may try
// again, and leaves the old content of the target as it was.
void TestEventLog::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString target = dir.filePath("data.log");
    const QByteArray old = "old line\r\n";
    if (how == "folder") {
        QVERIFY(QDir().mkpath(target));
        writeFile(target + "/inside", old);
    } else if (how == "under-file") {
        writeFile(dir.filePath("plain"), old);
        target = dir.filePath("plain/data.log");
    } else {
        writeFile(target, old);
    }

    EventLog log;
    // Enough lines to go past the size limit and the save's write buffers.
    const QByteArray line(100, 'x');
    for (int i = 0; i < 3000; ++i)
        log.appendRawLine(line);

    bool saved;
    {
        std::optional<FileSizeLimit> limit;
        if (how == "size-limit")
            limit.emplace(64 * 1024);
        saved = log.SaveEventLog(target);
    }
    QVERIFY(!saved);
    QVERIFY2(log.errorString().contains(target), qPrintable(log.errorString()));
    QCOMPARE(log.count(), 3000);

    if (how == "folder") {
        QVERIFY(QFileInfo(target).isDir());
        QCOMPARE(readFile(target + "/inside"), old);
    } else if (how == "under-file") {
        QCOMPARE(readFile(dir.filePath("plain")), old);
    } else {
        QCOMPARE(readFile(target), old);
    }
    // No temporary file is left beside the target.
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(left.size(), 1);

    // Once the obstacle is gone the kept lines are saved.
    if (how == "size-limit") {
        QVERIFY(log.SaveEventLog(target));
        QCOMPARE(QFileInfo(target).size(), 3000 * 102);
    }
}

// Many lines of varied length and one longer than the save's write block:
// nothing is dropped, split or joined.
void TestEventLog::largeLogRoundTripsWhole()
{
    QByteArray file;
    for (int i = 0; i < 200000; ++i) {
        file += "05.03.2005 14:03:07;;host-" + QByteArray::number(i) + ";;" + QByteArray(i % 97, char('a' + i % 26)) +
                ";;Ping\r\n";
        if (i == 123456)
            file += QByteArray(3 * 1024 * 1024 + 7, 'L') + "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, file);

    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    QCOMPARE(log.count(), 200001);
    QCOMPARE(log.rawLine(123457).size(), 3 * 1024 * 1024 + 7);
    QCOMPARE(log.line(200000), QStringLiteral("05.03.2005 14:03:07;;host-199999;;%1;;Ping")
                                   .arg(QString(199999 % 97, QChar('a' + 199999 % 26))));
    log.appendLine("appended");
    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), file + "appended\r\n");
}

// The engine's own lines with a fixed clock, through a real engine that
// has this log as its sink; they follow the lines loaded from the file.
void TestEventLog::engineStartAndStopLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, "04.03.2005 09:00:00;;Sentrova Stopped;;Stop;;Inner\r\n");

    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    MonitorEngine engine;
    engine.setEventSink(&log);
    QDateTime clock(QDate(2005, 3, 5), QTime(14, 3, 7));
    engine.setClock([&clock] { return clock; });

    engine.StartButtonClick(true);
    clock = QDateTime(QDate(2005, 3, 5), QTime(14, 5, 10));
    engine.StartButtonClick(false);

    QCOMPARE(log.count(), 3);
    QCOMPARE(log.line(1), QStringLiteral("05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner"));
    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), QByteArray("04.03.2005 09:00:00;;Sentrova Stopped;;Stop;;Inner\r\n"
                                        "05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner\r\n"
                                        "05.03.2005 14:05:10;;Sentrova Stopped;;Stop;;Inner\r\n"));
}

void TestEventLog::linesBeyondTheCodePageRoundTrip_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("stored");
    for (const UnicodeText &t : unicodeTexts())
        QTest::newRow(t.tag) << t.text << t.stored;
}

// Each line by itself: Windows-1252 where it holds the line, UTF-8
// otherwise; the lines around it keep their own bytes.
void TestEventLog::linesBeyondTheCodePageRoundTrip()
{
    QFETCH(QString, host);
    QFETCH(QByteArray, stored);
    QTemporaryDir dir;
    const QString path = dir.filePath("data.log");
    writeFile(path, "05.03.2005 14:03:07;;Z\xFCrich;;Z\xFCrich Ping OK;;Ping\r\n");
    EventLog log;
    QVERIFY(log.LoadEventLog(path));
    const QString line = QStringLiteral("05.03.2005 14:05:10;;%1;;%1 Ping Error;;Ping").arg(host);
    log.appendLine(line);
    QVERIFY(log.SaveEventLog());
    QCOMPARE(readFile(path), "05.03.2005 14:03:07;;Z\xFCrich;;Z\xFCrich Ping OK;;Ping\r\n"
                             "05.03.2005 14:05:10;;" + stored + ";;" + stored + " Ping Error;;Ping\r\n");
    EventLog back;
    QVERIFY(back.LoadEventLog(path));
    QCOMPARE(back.count(), 2);
    QCOMPARE(back.line(0), QStringLiteral("05.03.2005 14:03:07;;Z\u00fcrich;;Z\u00fcrich Ping OK;;Ping"));
    QCOMPARE(back.line(1), line);
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_eventlog.moc"
