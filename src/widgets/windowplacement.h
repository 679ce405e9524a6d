#pragma once

class QWidget;

// Puts a window in the middle of the window it belongs to, or in the middle
// of its screen's free area when it has no visible owner. The window first
// takes the size its layout asks for, so that it is centred at the size it
// will be shown at.
void centreOverParent(QWidget *window);
