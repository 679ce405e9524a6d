// Texts beyond Windows-1252 (and one within it) for the round trips of
// every store: each must come back exactly, and only the text that
// Windows-1252 cannot hold may be stored as UTF-8.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct UnicodeText {
    const char *tag;
    QString text;
    QByteArray stored; // the bytes a store writes for it
};

inline QList<UnicodeText> unicodeTexts()
{
    return {
        {"latin-1 only", QStringLiteral("Z\u00fcrich Caf\u00e9 \u20ac"), QByteArray("Z\xfcrich Caf\xe9 \x80")},
        {"cyrillic", QStringLiteral("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b"),
         QByteArray("\xd0\x94\xd0\xbe\xd0\xba\xd1\x83\xd0\xbc\xd0\xb5\xd0\xbd\xd1\x82\xd1\x8b")},
        {"cjk", QStringLiteral("\u76e3\u8996"), QByteArray("\xe7\x9b\xa3\xe8\xa6\x96")},
        {"emoji", QStringLiteral("up \U0001F600"), QByteArray("up \xf0\x9f\x98\x80")},
        {"mix", QStringLiteral("Z\u00fcrich \u03a9mega"), QByteArray("Z\xc3\xbcrich \xce\xa9mega")},
    };
}

// A text of `capacity` bytes or more whose cut at `capacity` bytes falls
// inside a two-byte character: the whole text is UTF-8 because of it, and
// the store keeps the capacity - 1 ASCII bytes only.
inline QString cutInsideCharacter(int capacity)
{
    return QString(capacity - 1, QLatin1Char('x')) + QStringLiteral("\u0414");
}
