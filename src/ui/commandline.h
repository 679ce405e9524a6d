#pragma once

#include <QString>
#include <QStringList>

// The program's small command line: `sentrova [FILE.snv]`, --help and
// --version. Read before the application object exists, so that --help,
// --version and a mistyped option work without a display and never open a
// window. Qt's own options (-platform NAME, -style NAME, ...) are let
// through for the application object to take.
struct CommandLine {
    enum Action { Run, Help, Version, Error };

    Action action = Run;
    QString file;  // the project to open at start (Run); empty for none
    QString error; // one line (Error)

    // args: the arguments after the program name.
    static CommandLine parse(const QStringList &args);
    static CommandLine parse(int argc, char **argv);

    static QString helpText();
    static QString versionText();

    // Help and Version print to standard output and give 0; Error prints its
    // line to standard error and gives 2. Only for an action other than Run.
    int finish() const;
};
