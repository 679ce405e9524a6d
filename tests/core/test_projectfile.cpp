// The snv project file and the File menu's operations on the project.
#include "../support/enginefakes.h"
#include "../support/scriptedprompt.h"
#include "../support/testfiles.h"
#include "../support/unicodetexts.h"
#include "../support/unprivileged.h"

#include "core/ansitext.h"
#include "core/binaryio.h"
#include "core/projectfile.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

struct Rig {
    MonitorEngine engine;
    ScriptedProbe probe{engine};
    RecordingEventSink events;
    RecordingAlertSink alerts;
    ScriptedPrompt prompt;
    ProjectController project{engine, prompt};
    Rig()
    {
        for (int k = 1; k <= 8; ++k)
            engine.setProbe(k, &probe);
        engine.setEventSink(&events);
        engine.setAlertSink(&alerts);
    }
    void add(ObserverRecord rec)
    {
        engine.AppendObject(rec, Records::rowCaption(rec));
        project.setModified(true);
    }
};

ObserverRecord ping(const QString &host)
{
    ObserverRecord rec = Records::newRecord(okPing);
    rec.setTarget(host);
    rec.IntervalMin = 0;
    return rec;
}

QByteArray header(qint32 count)
{
    QByteArray h("snv10");
    QByteArray n(4, '\0');
    Bin::putInt32(n, 0, count);
    return h + n;
}

} // namespace

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void onePingObjectRoundTrip();
    void entriesAreNotAligned();
    void handWrittenFile();
    void emptyProjectIsNamed();
    void refusedFiles_data();
    void refusedFiles();
    void cutShortKeepsWholeObjects_data();
    void cutShortKeepsWholeObjects();
    void unknownKindIsCarried();
    void lastResultCarriedAcrossSave();
    void appendKeepsNameAndState();
    void openModifiedAnsweredNoAsksOnce();
    void openModifiedAnsweredCancelKeepsProject();
    void newAnsweredYesSaves();
    void saveUnnamedCancelledWritesNothing();
    void saveAsOntoExistingFile();
    void failedSaveKeepsOldFileAndModified();
    void closeQueryCancel();
    void cutBeforeTheCount_data();
    void cutBeforeTheCount();
    void textBeyondTheCodePageRoundTrip_data();
    void textBeyondTheCodePageRoundTrip();
    void pipeIsNoProject();
    void saveIntoReadOnlyFolder();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestProjectFile::onePingObjectRoundTrip()
{
    Rig r;
    ObserverRecord p = ping("127.0.0.1");
    p.IntervalMin = 2;
    p.IntervalSec = 30;
    p.Comment = QStringLiteral("router");
    r.add(p);
    QVERIFY(r.project.isModified());
    r.prompt.fileNames << path("one.snv");
    r.project.SaveToolButtonClick();
    QVERIFY(!r.project.isModified());
    QCOMPARE(r.project.ProjectFileName, path("one.snv"));
    const QByteArray bytes = readFile(path("one.snv"));
    QCOMPARE(bytes.size(), 9 + 1052 + 268);
    QCOMPARE(bytes.left(9), header(1));
    QCOMPARE(bytes.mid(9, 1052), Records::encodeObserverRecord(r.engine.object(0)->record));

    Rig back;
    back.prompt.fileNames << path("one.snv");
    back.project.OpenToolButtonClick();
    QCOMPARE(back.engine.count(), 1);
    QCOMPARE(back.project.ProjectFileName, path("one.snv"));
    QVERIFY(!back.project.isModified());
    const ObserverObject *o = back.engine.object(0);
    QCOMPARE(o->record.Comment, QStringLiteral("router"));
    QCOMPARE(o->interval, QStringLiteral("2:30"));
    QCOMPARE(o->caption, QStringLiteral("127.0.0.1"));
    QCOMPARE(o->record.params<PingParams>()->PacketSize, 56);
    // Saving it again gives the same bytes.
    back.project.setModified(true);
    back.project.SaveToolButtonClick();
    QCOMPARE(readFile(path("one.snv")), bytes);
}

