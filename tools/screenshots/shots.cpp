// The registry of shots and what every shot file uses.
#include "shots.h"

#include "core/prompt.h"

#include <QCoreApplication>
#include <QDir>

namespace Shots
{

namespace
{

// Answers nothing and shows nothing: the shots must never wait for a click.
class QuietPrompt : public UserPrompt
{
public:
    Answer confirm(const QString &, const QString &) override { return Cancel; }
    bool okCancel(const QString &, const QString &) override { return false; }
    void message(const QString &, const QString &) override {}
    bool inputText(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &) override { return QString(); }
};

} // namespace

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
