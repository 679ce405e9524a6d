#pragma once

#include "core/engine.h"
#include "icmp.h"

#include <QObject>
#include <QString>

#include <functional>

class QHostInfo;

// The ping component: an asynchronous name lookup in front of TICMP.
//
// BeginLookup resolves the host: a dotted IPv4 address at once (OnDnsLookupDone
// is raised before BeginLookup returns), a name in the background, ending in
// OnDnsLookupDone on the event loop. One lookup is pending at most; a new one
// cancels the old one, whose answer is then never delivered. SendPing sends one
// echo request and blocks up to Timeout milliseconds.
class TPing : public QObject
{
    Q_OBJECT
public:
    using TDnsLookupDone = std::function<void(QObject *Sender, quint16 Error)>;
    using TPingReply = std::function<void(QObject *Sender, TICMP *Icmp, int Received)>;
    using TPingRequest = std::function<void(QObject *Sender, TICMP *Icmp)>;
    using TPingDisplay = std::function<void(QObject *Sender, TICMP *Icmp, const QString &Msg)>;

    // Error codes of OnDnsLookupDone (0 is success), as the socket library
    // numbers them.
    static constexpr quint16 HostNotFound = 11001;
    static constexpr quint16 TryAgain = 11002;
    static constexpr quint16 NoData = 11004; // the name has no address to ping

    explicit TPing(QObject *parent = nullptr, TICMP::SocketKind kind = TICMP::skAuto);
    ~TPing() override;

    QString Address() const { return m_icmp.Address(); }
    void setAddress(const QString &address) { m_icmp.setAddress(address); }
    int Size() const { return m_icmp.Size(); }
    void setSize(int size) { m_icmp.setSize(size); }
    int Timeout() const { return m_icmp.Timeout(); }
    void setTimeout(int ms) { m_icmp.setTimeout(ms); }
    int TTL() const { return m_icmp.TTL(); }
    void setTTL(int ttl) { m_icmp.setTTL(ttl); }
    int Flags() const { return m_icmp.Flags(); }
    void setFlags(int flags) { m_icmp.setFlags(flags); }

    // Starts resolving the host text; cancels a pending lookup first.
    virtual void BeginLookup(const QString &HostName);
    // Cancels the pending lookup, if any: its answer is never delivered.
    void CancelLookup();
    bool isLookupPending() const { return m_pending != nullptr; }
    // Sends one echo request to Address; returns the number of replies.
    int SendPing();
    // The dotted address found by the last lookup; empty after a failure.
    QString LookupResult() const { return m_lookupResult; }

    TICMP *icmp() { return &m_icmp; }
    const TICMP *icmp() const { return &m_icmp; }

    TDnsLookupDone OnDnsLookupDone;
    TPingReply OnEchoReply;
    TPingRequest OnEchoRequest;
    TPingDisplay OnDisplay;

private:
    void lookupDone(QObject *context, const QHostInfo &info);
    void failLater(QObject *context, quint16 error);
    void raiseDnsLookupDone(quint16 error);

    TICMP m_icmp;
    QObject *m_pending = nullptr; // context object of the pending lookup
    QString m_lookupResult;
    quint16 m_pendingError = 0;
};

// The Ping test (kind 1): one ping component `Ping1` serves every ping object.
//
// The outcome arrives when the echo is done: for a dotted address inside
// test(), for a name later, after the lookup. The object being pinged is
// remembered by its identity as well as by PingIndex, so an outcome always goes
// to the object that was pinged, wherever a removal moved it, and is dropped
// when that object is gone.
class PingProbe : public ObserverProbe
{
public:
    explicit PingProbe(MonitorEngine *engine, TICMP::SocketKind kind = TICMP::skAuto);
    ~PingProbe() override;
    PingProbe(const PingProbe &) = delete;
    PingProbe &operator=(const PingProbe &) = delete;

    void test(int position) override { TestPing(position); }
    // Abandons the lookup in flight, if any: its object reports nothing.
    void cancelAll() override;

    void TestPing(int Index);
    void Ping1DnsLookupDone(QObject *Sender, quint16 Error);
    void Ping1EchoReply(QObject *Sender, TICMP *Icmp, int Received);

    // False when the system allows no ICMP socket; every ping then reports
    // "Ping error". pingUnavailableMessage() tells the user how to allow ping.
    bool pingAvailable() const { return Ping1.icmp()->isOpen(); }
    static QString pingUnavailableMessage() { return TICMP::unavailableMessage(); }

    TPing Ping1;
    // Position of the object whose ping is under way, as set by TestPing.
    int PingIndex = 0;

private:
    // Position of the object being pinged now, or -1 when it is gone; ends
    // the ping in flight.
    int takePingTarget();
    void report(int position, bool pass, const QString &failText, const QString &cause, qint64 responseMs);

    MonitorEngine *m_engine;
    quint64 m_pingObject = 0; // identity of the object being pinged; 0 when none
    QString m_pingHost;
};
