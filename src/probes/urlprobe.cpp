#include "urlprobe.h"

UrlProbe::UrlProbe(MonitorEngine &engine, HttpClient *client)
    : m_engine(engine), m_ownClient(client ? nullptr : std::make_unique<HttpClient>()),
      m_client(client ? client : m_ownClient.get())
{
}

UrlProbe::~UrlProbe()
{
    cancelAll();
}

Outcome UrlProbe::outcomeFor(const QString &url, bool pass)
{
    Outcome o;
    o.pass = pass;
    o.failMarker = QStringLiteral("URL Request Error");
    o.failStatus = QStringLiteral("Error");
    o.hostField = url;
    o.statusField = url + (pass ? QStringLiteral(" OK") : QStringLiteral(" URL Request Error"));
    o.methodName = QStringLiteral("URL Request");
    o.alertSuffix = pass ? QStringLiteral(" URL Request OK") : QStringLiteral(" URL Request Error");
    return o;
}

Outcome UrlProbe::outcomeFor(const QString &url, const HttpClient::Result &result)
{
    Outcome o = outcomeFor(url, result.ok);
    o.cause = result.cause;
    o.responseMs = result.responseMs;
    return o;
}

void UrlProbe::TestUrl(int position)
{
    const ObserverObject *object = m_engine.object(position);
    if (!object)
        return;
    const UrlParams *params = object->record.params<UrlParams>();
    if (!params)
        return;
    const quint64 id = object->id;
    if (m_inFlight.count(id))
        return;
    const QString url = params->Target;

    // The client takes the proxy for this fetch when it starts it.
    m_client->setProxy(params->ProxyServer, params->ProxyPort);
    // Every failure of the fetch comes back as a result, never as an error
    // that leaves this function; the cause goes only to the row.
    const quint64 fetch = m_client->fetch(url, [this, id, url](const HttpClient::Result &result) {
        m_inFlight.erase(id);
        const int now = m_engine.positionOf(id);
        if (now < 0)
            return;
        m_engine.ReportOutcome(now, outcomeFor(url, result));
    });
    m_inFlight[id] = fetch;
}

void UrlProbe::cancelAll()
{
    std::map<quint64, quint64> all;
    all.swap(m_inFlight);
    for (const auto &entry : all)
        m_client->abort(entry.second);
}
