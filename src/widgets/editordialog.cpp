#include "editordialog.h"

#include "windowplacement.h"

#include <QShowEvent>

int TEditorDialog::showEditor()
{
    return exec();
}

void TEditorDialog::showEvent(QShowEvent *event)
{
    // A spontaneous show is the window system's (restoring a minimised
    // window); only an opening by the program refreshes and moves it.
    if (!event->spontaneous()) {
        FormShow();
        centreOverParent(this);
    }
    QDialog::showEvent(event);
}
