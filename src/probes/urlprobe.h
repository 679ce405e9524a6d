#pragma once

#include "core/engine.h"
#include "httpclient.h"

#include <memory>

// Kind 3 "URL Request": fetches the object's URL through the shared HTTP
// client (directly or through the object's proxy) and reports whether the
// final answer was a success.
class UrlProbe : public ObserverProbe
{
public:
    // With a client: uses that one (the main window's, shared by every URL
    // object). Without: owns a client of its own for the life of the probe.
    explicit UrlProbe(MonitorEngine &engine, HttpClient *client = nullptr);
    ~UrlProbe() override;

    void test(int position) override { TestUrl(position); }
    // Runs the whole test on the calling thread and ends in ReportOutcome.
    void TestUrl(int position);

    HttpClient &client() { return *m_client; }

    // The outcome values for a URL (the text as stored in Target).
    static Outcome outcomeFor(const QString &url, bool pass);

private:
    MonitorEngine &m_engine;
    std::unique_ptr<HttpClient> m_ownClient;
    HttpClient *m_client;
};
