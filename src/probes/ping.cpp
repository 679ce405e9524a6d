#include "ping.h"

#include "ipv4lookup.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

// ---- TPing -------------------------------------------------------------------

TPing::TPing(QObject *parent, TICMP::SocketKind kind) : QObject(parent), m_icmp(kind)
{
    m_icmp.OnDisplay = [this](TICMP *icmp, const QString &text) {
        if (OnDisplay)
            OnDisplay(this, icmp, text);
    };
    m_icmp.OnEchoRequest = [this](TICMP *icmp) {
        if (OnEchoRequest)
            OnEchoRequest(this, icmp);
    };
    m_icmp.OnEchoReply = [this](TICMP *icmp, int received) {
        if (OnEchoReply)
            OnEchoReply(this, icmp, received);
    };
}

TPing::~TPing() { CancelLookup(); }

void TPing::CancelLookup()
{
    // Deleting the context object disconnects the lookup's answer; aborting
    // the lookup alone would still deliver answers that Qt has cached.
    delete m_pending;
    m_pending = nullptr;
}

void TPing::raiseDnsLookupDone(quint16 error)
{
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, error);
}

void TPing::BeginLookup(const QString &HostName)
{
    CancelLookup();
    m_lookupResult.clear();

    quint32 address = 0;
    if (Ipv4Lookup::parseDotted(HostName, &address)) {
        m_lookupResult = Ipv4Lookup::dottedText(address);
        raiseDnsLookupDone(0);
        return;
    }

    auto *context = new QObject(this);
    m_pending = context;
    const QString name = HostName.trimmed();

    // Other address literals are not looked up (a lookup would turn them into
    // a reverse query): an IPv4 literal in a short form and an IPv6 literal
    // are taken directly, answered from the event loop as for any name.
    QHostAddress literal;
    if (literal.setAddress(name)) {
        bool isV4 = false;
        const quint32 v4 = literal.toIPv4Address(&isV4);
        QString text;
        if (isV4 && literal.protocol() == QAbstractSocket::IPv4Protocol)
            text = QHostAddress(v4).toString();
        else if (literal.protocol() == QAbstractSocket::IPv6Protocol && literal.scopeId().isEmpty())
            text = literal.toString();
        if (text.isEmpty()) {
            failLater(context, NoData);
            return;
        }
        QTimer::singleShot(0, context, [this, context, text] {
            if (context != m_pending)
                return;
            m_pending = nullptr;
            context->deleteLater();
            m_lookupResult = text;
            raiseDnsLookupDone(0);
        });
        return;
    }
    // The reserved ".invalid" domain never resolves: no name server is asked.
    if (Ipv4Lookup::isReservedInvalid(name)) {
        failLater(context, HostNotFound);
        return;
    }
    QHostInfo::lookupHost(name, context, [this, context](const QHostInfo &info) { lookupDone(context, info); });
}

void TPing::failLater(QObject *context, quint16 error)
{
    // The answer still comes from the event loop, as for any name.
    QTimer::singleShot(0, context, [this, context, error] {
        if (context != m_pending)
            return;
        m_pending = nullptr;
        context->deleteLater();
        raiseDnsLookupDone(error);
    });
}

void TPing::lookupDone(QObject *context, const QHostInfo &info)
{
    if (context != m_pending)
        return; // an answer to a lookup that was cancelled
    m_pending = nullptr;
    context->deleteLater();

    quint16 error = 0;
    if (info.error() != QHostInfo::NoError) {
        error = info.error() == QHostInfo::HostNotFound ? HostNotFound : TryAgain;
    } else {
        // The first IPv4 address, as always; a name with only IPv6
        // addresses is pinged over ICMPv6 at its first one.
        error = NoData;
        for (const QHostAddress &a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                m_lookupResult = a.toString();
                error = 0;
                break;
            }
        }
        for (const QHostAddress &a : info.addresses()) {
            if (error != 0 && a.protocol() == QAbstractSocket::IPv6Protocol && a.scopeId().isEmpty()) {
                m_lookupResult = a.toString();
                error = 0;
            }
        }
    }
    raiseDnsLookupDone(error);
}

int TPing::SendPing() { return m_icmp.Ping(); }

// ---- PingProbe ---------------------------------------------------------------

