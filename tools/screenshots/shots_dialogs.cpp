// Shots of the pickers, the viewers and the object dialogs.
#include "shots.h"

#include "widgets/aboutform.h"
#include "widgets/helpform.h"
#include "widgets/logo.h"
#include "widgets/selectdateform.h"
#include "widgets/selectportform.h"

#include "ui/connectionstringeditor.h"
#include "ui/newfileform.h"
#include "ui/objectparamsform.h"

#include "core/paths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

namespace
{

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
    form.setPrompt(&Shots::quietPrompt());
    form.PortListView->selectRow(14);
    form.PortListView->scrollToItem(form.PortListView->item(14, 0), QAbstractItemView::PositionAtCenter);
    Shots::save(ctx, &form, QStringLiteral("dialogs-select-port"));
});

const Shots::Register datePicker(QStringLiteral("dialogs-select-date"), [](const Shots::Context &ctx) {
    TSelectDateForm form;
    form.setProgramDir(resourceDir(ctx));
    form.setPrompt(&Shots::quietPrompt());
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

// The wizard on each tab, with one icon selected and its help shown.
void wizardShot(const Shots::Context &ctx, int tab, int item, const QString &name)
{
    TNewFileForm form;
    form.show();
    form.PageControl1->setCurrentIndex(tab);
    auto *list = qobject_cast<QListWidget *>(form.PageControl1->widget(tab));
    list->setCurrentRow(item);
    Shots::save(ctx, &form, name);
}

const Shots::Register wizardInternet(QStringLiteral("dialogs-newobject-internet"), [](const Shots::Context &ctx) {
    wizardShot(ctx, 0, 0, QStringLiteral("dialogs-newobject-internet"));
});
const Shots::Register wizardDisk(QStringLiteral("dialogs-newobject-diskfiles"), [](const Shots::Context &ctx) {
    wizardShot(ctx, 1, 1, QStringLiteral("dialogs-newobject-diskfiles"));
});
const Shots::Register wizardDatabases(QStringLiteral("dialogs-newobject-databases"), [](const Shots::Context &ctx) {
    wizardShot(ctx, 2, 0, QStringLiteral("dialogs-newobject-databases"));
});

// The parameters dialog with each kind's panel, filled as a user would.
void paramsShot(const Shots::Context &ctx, qint32 kind, const QString &caption,
                const std::function<void(TObjectParamsForm &)> &fill, const QString &name)
{
    TObjectParamsForm form(Shots::quietPrompt());
    form.showPanel(kind);
    form.setWindowTitle(caption);
    fill(form);
    form.CommentEdit->setText(QStringLiteral("Checked by the night shift"));
    Shots::save(ctx, &form, name);
}

// The parameters dialog of an object tested only on demand (0:0, with the
// warning), attached to an alert profile and a schedule, and disabled.
const Shots::Register paramsWarning(QStringLiteral("dialogs-params-zero-interval"), [](const Shots::Context &ctx) {
    TObjectParamsForm form(Shots::quietPrompt());
    form.showPanel(okFilePresent);
    form.setWindowTitle(TObjectParamsForm::editCaption(okFilePresent));
    form.PresentTargetEdit->setText(QStringLiteral("/srv/backup/last-night.tar"));
    form.IntervalMinEdit->setValue(0);
    form.IntervalSecEdit->setValue(0);
    form.setAttachedNames(QStringLiteral("Mail the admins"), QStringLiteral("Office hours"));
    form.setEnabledFlag(false);
    form.CommentEdit->setText(QStringLiteral("Checked by the night shift"));
    Shots::save(ctx, &form, QStringLiteral("dialogs-params-zero-interval"));
});

const Shots::Register params1(QStringLiteral("dialogs-params-1-ping"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okPing, QStringLiteral("Ping Options"),
        [](TObjectParamsForm &f) { f.PingHostEdit->setText(QStringLiteral("gateway.example.com")); },
        QStringLiteral("dialogs-params-1-ping"));
});
const Shots::Register params2(QStringLiteral("dialogs-params-2-tcp"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okTcpConnect, QStringLiteral("TCP Connect Options"),
        [](TObjectParamsForm &f) {
            f.TcpHostEdit->setText(QStringLiteral("mail.example.com"));
            f.PortEdit->setValue(25);
        },
        QStringLiteral("dialogs-params-2-tcp"));
});
const Shots::Register params3(QStringLiteral("dialogs-params-3-url"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okUrl, QStringLiteral("URL request Options"),
        [](TObjectParamsForm &f) {
            f.UrlEdit->setText(QStringLiteral("http://www.example.com/index.html"));
            f.ProxyServerEdit->setText(QStringLiteral("proxy.example.com"));
            f.ProxyPortEdit->setValue(3128);
        },
        QStringLiteral("dialogs-params-3-url"));
});
const Shots::Register params4(QStringLiteral("dialogs-params-4-disk"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okDiskSpace, QStringLiteral("Drive space Options"),
        [](TObjectParamsForm &f) {
            f.DiskEdit->setText(QStringLiteral("/"));
            f.refreshDrives();
            f.MinFreeEdit->setText(QStringLiteral("512"));
        },
        QStringLiteral("dialogs-params-4-disk"));
});
const Shots::Register params5(QStringLiteral("dialogs-params-5-size"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okFolderSize, QStringLiteral("Folder/File   size Options"),
        [](TObjectParamsForm &f) {
            f.SizeTargetEdit->setText(QStringLiteral("/var/log"));
            f.MaxSizeEdit->setText(QStringLiteral("2048"));
            f.SubFoldersCheckBox->setChecked(true);
        },
        QStringLiteral("dialogs-params-5-size"));
});
const Shots::Register params6(QStringLiteral("dialogs-params-6-present"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okFilePresent, QStringLiteral("Folder/File present Options"),
        [](TObjectParamsForm &f) {
            f.PresentTargetEdit->setText(QStringLiteral("/var/run/backup.lock"));
            f.ExistRadioButton->setChecked(true);
        },
        QStringLiteral("dialogs-params-6-present"));
});
const Shots::Register params7(QStringLiteral("dialogs-params-7-compare"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okCompareFiles, QStringLiteral("Compare files Options"),
        [](TObjectParamsForm &f) {
            f.FirstFileEdit->setText(QStringLiteral("/srv/www/index.html"));
            f.SecondFileEdit->setText(QStringLiteral("/srv/backup/index.html"));
            f.AlertWhenComboBox->setCurrentIndex(0);
        },
        QStringLiteral("dialogs-params-7-compare"));
});
const Shots::Register params8(QStringLiteral("dialogs-params-8-database"), [](const Shots::Context &ctx) {
    paramsShot(
        ctx, okDatabase, QStringLiteral("Check database Options"),
        [](TObjectParamsForm &f) {
            f.ConnectionEdit->setText(
                QStringLiteral("Provider=PostgreSQL;Data Source=db.example.com;Initial Catalog=shop;User ID=watch"));
        },
        QStringLiteral("dialogs-params-8-database"));
});

