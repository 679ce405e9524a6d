// Prepares the fleet benchmark of bench/cases/fleet.sh:
//   fleetbench DIR LIVE_PORT SWALLOW_PORT NGINX_URL DRIP_URL
// Writes, under DIR, project.snv with, in this order: 200 TCP objects on the
// live port and 200 on the swallowing port of 127.0.0.1, 50 URL objects on
// nginx and 50 on the dripping server, 100 ping objects on 127.0.0.1 to
// 127.0.0.100 and 100 File/Folder Present objects; the options, with "Auto
// Start" on, in config/Velmora/Sentrova.conf; and an empty data folder.
// Every object is tested every 30 s, so the figures are those of the first
// outcomes. Prints the rows of the objects on live peers as "live FIRST LAST"
// lines, one per block.
#include "core/projectfile.h"
#include "settings/programoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6) {
        std::fprintf(stderr, "usage: fleetbench DIR LIVE_PORT SWALLOW_PORT NGINX_URL DRIP_URL\n");
        return 2;
    }
    const QDir dir(args[1]);
    const int livePort = args[2].toInt();
    const int swallowPort = args[3].toInt();
    for (const char *d : {"config/Velmora", "data", "targets"})
        dir.mkpath(QString::fromLatin1(d));

    std::vector<ObserverRecord> records;
    auto add = [&](ObserverRecord r) {
        r.IntervalMin = 0;
        r.IntervalSec = 30;
        records.push_back(std::move(r));
    };
    for (int port : {livePort, swallowPort})
        for (int i = 0; i < 200; ++i) {
            ObserverRecord r = Records::newRecord(okTcpConnect);
            r.params<TcpConnectParams>()->Target = QStringLiteral("127.0.0.1");
            r.params<TcpConnectParams>()->Port = port;
            add(r);
        }
    for (const QString &url : {args[4], args[5]})
        for (int i = 0; i < 50; ++i) {
            ObserverRecord r = Records::newRecord(okUrl);
            r.setTarget(url);
            add(r);
        }
    for (int i = 1; i <= 100; ++i) {
        ObserverRecord r = Records::newRecord(okPing);
        r.setTarget(QStringLiteral("127.0.0.%1").arg(i));
        add(r);
    }
    for (int i = 0; i < 100; ++i) {
        const QString file = dir.filePath(QStringLiteral("targets/f%1").arg(i));
        if (i % 2 == 0) {
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly))
                return 1;
        }
        ObserverRecord r = Records::newRecord(okFilePresent);
        r.setTarget(file);
        add(r);
    }
    std::vector<const ObserverRecord *> ptrs;
    for (const ObserverRecord &r : records)
        ptrs.push_back(&r);
    QFile project(dir.filePath(QStringLiteral("project.snv")));
    const QByteArray bytes = ProjectFormat::encode(ptrs);
    if (!project.open(QIODevice::WriteOnly) || project.write(bytes) != bytes.size())
        return 1;
    project.close();

    QSettings settings(dir.filePath(QStringLiteral("config/Velmora/Sentrova.conf")), QSettings::IniFormat);
    ProgramOptions options;
    options.AutoStart = true;
    OptionsLocation where;
    where.settings = &settings;
    where.templateFile = dir.filePath(QStringLiteral("data/email.dat"));
    QString error;
    if (!SaveProgramOptions(options, where, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // Live peers: the live TCP port, nginx, ping and the files.
    std::printf("live 0 199\nlive 400 449\nlive 500 699\n");
    return 0;
}
