// The message template file email.dat as a store: text beyond Windows-1252,
// and files that are no template (a pipe, a device, a huge file).
#include "settings/programoptions.h"

#include "../support/testfiles.h"
#include "../support/unicodetexts.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestTemplateFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(path());
        m_settings = std::make_unique<QSettings>(m_dir.filePath("options.ini"), QSettings::IniFormat);
    }
    void linesBeyondTheCodePageRoundTrip_data();
    void linesBeyondTheCodePageRoundTrip();
    void notATemplateFile_data();
    void notATemplateFile();

private:
    QString path() const { return m_dir.filePath(QStringLiteral("email.dat")); }
    OptionsLocation where() const { return OptionsLocation{m_settings.get(), path()}; }
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
};

void TestTemplateFile::linesBeyondTheCodePageRoundTrip_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("stored");
    for (const UnicodeText &t : unicodeTexts())
        QTest::newRow(t.tag) << t.text << t.stored;
}

// Each line by itself: the lines Windows-1252 holds keep their bytes.
void TestTemplateFile::linesBeyondTheCodePageRoundTrip()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, stored);
    ProgramOptions o;
    o.MessageTemplate = QStringList{QStringLiteral("Hall\u00f6"), line, QStringLiteral("%STATUS%")};
    QString error;
    QVERIFY2(SaveProgramOptions(o, where(), &error), qPrintable(error));
    QCOMPARE(readFile(path()), "Hall\xF6\r\n" + stored + "\r\n%STATUS%\r\n");
    ProgramOptions back;
    back.MessageTemplate.clear();
    QVERIFY(LoadProgramOptions(back, where()));
    QCOMPARE(back.MessageTemplate, o.MessageTemplate);
}

void TestTemplateFile::notATemplateFile_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason");
    QTest::newRow("named pipe") << "fifo" << "not a regular file";
    QTest::newRow("endless device") << "device" << "not a regular file";
    QTest::newRow("folder") << "folder" << "not a regular file";
    QTest::newRow("larger than the cap") << "huge" << "larger than";
}

// None of these may block the start or take all memory: each is refused
// at once, named in the message, and the template in force stays.
void TestTemplateFile::notATemplateFile()
{
    QFETCH(QString, what);
    QFETCH(QString, reason);
    const QByteArray native = QFile::encodeName(path());
    if (what == "fifo") {
        QCOMPARE(mkfifo(native.constData(), 0600), 0);
    } else if (what == "device") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path()));
    } else if (what == "folder") {
        QVERIFY(QDir().mkpath(path()));
    } else {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(ProgramOptions::TemplateFileMaxBytes + 1)); // sparse: costs no disk
    }
    ProgramOptions o;
    o.MessageTemplate = QStringList{"in force"};
    QString problem;
    QElapsedTimer t;
    t.start();
    QVERIFY(!LoadProgramOptions(o, where(), &problem));
    QVERIFY(t.elapsed() < 5000);
    QVERIFY2(problem.contains(path()) && problem.contains(reason), qPrintable(problem));
    QCOMPARE(o.MessageTemplate, QStringList{"in force"});
    if (what == "folder")
        QDir().rmdir(path());
    else
        QFile::remove(path());
}

QTEST_GUILESS_MAIN(TestTemplateFile)
#include "test_templatefile.moc"
