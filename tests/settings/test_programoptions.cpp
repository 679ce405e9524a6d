// The program options store: the Option group of QSettings (every value as
// text), the message template file email.dat and the window placement.
#include "core/paths.h"
#include "settings/programoptions.h"

#include "../support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestProgramOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstRunGivesDefaultsAndWritesNothing();
    void storedTextConverts_data();
    void storedTextConverts();
    void saveWritesEveryValueAsText();
    void cancelRestoresTheStoreAndTheTemplateOnlyFromAFile();
    void templateLineEnds_data();
    void templateLineEnds();
    void templateIsWrittenWithCrLfInWindows1252();
    void placementKeepsNormalGeometryWhenMaximised();
    void placementValues_data();
    void placementValues();
    void mailPort_data();
    void mailPort();
    void failedTemplateWriteNamesTheFile();
    void defaultLocationIsTheUserStore();
    void alertAfterIsStoredOnlyWhileOn();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    OptionsLocation m_where;
    QString iniPath() const { return m_dir.filePath(QStringLiteral("sentrova.ini")); }
    QString templatePath() const { return m_dir.filePath(QStringLiteral("email.dat")); }
    // Writes raw INI text and reopens the settings on it.
    void setIni(const QByteArray &text);
};

void TestProgramOptions::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(iniPath());
    QFile::remove(templatePath());
    m_settings = std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
    m_where = OptionsLocation{m_settings.get(), templatePath()};
}

void TestProgramOptions::cleanup()
{
    m_settings.reset();
}

void TestProgramOptions::setIni(const QByteArray &text)
{
    m_settings.reset();
    writeFile(iniPath(), text);
    m_settings = std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
    m_where.settings = m_settings.get();
}

void TestProgramOptions::firstRunGivesDefaultsAndWritesNothing()
{
    ProgramOptions o;
    o.SmtpServer = QStringLiteral("changed");
    o.AutoStart = true;
    QVERIFY(LoadProgramOptions(o, m_where));
    QCOMPARE(o.SmtpServer, QString());
    QCOMPARE(o.SmtpPort, QStringLiteral("25"));
    QCOMPARE(o.MailSubject, QStringLiteral("Velmora Sentrova"));
    QVERIFY(o.MailFrom.contains('@'));
    QVERIFY(o.MailTo.contains('@'));
    QVERIFY(!o.AutoStart);
    QVERIFY(!o.MinimizeToTray);
    const QStringList expected = {
        "Hello",
        "",
        "This is message from Velmora Sentrova:",
        "",
        "Host name or IP address : %HostName%",
        "Status      : %STATUS%",
        "Date Time: %DATETIME%",
        "Test         : %TestMethod%",
        "",
        "Comment : %Comment%",
        "",
        "Best Regards",
    };
    QCOMPARE(o.MessageTemplate, expected);

    const WindowPlacement wp = LoadWindowPlacement(m_where);
    QCOMPARE(wp.Width, 600);
    QCOMPARE(wp.Heigth, 400);
    QCOMPARE(wp.Left, 10);
    QCOMPARE(wp.Top, 10);
    QCOMPARE(wp.WinState, 2);

    // Reading never writes a default back: the Option group is made only by
    // the first write.
    m_settings->sync();
    QVERIFY(!readFile(iniPath()).contains("[Option]"));
    QVERIFY(!QFile::exists(templatePath()));
    QVERIFY(SaveWindowPlacement(wp, m_where));
    QVERIFY(readFile(iniPath()).contains("[Option]"));
}

void TestProgramOptions::storedTextConverts_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("2 is on") << QByteArray("2") << true;
    QTest::newRow("-1 is on") << QByteArray("-1") << true;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("x is the default") << QByteArray("x") << false;
    QTest::newRow("empty is the default") << QByteArray("") << false;
    QTest::newRow("true is not a number") << QByteArray("true") << false;
}

