// The file-system probes on real temporary trees, driven through the engine:
// the objects are appended (which tests them at once) and the event-log lines
// and alerts they produce are compared byte for byte.

#include "core/engine.h"
#include "core/formats.h"
#include "core/records.h"
#include "probes/filesystemprobes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr qint64 MB = 1024 * 1024;

struct Alert {
    int position;
    QString text;
    bool alive;
};

// Collects what the engine hands to the event log and the alert dispatcher.
class Recorder : public EventSink, public AlertSink
{
public:
    QStringList lines;
    QList<Alert> alerts;
    void appendLine(const QString &line) override { lines << line; }
    void dispatchAlert(int position, const QString &text, bool alive) override
    {
        alerts << Alert{position, text, alive};
    }
};

// An engine with the four probes and a clock fixed at 5 March 2005 14:03:07.
struct Harness {
    MonitorEngine engine;
    Recorder recorder;
    DiskSpaceProbe disk{engine};
    FolderSizeProbe folder{engine};
    FilePresentProbe present{engine};
    CompareFilesProbe compare{engine};
    QDateTime clock{QDate(2005, 3, 5), QTime(14, 3, 7)};

    Harness()
    {
        engine.setProbe(okDiskSpace, &disk);
        engine.setProbe(okFolderSize, &folder);
        engine.setProbe(okFilePresent, &present);
        engine.setProbe(okCompareFiles, &compare);
        engine.setEventSink(&recorder);
        engine.setAlertSink(&recorder);
        engine.setClock([this] { return clock; });
    }

    // Appends an object of the kind (tested at once) and returns its position.
    template <class P, class Setup> int add(qint32 kind, Setup setup)
    {
        ObserverRecord rec = Records::newRecord(kind);
        rec.IntervalMin = 0; // no timer: only the explicit tests run
        rec.IntervalSec = 0;
        setup(*rec.params<P>());
        engine.AppendObject(rec, Records::rowCaption(rec));
        settle(engine.count() - 1);
        return engine.count() - 1;
    }
    // The probes measure on worker threads: waits for the outcome.
    void settle(int position)
    {
        if (!QTest::qWaitFor([&] { return !engine.isTestInFlight(position); }, 20000))
            QTest::qFail("the test did not end within 20 s", __FILE__, __LINE__);
    }
    void run(int position)
    {
        engine.RunTest(position);
        settle(position);
    }

    QString logTime() const { return Formats::eventTime(clock); }
};

// A file of the given size; sizes past a few KB are sparse (no blocks written).
void makeFile(const QString &path, qint64 size, char fill = 'x')
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    if (size <= 4096)
        QCOMPARE(f.write(QByteArray(int(size), fill)), size);
    else
        QVERIFY(f.resize(size));
}

// Removes a tree that QDir cannot: names that are not valid UTF-8, paths
// longer than the system accepts. GNU rm works from folder descriptors.
struct TreeRemover {
    QString path;
    ~TreeRemover()
    {
        if (!path.isEmpty())
            QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), path});
    }
};

void makeLink(const QString &target, const QString &link)
{
    QVERIFY2(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0,
             qPrintable(link));
}

void makeFifo(const QString &path)
{
    QVERIFY2(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0, qPrintable(path));
}

} // namespace

class TestFileSystemProbes : public QObject
{
    Q_OBJECT

private slots:
    void diskSpaceEventLineForDriveLetter();
    void diskSpace_data();
    void diskSpace();
    void diskSpaceMeasuredInFull();

    void measureFileSize_data();
    void measureFileSize();
    void folderWalk_data();
    void folderWalk();
    void folderWalkEndsInDeepTree();

    void folderSize_data();
    void folderSize();
    void folderSizeLogsOnlyChanges();

    void filePresent_data();
    void filePresent();
    void compareFiles_data();
    void compareFiles();

