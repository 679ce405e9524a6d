// The desktop session's autostart entry: where it lives, its text (checked
// by desktop-file-validate), writing and removing it, following the project,
// and a folder the user cannot write, tried by this program run again as
// the user "nobody" (the tests run as root, whom permissions do not stop).
#include "settings/autostart.h"

#include "../support/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace
{

// The program as the desktop would start it: a folder with a blank.
const QString kProgram = QStringLiteral("/opt/Velmora Sentrova/bin/sentrova");

// Runs this program as "nobody" to enable or disable the entry at the path;
// its exit code and what it printed.
struct ChildResult {
    int exitCode = -1;
    QString output;
};

ChildResult runAsNobody(const QString &action, const QString &path)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SENTROVA_AUTOSTART_CHILD"), action);
    env.insert(QStringLiteral("SENTROVA_AUTOSTART_PATH"), path);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                            QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath()});
    if (!child.waitForFinished(20000)) {
        child.kill();
        child.waitForFinished();
    }
    return {child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1, QString::fromUtf8(child.readAll())};
}

// The child's part: one call, the error on standard output, 0 on success.
int childMain()
{
    const QString action = qEnvironmentVariable("SENTROVA_AUTOSTART_CHILD");
    const QString path = qEnvironmentVariable("SENTROVA_AUTOSTART_PATH");
    QString error;
    const bool ok = action == QLatin1String("enable") ? Autostart::enable(kProgram, QStringLiteral("/p.snv"), &error, path)
                                                      : Autostart::disable(&error, path);
    std::printf("uid %d: %s\n", int(::getuid()), qPrintable(error));
    return ok ? 0 : 1;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void entryPathFollowsXdgConfigHome();
    void entryTextPassesDesktopFileValidate();
    void enableDisable();
    void followsTheProjectOnlyWhileOn();
    void unwritableFolderAsNobody();
};

void TestAutostart::entryPathFollowsXdgConfigHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/some config");
    QCOMPARE(Autostart::entryPath(), QStringLiteral("/tmp/some config/autostart/sentrova.desktop"));
    // Unset, or not an absolute path: the default below the home folder.
    for (const char *value : {"", "relative/config"}) {
        qputenv("XDG_CONFIG_HOME", value);
        QCOMPARE(Autostart::entryPath(), QDir::homePath() + QStringLiteral("/.config/autostart/sentrova.desktop"));
    }
    qputenv("XDG_CONFIG_HOME", saved);
}

void TestAutostart::entryTextPassesDesktopFileValidate()
{
    QTemporaryDir dir;
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("desktop-file-validate is missing (package desktop-file-utils)");
        QSKIP("desktop-file-validate is missing (package desktop-file-utils)");
    }
    struct Case {
        QString project;
        QByteArray exec;
    };
    // Quoted arguments, with the characters quoting reserves escaped and the
    // backslashes doubled once more for the string value; "%" doubled.
    const Case cases[] = {
        {QString(), "Exec=\"/opt/Velmora Sentrova/bin/sentrova\""},
        {QStringLiteral("/home/me/servers.snv"),
         "Exec=\"/opt/Velmora Sentrova/bin/sentrova\" \"/home/me/servers.snv\""},
        {QStringLiteral("/home/me/100% \"up\" $HOME `x` a\\b.snv"),
         "Exec=\"/opt/Velmora Sentrova/bin/sentrova\" \"/home/me/100%% \\\\\"up\\\\\" \\\\$HOME \\\\`x\\\\` a\\\\\\\\b.snv\""},
    };
    for (const Case &c : cases) {
        const QString path = dir.filePath(QStringLiteral("autostart/sentrova.desktop"));
        QString error;
        QVERIFY2(Autostart::enable(kProgram, c.project, &error, path), qPrintable(error));
        const QByteArray text = readFile(path);
        QVERIFY(text.startsWith("[Desktop Entry]\nType=Application\nName=Velmora Sentrova\n"));
        QVERIFY2(text.split('\n').contains(c.exec), text.constData());
        QVERIFY(text.contains("\nIcon=sentrova\n"));
        QVERIFY(text.endsWith('\n'));

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(tool, {path});
        QVERIFY(validate.waitForFinished(20000));
        const QByteArray said = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    }
}

