#pragma once

#include "core/prompt.h"

#include <QQueue>
#include <QStringList>

// A UserPrompt that answers from queues the test fills and records every
// question and message it was shown. An empty queue answers Cancel / an
// empty file name, so a forgotten answer never blocks.
class ScriptedPrompt : public UserPrompt
{
public:
    struct Shown {
        QString kind; // "confirm", "okCancel", "message", "input", "open", "save"
        QString title;
        QString text;
    };

    QQueue<Answer> answers;     // for confirm (Yes/No/Cancel) and okCancel (Ok/Cancel)
    QQueue<QString> fileNames;  // for the open and save dialogs
    QQueue<QString> inputs;     // for input boxes; no entry = cancelled
    QList<Shown> shown;

    Answer confirm(const QString &title, const QString &text) override
    {
        shown.append({QStringLiteral("confirm"), title, text});
        return answers.isEmpty() ? Cancel : answers.dequeue();
    }
    bool okCancel(const QString &title, const QString &text) override
    {
        shown.append({QStringLiteral("okCancel"), title, text});
        return !answers.isEmpty() && answers.dequeue() == Ok;
    }
    void message(const QString &title, const QString &text) override
    {
        shown.append({QStringLiteral("message"), title, text});
    }
    bool inputText(const QString &caption, const QString &prompt, QString &value) override
    {
        shown.append({QStringLiteral("input"), caption, prompt});
        if (inputs.isEmpty())
            return false;
        value = inputs.dequeue();
        return true;
    }
    QString openFileName(const QString &filter, const QString &, const QString &initialName) override
    {
        shown.append({QStringLiteral("open"), filter, initialName});
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    QString saveFileName(const QString &filter, const QString &) override
    {
        shown.append({QStringLiteral("save"), filter, QString()});
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }

    QStringList texts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            out << s.text;
        return out;
    }
};
