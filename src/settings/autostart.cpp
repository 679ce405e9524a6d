#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Autostart
{

namespace
{

// One argument of an Exec line: quoted, with the characters that quoting
// reserves escaped, then with the backslashes of a string value doubled,
// and "%" doubled, since the line's own field codes begin with it.
QString execArgument(const QString &argument)
{
    QString quoted;
    quoted.reserve(argument.size() + 2);
    quoted += QLatin1Char('"');
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return quoted;
}

// A value of the entry holds no line end.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

QString entryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/sentrova.desktop");
}

bool isEnabled(const QString &path)
{
    return QFileInfo(path).isFile();
}

QByteArray entryText(const QString &program, const QString &project)
{
    QString exec = execArgument(program);
    if (!project.isEmpty())
        exec += QLatin1Char(' ') + execArgument(project);
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Velmora Sentrova\n"
                                        "Comment=Start monitoring with the last project when the session starts\n"
                                        "Exec=%1\n"
                                        "Icon=sentrova\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(oneLine(exec));
    return text.toUtf8();
}

bool enable(const QString &program, const QString &project, QString *error, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("Cannot write the autostart entry \"%1\": %2").arg(path, reason);
        return false;
    };
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("the folder \"%1\" cannot be created").arg(folder));
    // Written beside the entry and renamed over it: the entry is either the
    // old one or the whole new one, never a part.
    QSaveFile file(path);
    const QByteArray bytes = entryText(program, project);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return fail(file.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool disable(QString *error, const QString &path)
{
    QFile file(path);
    if (!file.exists() && !QFileInfo(path).isSymLink())
        return true;
    if (!file.remove()) {
        if (error)
            *error = QStringLiteral("Cannot remove the autostart entry \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool followProject(const QString &program, const QString &project, const QString &path)
{
    if (project.isEmpty() || !isEnabled(path))
        return false;
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == entryText(program, project))
        return true; // already so
    return enable(program, project, nullptr, path);
}

} // namespace Autostart
