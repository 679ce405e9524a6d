#include "binaryio.h"

#include "ansitext.h"

namespace Bin {

void putShortString(QByteArray &buf, int offset, const QString &text, int maxChars)
{
    const QByteArray bytes = Ansi::fromUnicodeCut(text, maxChars);
    buf[offset] = char(quint8(bytes.size()));
    std::memcpy(buf.data() + offset + 1, bytes.constData(), size_t(bytes.size()));
}

QString getShortString(const char *rec, int offset, int maxChars)
{
    int len = static_cast<unsigned char>(rec[offset]);
    if (len > maxChars) // only possible in a damaged file; never read past the field
        len = maxChars;
    return Ansi::toUnicode(rec + offset + 1, len);
}

} // namespace Bin
