#include "desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QIcon>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <canberra.h>

#include "sentrovaicons.h"

SystemDesktop::SystemDesktop(QObject *parent) : QObject(parent)
{
    // The notifications carry the program's icon: the installed theme icon,
    // else a copy of the built-in one in the runtime folder.
    if (!QIcon::hasThemeIcon(QStringLiteral("sentrova"))) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        const QString file = folder + QStringLiteral("/sentrova-icon.png");
        if (!folder.isEmpty() && (QFileInfo::exists(file) || SentrovaIcons::appIcon().pixmap(64).save(file)))
            m_notifier.setIcon(file);
    }
}

SystemDesktop::~SystemDesktop()
{
    if (m_ca)
        ca_context_destroy(m_ca);
}

void SystemDesktop::showMessage(const QString &caption, const QString &text, const QString &key, AlertStyle style)
{
    if (style == AlertStyle::Box || style == AlertStyle::Both)
        showBox(caption, text, key);
    if (style == AlertStyle::Notification || style == AlertStyle::Both) {
        QPointer<SystemDesktop> self(this);
        // Without a notification service the box is the only way left.
        std::function<void()> fallback;
        if (style == AlertStyle::Notification)
            fallback = [self, caption, text, key] {
                if (self)
                    self->showBox(caption, text, key);
            };
        m_notifier.notify(caption, text, caption == QLatin1String("Dead"), key, std::move(fallback));
    }
}

void SystemDesktop::showBox(const QString &caption, const QString &text, const QString &key)
{
    if (!key.isEmpty()) {
        if (QMessageBox *open = m_boxes.value(key)) {
            // The newest text of the same object and side replaces the older.
            open->setWindowTitle(caption);
            open->setText(text);
            return;
        }
    }
    auto *box = new QMessageBox(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, m_parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    if (key.isEmpty()) {
        m_unkeyed.removeAll(nullptr);
        m_unkeyed << box;
    } else {
        m_boxes.insert(key, box);
        // Forgets the key once the box is gone. Queued: while destroyed() is
        // emitted the box is only a QWidget any more and its pointer still
        // set; a box opened for the same key meanwhile keeps its entry.
        connect(
            box, &QObject::destroyed, this,
            [this, key] {
                if (m_boxes.value(key).isNull())
                    m_boxes.remove(key);
            },
            Qt::QueuedConnection);
    }
    box->show();
}

QList<QMessageBox *> SystemDesktop::openBoxes() const
{
    QList<QMessageBox *> out;
    for (const QPointer<QMessageBox> &b : m_boxes)
        if (b)
            out << b.data();
    for (const QPointer<QMessageBox> &b : m_unkeyed)
        if (b)
            out << b.data();
    return out;
}

void SystemDesktop::closeBoxes()
{
    for (QMessageBox *b : openBoxes())
        b->close();
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

QString SystemDesktop::programPath(const QString &item)
{
    if (item.isEmpty())
        return QString();
    const QFileInfo info(item);
    if (info.isFile() && info.isExecutable())
        return info.absoluteFilePath();
    // A bare name ("notify-send") is a program in PATH, as a shell would
    // find it; a name with a slash is a path and is not searched for.
    if (!item.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(item);
        if (!found.isEmpty())
            return QFileInfo(found).absoluteFilePath();
    }
    return QString();
}

bool SystemDesktop::isProgram(const QString &item)
{
    return !programPath(item).isEmpty();
}

void SystemDesktop::shellOpen(const QString &item)
{
    if (item.isEmpty())
        return;
    const QString program = programPath(item);
    if (!program.isEmpty()) {
        // No shell; the current folder is the program's own.
        QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
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
