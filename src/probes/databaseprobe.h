#pragma once

#include "core/engine.h"
#include "probeworkers.h"

#include <QString>

#include <memory>

// The Database Connect test (kind 8): opens a connection with the object's
// connection string and reports whether that worked. The connection string
// and the opening rules are those of DatabaseConnectionPlan
// (connectionstring.h); every open is bounded.
//
// The open runs on a worker thread (a QtSql connection belongs to the thread
// that made it, so each worker has its own connection name); the GUI thread
// never waits for a database. Each worker keeps the connection of its last
// test open after a pass and closes it before its next test, as the one
// shared connection is kept: the outcome of every test is the outcome of its
// own open. A worker runs one test at a time; tests run one after the other
// on one worker while the databases answer, and a slow or silent server
// makes room for another worker, so it never holds back the others. The test
// fails when its bound (the string's time-out, 10 s by default) runs out.
//
// The password in the string is never shown: the log line's fields carry the
// string with its password masked, as does the row caption that begins the
// alert text.
class DatabaseProbe : public ObserverProbe
{
public:
    // The name of the connection opened on the calling thread (the object
    // dialog's check); the workers' names begin with it.
    static const QString ConnectionName; // "ADOConnection1"

    explicit DatabaseProbe(MonitorEngine *engine);
    ~DatabaseProbe() override;
    DatabaseProbe(const DatabaseProbe &) = delete;
    DatabaseProbe &operator=(const DatabaseProbe &) = delete;

    void test(int position) override { TestDatabase(position); }
    void TestDatabase(int Index);
    void cancelAll() override;

    // Closes the connection of that name on the calling thread and opens it
    // with the connection string; true when it is open. Blocks for up to the
    // string's time-out.
    static bool openConnection(const QString &connectionString, QString *error = nullptr,
                               const QString &connectionName = ConnectionName);
    static void closeConnection() { closeNamedConnection(ConnectionName); }
    static void closeNamedConnection(const QString &connectionName);
    static bool isConnectionOpen();

    // The connection of the last test that ended in time: whether it is open
    // now, its Qt driver and its database name (empty when none is open).
    struct LastConnection {
        bool open = false;
        QString driver;
        QString databaseName;
    };
    static LastConnection lastTestConnection();

    ProbeWorkers &workers() { return *m_workers; }

private:
    MonitorEngine *m_engine;
    std::unique_ptr<ProbeWorkers> m_workers;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
