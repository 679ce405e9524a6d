#pragma once

#include "core/engine.h"
#include "probeworkers.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// The four tests that look at the local file system: Disk Space, File/Folder
// Size, File/Folder Present and Compare Files. Each probe measures on a worker
// thread, decides pass or fail and hands the outcome to
// MonitorEngine::ReportOutcome on the GUI thread; a failed system call is
// never an error of its own but a measured value (0 free bytes, size -1,
// folder total 0, path not present).

// The measuring functions below block; the probes run them on worker
// threads.

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

// For tests: runs on the worker thread before a probe's file-system calls,
// with the probe's target. A test makes it block for one target to stand for
// a call that hangs on a dead network mount, which a test cannot reach
// without mounting something. Empty (the default) does nothing.
void setFileSystemCallHook(std::function<void(const QString &target)> hook);

// What the four probes share: their work runs on worker threads (a pool of
// DefaultWorkers, shared when given, else the probe's own) and every test is
// bounded (BoundMs): a call that does not return in time fails the test, and
// the row gets its outcome at once while the call goes on alone on its
// worker. The outcome reaches ReportOutcome on the GUI thread.
class FileSystemProbeBase : public ObserverProbe
{
public:
    static constexpr int BoundMs = 10000;
    static constexpr int DefaultWorkers = 8;

    FileSystemProbeBase(MonitorEngine &engine, ProbeWorkers *workers);
    ~FileSystemProbeBase() override;
    FileSystemProbeBase(const FileSystemProbeBase &) = delete;
    FileSystemProbeBase &operator=(const FileSystemProbeBase &) = delete;

    void cancelAll() override;
    int bound() const { return m_boundMs; }
    void setBound(int ms) { m_boundMs = ms; }
    ProbeWorkers &workers() { return *m_workers; }

protected:
    // Runs measure on a worker, then decide on the GUI thread (timedOut when
    // the bound ran out first; what measure writes must not be read then),
    // and reports the outcome with the cause decide gave, or "no answer
    // within 10 s", and the time the measure took.
    void runMeasured(int position, const QString &target, std::function<void()> measure,
                     std::function<Outcome(bool timedOut)> decide);

    MonitorEngine &m_engine;

private:
    std::unique_ptr<ProbeWorkers> m_ownWorkers;
    ProbeWorkers *m_workers;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_boundMs = BoundMs;
};

// Kind 4: fails when the free space in megabytes is at or below MinFreeMb.
class DiskSpaceProbe : public FileSystemProbeBase
{
public:
    explicit DiskSpaceProbe(MonitorEngine &engine, ProbeWorkers *workers = nullptr)
        : FileSystemProbeBase(engine, workers)
    {
    }
    void test(int position) override { TestDiskSpace(position); }
    void TestDiskSpace(int position);
};

// Kind 5: a file fails when it is larger than MaxSizeMb; a folder (or a path
// that names nothing) fails when its files sum to MaxSizeMb or more.
class FolderSizeProbe : public FileSystemProbeBase
{
public:
    explicit FolderSizeProbe(MonitorEngine &engine, ProbeWorkers *workers = nullptr)
        : FileSystemProbeBase(engine, workers)
    {
    }
    void test(int position) override { TestFolderSize(position); }
    void TestFolderSize(int position);
    // The total of the last folder walk that ended, in bytes.
    qint64 folderTotal() const { return m_folderTotal; }

private:
    qint64 m_folderTotal = 0;
};

// Kind 6: with AlertIfExists fails when the path names a file or a folder;
// without it fails when it names neither.
class FilePresentProbe : public FileSystemProbeBase
{
public:
    explicit FilePresentProbe(MonitorEngine &engine, ProbeWorkers *workers = nullptr)
        : FileSystemProbeBase(engine, workers)
    {
    }
    void test(int position) override { TestFilePresent(position); }
    void TestFilePresent(int position);
};

// Kind 7: compares the sizes of two files (MeasureFileSize of each) by the
// AlertWhen mode; a mode outside 0 to 4 never fails.
class CompareFilesProbe : public FileSystemProbeBase
{
public:
    explicit CompareFilesProbe(MonitorEngine &engine, ProbeWorkers *workers = nullptr)
        : FileSystemProbeBase(engine, workers)
    {
    }
    void test(int position) override { TestCompareFiles(position); }
    void TestCompareFiles(int position);
};
