#include "filesystemprobes.h"

#include "core/formats.h"
#include "core/records.h"

#include <QElapsedTimer>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <limits>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace
{

constexpr qint64 MaxBytes = std::numeric_limits<qint64>::max();

// Adds a non-negative size to a running total, stopping at the largest qint64
// (sparse files on some file systems can be almost that large each).
inline qint64 addSaturated(qint64 total, qint64 size)
{
    qint64 sum;
    if (__builtin_add_overflow(total, size, &sum))
        return MaxBytes;
    return sum;
}

const QLatin1Char Quote('"');

inline QString quoted(const QString &text)
{
    return Quote + text + Quote;
}

// The parameter record of the object at the position, copied: the alert that
// ReportOutcome may raise lets other events run, and those may remove the
// object while its values are still in use.
template <class P> P paramsAt(MonitorEngine &engine, int position)
{
    const ObserverObject *o = engine.object(position);
    if (!o)
        throw std::out_of_range("no observer object at this position");
    const P *p = o->record.params<P>();
    if (!p)
        throw std::logic_error("observer object of another kind");
    return *p;
}

// One folder being walked: its open enumeration and its identity, which the
// loop guard compares with every folder entered below it.
struct Frame {
    DIR *dir;
    dev_t dev;
    ino_t ino;
};

// Opens the folder `name` relative to `parentFd` (AT_FDCWD for a path) for
// enumeration, following a symbolic link to a folder. Refuses a folder that is
// already on the current path. Returns false when the folder is not entered.
bool enterFolder(int parentFd, const char *name, std::vector<Frame> &stack)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    for (const Frame &f : stack) {
        if (f.ino == st.st_ino && f.dev == st.st_dev) {
            ::close(fd);
            return false;
        }
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    stack.push_back(Frame{dir, st.st_dev, st.st_ino});
    return true;
}

inline bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

qint64 MeasureFileSize(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return -1;
    // Only a regular file is opened: opening a device can have effects of its
    // own (a tape rewinds, a watchdog arms), and a FIFO would wait for a writer.
    struct stat st;
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    qint64 size = -1;
    // The path may have been replaced between the two calls: check again.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (end >= 0)
            size = qint64(end);
    }
    ::close(fd);
    return size;
}

qint64 SumFolderSize(const char *path, bool includeSubfolders)
{
    if (!path || !*path)
        return 0;
    std::vector<Frame> stack;
    if (!enterFolder(AT_FDCWD, path, stack))
        return 0;

    qint64 total = 0;
    while (!stack.empty()) {
        DIR *dir = stack.back().dir;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            // End of the folder, or a read error part way: what was read counts.
            ::closedir(dir);
            stack.pop_back();
            continue;
        }
        const char *name = entry->d_name;
        if (isDotOrDotDot(name))
            continue;
        const int dirFd = ::dirfd(dir);
        if (entry->d_type == DT_DIR) {
            // A real folder: its type is known without a stat.
            if (includeSubfolders)
                enterFolder(dirFd, name, stack);
            continue;
        }
        // A file, or an entry whose type needs a look (a link, or a file system
        // that does not report types): the stat follows links.
        struct stat st;
        if (::fstatat(dirFd, name, &st, 0) != 0)
            continue; // a dangling link, or an entry removed meanwhile
        if (S_ISDIR(st.st_mode)) {
            if (includeSubfolders)
                enterFolder(dirFd, name, stack);
            continue;
        }
        if (st.st_size > 0)
            total = addSaturated(total, qint64(st.st_size));
    }
    return total;
}

qint64 SumFolderSize(const QString &path, bool includeSubfolders)
{
    return SumFolderSize(QFile::encodeName(path).constData(), includeSubfolders);
}

qint64 FreeDiskBytes(const QString &target)
{
    // A single letter is a drive of a Windows project: no volume here.
    if (target.isEmpty() || Records::driveText(target) != target)
        return 0;
    struct statvfs vfs;
    if (::statvfs(QFile::encodeName(target).constData(), &vfs) != 0)
        return 0;
    unsigned long long bytes;
    if (__builtin_mul_overflow((unsigned long long)vfs.f_bavail, (unsigned long long)vfs.f_frsize, &bytes) ||
        bytes > (unsigned long long)MaxBytes)
        return MaxBytes;
    return qint64(bytes);
}

// ---- the probes on worker threads -------------------------------------------

namespace
{

std::mutex g_hookMutex;
std::function<void(const QString &)> g_callHook;

std::function<void(const QString &)> callHook()
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_callHook;
}

QString megabytes(qint64 bytes)
{
    return QString::number(bytesToMb(bytes), 'f', 1) + QLatin1String(" MB");
}

