#pragma once

#include "core/engine.h"

// The TCP Connect test (kind 2): resolves the host to one IPv4 address, opens
// one TCP connection to the port's low 16 bits and closes it again without
// sending anything. The connect is bounded: a port that does not answer fails
// when the wait runs out.
class TcpConnectProbe : public ObserverProbe
{
public:
    static constexpr int DefaultConnectTimeoutMs = 10000;

    explicit TcpConnectProbe(MonitorEngine *engine);

    void test(int position) override { TestTcpConnect(position); }
    void TestTcpConnect(int Index);

    int connectTimeout() const { return m_connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }

    // Opens a connection to host:port (low 16 bits) within the time-out.
    // Returns the connected socket, or -1: no address (empty text, a name that
    // does not resolve), port 0, refused, unreachable, timed out.
    static int connectTo(const QString &host, qint32 port, int timeoutMs);

private:
    MonitorEngine *m_engine;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
};
