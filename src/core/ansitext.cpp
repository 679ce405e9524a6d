#include "ansitext.h"

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the five holes (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map through unchanged, as Windows' own conversion
// does, so every byte has a character and every such character its byte.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte of a UTF-16 unit in Windows-1252, or -1 when it has none.
int toByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return 0x80 + i;
    return -1;
}

bool inCodePage(char32_t c)
{
    return c <= 0xFFFF && toByte(char16_t(c)) >= 0;
}

// Decodes strict UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
// Returns false when the bytes are not valid UTF-8; *outside is set when some
// character has no Windows-1252 byte.
bool decodeUtf8(const unsigned char *p, qsizetype n, QString *out, bool *outside)
{
    *outside = false;
    if (out)
        out->reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        char32_t c;
        int more;
        if (b < 0x80) {
            if (out)
                out->append(QChar(b));
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            more = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            more = 3;
        } else {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (!inCodePage(c))
            *outside = true;
        if (out)
            out->append(QString::fromUcs4(&c, 1));
        i += more + 1;
    }
    return true;
}

QString fromCodePage(const char *data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar *q = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        q[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return out;
}

} // namespace

namespace Ansi {

bool fitsCodePage(const QString &text)
{
    for (const QChar c : text)
        if (toByte(c.unicode()) < 0)
            return false; // a surrogate half has no byte either
    return true;
}

QByteArray fromUnicode(const QString &text)
{
    QByteArray out;
    out.resize(text.size());
    char *p = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = toByte(text.at(i).unicode());
        if (b < 0)
            return text.toUtf8();
        p[i] = char(b);
    }
    return out;
}

QString toUnicode(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size && p[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(data, size); // ASCII reads the same either way
    bool outside = false;
    if (decodeUtf8(p, size, nullptr, &outside) && outside) {
        QString text;
        decodeUtf8(p, size, &text, &outside);
        return text;
    }
    return fromCodePage(data, size);
}

QString cut(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (fitsCodePage(text))
        return text.left(maxBytes); // one byte a character
    // UTF-8: whole characters while they fit. The start so found may itself
    // fit the code page and then takes even fewer bytes.
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char16_t u = text.at(i).unicode();
        const int len = pair ? 4 : (u < 0x80 ? 1 : (u < 0x800 ? 2 : 3));
        if (bytes + len > maxBytes)
            break;
        bytes += len;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

QByteArray fromUnicodeCut(const QString &text, int maxBytes)
{
    return fromUnicode(cut(text, maxBytes));
}

} // namespace Ansi
