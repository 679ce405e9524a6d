// The real program, started as a user's desktop would start it: a project on
// its command line, the options set to start monitoring by themselves, an
// alert profile that runs a recording script, schedules, and an event log of
// an earlier run. The test watches it from outside (the files it leaves and
// the programs it starts), ends it with SIGTERM and checks what it wrote, byte
// for byte.
#include "alerts/alertprofile.h"
#include "core/ansitext.h"
#include "core/projectfile.h"
#include "schedules/schedulestore.h"
#include "settings/programoptions.h"

#include "../support/testfiles.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace
{

const QString kProgram = QStringLiteral(SENTROVA_PROGRAM);

// A File/Folder Present object tested every second.
ObserverRecord presentObject(const QString &path, bool alertIfExists, const QString &profile,
                             const QString &schedule = QString(), const QString &lastResult = QString())
{
    ObserverRecord r = Records::newRecord(okFilePresent);
    r.setTarget(path);
    r.params<FilePresentParams>()->AlertIfExists = alertIfExists;
    r.IntervalMin = 0;
    r.IntervalSec = 1;
    r.AlertProfileName = profile;
    r.ScheduleName = schedule;
    r.LastResult = lastResult;
    r.Enabled = true;
    return r;
}

// A private home for one run of the program: HOME, the XDG folders and the
// data folder all inside one temporary folder, so the run never sees the
// real user's settings or stores.
struct ProgramHome {
    QTemporaryDir tmp;
    QString home, config, runtime, data;

    ProgramHome()
    {
        home = tmp.filePath(QStringLiteral("home"));
        config = home + QStringLiteral("/.config");
        runtime = tmp.filePath(QStringLiteral("runtime"));
        data = tmp.filePath(QStringLiteral("store"));
        for (const QString &d : {home, config, runtime, data, home + QStringLiteral("/.local/share")})
            QDir().mkpath(d);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString store(const char *name) const { return data + QLatin1Char('/') + QLatin1String(name); }

    // The options as the options dialog's OK would save them, in the file
    // the program's QSettings("Velmora", "Sentrova") reads under this HOME.
    bool setOptions(bool autoStart)
    {
        QSettings settings(config + QStringLiteral("/Velmora/Sentrova.conf"), QSettings::IniFormat);
        ProgramOptions o;
        o.AutoStart = autoStart;
        OptionsLocation where;
        where.settings = &settings;
        where.templateFile = store("email.dat");
        QString error;
        const bool ok = SaveProgramOptions(o, where, &error);
        settings.sync();
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok && settings.status() == QSettings::NoError;
    }

    void prepare(QProcess &p, const QStringList &args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"SENTROVA_EXIT_WHEN_TESTED", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("SENTROVA_HOME"), data);
        // Day-first numeric dates and ":" between hours, minutes and seconds.
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        p.setProgram(kProgram);
        p.setArguments(args);
        p.setWorkingDirectory(tmp.path());
    }
};

// Waits, letting the test's own events run, until the condition holds or the
// time is up; false when the time ran out or the program ended meanwhile.
bool waitFor(QProcess &p, int ms, const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        if (p.state() != QProcess::Running)
            return false;
        QTest::qWait(50);
    }
    return condition();
}

// Sends SIGTERM and waits for the end; true for a normal exit with code 0.
bool terminateAndWait(QProcess &p, QString *why)
{
    if (p.state() != QProcess::Running) {
        *why = QStringLiteral("the program ended before SIGTERM: exit code %1, stderr: %2")
                   .arg(p.exitCode())
                   .arg(QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    p.terminate(); // SIGTERM
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(5000);
        *why = QStringLiteral("the program did not end within 15 s of SIGTERM");
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = QStringLiteral("exit status %1, exit code %2, stderr: %3")
                   .arg(int(p.exitStatus()))
                   .arg(p.exitCode())
                   .arg(QString::fromLocal8Bit(p.readAllStandardError()));
        return false;
    }
    return true;
}

// Whether the process has a handler for SIGTERM: bit 15 of the SigCgt mask
// in /proc/PID/status.
bool catchesSigterm(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

const QRegularExpression kEventTime(QStringLiteral("^(\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d);;"));

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void monitorsAlertsAndWritesItsStores();
    void missingOrForeignProjectStillStarts_data();
    void missingOrForeignProjectStillStarts();
    void titlesOnARealDisplay();
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(kProgram).isExecutable(), qPrintable(kProgram));
}