QString noAnswer(int boundMs)
{
    return QStringLiteral("no answer within %1 s").arg(QString::number(boundMs / 1000.0));
}

} // namespace

void setFileSystemCallHook(std::function<void(const QString &target)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_callHook = std::move(hook);
}

FileSystemProbeBase::FileSystemProbeBase(MonitorEngine &engine, ProbeWorkers *workers)
    : m_engine(engine), m_ownWorkers(workers ? nullptr : std::make_unique<ProbeWorkers>(DefaultWorkers)),
      m_workers(workers ? workers : m_ownWorkers.get())
{
}

FileSystemProbeBase::~FileSystemProbeBase()
{
    cancelAll();
}

void FileSystemProbeBase::cancelAll()
{
    // The pool may be shared by the four probes: only this probe's endings
    // are dropped, through the flag they hold.
    *m_alive = false;
    m_alive = std::make_shared<bool>(true);
}

void FileSystemProbeBase::runMeasured(int position, const QString &target, std::function<void()> measure,
                                      std::function<Outcome(bool timedOut)> decide)
{
    const TestTicket ticket = m_engine.testTicket(position);
    const std::shared_ptr<bool> alive = m_alive;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    const int bound = m_boundMs;
    m_workers->start(
        [hook = callHook(), target, measure = std::move(measure)] {
            if (hook)
                hook(target);
            measure();
        },
        [this, alive, ticket, started, bound, decide = std::move(decide)](ProbeWorkers::Ending ending) {
            if (!*alive)
                return;
            const bool timedOut = ending == ProbeWorkers::Ending::TimedOut;
            Outcome out = decide(timedOut);
            if (timedOut) {
                out.cause = noAnswer(bound);
                out.responseMs = -1;
            } else {
                out.responseMs = started->elapsed();
            }
            m_engine.ReportOutcome(ticket, out);
        },
        bound);
}

void DiskSpaceProbe::TestDiskSpace(int position)
{
    const DiskSpaceParams p = paramsAt<DiskSpaceParams>(m_engine, position);
    auto freeBytes = std::make_shared<qint64>(0);
    runMeasured(
        position, p.Target, [freeBytes, target = p.Target] { *freeBytes = FreeDiskBytes(target); },
        [p, freeBytes](bool timedOut) {
            // A volume that does not answer has no free space to count on.
            const qint64 bytes = timedOut ? 0 : *freeBytes;
            const double freeMb = bytesToMb(bytes);
            const bool pass = !(p.MinFreeMb >= freeMb);
            const QString drive = quoted(Records::driveText(p.Target));

            Outcome out;
            out.pass = pass;
            out.failMarker = QStringLiteral("Disk Space Error");
            out.failStatus = QStringLiteral("Error");
            out.hostField = p.Target;
            out.statusField = pass ? drive + QLatin1String(" OK")
                                   : drive + QLatin1String(" Disk Space less then ") + Formats::generalNumber(p.MinFreeMb);
            out.methodName = QStringLiteral("Disk Space");
            out.alertSuffix = pass ? QStringLiteral(" Disk Space OK") : QStringLiteral(" Disk Space Error");
            out.cause = megabytes(bytes) + QLatin1String(" free");
            return out;
        });
}

namespace
{

struct FolderMeasure {
    bool isFile = false;
    qint64 bytes = 0; // the file's size (-1 when it cannot be measured) or the folder's total
};

} // namespace

void FolderSizeProbe::TestFolderSize(int position)
{
    const FolderSizeParams p = paramsAt<FolderSizeParams>(m_engine, position);
    auto measured = std::make_shared<FolderMeasure>();
    runMeasured(
        position, p.Target,
        [measured, p] {
            const QByteArray native = QFile::encodeName(p.Target);
            struct stat st;
            if (!native.isEmpty() && ::stat(native.constData(), &st) == 0 && !S_ISDIR(st.st_mode)) {
                measured->isFile = true;
                measured->bytes = MeasureFileSize(p.Target);
            } else {
                measured->bytes = SumFolderSize(native.constData(), p.IncludeSubfolders);
            }
        },
        [this, p, measured](bool timedOut) {
            // After a time-out the worker may still write it: a copy of
            // nothing measured is used instead.
            const FolderMeasure m = timedOut ? FolderMeasure{} : *measured;
            bool pass;
            if (timedOut) {
                pass = false; // a walk that does not end measures nothing
            } else if (m.isFile) {
                // A single file: at exactly the threshold it passes.
                pass = bytesToMb(m.bytes) <= p.MaxSizeMb;
            } else {
                // A folder, or nothing at all (which sums to 0): at exactly
                // the threshold it fails.
                m_folderTotal = m.bytes;
                pass = bytesToMb(m_folderTotal) < p.MaxSizeMb;
            }

            Outcome out;
            out.pass = pass;
            out.failMarker = QStringLiteral("File/Folder Size Error");
            out.failStatus = QStringLiteral("Error");
            out.hostField = p.Target;
            out.statusField = pass ? quoted(p.Target) + QLatin1String(" OK")
                                   : quoted(p.Target) + QLatin1String(" File/Folder more then ") +
                                         Formats::generalNumber(p.MaxSizeMb);
            out.methodName = QStringLiteral("File/Folder Size");
            out.alertSuffix = pass ? QStringLiteral(" File Size OK") : QStringLiteral(" File Size Error");
            if (m.isFile && m.bytes < 0)
                out.cause = QStringLiteral("the file cannot be read");
            else
                out.cause = megabytes(m.bytes) + (m.isFile ? QString() : QStringLiteral(" in the folder"));
            return out;
        });
}

