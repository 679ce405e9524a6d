#pragma once

#include "alerts/desktopservices.h"

#include <QStringList>

// Records every desktop call as one line, in order, exactly as the real
// call would have received it.
class RecordingDesktop : public DesktopServices
{
public:
    QStringList calls;

    void showMessage(const QString &caption, const QString &text) override
    {
        calls << QStringLiteral("message|%1|%2").arg(caption, text);
    }
    void playSound(const QString &file) override { calls << QStringLiteral("sound|%1").arg(file); }
    void shellOpen(const QString &item) override { calls << QStringLiteral("open|%1").arg(item); }
    void netSend(const QString &commandLine) override { calls << QStringLiteral("net|%1").arg(commandLine); }
    void reboot() override { calls << QStringLiteral("reboot"); }
};
