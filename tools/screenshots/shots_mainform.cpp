// Shots of the main window with sample rows and of the toolbar dialog.
#include "shots.h"

#include "alerts/desktopservices.h"
#include "core/engine.h"
#include "core/prompt.h"
#include "ui/customizetoolbardialog.h"
#include "ui/mainform.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTableView>

namespace
{

ObserverRecord fileObject(qint32 kind, const QString &target, int min, int sec)
{
    ObserverRecord r = Records::newRecord(kind);
    r.setTarget(target);
    r.IntervalMin = min;
    r.IntervalSec = sec;
    return r;
}

// A main window in a normal 820 x 380 placement, kept in a settings file of
// the scratch folder, with rows in each of the three states.
struct SampleWindow {
    // "Save changes?" is answered No.
    Shots::QuietPrompt prompt{UserPrompt::No};
    NoDesktop desktop;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<TMainForm> form;

    explicit SampleWindow(const Shots::Context &ctx)
    {
        settings = std::make_unique<QSettings>(QDir(ctx.dataDir).filePath(QStringLiteral("shots-options.conf")),
                                               QSettings::IniFormat);
        settings->beginGroup(QStringLiteral("Option"));
        settings->setValue(QStringLiteral("WinState"), QStringLiteral("0"));
        settings->setValue(QStringLiteral("Width"), QStringLiteral("820"));
        settings->setValue(QStringLiteral("Heigth"), QStringLiteral("380"));
        settings->endGroup();
        form = std::make_unique<TMainForm>(&prompt, &desktop);
        OptionsLocation where;
        where.settings = settings.get();
        where.templateFile = QDir(ctx.dataDir).filePath(QStringLiteral("shots-email.dat"));
        form->setOptionsLocation(where);
        form->show();

        const QString dir = QDir::temp().filePath(QStringLiteral("sentrova-demo"));
        QDir().mkpath(dir);
        QFile report(dir + QStringLiteral("/report.txt"));
        if (report.open(QIODevice::WriteOnly))
            report.write(QByteArray(4096, 'x'));
        report.close();

        MonitorEngine &engine = form->engine();
        engine.AppendObject(fileObject(okFilePresent, dir + QStringLiteral("/report.txt"), 5, 0),
                            dir + QStringLiteral("/report.txt"));
        engine.AppendObject(fileObject(okFilePresent, dir + QStringLiteral("/backup.tar"), 1, 30),
                            dir + QStringLiteral("/backup.tar"));
        ObserverRecord size = fileObject(okFolderSize, dir, 10, 0);
        engine.AppendObject(size, dir);
        ObserverRecord disk = fileObject(okDiskSpace, QStringLiteral("/"), 0, 30);
        disk.params<DiskSpaceParams>()->MinFreeMb = 1e12; // more than any disk has: fails
        engine.AppendObject(disk, QStringLiteral("/"));
        // A refused TCP connection on loopback (no traffic leaves the machine).
        ObserverRecord smtp = Records::newRecord(okTcpConnect);
        smtp.setTarget(QStringLiteral("127.0.0.1"));
        smtp.params<TcpConnectParams>()->Port = 9;
        engine.AppendObject(smtp, smtp.target());
        // A test under way shows the grey sign.
        engine.setStatus(engine.count() - 1, QStringLiteral("TEST"));
        form->StartButton->setChecked(true);
        form->selectRow(2);
    }
};

Shots::Register mainWindow(QStringLiteral("mainform"), [](const Shots::Context &ctx) {
    SampleWindow w(ctx);
    Shots::save(ctx, w.form.get(), QStringLiteral("mainform"));
});

Shots::Register customize(QStringLiteral("customizetoolbar"), [](const Shots::Context &ctx) {
    SampleWindow w(ctx);
    CustomizeToolbarDialog dialog(w.form->allActions(), w.form->toolbarLayout(), w.form.get());
    dialog.setLayout(w.form->toolbarLayout());
    dialog.availableList()->setCurrentRow(2);
    dialog.toolbarList()->setCurrentRow(6);
    Shots::save(ctx, &dialog, QStringLiteral("customizetoolbar"));
});

} // namespace
