// The alert profile store: the 1726-byte record, "profile.dat", damaged files
// and the operations the profile editor calls.
#include "alerts/alertprofile.h"
#include "core/ansitext.h"
#include "core/paths.h"

#include "../support/testfiles.h"
#include "../support/unicodetexts.h"
#include "../support/unprivileged.h"

#include <QElapsedTimer>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Writes a short string by hand: length byte, bytes, and filler past the
// length that a reader must ignore.
void putString(QByteArray &rec, int offset, int width, const QByteArray &text)
{
    rec[offset] = char(text.size());
    for (int i = 0; i < text.size(); ++i)
        rec[offset + 1 + i] = text[i];
    for (int i = offset + 1 + int(text.size()); i < offset + width; ++i)
        rec[i] = 'Z';
}

} // namespace

class TestAlertProfile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void handWrittenRecordDecodes();
    void storeOperationsLandAtTheirOffsets();
    void flagBytesOfTheEditorClicks();
    void parameterCuts_data();
    void parameterCuts();
    void fileSizes();
    void roundTripThroughTheFile();
    void defaultFileIsInTheDataFolder();
    void findByName_data();
    void findByName();
    void newRefusesDuplicatesIgnoringCase();
    void deleteRemovesOnlyThatProfile();
    void damagedFiles_data();
    void damagedFiles();
    void unreadableFileIsReportedAndKeptOnSave();
    void damagedFileIsKeptAsideBeforeItIsReplaced();
    void failedSaveNamesTheFile();
    void textBeyondTheCodePageRoundTrip_data();
    void textBeyondTheCodePageRoundTrip();
    void unchangedRecordsKeepTheirBytes();
    void changedFieldsAreWrittenOverTheStoredBytes();
    void notARegularFile();
    void unreadableFileIsKeptAsBackup();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name = QStringLiteral("profile.dat")) const { return m_dir.filePath(name); }
};

void TestAlertProfile::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(path());
    QFile::remove(path() + ".bak");
}

void TestAlertProfile::handWrittenRecordDecodes()
{
    QByteArray rec(1726, '\x7F'); // garbage everywhere a reader must not look
    putString(rec, 0, 256, "Server down");
    for (int i = 0; i < 21; ++i) {
        rec[256 + i] = 0;
        rec[277 + i] = 0;
    }
    rec[256 + 0] = 1;      // Dead: Show Message
    rec[256 + 3] = 2;      // Dead: Send e-mail (any non-zero byte is true)
    rec[256 + 20] = 1;     // a reserved flag
    rec[277 + 5] = '\xFF'; // Alive: Reboot Computer
    putString(rec, 298, 101, "alive-host");
    putString(rec, 399, 101, "dead-host");
    putString(rec, 500, 101, "alive@example.com");
    putString(rec, 601, 101, "dead@example.com");
    putString(rec, 702, 256, "/usr/bin/alive");
    putString(rec, 958, 256, "/usr/bin/dead");
    putString(rec, 1214, 256, "alive.wav");
    putString(rec, 1470, 256, "caf\xE9 \x80.wav"); // Windows-1252: e acute, euro sign

    writeFile(path(), le32(1) + rec);
    AlertProfileList list(path());
    QVERIFY(list.load());
    QCOMPARE(list.count(), 1);
    const AlertProfile &p = list.at(0);
    QCOMPARE(p.Name, QStringLiteral("Server down"));
    QVERIFY(p.action(false, aaShowMessage));
    QVERIFY(!p.action(false, aaPlaySound));
    QVERIFY(p.action(false, aaSendEMail));
    QVERIFY(p.DeadActions[20]);
    QVERIFY(p.action(true, aaRebootComputer));
    QVERIFY(!p.action(true, aaShowMessage));
    QCOMPARE(p.AliveNetRecipient, QStringLiteral("alive-host"));
    QCOMPARE(p.DeadNetRecipient, QStringLiteral("dead-host"));
    QCOMPARE(p.AliveMailRecipient, QStringLiteral("alive@example.com"));
    QCOMPARE(p.DeadMailRecipient, QStringLiteral("dead@example.com"));
    QCOMPARE(p.AliveProgram, QStringLiteral("/usr/bin/alive"));
    QCOMPARE(p.DeadProgram, QStringLiteral("/usr/bin/dead"));
    QCOMPARE(p.AliveSound, QStringLiteral("alive.wav"));
    QCOMPARE(p.DeadSound, QStringLiteral("caf\u00E9 \u20AC.wav"));
    QCOMPARE(p.parameter(false, aaPlaySound), p.DeadSound);
    QCOMPARE(p.parameter(true, aaSendNetMessage), p.AliveNetRecipient);
    QCOMPARE(p.parameter(true, aaShowMessage), QString());
}

