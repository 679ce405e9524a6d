#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class UserPrompt;

// Each shots_*.cpp registers functions that build a window with sample data
// and save it with Shots::save(). Registration happens at static
// initialisation, so a new file only has to be added to the folder.
namespace Shots {

struct Context {
    QString outDir; // folder the PNG files go to
    QString dataDir; // a scratch data folder (SENTROVA_HOME) with sample stores
};

using ShotFn = std::function<void(const Context &)>;

struct Entry {
    QString name;
    ShotFn fn;
};

std::vector<Entry> &registry();

struct Register {
    Register(const QString &name, ShotFn fn) { registry().push_back({name, std::move(fn)}); }
};

// Shows the widget offscreen, lets it lay out and paint, grabs it into
// <outDir>/<name>.png. Returns the file path.
QString save(const Context &ctx, QWidget *widget, const QString &name);

// Lets shown windows lay out and paint before a shot changes them further.
void settle();

// A prompt that answers nothing and shows nothing (every question is
// cancelled): the shots must never wait for a click.
UserPrompt &quietPrompt();

} // namespace Shots
