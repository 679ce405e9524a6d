// The HTTP client's reading of answers: status lines, headers, bodies,
// chunks, redirects, interim answers. The parser is internal to the client,
// so the smallest public entry point is a whole fetch: a loopback peer
// answers every connection with the input, and the client reaches it as its
// proxy, so no redirect in the input can send it anywhere else. Every fetch
// must end, with or without success, and within its bounds.
#include "fuzzsupport.h"

#include "probes/httpclient.h"

#include <QElapsedTimer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::ensureApplication();
    static Fuzz::LoopbackPeer peer(true);
    peer.setReply(data, size);
    HttpClient client;
    client.setProxy(QStringLiteral("127.0.0.1"), peer.port());
    client.setConnectTimeout(2000);
    client.setSilenceTimeout(2000);
    QElapsedTimer t;
    t.start();
    const HttpClient::Result r = client.get(QStringLiteral("http://fuzz.invalid/start"));
    FUZZ_CHECK(r.requests <= HttpClient::MaxRequests);
    // Success is a 2xx answer, or the last allowed answer being a redirect
    // once more (any answer with a Location is one).
    FUZZ_CHECK(!r.ok || r.status / 100 == 2 || r.requests == HttpClient::MaxRequests);
    FUZZ_CHECK(r.ok || !r.error.isEmpty());
    // Each request is one connection to the peer, which ends its side at
    // once: no fetch may sit out its silence bound.
    FUZZ_CHECK(t.elapsed() < 2000 * (HttpClient::MaxRequests + 1));
    client.closeConnection();
    return 0;
}
