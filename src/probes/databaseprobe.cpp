#include "databaseprobe.h"

#include "connectionstring.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <mutex>

const QString DatabaseProbe::ConnectionName = QStringLiteral("ADOConnection1");

namespace
{

// The connection the last ended test left, as seen from the GUI thread.
std::mutex g_lastMutex;
quint64 g_lastSerial = 0;
DatabaseProbe::LastConnection g_last;

std::atomic<quint64> g_nextSerial{1};
std::atomic<int> g_nextWorker{1};

// Each worker thread's own connection: its name and the serial of the test
// that opened it.
struct WorkerConnection {
    QString name;
    quint64 serial = 0;
};
thread_local WorkerConnection t_connection;

void publish(quint64 serial, bool open, const QString &driver, const QString &databaseName)
{
    std::lock_guard<std::mutex> lock(g_lastMutex);
    if (serial < g_lastSerial)
        return; // a later test has already ended
    g_lastSerial = serial;
    g_last = {open, open ? driver : QString(), open ? databaseName : QString()};
}

void closeWorkerConnection()
{
    if (t_connection.name.isEmpty())
        return;
    DatabaseProbe::closeNamedConnection(t_connection.name);
    std::lock_guard<std::mutex> lock(g_lastMutex);
    if (t_connection.serial == g_lastSerial)
        g_last = {};
}

bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

DatabaseProbe::DatabaseProbe(MonitorEngine *engine)
    : m_engine(engine), m_workers(std::make_unique<ProbeWorkers>(1))
{
    // Each worker closes its connection when it ends, on its own thread.
    m_workers->setThreadEnd(&closeWorkerConnection);
}

DatabaseProbe::~DatabaseProbe()
{
    cancelAll();
    closeConnection();
}

void DatabaseProbe::cancelAll()
{
    *m_alive = false;
    m_alive = std::make_shared<bool>(true);
    m_workers->cancelAll();
}

void DatabaseProbe::closeNamedConnection(const QString &connectionName)
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

bool DatabaseProbe::isConnectionOpen()
{
    return QSqlDatabase::contains(ConnectionName) && QSqlDatabase::database(ConnectionName, false).isOpen();
}

DatabaseProbe::LastConnection DatabaseProbe::lastTestConnection()
{
    std::lock_guard<std::mutex> lock(g_lastMutex);
    return g_last;
}

bool DatabaseProbe::openConnection(const QString &connectionString, QString *error, const QString &connectionName)
{
    closeNamedConnection(connectionName);

    const DatabaseConnectionPlan plan = DatabaseConnectionPlan::fromConnectionString(connectionString);
    if (!plan.valid)
        return failWith(error, plan.error);
    if (!QSqlDatabase::isDriverAvailable(plan.driver))
        return failWith(error, QStringLiteral("the database driver %1 is not installed").arg(plan.driver));

    const bool qtSqlite = plan.driver == QLatin1String("QSQLITE");
    const bool odbcSqlite = !plan.sqliteFile.isEmpty();
    // SQLite would create a missing file: a data source that does not exist fails.
    const QString sqliteFile = qtSqlite ? plan.databaseName : plan.sqliteFile;
    if ((qtSqlite || odbcSqlite) && !QFileInfo(sqliteFile).isFile())
        return failWith(error, QStringLiteral("%1 does not exist").arg(sqliteFile));

    bool opened = false;
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(plan.driver, connectionName);
        db.setConnectOptions(plan.connectOptions);
        if (!plan.hostName.isEmpty())
            db.setHostName(plan.hostName);
        if (plan.port > 0)
            db.setPort(plan.port);
        db.setDatabaseName(plan.databaseName);
        if (!plan.userName.isEmpty())
            db.setUserName(plan.userName);
        if (!plan.password.isEmpty())
            db.setPassword(plan.password);
        opened = db.open();
        if (!opened) {
            why = db.lastError().text();
        } else if (qtSqlite || odbcSqlite) {
            // SQLite opens any file; reading the schema tells a database from
            // a file that is none.
            QSqlQuery query(db);
            const QString sql = qtSqlite ? QStringLiteral("PRAGMA schema_version")
                                         : QStringLiteral("SELECT count(*) FROM sqlite_master");
            if (!query.exec(sql) || !query.next()) {
                why = query.lastError().text();
                if (why.trimmed().isEmpty())
                    why = QStringLiteral("the file is not a database");
                opened = false;
            }
        }
        if (!opened)
            db.close();
    }
    if (!opened) {
        QSqlDatabase::removeDatabase(connectionName);
        return failWith(error, why);
    }
    return true;
}

namespace
{

struct OpenResult {
    bool pass = false;
    QString error;
    qint64 ms = 0;
};

} // namespace

void DatabaseProbe::TestDatabase(int Index)
{
    const ObserverObject *o = m_engine->object(Index);
    const DatabaseParams *p = o ? o->record.params<DatabaseParams>() : nullptr;
    if (!p)
        return;
    const QString target = p->Target;
    const TestTicket ticket = m_engine->testTicket(Index);
    const DatabaseConnectionPlan plan = DatabaseConnectionPlan::fromConnectionString(target);
    const int boundMs = plan.timeoutSeconds * 1000;
    const quint64 serial = g_nextSerial++;

    auto result = std::make_shared<OpenResult>();
    const std::shared_ptr<bool> alive = m_alive;
    m_workers->start(
        [target, serial, result] {
            // The worker's own connection: the one of its last test closes first.
            closeWorkerConnection();
            if (t_connection.name.isEmpty())
                t_connection.name = ConnectionName + QStringLiteral("-worker%1").arg(g_nextWorker++);
            t_connection.serial = serial;
            QElapsedTimer clock;
            clock.start();
            try {
                result->pass = openConnection(target, &result->error, t_connection.name);
            } catch (...) {
                result->pass = false;
                result->error = QStringLiteral("the database driver failed");
            }
            result->ms = clock.elapsed();
            const QSqlDatabase db = QSqlDatabase::database(t_connection.name, false);
            publish(serial, result->pass, db.driverName(), db.databaseName());
        },
        [this, alive, ticket, target, result, boundMs](ProbeWorkers::Ending ending) {
            if (!*alive)
                return;
            const bool timedOut = ending == ProbeWorkers::Ending::TimedOut;
            const bool pass = !timedOut && result->pass;

            // The password never leaves the parameters dialog and the project file.
            const QString shown = Records::maskPassword(target);
            const QString quoted = QLatin1Char('"') + shown + QLatin1Char('"');
            Outcome outcome;
            outcome.pass = pass;
            outcome.failMarker = QStringLiteral("File/Folder Size Error");
            outcome.failStatus = QStringLiteral("Error");
            outcome.hostField = shown;
            outcome.statusField = quoted + (pass ? QStringLiteral(" test OK") : QStringLiteral(" connection error"));
            outcome.methodName = QStringLiteral("Database Connect");
            outcome.alertSuffix =
                pass ? QStringLiteral(" Database Connection OK") : QStringLiteral(" Database Connection error");
            if (timedOut) {
                outcome.cause = QStringLiteral("no answer within %1 s").arg(boundMs / 1000);
            } else {
                outcome.responseMs = result->ms;
                // A driver's message may quote the string, password and all.
                QString error = result->error.simplified();
                if (!target.isEmpty())
                    error.replace(target, shown);
                outcome.cause = pass ? QStringLiteral("opened in %1 ms").arg(result->ms) : error;
            }
            m_engine->ReportOutcome(ticket, outcome);
        },
        boundMs);
}
