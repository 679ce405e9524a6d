// The command line: what it reads from the arguments, and the real program
// answering --version, --help and a mistyped option without a window.
#include "ui/commandline.h"

#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void program_data();
    void program();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("file");
    const int run = CommandLine::Run, help = CommandLine::Help, version = CommandLine::Version, error = CommandLine::Error;
    QTest::newRow("nothing") << QStringList{} << run << "";
    QTest::newRow("a project") << QStringList{"watch.snv"} << run << "watch.snv";
    QTest::newRow("first project only, as before") << QStringList{"a.snv", "b.snv"} << run << "a.snv";
    QTest::newRow("help") << QStringList{"--help"} << help << "";
    QTest::newRow("-h after a file") << QStringList{"a.snv", "-h"} << help << "";
    QTest::newRow("version") << QStringList{"--version"} << version << "";
    QTest::newRow("unknown long") << QStringList{"--verbose"} << error << "";
    QTest::newRow("unknown short") << QStringList{"-x", "a.snv"} << error << "";
    QTest::newRow("unknown after a file") << QStringList{"a.snv", "--nope"} << error << "";
    QTest::newRow("Qt option with its value") << QStringList{"-platform", "offscreen", "a.snv"} << run << "a.snv";
    QTest::newRow("Qt option, two dashes, inline value") << QStringList{"--style=Fusion", "a.snv"} << run << "a.snv";
    QTest::newRow("Qt flag") << QStringList{"-reverse", "a.snv"} << run << "a.snv";
    QTest::newRow("a file named like an option after --") << QStringList{"--", "--help"} << run << "--help";
    QTest::newRow("a lone dash is a name") << QStringList{"-"} << run << "-";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, file);
    const CommandLine c = CommandLine::parse(args);
    QCOMPARE(int(c.action), action);
    if (action == CommandLine::Run)
        QCOMPARE(c.file, file);
    if (action == CommandLine::Error) {
        QVERIFY(c.error.startsWith(QLatin1String("sentrova: unknown option \"")));
        QVERIFY(!c.error.contains(QLatin1Char('\n')));
    }
}

void TestCommandLine::program_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Velmora Sentrova " SENTROVA_VERSION "\n" << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "x.snv"} << 2 << ""
                                    << "sentrova: unknown option \"--frobnicate\" (sentrova --help shows the usage)\n";
    QTest::newRow("help") << QStringList{"--help"} << 0 << CommandLine::helpText() << "";
}

void TestCommandLine::program()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    // No display at all: a program that tried to open a window would abort.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(SENTROVA_PROGRAM), args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    QCOMPARE(QString::fromLocal8Bit(p.readAllStandardOutput()), out);
    QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), err);
}


QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