void FilePresentProbe::TestFilePresent(int position)
{
    const FilePresentParams p = paramsAt<FilePresentParams>(m_engine, position);
    auto exists = std::make_shared<bool>(false);
    runMeasured(
        position, p.Target,
        [exists, target = p.Target] {
            const QByteArray native = QFile::encodeName(target);
            // A file (of any type) or a folder; a dangling link names nothing.
            struct stat st;
            *exists = !native.isEmpty() && ::stat(native.constData(), &st) == 0;
        },
        [p, exists](bool timedOut) {
            // A path that cannot be looked up is not there for anyone.
            const bool there = !timedOut && *exists;
            const bool pass = p.AlertIfExists ? !there : there;

            Outcome out;
            out.pass = pass;
            // Kinds 6 and 7 store the marker of kind 5.
            out.failMarker = QStringLiteral("File/Folder Size Error");
            out.failStatus = QStringLiteral("Error");
            out.hostField = p.Target;
            out.statusField = pass ? quoted(p.Target) + QLatin1String(" test OK")
                                   : quoted(p.Target) + QLatin1Char(' ') +
                                         (p.AlertIfExists ? QStringLiteral("File/folder exist")
                                                          : QStringLiteral("File/folder doesn''t exist"));
            out.methodName = QStringLiteral("File/Folder Present");
            out.alertSuffix = pass ? QStringLiteral(" File present OK") : QStringLiteral(" File Present Error");
            out.cause = there ? QStringLiteral("exists") : QStringLiteral("does not exist");
            return out;
        });
}

void CompareFilesProbe::TestCompareFiles(int position)
{
    const CompareFilesParams p = paramsAt<CompareFilesParams>(m_engine, position);
    auto sizes = std::make_shared<std::pair<qint64, qint64>>(-1, -1);
    runMeasured(
        position, p.Target,
        [sizes, p] {
            sizes->first = MeasureFileSize(p.Target);
            sizes->second = MeasureFileSize(p.SecondFile);
        },
        [p, sizes](bool timedOut) {
            bool fails = timedOut; // sizes that cannot be read compare as nothing
            QString modeText;
            // After a time-out the worker may still write them: not read.
            const qint64 first = timedOut ? -1 : sizes->first;
            const qint64 second = timedOut ? -1 : sizes->second;
            switch (p.AlertWhen) {
            case 0:
                fails = fails || first != second;
                modeText = QStringLiteral(" Files are different");
                break;
            case 1:
                fails = fails || first == second;
                modeText = QStringLiteral(" Files are identical");
                break;
            case 2:
                fails = fails || first == second;
                modeText = QStringLiteral(" 1st file equals 2nd file");
                break;
            case 3:
                fails = fails || first < second;
                modeText = QStringLiteral(" 1st file less 2nd file");
                break;
            case 4:
                fails = fails || first > second;
                modeText = QStringLiteral(" 1st file greater 2nd file");
                break;
            default:
                break; // an unknown mode never fails
            }

            Outcome out;
            out.pass = !fails;
            out.failMarker = QStringLiteral("File/Folder Size Error");
            out.failStatus = QStringLiteral("Error");
            out.hostField = p.Target;
            out.statusField = fails ? quoted(p.Target) + modeText : quoted(p.Target) + QLatin1String(" test OK");
            out.methodName = QStringLiteral("Compare Files");
            out.alertSuffix = fails ? QStringLiteral(" Compare Files Error") : QStringLiteral(" OK");
            auto size = [](qint64 n) { return n < 0 ? QStringLiteral("missing") : QString::number(n); };
            out.cause = QStringLiteral("sizes %1 and %2 bytes").arg(size(first), size(second));
            return out;
        });
}