void TestProgramOptions::storedTextConverts()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, on);
    setIni("[Option]\nMinimize%20To%20Tray=" + stored + "\nAuto%20Start=" + stored + "\nWidth=" + stored + "\n");
    ProgramOptions o;
    QVERIFY(LoadProgramOptions(o, m_where));
    QCOMPARE(o.MinimizeToTray, on);
    QCOMPARE(o.AutoStart, on);
    bool isNumber = false;
    const int n = QString::fromLatin1(stored).toInt(&isNumber);
    QCOMPARE(LoadWindowPlacement(m_where).Width, isNumber ? n : 600);
}

void TestProgramOptions::saveWritesEveryValueAsText()
{
    ProgramOptions o;
    o.SmtpServer = QStringLiteral("127.0.0.1");
    o.SmtpPort = QStringLiteral("abc"); // stored as typed
    o.MailFrom = QStringLiteral("me@example.com");
    o.MailTo = QStringLiteral("you@example.com");
    o.MailSubject = QStringLiteral("Alert, urgent"); // a comma must not turn into a list
    o.AutoStart = true;
    o.MinimizeToTray = false;
    QVERIFY(SaveProgramOptions(o, m_where));

    m_settings.reset();
    QSettings raw(iniPath(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Option"));
    const QStringList keys = {"SMTP Server",  "SMTP Port",  "Mail From",       "Mail To",
                              "Mail Subject", "Auto Start", "Minimize To Tray"};
    const QStringList stored = raw.childKeys();
    QCOMPARE(QSet<QString>(stored.begin(), stored.end()), QSet<QString>(keys.begin(), keys.end()));
    for (const QString &k : keys)
        QCOMPARE(raw.value(k).typeId(), int(QMetaType::QString));
    QCOMPARE(raw.value("SMTP Port").toString(), QStringLiteral("abc"));
    QCOMPARE(raw.value("Auto Start").toString(), QStringLiteral("1"));
    QCOMPARE(raw.value("Minimize To Tray").toString(), QStringLiteral("0"));
    raw.endGroup();

    QSettings reopened(iniPath(), QSettings::IniFormat);
    ProgramOptions back;
    QVERIFY(LoadProgramOptions(back, OptionsLocation{&reopened, templatePath()}));
    QCOMPARE(back.SmtpServer, o.SmtpServer);
    QCOMPARE(back.SmtpPort, o.SmtpPort);
    QCOMPARE(back.MailFrom, o.MailFrom);
    QCOMPARE(back.MailTo, o.MailTo);
    QCOMPARE(back.MailSubject, o.MailSubject);
    QCOMPARE(back.AutoStart, true);
    QCOMPARE(back.MinimizeToTray, false);
    QCOMPARE(back.MessageTemplate, o.MessageTemplate);
    QCOMPARE(back.mailPort(), quint16(25));
}

void TestProgramOptions::cancelRestoresTheStoreAndTheTemplateOnlyFromAFile()
{
    ProgramOptions o;
    QVERIFY(LoadProgramOptions(o, m_where));
    o.MailSubject = QStringLiteral("Stored subject");
    QVERIFY(SaveProgramOptions(o, m_where));
    QVERIFY(QFile::remove(templatePath())); // as on a machine that never had email.dat

    // Edits in the dialog, then Cancel.
    o.MailSubject = QStringLiteral("Edited");
    o.MinimizeToTray = true;
    o.MessageTemplate = QStringList{"edited template"};
    QVERIFY(CancelProgramOptions(o, m_where));
    QCOMPARE(o.MailSubject, QStringLiteral("Stored subject"));
    QVERIFY(!o.MinimizeToTray);
    QCOMPARE(o.MessageTemplate, QStringList{"edited template"}); // no file: the edit stays in force

    // With email.dat present, Cancel brings its template back.
    QVERIFY(SaveProgramOptions(o, m_where));
    o.MessageTemplate = QStringList{"edited again", "x"};
    QVERIFY(CancelProgramOptions(o, m_where));
    QCOMPARE(o.MessageTemplate, QStringList{"edited template"});
}

void TestProgramOptions::templateLineEnds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("lone CR and LF") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx\r\n\r\n") << QStringList{"", "", "x", ""};
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("Windows-1252") << QByteArray("\x80 Gr\xFC\xDF"
                                                "e")
                                  << QStringList{QStringLiteral("\u20AC Gr\u00FC\u00DFe")};
}

void TestProgramOptions::templateLineEnds()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    writeFile(templatePath(), file);
    ProgramOptions o;
    QVERIFY(LoadProgramOptions(o, m_where));
    QCOMPARE(o.MessageTemplate, lines);
}

