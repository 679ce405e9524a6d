#include "core/engine.h"
#include "core/records.h"
#include "schedules/schedulestore.h"

#include "../support/testfiles.h"
#include "../support/unicodetexts.h"
#include "../support/unprivileged.h"
#include "schedulecells.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <sys/stat.h>

namespace
{

// One record written by hand from the layout: length byte, 255 name bytes
// (here with junk after the name, which readers ignore), 264 grid bytes.
QByteArray handRecord(const QByteArray &name, const QList<QPair<int, int>> &setCells, char junk = '\0')
{
    QByteArray rec(520, junk);
    rec[0] = char(name.size());
    rec.replace(1, name.size(), name);
    rec.replace(256, 264, QByteArray(264, '\0'));
    for (const auto &[r, c] : setCells)
        rec[256 + 33 * r + c] = 1;
    return rec;
}

// Counts the tests the engine runs, per object position; stands in for a
// probe, which would reach the network.
class CountingProbe : public ObserverProbe
{
public:
    QList<int> calls;
    void test(int position) override { calls.append(position); }
    int callsFor(int position) const { return int(calls.count(position)); }
};

} // namespace

class TestScheduleStore : public QObject
{
    Q_OBJECT

private slots:
    void fileLayoutIsByteExact();
    void readsHandWrittenFileAndWritesItBack();
    void damagedFiles_data();
    void damagedFiles();
    void missingAndUnopenableFile();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void namesBeyondTheCodePageRoundTrip_data();
    void namesBeyondTheCodePageRoundTrip();
    void unreadableFileIsKeptAsBackup();
    void saveIntoReadOnlyFolder();
    void namesAreUniqueIgnoringCase();
    void cellOperationsOverRectangle();
    void gateReadsTodaysCell_data();
    void gateReadsTodaysCell();
    void gateAllowsWithoutMatchingSchedule();
    void engineTicksFollowTheGate();
};

// Two schedules: 1044 bytes; count, then each record at 4 + 520 * i with the
// name's length byte, the name, zeros after it, and the grid at 256.
void TestScheduleStore::fileLayoutIsByteExact()
{
    ScheduleList list;
    QVERIFY(list.New("Night"));
    QVERIFY(list.New(QStringLiteral("Wöchentlich €")));
    list.CheckSelected(0, {1, 1}, {1, 31});  // every Monday
    list.CheckSelected(1, {7, 15}, {7, 15}); // Sunday the 15th
    list.CheckSelected(1, {0, 0}, {0, 32});  // nothing: row 0 is no weekday

    QTemporaryDir dir;
    const QString path = dir.filePath("Schedule.dat");
    QVERIFY2(list.SaveSchedules(path), qPrintable(list.errorString()));
    const QByteArray f = readFile(path);
    QCOMPARE(f.size(), 1044);
    QCOMPARE(f.left(4), QByteArray("\x02\x00\x00\x00", 4));

    const QByteArray r0 = f.mid(4, 520), r1 = f.mid(524, 520);
    QCOMPARE(r0.left(6), QByteArray("\x05Night"));
    QCOMPARE(r1.left(14), QByteArray("\x0DW\xF6"
                                     "chentlich \x80"));
    QCOMPARE(r0.mid(6, 250), QByteArray(250, '\0'));
    QCOMPARE(r1.mid(14, 242), QByteArray(242, '\0'));

    for (const QByteArray &rec : {r0, r1}) {
        for (int c = 0; c < 33; ++c)
            QCOMPARE(int(rec[256 + c]), 0); // row 0
        for (int r = 0; r < 8; ++r) {
            QCOMPARE(int(rec[256 + 33 * r]), 0);      // column 0
            QCOMPARE(int(rec[256 + 33 * r + 32]), 0); // column 32
        }
    }
    for (int r = 1; r <= 7; ++r)
        for (int c = 1; c <= 31; ++c) {
            QCOMPARE(int(r0[256 + 33 * r + c]), r == 1 ? 1 : 0);
            QCOMPARE(int(r1[256 + 33 * r + c]), (r == 7 && c == 15) ? 1 : 0);
        }

    // And back: the same names and grids.
    ScheduleList again;
    QVERIFY(again.LoadSchedules(path));
    QCOMPARE(again.names(), list.names());
    QCOMPARE(again.profile(0)->Grid, list.profile(0)->Grid);
    QCOMPARE(again.profile(1)->Grid, list.profile(1)->Grid);
}

