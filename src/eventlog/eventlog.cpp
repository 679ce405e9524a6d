#include "eventlog.h"

#include "core/ansitext.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>
#include <new>

namespace {

QString describe(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, path, reason);
}

} // namespace

bool EventLog::LoadEventLog(const QString &path)
{
    Clear();
    m_data = QByteArray();
    m_path = path;
    m_error.clear();

    // A missing file is a first start: the log stays empty, nothing to say.
    // A dangling link counts as missing too.
    if (!QFileInfo::exists(path))
        return true;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = describe(QStringLiteral("Cannot read the event log"), path, file.errorString());
        return false;
    }
    try {
        m_data = file.readAll();
    } catch (const std::bad_alloc &) {
        m_data = QByteArray();
        m_error = describe(QStringLiteral("Cannot read the event log"), path,
                           QStringLiteral("the file is too large to be held in memory"));
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        m_data = QByteArray();
        m_error = describe(QStringLiteral("Cannot read the event log"), path, file.errorString());
        return false;
    }
    try {
        splitLines();
    } catch (const std::bad_alloc &) {
        Clear();
        m_data = QByteArray();
        m_error = describe(QStringLiteral("Cannot read the event log"), path,
                           QStringLiteral("the file is too large to be held in memory"));
        return false;
    }
    return true;
}

// CR LF, a lone CR and a lone LF each end a line. memchr finds the LFs
// quickly; a CR is looked for only inside each LF-terminated piece.
void EventLog::splitLines()
{
    const char *const base = m_data.constData();
    const qsizetype size = m_data.size();
    // Event lines are some 60 bytes long; a first guess saves most regrowth.
    m_lines.reserve(size_t(size / 48 + 1));

    auto addPiece = [&](qsizetype from, qsizetype to) {
        // Split [from, to) further at lone CRs; the piece holds no LF.
        for (;;) {
            const void *cr = std::memchr(base + from, '\r', size_t(to - from));
            if (!cr) {
                m_lines.push_back({from, to - from});
                return;
            }
            const qsizetype at = static_cast<const char *>(cr) - base;
            m_lines.push_back({from, at - from});
            from = at + 1;
            if (from == to)
                return; // a CR right before the LF (CR LF) or at the end of the file
        }
    };

    qsizetype pos = 0;
    while (pos < size) {
        const void *lf = std::memchr(base + pos, '\n', size_t(size - pos));
        const qsizetype end = lf ? static_cast<const char *>(lf) - base : size;
        if (lf && end == pos) {
            m_lines.push_back({pos, 0}); // an empty line ended by a lone LF
        } else {
            addPiece(pos, end);
        }
        pos = end + 1;
    }
}

void EventLog::appendRawLine(QByteArrayView bytes)
{
    const qsizetype offset = m_data.size();
    m_data.append(bytes);
    m_lines.push_back({offset, bytes.size()});
}

void EventLog::appendLine(const QString &line)
{
    QByteArray bytes = Ansi::fromUnicode(line);
    bytes.replace('\r', ' ').replace('\n', ' ');
    appendRawLine(bytes);
}

QByteArrayView EventLog::rawLine(int index) const
{
    if (index < 0 || index >= count())
        return {};
    const Span &s = m_lines[size_t(index)];
    return QByteArrayView(m_data.constData() + s.offset, s.length);
}

QString EventLog::line(int index) const
{
    const QByteArrayView bytes = rawLine(index);
    return Ansi::toUnicode(bytes.data(), bytes.size());
}

void EventLog::Clear()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_data.clear();
}

bool EventLog::SaveEventLog()
{
    return SaveEventLog(m_path.isEmpty() ? Paths::dataFile(QStringLiteral("data.log")) : m_path);
}

bool EventLog::SaveEventLog(const QString &path)
{
    m_error.clear();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = describe(QStringLiteral("Cannot write the event log"), path, file.errorString());
        return false;
    }

    // Lines are gathered into blocks of about 1 MB: few system calls, and
    // no second copy of the whole log in memory.
    constexpr qsizetype kBlock = 1 << 20;
    QByteArray block;
    block.reserve(kBlock + 4096);
    bool ok = true;
    auto flush = [&] {
        if (ok && !block.isEmpty() && file.write(block) != block.size())
            ok = false;
        block.resize(0);
    };
    const char *const base = m_data.constData();
    for (const Span &s : m_lines) {
        if (s.length >= kBlock) {
            flush();
            ok = ok && file.write(base + s.offset, s.length) == s.length && file.write("\r\n", 2) == 2;
            continue;
        }
        if (block.size() + s.length + 2 > kBlock)
            flush();
        block.append(base + s.offset, s.length);
        block.append("\r\n", 2);
        if (!ok)
            break;
    }
    flush();

    if (!ok) {
        m_error = describe(QStringLiteral("Cannot write the event log"), path, file.errorString());
        return false; // the unfinished temporary file is removed with `file`
    }
    if (!file.commit()) {
        m_error = describe(QStringLiteral("Cannot write the event log"), path, file.errorString());
        return false;
    }
    Clear();
    m_data.squeeze();
    return true;
}
