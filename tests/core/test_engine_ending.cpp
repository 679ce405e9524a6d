// The real program ended by SIGTERM while tests are in flight: TCP connects
// to a port that never answers and database opens on a server that accepts
// and never speaks. It ends at once, writes data.log, and logs nothing for
// the tests it abandoned.

#include "../support/swallowingport.h"
#include "core/projectfile.h"
#include "core/records.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

ObserverRecord every(ObserverRecord r, int sec)
{
    r.IntervalMin = 0;
    r.IntervalSec = sec;
    r.Enabled = true;
    return r;
}

} // namespace

class TestEngineEnding : public QObject
{
    Q_OBJECT

private slots:
    void sigtermWithTestsInFlight();
};

void TestEngineEnding::sigtermWithTestsInFlight()
{
    SwallowingPort swallowing;
    if (!swallowing.start())
        QSKIP("this system answers every connection attempt to a full queue");
    QTcpServer silentDb; // accepts (the system does) and never says a word
    QVERIFY(silentDb.listen(QHostAddress::LocalHost, 0));

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString home = tmp.filePath(QStringLiteral("home"));
    const QString runtime = tmp.filePath(QStringLiteral("runtime"));
    const QString data = tmp.filePath(QStringLiteral("store"));
    for (const QString &d : {home, runtime, data})
        QVERIFY(QDir().mkpath(d));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    std::vector<ObserverRecord> objects;
    for (int i = 0; i < 3; ++i) {
        ObserverRecord r = Records::newRecord(okTcpConnect);
        r.params<TcpConnectParams>()->Target = QStringLiteral("127.0.0.1");
        r.params<TcpConnectParams>()->Port = swallowing.port;
        objects.push_back(every(r, 1));
    }
    for (int i = 0; i < 2; ++i) {
        ObserverRecord r = Records::newRecord(okDatabase);
        r.setTarget(QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=%1;UID=u;PWD=p;Database=d")
                        .arg(silentDb.serverPort()));
        objects.push_back(every(r, 1));
    }
    ObserverRecord present = Records::newRecord(okFilePresent);
    present.setTarget(tmp.path());
    objects.push_back(every(present, 0));
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : objects)
        ptrs.push_back(&r);
    const QString project = tmp.filePath(QStringLiteral("hostile.snv"));
    {
        QFile f(project);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProjectFormat::encode(ptrs));
    }

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"SENTROVA_EXIT_WHEN_TESTED", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("SENTROVA_HOME"), data);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setProgram(QStringLiteral(SENTROVA_PROGRAM));
    p.setArguments({project});
    p.setWorkingDirectory(tmp.path());
    p.start();
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));

    // The tests start at load; the TCP and database ones wait for 10 s. Both
    // kinds of peer have been reached before the end comes.
    QTRY_VERIFY_WITH_TIMEOUT(silentDb.hasPendingConnections(), 10000);
    QTest::qWait(1000);
    QCOMPARE(p.state(), QProcess::Running);

    QElapsedTimer clock;
    clock.start();
    p.terminate();
    // The goal is one second; the bound here only catches a hang.
    const bool ended = p.waitForFinished(5000);
    if (!ended)
        p.kill();
    QVERIFY2(ended, "the program did not end within 5 s of SIGTERM");
    qInfo("ended %lld ms after SIGTERM", clock.elapsed());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    QFile log(data + QStringLiteral("/data.log"));
    QVERIFY2(log.open(QIODevice::ReadOnly), "data.log was not written");
    const QString text = QString::fromLatin1(log.readAll());
    QVERIFY2(text.contains(QLatin1String(";;File/Folder Present\r\n")), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1String("TCP Connect")), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1String("Database Connect")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestEngineEnding)
#include "test_engine_ending.moc"