// A file built from the layout alone; junk after the names is not part of
// them and is written back as zeros, everything else unchanged.
void TestScheduleStore::readsHandWrittenFileAndWritesItBack()
{
    const QByteArray file = le32(3) + handRecord("Office", {{1, 1}, {5, 31}, {3, 17}}, 'J') + handRecord("", {}, 'K') +
                            handRecord("office", {{7, 2}});
    QTemporaryDir dir;
    const QString path = dir.filePath("Schedule.dat");
    writeFile(path, file);

    ScheduleList list;
    QVERIFY(list.New("stale")); // loading replaces what the list held
    QVERIFY2(list.LoadSchedules(path), qPrintable(list.errorString()));
    QCOMPARE(list.names(), (QStringList{"Office", "", "office"}));
    QCOMPARE(setCells(*list.profile(0)), 3);
    QCOMPARE(list.profile(0)->Grid[5][31], quint8(1));
    QCOMPARE(list.profile(0)->Grid[3][17], quint8(1));
    QCOMPARE(setCells(*list.profile(1)), 0);
    // Duplicates from a file: lookups find the first.
    QCOMPARE(list.indexOf("OFFICE"), 0);

    const QString out = dir.filePath("out.dat");
    QVERIFY(list.SaveSchedules(out));
    const QByteArray expected = le32(3) + handRecord("Office", {{1, 1}, {5, 31}, {3, 17}}) + handRecord("", {}) +
                                handRecord("office", {{7, 2}});
    QCOMPARE(readFile(out), expected);
}

// Whole records only, never a byte that was not read, never an allocation
// sized by the count. "ok" says whether the file was read as announced.
void TestScheduleStore::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("names");

    const QByteArray a = handRecord("A", {{1, 1}});
    const QByteArray b = handRecord("B", {{2, 2}});
    QTest::newRow("empty file") << QByteArray() << true << QStringList{};
    QTest::newRow("count zero") << le32(0) << true << QStringList{};
    QTest::newRow("shorter than the count") << QByteArray("\x01\x00", 2) << false << QStringList{};
    QTest::newRow("negative count") << le32(-1) + a << false << QStringList{};
    QTest::newRow("lowest count") << le32(std::numeric_limits<qint32>::min()) + a << false << QStringList{};
    QTest::newRow("half a record missing") << le32(3) + a + b.left(260) << false << QStringList{"A"};
    QTest::newRow("huge count") << le32(std::numeric_limits<qint32>::max()) + a + b << false << QStringList{"A", "B"};
    QTest::newRow("bytes after the records") << le32(1) + a + "trailing" << true << QStringList{"A"};
    QTest::newRow("text file") << QByteArray("Not a schedule file at all\r\n") << false << QStringList{};
}

void TestScheduleStore::damagedFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, ok);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    const QString path = dir.filePath("Schedule.dat");
    writeFile(path, file);

    ScheduleList list;
    QVERIFY(list.New("stale"));
    QCOMPARE(list.LoadSchedules(path), ok);
    QCOMPARE(list.names(), names);
    if (ok)
        QVERIFY(list.errorString().isEmpty());
    else
        QVERIFY2(list.errorString().contains(path), qPrintable(list.errorString()));
    // What was read is intact.
    if (!names.isEmpty()) {
        QCOMPARE(setCells(*list.profile(0)), 1);
        QCOMPARE(list.profile(0)->Grid[1][1], quint8(1));
    }
    // The list stays usable.
    QVERIFY(list.New("fresh"));
    QCOMPARE(list.count(), names.size() + 1);
}