    void hangingCallFailsAtItsBound();
    void walkOfManyFilesHoldsNoOtherTest();
};

// The example of a drive from a Windows project: the letter has no volume
// here, so it measures 0 free and fails the threshold 80.
void TestFileSystemProbes::diskSpaceEventLineForDriveLetter()
{
    Harness h;
    const int pos = h.add<DiskSpaceParams>(okDiskSpace, [](DiskSpaceParams &p) {
        p.Target = QStringLiteral("C");
        p.MinFreeMb = 80;
    });
    QCOMPARE(h.recorder.lines,
             QStringList{QStringLiteral("05.03.2005 14:03:07;;C;;\"C:\\\" Disk Space less then 80;;Disk Space")});
    QCOMPARE(h.recorder.alerts.size(), 1);
    QCOMPARE(h.recorder.alerts[0].text, QStringLiteral("C:\\ Disk Space Error"));
    QCOMPARE(h.recorder.alerts[0].alive, false);
    QCOMPARE(h.engine.object(pos)->status, QStringLiteral("Error"));
    QCOMPARE(h.engine.object(pos)->record.LastResult, QStringLiteral("Disk Space Error"));
}

void TestFileSystemProbes::diskSpace_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("statusField");

    // Nothing to measure: 0 free, which fails every threshold of 0 or more.
    QTest::newRow("letter, threshold 0") << "C" << 0.0 << false << "\"C:\\\" Disk Space less then 0";
    QTest::newRow("empty target") << "" << 0.0 << false << "\"\" Disk Space less then 0";
    QTest::newRow("missing path") << "/no/such/volume" << 0.5 << false
                                  << "\"/no/such/volume\" Disk Space less then 0.5";
    // A real volume with no free blocks: free exactly equals the threshold 0.
    QTest::newRow("free equals threshold") << "/proc" << 0.0 << false << "\"/proc\" Disk Space less then 0";
    // The machine's root volume has some space left but not an exabyte.
    QTest::newRow("mount point") << "/" << 0.0 << true << "\"/\" OK";
    QTest::newRow("path on the volume") << "/usr/bin" << 1.0 << true << "\"/usr/bin\" OK";
    QTest::newRow("threshold above the volume") << "/" << 1e12 << false << "\"/\" Disk Space less then 1000000000000";
}

void TestFileSystemProbes::diskSpace()
{
    QFETCH(QString, target);
    QFETCH(double, threshold);
    QFETCH(bool, pass);
    QFETCH(QString, statusField);

    Harness h;
    const int pos = h.add<DiskSpaceParams>(okDiskSpace, [&](DiskSpaceParams &p) {
        p.Target = target;
        p.MinFreeMb = threshold;
    });
    QCOMPARE(h.recorder.lines, QStringList{h.logTime() + ";;" + target + ";;" + statusField + ";;Disk Space"});
    QCOMPARE(h.recorder.alerts.size(), 1);
    const QString caption = Records::driveText(target);
    QCOMPARE(h.recorder.alerts[0].text, caption + (pass ? " Disk Space OK" : " Disk Space Error"));
    QCOMPARE(h.recorder.alerts[0].alive, pass);
    QCOMPARE(h.engine.object(pos)->status, pass ? QStringLiteral("OK") : QStringLiteral("Error"));
    QCOMPARE(h.engine.object(pos)->record.LastResult, pass ? QStringLiteral("OK") : QStringLiteral("Disk Space Error"));
}

