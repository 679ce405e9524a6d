#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

// Composes a database connection string for the Database Connect test from
// a few fields: the way to connect (a Qt driver by "Provider=...", an ODBC
// driver by "Driver=..." or an ODBC data source by "DSN=..."), the server or
// file, the port, the database, the user and the password. The string it
// starts from is read into the fields; keys it has no field for are kept.
class ConnectionStringEditor : public QDialog
{
    Q_OBJECT
public:
    enum Type { SQLiteFile, PostgreSQLServer, MySQLServer, OdbcDriver, OdbcDataSource };

    explicit ConnectionStringEditor(QWidget *parent = nullptr);

    // Reads a connection string into the fields (a string that cannot be
    // read stays in the string box as it is).
    void setConnectionString(const QString &text);
    QString connectionString() const;
    // Shows the editor on text; on OK, text becomes the composed string and
    // the result is true. On Cancel text is left alone.
    bool edit(QString &text);

    // Opens a connection with the string: true when it opened, otherwise
    // false with the reason. Unless set, the program's database connection
    // is used.
    void setConnectionTester(std::function<bool(const QString &, QString *)> tester) { m_tester = std::move(tester); }
    // Picks the SQLite file: start path in, chosen file out (empty when
    // cancelled). A QFileDialog unless set.
    void setFileChooser(std::function<QString(const QString &)> chooser) { m_chooseFile = std::move(chooser); }

    // The ODBC drivers and data sources unixODBC knows, from its ini files
    // (odbcinst.ini; odbc.ini and the user's .odbc.ini).
    static QStringList odbcDrivers();
    static QStringList odbcDataSources();

    QComboBox *TypeComboBox;
    QComboBox *DriverComboBox;
    QComboBox *DataSourceComboBox;
    QLineEdit *FileEdit;
    QToolButton *FileButton;
    QLineEdit *ServerEdit;
    QLineEdit *PortEdit;
    QLineEdit *DatabaseEdit;
    QLineEdit *UserEdit;
    QLineEdit *PasswordEdit;
    QCheckBox *ShowPasswordCheckBox;
    QSpinBox *TimeoutEdit;
    QLineEdit *ConnectionStringEdit;
    QPushButton *TestButton;
    QLabel *TestResultLabel;
    QPushButton *OKButton;
    QPushButton *CancelButton;

private:
    struct Pair {
        QString key;
        QString value;
    };
    void typeChanged();
    void compose();
    bool readFields(const QString &text);
    void testConnection();

    QFormLayout *m_form;
    QList<Pair> m_extra; // keys of the string that no field shows
    bool m_updating = false;
    std::function<bool(const QString &, QString *)> m_tester;
    std::function<QString(const QString &)> m_chooseFile;
};