void TestAlertProfile::storeOperationsLandAtTheirOffsets()
{
    // Fill every field through the editor's operations, then check each
    // field's bytes in the saved file against the layout.
    AlertProfileList list(path());
    QCOMPARE(list.addProfile(QStringLiteral("P")), 0);
    struct Field {
        bool alive;
        int action;
        const char *value;
        int offset;
    };
    const Field fields[] = {
        {true, aaSendNetMessage, "an", 298}, {false, aaSendNetMessage, "dn", 399}, {true, aaSendEMail, "am", 500},
        {false, aaSendEMail, "dm", 601},     {true, aaExecuteProgram, "ap", 702},  {false, aaExecuteProgram, "dp", 958},
        {true, aaPlaySound, "as", 1214},     {false, aaPlaySound, "ds", 1470},
    };
    for (const Field &f : fields)
        QVERIFY(list.setParameter(0, f.alive, f.action, QString::fromLatin1(f.value)));
    QVERIFY(list.save());

    const QByteArray file = readFile(path());
    QCOMPARE(file.size(), 4 + 1726);
    const QByteArray rec = file.mid(4);
    QCOMPARE(rec.mid(0, 2), QByteArray("\x01P", 2));
    for (const Field &f : fields) {
        QCOMPARE(int(rec[f.offset]), 2);
        QCOMPARE(rec.mid(f.offset + 1, 2), QByteArray(f.value));
    }
    QCOMPARE(rec.mid(256, 42), QByteArray(42, '\0')); // a new profile has every flag off
}

void TestAlertProfile::flagBytesOfTheEditorClicks()
{
    AlertProfileList list(path());
    list.addProfile(QStringLiteral("Alpha"));
    QVERIFY(list.setAction(0, false, aaPlaySound, true));
    QVERIFY(list.setAction(0, true, aaRebootComputer, true));
    QVERIFY(!list.setAction(0, true, 6, true)); // reserved flags are not the editor's
    QVERIFY(!list.setAction(1, true, aaShowMessage, true));

    QByteArray rec = list.encode().mid(4);
    QCOMPARE(rec.size(), 1726);
    QCOMPARE(int(rec[257]), 1);
    QCOMPARE(int(rec[282]), 1);
    int set = 0;
    for (int i = 256; i < 298; ++i)
        set += rec[i] != 0;
    QCOMPARE(set, 2);

    QVERIFY(list.setAction(0, false, aaPlaySound, false));
    rec = list.encode().mid(4);
    QCOMPARE(int(rec[257]), 0);
    QCOMPARE(int(rec[282]), 1);
}

void TestAlertProfile::parameterCuts_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("alive");
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("stored");
    QTest::newRow("mail recipient 120") << int(aaSendEMail) << true << 120 << 100;
    QTest::newRow("net recipient 101") << int(aaSendNetMessage) << false << 101 << 100;
    QTest::newRow("net recipient 100") << int(aaSendNetMessage) << true << 100 << 100;
    QTest::newRow("sound path 300") << int(aaPlaySound) << false << 300 << 255;
    QTest::newRow("program path 256") << int(aaExecuteProgram) << true << 256 << 255;
}

