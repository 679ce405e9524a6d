#pragma once

#include <QString>

class QLabel;
class QWidget;
class UserPrompt;

// The logo picture "vlogo.dat" (a BMP file despite its name) that the pickers
// show down their left side and the about box beside its title. It is read
// from the program's folder each time such a window is shown.
namespace Logo
{

inline constexpr char FileName[] = "vlogo.dat";
// Width of the picture strip of the port and date pickers.
inline constexpr int StripWidth = 120;

// The logo's full path in the given program folder.
QString path(const QString &programDir);

// Loads the logo into the label. Returns an empty text on success, otherwise
// the problem, naming the file; the label then keeps its picture.
QString loadPicture(QLabel *label, const QString &programDir);

// Loads the logo into the label. When the file is missing or is not a
// readable picture, the user is told with a message naming the file (through
// the prompt, or a message box over parent when there is none) and the label
// keeps the picture it showed before. True when the picture was loaded.
bool load(QLabel *label, const QString &programDir, UserPrompt *prompt, QWidget *parent);

} // namespace Logo
