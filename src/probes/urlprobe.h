#pragma once

#include "core/engine.h"
#include "httpclient.h"

#include <map>
#include <memory>

// Kind 3 "URL Request": fetches the object's URL through the shared HTTP
// client (directly or through the object's proxy) and reports whether the
// final answer was a success.
//
// The fetch runs on the event loop: test() starts it and returns, the row
// keeps "TEST", and the outcome reaches ReportOutcome later, for the object
// that was tested wherever it moved meanwhile (it is followed by its id) and
// not at all when that object is gone.
class UrlProbe : public ObserverProbe
{
public:
    // With a client: uses that one (the main window's, shared by every URL
    // object). Without: owns a client of its own for the life of the probe.
    explicit UrlProbe(MonitorEngine &engine, HttpClient *client = nullptr);
    ~UrlProbe() override;

    void test(int position) override { TestUrl(position); }
    // Starts the fetch of the object's URL; an object whose fetch is still
    // under way is not fetched a second time (its outcome is on its way).
    void TestUrl(int position);
    // Abandons every fetch in flight: none reaches ReportOutcome afterwards.
    void cancelAll() override;
    int fetchesInFlight() const { return int(m_inFlight.size()); }

    HttpClient &client() { return *m_client; }

    // The outcome values for a URL (the text as stored in Target).
    static Outcome outcomeFor(const QString &url, bool pass);
    // ... with the cause and response time of the fetch.
    static Outcome outcomeFor(const QString &url, const HttpClient::Result &result);

private:
    MonitorEngine &m_engine;
    std::unique_ptr<HttpClient> m_ownClient;
    HttpClient *m_client;
    std::map<quint64, quint64> m_inFlight; // object id -> fetch id
};