// The connection-string editor for a server and for an ODBC driver.
void connectionShot(const Shots::Context &ctx, const QString &text, const QString &name)
{
    ConnectionStringEditor editor;
    editor.setConnectionString(text);
    Shots::save(ctx, &editor, name);
}

const Shots::Register connectionServer(QStringLiteral("dialogs-connection-postgresql"), [](const Shots::Context &ctx) {
    connectionShot(ctx,
                   QStringLiteral("Provider=PostgreSQL;Data Source=db.example.com;Port=5432;Initial Catalog=shop;"
                                  "User ID=watch;Password=secret;Connect Timeout=5"),
                   QStringLiteral("dialogs-connection-postgresql"));
});
const Shots::Register connectionOdbc(QStringLiteral("dialogs-connection-odbc"), [](const Shots::Context &ctx) {
    connectionShot(ctx, QStringLiteral("Driver=SQLite3;Database=/srv/data/shop.db"),
                   QStringLiteral("dialogs-connection-odbc"));
});
const Shots::Register connectionSqlite(QStringLiteral("dialogs-connection-sqlite"), [](const Shots::Context &ctx) {
    connectionShot(ctx, QStringLiteral("Provider=SQLite;Data Source=/srv/data/shop.db"),
                   QStringLiteral("dialogs-connection-sqlite"));
});

} // namespace