void TestProjectFile::entriesAreNotAligned()
{
    Rig r;
    ObserverRecord present = Records::newRecord(okFilePresent);
    present.setTarget(QStringLiteral("/tmp/x"));
    present.params<FilePresentParams>()->AlertIfExists = true;
    ObserverRecord disk = Records::newRecord(okDiskSpace);
    disk.setTarget(QStringLiteral("C"));
    r.add(present);
    r.add(disk);
    r.prompt.fileNames << path("two.snv");
    r.project.SaveToolButtonClick();
    const QByteArray bytes = readFile(path("two.snv"));
    QCOMPARE(bytes.size(), 9 + 1052 + 257 + 1052 + 264);
    const int second = 9 + 1052 + 257;
    QCOMPARE(Bin::getInt32(bytes.constData(), second), 4);
    QCOMPARE(bytes.at(9 + 1052 + 256), '\x01');

    Rig back;
    back.prompt.fileNames << path("two.snv");
    back.project.OpenToolButtonClick();
    QCOMPARE(back.engine.count(), 2);
    QCOMPARE(back.engine.object(1)->caption, QStringLiteral("C:\\"));
    QVERIFY(back.engine.object(0)->record.params<FilePresentParams>()->AlertIfExists);
}

void TestProjectFile::handWrittenFile()
{
    // A Compare Files object written from the tables by hand.
    QByteArray rec(1052, '\0');
    rec[0] = 7;
    rec[12] = 9;
    rec[792] = 1;
    rec.replace(793, 3, QByteArray("\x02OK", 3));
    QByteArray params(516, '\0');
    params.replace(0, 3, QByteArray("\x02/a", 3));
    params.replace(256, 3, QByteArray("\x02/b", 3));
    params[512] = 3;
    writeFile(path("hand.snv"), header(1) + rec + params);

    Rig r;
    r.prompt.fileNames << path("hand.snv");
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), 1);
    const ObserverObject *o = r.engine.object(0);
    QCOMPARE(o->record.params<CompareFilesParams>()->SecondFile, QStringLiteral("/b"));
    QCOMPARE(o->record.params<CompareFilesParams>()->AlertWhen, 3);
    QCOMPARE(o->interval, QStringLiteral("0:9"));
    QCOMPARE(o->method, QStringLiteral("Compare Files"));
    // "OK" in the file and "OK" again: no news.
    QVERIFY(r.events.lines.isEmpty());
    QVERIFY(r.alerts.alerts.isEmpty());
}

void TestProjectFile::emptyProjectIsNamed()
{
    writeFile(path("empty.snv"), header(0));
    writeFile(path("negative.snv"), header(-5));
    for (const char *name : {"empty.snv", "negative.snv"}) {
        Rig r;
        r.prompt.fileNames << path(name);
        r.project.OpenToolButtonClick();
        QCOMPARE(r.engine.count(), 0);
        QCOMPARE(r.project.ProjectFileName, path(name));
        QVERIFY(r.prompt.shown.size() == 1); // only the open dialog
    }
}

void TestProjectFile::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("isDirectory");
    QTest::newRow("last magic byte differs") << (QByteArray("snv11") + QByteArray(4, '\0')) << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("shorter than magic") << QByteArray("snv") << false;
    QTest::newRow("text") << QByteArray("hello world, not a project\n") << false;
    QTest::newRow("a folder") << QByteArray() << true;
}

void TestProjectFile::refusedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, isDirectory);
    const QString file = path(QStringLiteral("refused-%1").arg(QTest::currentDataTag()));
    if (isDirectory)
        QVERIFY(QDir().mkpath(file));
    else
        writeFile(file, content);

    // Append to a project of one: nothing added, name kept.
    Rig r;
    r.add(ping("10.0.0.1"));
    r.project.ProjectFileName = path("keep.snv");
    r.prompt.fileNames << file;
    r.project.Append1Click();
    QCOMPARE(r.engine.count(), 1);
    QCOMPARE(r.project.ProjectFileName, path("keep.snv"));
    QCOMPARE(r.prompt.shown.last().title, QStringLiteral("Error"));
    QCOMPARE(r.prompt.shown.last().text, QStringLiteral("It is not Velmora Sentrova file format"));

    // Open: the project is empty and unnamed afterwards.
    r.prompt.answers << UserPrompt::No;
    r.prompt.fileNames << file;
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), 0);
    QVERIFY(r.project.ProjectFileName.isEmpty());
}

