#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace Paths {

bool isSystemProgramDir(const QString &dir)
{
    // A folder installed by the package manager (or by hand into /usr/local
    // or /opt) belongs to the system even where it is writable, as it is
    // for root: the stores never go there.
    const QString path = QDir::cleanPath(QFileInfo(dir).absoluteFilePath()) + QLatin1Char('/');
    return path.startsWith(QLatin1String("/usr/")) || path.startsWith(QLatin1String("/opt/"));
}

QString programDir() { return QCoreApplication::applicationDirPath(); }

QString dataDir()
{
    const QString env = qEnvironmentVariable("SENTROVA_HOME");
    if (!env.isEmpty()) {
        QDir().mkpath(env);
        return QDir(env).absolutePath();
    }
    const QString prog = programDir();
    if (QFileInfo(prog).isWritable() && !isSystemProgramDir(prog))
        return prog;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(user);
    return user;
}

QString dataFile(const QString &name) { return QDir(dataDir()).filePath(name); }

} // namespace Paths
