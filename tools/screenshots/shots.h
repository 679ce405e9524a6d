#pragma once

#include "core/prompt.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

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

// A prompt that shows nothing and answers every question at once, since
// the shots must never wait for a click: confirm() with the given answer,
// everything else as if cancelled.
class QuietPrompt : public UserPrompt
{
public:
    explicit QuietPrompt(Answer confirmAnswer = Cancel) : m_confirm(confirmAnswer) {}
    Answer confirm(const QString &, const QString &) override { return m_confirm; }
    bool okCancel(const QString &, const QString &) override { return false; }
    void message(const QString &, const QString &) override {}
    bool inputText(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &) override { return QString(); }

private:
    Answer m_confirm;
};

// One QuietPrompt that cancels every question, for the shots to share.
UserPrompt &quietPrompt();

} // namespace Shots