void TestScheduleStore::missingAndUnopenableFile()
{
    QTemporaryDir dir;
    ScheduleList list;
    QVERIFY(list.New("stale"));
    QVERIFY(list.LoadSchedules(dir.filePath("Schedule.dat")));
    QCOMPARE(list.count(), 0);
    QVERIFY(list.errorString().isEmpty());

    // Root reads any file, so "cannot be opened" is a folder of that name.
    const QString folder = dir.filePath("folder.dat");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(list.New("stale"));
    QVERIFY(!list.LoadSchedules(folder));
    QCOMPARE(list.count(), 0);
    QVERIFY2(list.errorString().contains(folder), qPrintable(list.errorString()));
    // Nor a named pipe, which would block the start if it were opened.
    const QString fifo = dir.filePath("fifo.dat");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(!list.LoadSchedules(fifo));
    QCOMPARE(list.count(), 0);

    // The default file is Schedule.dat in the data folder.
    QFile::remove(Paths::dataFile("Schedule.dat"));
    QVERIFY(list.New("kept"));
    QVERIFY(list.SaveSchedules());
    QCOMPARE(QFileInfo(QDir(qEnvironmentVariable("SENTROVA_HOME")).filePath("Schedule.dat")).size(), 524);
    QVERIFY(list.LoadSchedules());
    QCOMPARE(list.names(), QStringList{"kept"});
    QFile::remove(Paths::dataFile("Schedule.dat"));
}

void TestScheduleStore::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("parent is a regular file") << "under-file";
    QTest::newRow("disk refuses the write half way") << "size-limit";
}

void TestScheduleStore::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString target = dir.filePath("Schedule.dat");
    const QByteArray old = le32(1) + handRecord("Old", {{1, 1}});
    if (how == "folder") {
        QVERIFY(QDir().mkpath(target));
        writeFile(target + "/inside", old);
    } else if (how == "under-file") {
        writeFile(dir.filePath("plain"), old);
        target = dir.filePath("plain/Schedule.dat");
    } else {
        writeFile(target, old);
    }

    ScheduleList list;
    for (int i = 0; i < 200; ++i) // about 100 KB, past the size limit
        QVERIFY(list.New(QStringLiteral("S%1").arg(i)));
    bool saved;
    {
        std::optional<FileSizeLimit> limit;
        if (how == "size-limit")
            limit.emplace(32 * 1024);
        saved = list.SaveSchedules(target);
    }
    QVERIFY(!saved);
    QVERIFY2(list.errorString().contains(target), qPrintable(list.errorString()));
    QCOMPARE(list.count(), 200);
    if (how == "folder")
        QCOMPARE(readFile(target + "/inside"), old);
    else if (how == "under-file")
        QCOMPARE(readFile(dir.filePath("plain")), old);
    else
        QCOMPARE(readFile(target), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

void TestScheduleStore::namesBeyondTheCodePageRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("stored");
    for (const UnicodeText &t : unicodeTexts())
        QTest::newRow(t.tag) << t.text << t.stored;
    // 255 bytes hold 254 x and not the two bytes of the letter after them.
    QTest::newRow("cut inside a character") << cutInsideCharacter(255) << QByteArray(254, 'x');
}

// Names go to the file in Windows-1252 where it holds them, as UTF-8
// otherwise; they come back unchanged (cut whole characters only), and
// lookups stay blind to letter case.
void TestScheduleStore::namesBeyondTheCodePageRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, stored);
    ScheduleList list;
    QVERIFY(list.New(name));
    list.CheckSelected(0, {2, 3}, {2, 3});
    QTemporaryDir dir;
    const QString path = dir.filePath("Schedule.dat");
    QVERIFY2(list.SaveSchedules(path), qPrintable(list.errorString()));
    const QByteArray f = readFile(path);
    QCOMPARE(f.size(), 524);
    QCOMPARE(int(quint8(f[4])), stored.size());
    QCOMPARE(f.mid(5, stored.size()), stored);
    QCOMPARE(f.mid(5 + stored.size(), 255 - stored.size()), QByteArray(255 - stored.size(), '\0'));

    ScheduleList back;
    QVERIFY2(back.LoadSchedules(path), qPrintable(back.errorString()));
    const QString kept = stored.size() < 254 ? name : QString(254, QLatin1Char('x'));
    QCOMPARE(back.names(), QStringList{kept});
    QCOMPARE(back.indexOf(kept.toUpper()), 0);
    QCOMPARE(back.indexOf(kept.toLower()), 0);
    QVERIFY(!back.New(kept.toUpper()));
    QCOMPARE(back.profile(0)->Grid[2][3], quint8(1));
    // Written again, the file is the same.
    QVERIFY(back.SaveSchedules(path));
    QCOMPARE(readFile(path), f);

    // Two names that differ only beyond the code page stay two schedules.
    ScheduleList greek;
    QVERIFY(greek.New(QStringLiteral("\u03a9mega")));
    QVERIFY(greek.New(QStringLiteral("\u03a3mega")));
    QVERIFY(greek.SaveSchedules(path));
    QVERIFY(greek.LoadSchedules(path));
    QCOMPARE(greek.names(), (QStringList{QStringLiteral("\u03a9mega"), QStringLiteral("\u03a3mega")}));
    QCOMPARE(greek.indexOf(QStringLiteral("\u03c3MEGA")), 1);
}

