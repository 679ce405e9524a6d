#pragma once

#include "core/engine.h"

#include <QHostAddress>
#include <QObject>

#include <memory>
#include <unordered_map>

// The TCP Connect test (kind 2): resolves the host, opens one TCP connection
// to the port's low 16 bits and closes it again without sending anything.
//
// Nothing here blocks the GUI thread. A dotted IPv4 address is taken
// directly, as is an IPv6 literal ("::1", "[::1]"); any other name is looked
// up in the background (QHostInfo) and its addresses, IPv4 and IPv6, are
// tried in the order the resolver gives them. Each connect runs on a
// non-blocking socket watched by the event loop. The whole test, lookup and
// every address together, is bounded: a port that does not answer fails when
// the wait runs out. The outcome reaches ReportOutcome on the GUI thread; on
// a pass the socket is closed after it returns, so the connection stays open
// while the alert actions run.
class TcpConnectProbe : public ObserverProbe
{
public:
    static constexpr int DefaultConnectTimeoutMs = 10000;

    explicit TcpConnectProbe(MonitorEngine *engine);
    ~TcpConnectProbe() override;
    TcpConnectProbe(const TcpConnectProbe &) = delete;
    TcpConnectProbe &operator=(const TcpConnectProbe &) = delete;

    void test(int position) override { TestTcpConnect(position); }
    void TestTcpConnect(int Index);
    void cancelAll() override;

    int connectTimeout() const { return m_connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    // Tests under way now.
    int attemptsInFlight() const { return int(m_attempts.size()); }

    // Blocking, for tools only: opens a connection to host:port (low 16
    // bits) within the time-out on the first IPv4 address of the host.
    // Returns the connected socket, or -1.
    static int connectTo(const QString &host, qint32 port, int timeoutMs);

    class Attempt;

private:
    friend class Attempt;
    void finish(Attempt *attempt, bool pass, const QString &cause, qint64 responseMs);

    MonitorEngine *m_engine;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    quint64 m_nextAttempt = 1;
    std::unordered_map<quint64, Attempt *> m_attempts;
};