void TestEndToEnd::monitorsAlertsAndWritesItsStores()
{
    ProgramHome h;
    QVERIFY(h.tmp.isValid());
    QVERIFY(h.setOptions(true));

    // The recording programs: each appends one line, the side and its
    // arguments, with a single write so that two runs cannot mix their lines.
    const QString record = h.tmp.filePath(QStringLiteral("record.txt"));
    QDir().mkpath(h.tmp.filePath(QStringLiteral("bin")));
    auto script = [&](const char *side) {
        const QString path = h.tmp.filePath(QStringLiteral("bin/%1.sh").arg(QLatin1String(side)));
        const QByteArray text = "#!/bin/sh\nline=\"" + QByteArray(side) +
                                " $#\"\nfor a in \"$@\"; do line=\"$line [$a]\"; done\n"
                                "printf '%s\\n' \"$line\" >> '" +
                                QFile::encodeName(record) + "'\n";
        writeFile(path, text);
        if (QTest::currentTestFailed())
            return QString();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    };
    const QString deadScript = script("dead");
    const QString aliveScript = script("alive");
    QVERIFY(!deadScript.isEmpty() && !aliveScript.isEmpty());

    // profile.dat: the recording profile, and one with a name outside ASCII
    // that no object uses (its bytes must come back unchanged).
    AlertProfileList profiles(h.store("profile.dat"));
    QCOMPARE(profiles.addProfile(QStringLiteral("Recorder")), 0);
    profiles.setAction(0, false, aaExecuteProgram, true);
    profiles.setParameter(0, false, aaExecuteProgram, deadScript);
    profiles.setAction(0, true, aaExecuteProgram, true);
    profiles.setParameter(0, true, aaExecuteProgram, aliveScript);
    QCOMPARE(profiles.addProfile(QStringLiteral("Caf\u00e9 nuit")), 1);
    profiles.setAction(1, false, aaShowMessage, true);
    profiles.setParameter(1, true, aaSendEMail, QStringLiteral("ops@example.com"));
    QVERIFY(profiles.save());
    const QByteArray profileBytes = readFile(h.store("profile.dat"));
    QCOMPARE(profileBytes.size(), 4 + 2 * AlertProfile::Size);

    // Schedule.dat: every day allowed, and no day allowed.
    ScheduleList schedules;
    QVERIFY(schedules.New(QStringLiteral("Every day")));
    schedules.CheckSelected(0, {ScheduleProfile::FirstDayRow, ScheduleProfile::FirstDayColumn},
                            {ScheduleProfile::LastDayRow, ScheduleProfile::LastDayColumn});
    QVERIFY(schedules.New(QStringLiteral("Pr\u00fcfung: no day")));
    QVERIFY(schedules.SaveSchedules(h.store("Schedule.dat")));
    const QByteArray scheduleBytes = readFile(h.store("Schedule.dat"));
    QCOMPARE(scheduleBytes.size(), 4 + 2 * ScheduleList::RecordSize);

    // data.log of an earlier run, with LF line ends only.
    const QByteArray oldLog = "05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner\n"
                              "05.03.2005 14:05:10;;Sentrova Stopped;;Stop;;Inner\n";
    writeFile(h.store("data.log"), oldLog);

    // The watched paths.
    const QString watch = h.tmp.filePath(QStringLiteral("watch"));
    QDir().mkpath(watch + QStringLiteral("/folder"));
    const QString present = watch + QStringLiteral("/pr\u00e9sent.txt");
    writeFile(present, "here\n");
    const QString folder = watch + QStringLiteral("/folder");
    const QString missing = watch + QStringLiteral("/never.txt");
    const QString laterEveryDay = watch + QStringLiteral("/later-every-day.txt");
    const QString laterNoDay = watch + QStringLiteral("/later-no-day.txt");

    const QString failMarker = QStringLiteral("File/Folder Size Error");
    const std::vector<ObserverRecord> objects = {
        // passes: a new outcome, so a log line and the Alive program
        presentObject(present, false, QStringLiteral("Recorder")),
        // a folder counts as present: fails, Dead program (name in other case)
        presentObject(folder, true, QStringLiteral("RECORDER")),
        // passes as it did when saved: neither line nor alert
        presentObject(present, false, QStringLiteral("Recorder"), QString(), QStringLiteral("OK")),
        // fails as it did when saved: neither line nor alert
        presentObject(present, true, QStringLiteral("Recorder"), QString(), failMarker),
        // fails, then its file appears and the next tick sees it
        presentObject(laterEveryDay, false, QStringLiteral("Recorder"), QStringLiteral("every DAY")),
        // fails at load (loading tests whatever the schedule); its schedule
        // allows no day, so no tick tests it again after its file appears
        presentObject(laterNoDay, false, QStringLiteral("Recorder"), QStringLiteral("Pr\u00fcfung: no day")),
        // fails, but its profile name matches nothing: a line, no alert
        presentObject(missing, false, QStringLiteral("Nobody")),
    };
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : objects)
        ptrs.push_back(&r);
    const QString projectPath = h.tmp.filePath(QStringLiteral("watch.snv"));
    const QByteArray projectBytes = ProjectFormat::encode(ptrs);
    writeFile(projectPath, projectBytes);
    if (QTest::currentTestFailed())
        return; // a file above could not be written

    auto recordLines = [&] {
        QList<QByteArray> lines = readFile(record).split('\n');
        lines.removeAll(QByteArray());
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    auto recorded = [&](int dead, int alive) {
        const QList<QByteArray> lines = recordLines();
        return lines.count("dead 0") == dead && lines.count("alive 0") == alive;
    };

    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    QProcess p;
    h.prepare(p, {projectPath});
    p.start();
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));

    // The first outcomes: three objects fail with their alerts, one passes.
    QVERIFY2(waitFor(p, 20000, [&] { return recorded(3, 1); }), readFile(record).constData());
    writeFile(laterEveryDay, "now\n");
    writeFile(laterNoDay, "now\n");
    if (QTest::currentTestFailed()) {
        p.kill();
        return;
    }
    // The next tick of the scheduled object recovers it.
    QVERIFY2(waitFor(p, 20000, [&] { return recorded(3, 2); }), readFile(record).constData());
    // A few more ticks: nothing more may happen (outcomes are unchanged, and
    // the object whose schedule allows no day is never tested by a tick).
    QTest::qWait(2500);

    QString why;
    QVERIFY2(terminateAndWait(p, &why), qPrintable(why));
    const QDateTime ended = QDateTime::currentDateTime().addSecs(1);
    QTest::qWait(300); // a recording program started at the very end
    QCOMPARE(recordLines(), (QList<QByteArray>{"alive 0", "alive 0", "dead 0", "dead 0", "dead 0"}));

    // data.log: the earlier lines with CR LF, the Started line of the
    // automatic start, one line per change of outcome, and no Stopped line
    // (the observer was running at the end). The first outcomes of the
    // objects come from tests that run side by side, in the order they end:
    // those five lines may come in any order, the recovery after them.
    auto quoted = [](const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); };
    const QString method = QStringLiteral(";;File/Folder Present");
    const QStringList tails = {
        QStringLiteral(";;Sentrova Started;;Start;;Inner"),
        QStringLiteral(";;") + present + QStringLiteral(";;") + quoted(present) + QStringLiteral(" test OK") + method,
        QStringLiteral(";;") + folder + QStringLiteral(";;") + quoted(folder) + QStringLiteral(" File/folder exist") +
            method,
        QStringLiteral(";;") + laterEveryDay + QStringLiteral(";;") + quoted(laterEveryDay) +
            QStringLiteral(" File/folder doesn''t exist") + method,
        QStringLiteral(";;") + laterNoDay + QStringLiteral(";;") + quoted(laterNoDay) +
            QStringLiteral(" File/folder doesn''t exist") + method,
        QStringLiteral(";;") + missing + QStringLiteral(";;") + quoted(missing) +
            QStringLiteral(" File/folder doesn''t exist") + method,
        QStringLiteral(";;") + laterEveryDay + QStringLiteral(";;") + quoted(laterEveryDay) +
            QStringLiteral(" test OK") + method,
    };
    const QByteArray log = readFile(h.store("data.log"));
    QVERIFY2(log.startsWith(QByteArray(oldLog).replace("\n", "\r\n")), log.constData());
    QVERIFY2(log.endsWith("\r\n"), log.constData());
    const QList<QByteArray> lines = log.mid(oldLog.size() + 2).chopped(1).split('\n');
    QCOMPARE(lines.size(), tails.size());
    QList<QByteArray> got, want;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        QVERIFY2(line.endsWith('\r'), line.constData());
        line.chop(1);
        // The time is the clock's; the rest is exact, in Windows-1252.
        const auto m = kEventTime.match(QString::fromLatin1(line));
        QVERIFY2(m.hasMatch(), line.constData());
        const QDateTime at = QDateTime::fromString(m.captured(1), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        QVERIFY2(at >= started.addSecs(-1) && at <= ended, line.constData());
        got << line.mid(19);
        want << Ansi::fromUnicode(tails.at(i));
    }
    QCOMPARE(got.first(), want.first());
    QCOMPARE(got.last(), want.last());
    QList<QByteArray> gotFirst = got.mid(1, got.size() - 2), wantFirst = want.mid(1, want.size() - 2);
    std::sort(gotFirst.begin(), gotFirst.end());
    std::sort(wantFirst.begin(), wantFirst.end());
    QCOMPARE(gotFirst, wantFirst);

    // The stores the test wrote come back byte for byte; the project, never
    // saved, is untouched; nothing was set aside as damaged.
    QCOMPARE(readFile(h.store("profile.dat")), profileBytes);
    QCOMPARE(readFile(h.store("Schedule.dat")), scheduleBytes);
    QCOMPARE(readFile(projectPath), projectBytes);
    for (const char *bak : {"data.log.bak", "profile.dat.bak", "Schedule.dat.bak"})
        QVERIFY2(!QFile::exists(h.store(bak)), bak);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(!err.contains("sentrova:"), err.constData());
}

