// Times the network probes' own work inside the process, for bench/cases/net-probes.sh:
//
//   netprobes url URL [N]        one GET of the URL over a new connection each time
//   netprobes tcp HOST PORT [N]  one connect and close
//   netprobes ping HOST [N]      one echo round trip
//
// Each run prints its N samples in milliseconds ("sample X") and their median
// ("median X") as the last line. One untimed warm-up comes first.

#include "probes/httpclient.h"
#include "probes/icmp.h"
#include "probes/tcpprobe.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace
{

int usage()
{
    std::fprintf(stderr, "usage: netprobes url URL [N] | tcp HOST PORT [N] | ping HOST [N]\n");
    return 2;
}

// Runs the step once untimed, then n times timed; false when a step failed.
bool measure(int n, const std::function<bool()> &step)
{
    if (!step()) {
        std::fprintf(stderr, "netprobes: the warm-up failed\n");
        return false;
    }
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < n; ++i) {
        t.start();
        const bool ok = step();
        const qint64 ns = t.nsecsElapsed();
        if (!ok) {
            std::fprintf(stderr, "netprobes: run %d failed\n", i + 1);
            return false;
        }
        ms.push_back(double(ns) / 1e6);
        std::printf("sample %.4f\n", ms.back());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("median %.4f\n", median);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args[0];

    if (mode == QLatin1String("url") && args.size() >= 2) {
        const int n = args.value(2, QStringLiteral("20")).toInt();
        HttpClient client;
        const QString url = args[1];
        // A new connection every time, like a separate curl run.
        return measure(n,
                       [&] {
                           client.closeConnection();
                           return client.get(url).ok;
                       })
                   ? 0
                   : 1;
    }
    if (mode == QLatin1String("tcp") && args.size() >= 3) {
        const int n = args.value(3, QStringLiteral("20")).toInt();
        const QString host = args[1];
        const qint32 port = args[2].toInt();
        return measure(n,
                       [&] {
                           const int fd =
                               TcpConnectProbe::connectTo(host, port, TcpConnectProbe::DefaultConnectTimeoutMs);
                           if (fd < 0)
                               return false;
                           ::close(fd);
                           return true;
                       })
                   ? 0
                   : 1;
    }
    if (mode == QLatin1String("ping") && args.size() >= 2) {
        const int n = args.value(2, QStringLiteral("20")).toInt();
        TICMP icmp;
        if (!icmp.isOpen()) {
            std::fprintf(stderr, "netprobes: no ICMP socket: %s\n", qPrintable(icmp.openError()));
            return 1;
        }
        icmp.setAddress(args[1]);
        icmp.setTimeout(1000);
        return measure(n, [&] { return icmp.Ping() == 1; }) ? 0 : 1;
    }
    return usage();
}
