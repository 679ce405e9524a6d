#include "databaseprobe.h"

#include "connectionstring.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

const QString DatabaseProbe::ConnectionName = QStringLiteral("ADOConnection1");

DatabaseProbe::DatabaseProbe(MonitorEngine *engine) : m_engine(engine) {}

DatabaseProbe::~DatabaseProbe() { closeConnection(); }

void DatabaseProbe::closeConnection()
{
    if (!QSqlDatabase::contains(ConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(ConnectionName);
}

bool DatabaseProbe::isConnectionOpen()
{
    return QSqlDatabase::contains(ConnectionName) && QSqlDatabase::database(ConnectionName, false).isOpen();
}

static bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool DatabaseProbe::openConnection(const QString &connectionString, QString *error)
{
    closeConnection();

    const DatabaseConnectionPlan plan = DatabaseConnectionPlan::fromConnectionString(connectionString);
    if (!plan.valid)
        return failWith(error, plan.error);
    if (!QSqlDatabase::isDriverAvailable(plan.driver))
        return failWith(error, QStringLiteral("the database driver %1 is not installed").arg(plan.driver));

    const bool sqlite = plan.driver == QLatin1String("QSQLITE");
    // SQLite would create a missing file: a data source that does not exist fails.
    if (sqlite && !QFileInfo(plan.databaseName).isFile())
        return failWith(error, QStringLiteral("%1 does not exist").arg(plan.databaseName));

    bool opened = false;
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(plan.driver, ConnectionName);
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
        } else if (sqlite) {
            // SQLite opens any file; reading the schema tells a database from
            // a file that is none.
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("PRAGMA schema_version")) || !query.next()) {
                why = query.lastError().text();
                opened = false;
            }
        }
        if (!opened)
            db.close();
    }
    if (!opened) {
        QSqlDatabase::removeDatabase(ConnectionName);
        return failWith(error, why);
    }
    return true;
}

void DatabaseProbe::TestDatabase(int Index)
{
    const ObserverObject *o = m_engine->object(Index);
    const DatabaseParams *p = o ? o->record.params<DatabaseParams>() : nullptr;
    if (!p)
        return;

    bool pass = false;
    try {
        pass = openConnection(p->Target);
    } catch (...) {
        pass = false;
    }

    // The password never leaves the parameters dialog and the project file.
    const QString shown = Records::maskPassword(p->Target);
    const QString quoted = QLatin1Char('"') + shown + QLatin1Char('"');
    Outcome outcome;
    outcome.pass = pass;
    outcome.failMarker = QStringLiteral("File/Folder Size Error");
    outcome.failStatus = QStringLiteral("Error");
    outcome.hostField = shown;
    outcome.statusField = quoted + (pass ? QStringLiteral(" test OK") : QStringLiteral(" connection error"));
    outcome.methodName = QStringLiteral("Database Connect");
    outcome.alertSuffix = pass ? QStringLiteral(" Database Connection OK") : QStringLiteral(" Database Connection error");
    m_engine->ReportOutcome(Index, outcome);
}
