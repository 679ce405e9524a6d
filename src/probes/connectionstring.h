#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Database connection strings: "key=value" pairs separated by ';'.
//
// Keys are matched without regard to letter case; blanks around keys and
// unquoted values are ignored. A value may be enclosed in double quotes ("" inside
// stands for one quote), in single quotes ('' for one) or in braces (}} for
// one closing brace), so that it can hold ';' and '='. Empty pieces are
// skipped.
namespace ConnectionString {

struct Pair {
    QString key;
    QString value;
    bool operator==(const Pair &) const = default;
};

// Splits the text into pairs. False, with a reason, for text that is not
// such a list: a piece without '=', an empty key, an unterminated quote or
// brace, or text after a closing quote.
bool parse(const QString &text, QList<Pair> &pairs, QString *error = nullptr);

// The value of the last pair whose key is one of the names; empty when none.
QString value(const QList<Pair> &pairs, const QStringList &names, bool *found = nullptr);
bool contains(const QList<Pair> &pairs, const QStringList &names);

// Writes pairs back as text. A value that needs it (';', '=', quotes, braces,
// blanks at either end) is enclosed in double quotes, or in braces when
// odbcStyle is set (the only quoting an ODBC driver understands).
QString compose(const QList<Pair> &pairs, bool odbcStyle = false);

// Key names the reader understands, for the connection-string editor.
inline const QStringList ProviderKeys{QStringLiteral("Provider")};
inline const QStringList DataSourceKeys{QStringLiteral("Data Source"), QStringLiteral("Server"),
                                        QStringLiteral("Host")};
inline const QStringList PortKeys{QStringLiteral("Port")};
inline const QStringList DatabaseKeys{QStringLiteral("Initial Catalog"), QStringLiteral("Database")};
inline const QStringList UserKeys{QStringLiteral("User ID"), QStringLiteral("UID")};
inline const QStringList PasswordKeys{QStringLiteral("Password"), QStringLiteral("PWD")};
inline const QStringList TimeoutKeys{QStringLiteral("Connect Timeout"), QStringLiteral("Connection Timeout"),
                                     QStringLiteral("connect_timeout")};
inline const QStringList OdbcKeys{QStringLiteral("Driver"), QStringLiteral("DSN")};

// The Qt SQL driver a Provider value names: QSQLITE, QPSQL, QMYSQL, QODBC, or
// the friendly names SQLite, PostgreSQL, MySQL, ODBC (any letter case);
// empty for anything else.
QString qtDriverForProvider(const QString &provider);
// The friendly provider names, for the editor's choice list.
QStringList providerNames();

} // namespace ConnectionString

// How one connection string opens a Qt SQL connection.
//
// With a Driver or DSN key the whole string goes to the ODBC driver manager.
// With a Provider key it names a Qt driver, and the usual keys fill the
// connection's fields: Data Source / Server / Host, Port, Initial Catalog /
// Database, User ID / UID, Password / PWD. The open is always bounded: 10
// seconds unless the string sets Connect Timeout (or connect_timeout).
struct DatabaseConnectionPlan {
    static constexpr int DefaultTimeoutSeconds = 10;

    bool valid = false;
    QString error; // why the string cannot be opened, when not valid

    QString driver; // "QSQLITE", "QPSQL", "QMYSQL" or "QODBC"
    QString hostName;
    int port = -1;
    QString databaseName; // SQLite: the file; ODBC: the DSN or the whole string
    QString userName;
    QString password;
    QString connectOptions;
    // The file of a SQLite database opened through ODBC (its Database key);
    // empty for every other string.
    QString sqliteFile;
    int timeoutSeconds = DefaultTimeoutSeconds;

    static DatabaseConnectionPlan fromConnectionString(const QString &text);
};
