#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reading and writing the program's own files (the stores and the project)
// so that bad input never hangs the program and a failed write never loses
// the old file.
namespace StoreFile {

enum class OpenStatus {
    Opened,     // a regular file, open for reading
    Missing,    // nothing at the path (a dangling link counts as nothing)
    NotRegular, // a folder, a pipe, a socket or a device
    Failed,     // it exists but cannot be opened; see the reason
};

// Opens the file for reading only when it is a regular file. The check and
// the open are one step (the file is opened without blocking and then
// looked at), so a pipe put in the file's place can never block the
// program. On failure `reason` says why, in words a user can act on.
OpenStatus openForReading(const QString &path, QFile &file, QString *reason = nullptr);

// The whole file, read through openForReading. A file larger than maxBytes
// is refused (TooLarge) without reading it, so a huge or endless file
// cannot exhaust memory.
struct ReadResult {
    enum Status { Read, Missing, NotRegular, TooLarge, Failed };
    Status status = Missing;
    QByteArray bytes;
    QString reason; // for NotRegular, TooLarge and Failed
};
ReadResult readWhole(const QString &path, qint64 maxBytes);

// Replaces the file with the bytes. The write is atomic (a temporary file
// renamed over the old one) where the folder allows a new file; where it
// does not but the file itself is writable, the file is rewritten in place.
// On failure false, and `reason` names the real cause (for example that the
// folder takes no new files and the file itself is write-protected).
bool write(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

// Keeps the file as path + ".bak" before it is replaced, so that a store
// the program could not read is not lost: a copy where the file can be
// read, else the file itself is moved there (a file without read
// permission can still be renamed). A previous .bak is replaced. Nothing to
// keep (no file) is a success. A folder or a device in the file's place is
// never moved: false. `reason` says why it failed.
bool keepBackup(const QString &path, QString *reason = nullptr);

// The text saying where the old file is kept, for the message at start:
// "At exit the old file is kept as NAME.bak."
QString backupNotice(const QString &path);

} // namespace StoreFile