// Root reads every file, so the unreadable file is read by nobody.
void TestScheduleStore::unreadableFileIsKeptAsBackup()
{
    Unprivileged::Sandbox box;
    QVERIFY(box.isValid());
    const QByteArray old = le32(1) + handRecord("Old", {{1, 1}});
    writeFile(box.filePath("Schedule.dat"), old);
    QVERIFY(QFile::setPermissions(box.filePath("Schedule.dat"), {})); // mode 000, owned by root
    RUN_AS_NOBODY(box, "schedule-unreadable");
    // The old bytes survive as the backup; the new list is the file.
    QCOMPARE(readFile(box.filePath("Schedule.dat.bak")), old);
    QCOMPARE(readFile(box.filePath("Schedule.dat")), le32(1) + handRecord("New", {}));
}

// A folder that takes no new file: the writable file is rewritten in place;
// a write-protected file there cannot be, and the message says why.
void TestScheduleStore::saveIntoReadOnlyFolder()
{
    Unprivileged::Sandbox box;
    QVERIFY(box.isValid());
    const QString folder = box.filePath("locked");
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/Schedule.dat", le32(1) + handRecord("Old", {}));
    ::chmod(QFile::encodeName(folder + "/Schedule.dat").constData(), 0666);
    writeFile(folder + "/protected.dat", le32(0));
    ::chmod(QFile::encodeName(folder + "/protected.dat").constData(), 0444);
    ::chmod(QFile::encodeName(folder).constData(), 0755); // root's; nobody may not create files
    RUN_AS_NOBODY(box, "schedule-readonly-folder");
    QCOMPARE(readFile(folder + "/Schedule.dat"), le32(1) + handRecord("New", {}));
    QCOMPARE(readFile(folder + "/protected.dat"), le32(0));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
}

void TestScheduleStore::namesAreUniqueIgnoringCase()
{
    QCOMPARE(ScheduleList::DuplicateNameMessage, QStringLiteral("Schedule with this name already exists"));

    ScheduleList list;
    QVERIFY(list.New("Night"));
    QVERIFY(!list.New("NIGHT"));
    QVERIFY(!list.New("night"));
    QVERIFY(list.New("Night shift")); // whole-text comparison
    QVERIFY(list.New(""));            // an empty name is a name like any other
    QVERIFY(!list.New(""));
    QCOMPARE(list.names(), (QStringList{"Night", "Night shift", ""}));
    QCOMPARE(list.indexOf("NIGHT SHIFT"), 1);
    QCOMPARE(list.indexOf("Nigh"), -1);
    QVERIFY(list.find("missing") == nullptr);

    // Names are cut to 255 code-page characters, and compared as stored.
    const QString longName = QString(254, QChar('x')) + QStringLiteral("€€€");
    QVERIFY(list.New(longName));
    QCOMPARE(list.profile(3)->Name, QString(254, QChar('x')) + QStringLiteral("€"));
    QVERIFY(!list.New(QString(254, QChar('X')) + QStringLiteral("€ differs only past the cut")));

    // Del keeps the order of the others; out of range does nothing.
    list.Del(0);
    list.Del(7);
    list.Del(-1);
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.profile(0)->Name, QStringLiteral("Night shift"));
    QVERIFY(list.New("night")); // free again
}

