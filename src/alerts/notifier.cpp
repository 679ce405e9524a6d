#include "alerts/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace
{
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// A notification service that does not answer within this time counts as
// none: the box is shown instead.
constexpr int CallTimeoutMs = 5000;
} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

QString DesktopNotifier::escapeBody(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else
            out += c;
    }
    return out;
}

void DesktopNotifier::notify(const QString &summary, const QString &body, bool critical, const QString &key,
                             std::function<void()> fallback)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (fallback)
            fallback();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("sentrova"));
    const uint replaces = key.isEmpty() ? 0u : m_ids.value(key, 0u);
    call << QStringLiteral("Velmora Sentrova") << replaces << m_icon << summary << escapeBody(body) << QStringList()
         << hints << int(-1);
    QDBusPendingCall pending = bus.asyncCall(call, CallTimeoutMs);
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key, fallback = std::move(fallback)](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    if (fallback)
                        fallback();
                    return;
                }
                if (!key.isEmpty())
                    m_ids.insert(key, reply.value());
            });
}
