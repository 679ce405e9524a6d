#pragma once

#include "alerts/desktopservices.h"

#include <QStringList>

// Records every desktop call as one line, in order, exactly as the real
// call would have received it. A message shown as a plain box is recorded as
// "message|caption|text"; with another style the style follows
// ("|notification" or "|both"). The box keys are kept apart in
// messageKeys, one per message call, so that the lines stay comparable.
class RecordingDesktop : public DesktopServices
{
public:
    QStringList calls;
    QStringList messageKeys;

    void showMessage(const QString &caption, const QString &text, const QString &key = QString(),
                     AlertStyle style = AlertStyle::Box) override
    {
        QString line = QStringLiteral("message|%1|%2").arg(caption, text);
        if (style == AlertStyle::Notification)
            line += QStringLiteral("|notification");
        else if (style == AlertStyle::Both)
            line += QStringLiteral("|both");
        calls << line;
        messageKeys << key;
    }
    void playSound(const QString &file) override { calls << QStringLiteral("sound|%1").arg(file); }
    void shellOpen(const QString &item) override { calls << QStringLiteral("open|%1").arg(item); }
    void netSend(const QString &commandLine) override { calls << QStringLiteral("net|%1").arg(commandLine); }
    void reboot() override { calls << QStringLiteral("reboot"); }
};