void TestScheduleStore::cellOperationsOverRectangle()
{
    ScheduleList list;
    QVERIFY(list.New("Work"));

    // Monday column 1 to Friday column 31: 5 x 31 cells.
    list.CheckSelected(0, {1, 1}, {5, 31});
    QCOMPARE(setCells(*list.profile(0)), 155);
    QCOMPARE(list.profile(0)->Grid[6][1], quint8(0));
    list.InvertSelected(0, {5, 31}, {1, 1}); // corners in either order
    QCOMPARE(setCells(*list.profile(0)), 0);

    // A selection reaching the title row and the edge columns touches day
    // cells only.
    list.CheckSelected(0, {0, 0}, {7, 32});
    QCOMPARE(setCells(*list.profile(0)), 7 * 31);
    for (int c = 0; c < 33; ++c)
        QCOMPARE(list.profile(0)->Grid[0][c], quint8(0));
    for (int r = 0; r < 8; ++r) {
        QCOMPARE(list.profile(0)->Grid[r][0], quint8(0));
        QCOMPARE(list.profile(0)->Grid[r][32], quint8(0));
    }

    // Uncheck a block, then invert a block that straddles it.
    list.UncheckSelected(0, {2, 10}, {3, 19}); // 20 cells off
    QCOMPARE(setCells(*list.profile(0)), 217 - 20);
    list.InvertSelected(0, {3, 15}, {4, 24}); // row 3: 5 off->on, 5 on->off; row 4: 10 on->off
    QCOMPARE(setCells(*list.profile(0)), 217 - 20 + 5 - 5 - 10);
    QCOMPARE(list.profile(0)->Grid[3][15], quint8(1));
    QCOMPARE(list.profile(0)->Grid[3][20], quint8(0));
    QCOMPARE(list.profile(0)->Grid[4][24], quint8(0));

    // A wrong index or a rectangle outside the days changes nothing.
    list.UncheckSelected(1, {1, 1}, {7, 31});
    list.UncheckSelected(-1, {1, 1}, {7, 31});
    list.UncheckSelected(0, {8, 1}, {9, 31});
    QCOMPARE(setCells(*list.profile(0)), 187);
}

// The gate reads the cell of the date's weekday row and day-of-month column:
// with only that cell set the day is allowed, with every cell but it set
// the day is blocked.
void TestScheduleStore::gateReadsTodaysCell_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("Monday 31 March 2025") << QDate(2025, 3, 31) << 1 << 31;
    QTest::newRow("Sunday 2 March 2025") << QDate(2025, 3, 2) << 7 << 2;
    QTest::newRow("Thursday 29 February 2024") << QDate(2024, 2, 29) << 4 << 29;
    QTest::newRow("Saturday 1 January 2000") << QDate(2000, 1, 1) << 6 << 1;
}

void TestScheduleStore::gateReadsTodaysCell()
{
    QFETCH(QDate, date);
    QFETCH(int, row);
    QFETCH(int, column);

    ScheduleList list;
    QVERIFY(list.New("Only"));
    QVERIFY(list.New("AllBut"));
    list.CheckSelected(0, {row, column}, {row, column});
    list.CheckSelected(1, {1, 1}, {7, 31});
    list.UncheckSelected(1, {row, column}, {row, column});

    MonitorEngine engine;
    ObserverRecord rec = Records::newRecord(6);
    rec.IntervalMin = 0; // no timer: only the gate is asked here
    rec.ScheduleName = "only";
    engine.AppendObject(rec, "a");
    rec.ScheduleName = "ALLBUT";
    engine.AppendObject(rec, "b");

    ScheduleTestGate gate(list, engine, [date] { return date; });
    QVERIFY(gate.IsTestAllowedNow(0));
    QVERIFY(!gate.IsTestAllowedNow(1));
    QVERIFY(list.isAllowedOn("Only", date));
    QVERIFY(!list.isAllowedOn("Only", date.addDays(7))); // same weekday, other day of the month
}