void TestProjectFile::cutShortKeepsWholeObjects_data()
{
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("cut");  // bytes removed from the end of a 3-object file
    QTest::addColumn<int>("whole"); // objects that must be read
    QTest::newRow("count larger than content") << 1000000 << 0 << 3;
    QTest::newRow("last params cut") << 3 << 10 << 2;
    QTest::newRow("last record cut") << 3 << 268 + 500 << 2;
    QTest::newRow("count cut") << 3 << 3 * (1052 + 268) + 2 << 0;
}

void TestProjectFile::cutShortKeepsWholeObjects()
{
    QFETCH(int, announced);
    QFETCH(int, cut);
    QFETCH(int, whole);
    QByteArray data = header(announced);
    for (int i = 0; i < 3; ++i) {
        ObserverRecord p = ping(QStringLiteral("host%1").arg(i));
        data += Records::encodeObserverRecord(p) + Records::encodeParams(p);
    }
    data.chop(cut);
    const QString file = path("cut.snv");
    writeFile(file, data);

    Rig r;
    r.prompt.fileNames << file;
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), whole);
    for (int i = 0; i < whole; ++i)
        QCOMPARE(r.engine.object(i)->caption, QStringLiteral("host%1").arg(i));
    QCOMPARE(r.project.ProjectFileName, file);
    // The user is told that the file is cut short.
    QCOMPARE(r.prompt.shown.last().kind, QStringLiteral("message"));
    QVERIFY(r.prompt.shown.last().text.contains(QStringLiteral("cut short")));
}

void TestProjectFile::unknownKindIsCarried()
{
    QByteArray odd(1052, '\0');
    odd[0] = 11;
    odd[8] = 1;
    ObserverRecord p = ping("after");
    const QByteArray data = header(2) + odd + Records::encodeObserverRecord(p) + Records::encodeParams(p);
    writeFile(path("odd.snv"), data);

    Rig r;
    r.prompt.fileNames << path("odd.snv");
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), 2);
    QCOMPARE(r.engine.object(0)->caption, QString());
    QCOMPARE(r.engine.object(0)->status, QStringLiteral("TEST"));
    QCOMPARE(r.engine.object(1)->caption, QStringLiteral("after"));
    r.project.setModified(true);
    r.project.SaveToolButtonClick();
    QCOMPARE(readFile(path("odd.snv")).size(), data.size());
    QCOMPARE(readFile(path("odd.snv")).mid(9, 1052), Records::encodeObserverRecord(r.engine.object(0)->record));
}

void TestProjectFile::lastResultCarriedAcrossSave()
{
    Rig r;
    r.probe.next = ScriptedProbe::Fail;
    r.add(ping("down"));
    r.prompt.fileNames << path("last.snv");
    r.project.SaveToolButtonClick();

    // Still failing after loading: no line, no alert.
    Rig back;
    back.probe.next = ScriptedProbe::Fail;
    back.prompt.fileNames << path("last.snv");
    back.project.OpenToolButtonClick();
    QCOMPARE(back.engine.object(0)->record.LastResult, QStringLiteral("Fake Error"));
    QVERIFY(back.events.lines.isEmpty());
    QVERIFY(back.alerts.alerts.isEmpty());
}

