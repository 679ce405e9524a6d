// The SMTP password in a real Secret Service: gnome-keyring-daemon in a
// private D-Bus session (scripts/with-keyring.sh; the test starts itself
// inside it), and the same calls where no secret store answers.

#include "settings/passwordstore.h"
#include "settings/programoptions.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
const char *InsideKeyring = "SENTROVA_INSIDE_KEYRING";
const char *NoServiceChild = "SENTROVA_NO_SECRET_SERVICE";

struct Loaded {
    bool answered = false;
    bool found = false;
    QString password;
};

Loaded loadNow(PasswordStore &store)
{
    Loaded out;
    store.load([&out](bool found, const QString &password) {
        out.answered = true;
        out.found = found;
        out.password = password;
    });
    // Waits for the answer; a store that never answers leaves it false.
    QTest::qWaitFor([&out] { return out.answered; }, 20000);
    return out;
}

bool saveNow(PasswordStore &store, const QString &password)
{
    bool answered = false, kept = false;
    store.save(password, [&](bool k, const QString &) {
        answered = true;
        kept = k;
    });
    QTest::qWaitFor([&answered] { return answered; }, 20000);
    return answered && kept;
}
} // namespace

class TestPasswordStore : public QObject
{
    Q_OBJECT

private slots:
    void keptInTheSecretServiceNotInTheOptions();
    void withoutASecretServiceForThisRunOnly();
    void childWithoutService();
};

void TestPasswordStore::keptInTheSecretServiceNotInTheOptions()
{
    if (!qEnvironmentVariableIsSet(InsideKeyring))
        QSKIP("runs inside scripts/with-keyring.sh");
    PasswordStore store;
    const Loaded first = loadNow(store);
    QVERIFY(first.answered);
    QVERIFY(!first.found);
    QVERIFY(!store.keptForRunOnly());

    const QStringList passwords = {QString::fromUtf8("p\u00e4ss w\u00f6rd:%\"'\\\u20ac\u4e2d\U0001F600"),
                                   QStringLiteral("second"), QString(300, QLatin1Char('x'))};
    for (const QString &pw : passwords) {
        QVERIFY(saveNow(store, pw));
        PasswordStore other; // a later run
        const Loaded back = loadNow(other);
        QVERIFY(back.found);
        QCOMPARE(back.password, pw);
    }

    // The options file never holds it, whatever else is saved.
    QTemporaryDir dir;
    QSettings ini(dir.filePath("o.ini"), QSettings::IniFormat);
    ProgramOptions o;
    o.SmtpUser = QStringLiteral("alice");
    o.SmtpPassword = passwords.first();
    QVERIFY(SaveProgramOptions(o, OptionsLocation{&ini, dir.filePath("email.dat")}));
    ini.sync();
    QFile f(dir.filePath("o.ini"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.contains("alice"));
    QVERIFY(!bytes.contains("ss w"));
    QVERIFY(!bytes.toLower().contains("password"));

    // An empty password removes the entry.
    QVERIFY(saveNow(store, QString()));
    QVERIFY(!loadNow(store).found);
    QVERIFY(!store.keptForRunOnly());
}

void TestPasswordStore::withoutASecretServiceForThisRunOnly()
{
    // A child of this test on a session bus that does not exist.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(NoServiceChild, "1");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sentrova-bus");
    env.remove(InsideKeyring);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"childWithoutService"});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    QVERIFY2(child.exitCode() == 0 && out.contains("PASS   : TestPasswordStore::childWithoutService()"), out.constData());
}

void TestPasswordStore::childWithoutService()
{
    if (!qEnvironmentVariableIsSet(NoServiceChild))
        QSKIP("the child of withoutASecretServiceForThisRunOnly");
    PasswordStore store;
    QSignalSpy known(&store, &PasswordStore::availabilityKnown);
    const Loaded l = loadNow(store);
    QVERIFY(l.answered);
    QVERIFY(!l.found);
    QVERIFY(store.keptForRunOnly());
    QCOMPARE(known.size(), 1);
    QCOMPARE(known.first().first().toBool(), true);
    QVERIFY(!saveNow(store, QStringLiteral("secret")));
    QVERIFY(store.keptForRunOnly());
}

int main(int argc, char **argv)
{
    // The whole test runs inside a private session with its own keyring.
    if (!qEnvironmentVariableIsSet(InsideKeyring) && !qEnvironmentVariableIsSet(NoServiceChild)) {
        qputenv(InsideKeyring, "1");
        QStringList args;
        args << QString::fromLocal8Bit(argv[0]);
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        QCoreApplication app(argc, argv);
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(QStringLiteral(SENTROVA_SOURCE_DIR "/scripts/with-keyring.sh"), args);
        if (!run.waitForStarted(10000) || !run.waitForFinished(150000))
            return 2;
        return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : 2;
    }
    QCoreApplication app(argc, argv);
    TestPasswordStore t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_passwordstore.moc"
