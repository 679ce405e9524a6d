// The Mail server page with security, login and the test mail, and an alert
// as a desktop notification the way dunst shows it.
#include "shots.h"

#include "alerts/notifier.h"
#include "mail/inetmail.h"
#include "settings/passwordstore.h"
#include "settings/programoptionform.h"
#include "settings/programoptions.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// A small SMTP server on loopback that accepts every message, so that the
// test-mail shot shows a real dialogue and its end.
class AcceptingSmtp : public QObject
{
public:
    AcceptingSmtp()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                s->write("220 mail.example.com ESMTP ready\r\n");
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    static bool inData = false;
                    while (s->canReadLine()) {
                        const QByteArray line = s->readLine().trimmed();
                        if (inData) {
                            if (line == ".") {
                                inData = false;
                                s->write("250 2.0.0 Ok: queued as 4F2A1C\r\n");
                            }
                            continue;
                        }
                        const QByteArray verb = line.left(4).toUpper();
                        if (verb == "DATA") {
                            inData = true;
                            s->write("354 End data with <CR><LF>.<CR><LF>\r\n");
                        } else if (verb == "QUIT") {
                            s->write("221 2.0.0 Bye\r\n");
                            s->disconnectFromHost();
                        } else {
                            s->write("250 2.0.0 Ok\r\n");
                        }
                    }
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

ProgramOptions sampleOptions()
{
    ProgramOptions o;
    o.SmtpServer = QStringLiteral("mail.example.com");
    o.SmtpPort = QStringLiteral("587");
    o.MailFrom = QStringLiteral("sentrova@example.com");
    o.MailTo = QStringLiteral("admin@example.com");
    o.SmtpSecurity = ProgramOptions::SecurityStartTls;
    o.SmtpUser = QStringLiteral("sentrova@example.com");
    o.SmtpPassword = QStringLiteral("correct horse");
    return o;
}

const Shots::Register mailSecurity(QStringLiteral("mail-options-security"), [](const Shots::Context &ctx) {
    ProgramOptions options = sampleOptions();
    QSettings settings(QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail.ini")), QSettings::IniFormat);
    TProgramOptionForm form(options, &Shots::quietPrompt());
    form.setOptionsLocation({&settings, QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail-email.dat"))});
    form.show();
    Shots::settle();
    form.PageControl->setCurrentIndex(1);
    // Without a secret store (as here) the page says so once it has asked.
    QElapsedTimer t;
    t.start();
    while (!form.passwordStore()->answered() && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    Shots::save(ctx, &form, QStringLiteral("mail-options-security"));
});

const Shots::Register mailTest(QStringLiteral("mail-options-test-mail"), [](const Shots::Context &ctx) {
    AcceptingSmtp server;
    ProgramOptions options = sampleOptions();
    options.SmtpServer = QStringLiteral("127.0.0.1");
    options.SmtpPort = QString::number(server.port());
    options.SmtpSecurity = ProgramOptions::SecurityNone;
    options.SmtpUser.clear();
    options.SmtpPassword.clear();
    QSettings settings(QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail.ini")), QSettings::IniFormat);
    TProgramOptionForm form(options, &Shots::quietPrompt());
    form.setOptionsLocation({&settings, QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail-email.dat"))});
    form.show();
    Shots::settle();
    form.PageControl->setCurrentIndex(1);
    form.TestMailBtnClick();
    QElapsedTimer t;
    t.start();
    while ((!form.TestMailBtn->isEnabled() || form.testMailSender()->Busy()) && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    Shots::save(ctx, &form, QStringLiteral("mail-options-test-mail"));
});

const Shots::Register mailTestFailed(QStringLiteral("mail-options-test-mail-refused"), [](const Shots::Context &ctx) {
    ProgramOptions options = sampleOptions();
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    options.SmtpServer = QStringLiteral("127.0.0.1");
    options.SmtpPort = QString::number(closedPort);
    options.SmtpSecurity = ProgramOptions::SecurityNone;
    QSettings settings(QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail.ini")), QSettings::IniFormat);
    TProgramOptionForm form(options, &Shots::quietPrompt());
    form.setOptionsLocation({&settings, QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail-email.dat"))});
    form.show();
    Shots::settle();
    form.PageControl->setCurrentIndex(1);
    form.TestMailBtnClick();
    QElapsedTimer t;
    t.start();
    while ((!form.TestMailBtn->isEnabled() || form.testMailSender()->Busy()) && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    Shots::save(ctx, &form, QStringLiteral("mail-options-test-mail-refused"));
});

const Shots::Register basicStyle(QStringLiteral("mail-options-alert-style"), [](const Shots::Context &ctx) {
    ProgramOptions options = sampleOptions();
    options.AlertStyle = ProgramOptions::AlertNotifications;
    QSettings settings(QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail.ini")), QSettings::IniFormat);
    TProgramOptionForm form(options, &Shots::quietPrompt());
    form.setOptionsLocation({&settings, QDir(ctx.dataDir).filePath(QStringLiteral("shots-mail-email.dat"))});
    form.show();
    Shots::settle();
    Shots::save(ctx, &form, QStringLiteral("mail-options-alert-style"));
});

// Only on a real X display with a notification daemon (scripts/with-dunst.sh
// with QT_QPA_PLATFORM=xcb): the screen's top right corner with the
// notification dunst shows.
const Shots::Register notification(QStringLiteral("mail-notification-dunst"), [](const Shots::Context &ctx) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")))
        return;
    DesktopNotifier notifier;
    notifier.setIcon(QStringLiteral(SENTROVA_SOURCE_DIR "/resources/icons/app32.png"));
    notifier.notify(QStringLiteral("Dead"), QStringLiteral("db.example.com TCP Connect Error"), true,
                    QStringLiteral("shot"), {});
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen->geometry();
    const QPixmap shot = screen->grabWindow(0, area.width() - 420, 0, 420, 140);
    shot.save(QDir(ctx.outDir).filePath(QStringLiteral("mail-notification-dunst.png")));
});

} // namespace