void TestProjectFile::appendKeepsNameAndState()
{
    Rig src;
    for (int i = 0; i < 3; ++i)
        src.add(ping(QStringLiteral("new%1").arg(i)));
    src.prompt.fileNames << path("three.snv");
    src.project.SaveToolButtonClick();

    Rig r;
    r.add(ping("old0"));
    r.add(ping("old1"));
    r.prompt.fileNames << path("mine.snv");
    r.project.SaveToolButtonClick();
    QVERIFY(!r.project.isModified());
    r.prompt.fileNames << path("three.snv");
    r.project.Append1Click();
    QCOMPARE(r.engine.count(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(r.engine.object(i)->position, i);
    QCOMPARE(r.engine.object(4)->caption, QStringLiteral("new2"));
    QCOMPARE(r.project.ProjectFileName, path("mine.snv"));
    QVERIFY(!r.project.isModified());
    // The open dialog starts at the file chosen last.
    r.project.Append1Click();
    QCOMPARE(r.prompt.shown.last().text, path("three.snv"));
}

void TestProjectFile::openModifiedAnsweredNoAsksOnce()
{
    Rig src;
    src.add(ping("saved"));
    src.prompt.fileNames << path("saved.snv");
    src.project.SaveToolButtonClick();

    Rig r;
    r.add(ping("unsaved"));
    r.prompt.answers << UserPrompt::No;
    r.prompt.fileNames << path("saved.snv");
    r.project.OpenToolButtonClick();
    QCOMPARE(r.prompt.shown.size(), 2);
    QCOMPARE(r.prompt.shown.at(0).kind, QStringLiteral("confirm"));
    QCOMPARE(r.prompt.shown.at(0).title, QStringLiteral("Confirm"));
    QCOMPARE(r.prompt.shown.at(0).text, QStringLiteral("Progect has modified. Save changes?"));
    QCOMPARE(r.prompt.shown.at(1).kind, QStringLiteral("open"));
    QCOMPARE(r.engine.count(), 1);
    QCOMPARE(r.engine.object(0)->caption, QStringLiteral("saved"));
    QVERIFY(!r.project.isModified());
}

void TestProjectFile::openModifiedAnsweredCancelKeepsProject()
{
    Rig r;
    r.add(ping("unsaved"));
    r.prompt.answers << UserPrompt::Cancel;
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), 1);
    QVERIFY(r.project.isModified());
    QCOMPARE(r.prompt.shown.size(), 1);
}

void TestProjectFile::newAnsweredYesSaves()
{
    Rig r;
    r.add(ping("a"));
    r.prompt.answers << UserPrompt::Yes;
    r.prompt.fileNames << path("new.snv");
    r.project.Newproject1Click();
    QCOMPARE(r.prompt.shown.at(0).text, QStringLiteral("Project has changed. Save changes?"));
    QCOMPARE(readFile(path("new.snv")).size(), 1329);
    QCOMPARE(r.engine.count(), 0);
    QVERIFY(r.project.ProjectFileName.isEmpty());
    QVERIFY(!r.project.isModified());

    // Yes, then the Save as dialog cancelled: the changes are lost all the same.
    r.add(ping("b"));
    r.prompt.answers << UserPrompt::Yes;
    r.project.Newproject1Click();
    QCOMPARE(r.engine.count(), 0);
    QVERIFY(!r.project.isModified());
}

void TestProjectFile::saveUnnamedCancelledWritesNothing()
{
    Rig r;
    r.add(ping("a"));
    r.project.SaveToolButtonClick();
    QVERIFY(r.project.isModified());
    QVERIFY(r.project.ProjectFileName.isEmpty());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter("unnamed").size(), 0);
}

