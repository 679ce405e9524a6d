// mailbench: sends alert mails one after the other through the alert
// dispatcher and the SMTP sender to a server on loopback, each started when
// the previous one is done, and prints the elapsed time.
//
//   mailbench --port P [--count N] [--server 127.0.0.1]
//             [--security starttls|tls --user U --password P --ca FILE]
//
// Output: "seconds S", "accepted K", "failed F". Exit code 1 when not every
// mail was accepted.
#include "alerts/alertprofile.h"
#include "alerts/desktopservices.h"
#include "alerts/dispatcher.h"
#include "core/engine.h"
#include "mail/inetmail.h"
#include "settings/programoptions.h"

#include <QCoreApplication>
#include <QSslCertificate>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int count = 200;
    QString port;
    QString server = QStringLiteral("127.0.0.1");
    QString security, user, password, ca;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--port"))
            port = args[i + 1];
        else if (args[i] == QLatin1String("--count"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--server"))
            server = args[i + 1];
        else if (args[i] == QLatin1String("--security"))
            security = args[i + 1];
        else if (args[i] == QLatin1String("--user"))
            user = args[i + 1];
        else if (args[i] == QLatin1String("--password"))
            password = args[i + 1];
        else if (args[i] == QLatin1String("--ca"))
            ca = args[i + 1];
    }
    if (port.isEmpty() || count <= 0) {
        std::fprintf(stderr, "usage: mailbench --port P [--count N] [--server ADDRESS]\n");
        return 2;
    }

    MonitorEngine engine;
    ObserverRecord rec = Records::newRecord(okTcpConnect);
    rec.setTarget(QStringLiteral("db.example.com"));
    rec.IntervalMin = 0;
    rec.AlertProfileName = QStringLiteral("Mail");
    rec.Comment = QStringLiteral("the main database");
    engine.AppendObject(rec, rec.target());

    AlertProfileList profiles;
    profiles.addProfile(QStringLiteral("Mail"));
    profiles.setAction(0, false, aaSendEMail, true);
    profiles.setAction(0, true, aaSendEMail, true);
    profiles.setParameter(0, false, aaSendEMail, QStringLiteral("oncall@example.com"));
    profiles.setParameter(0, true, aaSendEMail, QStringLiteral("oncall@example.com"));

    ProgramOptions options;
    options.SmtpServer = server;
    options.SmtpPort = port;
    options.MailFrom = QStringLiteral("sentrova@example.com");
    options.SmtpSecurity = security == QLatin1String("starttls") ? ProgramOptions::SecurityStartTls
                           : security == QLatin1String("tls")    ? ProgramOptions::SecurityTls
                                                                 : ProgramOptions::SecurityNone;
    options.SmtpUser = user;
    options.SmtpPassword = password;

    NoDesktop desktop;
    SendMail sender;
    if (!ca.isEmpty())
        sender.setExtraCaCertificates(QSslCertificate::fromPath(ca));
    int accepted = 0;
    int failed = 0;
    int done = 0;
    QElapsedTimer clock;

    sender.OnMailInfo = [&](SendMail *, SendMailInfo info, const QString &) {
        if (info == smMessageAccepted)
            ++accepted;
    };
    sender.OnMailError = [&](SendMail *, SendMailError, const QString &text) {
        ++failed;
        std::fprintf(stderr, "mail error: %s\n", qPrintable(text));
    };
    AlertDispatcher *dispatcherPtr = nullptr;
    auto dispatchNext = [&] {
        const bool alive = done % 2 != 0;
        dispatcherPtr->DispatchAlert(
            0, alive ? QStringLiteral("db.example.com Connect OK") : QStringLiteral("db.example.com TCP Connect Error"),
            alive);
    };
    // Set before the dispatcher, which calls it first and then starts any
    // waiting mail.
    sender.OnDone = [&](SendMail *) {
        if (++done == count) {
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            std::printf("seconds %.6f\naccepted %d\nfailed %d\n", seconds, accepted, failed);
            app.exit(accepted == count ? 0 : 1);
            return;
        }
        dispatchNext();
    };
    AlertDispatcher dispatcher(engine, profiles, options, desktop, sender);
    dispatcherPtr = &dispatcher;

    QTimer::singleShot(0, &app, [&] {
        clock.start();
        dispatchNext();
    });
    QTimer::singleShot(300000, &app, [&] {
        std::fprintf(stderr, "mailbench: gave up after 300 s with %d of %d mails done\n", done, count);
        app.exit(1);
    });
    return app.exec();
}