void TestEndToEnd::missingOrForeignProjectStillStarts_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("not a project") << QByteArray("snv11\1\0\0\0", 9);
}

// A project that cannot be opened gets a message box, which waits for a
// click; SIGTERM must still end the program normally, with its stores written.
void TestEndToEnd::missingOrForeignProjectStillStarts()
{
    QFETCH(QByteArray, content);
    ProgramHome h;
    QVERIFY(h.tmp.isValid());
    QVERIFY(h.setOptions(true));
    const QString project = h.tmp.filePath(QStringLiteral("project.snv"));
    if (!content.isEmpty())
        writeFile(project, content);
    if (QTest::currentTestFailed())
        return;

    QProcess p;
    h.prepare(p, {project});
    p.start();
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    // The program has installed its SIGTERM handler (seen in the caught
    // signals of /proc/PID/status); a moment later its box is up.
    QVERIFY2(waitFor(p, 20000, [&] { return catchesSigterm(p.processId()); }), p.readAllStandardError().constData());
    QTest::qWait(1000);
    QString why;
    QVERIFY2(terminateAndWait(p, &why), qPrintable(why));

    // The program started its observer (Auto Start) before the box, and
    // wrote its stores at the end.
    const QByteArray log = readFile(h.store("data.log"));
    const auto m = kEventTime.match(QString::fromLatin1(log));
    QVERIFY2(m.hasMatch(), log.constData());
    QCOMPARE(log.mid(19), QByteArray(";;Sentrova Started;;Start;;Inner\r\n"));
    QCOMPARE(readFile(h.store("profile.dat")), QByteArray(4, '\0'));
    QCOMPARE(readFile(h.store("Schedule.dat")), QByteArray(4, '\0'));
    if (!content.isEmpty())
        QCOMPARE(readFile(project), content);
    else
        QVERIFY(!QFile::exists(project));
}

