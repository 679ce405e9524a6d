#include "windowplacement.h"

#include <QRect>
#include <QScreen>
#include <QWidget>

void centreOverParent(QWidget *window)
{
    const QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    window->adjustSize();
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen *s = window->screen())
        area = s->availableGeometry();
    if (area.isValid())
        window->move(area.center() - window->rect().center());
}
