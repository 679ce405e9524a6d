#pragma once

#include <QString>

// The calls of the alert actions that reach outside the program: a modal
// message box, a sound, the shell, the network message and the reboot. The
// program supplies the real ones; tests supply a recorder, so that no test
// can show a box that waits for a click or reboot the machine.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;

    // Modal box with a single OK button; returns when the user closed it.
    virtual void showMessage(const QString &caption, const QString &text) = 0;
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
    void showMessage(const QString &, const QString &) override {}
    void playSound(const QString &) override {}
    void shellOpen(const QString &) override {}
    void netSend(const QString &) override {}
    void reboot() override {}
};
