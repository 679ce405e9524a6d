#include "eventlog.h"

#include "core/ansitext.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace
{

QString describe(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 \"%2\": %3").arg(what, path, reason);
}

// A log of many megabytes is touched page by page as it is read. Asking for
// transparent huge pages turns some ten thousand page faults per 40 MB into
// a handful; where the hint is not available it is simply not given.
void adviseHugePages(const void *data, qsizetype size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    if (size < qsizetype(4 * huge))
        return;
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(huge - 1);
    if (to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace

bool EventLog::LoadEventLog(const QString &path)
{
    Clear();
    m_path = path;
    m_error.clear();

    // A missing file is a first start: the log stays empty, nothing to say.
    // A dangling link counts as missing too.
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    const QString cannotRead = QStringLiteral("Cannot read the event log");
    // A folder, a pipe or a device is no log; a pipe would also block.
    if (!info.isFile()) {
        m_error = describe(cannotRead, path, QStringLiteral("it is not a regular file"));
        return false;
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_error = describe(cannotRead, path, file.errorString());
        return false;
    }
    try {
        readWhole(file);
        if (file.error() != QFileDevice::NoError) {
            m_error = describe(cannotRead, path, file.errorString());
            Clear();
            return false;
        }
        splitLines();
    } catch (const std::bad_alloc &) {
        Clear();
        m_error = describe(cannotRead, path, QStringLiteral("the file is too large to be held in memory"));
        return false;
    }
    return true;
}

void EventLog::readWhole(QFile &file)
{
    const qint64 size = file.size();
    // Two bytes to spare for the CR LF that a last line without one gets.
    m_data = QByteArray(qsizetype(size) + 2, Qt::Uninitialized);
    adviseHugePages(m_data.constData(), m_data.size());
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(m_data.data() + got, size - got);
        if (n <= 0)
            break; // shrunk meanwhile, or an error the caller sees
        got += n;
    }
    m_data.resize(qsizetype(got));
    if (got == size && file.error() == QFileDevice::NoError)
        m_data.append(file.readAll()); // it may have grown meanwhile
}

// Finds the line ends: CR LF, a lone CR and a lone LF each end a line; a
// line end at the very end of the file adds no line. Records where each line
// starts, and gives the last line a CR LF when the file ends without one.
void EventLog::splitLines()
{
    const char *const d = m_data.constData();
    const qsizetype n = m_data.size();
    // Event lines are some 60 to 90 bytes; one reservation mostly suffices.
    m_starts.reserve(size_t(n / 40 + 2));
    adviseHugePages(m_starts.data(), qsizetype(m_starts.capacity() * sizeof(qsizetype)));
    m_starts.push_back(0);
    bool allCrLf = true;
    qsizetype skipLf = -1; // the LF of a CR LF pair already taken

    auto lineEnd = [&](qsizetype p) {
        if (p == skipLf)
            return;
        if (d[p] == '\r' && p + 1 < n && d[p + 1] == '\n') {
            skipLf = p + 1;
            m_starts.push_back(p + 2);
        } else {
            allCrLf = false;
            m_starts.push_back(p + 1);
        }
    };

    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
        while (mask) {
            lineEnd(i + __builtin_ctz(mask));
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i)
        if (d[i] == '\r' || d[i] == '\n')
            lineEnd(i);

    if (m_starts.back() != n) { // the last line has no line end
        m_data.append("\r\n", 2);
        m_starts.push_back(m_data.size());
    }
    m_allCrLf = allCrLf;
}

void EventLog::appendRawLine(QByteArrayView bytes)
{
    if (m_starts.empty())
        m_starts.push_back(0);
    const qsizetype from = m_data.size();
    m_data.append(bytes);
    // A line end inside the text would split the line when it is read back.
    char *p = m_data.data();
    for (qsizetype i = from; i < m_data.size(); ++i)
        if (p[i] == '\r' || p[i] == '\n')
            p[i] = ' ';
    m_data.append("\r\n", 2);
    m_starts.push_back(m_data.size());
}

void EventLog::appendLine(const QString &line)
{
    appendRawLine(Ansi::fromUnicode(line));
}

QByteArrayView EventLog::rawLine(int index) const
{
    if (index < 0 || index >= count())
        return {};
    const char *d = m_data.constData();
    const qsizetype from = m_starts[size_t(index)];
    qsizetype to = m_starts[size_t(index) + 1];
    // Strip the line end; the text itself holds no CR or LF.
    if (to > from && d[to - 1] == '\n')
        --to;
    if (to > from && d[to - 1] == '\r')
        --to;
    return QByteArrayView(d + from, to - from);
}

QString EventLog::line(int index) const
{
    const QByteArrayView bytes = rawLine(index);
    return Ansi::toUnicode(bytes.data(), bytes.size());
}

void EventLog::Clear()
{
    m_data = QByteArray(); // releases the memory; clear() would keep it
    std::vector<qsizetype>().swap(m_starts);
    m_allCrLf = true;
}

bool EventLog::SaveEventLog()
{
    return SaveEventLog(m_path.isEmpty() ? Paths::dataFile(QStringLiteral("data.log")) : m_path);
}

bool EventLog::SaveEventLog(const QString &path)
{
    m_error.clear();
    QSaveFile file(path);
    // A folder without write permission takes no temporary file: the log is
    // then rewritten in place when the file itself may be written.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = describe(QStringLiteral("Cannot write the event log"), path, file.errorString());
        return false;
    }

    bool ok = true;
    if (m_allCrLf) {
        // The buffer already is the file: every line followed by CR LF.
        ok = file.write(m_data) == m_data.size();
    } else {
        // Lines gathered into blocks of about 1 MB, each with CR LF.
        constexpr qsizetype kBlock = 1 << 20;
        QByteArray block;
        block.reserve(kBlock + 4096);
        auto flush = [&] {
            if (ok && !block.isEmpty() && file.write(block) != block.size())
                ok = false;
            block.resize(0);
        };
        for (int i = 0; i < count() && ok; ++i) {
            const QByteArrayView line = rawLine(i);
            if (line.size() >= kBlock) {
                flush();
                ok = ok && file.write(line.data(), line.size()) == line.size() && file.write("\r\n", 2) == 2;
                continue;
            }
            if (block.size() + line.size() + 2 > kBlock)
                flush();
            block.append(line.data(), line.size());
            block.append("\r\n", 2);
        }
        flush();
    }

    // On failure the unfinished temporary file goes with `file`, and the old
    // log stays as it was.
    if (!ok || !file.commit()) {
        m_error = describe(QStringLiteral("Cannot write the event log"), path, file.errorString());
        return false;
    }
    Clear();
    return true;
}
