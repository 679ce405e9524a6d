#pragma once

#include <QByteArray>
#include <QString>

// "Start with my desktop session": an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/sentrova.desktop ($HOME/.config when the
// variable is unset or not an absolute path), that starts the program with
// the last project it had open. The entry exists exactly while the option is
// on; it is written atomically (a write that fails leaves the folder as it
// was, with no partial or temporary file) and removed when the option goes
// off.
namespace Autostart
{

// Where the entry lives.
QString entryPath();
// True while an entry exists at the path.
bool isEnabled(const QString &path = entryPath());

// The entry's text: the program, and the project when one is given, as the
// command line of the session's start.
QByteArray entryText(const QString &program, const QString &project);

// Writes the entry (creating its folder). False with a message naming the
// file and the reason in *error when it cannot be written.
bool enable(const QString &program, const QString &project, QString *error = nullptr,
            const QString &path = entryPath());
// Removes the entry; no entry is success. False with a message in *error
// when it exists and cannot be removed.
bool disable(QString *error = nullptr, const QString &path = entryPath());

// While the option is on (the entry exists), the entry follows the project
// the program has open, so that the next session starts with it. A project
// that is not named, or an entry that cannot be rewritten, leaves the entry
// as it was.
bool followProject(const QString &program, const QString &project, const QString &path = entryPath());

} // namespace Autostart