void TestAlertProfile::parameterCuts()
{
    QFETCH(int, action);
    QFETCH(bool, alive);
    QFETCH(int, typed);
    QFETCH(int, stored);
    AlertProfileList list(path());
    list.addProfile(QStringLiteral("P"));
    QString text;
    for (int i = 0; i < typed; ++i)
        text += QChar(u'a' + i % 26);
    QVERIFY(list.setParameter(0, alive, action, text));
    QCOMPARE(list.at(0).parameter(alive, action), text.left(stored));
    QVERIFY(list.save());
    AlertProfileList again(path());
    QVERIFY(again.load());
    QCOMPARE(again.at(0).parameter(alive, action), text.left(stored));
}

void TestAlertProfile::fileSizes()
{
    AlertProfileList list(path());
    QVERIFY(list.save());
    QCOMPARE(readFile(path()), QByteArray(4, '\0'));

    list.addProfile(QStringLiteral("Alpha"));
    list.addProfile(QStringLiteral("Beta"));
    QVERIFY(list.save());
    const QByteArray bytes = readFile(path());
    QCOMPARE(bytes.size(), 3456);
    QCOMPARE(bytes.left(4), le32(2));
    QCOMPARE(bytes.mid(4 + 1726, 5), QByteArray("\x04"
                                                "Beta"));
}

void TestAlertProfile::roundTripThroughTheFile()
{
    AlertProfileList list(path());
    list.addProfile(QStringLiteral("Gr\u00FC\u00DFe \u20AC"));
    list.addProfile(QStringLiteral("Second"));
    for (int a = 0; a < AlertActionCount; ++a)
        list.setAction(1, (a % 2) != 0, a, true);
    list.setParameter(0, false, aaPlaySound, QStringLiteral("/usr/share/sounds/bell.oga"));
    list.setParameter(1, true, aaSendEMail, QStringLiteral("ops@example.com"));
    QVERIFY(list.save());

    AlertProfileList again(path());
    QVERIFY(again.load());
    QCOMPARE(again.names(), list.names());
    QCOMPARE(again.encode(), list.encode());
    QCOMPARE(again.at(0).DeadSound, QStringLiteral("/usr/share/sounds/bell.oga"));

    // Loading replaces the list rather than adding to it.
    QVERIFY(again.load());
    QCOMPARE(again.count(), 2);
}

void TestAlertProfile::defaultFileIsInTheDataFolder()
{
    AlertProfileList list;
    QCOMPARE(list.fileName(), Paths::dataFile(QStringLiteral("profile.dat")));
}

void TestAlertProfile::findByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::newRow("exact") << "Beta" << 1;
    QTest::newRow("other case") << "bETA" << 1;
    QTest::newRow("first of two that differ in case") << "alpha" << 0;
    QTest::newRow("prefix only") << "Alp" << -1;
    QTest::newRow("longer") << "Alphas" << -1;
    QTest::newRow("trailing blank") << "Beta " << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("accented letter case") << QStringLiteral("\u00C9T\u00C9") << 3;
}

void TestAlertProfile::findByName()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    AlertProfileList list(path());
    AlertProfile p;
    for (const QString &n :
         {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("ALPHA"), QStringLiteral("\u00E9t\u00E9")}) {
        p.Name = n;
        list.append(p); // the file may hold names that differ only in case
    }
    QCOMPARE(list.find(name), index);
}

void TestAlertProfile::newRefusesDuplicatesIgnoringCase()
{
    AlertProfileList list(path());
    QCOMPARE(list.addProfile(QStringLiteral("Alpha")), 0);
    QCOMPARE(list.addProfile(QStringLiteral("Beta")), 1);
    QCOMPARE(list.addProfile(QStringLiteral("alpha")), -1);
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.addProfile(QStringLiteral("Alpha2")), 2);
    QCOMPARE(list.names(), QStringList({"Alpha", "Beta", "Alpha2"}));
    QCOMPARE(QString::fromLatin1(AlertProfileList::DuplicateNameMessage),
             QStringLiteral("Alert with this name already exists"));

    // Names are compared as they will be stored: cut to 255 characters.
    const QString longName(300, QLatin1Char('n'));
    QCOMPARE(list.addProfile(longName), 3);
    QCOMPARE(list.at(3).Name.size(), 255);
    QCOMPARE(list.addProfile(longName.left(260)), -1);
}

