#include "storefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool isRegular(const struct stat &st)
{
    return S_ISREG(st.st_mode);
}

} // namespace

namespace StoreFile {

OpenStatus openForReading(const QString &path, QFile &file, QString *reason)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return OpenStatus::Missing;
        if (reason)
            *reason = systemReason(errno);
        return OpenStatus::Failed;
    }
    // Not even opened: opening a device can have effects of its own.
    if (!isRegular(st)) {
        if (reason)
            *reason = QStringLiteral("it is not a regular file");
        return OpenStatus::NotRegular;
    }
    // Without blocking, in case something else took the file's place since
    // the look above; checked again on the open descriptor.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (reason)
            *reason = systemReason(errno);
        return errno == ENOENT ? OpenStatus::Missing : OpenStatus::Failed;
    }
    if (::fstat(fd, &st) != 0 || !isRegular(st)) {
        ::close(fd);
        if (reason)
            *reason = QStringLiteral("it is not a regular file");
        return OpenStatus::NotRegular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (reason)
            *reason = file.errorString();
        return OpenStatus::Failed;
    }
    return OpenStatus::Opened;
}

ReadResult readWhole(const QString &path, qint64 maxBytes)
{
    ReadResult r;
    QFile file;
    switch (openForReading(path, file, &r.reason)) {
    case OpenStatus::Missing:
        r.status = ReadResult::Missing;
        return r;
    case OpenStatus::NotRegular:
        r.status = ReadResult::NotRegular;
        return r;
    case OpenStatus::Failed:
        r.status = ReadResult::Failed;
        return r;
    case OpenStatus::Opened:
        break;
    }
    if (file.size() > maxBytes) {
        r.status = ReadResult::TooLarge;
        r.reason = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
        return r;
    }
    // Never more than the cap, even if the file grows while it is read.
    r.bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        r.status = ReadResult::Failed;
        r.reason = file.errorString();
        r.bytes.clear();
        return r;
    }
    if (r.bytes.size() > maxBytes) {
        r.status = ReadResult::TooLarge;
        r.reason = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
        r.bytes.clear();
        return r;
    }
    r.status = ReadResult::Read;
    return r;
}

bool write(const QString &path, const QByteArray &bytes, QString *reason)
{
    QSaveFile file(path);
    // A folder without write permission takes no temporary file; the file
    // is then rewritten in place when it may be.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        const QString told = file.errorString();
        if (reason) {
            const QFileInfo info(path);
            const QString folder = QDir::toNativeSeparators(info.absolutePath());
            const bool folderWritable = ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) == 0;
            if (info.isDir())
                *reason = QStringLiteral("a folder of that name is in the way");
            else if (!folderWritable && info.exists())
                *reason = QStringLiteral("the folder %1 takes no new files and the file itself cannot be written (%2)")
                              .arg(folder, told);
            else if (!folderWritable && QFileInfo(info.absolutePath()).isDir())
                *reason = QStringLiteral("the folder %1 takes no new files (%2)").arg(folder, told);
            else
                *reason = told;
        }
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        // With a temporary file, the old file is still there untouched.
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

bool keepBackup(const QString &path, QString *reason)
{
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    if (!info.isFile()) {
        if (reason)
            *reason = QStringLiteral("it is not a regular file");
        return false;
    }
    const QString backup = path + QStringLiteral(".bak");
    if (QFileInfo(backup).isFile())
        QFile::remove(backup);
    {
        // A copy where the file can be read; openForReading never blocks.
        QFile source;
        if (openForReading(path, source) == OpenStatus::Opened) {
            source.close();
            if (QFile::copy(path, backup))
                return true;
        }
    }
    if (QFile::rename(path, backup))
        return true;
    if (reason)
        *reason = QStringLiteral("it can neither be copied nor renamed to %1").arg(QDir::toNativeSeparators(backup));
    return false;
}

QString backupNotice(const QString &path)
{
    return QStringLiteral("At exit the old file is kept as %1.bak.").arg(QFileInfo(path).fileName());
}

} // namespace StoreFile