PingProbe::PingProbe(MonitorEngine *engine, TICMP::SocketKind kind) : Ping1(nullptr, kind), m_engine(engine)
{
    Ping1.setObjectName(QStringLiteral("Ping1"));
    Ping1.setSize(56);
    Ping1.setTimeout(1000);
    Ping1.setTTL(64);
    Ping1.setFlags(0);
    Ping1.OnDnsLookupDone = [this](QObject *sender, quint16 error) { Ping1DnsLookupDone(sender, error); };
    Ping1.OnEchoReply = [this](QObject *sender, TICMP *icmp, int received) { Ping1EchoReply(sender, icmp, received); };
}

PingProbe::~PingProbe()
{
    // No outcome is reported for a lookup still pending at the end.
    Ping1.OnDnsLookupDone = nullptr;
    Ping1.OnEchoReply = nullptr;
    Ping1.CancelLookup();
}

void PingProbe::TestPing(int Index)
{
    const ObserverObject *o = m_engine->object(Index);
    const PingParams *p = o ? o->record.params<PingParams>() : nullptr;
    if (!p)
        return;
    PingIndex = Index;
    m_pingObject = o->id;
    m_pingHost = p->Target;
    Ping1.setSize(p->PacketSize);
    Ping1.setTimeout(p->Timeout);
    Ping1.setTTL(p->TTL);
    Ping1.BeginLookup(p->Target);
}

int PingProbe::takePingTarget()
{
    const quint64 id = m_pingObject;
    m_pingObject = 0;
    if (id == 0)
        return -1;
    const int position = m_engine->positionOf(id);
    if (position < 0)
        return -1;
    const ObserverObject *o = m_engine->object(position);
    if (!o || o->record.Kind != okPing)
        return -1;
    PingIndex = position;
    return position;
}

void PingProbe::cancelAll()
{
    // The echo itself never outlives a call; only a lookup can be pending.
    m_pingObject = 0;
    Ping1.CancelLookup();
}

void PingProbe::report(int position, bool pass, const QString &failText, const QString &cause, qint64 responseMs)
{
    Outcome outcome;
    outcome.cause = cause;
    outcome.responseMs = responseMs;
    outcome.pass = pass;
    outcome.failMarker = failText;
    outcome.failStatus = failText;
    outcome.hostField = m_pingHost;
    outcome.methodName = QStringLiteral("Ping");
    const QString suffix = pass ? QStringLiteral(" Ping OK") : QLatin1Char(' ') + failText;
    outcome.statusField = m_pingHost + suffix;
    outcome.alertSuffix = suffix;
    // ReportOutcome may show an alert box during which other pings start;
    // nothing of this ping is read after it.
    m_engine->ReportOutcome(position, outcome);
}

void PingProbe::Ping1DnsLookupDone(QObject *, quint16 Error)
{
    if (Error != 0) {
        const int position = takePingTarget();
        if (position >= 0) {
            const QString cause = Error == TPing::HostNotFound ? QStringLiteral("name not found")
                                  : Error == TPing::NoData     ? QStringLiteral("the name has no address")
                                                        : QStringLiteral("name server did not answer");
            report(position, false, QStringLiteral("DNS Lookup error"), cause, -1);
        }
        return;
    }
    // Nothing to ping for an object that was removed while its name was
    // being resolved.
    if (m_pingObject == 0 || m_engine->positionOf(m_pingObject) < 0) {
        m_pingObject = 0;
        return;
    }
    Ping1.setAddress(Ping1.LookupResult());
    Ping1.SendPing();
}

void PingProbe::Ping1EchoReply(QObject *, TICMP *Icmp, int Received)
{
    const int position = takePingTarget();
    if (position < 0)
        return;
    QString cause;
    qint64 responseMs = -1;
    if (Received != 0) {
        responseMs = Icmp->Reply().RoundTripTime;
        cause = QStringLiteral("answered in %1 ms").arg(responseMs);
    } else if (Icmp->LastError() == TICMP::IpReqTimedOut) {
        cause = QStringLiteral("no answer within %1 ms").arg(Icmp->Timeout());
    } else if (Icmp->Size() < 0 || Icmp->Size() > TICMP::MaxSize) {
        cause = QStringLiteral("packet size out of range");
    } else if (Icmp->isIPv6() ? Icmp->sentKind() == TICMP::skAuto : !Icmp->isOpen()) {
        cause = QStringLiteral("ping is not allowed on this system");
    } else {
        cause = QStringLiteral("the echo request could not be sent");
    }
    report(position, Received != 0, QStringLiteral("Ping error"), cause, responseMs);
}
