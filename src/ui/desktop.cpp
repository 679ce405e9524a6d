#include "desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <canberra.h>

SystemDesktop::SystemDesktop(QObject *parent) : QObject(parent) {}

SystemDesktop::~SystemDesktop()
{
    if (m_ca)
        ca_context_destroy(m_ca);
}

void SystemDesktop::showMessage(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, m_parent);
    box.exec();
}

ca_context *SystemDesktop::context()
{
    if (m_ca || m_caFailed)
        return m_ca;
    if (ca_context_create(&m_ca) != CA_SUCCESS) {
        m_ca = nullptr;
        m_caFailed = true;
        return nullptr;
    }
    ca_context_change_props(m_ca, CA_PROP_APPLICATION_NAME, "Velmora Sentrova", CA_PROP_APPLICATION_ID, "sentrova",
                            nullptr);
    return m_ca;
}

void SystemDesktop::playSound(const QString &file)
{
    ca_context *ca = context();
    if (!ca)
        return;
    // The file's name goes to the sound service as it stands; a relative
    // name is resolved there. Playing is asynchronous: nothing waits.
    int rc = CA_ERROR_NOTFOUND;
    if (!file.isEmpty())
        rc = ca_context_play(ca, 0, CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData(), nullptr);
    if (rc != CA_SUCCESS)
        ca_context_play(ca, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION, "Velmora Sentrova alert", nullptr);
}

bool SystemDesktop::isProgram(const QString &item)
{
    const QFileInfo info(item);
    return !item.isEmpty() && info.isFile() && info.isExecutable();
}

void SystemDesktop::shellOpen(const QString &item)
{
    if (item.isEmpty())
        return;
    if (isProgram(item)) {
        QProcess::startDetached(QFileInfo(item).absoluteFilePath(), {}, QFileInfo(item).absolutePath());
        return;
    }
    QUrl url;
    if (QFileInfo::exists(item))
        url = QUrl::fromLocalFile(QFileInfo(item).absoluteFilePath());
    else
        url = QUrl::fromUserInput(item, QDir::currentPath(), QUrl::AssumeLocalFile);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

bool SystemDesktop::parseNetSend(const QString &commandLine, QString *recipient, QString *text)
{
    static const QString prefix = QStringLiteral("NET SEND ");
    if (!commandLine.startsWith(prefix, Qt::CaseInsensitive))
        return false;
    const QString rest = commandLine.mid(prefix.size());
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    const QString who = blank < 0 ? rest : rest.left(blank);
    if (who.isEmpty())
        return false;
    *recipient = who;
    *text = blank < 0 ? QString() : rest.mid(blank + 1);
    return true;
}

void SystemDesktop::netSend(const QString &commandLine)
{
    QString recipient, text;
    if (!parseNetSend(commandLine, &recipient, &text))
        return;
    const QString smbclient = QStandardPaths::findExecutable(QStringLiteral("smbclient"));
    if (smbclient.isEmpty())
        return;
    auto *proc = new QProcess(this);
    proc->setProgram(smbclient);
    proc->setArguments({QStringLiteral("-M"), recipient, QStringLiteral("-N")});
    proc->setStandardOutputFile(QProcess::nullDevice());
    proc->setStandardErrorFile(QProcess::nullDevice());
    connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
    connect(proc, &QProcess::errorOccurred, proc, [proc](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            proc->deleteLater();
    });
    // A recipient that never answers must not keep the process for ever.
    QTimer::singleShot(60000, proc, [proc] { proc->kill(); });
    proc->start();
    proc->write(text.toLocal8Bit());
    proc->write("\n");
    proc->closeWriteChannel();
}

void SystemDesktop::reboot()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
    call << false; // not interactive: no authentication dialog
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("reboot")});
}
