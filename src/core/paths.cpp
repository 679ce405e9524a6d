#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Paths {

QString programDir() { return QCoreApplication::applicationDirPath(); }

QString dataDir()
{
    const QString env = qEnvironmentVariable("SENTROVA_HOME");
    if (!env.isEmpty()) {
        QDir().mkpath(env);
        return QDir(env).absolutePath();
    }
    const QString prog = programDir();
    if (QFileInfo(prog).isWritable())
        return prog;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(user);
    return user;
}

QString dataFile(const QString &name) { return QDir(dataDir()).filePath(name); }

} // namespace Paths
