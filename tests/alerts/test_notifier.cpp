// Desktop notifications against a real notification daemon: dunst on Xvfb in
// a private D-Bus session (scripts/with-dunst.sh; the test starts itself
// inside it). What dunst showed is read back with dunstctl.

#include "alerts/notifier.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace
{
const char *InsideDunst = "SENTROVA_DUNST_SESSION";
const char *NoServiceChild = "SENTROVA_NO_NOTIFICATION_SERVICE";

struct Shown {
    QString summary, body, appname, icon;
};

QString dunstctl(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("dunstctl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Closes what is open, then reads the history, oldest first.
QList<Shown> history()
{
    dunstctl({"close-all"});
    QTest::qWait(300);
    const QJsonDocument doc = QJsonDocument::fromJson(dunstctl({"history"}).toUtf8());
    QList<Shown> out;
    for (const QJsonValue &v : doc.object().value("data").toArray().at(0).toArray()) {
        const QJsonObject o = v.toObject();
        auto text = [&o](const char *key) { return o.value(key).toObject().value("data").toVariant().toString(); };
        out.prepend({text("summary"), text("body"), text("appname"), text("icon_path")});
    }
    return out;
}

QString decodeEntities(QString s)
{
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return s;
}
} // namespace

class TestNotifier : public QObject
{
    Q_OBJECT

private slots:
    void shownByTheDaemon();
    void sameKeyReplaces();
    void noServiceFallsBack();
    void childWithoutService();
};

void TestNotifier::shownByTheDaemon()
{
    if (!qEnvironmentVariableIsSet(InsideDunst))
        QSKIP("runs inside scripts/with-dunst.sh");
    history(); // start from an empty screen
    dunstctl({"history-clear"});
    DesktopNotifier n;
    n.setIcon(QStringLiteral(SENTROVA_SOURCE_DIR "/resources/icons/app32.png"));
    int fallbacks = 0;
    const QString rich = QStringLiteral("http://h/?q=<b>x</b> & more");
    n.notify(QStringLiteral("Dead"), rich, true, QStringLiteral("1/Dead"), [&] { ++fallbacks; });
    n.notify(QStringLiteral("Alive"), QStringLiteral("db.example.com Connect OK"), false, QStringLiteral("1/Alive"),
             [&] { ++fallbacks; });
    QTest::qWait(500);
    const QList<Shown> shown = history();
    QCOMPARE(fallbacks, 0);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].summary, QStringLiteral("Dead"));
    // The body goes as text: its markup characters arrive escaped and show
    // as typed.
    QVERIFY(!shown[0].body.contains(QLatin1Char('<')));
    QCOMPARE(decodeEntities(shown[0].body), rich);
    QCOMPARE(shown[0].appname, QStringLiteral("Velmora Sentrova"));
    QVERIFY2(shown[0].icon.endsWith(QLatin1String("app32.png")), qPrintable(shown[0].icon));
    QCOMPARE(shown[1].summary, QStringLiteral("Alive"));
    QCOMPARE(shown[1].body, QStringLiteral("db.example.com Connect OK"));
}

void TestNotifier::sameKeyReplaces()
{
    if (!qEnvironmentVariableIsSet(InsideDunst))
        QSKIP("runs inside scripts/with-dunst.sh");
    history();
    dunstctl({"history-clear"});
    DesktopNotifier n;
    for (int i = 1; i <= 3; ++i) {
        n.notify(QStringLiteral("Dead"), QStringLiteral("a down %1").arg(i), true, QStringLiteral("7/Dead"), {});
        QTest::qWait(300); // each answer (its id) arrives before the next call
    }
    n.notify(QStringLiteral("Dead"), QStringLiteral("b down"), true, QStringLiteral("8/Dead"), {});
    QTest::qWait(500);
    // One notification on screen per key, the newest text in place of the
    // older: two in all, and they are the last two dunst closes.
    QCOMPARE(dunstctl({"count", "displayed"}).trimmed(), QStringLiteral("2"));
    const QList<Shown> shown = history();
    QVERIFY(shown.size() >= 2);
    QStringList lastTwo{shown[shown.size() - 2].body, shown.last().body};
    lastTwo.sort();
    QCOMPARE(lastTwo, QStringList({"a down 3", "b down"}));
}

void TestNotifier::noServiceFallsBack()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(NoServiceChild, "1");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sentrova-bus");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"childWithoutService"});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    QVERIFY2(child.exitCode() == 0 && out.contains("PASS   : TestNotifier::childWithoutService()"), out.constData());
}

void TestNotifier::childWithoutService()
{
    if (!qEnvironmentVariableIsSet(NoServiceChild))
        QSKIP("the child of noServiceFallsBack");
    DesktopNotifier n;
    int fallbacks = 0;
    n.notify(QStringLiteral("Dead"), QStringLiteral("x"), true, QStringLiteral("1/Dead"), [&] { ++fallbacks; });
    QTRY_COMPARE_WITH_TIMEOUT(fallbacks, 1, 10000);
    QTest::qWait(200);
    QCOMPARE(fallbacks, 1);
}

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet(InsideDunst) && !qEnvironmentVariableIsSet(NoServiceChild)) {
        QCoreApplication app(argc, argv);
        QStringList args;
        args << QCoreApplication::applicationFilePath() << QCoreApplication::arguments().mid(1);
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(QStringLiteral(SENTROVA_SOURCE_DIR "/scripts/with-dunst.sh"), args);
        if (!run.waitForStarted(10000) || !run.waitForFinished(150000))
            return 2;
        return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : 2;
    }
    QCoreApplication app(argc, argv);
    TestNotifier t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_notifier.moc"
