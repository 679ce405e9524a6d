#pragma once

// Desktop notifications through org.freedesktop.Notifications on the session
// bus. A notification with a key replaces the one shown before under the same
// key (the server's replaces_id), so one object's one side never piles up.
// Nothing blocks: the call is asynchronous and its answer arrives from the
// event loop; a call that no notification service answers (no session bus,
// no service, an error reply) runs the fallback instead, which the desktop
// uses to show the box.

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    // The icon named in every notification: a theme icon name or a file.
    void setIcon(const QString &icon) { m_icon = icon; }
    QString icon() const { return m_icon; }

    // Sends one notification: the summary, the body as plain text, urgency
    // critical (2) or normal (1). `fallback` runs once when the notification
    // could not be shown.
    void notify(const QString &summary, const QString &body, bool critical, const QString &key,
                std::function<void()> fallback);

    // Bodies are markup for many servers: <, > and & are written as entities
    // so that the text shows as typed.
    static QString escapeBody(const QString &text);

private:
    QString m_icon = QStringLiteral("sentrova");
    QHash<QString, uint> m_ids;
};