void TestAlertProfile::deleteRemovesOnlyThatProfile()
{
    AlertProfileList list(path());
    for (const char *n : {"A", "B", "C"})
        list.addProfile(QString::fromLatin1(n));
    list.setParameter(2, true, aaSendEMail, QStringLiteral("c@example.com"));
    QVERIFY(list.remove(1));
    QCOMPARE(list.names(), QStringList({"A", "C"}));
    QCOMPARE(list.at(1).AliveMailRecipient, QStringLiteral("c@example.com"));
    QCOMPARE(list.find(QStringLiteral("B")), -1);
    QVERIFY(!list.remove(2));
    QVERIFY(!list.remove(-1));
    QCOMPARE(list.count(), 2);
}

void TestAlertProfile::damagedFiles_data()
{
    AlertProfileList two;
    two.addProfile(QStringLiteral("One"));
    two.addProfile(QStringLiteral("Two"));
    const QByteArray records = two.encode().mid(4);

    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("clean");
    QTest::addColumn<bool>("keptAside"); // the next save keeps a copy of the file
    QTest::newRow("empty file") << QByteArray() << QStringList() << false << false;
    QTest::newRow("three bytes") << QByteArray("\x01\x00\x00", 3) << QStringList() << false << true;
    QTest::newRow("count zero") << le32(0) << QStringList() << true << false;
    QTest::newRow("negative count") << le32(-5) + records << QStringList() << true << true;
    QTest::newRow("count trusted over extra records") << le32(1) + records << QStringList({"One"}) << true << true;
    QTest::newRow("cut in the second record")
        << le32(2) + records.left(1726 + 700) << QStringList({"One"}) << false << true;
    QTest::newRow("announces three, holds two") << le32(3) + records << QStringList({"One", "Two"}) << false << true;
    QTest::newRow("absurd count") << le32(0x7FFFFFFF) + records << QStringList({"One", "Two"}) << false << true;
    QByteArray bad = le32(1) + records.left(1726);
    bad[4] = char(0xFF); // a length byte past the field's 255 characters cannot escape it
    bad[5 + 254] = 'Q';
    QTest::newRow("garbage length") << bad << QStringList({"One" + QString(251, QChar(0)) + "Q"}) << true << false;
}

void TestAlertProfile::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(bool, clean);
    QFETCH(bool, keptAside);
    writeFile(path(), bytes);
    AlertProfileList list(path());
    list.addProfile(QStringLiteral("left over from before"));
    QString problem;
    QCOMPARE(list.load(&problem), clean);
    QCOMPARE(list.names(), names);
    if (!clean)
        QVERIFY2(problem.contains(path()), qPrintable(problem));
    QVERIFY(list.save());
    QCOMPARE(QFile::exists(path() + ".bak"), keptAside);
    if (keptAside)
        QCOMPARE(readFile(path() + ".bak"), bytes);
}

void TestAlertProfile::unreadableFileIsReportedAndKeptOnSave()
{
    // A folder in the file's place cannot be read as a file.
    QVERIFY(QDir().mkpath(path()));
    AlertProfileList list(path());
    QString problem;
    QVERIFY(!list.load(&problem));
    QVERIFY(problem.contains(path()));
    QCOMPARE(list.count(), 0);
    QString error;
    QVERIFY(!list.save(&error));
    QVERIFY(QFileInfo(path()).isDir());
    QVERIFY(QDir().rmdir(path()));
}

