#include "probeset.h"

#include "core/engine.h"
#include "probes/databaseprobe.h"
#include "probes/filesystemprobes.h"
#include "probes/ping.h"
#include "probes/probeworkers.h"
#include "probes/tcpprobe.h"
#include "probes/urlprobe.h"

ProbeSet::ProbeSet(MonitorEngine &engine)
    : m_engine(engine),
      m_fileWorkers(std::make_unique<ProbeWorkers>(FileSystemProbeBase::DefaultWorkers)),
      m_ping(std::make_unique<PingProbe>(&engine)), m_tcp(std::make_unique<TcpConnectProbe>(&engine)),
      m_url(std::make_unique<UrlProbe>(engine)),
      m_disk(std::make_unique<DiskSpaceProbe>(engine, m_fileWorkers.get())),
      m_folder(std::make_unique<FolderSizeProbe>(engine, m_fileWorkers.get())),
      m_present(std::make_unique<FilePresentProbe>(engine, m_fileWorkers.get())),
      m_compare(std::make_unique<CompareFilesProbe>(engine, m_fileWorkers.get())),
      m_database(std::make_unique<DatabaseProbe>(&engine))
{
    engine.setProbe(okPing, m_ping.get());
    engine.setProbe(okTcpConnect, m_tcp.get());
    engine.setProbe(okUrl, m_url.get());
    engine.setProbe(okDiskSpace, m_disk.get());
    engine.setProbe(okFolderSize, m_folder.get());
    engine.setProbe(okFilePresent, m_present.get());
    engine.setProbe(okCompareFiles, m_compare.get());
    engine.setProbe(okDatabase, m_database.get());
}

ProbeSet::~ProbeSet()
{
    // The probes go before the engine: none of them reports any more.
    cancelAll();
    for (qint32 kind = okPing; kind <= okDatabase; ++kind)
        m_engine.setProbe(kind, nullptr);
}

void ProbeSet::cancelAll()
{
    m_engine.cancelAll();
}

bool ProbeSet::pingAvailable() const
{
    return m_ping->pingAvailable();
}

QString ProbeSet::pingHelp()
{
    return PingProbe::pingUnavailableMessage();
}

HttpClient &ProbeSet::httpClient()
{
    return m_url->client();
}