// The free space agrees with df's figure for the same volume, so a count past
// 4 GiB is not cut to 32 bits.
void TestFileSystemProbes::diskSpaceMeasuredInFull()
{
    QProcess df;
    df.start(QStringLiteral("df"), {QStringLiteral("-B1"), QStringLiteral("--output=avail"), QStringLiteral("/")});
    if (!df.waitForFinished(10000) || df.exitCode() != 0)
        QSKIP("df (coreutils) did not run");
    const QStringList out = QString::fromLatin1(df.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const qint64 dfAvail = out.value(1).trimmed().toLongLong();
    if (dfAvail <= 4 * 1024 * MB)
        QSKIP("the root volume has 4 GiB free or less");
    const qint64 ours = FreeDiskBytes(QStringLiteral("/"));
    // Other programs write meanwhile: allow 1 % of drift.
    QVERIFY2(qAbs(ours - dfAvail) <= dfAvail / 100,
             qPrintable(QStringLiteral("ours %1, df %2").arg(ours).arg(dfAvail)));
}

void TestFileSystemProbes::measureFileSize_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("regular file") << "file:12345" << qint64(12345);
    QTest::newRow("empty file") << "file:0" << qint64(0);
    QTest::newRow("past 4 GiB") << "file:5368709121" << qint64(5368709121);
    QTest::newRow("link to a file measures the file") << "link-to-file" << qint64(777);
    QTest::newRow("missing") << "missing" << qint64(-1);
    QTest::newRow("folder") << "folder" << qint64(-1);
    QTest::newRow("fifo without writer, no wait") << "fifo" << qint64(-1);
    QTest::newRow("dangling link") << "dangling" << qint64(-1);
    QTest::newRow("no read access") << "unreadable" << qint64(-1);
}

void TestFileSystemProbes::measureFileSize()
{
    QFETCH(QString, fixture);
    QFETCH(qint64, expected);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString path = tmp.filePath(QStringLiteral("item"));
    if (fixture.startsWith("file:")) {
        makeFile(path, fixture.mid(5).toLongLong());
    } else if (fixture == "link-to-file") {
        makeFile(tmp.filePath("target"), 777);
        makeLink(tmp.filePath("target"), path);
    } else if (fixture == "folder") {
        QVERIFY(QDir(tmp.path()).mkdir("item"));
    } else if (fixture == "fifo") {
        makeFifo(path);
    } else if (fixture == "dangling") {
        makeLink(tmp.filePath("gone"), path);
    } else if (fixture == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("running as root: mode 000 does not stop root from opening the file");
        makeFile(path, 100);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
    }
    QCOMPARE(MeasureFileSize(path), expected);
}

// A tree with the awkward entries a real disk has: hard links, links to files
// and folders, links that lead back up the tree, a dangling link, a FIFO,
// names that are not valid UTF-8. The FIFO would hang a walk that opened it.
//
//   outside/big.bin 5000, outside/inner/e.bin 16000, outside/back.lnk -> root
//   root/a.bin 1000, b.bin 2000, hard.bin (hard link to a.bin),
//        file.lnk -> outside/big.bin, dangling.lnk, fifo, "ü ×\n" 100,
//        "\xff\xfe" 200, empty/, ext.lnk -> outside, ext2.lnk -> outside,
//        sub/c.bin 4000, sub/deeper/d.bin 8000, sub/up.lnk -> root,
//        sub/self.lnk -> sub
void TestFileSystemProbes::folderWalk_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("includeSubfolders");
    QTest::addColumn<qint64>("expected");

    // Top level: a, b, hard link again, the linked file, the two odd names.
    const qint64 top = 1000 + 2000 + 1000 + 5000 + 100 + 200;
    // outside/ is reached by two links; its link back to root is on the path.
    const qint64 outside = 5000 + 16000;
    QTest::newRow("top level only") << "root" << false << top;
    QTest::newRow("all levels, loops end") << "root" << true << top + 4000 + 8000 + 2 * outside;
    QTest::newRow("trailing slash") << "root/" << true << top + 4000 + 8000 + 2 * outside;
    // From sub/, up.lnk leads to root, whose sub/ is then on the path.
    QTest::newRow("loop entered from below") << "root/sub" << true << 4000 + 8000 + top + 2 * outside;
    QTest::newRow("sub-folder, top level only") << "root/sub" << false << qint64(4000);
    QTest::newRow("link to a folder as start") << "root/ext.lnk" << true << outside + top + 4000 + 8000;
    QTest::newRow("empty folder") << "root/empty" << true << qint64(0);
    QTest::newRow("missing path") << "root/nothing" << true << qint64(0);
    QTest::newRow("a file is no folder") << "root/a.bin" << true << qint64(0);
    QTest::newRow("empty path") << "" << true << qint64(0);
}