void TestProjectFile::saveAsOntoExistingFile()
{
    writeFile(path("exists.snv"), "old");
    Rig r;
    r.add(ping("a"));
    r.project.ProjectFileName = path("first.snv");
    r.prompt.fileNames << path("exists.snv");
    r.prompt.answers << UserPrompt::Cancel;
    r.project.SaveAs1Click();
    QCOMPARE(r.project.ProjectFileName, path("first.snv"));
    QCOMPARE(r.prompt.shown.last().kind, QStringLiteral("okCancel"));
    QCOMPARE(r.prompt.shown.last().title, QStringLiteral("Error"));
    QCOMPARE(r.prompt.shown.last().text, QStringLiteral("File already exists. Owerwrite?"));
    QCOMPARE(readFile(path("exists.snv")), QByteArray("old"));

    // OK chooses the name only; Save writes.
    r.prompt.fileNames << path("exists.snv");
    r.prompt.answers << UserPrompt::Ok;
    r.project.SaveAs1Click();
    QCOMPARE(r.project.ProjectFileName, path("exists.snv"));
    QCOMPARE(readFile(path("exists.snv")), QByteArray("old"));
    r.project.SaveToolButtonClick();
    QCOMPARE(readFile(path("exists.snv")).size(), 1329);
}

void TestProjectFile::failedSaveKeepsOldFileAndModified()
{
    Rig r;
    r.add(ping("a"));
    r.prompt.fileNames << path("keep.snv");
    r.project.SaveToolButtonClick();
    const QByteArray before = readFile(path("keep.snv"));

    // A file that cannot be created: a name inside a regular file.
    r.add(ping("b"));
    r.project.ProjectFileName = path("keep.snv") + QStringLiteral("/inside.snv");
    r.project.SaveToolButtonClick();
    QVERIFY(r.project.isModified());
    QCOMPARE(r.prompt.shown.last().title, QStringLiteral("Error"));
    QVERIFY(r.prompt.shown.last().text.contains(QStringLiteral("inside.snv")));
    QCOMPARE(readFile(path("keep.snv")), before);

    // Opening a file that cannot be read names it too.
    Rig other;
    other.prompt.fileNames << path("missing.snv");
    other.project.OpenToolButtonClick();
    QVERIFY(other.prompt.shown.last().text.contains(QStringLiteral("missing.snv")));
    QVERIFY(other.project.ProjectFileName.isEmpty());
}

void TestProjectFile::closeQueryCancel()
{
    Rig r;
    QVERIFY(r.project.closeQuery()); // unmodified: no question
    QVERIFY(r.prompt.shown.isEmpty());
    r.add(ping("a"));
    r.prompt.answers << UserPrompt::Cancel;
    QVERIFY(!r.project.closeQuery());
    QCOMPARE(r.prompt.shown.last().text, QStringLiteral("Project has changed. Save changes?"));
    r.prompt.answers << UserPrompt::No;
    QVERIFY(r.project.closeQuery());
}

void TestProjectFile::cutBeforeTheCount_data()
{
    QTest::addColumn<QByteArray>("content");
    for (int extra = 0; extra <= 3; ++extra)
        QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(5 + extra))) << QByteArray("snv10\x07\0\0", 5 + extra);
}

// The file proves to be a project but ends before its count: nothing says
// how many objects it held, so the message invents no count.
void TestProjectFile::cutBeforeTheCount()
{
    QFETCH(QByteArray, content);
    const QString file = path("short.snv");
    writeFile(file, content);
    Rig r;
    r.prompt.fileNames << file;
    r.project.OpenToolButtonClick();
    QCOMPARE(r.engine.count(), 0);
    QCOMPARE(r.prompt.shown.last().title, QStringLiteral("Error"));
    QCOMPARE(r.prompt.shown.last().text,
             QStringLiteral("The file %1 is cut short: it ends before its count of objects.").arg(file));
}

void TestProjectFile::textBeyondTheCodePageRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");
    for (const UnicodeText &t : unicodeTexts())
        QTest::newRow(t.tag) << t.text << t.stored;
    QTest::newRow("cut inside a character") << cutInsideCharacter(255) << QByteArray(254, 'x');
}

