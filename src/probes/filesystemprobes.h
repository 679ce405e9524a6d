#pragma once

#include "core/engine.h"

#include <QString>
#include <QtGlobal>

// The four tests that look at the local file system: Disk Space, File/Folder
// Size, File/Folder Present and Compare Files. Each probe measures, decides
// pass or fail and hands the outcome to MonitorEngine::ReportOutcome before it
// returns; a failed system call is never an error of its own but a measured
// value (0 free bytes, size -1, folder total 0, path not present).

// Size of a regular file in bytes, taken by opening it read-only and seeking
// to its end; no content is read. -1 when the path cannot be opened or does
// not name a regular file (a folder, a FIFO, a socket, a device, a dangling
// link). A symbolic link to a file measures the file it points to. The open
// never blocks, so a FIFO without a writer cannot hang the caller.
qint64 MeasureFileSize(const QString &path);

// Total size in bytes of the files in a folder, from the directory data alone
// (readdir + fstatat relative to the folder's descriptor; no file is opened).
// - includeSubfolders: also count the files of every sub-folder, at any depth.
// - Symbolic links are followed: a link to a file adds the size of the file
//   it points to, a link to a folder is walked like a folder. A folder that is
//   already on the current path (same device and inode as one of the folders
//   being walked) is not entered again, so a link loop ends; the same folder
//   reached by two separate routes counts twice.
// - Every directory entry counts, so a file with two hard links in the tree
//   counts twice. Folders themselves add nothing.
// - A folder that cannot be opened or enumerated (missing, no access, no file
//   descriptor left at extreme depth) adds nothing; so does a dangling link.
// - A path that names no folder sums to 0. The sum saturates at the largest
//   qint64 instead of overflowing.
// The walk keeps its own stack, so a deep tree cannot overflow the call stack.
qint64 SumFolderSize(const QString &path, bool includeSubfolders);
// The same walk on a path already in the file system's encoding.
qint64 SumFolderSize(const char *path, bool includeSubfolders);

// Free space in bytes on the volume that holds the Disk Space target: the
// space available to this user (statvfs f_bavail x f_frsize). The target is a
// mount point or any path on the volume. A single letter is a drive from a
// Windows project: it has no volume here and measures 0, as does an empty
// target or a path that cannot be queried.
qint64 FreeDiskBytes(const QString &target);

// Megabytes (1024 x 1024 bytes) as a double, with no cut to whole megabytes.
inline double bytesToMb(qint64 bytes)
{
    return double(bytes) / 1024 / 1024;
}

// Kind 4: fails when the free space in megabytes is at or below MinFreeMb.
class DiskSpaceProbe : public ObserverProbe
{
public:
    explicit DiskSpaceProbe(MonitorEngine &engine) : m_engine(engine) {}
    void test(int position) override { TestDiskSpace(position); }
    void TestDiskSpace(int position);

private:
    MonitorEngine &m_engine;
};

// Kind 5: a file fails when it is larger than MaxSizeMb; a folder (or a path
// that names nothing) fails when its files sum to MaxSizeMb or more.
class FolderSizeProbe : public ObserverProbe
{
public:
    explicit FolderSizeProbe(MonitorEngine &engine) : m_engine(engine) {}
    void test(int position) override { TestFolderSize(position); }
    void TestFolderSize(int position);
    // The running total of the last folder walk, in bytes. Reset to 0 before
    // every walk; meaningful only until the next one.
    qint64 folderTotal() const { return m_folderTotal; }

private:
    MonitorEngine &m_engine;
    qint64 m_folderTotal = 0;
};

// Kind 6: with AlertIfExists fails when the path names a file or a folder;
// without it fails when it names neither.
class FilePresentProbe : public ObserverProbe
{
public:
    explicit FilePresentProbe(MonitorEngine &engine) : m_engine(engine) {}
    void test(int position) override { TestFilePresent(position); }
    void TestFilePresent(int position);

private:
    MonitorEngine &m_engine;
};

// Kind 7: compares the sizes of two files (MeasureFileSize of each) by the
// AlertWhen mode; a mode outside 0 to 4 never fails.
class CompareFilesProbe : public ObserverProbe
{
public:
    explicit CompareFilesProbe(MonitorEngine &engine) : m_engine(engine) {}
    void test(int position) override { TestCompareFiles(position); }
    void TestCompareFiles(int position);

private:
    MonitorEngine &m_engine;
};