namespace
{

// Runs a small X11 tool to its end and returns its standard output.
QString runTool(const QString &program, const QStringList &args, const QString &display)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(2000);
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The titles of the display's windows that have one, as the window manager
// reads them: WM_NAME and _NET_WM_NAME of each.
QStringList windowTitles(const QString &display)
{
    QStringList out;
    const QString tree = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}, display);
    static const QRegularExpression named(QStringLiteral("^\\s*(0x[0-9a-f]+) \""), QRegularExpression::MultilineOption);
    static const QRegularExpression prop(QStringLiteral("^(WM_NAME|_NET_WM_NAME)\\([A-Z0-9_]+\\) = \"(.*)\"$"),
                                         QRegularExpression::MultilineOption);
    auto it = named.globalMatch(tree);
    while (it.hasNext()) {
        const QString id = it.next().captured(1);
        const QString props = runTool(QStringLiteral("xprop"),
                                      {QStringLiteral("-id"), id, QStringLiteral("WM_NAME"), QStringLiteral("_NET_WM_NAME")},
                                      display);
        auto p = prop.globalMatch(props);
        while (p.hasNext()) {
            const auto m = p.next();
            out << m.captured(1) + QLatin1Char('=') + m.captured(2);
        }
    }
    return out;
}

} // namespace

