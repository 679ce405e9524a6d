#pragma once

#include <QByteArray>
#include <QString>

// 8-bit text as the program's files store it: Windows-1252. Characters that
// the code page cannot hold become '?', as a Windows ANSI conversion does.
namespace Ansi {

QByteArray fromUnicode(const QString &text);
QString toUnicode(const char *data, qsizetype size);
inline QString toUnicode(const QByteArray &bytes) { return toUnicode(bytes.constData(), bytes.size()); }

// Cuts a text to at most maxChars code-page characters (one byte each).
QString cut(const QString &text, int maxChars);

} // namespace Ansi
