#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstring>

// Little-endian field access at fixed offsets of a record buffer. Records are
// built and parsed field by field so that the file layout never depends on
// the compiler's struct layout.
namespace Bin {

inline void putInt32(QByteArray &buf, int offset, qint32 v)
{
    const quint32 u = quint32(v);
    char *p = buf.data() + offset;
    p[0] = char(u & 0xFF);
    p[1] = char((u >> 8) & 0xFF);
    p[2] = char((u >> 16) & 0xFF);
    p[3] = char((u >> 24) & 0xFF);
}

inline qint32 getInt32(const char *rec, int offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(rec + offset);
    return qint32(quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24));
}

inline void putDouble(QByteArray &buf, int offset, double v)
{
    quint64 u;
    std::memcpy(&u, &v, 8);
    char *p = buf.data() + offset;
    for (int i = 0; i < 8; ++i)
        p[i] = char((u >> (8 * i)) & 0xFF);
}

inline double getDouble(const char *rec, int offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(rec + offset);
    quint64 u = 0;
    for (int i = 0; i < 8; ++i)
        u |= quint64(p[i]) << (8 * i);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
}

inline void putFlag(QByteArray &buf, int offset, bool v) { buf[offset] = v ? 1 : 0; }
inline bool getFlag(const char *rec, int offset) { return rec[offset] != 0; }

// Short string of up to maxChars bytes: maxChars + 1 bytes, a length byte and
// the text's bytes (Windows-1252, or UTF-8 for text the code page cannot
// hold); the text is cut to maxChars bytes, never inside a character.
// Bytes after the text are left as they are in buf (zero in a fresh buffer).
void putShortString(QByteArray &buf, int offset, const QString &text, int maxChars = 255);
QString getShortString(const char *rec, int offset, int maxChars = 255);

} // namespace Bin
