#pragma once

#include "alerts/desktopservices.h"
#include "alerts/notifier.h"

#include <QHash>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

struct ca_context;

// The real desktop calls of the alert actions and of the help links:
// - showMessage: a modeless QMessageBox with one OK button, its text plain
//   (never guessed as rich text); one box per key, a newer message replacing
//   the text of the box still open; or a desktop notification
//   (DesktopNotifier) by the alert style, the box when no notification
//   service answers;
// - playSound: libcanberra plays the file; when it cannot, the sound theme's
//   "bell" event sounds instead (the system's default sound);
// - shellOpen: an executable file is started with QProcess::startDetached
//   (no shell, no argument parsing); anything else goes to
//   QDesktopServices::openUrl (web addresses, "MailTo:" links, documents);
// - netSend: "NET SEND recipient text" is delivered with `smbclient -M
//   recipient -N`, the text on its standard input, when smbclient is
//   installed; otherwise the message is dropped. Never through a shell;
//   a program given by a name without a slash is looked up in PATH;
// - reboot: systemd-logind's Reboot over D-Bus, `systemctl reboot` when
//   that is refused.
class QMessageBox;

class SystemDesktop : public QObject, public DesktopServices
{
    Q_OBJECT
public:
    explicit SystemDesktop(QObject *parent = nullptr);
    ~SystemDesktop() override;

    // Owner window of the message boxes (the main window).
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    void showMessage(const QString &caption, const QString &text, const QString &key = QString(),
                     AlertStyle style = AlertStyle::Box) override;
    void playSound(const QString &file) override;
    void shellOpen(const QString &item) override;
    void netSend(const QString &commandLine) override;
    void reboot() override;

    // The parts of a "NET SEND recipient text" line: the recipient is the
    // word after "NET SEND ", the text everything after the blank that ends
    // it. False for a line that does not start with "NET SEND " (letter case
    // ignored) or names no recipient.
    static bool parseNetSend(const QString &commandLine, QString *recipient, QString *text);
    // How shellOpen treats an item: true when it is started as a program.
    static bool isProgram(const QString &item);
    // The program shellOpen starts for an item, or empty when the item is not
    // a program: an executable file as named, or a name without a slash
    // found in PATH.
    static QString programPath(const QString &item);

    // The alert boxes open now (for tests and the screenshot tool).
    QList<QMessageBox *> openBoxes() const;
    // Closes every alert box (the program's end).
    void closeBoxes();
    DesktopNotifier &notifier() { return m_notifier; }

private:
    ca_context *context();
    void showBox(const QString &caption, const QString &text, const QString &key);

    QPointer<QWidget> m_parent;
    ca_context *m_ca = nullptr;
    bool m_caFailed = false;
    DesktopNotifier m_notifier;
    QHash<QString, QPointer<QMessageBox>> m_boxes;
    QList<QPointer<QMessageBox>> m_unkeyed;
};
