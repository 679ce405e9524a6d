// screenshots OUTDIR [NAME...]: writes a PNG of every window and dialog with
// sample data into OUTDIR (or only the named shots).
#include "shots.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (qEnvironmentVariableIsEmpty("SENTROVA_HOME"))
        qputenv("SENTROVA_HOME", scratch.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora Sentrova"));
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: screenshots OUTDIR [NAME...]\n";
        return 2;
    }
    Shots::Context ctx{QDir(args.at(1)).absolutePath(), qEnvironmentVariable("SENTROVA_HOME")};
    QDir().mkpath(ctx.outDir);
    const QStringList only = args.mid(2);
    int done = 0;
    for (const auto &e : Shots::registry()) {
        if (!only.isEmpty() && !only.contains(e.name))
            continue;
        e.fn(ctx);
        out << "shot " << e.name << "\n";
        out.flush();
        ++done;
    }
    out << done << " shots written to " << ctx.outDir << "\n";
    return 0;
}
