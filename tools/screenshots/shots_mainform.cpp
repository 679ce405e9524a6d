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
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QWindow>

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
        // A disabled object: its row is greyed.
        ObserverRecord off = fileObject(okFilePresent, dir + QStringLiteral("/archive.zip"), 30, 0);
        off.Enabled = false;
        engine.AppendObject(off, dir + QStringLiteral("/archive.zip"));
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

// The main window with a project open and changed, under a drawn title bar
// with the title the desktop shows (offscreen windows have no frame).
Shots::Register mainWindowTitled(QStringLiteral("mainform-title"), [](const Shots::Context &ctx) {
    SampleWindow w(ctx);
    w.form->project().ProjectFileName = QDir(ctx.dataDir).filePath(QStringLiteral("servers.snv"));
    w.form->project().setModified(true); // the title follows
    Shots::settle();
    const QImage body = w.form->grab().toImage();
    const QString title = w.form->windowHandle() ? w.form->windowHandle()->title() : w.form->windowTitle();
    QImage out(body.width(), body.height() + 28, QImage::Format_ARGB32);
    out.fill(QColor(0x3c, 0x4a, 0x5c));
    QPainter p(&out);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(10, 0, out.width() - 20, 28), Qt::AlignVCenter | Qt::AlignLeft, title);
    p.drawImage(0, 28, body);
    p.end();
    out.save(QDir(ctx.outDir).filePath(QStringLiteral("mainform-title.png")));
});

// The tray icon's menu beside the icon of each state, with the tooltip.
Shots::Register trayMenu(QStringLiteral("mainform-tray"), [](const Shots::Context &ctx) {
    SampleWindow w(ctx);
    w.form->StartButton->setChecked(false);
    w.form->StartButton->trigger(); // the observer runs
    Shots::settle();
    QMenu *menu = w.form->TrayIcon->contextMenu();
    menu->adjustSize();
    menu->show();
    Shots::settle();
    const QImage menuImage = menu->grab().toImage();
    menu->hide();
    const QString tip = w.form->TrayIcon->toolTip();
    const QPixmap running = w.form->TrayIcon->icon().pixmap(32, 32);
    w.form->StartButton->trigger(); // stopped
    const QPixmap stopped = w.form->TrayIcon->icon().pixmap(32, 32);
    const QString stoppedTip = w.form->TrayIcon->toolTip();
    QImage out(qMax(menuImage.width() + 60, 360), menuImage.height() + 120, QImage::Format_ARGB32);
    out.fill(QColor(0xee, 0xee, 0xee));
    QPainter p(&out);
    p.drawPixmap(12, 12, running);
    p.drawText(QRect(52, 12, out.width() - 60, 32), Qt::AlignVCenter, tip);
    p.drawPixmap(12, 52, stopped);
    p.drawText(QRect(52, 52, out.width() - 60, 32), Qt::AlignVCenter, QString(stoppedTip).replace(QLatin1Char('\n'), QStringLiteral(": ")));
    p.drawImage(52, 100, menuImage);
    p.end();
    out.save(QDir(ctx.outDir).filePath(QStringLiteral("mainform-tray.png")));
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
