#pragma once

#include "core/engine.h"

#include <QString>

// The Database Connect test (kind 8): closes the one shared connection, opens
// it with the object's connection string and reports whether that worked. The
// connection stays open after a pass, until the next database test or the
// end. The connection string and the opening rules are those of
// DatabaseConnectionPlan (connectionstring.h); every open is bounded.
//
// The password in the string is never shown: the log line's fields carry the
// string with its password masked, as does the row caption that begins the
// alert text.
class DatabaseProbe : public ObserverProbe
{
public:
    // The name of the shared QtSql connection.
    static const QString ConnectionName; // "ADOConnection1"

    explicit DatabaseProbe(MonitorEngine *engine);
    ~DatabaseProbe() override;
    DatabaseProbe(const DatabaseProbe &) = delete;
    DatabaseProbe &operator=(const DatabaseProbe &) = delete;

    void test(int position) override { TestDatabase(position); }
    void TestDatabase(int Index);

    // Closes the shared connection and opens it with the connection string;
    // true when it is open. (For the object dialog too.)
    static bool openConnection(const QString &connectionString, QString *error = nullptr);
    static void closeConnection();
    static bool isConnectionOpen();

private:
    MonitorEngine *m_engine;
};
