// Drives a modal dialog from inside its exec(), at the first turn of its
// event loop.
#pragma once

#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Opens the dialog with open(), which runs its modal loop, and runs interact
// as soon as that loop turns; a dialog the interaction left open is
// cancelled, so that a failed check cannot leave exec() waiting for ever. An
// interaction that never ran (open() came back without a modal loop) fails
// the test. Returns what open() returns.
template <class Open> auto runModal(QDialog *dialog, const std::function<void()> &interact, Open open)
{
    const auto ran = std::make_shared<bool>(false);
    QTimer::singleShot(0, dialog, [dialog, interact, ran] {
        *ran = true;
        interact();
        if (dialog->isVisible())
            dialog->reject();
    });
    const auto result = open();
    [&] { QVERIFY2(*ran, "the dialog's modal loop never ran"); }();
    return result;
}