void TestFileSystemProbes::folderWalk()
{
    QFETCH(QString, start);
    QFETCH(bool, includeSubfolders);
    QFETCH(qint64, expected);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const TreeRemover remover{tmp.path()};
    QDir d(tmp.path());
    QVERIFY(d.mkpath("outside/inner") && d.mkpath("root/sub/deeper") && d.mkpath("root/empty"));
    makeFile(tmp.filePath("outside/big.bin"), 5000);
    makeFile(tmp.filePath("outside/inner/e.bin"), 16000);
    makeLink(tmp.filePath("root"), tmp.filePath("outside/back.lnk"));
    makeFile(tmp.filePath("root/a.bin"), 1000);
    makeFile(tmp.filePath("root/b.bin"), 2000);
    QVERIFY(::link(QFile::encodeName(tmp.filePath("root/a.bin")).constData(),
                   QFile::encodeName(tmp.filePath("root/hard.bin")).constData()) == 0);
    makeLink(tmp.filePath("outside/big.bin"), tmp.filePath("root/file.lnk"));
    makeLink(tmp.filePath("root/gone"), tmp.filePath("root/dangling.lnk"));
    makeFifo(tmp.filePath("root/fifo"));
    makeFile(tmp.filePath(QString::fromUtf8("root/\u00fc \u00d7\n")), 100);
    {
        const QByteArray raw = QFile::encodeName(tmp.filePath("root/")) + "\xff\xfe";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0);
        QVERIFY(::ftruncate(fd, 200) == 0);
        ::close(fd);
    }
    makeLink(QStringLiteral("../outside"), tmp.filePath("root/ext.lnk"));
    makeLink(tmp.filePath("outside"), tmp.filePath("root/ext2.lnk"));
    makeFile(tmp.filePath("root/sub/c.bin"), 4000);
    makeFile(tmp.filePath("root/sub/deeper/d.bin"), 8000);
    makeLink(QStringLiteral(".."), tmp.filePath("root/sub/up.lnk"));
    makeLink(QStringLiteral("."), tmp.filePath("root/sub/self.lnk"));

    const QString path = start.isEmpty() ? QString() : tmp.path() + '/' + start;
    QCOMPARE(SumFolderSize(path, includeSubfolders), expected);
}

