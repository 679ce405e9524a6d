// Shots of the pickers, the viewers and the object dialogs.
#include "shots.h"

#include "ui/pickers/aboutform.h"
#include "ui/pickers/helpform.h"
#include "ui/pickers/logo.h"
#include "ui/pickers/selectdateform.h"
#include "ui/pickers/selectportform.h"

#include "core/paths.h"
#include "core/prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTableWidget>

namespace {

// Answers nothing and shows nothing: the shots must never wait for a click.
class SilentPrompt : public UserPrompt
{
public:
    Answer confirm(const QString &, const QString &) override { return Cancel; }
    bool okCancel(const QString &, const QString &) override { return false; }
    void message(const QString &, const QString &) override {}
    bool inputText(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &) override { return QString(); }
};

SilentPrompt silentPrompt;

// The program's folder when it holds the logo and the help pages; otherwise
// a folder in the scratch data folder with stand-ins, so that every shot
// shows a filled window.
QString resourceDir(const Shots::Context &ctx)
{
    const QString prog = Paths::programDir();
    if (QFileInfo::exists(Logo::path(prog)) && QFileInfo::exists(prog + QStringLiteral("/Help/quimbel/index.htm")))
        return prog;
    const QString dir = QDir(ctx.dataDir).filePath(QStringLiteral("shot-resources"));
    QDir().mkpath(dir + QStringLiteral("/Help/quimbel"));
    if (QFileInfo::exists(Logo::path(prog))) {
        QFile::remove(Logo::path(dir));
        QFile::copy(Logo::path(prog), Logo::path(dir));
    } else if (!QFileInfo::exists(Logo::path(dir))) {
        QImage logo(120, 400, QImage::Format_RGB32);
        QPainter p(&logo);
        QLinearGradient g(0, 0, 0, 400);
        g.setColorAt(0, QColor(20, 60, 120));
        g.setColorAt(1, QColor(120, 180, 230));
        p.fillRect(logo.rect(), g);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setBold(true);
        f.setPointSize(14);
        p.setFont(f);
        p.translate(60, 200);
        p.rotate(-90);
        p.drawText(QRect(-180, -20, 360, 40), Qt::AlignCenter, QStringLiteral("Velmora Sentrova"));
        p.end();
        logo.save(Logo::path(dir), "BMP");
    }
    const QString index = dir + QStringLiteral("/Help/quimbel/index.htm");
    if (!QFileInfo::exists(index)) {
        QFile f(index);
        if (f.open(QIODevice::WriteOnly))
            f.write("<html><head><meta charset=\"utf-8\"><title>Velmora Sentrova Help</title></head><body>"
                    "<h1>Velmora Sentrova Help</h1><h3>Contents</h3><ul>"
                    "<li><a href=\"l1.htm\">Program options</a></li>"
                    "<li><a href=\"http://www.velmora-labs.example/\">Velmora Software Labs on the web</a></li>"
                    "</ul><p>Velmora Sentrova watches hosts, ports, web pages, disks, files and databases.</p>"
                    "</body></html>");
    }
    return dir;
}

const Shots::Register portPicker(QStringLiteral("dialogs-select-port"), [](const Shots::Context &ctx) {
    TSelectPortForm form;
    form.setProgramDir(resourceDir(ctx));
    form.setPrompt(&silentPrompt);
    form.PortListView->selectRow(14);
    form.PortListView->scrollToItem(form.PortListView->item(14, 0), QAbstractItemView::PositionAtCenter);
    Shots::save(ctx, &form, QStringLiteral("dialogs-select-port"));
});

const Shots::Register datePicker(QStringLiteral("dialogs-select-date"), [](const Shots::Context &ctx) {
    TSelectDateForm form;
    form.setProgramDir(resourceDir(ctx));
    form.setPrompt(&silentPrompt);
    form.setDate(QDate(2026, 12, 10));
    Shots::save(ctx, &form, QStringLiteral("dialogs-select-date"));
});

const Shots::Register helpViewer(QStringLiteral("dialogs-help"), [](const Shots::Context &ctx) {
    THelpForm form;
    form.setProgramDir(resourceDir(ctx));
    form.setExternalOpener([](const QUrl &) {});
    form.showHelp();
    Shots::save(ctx, &form, QStringLiteral("dialogs-help"));
});

const Shots::Register helpMissing(QStringLiteral("dialogs-help-missing"), [](const Shots::Context &ctx) {
    THelpForm form;
    form.setProgramDir(QDir(ctx.dataDir).filePath(QStringLiteral("no-such-folder")));
    form.showHelp();
    Shots::save(ctx, &form, QStringLiteral("dialogs-help-missing"));
});

const Shots::Register aboutBox(QStringLiteral("dialogs-about"), [](const Shots::Context &ctx) {
    TAboutForm form;
    form.setProgramDir(resourceDir(ctx));
    form.setShellOpener([](const QUrl &) {});
    Shots::save(ctx, &form, QStringLiteral("dialogs-about"));
});

const Shots::Register aboutNoLogo(QStringLiteral("dialogs-about-no-logo"), [](const Shots::Context &ctx) {
    TAboutForm form;
    form.setProgramDir(QDir(ctx.dataDir).filePath(QStringLiteral("no-such-folder")));
    form.setShellOpener([](const QUrl &) {});
    Shots::save(ctx, &form, QStringLiteral("dialogs-about-no-logo"));
});

} // namespace
