#include "commandline.h"

#include <cstdio>

#ifndef SENTROVA_VERSION
#define SENTROVA_VERSION "unknown"
#endif

namespace
{

// Options QGuiApplication and QApplication take themselves, with one or two
// dashes; those in the first list are followed by a value (or "=value").
const char *const QtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                      "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
                                      "geometry", "name", "title", "visual", "qmljsdebugger"};
const char *const QtFlagOptions[] = {"reverse", "nograb", "dograb", "widgetcount", "testability", "sync"};

// The option's name without its dashes and any "=value"; empty when the
// text is not a Qt option. *takesValue says whether the next argument is its value.
bool isQtOption(const QString &arg, bool *takesValue)
{
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype eq = name.indexOf(QLatin1Char('='));
    const bool inlineValue = eq >= 0;
    if (inlineValue)
        name.truncate(eq);
    for (const char *o : QtValueOptions) {
        if (name == QLatin1String(o)) {
            *takesValue = !inlineValue;
            return true;
        }
    }
    for (const char *o : QtFlagOptions) {
        if (name == QLatin1String(o) && !inlineValue) {
            *takesValue = false;
            return true;
        }
    }
    return false;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &args)
{
    CommandLine c;
    bool options = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (options && arg == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
                c.action = Help;
                return c;
            }
            if (arg == QLatin1String("--version")) {
                c.action = Version;
                return c;
            }
            bool takesValue = false;
            if (isQtOption(arg, &takesValue)) {
                if (takesValue)
                    ++i;
                continue;
            }
            c.action = Error;
            c.error = QStringLiteral("sentrova: unknown option \"%1\" (sentrova --help shows the usage)").arg(arg);
            return c;
        }
        // The first file is the project; as before, any further ones are
        // not opened.
        if (c.file.isEmpty())
            c.file = arg;
    }
    return c;
}

CommandLine CommandLine::parse(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return parse(args);
}

QString CommandLine::versionText()
{
    return QStringLiteral("Velmora Sentrova " SENTROVA_VERSION "\n");
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Usage: sentrova [FILE.snv]\n"
        "\n"
        "Velmora Sentrova watches hosts (ping), TCP ports, URLs, free disk space, file\n"
        "and folder sizes, files and folders being present, two files compared by size\n"
        "and databases accepting a connection. Each object of a project is tested on\n"
        "its own interval; a change of outcome is written to the event log and runs\n"
        "the object's alert profile (message box, sound, program, e-mail, network\n"
        "message, reboot).\n"
        "\n"
        "  FILE.snv     open this project at start\n"
        "  --help, -h   show this text and end\n"
        "  --version    show the version and end\n"
        "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
        "\n"
        "Environment:\n"
        "  SENTROVA_HOME     folder of the stores (data.log, profile.dat, Schedule.dat,\n"
        "                    email.dat); without it the program's folder when it is\n"
        "                    writable, else ~/.local/share/Velmora/Velmora Sentrova\n"
        "  XDG_CONFIG_HOME   moves the program options (~/.config/Velmora/Sentrova.conf)\n"
        "  XDG_DATA_HOME     moves the per-user data folder (~/.local/share)\n"
        "  SENTROVA_EXIT_WHEN_TESTED=1\n"
        "                    print one line and end once every row has its first\n"
        "                    outcome (for the start-up benchmark)\n");
}

int CommandLine::finish() const
{
    switch (action) {
    case Help:
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case Version:
        std::fputs(versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case Error:
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    case Run:
        break;
    }
    return 0;
}
