#pragma once

#include <QByteArray>
#include <QString>

// 8-bit text as the program's files store it. Text that Windows-1252 can hold
// is written in Windows-1252, byte for byte as the files have always held it;
// any other text is written as UTF-8, so that nothing is ever turned into '?'.
// On reading, bytes that are valid UTF-8 and decode to at least one character
// outside Windows-1252 are taken as UTF-8; all other bytes as Windows-1252.
namespace Ansi {

// True when every character of the text exists in Windows-1252.
bool fitsCodePage(const QString &text);

QByteArray fromUnicode(const QString &text);
QString toUnicode(const char *data, qsizetype size);
inline QString toUnicode(const QByteArray &bytes) { return toUnicode(bytes.constData(), bytes.size()); }

// The longest start of the text whose stored bytes (fromUnicode) number at
// most maxBytes. A cut never splits a character: not a surrogate pair, not a
// UTF-8 sequence.
QString cut(const QString &text, int maxBytes);
// fromUnicode(cut(text, maxBytes)).
QByteArray fromUnicodeCut(const QString &text, int maxBytes);

} // namespace Ansi