void TestAlertProfile::damagedFileIsKeptAsideBeforeItIsReplaced()
{
    AlertProfileList two;
    two.addProfile(QStringLiteral("One"));
    two.addProfile(QStringLiteral("Two"));
    const QByteArray damaged = le32(2) + two.encode().mid(4, 1726 + 10);
    writeFile(path(), damaged);

    AlertProfileList list(path());
    QVERIFY(!list.load());
    QCOMPARE(list.names(), QStringList({"One"}));
    list.addProfile(QStringLiteral("Three"));
    QVERIFY(list.save());
    QCOMPARE(readFile(path() + ".bak"), damaged);
    QCOMPARE(readFile(path()).size(), 4 + 2 * 1726);

    // Only the damaged original is kept: a later save leaves the copy alone.
    list.addProfile(QStringLiteral("Four"));
    QVERIFY(list.save());
    QCOMPARE(readFile(path() + ".bak"), damaged);
}

void TestAlertProfile::failedSaveNamesTheFile()
{
    const QString missingDir = m_dir.filePath(QStringLiteral("no/such/folder/profile.dat"));
    AlertProfileList list(missingDir);
    list.addProfile(QStringLiteral("A"));
    QString error;
    QVERIFY(!list.save(&error));
    QVERIFY2(error.contains(missingDir), qPrintable(error));
}

void TestAlertProfile::textBeyondTheCodePageRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");
    for (const UnicodeText &t : unicodeTexts())
        QTest::newRow(t.tag) << t.text << t.stored;
    // A recipient field holds 100 bytes: 99 x and not the letter after them.
    QTest::newRow("cut inside a character") << cutInsideCharacter(100) << QByteArray(99, 'x');
}

// Every text field goes to the file in Windows-1252 where it holds the text
// and as UTF-8 otherwise, and comes back as it was; the name stays
// case-blind for lookups.
void TestAlertProfile::textBeyondTheCodePageRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    AlertProfileList list(path());
    const QString name = Ansi::cut(text, 255);
    QCOMPARE(list.addProfile(name), 0);
    QVERIFY(list.setParameter(0, false, aaSendEMail, text));
    QVERIFY(list.setParameter(0, true, aaPlaySound, text));
    QVERIFY(list.save());
    const QByteArray rec = readFile(path()).mid(4);
    QCOMPARE(rec.size(), 1726);
    QCOMPARE(rec.mid(601, 1 + stored.size()), char(stored.size()) + stored);

    AlertProfileList back(path());
    QVERIFY(back.load());
    const QString kept = Ansi::cut(text, 100);
    QCOMPARE(back.at(0).DeadMailRecipient, kept);
    QCOMPARE(back.at(0).AliveSound, Ansi::cut(text, 255));
    QCOMPARE(back.at(0).Name, name);
    QCOMPARE(back.find(name.toUpper()), 0);
    QCOMPARE(back.addProfile(name.toLower()), -1);
    QCOMPARE(back.encode(), list.encode());
}

namespace
{

// A record as another writer may leave it: reserved flags set, flag bytes
// other than 1, and bytes past each string's length that are not zero.
QByteArray recordWithJunk(const QByteArray &name)
{
    QByteArray rec(1726, '\x5A');
    putString(rec, 0, 256, name);
    for (int i = 0; i < 21; ++i) {
        rec[256 + i] = char(i % 3 == 0 ? 0 : i); // 0 false; 1, 2, 4, 5, ... true
        rec[277 + i] = char(i % 2 == 0 ? 0 : 0x80 + i);
    }
    putString(rec, 298, 101, "net");
    putString(rec, 601, 101, "dead@example.com");
    putString(rec, 1470, 256, "caf\xE9.wav");
    return rec;
}

} // namespace

void TestAlertProfile::unchangedRecordsKeepTheirBytes()
{
    const QByteArray file = le32(2) + recordWithJunk("First") + recordWithJunk("Second");
    writeFile(path(), file);
    AlertProfileList list(path());
    QVERIFY(list.load());
    QCOMPARE(list.names(), (QStringList{"First", "Second"}));
    QVERIFY(list.at(0).DeadActions[20]); // reserved, 20 % 3 != 0
    QVERIFY(list.save());
    QCOMPARE(readFile(path()), file);
    // Setting a flag to the value it already has changes no byte either.
    QVERIFY(list.setAction(0, false, aaPlaySound, true));
    QVERIFY(list.setParameter(1, false, aaSendEMail, QStringLiteral("dead@example.com")));
    QVERIFY(list.save());
    QCOMPARE(readFile(path()), file);
}