void TestProgramOptions::templateIsWrittenWithCrLfInWindows1252()
{
    ProgramOptions o;
    QVERIFY(SaveProgramOptions(o, m_where));
    const QByteArray expected = "Hello\r\n\r\nThis is message from Velmora Sentrova:\r\n\r\n"
                                "Host name or IP address : %HostName%\r\nStatus      : %STATUS%\r\n"
                                "Date Time: %DATETIME%\r\nTest         : %TestMethod%\r\n\r\n"
                                "Comment : %Comment%\r\n\r\nBest Regards\r\n";
    QCOMPARE(readFile(templatePath()), expected);

    o.MessageTemplate = QStringList{QStringLiteral("Gr\u00FC\u00DFe \u20AC"), "", "end"};
    QVERIFY(SaveProgramOptions(o, m_where));
    QCOMPARE(readFile(templatePath()), QByteArray("Gr\xFC\xDF"
                                                 "e \x80\r\n\r\nend\r\n"));
    ProgramOptions back;
    QVERIFY(LoadProgramOptions(back, m_where));
    QCOMPARE(back.MessageTemplate, o.MessageTemplate);
}

void TestProgramOptions::placementKeepsNormalGeometryWhenMaximised()
{
    QVERIFY(SaveWindowPlacement(WindowPlacement{800, 500, 30, 40, WindowPlacement::Normal}, m_where));
    m_settings->sync();
    const QByteArray normalSaved = readFile(iniPath());
    QVERIFY(normalSaved.contains("Heigth=500"));

    // Closing maximised writes only WinState.
    QVERIFY(SaveWindowPlacement(WindowPlacement{1920, 1080, 0, 0, WindowPlacement::Maximized}, m_where));
    m_settings->sync();
    QByteArray expected = normalSaved;
    expected.replace("WinState=0", "WinState=2");
    QCOMPARE(readFile(iniPath()), expected);

    const WindowPlacement wp = LoadWindowPlacement(m_where);
    QCOMPARE(wp.Width, 800);
    QCOMPARE(wp.Heigth, 500);
    QCOMPARE(wp.Left, 30);
    QCOMPARE(wp.Top, 40);
    QCOMPARE(wp.WinState, 2);

    QVERIFY(SaveWindowPlacement(WindowPlacement{1, 2, 3, 4, WindowPlacement::Minimized}, m_where));
    QCOMPARE(LoadWindowPlacement(m_where).Width, 800);
    QCOMPARE(LoadWindowPlacement(m_where).WinState, 1);
}

void TestProgramOptions::placementValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<int>>("expected"); // width, height, left, top, state
    QTest::newRow("stored") << QByteArray("Width=1024\nHeigth=700\nLeft=-5\nTop=20\nWinState=0")
                            << QList<int>{1024, 700, -5, 20, 0};
    QTest::newRow("unconvertible text") << QByteArray("Width=wide\nHeigth=7.5\nLeft=\nTop=1e3\nWinState=max")
                                        << QList<int>{600, 400, 10, 10, 2};
    QTest::newRow("state out of range") << QByteArray("WinState=7") << QList<int>{600, 400, 10, 10, 2};
    QTest::newRow("minimised") << QByteArray("WinState=1") << QList<int>{600, 400, 10, 10, 1};
    QTest::newRow("Height spelt right is not read") << QByteArray("Height=900") << QList<int>{600, 400, 10, 10, 2};
}

void TestProgramOptions::placementValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<int>, expected);
    setIni("[Option]\n" + ini + "\n");
    const WindowPlacement wp = LoadWindowPlacement(m_where);
    QCOMPARE((QList<int>{wp.Width, wp.Heigth, wp.Left, wp.Top, wp.WinState}), expected);
}