// A chain of folders deeper than any path the system accepts in one call:
// the walk works from each folder's descriptor, so it still counts the file
// at the bottom and returns.
void TestFileSystemProbes::folderWalkEndsInDeepTree()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const TreeRemover remover{tmp.path()};
    const int rootFd = ::open(QFile::encodeName(tmp.path()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(rootFd >= 0);
    const QByteArray name(200, 'd');
    int fd = rootFd;
    for (int level = 0; level < 40; ++level) { // 40 x 201 bytes: past PATH_MAX
        QVERIFY(::mkdirat(fd, name.constData(), 0700) == 0);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(next >= 0);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "bottom.bin", O_WRONLY | O_CREAT, 0600);
    QVERIFY(file >= 0);
    QVERIFY(::ftruncate(file, 4321) == 0);
    ::close(file);
    ::close(fd);
    QCOMPARE(SumFolderSize(tmp.path(), true), qint64(4321));
}

void TestFileSystemProbes::folderSize_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<bool>("includeSubfolders");
    QTest::addColumn<bool>("pass");

    // At exactly the threshold a single file passes and a folder fails.
    QTest::newRow("file at the threshold") << "file:3145728" << 3.0 << false << true;
    QTest::newRow("file one byte over") << "file:3145729" << 3.0 << false << false;
    QTest::newRow("folder at the threshold") << "folder:1048576,2097152" << 3.0 << false << false;
    QTest::newRow("folder one byte under") << "folder:1048576,2097151" << 3.0 << false << true;
    QTest::newRow("fraction of a megabyte") << "folder:524288" << 0.5 << false << false;
    QTest::newRow("empty folder, threshold 0") << "folder:" << 0.0 << false << false;
    QTest::newRow("file past 4 GiB at the threshold") << "file:5368709120" << 5120.0 << false << true;
    QTest::newRow("folder past 4 GiB at the threshold") << "folder:5368709120" << 5120.0 << false << false;
    QTest::newRow("folder past 4 GiB, threshold above") << "folder:5368709120" << 5120.001 << false << true;
    // A path that names nothing sums to 0.
    QTest::newRow("missing, threshold above 0") << "missing" << 0.5 << false << true;
    QTest::newRow("missing, threshold 0") << "missing" << 0.0 << false << false;
    // A file that cannot be measured is -1 bytes.
    QTest::newRow("fifo as the target") << "fifo" << 0.0 << false << true;
    // 1 MB at the top, 2 MB one level down, 4 MB two levels down.
    QTest::newRow("sub-folders left out") << "tree" << 1.5 << false << true;
    QTest::newRow("sub-folders counted") << "tree" << 6.5 << true << false;
    QTest::newRow("sub-folders counted, above") << "tree" << 7.5 << true << true;
}

void TestFileSystemProbes::folderSize()
{
    QFETCH(QString, fixture);
    QFETCH(double, threshold);
    QFETCH(bool, includeSubfolders);
    QFETCH(bool, pass);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString target = tmp.filePath(QStringLiteral("target"));
    if (fixture.startsWith("file:")) {
        makeFile(target, fixture.mid(5).toLongLong());
    } else if (fixture.startsWith("folder:")) {
        QVERIFY(QDir(tmp.path()).mkdir("target"));
        const QStringList sizes = fixture.mid(7).split(',', Qt::SkipEmptyParts);
        for (int i = 0; i < sizes.size(); ++i)
            makeFile(target + QStringLiteral("/f%1").arg(i), sizes[i].toLongLong());
    } else if (fixture == "tree") {
        QVERIFY(QDir(tmp.path()).mkpath("target/one/two"));
        makeFile(target + "/top.bin", 1 * MB);
        makeFile(target + "/one/mid.bin", 2 * MB);
        makeFile(target + "/one/two/low.bin", 4 * MB);
    } else if (fixture == "fifo") {
        makeFifo(target);
    }

    Harness h;
    const int pos = h.add<FolderSizeParams>(okFolderSize, [&](FolderSizeParams &p) {
        p.Target = target;
        p.MaxSizeMb = threshold;
        p.IncludeSubfolders = includeSubfolders;
    });
    const QString status =
        pass ? '"' + target + "\" OK" : '"' + target + "\" File/Folder more then " + Formats::generalNumber(threshold);
    QCOMPARE(h.recorder.lines, QStringList{h.logTime() + ";;" + target + ";;" + status + ";;File/Folder Size"});
    QCOMPARE(h.recorder.alerts.size(), 1);
    QCOMPARE(h.recorder.alerts[0].text, target + (pass ? " File Size OK" : " File Size Error"));
    QCOMPARE(h.recorder.alerts[0].alive, pass);
    QCOMPARE(h.engine.object(pos)->record.LastResult,
             pass ? QStringLiteral("OK") : QStringLiteral("File/Folder Size Error"));
}