void TestEndToEnd::titlesOnARealDisplay()
{
    // On a real X server the toolkit would append an application display
    // name to every title; the titles must stay exactly the program's own.
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const bool haveTools = !xvfb.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty() &&
                           !QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty();
    if (!haveTools) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("Xvfb (xvfb) and xprop, xwininfo (x11-utils) are needed");
        QSKIP("Xvfb (xvfb) or xprop, xwininfo (x11-utils) is not installed");
    }
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24")});
    QVERIFY2(server.waitForStarted(10000), qPrintable(server.errorString()));
    auto stopServer = qScopeGuard([&] {
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished(2000);
    });
    QByteArray number;
    QDeadlineTimer serverUp(15000);
    while (!number.contains('\n') && !serverUp.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(200);
        number += server.readAllStandardOutput();
    }
    QVERIFY2(number.contains('\n'), server.readAllStandardError().constData());
    const QString display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    // A file that is not a project: the main window and an "Error" box.
    ProgramHome h;
    QVERIFY(h.tmp.isValid());
    QVERIFY(h.setOptions(false));
    const QString project = h.tmp.filePath(QStringLiteral("foreign.snv"));
    writeFile(project, "not a project at all");
    QProcess p;
    h.prepare(p, {project});
    QProcessEnvironment env = p.processEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    p.setProcessEnvironment(env);
    p.start();
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    QStringList titles;
    const bool both = waitFor(p, 20000, [&] {
        titles = windowTitles(display);
        return titles.contains(QStringLiteral("WM_NAME=Error")) &&
               titles.contains(QStringLiteral("WM_NAME=Velmora Sentrova"));
    });
    QString why;
    const bool ended = terminateAndWait(p, &why);
    QVERIFY2(both, qPrintable(titles.join(QLatin1String(" | ")) + QLatin1Char(' ') + p.readAllStandardError()));
    QVERIFY2(ended, qPrintable(why));
    for (const QString &t : titles)
        QVERIFY2(!t.contains(QStringLiteral(" \u2014 ")) && !t.endsWith(QLatin1String(" - Velmora Sentrova")),
                 qPrintable(t));
    QVERIFY(titles.contains(QStringLiteral("_NET_WM_NAME=Error")));
    QVERIFY(titles.contains(QStringLiteral("_NET_WM_NAME=Velmora Sentrova")));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
