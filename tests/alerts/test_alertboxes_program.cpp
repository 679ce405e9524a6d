// The real program with alert boxes nobody closes: the objects of a project
// fail at once, each Dead side shows its box and runs its program; nothing
// waits for the boxes, and SIGTERM with the boxes open still ends the program
// normally with its stores written.
#include "alerts/alertprofile.h"
#include "core/projectfile.h"
#include "settings/programoptions.h"

#include "../support/testfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace
{

ObserverRecord missingFileObject(const QString &path, const QString &profile)
{
    ObserverRecord r = Records::newRecord(okFilePresent);
    r.setTarget(path);
    r.IntervalMin = 0;
    r.IntervalSec = 1;
    r.AlertProfileName = profile;
    r.Enabled = true;
    return r;
}

} // namespace

class TestAlertBoxesProgram : public QObject
{
    Q_OBJECT

private slots:
    void boxesHoldNothingBackAndSigtermEndsCleanly();
};

void TestAlertBoxesProgram::boxesHoldNothingBackAndSigtermEndsCleanly()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString home = tmp.filePath("home"), config = home + "/.config", runtime = tmp.filePath("runtime"),
                  data = tmp.filePath("store");
    for (const QString &d : {home, config, runtime, data})
        QVERIFY(QDir().mkpath(d));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        QSettings settings(config + "/Velmora/Sentrova.conf", QSettings::IniFormat);
        ProgramOptions o;
        o.AutoStart = true;
        QVERIFY(SaveProgramOptions(o, OptionsLocation{&settings, data + "/email.dat"}));
    }

    // The Dead side: a box first, then a program that records that it ran.
    const QString record = tmp.filePath("record.txt");
    const QString script = tmp.filePath("dead.sh");
    writeFile(script, "#!/bin/sh\nprintf 'dead\\n' >> '" + QFile::encodeName(record) + "'\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    AlertProfileList profiles(data + "/profile.dat");
    QCOMPARE(profiles.addProfile(QStringLiteral("Box")), 0);
    profiles.setAction(0, false, aaShowMessage, true);
    profiles.setAction(0, false, aaExecuteProgram, true);
    profiles.setParameter(0, false, aaExecuteProgram, script);
    QVERIFY(profiles.save());
    const QByteArray profileBytes = readFile(data + "/profile.dat");

    const std::vector<ObserverRecord> objects = {missingFileObject(tmp.filePath("never-1.txt"), "Box"),
                                                 missingFileObject(tmp.filePath("never-2.txt"), "Box")};
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : objects)
        ptrs.push_back(&r);
    const QString project = tmp.filePath("boxes.snv");
    writeFile(project, ProjectFormat::encode(ptrs));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"SENTROVA_EXIT_WHEN_TESTED", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(name));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("SENTROVA_HOME", data);
    p.setProcessEnvironment(env);
    p.setProgram(QStringLiteral(SENTROVA_PROGRAM));
    p.setArguments({project});
    p.setWorkingDirectory(tmp.path());
    p.start();
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));

    // Both objects fail: two boxes open, and both programs run behind them
    // although no box was ever closed.
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && readFile(record).count('\n') < 2 && p.state() == QProcess::Running)
        QTest::qWait(50);
    QCOMPARE(readFile(record), QByteArray("dead\ndead\n"));
    QTest::qWait(2500); // more ticks with the boxes still open: no more alerts
    QCOMPARE(readFile(record), QByteArray("dead\ndead\n"));

    QVERIFY2(p.state() == QProcess::Running, p.readAllStandardError().constData());
    p.terminate(); // SIGTERM
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(5000);
        QFAIL("the program did not end within 15 s of SIGTERM");
    }
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(readFile(data + "/profile.dat"), profileBytes);
    QVERIFY(readFile(data + "/data.log").contains("never-1.txt"));
}

QTEST_GUILESS_MAIN(TestAlertBoxesProgram)
#include "test_alertboxes_program.moc"
