#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

// What Return does while "Cancel" has the keyboard focus: press "Cancel",
// as a push button in a dialog does by default, or press the default button
// "OK" all the same.
enum class ReturnOnCancel { PressesCancel, PressesOk };

// The "OK" and "Cancel" buttons at the foot of a dialog and the row that
// holds them at its right end. "OK" (object name "OKButton") is the default
// button and accepts the dialog; "Cancel" ("CancelButton") rejects it.
struct OkCancelButtons {
    QPushButton *ok;
    QPushButton *cancel;
    QHBoxLayout *row;
};

// Creates the two buttons as children of the dialog, wired to its accept()
// and reject(); the caller places the row in the dialog's layout.
OkCancelButtons makeOkCancelButtons(QDialog *dialog, ReturnOnCancel onCancel);
