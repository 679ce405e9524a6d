#include "connectionstring.h"

namespace ConnectionString {

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool needsQuotes(const QString &value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    for (QChar c : value)
        if (c == u';' || c == u'=' || c == u'"' || c == u'\'' || c == u'{' || c == u'}')
            return true;
    return false;
}

} // namespace

bool parse(const QString &text, QList<Pair> &pairs, QString *error)
{
    pairs.clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && text.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        if (text.at(i) == u';') { // an empty piece
            ++i;
            continue;
        }
        const qsizetype keyStart = i;
        while (i < n && text.at(i) != u'=' && text.at(i) != u';')
            ++i;
        if (i >= n || text.at(i) == u';')
            return fail(error, QStringLiteral("\"%1\" is no key=value pair")
                                   .arg(text.mid(keyStart, i - keyStart).trimmed()));
        const QString key = text.mid(keyStart, i - keyStart).trimmed();
        if (key.isEmpty())
            return fail(error, QStringLiteral("a value without a key"));
        ++i; // '='
        while (i < n && text.at(i).isSpace() && text.at(i) != u';')
            ++i;

        QString value;
        if (i < n && (text.at(i) == u'"' || text.at(i) == u'\'' || text.at(i) == u'{')) {
            const QChar close = text.at(i) == u'{' ? QChar(u'}') : text.at(i);
            ++i;
            bool closed = false;
            while (i < n) {
                if (text.at(i) == close) {
                    if (i + 1 < n && text.at(i + 1) == close) {
                        value += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text.at(i++);
            }
            if (!closed)
                return fail(error, QStringLiteral("the value of %1 is not closed").arg(key));
            while (i < n && text.at(i).isSpace())
                ++i;
            if (i < n && text.at(i) != u';')
                return fail(error, QStringLiteral("text after the quoted value of %1").arg(key));
        } else {
            const qsizetype valueStart = i;
            while (i < n && text.at(i) != u';')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        if (i < n)
            ++i; // ';'
        pairs.append({key, value});
    }
    return true;
}

QString value(const QList<Pair> &pairs, const QStringList &names, bool *found)
{
    for (qsizetype i = pairs.size() - 1; i >= 0; --i) {
        if (names.contains(pairs.at(i).key, Qt::CaseInsensitive)) {
            if (found)
                *found = true;
            return pairs.at(i).value;
        }
    }
    if (found)
        *found = false;
    return QString();
}

bool contains(const QList<Pair> &pairs, const QStringList &names)
{
    bool found = false;
    value(pairs, names, &found);
    return found;
}

QString compose(const QList<Pair> &pairs, bool odbcStyle)
{
    QStringList pieces;
    for (const Pair &p : pairs) {
        QString v = p.value;
        if (needsQuotes(v)) {
            if (odbcStyle)
                v = QLatin1Char('{') + v.replace(QLatin1String("}"), QLatin1String("}}")) + QLatin1Char('}');
            else
                v = QLatin1Char('"') + v.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
        }
        pieces << p.key + QLatin1Char('=') + v;
    }
    return pieces.join(QLatin1Char(';'));
}

QString qtDriverForProvider(const QString &provider)
{
    const QString p = provider.trimmed();
    auto is = [&](const char *name) { return p.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    if (is("QSQLITE") || is("SQLite"))
        return QStringLiteral("QSQLITE");
    if (is("QPSQL") || is("PostgreSQL"))
        return QStringLiteral("QPSQL");
    if (is("QMYSQL") || is("MySQL"))
        return QStringLiteral("QMYSQL");
    if (is("QODBC") || is("ODBC"))
        return QStringLiteral("QODBC");
    return QString();
}

QStringList providerNames()
{
    return {QStringLiteral("SQLite"), QStringLiteral("PostgreSQL"), QStringLiteral("MySQL"), QStringLiteral("ODBC")};
}

} // namespace ConnectionString

using namespace ConnectionString;

namespace {

DatabaseConnectionPlan invalid(const QString &why)
{
    DatabaseConnectionPlan plan;
    plan.error = why;
    return plan;
}

// The string as Qt's ODBC driver needs it in the database name. That driver
// puts "DSN=" before a name unless it sees "DRIVER=" or "SERVER=" in it, so a
// string that names only a DSN is handed over without its leading "DSN=".
QString odbcDatabaseName(QList<Pair> pairs)
{
    if (!contains(pairs, {QStringLiteral("Driver")})) {
        // The DSN pair first, so that the driver's "DSN=" prefix restores it.
        for (qsizetype i = 0; i < pairs.size(); ++i) {
            if (pairs.at(i).key.compare(QLatin1String("DSN"), Qt::CaseInsensitive) == 0) {
                pairs.move(i, 0);
                break;
            }
        }
        pairs[0].key = QStringLiteral("DSN");
        const QString whole = compose(pairs, true);
        if (!whole.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) &&
            !whole.contains(QLatin1String("SERVER="), Qt::CaseInsensitive))
            return whole.mid(4);
        return whole;
    }
    for (Pair &p : pairs) // written as the driver looks for it
        if (p.key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0)
            p.key = QStringLiteral("DRIVER");
    return compose(pairs, true);
}

} // namespace

DatabaseConnectionPlan DatabaseConnectionPlan::fromConnectionString(const QString &text)
{
    if (text.trimmed().isEmpty())
        return invalid(QStringLiteral("the connection string is empty"));
    QList<Pair> pairs;
    QString why;
    if (!parse(text, pairs, &why))
        return invalid(why);
    if (pairs.isEmpty())
        return invalid(QStringLiteral("the connection string is empty"));

    DatabaseConnectionPlan plan;
    bool hasTimeout = false;
    const QString timeoutText = value(pairs, TimeoutKeys, &hasTimeout);
    if (hasTimeout) {
        bool ok = false;
        const int seconds = timeoutText.toInt(&ok);
        // 0 would mean "wait for ever": the default bound stays then.
        if (ok && seconds > 0)
            plan.timeoutSeconds = qMin(seconds, 3600);
    }
    const QString t = QString::number(plan.timeoutSeconds);

    if (contains(pairs, OdbcKeys)) {
        // The SQLite ODBC driver, like Qt's own, would create a missing file
        // and open any file: the file is checked before the open and its
        // schema read after it.
        if (value(pairs, {QStringLiteral("Driver")}).contains(QLatin1String("sqlite"), Qt::CaseInsensitive)) {
            plan.sqliteFile = value(pairs, {QStringLiteral("Database")});
            if (plan.sqliteFile.isEmpty())
                return invalid(QStringLiteral("no SQLite file named"));
        }
        plan.driver = QStringLiteral("QODBC");
        plan.databaseName = odbcDatabaseName(pairs);
        plan.connectOptions = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(t);
        plan.valid = true;
        return plan;
    }

    bool hasProvider = false;
    const QString provider = value(pairs, ProviderKeys, &hasProvider);
    if (!hasProvider)
        return invalid(QStringLiteral("the connection string names no Provider, Driver or DSN"));
    plan.driver = qtDriverForProvider(provider);
    if (plan.driver.isEmpty())
        return invalid(QStringLiteral("unknown provider \"%1\"").arg(provider));

    plan.hostName = value(pairs, DataSourceKeys);
    plan.databaseName = value(pairs, DatabaseKeys);
    plan.userName = value(pairs, UserKeys);
    plan.password = value(pairs, PasswordKeys);
    const QString portText = value(pairs, PortKeys);
    if (!portText.isEmpty()) {
        bool ok = false;
        plan.port = portText.toInt(&ok);
        if (!ok || plan.port < 1 || plan.port > 65535)
            return invalid(QStringLiteral("bad port \"%1\"").arg(portText));
    }

    if (plan.driver == QLatin1String("QSQLITE")) {
        // The file is the data source (or the database); opened read-only, so
        // a missing file is never created.
        if (!plan.hostName.isEmpty())
            plan.databaseName = plan.hostName;
        plan.hostName.clear();
        if (plan.databaseName.isEmpty())
            return invalid(QStringLiteral("no SQLite file named"));
        plan.connectOptions = QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(plan.timeoutSeconds * 1000);
    } else if (plan.driver == QLatin1String("QPSQL")) {
        plan.connectOptions = QStringLiteral("connect_timeout=%1").arg(t);
    } else if (plan.driver == QLatin1String("QMYSQL")) {
        plan.connectOptions =
            QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1;MYSQL_OPT_READ_TIMEOUT=%1;MYSQL_OPT_WRITE_TIMEOUT=%1").arg(t);
    } else { // QODBC through a provider: the data source is a DSN name
        if (!plan.hostName.isEmpty())
            plan.databaseName = plan.hostName;
        plan.hostName.clear();
        plan.connectOptions = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(t);
    }
    plan.valid = true;
    return plan;
}