void TestProgramOptions::mailPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("default") << "25" << 25;
    QTest::newRow("2525") << "2525" << 2525;
    QTest::newRow("abc") << "abc" << 25;
    QTest::newRow("empty") << "" << 25;
    QTest::newRow("mixed") << "25x" << 25;
    QTest::newRow("low 16 bits of 70000") << "70000" << 4464;
    QTest::newRow("low 16 bits of -1") << "-1" << 65535;
    QTest::newRow("beyond 32 bits") << "99999999999" << 25;
}

void TestProgramOptions::mailPort()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(int(ProgramOptions::mailPort(text)), port);
}

void TestProgramOptions::failedTemplateWriteNamesTheFile()
{
    const QString bad = m_dir.filePath(QStringLiteral("missing/folder/email.dat"));
    QString error;
    QVERIFY(!SaveProgramOptions(ProgramOptions{}, OptionsLocation{m_settings.get(), bad}, &error));
    QVERIFY2(error.contains(bad), qPrintable(error));

    // A template file that exists but cannot be read keeps the template.
    QVERIFY(QDir().mkpath(templatePath()));
    ProgramOptions o;
    o.MessageTemplate = QStringList{"kept"};
    QString problem;
    QVERIFY(!LoadProgramOptions(o, m_where, &problem));
    QVERIFY(problem.contains(templatePath()));
    QCOMPARE(o.MessageTemplate, QStringList{"kept"});
    QVERIFY(QDir().rmdir(templatePath()));
}

void TestProgramOptions::defaultLocationIsTheUserStore()
{
    // The test runs with a private XDG_CONFIG_HOME and data folder.
    ProgramOptions o;
    o.MailSubject = QStringLiteral("From the user store");
    QVERIFY(SaveProgramOptions(o));
    const QString conf = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Velmora/Sentrova.conf");
    QVERIFY2(readFile(conf).contains("[Option]"), qPrintable(conf));
    QVERIFY(QFile::exists(Paths::dataFile(QStringLiteral("email.dat"))));
    ProgramOptions back;
    QVERIFY(LoadProgramOptions(back));
    QCOMPARE(back.MailSubject, o.MailSubject);
}

// The "Alert After Bad Attempts" value exists only while the option is on:
// a store that never had it keeps its seven values.
void TestProgramOptions::alertAfterIsStoredOnlyWhileOn()
{
    ProgramOptions o;
    o.AlertAfterBadAttempts = true;
    QVERIFY(SaveProgramOptions(o, m_where));
    QCOMPARE(m_settings->value(QStringLiteral("Option/Alert After Bad Attempts")).toString(), QStringLiteral("1"));
    ProgramOptions back;
    QVERIFY(LoadProgramOptions(back, m_where));
    QVERIFY(back.AlertAfterBadAttempts);

    o.AlertAfterBadAttempts = false;
    QVERIFY(SaveProgramOptions(o, m_where));
    m_settings->beginGroup(QStringLiteral("Option"));
    QCOMPARE(m_settings->childKeys().size(), 7);
    QVERIFY(!m_settings->contains(QStringLiteral("Alert After Bad Attempts")));
    m_settings->endGroup();
    QVERIFY(LoadProgramOptions(back, m_where));
    QVERIFY(!back.AlertAfterBadAttempts);

    // Read like every boolean: text that is no number is off. Each text has
    // its own length (trailing blanks are dropped on reading): the settings
    // cache takes a file of the same size and time for the same file.
    for (const auto &[text, on] : {std::pair{"1", true}, {"0 ", false}, {"7  ", true}, {"yes   ", false}}) {
        setIni(QByteArray("[Option]\nAlert After Bad Attempts=") + text + "\n");
        QVERIFY(LoadProgramOptions(back, m_where));
        QCOMPARE(back.AlertAfterBadAttempts, on);
    }
}

QTEST_GUILESS_MAIN(TestProgramOptions)
#include "test_programoptions.moc"
