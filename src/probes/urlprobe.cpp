#include "urlprobe.h"

UrlProbe::UrlProbe(MonitorEngine &engine, HttpClient *client)
    : m_engine(engine), m_ownClient(client ? nullptr : std::make_unique<HttpClient>()),
      m_client(client ? client : m_ownClient.get())
{
}

UrlProbe::~UrlProbe() = default;

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

void UrlProbe::TestUrl(int position)
{
    const ObserverObject *object = m_engine.object(position);
    if (!object)
        return;
    const UrlParams *params = object->record.params<UrlParams>();
    if (!params)
        return;
    const quint64 id = object->id;
    const QString url = params->Target;

    m_client->setProxy(params->ProxyServer, params->ProxyPort);
    // Every failure of the fetch comes back as a result, never as an error
    // that leaves this function; the cause is not shown or logged.
    const HttpClient::Result result = m_client->get(url);

    // Nothing runs events during the fetch, but follow the object itself in
    // case the position no longer names it.
    position = m_engine.positionOf(id);
    if (position < 0)
        return;
    m_engine.ReportOutcome(position, outcomeFor(url, result.ok));
}