// A folder that keeps failing logs and alerts once; its recovery logs one
// line and raises one Alive alert.
void TestFileSystemProbes::folderSizeLogsOnlyChanges()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString big = tmp.filePath("big.bin");
    makeFile(big, 2 * MB);

    Harness h;
    const int pos = h.add<FolderSizeParams>(okFolderSize, [&](FolderSizeParams &p) {
        p.Target = tmp.path();
        p.MaxSizeMb = 1;
    });
    QCOMPARE(h.folder.folderTotal(), 2 * MB);
    h.clock = h.clock.addSecs(60);
    h.run(pos);
    QCOMPARE(h.engine.object(pos)->status, QStringLiteral("Error"));
    QCOMPARE(h.engine.object(pos)->lastTest, Formats::longDateTime(h.clock));
    QCOMPARE(h.recorder.lines.size(), 1);
    QCOMPARE(h.recorder.alerts.size(), 1);

    QVERIFY(QFile::resize(big, MB / 2));
    h.clock = h.clock.addSecs(60);
    h.run(pos);
    QCOMPARE(h.folder.folderTotal(), MB / 2);
    QCOMPARE(h.recorder.lines.size(), 2);
    QCOMPARE(h.recorder.lines[1],
             "05.03.2005 14:05:07;;" + tmp.path() + ";;\"" + tmp.path() + "\" OK;;File/Folder Size");
    QCOMPARE(h.recorder.alerts.size(), 2);
    QCOMPARE(h.recorder.alerts[1].text, tmp.path() + " File Size OK");
    QCOMPARE(h.recorder.alerts[1].alive, true);
}

void TestFileSystemProbes::filePresent_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("alertIfExists");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("condition");

    QTest::newRow("file, alert if exists") << "file" << true << false << "File/folder exist";
    QTest::newRow("folder, alert if exists") << "folder" << true << false << "File/folder exist";
    QTest::newRow("missing, alert if exists") << "missing" << true << true << "";
    QTest::newRow("file, alert if missing") << "file" << false << true << "";
    QTest::newRow("folder, alert if missing") << "folder" << false << true << "";
    QTest::newRow("missing, alert if missing") << "missing" << false << false << "File/folder doesn''t exist";
    // The link is there but what it names is not.
    QTest::newRow("dangling link, alert if missing") << "dangling" << false << false << "File/folder doesn''t exist";
}

void TestFileSystemProbes::filePresent()
{
    QFETCH(QString, fixture);
    QFETCH(bool, alertIfExists);
    QFETCH(bool, pass);
    QFETCH(QString, condition);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString target = tmp.filePath("target");
    if (fixture == "file")
        makeFile(target, 10);
    else if (fixture == "folder")
        QVERIFY(QDir(tmp.path()).mkdir("target"));
    else if (fixture == "dangling")
        makeLink(tmp.filePath("gone"), target);

    Harness h;
    const int pos = h.add<FilePresentParams>(okFilePresent, [&](FilePresentParams &p) {
        p.Target = target;
        p.AlertIfExists = alertIfExists;
    });
    const QString status = pass ? '"' + target + "\" test OK" : '"' + target + "\" " + condition;
    QCOMPARE(h.recorder.lines, QStringList{h.logTime() + ";;" + target + ";;" + status + ";;File/Folder Present"});
    QCOMPARE(h.recorder.alerts.size(), 1);
    QCOMPARE(h.recorder.alerts[0].text, target + (pass ? " File present OK" : " File Present Error"));
    QCOMPARE(h.engine.object(pos)->record.LastResult,
             pass ? QStringLiteral("OK") : QStringLiteral("File/Folder Size Error"));
}

