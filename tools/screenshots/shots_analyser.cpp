// Shots of the program options dialog (each page) and the log analyser.
#include "shots.h"

#include "eventlog/eventlog.h"
#include "eventlog/loganalyserform.h"
#include "settings/programoptionform.h"
#include "settings/programoptions.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>

namespace {

void optionsShot(const Shots::Context &ctx, int page, const QString &name)
{
    ProgramOptions options;
    options.SmtpServer = QStringLiteral("mail.example.com");
    options.SmtpPort = QStringLiteral("25");
    options.MailFrom = QStringLiteral("sentrova@example.com");
    options.MailTo = QStringLiteral("admin@example.com");
    options.AutoStart = true;
    QSettings settings(QDir(ctx.dataDir).filePath(QStringLiteral("shots-options.ini")), QSettings::IniFormat);
    TProgramOptionForm form(options, &Shots::quietPrompt());
    form.setOptionsLocation({&settings, QDir(ctx.dataDir).filePath(QStringLiteral("shots-email.dat"))});
    form.show(); // opens on "Basic" with the values
    Shots::settle();
    form.PageControl->setCurrentIndex(page);
    Shots::save(ctx, &form, name);
}

const Shots::Register optionsBasic(QStringLiteral("analyser-options-basic"), [](const Shots::Context &ctx) {
    optionsShot(ctx, 0, QStringLiteral("analyser-options-basic"));
});
const Shots::Register optionsMail(QStringLiteral("analyser-options-mail"), [](const Shots::Context &ctx) {
    optionsShot(ctx, 1, QStringLiteral("analyser-options-mail"));
});
const Shots::Register optionsMessage(QStringLiteral("analyser-options-message"), [](const Shots::Context &ctx) {
    optionsShot(ctx, 2, QStringLiteral("analyser-options-message"));
});

// A dozen lines as a day of monitoring writes them, with one line written
// into data.log by hand.
void fillLog(EventLog &log)
{
    const char *lines[] = {
        "04.03.2005 08:00:02;;Sentrova Started;;Start;;Inner",
        "04.03.2005 08:00:03;;gw-01;;gw-01 Ping OK;;Ping",
        "04.03.2005 09:15:41;;mail.example.com;;mail.example.com TCP Connect Error;;TCP Connect",
        "04.03.2005 09:20:41;;mail.example.com;;mail.example.com Connect OK;;TCP Connect",
        "05.03.2005 11:02:17;;http://www.velmora.example/status/index.html;;Error 404: Not Found;;URL Request",
        "05.03.2005 11:07:17;;http://www.velmora.example/status/index.html;;OK;;URL Request",
        "05.03.2005 13:45:00;;/srv/backup;;Free space less then 80 Mb;;Disk Space",
        "checked by hand after the power cut",
        "05.03.2005 14:03:07;;/var/log/syslog;;Size more than 80 Mb;;File/Folder Size",
        "06.03.2005 02:30:12;;Provider=QPSQL;Data Source=db-primary;;Database Connect Error;;Database Connect",
        "06.03.2005 02:35:12;;Provider=QPSQL;Data Source=db-primary;;OK;;Database Connect",
        "06.03.2005 18:00:00;;Sentrova Stopped;;Stop;;Inner",
    };
    for (const char *line : lines)
        log.appendLine(QString::fromLatin1(line));
}

const Shots::Register analyser(QStringLiteral("analyser-log"), [](const Shots::Context &ctx) {
    EventLog log;
    fillLog(log);
    TLogAnalyserForm form(log, &Shots::quietPrompt(), nullptr);
    form.setDateLocale(QLocale(QStringLiteral("de_DE")));
    Shots::save(ctx, &form, QStringLiteral("analyser-log"));
});

const Shots::Register analyserFiltered(QStringLiteral("analyser-log-filtered"), [](const Shots::Context &ctx) {
    EventLog log;
    fillLog(log);
    TLogAnalyserForm form(log, &Shots::quietPrompt(), nullptr);
    form.setDateLocale(QLocale(QStringLiteral("de_DE")));
    form.show();
    Shots::settle();
    form.StartDateEdit->setText(QStringLiteral("04.03.2005"));
    form.EndDateEdit->setText(QStringLiteral("06.03.2005"));
    form.FilterCheckBox->click();
    form.LogListView->selectRow(1);
    Shots::save(ctx, &form, QStringLiteral("analyser-log-filtered"));
});

} // namespace
