// Prepares the start-up benchmark of bench/cases/startup.sh:
//   startupbench DIR COUNT
// Writes, under DIR:
//   targets/         the files and folders the objects watch
//   project.snv      COUNT file-system objects over those targets, in turn
//                    File/Folder Present, File/Folder Size (files and folders,
//                    some with sub-folders), Compare Files and Disk Space,
//                    with intervals from 0:30 to 5:0
//   config/Velmora/Sentrova.conf   the options, with "Auto Start" on
//   data/            the data folder (SENTROVA_HOME), empty
// Prints the number of objects written.
#include "core/projectfile.h"
#include "settings/programoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdio>

namespace
{

bool writeFile(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(QByteArray(size, 'x')) == size;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: startupbench DIR COUNT\n");
        return 2;
    }
    const QDir dir(args[1]);
    const int count = args[2].toInt();
    const QString targets = dir.filePath(QStringLiteral("targets"));
    for (const QString &d :
         {targets, dir.filePath(QStringLiteral("config/Velmora")), dir.filePath(QStringLiteral("data"))})
        dir.mkpath(d);

    // 100 files of 0 to 99 KiB, and 20 folders of 20 files with one
    // sub-folder of 10 files each.
    QStringList files, folders;
    for (int i = 0; i < 100; ++i) {
        files << QStringLiteral("%1/file%2.dat").arg(targets).arg(i, 3, 10, QLatin1Char('0'));
        if (!writeFile(files.last(), qint64(i) * 1024))
            return 1;
    }
    for (int i = 0; i < 20; ++i) {
        const QString folder = QStringLiteral("%1/folder%2").arg(targets).arg(i, 2, 10, QLatin1Char('0'));
        dir.mkpath(folder + QStringLiteral("/sub"));
        for (int j = 0; j < 20; ++j)
            writeFile(QStringLiteral("%1/f%2.dat").arg(folder).arg(j), j * 100);
        for (int j = 0; j < 10; ++j)
            writeFile(QStringLiteral("%1/sub/g%2.dat").arg(folder).arg(j), j * 100);
        folders << folder;
    }

    std::vector<ObserverRecord> records;
    records.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        ObserverRecord r;
        switch (i % 4) {
        case 0: {
            r = Records::newRecord(okFilePresent);
            // Every third one watches a path that is not there.
            r.setTarget(i % 3 == 0 ? targets + QStringLiteral("/absent%1.txt").arg(i) : files.at(i % files.size()));
            break;
        }
        case 1: {
            r = Records::newRecord(okFolderSize);
            const bool folder = i % 2 == 1 && (i / 4) % 2 == 0;
            r.setTarget(folder ? folders.at(i % folders.size()) : files.at(i % files.size()));
            r.params<FolderSizeParams>()->MaxSizeMb = 0.05;
            r.params<FolderSizeParams>()->IncludeSubfolders = (i / 8) % 2 == 0;
            break;
        }
        case 2: {
            r = Records::newRecord(okCompareFiles);
            r.setTarget(files.at(i % files.size()));
            r.params<CompareFilesParams>()->SecondFile = files.at((i + 7) % files.size());
            r.params<CompareFilesParams>()->AlertWhen = i % 5;
            break;
        }
        default: {
            r = Records::newRecord(okDiskSpace);
            r.setTarget(i % 8 == 3 ? targets : QStringLiteral("/"));
            r.params<DiskSpaceParams>()->MinFreeMb = 100;
            break;
        }
        }
        const int seconds = 30 + (i % 10) * 30; // 0:30 to 5:0
        r.IntervalMin = seconds / 60;
        r.IntervalSec = seconds % 60;
        r.Comment = QStringLiteral("object %1").arg(i);
        records.push_back(std::move(r));
    }
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : records)
        ptrs.push_back(&r);
    QFile project(dir.filePath(QStringLiteral("project.snv")));
    const QByteArray bytes = ProjectFormat::encode(ptrs);
    if (!project.open(QIODevice::WriteOnly) || project.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(project.fileName()));
        return 1;
    }
    project.close();

    // The options as the options dialog saves them, with Auto Start on.
    QSettings settings(dir.filePath(QStringLiteral("config/Velmora/Sentrova.conf")), QSettings::IniFormat);
    ProgramOptions options;
    options.AutoStart = true;
    OptionsLocation where;
    where.settings = &settings;
    where.templateFile = dir.filePath(QStringLiteral("data/email.dat"));
    QString error;
    if (!SaveProgramOptions(options, where, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d\n", count);
    return 0;
}
