#pragma once

#include <QString>

#include <memory>

class MonitorEngine;
class PingProbe;
class TcpConnectProbe;
class UrlProbe;
class HttpClient;
class DiskSpaceProbe;
class FolderSizeProbe;
class FilePresentProbe;
class CompareFilesProbe;
class DatabaseProbe;
class ProbeWorkers;

// The eight tests, one probe of each kind, hooked into the engine. The main
// window owns the one set: the one ping component, the one HTTP client and
// the one database connection shared by every object of their kind.
class ProbeSet
{
public:
    explicit ProbeSet(MonitorEngine &engine);
    ~ProbeSet();
    ProbeSet(const ProbeSet &) = delete;
    ProbeSet &operator=(const ProbeSet &) = delete;

    // False when the system allows this program no ICMP socket; ping tests
    // then report "Ping error" and pingHelp() says how to allow them.
    bool pingAvailable() const;
    static QString pingHelp();

    PingProbe &ping() { return *m_ping; }
    HttpClient &httpClient();

    // Abandons every test in flight, of every kind: nothing of them is
    // reported or logged afterwards. For the end of the program.
    void cancelAll();

private:
    MonitorEngine &m_engine;
    // The file-system probes' worker threads, shared by the four of them.
    std::unique_ptr<ProbeWorkers> m_fileWorkers;
    std::unique_ptr<PingProbe> m_ping;
    std::unique_ptr<TcpConnectProbe> m_tcp;
    std::unique_ptr<UrlProbe> m_url;
    std::unique_ptr<DiskSpaceProbe> m_disk;
    std::unique_ptr<FolderSizeProbe> m_folder;
    std::unique_ptr<FilePresentProbe> m_present;
    std::unique_ptr<CompareFilesProbe> m_compare;
    std::unique_ptr<DatabaseProbe> m_database;
};