void TestAutostart::enableDisable()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/autostart/sentrova.desktop"));
    QVERIFY(!Autostart::isEnabled(path));
    QString error;
    QVERIFY(Autostart::disable(&error, path)); // nothing to remove
    QVERIFY(Autostart::enable(kProgram, QStringLiteral("/a.snv"), &error, path));
    QVERIFY(Autostart::isEnabled(path));
    QVERIFY(Autostart::enable(kProgram, QStringLiteral("/b.snv"), &error, path)); // replaced whole
    QCOMPARE(readFile(path), Autostart::entryText(kProgram, QStringLiteral("/b.snv")));
    QCOMPARE(entries(QFileInfo(path).absolutePath()), QStringList{QStringLiteral("sentrova.desktop")});
    QVERIFY(Autostart::disable(&error, path));
    QVERIFY(!Autostart::isEnabled(path));
    QVERIFY(error.isEmpty());
    // A folder in the entry's place is no entry.
    QVERIFY(QDir().mkpath(path));
    QVERIFY(!Autostart::isEnabled(path));
}

void TestAutostart::followsTheProjectOnlyWhileOn()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("autostart/sentrova.desktop"));
    // Off: opening a project writes nothing.
    QVERIFY(!Autostart::followProject(kProgram, QStringLiteral("/a.snv"), path));
    QVERIFY(!QFileInfo::exists(path));
    // On: the entry takes the project opened last; no name keeps the last.
    QVERIFY(Autostart::enable(kProgram, QString(), nullptr, path));
    QVERIFY(Autostart::followProject(kProgram, QStringLiteral("/a.snv"), path));
    QCOMPARE(readFile(path), Autostart::entryText(kProgram, QStringLiteral("/a.snv")));
    QVERIFY(!Autostart::followProject(kProgram, QString(), path));
    QCOMPARE(readFile(path), Autostart::entryText(kProgram, QStringLiteral("/a.snv")));
}

// As "nobody": a config folder without its autostart folder, an autostart
// folder it cannot write, and an entry there it cannot replace or remove.
// Each time a message that names the entry and says why, and the folder
// exactly as it was: no entry, no partial or temporary file.
void TestAutostart::unwritableFolderAsNobody()
{
    if (::getuid() != 0)
        QSKIP("needs root to run a child as nobody");
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                                  QFileDevice::ExeGroup));
    const QString config = dir.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(config));
    const QString path = config + QStringLiteral("/autostart/sentrova.desktop");

    // The program itself must be reachable by nobody.
    ChildResult r = runAsNobody(QStringLiteral("enable"), path);
    if (r.output.contains(QLatin1String("Permission denied")) && !r.output.contains(QLatin1String("autostart")))
        QSKIP("this build folder cannot be reached by nobody");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.output.startsWith(QStringLiteral("uid 65534: Cannot write the autostart entry \"") + path + "\": "),
             qPrintable(r.output));
    QVERIFY2(r.output.contains(QLatin1String("cannot be created")), qPrintable(r.output));
    QCOMPARE(entries(config), QStringList());

    const QString autostart = config + QStringLiteral("/autostart");
    QVERIFY(QDir().mkpath(autostart));
    r = runAsNobody(QStringLiteral("enable"), path);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.output.startsWith(QStringLiteral("uid 65534: Cannot write the autostart entry \"") + path + "\": "),
             qPrintable(r.output));
    QCOMPARE(entries(autostart), QStringList());

    const QByteArray old = Autostart::entryText(QStringLiteral("/usr/bin/sentrova"), QStringLiteral("/old.snv"));
    writeFile(path, old);
    r = runAsNobody(QStringLiteral("enable"), path);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(readFile(path), old);
    QCOMPARE(entries(autostart), QStringList{QStringLiteral("sentrova.desktop")});
    r = runAsNobody(QStringLiteral("disable"), path);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.output.startsWith(QStringLiteral("uid 65534: Cannot remove the autostart entry \"") + path + "\": "),
             qPrintable(r.output));
    QCOMPARE(readFile(path), old);
}

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsEmpty("SENTROVA_AUTOSTART_CHILD")) {
        QCoreApplication app(argc, argv);
        return childMain();
    }
    QCoreApplication app(argc, argv);
    TestAutostart test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_autostart.moc"
