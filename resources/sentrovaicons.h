#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The pictures compiled into the program (resources/icons/*.png).
namespace SentrovaIcons
{

// A toolbar or menu icon by its file name without extension: "new", "open",
// "save", "saveas", "append", "printersetup", "print", "exit", "add", "edit",
// "delete", "start", "refresh", "refreshall", "schedule", "alertprofile",
// "loganalyser", "options", "customize", "help", "homepage", "contact",
// "about", "back", "forward", "close".
QIcon icon(const QString &name);
// The row image of the main list, 16 x 16: 0 failure (a green frowning
// face), 1 OK (a yellow smiling face), 2 testing (a grey sign).
QPixmap statusImage(int index);
QIcon statusIcon(int index);
// The program's window and tray icon.
QIcon appIcon();
// The new-object wizard's 32 x 32 icon of a kind 1 to 8.
QIcon kindIcon(int kind);

} // namespace SentrovaIcons
