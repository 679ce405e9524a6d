#pragma once

#include <QString>

// Where the program finds its own files and keeps its stores.
namespace Paths {

// Folder of the executable: the logo, the help pages and the icons.
QString programDir();
// Folder of the stores (data.log, profile.dat, Schedule.dat, email.dat):
// $SENTROVA_HOME when set, else the executable's folder when it is writable
// and not a system folder, else the per-user application data folder.
QString dataDir();
// True for a program folder under /usr or /opt: an installed program, whose
// stores go to the per-user data folder even when it could write there.
bool isSystemProgramDir(const QString &dir);
// dataDir() joined with a file name.
QString dataFile(const QString &name);

} // namespace Paths