void TestFileSystemProbes::compareFiles_data()
{
    QTest::addColumn<qint64>("first"); // -1: the file is missing
    QTest::addColumn<qint64>("second");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("modeText");

    // Both missing: both measure -1 and are equal.
    QTest::newRow("both missing, different") << qint64(-1) << qint64(-1) << 0 << true << "";
    QTest::newRow("both missing, identical") << qint64(-1) << qint64(-1) << 1 << false << " Files are identical";
    QTest::newRow("both missing, equals") << qint64(-1) << qint64(-1) << 2 << false << " 1st file equals 2nd file";
    QTest::newRow("both missing, less") << qint64(-1) << qint64(-1) << 3 << true << "";
    // Only the second missing: -1 is smaller than any file.
    QTest::newRow("second missing, different") << qint64(10) << qint64(-1) << 0 << false << " Files are different";
    QTest::newRow("second missing, greater") << qint64(10) << qint64(-1) << 4 << false << " 1st file greater 2nd file";
    QTest::newRow("second missing, less") << qint64(10) << qint64(-1) << 3 << true << "";
    // Same size, different contents: only sizes count.
    QTest::newRow("same size, different") << qint64(20) << qint64(20) << 0 << true << "";
    QTest::newRow("same size, identical") << qint64(20) << qint64(20) << 1 << false << " Files are identical";
    QTest::newRow("smaller, less") << qint64(5) << qint64(6) << 3 << false << " 1st file less 2nd file";
    QTest::newRow("smaller, greater") << qint64(5) << qint64(6) << 4 << true << "";
    QTest::newRow("larger, greater") << qint64(7) << qint64(6) << 4 << false << " 1st file greater 2nd file";
    QTest::newRow("larger, less") << qint64(7) << qint64(6) << 3 << true << "";
    QTest::newRow("past 4 GiB, greater") << qint64(4294967297) << qint64(1) << 4 << false
                                         << " 1st file greater 2nd file";
    // An unknown mode never fails.
    QTest::newRow("mode 5") << qint64(5) << qint64(6) << 5 << true << "";
    QTest::newRow("mode -1") << qint64(-1) << qint64(6) << -1 << true << "";
}

void TestFileSystemProbes::compareFiles()
{
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QFETCH(int, mode);
    QFETCH(bool, pass);
    QFETCH(QString, modeText);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString one = tmp.filePath("one.txt");
    const QString two = tmp.filePath("two.txt");
    if (first >= 0)
        makeFile(one, first);
    if (second >= 0)
        makeFile(two, second, 'y'); // equal sizes never share contents here

    Harness h;
    const int pos = h.add<CompareFilesParams>(okCompareFiles, [&](CompareFilesParams &p) {
        p.Target = one;
        p.SecondFile = two;
        p.AlertWhen = mode;
    });
    const QString status = pass ? '"' + one + "\" test OK" : '"' + one + '"' + modeText;
    QCOMPARE(h.recorder.lines, QStringList{h.logTime() + ";;" + one + ";;" + status + ";;Compare Files"});
    QCOMPARE(h.recorder.alerts.size(), 1);
    QCOMPARE(h.recorder.alerts[0].text, one + (pass ? " OK" : " Compare Files Error"));
    QCOMPARE(h.recorder.alerts[0].alive, pass);
    QCOMPARE(h.engine.object(pos)->record.LastResult,
             pass ? QStringLiteral("OK") : QStringLiteral("File/Folder Size Error"));
}