// A File/Folder Present object on a folder whose name Windows-1252 cannot
// hold keeps that name (and its comment and profile name) across Save and
// Open; names that fit the code page keep their old bytes.
void TestProjectFile::textBeyondTheCodePageRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    const QString file = path(QStringLiteral("text-%1.snv").arg(QTest::currentDataTag()));
    Rig r;
    ObserverRecord rec = Records::newRecord(okFilePresent);
    rec.setTarget(QStringLiteral("/srv/") + text);
    rec.Comment = text;
    rec.AlertProfileName = text;
    rec.IntervalMin = 0;
    r.add(rec);
    r.prompt.fileNames << file;
    r.project.SaveToolButtonClick();
    const QByteArray bytes = readFile(file);
    QCOMPARE(bytes.size(), 9 + 1052 + 257);
    QCOMPARE(bytes.mid(9 + 24, 1 + stored.size()), char(stored.size()) + stored); // Comment

    Rig back;
    back.prompt.fileNames << file;
    back.project.OpenToolButtonClick();
    QCOMPARE(back.engine.count(), 1);
    const ObserverRecord &got = back.engine.object(0)->record;
    QCOMPARE(got.Comment, Ansi::cut(text, 255));
    QCOMPARE(got.AlertProfileName, Ansi::cut(text, 255));
    QCOMPARE(got.target(), Ansi::cut(QStringLiteral("/srv/") + text, 255));
    QCOMPARE(back.engine.object(0)->caption, got.target());
    // Saved again: the same bytes.
    back.project.setModified(true);
    back.project.SaveToolButtonClick();
    QCOMPARE(readFile(file), bytes);
}

void TestProjectFile::pipeIsNoProject()
{
    const QString fifo = path("pipe.snv");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Rig r;
    r.prompt.fileNames << fifo;
    r.project.OpenToolButtonClick(); // would block for ever if the pipe were opened for reading
    QCOMPARE(r.prompt.shown.last().text, QStringLiteral("It is not Velmora Sentrova file format"));
    QVERIFY(r.project.ProjectFileName.isEmpty());
    QFile::remove(fifo);
}

// A folder that takes no new files (run as nobody: root may write
// anywhere). A writable project there is saved in place; a write-protected
// one, or a new one, is refused with the real cause.
void TestProjectFile::saveIntoReadOnlyFolder()
{
    Unprivileged::Sandbox box;
    QVERIFY(box.isValid());
    const QString folder = box.filePath("locked");
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/open.snv", header(0));
    ::chmod(QFile::encodeName(folder + "/open.snv").constData(), 0666);
    writeFile(folder + "/protected.snv", header(0));
    ::chmod(QFile::encodeName(folder + "/protected.snv").constData(), 0444);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    RUN_AS_NOBODY(box, "project-readonly-folder");
    QCOMPARE(readFile(folder + "/open.snv").size(), 9 + 1052 + 268);
    QCOMPARE(readFile(folder + "/protected.snv"), header(0));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
}

int runChildCase(const QString &name, const QString &dir)
{
    if (name == "project-readonly-folder") {
        const QString folder = QDir(dir).filePath("locked");
        Rig r;
        r.add(ping("127.0.0.1"));
        r.project.ProjectFileName = folder + "/open.snv";
        r.project.SaveToolButtonClick();
        CHILD_CHECK2(!r.project.isModified(), r.prompt.texts().join('\n'));

        r.project.setModified(true);
        r.project.ProjectFileName = folder + "/protected.snv";
        r.project.SaveToolButtonClick();
        CHILD_CHECK(r.project.isModified());
        const QString text = r.prompt.shown.last().text;
        CHILD_CHECK2(text.startsWith("Cannot save file " + folder + "/protected.snv: the folder " + folder +
                                     " takes no new files and the file itself cannot be written"),
                     text);

        r.project.ProjectFileName = folder + "/new.snv";
        r.project.SaveToolButtonClick();
        CHILD_CHECK(r.project.isModified());
        CHILD_CHECK2(r.prompt.shown.last().text.contains("the folder " + folder + " takes no new files"),
                     r.prompt.shown.last().text);
        return 0;
    }
    std::fprintf(stderr, "no child case %s\n", qPrintable(name));
    return 2;
}

SENTROVA_TEST_MAIN_WITH_CHILD_CASES(TestProjectFile)
#include "test_projectfile.moc"
