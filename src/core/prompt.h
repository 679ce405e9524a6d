#pragma once

#include <QString>

// Everything that asks the user something or tells the user something goes
// through this interface: the windows supply message boxes and file dialogs,
// tests supply scripted answers.
class UserPrompt
{
public:
    enum Answer { Yes, No, Cancel, Ok };

    virtual ~UserPrompt() = default;

    // Confirmation with a question icon and the buttons Yes, No and Cancel.
    virtual Answer confirm(const QString &title, const QString &text) = 0;
    // A box with OK and Cancel; true for OK.
    virtual bool okCancel(const QString &title, const QString &text) = 0;
    // A box with a single OK button.
    virtual void message(const QString &title, const QString &text) = 0;
    // Input box; false when cancelled.
    virtual bool inputText(const QString &caption, const QString &prompt, QString &value) = 0;
    // File dialogs. filter is a Qt name filter ("Name (*.ext);;All Files (*)");
    // an empty result means the dialog was cancelled. The open dialog starts
    // at initialName.
    virtual QString openFileName(const QString &filter, const QString &defaultSuffix,
                                 const QString &initialName) = 0;
    virtual QString saveFileName(const QString &filter, const QString &defaultSuffix) = 0;
};