// A call that hangs (a dead network mount) cannot be made here without
// mounting something, so the probes' test hook stands in for it: it blocks
// the worker before the real call for the targets under /hung/. Twelve hung
// tests, more than the pool's eight live workers, fail at their bound while
// the tests of live paths still get their outcomes at once.
void TestFileSystemProbes::hangingCallFailsAtItsBound()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    setFileSystemCallHook([&](const QString &target) {
        if (!target.startsWith(QLatin1String("/hung/")))
            return;
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return release; });
    });
    auto unhang = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        released.notify_all();
        setFileSystemCallHook(nullptr);
    };

    {
        Harness h;
        QCOMPARE(h.present.bound(), 10000);
        h.present.setBound(1500);
        QVERIFY(h.present.workers().liveLimit() <= 8);
        auto addPresent = [&](const QString &target) {
            ObserverRecord rec = Records::newRecord(okFilePresent);
            rec.IntervalMin = 0;
            rec.IntervalSec = 0;
            rec.params<FilePresentParams>()->Target = target;
            h.engine.AppendObject(rec, target);
        };
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 12; ++i)
            addPresent(QStringLiteral("/hung/%1").arg(i));
        for (int i = 0; i < 5; ++i)
            addPresent(tmp.path());
        // The live ones: at once, while every hung one still waits.
        QTRY_VERIFY_WITH_TIMEOUT(h.engine.testsInFlight() == 12, 1200);
        QVERIFY2(clock.elapsed() < 1400, qPrintable(QString::number(clock.elapsed())));
        for (int i = 12; i < 17; ++i) {
            QCOMPARE(h.engine.object(i)->status, QStringLiteral("OK"));
            QCOMPARE(h.engine.object(i)->cause, QStringLiteral("exists"));
            QVERIFY(h.engine.object(i)->responseMs >= 0);
        }
        // The hung ones fail at their bound, each with its log line.
        QTRY_VERIFY_WITH_TIMEOUT(h.engine.testsInFlight() == 0, 5000);
        QVERIFY(clock.elapsed() >= 1400);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(h.engine.object(i)->status, QStringLiteral("Error"));
            QCOMPARE(h.engine.object(i)->cause, QStringLiteral("no answer within 1.5 s"));
        }
        QCOMPARE(h.recorder.lines.size(), 17);
        QVERIFY(h.present.workers().stuckCount() >= 12);
        unhang();
        // The calls return: their threads give way again and nothing more
        // is reported for them.
        QTRY_VERIFY_WITH_TIMEOUT(h.present.workers().stuckCount() == 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(h.present.workers().threadCount() <= h.present.workers().liveLimit(), 5000);
        QTest::qWait(100);
        QCOMPARE(h.recorder.lines.size(), 17);
    }
    if (!release)
        unhang();
}

// A folder walk over 200,000 files runs on its worker while another object's
// test is answered; the walk's sum is exact.
void TestFileSystemProbes::walkOfManyFilesHoldsNoOtherTest()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString root = tmp.filePath(QStringLiteral("tree"));
    constexpr int folders = 20, perFolder = 10000;
    for (int d = 0; d < folders; ++d) {
        const QByteArray dir = QFile::encodeName(root + QStringLiteral("/d%1").arg(d));
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(dir)));
        const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(dirFd >= 0);
        for (int f = 0; f < perFolder; ++f) {
            const int fd = ::openat(dirFd, QByteArray::number(f).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "x", 1), ssize_t(1));
            ::close(fd);
        }
        ::close(dirFd);
    }

    Harness h;
    ObserverRecord walk = Records::newRecord(okFolderSize);
    walk.IntervalMin = 0;
    walk.IntervalSec = 0;
    walk.params<FolderSizeParams>()->Target = root;
    walk.params<FolderSizeParams>()->IncludeSubfolders = true;
    walk.params<FolderSizeParams>()->MaxSizeMb = 1;
    h.engine.AppendObject(walk, root);
    ObserverRecord other = Records::newRecord(okFilePresent);
    other.IntervalMin = 0;
    other.IntervalSec = 0;
    other.params<FilePresentParams>()->Target = tmp.path();
    h.engine.AppendObject(other, tmp.path());
    h.settle(1);
    QCOMPARE(h.engine.object(1)->status, QStringLiteral("OK"));
    h.settle(0);
    QCOMPARE(h.folder.folderTotal(), qint64(folders) * perFolder);
    QCOMPARE(h.engine.object(0)->status, QStringLiteral("OK")); // 0.19 MB < 1 MB
    QCOMPARE(h.engine.object(0)->cause, QStringLiteral("0.2 MB in the folder"));
}

QTEST_GUILESS_MAIN(TestFileSystemProbes)
#include "test_filesystemprobes.moc"
