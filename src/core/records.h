#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <variant>

// The observer object: one common record and one parameter record per kind.
// In memory the strings are QStrings; the file layout (little-endian,
// Windows-1252 short strings) is produced by encode*/decode* below.

enum ObserverKind : qint32 {
    okPing = 1,
    okTcpConnect = 2,
    okUrl = 3,
    okDiskSpace = 4,
    okFolderSize = 5,
    okFilePresent = 6,
    okCompareFiles = 7,
    okDatabase = 8,
};

struct PingParams {
    static constexpr int Size = 268;
    QString Target;
    qint32 PacketSize = 56;
    qint32 Timeout = 400;
    qint32 TTL = 64;
};

struct TcpConnectParams {
    static constexpr int Size = 260;
    QString Target;
    qint32 Port = 56;
};

struct UrlParams {
    static constexpr int Size = 516;
    QString Target;
    QString ProxyServer;
    qint32 ProxyPort = 0;
};

struct DiskSpaceParams {
    static constexpr int Size = 264;
    QString Target;
    double MinFreeMb = 80;
};

struct FolderSizeParams {
    static constexpr int Size = 272;
    QString Target;
    double MaxSizeMb = 80;
    bool IncludeSubfolders = false;
};

struct FilePresentParams {
    static constexpr int Size = 257;
    QString Target;
    bool AlertIfExists = false;
};

struct CompareFilesParams {
    static constexpr int Size = 516;
    QString Target;
    QString SecondFile;
    qint32 AlertWhen = 0;
};

struct DatabaseParams {
    static constexpr int Size = 256;
    QString Target;
};

using ObserverParams = std::variant<std::monostate, PingParams, TcpConnectParams, UrlParams, DiskSpaceParams,
                                    FolderSizeParams, FilePresentParams, CompareFilesParams, DatabaseParams>;

struct ObserverRecord {
    static constexpr int Size = 1052;

    qint32 Kind = 0;
    qint32 IntervalMin = 5;
    qint32 IntervalSec = 0;
    qint32 AlertAfter = 1;
    qint32 Spare = 0;
    QString Comment;
    QString AlertProfileName;
    QString ScheduleName;
    bool Enabled = true;
    QString LastResult;
    ObserverParams Params; // std::monostate for a kind outside 1 to 8

    // The parameter record of type P, or nullptr when the kind is another.
    template <class P> P *params() { return std::get_if<P>(&Params); }
    template <class P> const P *params() const { return std::get_if<P>(&Params); }

    QString target() const;
    void setTarget(const QString &target);
    qint64 intervalMs() const { return qint64(IntervalMin) * 60000 + qint64(IntervalSec) * 1000; }
};

namespace Records {

bool isKnownKind(qint32 kind);
// Size of the kind's parameter record; 0 for a kind outside 1 to 8.
int paramsSize(qint32 kind);
// "Ping", "TCP Connect", ...; empty for a kind outside 1 to 8.
QString kindColumnText(qint32 kind);
// A parameter record of the kind with the dialog defaults.
ObserverParams defaultParams(qint32 kind);
// A new object of the kind with the dialogs' first-use values.
ObserverRecord newRecord(qint32 kind);

// The drive as the Disk Space texts show it: a single letter (a drive from a
// Windows project) gets ":\" as on Windows; a path stays as it is.
QString driveText(const QString &target);
// Row caption at creation or load: Target; for Disk Space the drive text;
// for Database Connect the connection string with its password masked;
// empty for a kind outside 1 to 8.
QString rowCaption(const ObserverRecord &rec);
// A database connection string as it may be shown outside the parameters
// dialog and the project file: the value of every Password / PWD key (and of
// any key ending in "password", and a URL's user:password@) becomes "****";
// everything else is kept as written.
QString maskPassword(const QString &connectionString);
// "5:0": minutes and seconds without leading zeros.
QString intervalText(const ObserverRecord &rec);

QByteArray encodeObserverRecord(const ObserverRecord &rec);
// Parameter record bytes; empty for a kind outside 1 to 8.
QByteArray encodeParams(const ObserverRecord &rec);
// Decodes 1052 bytes; leaves Params as the kind's defaults (or monostate).
ObserverRecord decodeObserverRecord(const char *data);
// Decodes the kind's parameter record (paramsSize(rec.Kind) bytes) into rec.
void decodeParams(const char *data, ObserverRecord &rec);

} // namespace Records
