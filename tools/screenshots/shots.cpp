// The registry of shots and what every shot file uses.
#include "shots.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

namespace Shots
{

std::vector<Entry> &registry()
{
    static std::vector<Entry> entries;
    return entries;
}

UserPrompt &quietPrompt()
{
    static QuietPrompt prompt;
    return prompt;
}

void settle()
{
    // Long enough for the windows' short timers too (the main list holds
    // back repaints and column fits for a moment while rows change), so that
    // the picture shows what a user sees once the window is still.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

QString save(const Context &ctx, QWidget *widget, const QString &name)
{
    widget->show();
    settle();
    const QString path = QDir(ctx.outDir).filePath(name + QStringLiteral(".png"));
    widget->grab().save(path);
    widget->hide();
    return path;
}

} // namespace Shots