void TestAlertProfile::changedFieldsAreWrittenOverTheStoredBytes()
{
    const QByteArray original = recordWithJunk("First");
    writeFile(path(), le32(1) + original);
    AlertProfileList list(path());
    QVERIFY(list.load());
    QVERIFY(list.setAction(0, false, aaShowMessage, true));  // was 0
    QVERIFY(list.setAction(0, true, aaSendEMail, false));    // was 0x83
    QVERIFY(list.setParameter(0, false, aaSendEMail, QStringLiteral("ops")));
    QVERIFY(list.save());

    QByteArray expected = original;
    expected[256 + 0] = 1;
    expected[277 + 3] = 0;
    expected[601] = 3; // the new length and text; the old bytes after them stay
    expected.replace(602, 3, "ops");
    const QByteArray rec = readFile(path()).mid(4);
    QCOMPARE(rec, expected);
    // It reads back as set.
    AlertProfileList back(path());
    QVERIFY(back.load());
    QCOMPARE(back.at(0).DeadMailRecipient, QStringLiteral("ops"));
    QVERIFY(back.at(0).action(false, aaShowMessage));
    QVERIFY(!back.at(0).action(true, aaSendEMail));
}

void TestAlertProfile::notARegularFile()
{
    // A named pipe in the file's place would block a reader for ever.
    const QString fifo = path();
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    AlertProfileList list(fifo);
    QString problem;
    QElapsedTimer t;
    t.start();
    QVERIFY(!list.load(&problem));
    QVERIFY(t.elapsed() < 5000);
    QVERIFY2(problem.contains(fifo) && problem.contains("not a regular file"), qPrintable(problem));
    QCOMPARE(list.count(), 0);
    // And it is not replaced by a regular file at exit.
    list.addProfile(QStringLiteral("A"));
    QVERIFY(!list.save());
    QFileInfo info(fifo);
    QVERIFY(!info.isFile());
    QVERIFY(QFile::remove(fifo));
}

// Root reads every file, so the unreadable file is read by nobody.
void TestAlertProfile::unreadableFileIsKeptAsBackup()
{
    Unprivileged::Sandbox box;
    QVERIFY(box.isValid());
    const QByteArray old = le32(1) + recordWithJunk("Old");
    writeFile(box.filePath("profile.dat"), old);
    QVERIFY(QFile::setPermissions(box.filePath("profile.dat"), {}));
    RUN_AS_NOBODY(box, "profile-unreadable");
    QCOMPARE(readFile(box.filePath("profile.dat.bak")), old);
    const QByteArray now = readFile(box.filePath("profile.dat"));
    QCOMPARE(now.size(), 4 + 1726);
    QCOMPARE(now.mid(4, 4), QByteArray("\x03New"));
}

int runChildCase(const QString &name, const QString &dir)
{
    if (name == "profile-unreadable") {
        const QString path = QDir(dir).filePath("profile.dat");
        AlertProfileList list(path);
        QString problem;
        CHILD_CHECK(!list.load(&problem));
        CHILD_CHECK2(problem.contains(path), problem);
        CHILD_CHECK2(problem.contains("At exit the old file is kept as profile.dat.bak."), problem);
        CHILD_CHECK(list.addProfile("New") == 0);
        QString error;
        CHILD_CHECK2(list.save(&error), error);
        return 0;
    }
    std::fprintf(stderr, "no child case %s\n", qPrintable(name));
    return 2;
}

SENTROVA_TEST_MAIN_WITH_CHILD_CASES(TestAlertProfile)
#include "test_alertprofile.moc"
