// metrics: the endpoint serving 1,000 objects while 8 client threads scrape
// it 2,000 times in all and other threads send garbage, huge requests and
// requests at one byte a second. The GUI thread (this program's main thread,
// which runs the engine and the server) is watched by a 5 ms timer; its
// longest lateness is the stall. Prints "scrapes-per-second N" and
// "max-stall-ms M".
#include "core/engine.h"
#include "core/records.h"
#include "metrics/metricsserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A server that stopped answering ends the client's wait, not the run.
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendAll(int fd, const std::string &s)
{
    size_t off = 0;
    while (off < s.size()) {
        const ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += size_t(n);
    }
}

std::string readAll(int fd)
{
    std::string out;
    out.reserve(1 << 19);
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return out;
        out.append(buf, size_t(n));
    }
}

// One scrape; true when it was answered 200 with a whole body.
bool scrapeOnce(quint16 port)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return false;
    sendAll(fd, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string r = readAll(fd);
    ::close(fd);
    // A whole body ends with the observer's line.
    static const std::string tail = "sentrova_observer_started 1\n";
    return r.rfind("HTTP/1.1 200 OK", 0) == 0 && r.size() > tail.size() &&
           r.compare(r.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int objects = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int scrapes = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int clients = argc > 3 ? std::atoi(argv[3]) : 8;
    // A fourth argument "quiet" leaves out the garbage, huge and slow requests.
    const bool trouble = !(argc > 4 && std::strcmp(argv[4], "quiet") == 0);

    MonitorEngine engine;
    for (int i = 0; i < objects; ++i) {
        ObserverRecord r = Records::newRecord(1 + i % 8);
        r.setTarget(QStringLiteral("host-%1.example.test").arg(i));
        r.IntervalMin = 0;
        r.IntervalSec = 0;
        engine.AppendObject(r, Records::rowCaption(r));
    }
    engine.StartButtonClick(true);
    // The objects keep changing: one outcome every 5 ms, as a busy project
    // would report them, so scrapes keep rendering fresh bodies.
    int next = 0;
    const auto report = [&] {
        Outcome o;
        o.pass = next % 3 != 0;
        o.failMarker = o.failStatus = QStringLiteral("Ping error");
        o.responseMs = next % 200;
        engine.ReportOutcome(next % objects, o);
        ++next;
    };
    for (int i = 0; i < objects; ++i)
        report();
    QTimer reports;
    QObject::connect(&reports, &QTimer::timeout, report);
    reports.start(5);

    MetricsServer server(&engine);
    QString error;
    if (!server.listen(MetricsAddress{QHostAddress(QHostAddress::LocalHost), 0}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const quint16 port = server.serverAddress().port;

    // The stall meter.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, maxStall = 0;
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick)
            maxStall = std::max(maxStall, now - lastTick - 5);
        lastTick = now;
    });
    meter.start(5);

    std::atomic<int> done{0}, failed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    QElapsedTimer wall;
    // Trouble makers, running for the whole time.
    for (int i = 0; i < (trouble ? 4 : 0); ++i)
        threads.emplace_back([&, port] { // one byte a second
            while (!stop) {
                const int fd = connectTo(port);
                const std::string req = "GET /metrics HTTP/1.1\r\n\r\n";
                for (size_t k = 0; k < req.size() && !stop; ++k) {
                    sendAll(fd, req.substr(k, 1));
                    for (int w = 0; w < 10 && !stop; ++w)
                        ::usleep(100000);
                }
                ::close(fd);
            }
        });
    if (trouble)
        threads.emplace_back([&, port] { // garbage and huge requests
        static const char bytes[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 nonsense\r\n\r\n";
        const std::string garbage(bytes, sizeof bytes - 1);  // NUL bytes included
        const std::string silent("\x16\x03\x01\x02", 4); // a few bytes, then nothing
        const std::string huge = "GET /metrics HTTP/1.1\r\nX-Fill: " + std::string(1 << 20, 'x');
        while (!stop) {
            for (const std::string *s : {&garbage, &huge, &silent}) {
                const int fd = connectTo(port);
                if (fd < 0)
                    continue;
                sendAll(fd, *s);
                readAll(fd);
                ::close(fd);
            }
            ::usleep(20000);
        }
    });
    // The rate is timed by the clients themselves: from the start of the
    // first scrape to the end of the last one.
    wall.start();
    std::atomic<qint64> lastEndMs{0};
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c, port] {
            const int mine = scrapes / clients + (c < scrapes % clients ? 1 : 0);
            for (int i = 0; i < mine; ++i) {
                if (!scrapeOnce(port))
                    ++failed;
                ++done;
            }
            const qint64 end = wall.elapsed();
            qint64 seen = lastEndMs.load();
            while (end > seen && !lastEndMs.compare_exchange_weak(seen, end)) {
            }
        });
    qint64 elapsedMs = 0;
    QTimer finish;
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (done.load() < scrapes)
            return;
        stop = true;
        app.quit();
    });
    finish.start(1);
    app.exec();
    // The trouble makers finish their requests; the loop keeps answering
    // them meanwhile.
    std::atomic<bool> joined{false};
    std::thread joiner([&] {
        for (auto &t : threads)
            t.join();
        joined = true;
    });
    while (!joined)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // the 5 ms meter wakes it
    joiner.join();
    elapsedMs = lastEndMs.load();

    std::printf("objects %d, scrapes %d from %d clients, %d failed, body %lld bytes\n", objects, scrapes, clients,
                failed.load(), static_cast<long long>(server.body().size()));
    std::printf("scrapes-per-second %.0f\n", scrapes * 1000.0 / std::max<qint64>(elapsedMs, 1));
    std::printf("max-stall-ms %lld\n", static_cast<long long>(maxStall));
    return failed.load() ? 1 : 0;
}
