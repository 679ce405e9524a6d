// Drives a modal dialog from inside its exec(): the work runs once the dialog
// is the window on top of the modal stack.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

// Runs fn once the dialog is the window on top of the modal stack; a dialog
// fn leaves open is cancelled, so that a failed check never leaves exec()
// waiting. Gives up (and cancels whatever modal window is open) after 10 s.
inline void whenModal(QDialog *dialog, std::function<void()> fn)
{
    auto *timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(10000);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, dialog, fn, deadline] {
        if (dialog->isVisible() && QApplication::activeModalWidget() == dialog) {
            timer->stop();
            timer->deleteLater();
            fn();
            if (dialog->isVisible())
                dialog->reject();
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (auto *open = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                open->reject();
        }
    });
    timer->start();
}
