// Writes the seed corpus of every harness into the folder named on the
// command line, one sub-folder per harness. The store seeds are written by
// the project's own savers, so they are exactly the files the program
// writes; the HTTP and SMTP seeds are answers as servers give them.
#include "alerts/alertprofile.h"
#include "core/projectfile.h"
#include "core/records.h"
#include "eventlog/eventlog.h"
#include "schedules/schedulestore.h"
#include "settings/programoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdio>

namespace {

QString g_root;
int g_failures = 0;

QString seedPath(const QString &harness, const QString &name)
{
    QDir().mkpath(QDir(g_root).filePath(harness));
    return QDir(QDir(g_root).filePath(harness)).filePath(name);
}

void put(const QString &harness, const QString &name, const QByteArray &bytes)
{
    QFile f(seedPath(harness, name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write seed %s/%s\n", qPrintable(harness), qPrintable(name));
        ++g_failures;
    }
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "saver failed: %s\n", what);
        ++g_failures;
    }
}

const QStringList kTexts{
    QStringLiteral("host.example"),
    QStringLiteral("Gr\u00fc\u00dfe \u20ac"),
    QStringLiteral("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b"),
    QStringLiteral("\u76e3\u8996 \U0001F600"),
};

void projectSeeds()
{
    std::vector<ObserverRecord> records;
    for (qint32 kind = okPing; kind <= okDatabase; ++kind) {
        ObserverRecord r = Records::newRecord(kind);
        r.setTarget(kTexts.at(kind % kTexts.size()));
        r.Comment = kTexts.at((kind + 1) % kTexts.size());
        r.AlertProfileName = QStringLiteral("Profile");
        r.ScheduleName = QStringLiteral("Night");
        r.LastResult = QStringLiteral("OK");
        r.IntervalMin = kind;
        r.IntervalSec = 30;
        records.push_back(r);
    }
    ObserverRecord unknown;
    unknown.Kind = 12;
    records.push_back(unknown);
    std::vector<const ObserverRecord *> all;
    for (const ObserverRecord &r : records)
        all.push_back(&r);
    put("snv", "every-kind.snv", ProjectFormat::encode(all));
    put("snv", "empty.snv", ProjectFormat::encode({}));
    put("snv", "one-ping.snv", ProjectFormat::encode({all.front()}));
}

void profileSeeds()
{
    AlertProfileList list(seedPath("profile", "two.dat"));
    list.addProfile(QStringLiteral("Server down"));
    list.addProfile(kTexts.at(2));
    for (int a = 0; a < AlertActionCount; ++a)
        list.setAction(0, a % 2 == 0, a, true);
    list.setParameter(0, false, aaSendEMail, QStringLiteral("ops@example.com"));
    list.setParameter(1, true, aaPlaySound, QStringLiteral("/usr/share/sounds/") + kTexts.at(3));
    check(list.save(), "profile.dat");
    AlertProfileList empty(seedPath("profile", "empty.dat"));
    check(empty.save(), "empty profile.dat");
}

void scheduleSeeds()
{
    ScheduleList list;
    list.New(QStringLiteral("Night"));
    list.New(kTexts.at(1));
    list.New(kTexts.at(3));
    list.CheckSelected(0, {1, 1}, {5, 31});
    list.InvertSelected(1, {6, 1}, {7, 15});
    check(list.SaveSchedules(seedPath("schedule", "three.dat")), "Schedule.dat");
    ScheduleList empty;
    check(empty.SaveSchedules(seedPath("schedule", "empty.dat")), "empty Schedule.dat");
}

void logSeeds()
{
    EventLog log;
    log.appendLine(QStringLiteral("05.03.2005 14:03:07;;Sentrova Started;;Start;;Inner"));
    for (const QString &t : kTexts)
        log.appendLine(QStringLiteral("05.03.2005 14:03:08;;%1;;%1 Ping Error;;Ping").arg(t));
    log.appendLine(QStringLiteral("05.03.2005 14:05:10;;a;;b;;c;;d;;e"));
    log.appendLine(QString());
    log.appendLine(QStringLiteral("05.03.2005 14:05:10;;Sentrova Stopped;;Stop;;Inner"));
    check(log.SaveEventLog(seedPath("datalog", "data.log")), "data.log");
}

void templateSeeds()
{
    QSettings settings(QDir(g_root).filePath("options.ini"), QSettings::IniFormat);
    ProgramOptions o;
    check(SaveProgramOptions(o, OptionsLocation{&settings, seedPath("email", "default.dat")}), "email.dat");
    o.MessageTemplate << kTexts;
    check(SaveProgramOptions(o, OptionsLocation{&settings, seedPath("email", "texts.dat")}), "email.dat texts");
    QFile::remove(QDir(g_root).filePath("options.ini"));
}

void httpSeeds()
{
    put("http", "ok.txt", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello");
    put("http", "keep-alive.txt",
        "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nSet-Cookie: a=b; Path=/\r\nContent-Length: 2\r\n\r\nok");
    put("http", "chunked.txt",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\nX-Trailer: 1\r\n\r\n");
    put("http", "redirect.txt", "HTTP/1.0 302 Found\r\nLocation: http://fuzz.invalid/next\r\nContent-Length: 0\r\n\r\n");
    put("http", "interim.txt", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n");
    put("http", "not-found.txt", "HTTP/1.0 404 Not Found\r\n\r\nmissing");
    put("http", "folded.txt", "HTTP/1.0 200 OK\r\nX-Long: a\r\n  b\r\n\r\n");
}

void smtpSeeds()
{
    put("smtp", "accepted.txt",
        "220 mail.example ESMTP\r\n250-mail.example\r\n250 8BITMIME\r\n250 2.1.0 Ok\r\n250 2.1.5 Ok\r\n"
        "354 End data with <CR><LF>.<CR><LF>\r\n250 2.0.0 Ok: queued\r\n221 2.0.0 Bye\r\n");
    put("smtp", "refused.txt", "554 5.7.1 No thanks\r\n");
    put("smtp", "bad-recipient.txt", "220 ok\r\n250 ok\r\n250 ok\r\n550 5.1.1 No such user\r\n221 bye\r\n");
    put("smtp", "garbage.txt", "hello there\r\n");
    put("smtp", "multiline.txt", "220-first\r\n220-second\r\n220 last\r\n250 ok\r\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    projectSeeds();
    profileSeeds();
    scheduleSeeds();
    logSeeds();
    templateSeeds();
    httpSeeds();
    smtpSeeds();
    return g_failures == 0 ? 0 : 1;
}
