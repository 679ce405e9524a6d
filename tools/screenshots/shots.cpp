// The registry of shots and what every shot file uses.
#include "shots.h"

#include <QCoreApplication>
#include <QDir>

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
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
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