void TestScheduleStore::gateAllowsWithoutMatchingSchedule()
{
    ScheduleList list;
    QVERIFY(list.New("Never")); // a new profile allows no day
    QVERIFY(list.New("Gone"));

    MonitorEngine engine;
    ObserverRecord rec = Records::newRecord(6);
    rec.IntervalMin = 0;
    for (const char *name : {"", "Unknown", "NEVER", "Gone"}) {
        rec.ScheduleName = QString::fromLatin1(name);
        engine.AppendObject(rec, "x");
    }
    QDate today(2025, 3, 31);
    ScheduleTestGate gate(list, engine, [&today] { return today; });
    QVERIFY(gate.IsTestAllowedNow(0));  // no schedule
    QVERIFY(gate.IsTestAllowedNow(1));  // a name that matches nothing
    QVERIFY(!gate.IsTestAllowedNow(2)); // all-zero profile
    QVERIFY(!gate.IsTestAllowedNow(3));
    QVERIFY(gate.IsTestAllowedNow(99)); // no object there

    // Edits apply at once: the gate reads the list at every call.
    list.Del(list.indexOf("gone"));
    QVERIFY(gate.IsTestAllowedNow(3));
    list.CheckSelected(list.indexOf("never"), {1, 31}, {1, 31});
    QVERIFY(gate.IsTestAllowedNow(2));
    today = QDate(2025, 4, 1);
    QVERIFY(!gate.IsTestAllowedNow(2));

    // Without a clock the gate uses today's date.
    ScheduleTestGate realToday(list, engine);
    list.CheckSelected(list.indexOf("never"), {1, 1}, {7, 31});
    QVERIFY(realToday.IsTestAllowedNow(2));
    list.UncheckSelected(list.indexOf("never"), {1, 1}, {7, 31});
    QVERIFY(!realToday.IsTestAllowedNow(2));
}

// A real engine with its timers: the object whose schedule blocks today is
// not tested by its ticks, the other one is; Refresh tests it anyway, and
// a schedule edit takes effect at the next tick.
void TestScheduleStore::engineTicksFollowTheGate()
{
    ScheduleList list;
    QVERIFY(list.New("Mondays 31st"));
    list.CheckSelected(0, {1, 31}, {1, 31});

    MonitorEngine engine;
    CountingProbe probe;
    engine.setProbe(6, &probe);
    QDate today(2025, 3, 2); // a Sunday: blocked
    ScheduleTestGate gate(list, engine, [&today] { return today; });
    engine.setScheduleGate(&gate);

    ObserverRecord rec = Records::newRecord(6);
    rec.IntervalMin = 0;
    rec.IntervalSec = 1;
    rec.ScheduleName = "mondays 31ST";
    engine.AppendObject(rec, "blocked");
    rec.ScheduleName.clear();
    engine.AppendObject(rec, "free");
    QCOMPARE(probe.callsFor(0), 1); // creation tests regardless of the schedule
    QCOMPARE(probe.callsFor(1), 1);

    engine.StartButtonClick(true);
    QTRY_VERIFY_WITH_TIMEOUT(probe.callsFor(1) >= 3, 10000);
    QCOMPARE(probe.callsFor(0), 1);

    engine.RefreshToolButtonClick(0);
    QCOMPARE(probe.callsFor(0), 2);
    engine.RefreshAll1Click();
    QCOMPARE(probe.callsFor(0), 3);

    today = QDate(2025, 3, 31); // Monday the 31st: allowed
    QTRY_VERIFY_WITH_TIMEOUT(probe.callsFor(0) >= 4, 10000);
    engine.StartButtonClick(false);
}

int runChildCase(const QString &name, const QString &dir)
{
    const QString path = QDir(dir).filePath("Schedule.dat");
    if (name == "schedule-unreadable") {
        ScheduleList list;
        CHILD_CHECK(!list.LoadSchedules(path));
        CHILD_CHECK2(list.errorString().contains(path), list.errorString());
        CHILD_CHECK2(list.errorString().contains("At exit the old file is kept as Schedule.dat.bak."),
                     list.errorString());
        CHILD_CHECK(list.count() == 0);
        CHILD_CHECK(list.New("New"));
        CHILD_CHECK2(list.SaveSchedules(path), list.errorString());
        return 0;
    }
    if (name == "schedule-readonly-folder") {
        const QString locked = QDir(dir).filePath("locked");
        ScheduleList list;
        CHILD_CHECK(list.New("New"));
        CHILD_CHECK2(list.SaveSchedules(locked + "/Schedule.dat"), list.errorString());
        CHILD_CHECK(!list.SaveSchedules(locked + "/protected.dat"));
        CHILD_CHECK2(list.errorString().contains("takes no new files and the file itself cannot be written"),
                     list.errorString());
        CHILD_CHECK(!list.SaveSchedules(locked + "/new.dat"));
        CHILD_CHECK2(list.errorString().contains("takes no new files"), list.errorString());
        return 0;
    }
    std::fprintf(stderr, "no child case %s\n", qPrintable(name));
    return 2;
}

SENTROVA_TEST_MAIN_WITH_CHILD_CASES(TestScheduleStore)
#include "test_schedulestore.moc"
