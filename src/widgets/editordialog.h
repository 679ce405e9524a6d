#pragma once

#include <QDialog>

class QShowEvent;

// An editor window that is created once and opened many times, whose list is
// also a picker for other dialogs (the alert profile and schedule editors).
// Each time the program opens it, it first brings itself up to date
// (FormShow) and then comes up centred over the window it belongs to.
class TEditorDialog : public QDialog
{
    Q_OBJECT
public:
    using QDialog::QDialog;

    // Opens the editor modally; returns when "OK" (QDialog::Accepted) or
    // "Cancel" closes it.
    int showEditor();

    // Brings the window up to date with its store before it is shown.
    virtual void FormShow() = 0;

protected:
    void showEvent(QShowEvent *event) override;
};
