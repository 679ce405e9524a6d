#pragma once

#include <QString>

// How an alert message reaches the person at the desktop: a box, a desktop
// notification, or both. A notification that no notification service
// answers falls back to the box.
enum class AlertStyle { Box = 0, Notification = 1, Both = 2 };

// The calls of the alert actions that reach outside the program: a message
// box, a sound, the shell, the network message and the reboot. The program
// supplies the real ones; tests supply a recorder, so that no test can show a
// box that waits for a click or reboot the machine.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Shows the alert text under the caption ("Dead" or "Alive") and returns
    // at once: the box is modeless with a single OK button, and nothing waits
    // for it to be closed. `key` names the box (one object's one side): a
    // newer message with the same key replaces the text of the box still open
    // instead of opening another, so boxes cannot pile up without bound. An
    // empty key always opens a box of its own.
    virtual void showMessage(const QString &caption, const QString &text, const QString &key = QString(),
                             AlertStyle style = AlertStyle::Box) = 0;
    // Plays the file asynchronously; the default sound when it cannot.
    virtual void playSound(const QString &file) = 0;
    // Opens an item: an executable file is started, anything else is handed
    // to the desktop. No shell and no argument parsing.
    virtual void shellOpen(const QString &item) = 0;
    // Delivers a "NET SEND recipient text" command line.
    virtual void netSend(const QString &commandLine) = 0;
    // Asks the system to reboot.
    virtual void reboot() = 0;
};

// Ignores every call: for the benchmarks and the screenshot tool, which run
// alerts or windows but must not reach the desktop.
class NoDesktop : public DesktopServices
{
public:
    void showMessage(const QString &, const QString &, const QString &, AlertStyle) override {}
    void playSound(const QString &) override {}
    void shellOpen(const QString &) override {}
    void netSend(const QString &) override {}
    void reboot() override {}
};
