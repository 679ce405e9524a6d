#include "connectionstringeditor.h"

#include "probes/connectionstring.h"
#include "probes/databaseprobe.h"
#include "widgets/dialogbuttons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

// The friendly Provider names this editor writes, by type.
const char *const ProviderNames[] = {"SQLite", "PostgreSQL", "MySQL"};

bool keyIn(const QString &key, const QStringList &names)
{
    for (const QString &n : names)
        if (key.trimmed().compare(n, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Section names of an ini file, in file order, without the ones that hold
// unixODBC's own settings.
QStringList iniSections(const QString &path)
{
    QStringList out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    static const QRegularExpression section(QStringLiteral("^\\s*\\[([^\\]]+)\\]\\s*$"));
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine());
        const QRegularExpressionMatch m = section.match(line);
        if (!m.hasMatch())
            continue;
        const QString name = m.captured(1).trimmed();
        if (name.compare(QLatin1String("ODBC"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("ODBC Data Sources"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("ODBC Drivers"), Qt::CaseInsensitive) == 0)
            continue;
        if (!out.contains(name))
            out << name;
    }
    return out;
}

QString odbcSystemDir()
{
    const QString dir = qEnvironmentVariable("ODBCSYSINI");
    return dir.isEmpty() ? QStringLiteral("/etc") : dir;
}

} // namespace

QStringList ConnectionStringEditor::odbcDrivers()
{
    QString file = qEnvironmentVariable("ODBCINSTINI");
    if (file.isEmpty())
        file = QStringLiteral("odbcinst.ini");
    return iniSections(QDir(odbcSystemDir()).filePath(file));
}

QStringList ConnectionStringEditor::odbcDataSources()
{
    QString user = qEnvironmentVariable("ODBCINI");
    if (user.isEmpty())
        user = QDir::home().filePath(QStringLiteral(".odbc.ini"));
    QStringList out = iniSections(user);
    for (const QString &s : iniSections(QDir(odbcSystemDir()).filePath(QStringLiteral("odbc.ini"))))
        if (!out.contains(s))
            out << s;
    return out;
}

ConnectionStringEditor::ConnectionStringEditor(QWidget *parent)
    : QDialog(parent),
      m_tester([](const QString &text, QString *error) { return DatabaseProbe::openConnection(text, error); })
{
    setObjectName(QStringLiteral("ConnectionStringEditor"));
    setWindowTitle(QStringLiteral("Database Connection"));

    TypeComboBox = new QComboBox(this);
    TypeComboBox->setObjectName(QStringLiteral("TypeComboBox"));
    TypeComboBox->addItems({QStringLiteral("SQLite database file"), QStringLiteral("PostgreSQL server"),
                            QStringLiteral("MySQL server"), QStringLiteral("ODBC driver"),
                            QStringLiteral("ODBC data source (DSN)")});

    DriverComboBox = new QComboBox(this);
    DriverComboBox->setObjectName(QStringLiteral("DriverComboBox"));
    DriverComboBox->setEditable(true);
    DriverComboBox->addItems(odbcDrivers());
    DriverComboBox->setToolTip(QStringLiteral("An ODBC driver installed with unixODBC"));
    DataSourceComboBox = new QComboBox(this);
    DataSourceComboBox->setObjectName(QStringLiteral("DataSourceComboBox"));
    DataSourceComboBox->setEditable(true);
    DataSourceComboBox->addItems(odbcDataSources());
    DataSourceComboBox->setToolTip(QStringLiteral("A data source of odbc.ini or ~/.odbc.ini"));

    FileEdit = new QLineEdit(this);
    FileEdit->setObjectName(QStringLiteral("FileEdit"));
    FileEdit->setToolTip(QStringLiteral("The database file; it is never created"));
    FileButton = new QToolButton(this);
    FileButton->setObjectName(QStringLiteral("FileButton"));
    FileButton->setText(QStringLiteral("..."));
    FileButton->setToolTip(QStringLiteral("Select file"));
    connect(FileButton, &QToolButton::clicked, this, [this] {
        const QString file = m_chooseFile
                                 ? m_chooseFile(FileEdit->text())
                                 : QFileDialog::getOpenFileName(this, QStringLiteral("Database file"), FileEdit->text(),
                                                                QStringLiteral("All files (*)"));
        if (!file.isEmpty())
            FileEdit->setText(file);
    });
    auto *fileRow = new QWidget(this);
    auto *fileLayout = new QHBoxLayout(fileRow);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->addWidget(FileEdit, 1);
    fileLayout->addWidget(FileButton);

    ServerEdit = new QLineEdit(this);
    ServerEdit->setObjectName(QStringLiteral("ServerEdit"));
    ServerEdit->setToolTip(QStringLiteral("Host name or IP address of the server"));
    PortEdit = new QLineEdit(this);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setPlaceholderText(QStringLiteral("default"));
    PortEdit->setValidator(new QIntValidator(1, 65535, PortEdit));
    PortEdit->setFixedWidth(90);
    DatabaseEdit = new QLineEdit(this);
    DatabaseEdit->setObjectName(QStringLiteral("DatabaseEdit"));
    UserEdit = new QLineEdit(this);
    UserEdit->setObjectName(QStringLiteral("UserEdit"));
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    ShowPasswordCheckBox = new QCheckBox(QStringLiteral("Show"), this);
    ShowPasswordCheckBox->setObjectName(QStringLiteral("ShowPasswordCheckBox"));
    connect(ShowPasswordCheckBox, &QCheckBox::toggled, this,
            [this](bool show) { PasswordEdit->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password); });
    auto *passwordRow = new QWidget(this);
    auto *passwordLayout = new QHBoxLayout(passwordRow);
    passwordLayout->setContentsMargins(0, 0, 0, 0);
    passwordLayout->addWidget(PasswordEdit, 1);
    passwordLayout->addWidget(ShowPasswordCheckBox);
    TimeoutEdit = new QSpinBox(this);
    TimeoutEdit->setObjectName(QStringLiteral("TimeoutEdit"));
    TimeoutEdit->setRange(0, 3600);
    TimeoutEdit->setSpecialValueText(QStringLiteral("default"));
    TimeoutEdit->setSuffix(QStringLiteral(" s"));
    TimeoutEdit->setFixedWidth(90);
    TimeoutEdit->setToolTip(QStringLiteral("How long the test waits for the server; default 10 seconds"));

    ConnectionStringEdit = new QLineEdit(this);
    ConnectionStringEdit->setObjectName(QStringLiteral("ConnectionStringEdit"));
    ConnectionStringEdit->setToolTip(QStringLiteral("The string the test uses; it may also be typed here"));
    ConnectionStringEdit->setMinimumWidth(480);

    TestButton = new QPushButton(QStringLiteral("Test Connection"), this);
    TestButton->setObjectName(QStringLiteral("TestButton"));
    TestButton->setAutoDefault(false);
    connect(TestButton, &QPushButton::clicked, this, &ConnectionStringEditor::testConnection);
    TestResultLabel = new QLabel(this);
    TestResultLabel->setObjectName(QStringLiteral("TestResultLabel"));
    TestResultLabel->setWordWrap(true);
    TestResultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const OkCancelButtons buttons = makeOkCancelButtons(this, ReturnOnCancel::PressesOk);
    OKButton = buttons.ok;
    CancelButton = buttons.cancel;

    m_form = new QFormLayout;
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_form->addRow(QStringLiteral("Connect through"), TypeComboBox);
    m_form->addRow(QStringLiteral("ODBC driver"), DriverComboBox);
    m_form->addRow(QStringLiteral("Data source name"), DataSourceComboBox);
    m_form->addRow(QStringLiteral("Database file"), fileRow);
    m_form->addRow(QStringLiteral("Server"), ServerEdit);
    m_form->addRow(QStringLiteral("Port"), PortEdit);
    m_form->addRow(QStringLiteral("Database"), DatabaseEdit);
    m_form->addRow(QStringLiteral("User name"), UserEdit);
    m_form->addRow(QStringLiteral("Password"), passwordRow);
    m_form->addRow(QStringLiteral("Connect timeout"), TimeoutEdit);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(TestButton, 0, Qt::AlignTop);
    testRow->addWidget(TestResultLabel, 1);

    auto *main = new QVBoxLayout(this);
    main->addLayout(m_form);
    main->addWidget(line);
    main->addWidget(new QLabel(QStringLiteral("Connection string"), this));
    main->addWidget(ConnectionStringEdit);
    main->addLayout(testRow);
    main->addStretch();
    main->addLayout(buttons.row);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(TypeComboBox, &QComboBox::currentIndexChanged, this, &ConnectionStringEditor::typeChanged);
    for (QLineEdit *e : {FileEdit, ServerEdit, PortEdit, DatabaseEdit, UserEdit, PasswordEdit})
        connect(e, &QLineEdit::textChanged, this, &ConnectionStringEditor::compose);
    connect(DriverComboBox, &QComboBox::currentTextChanged, this, &ConnectionStringEditor::compose);
    connect(DataSourceComboBox, &QComboBox::currentTextChanged, this, &ConnectionStringEditor::compose);
    connect(TimeoutEdit, &QSpinBox::valueChanged, this, &ConnectionStringEditor::compose);
    // Typing the string itself fills the fields it names.
    connect(ConnectionStringEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        readFields(text);
        TestResultLabel->clear();
    });

    DriverComboBox->setCurrentIndex(-1);
    DataSourceComboBox->setCurrentIndex(-1);
    typeChanged();
}

void ConnectionStringEditor::typeChanged()
{
    const int t = TypeComboBox->currentIndex();
    const bool server = t == PostgreSQLServer || t == MySQLServer || t == OdbcDriver;
    m_form->setRowVisible(DriverComboBox, t == OdbcDriver);
    m_form->setRowVisible(DataSourceComboBox, t == OdbcDataSource);
    m_form->setRowVisible(FileEdit->parentWidget(), t == SQLiteFile);
    m_form->setRowVisible(ServerEdit, server);
    m_form->setRowVisible(PortEdit, server);
    m_form->setRowVisible(DatabaseEdit, server);
    m_form->setRowVisible(UserEdit, t != SQLiteFile);
    m_form->setRowVisible(PasswordEdit->parentWidget(), t != SQLiteFile);
    m_form->setRowVisible(TimeoutEdit, t != SQLiteFile);
    compose();
}

void ConnectionStringEditor::compose()
{
    if (m_updating)
        return;
    QList<ConnectionString::Pair> pairs;
    auto add = [&](const char *key, const QString &value) {
        if (!value.trimmed().isEmpty())
            pairs.append({QString::fromLatin1(key), value.trimmed()});
    };
    const int t = TypeComboBox->currentIndex();
    const QString timeout = TimeoutEdit->value() > 0 ? QString::number(TimeoutEdit->value()) : QString();
    switch (t) {
    case SQLiteFile:
        add("Provider", QLatin1String(ProviderNames[t]));
        add("Data Source", FileEdit->text());
        break;
    case PostgreSQLServer:
    case MySQLServer:
        add("Provider", QLatin1String(ProviderNames[t]));
        add("Data Source", ServerEdit->text());
        add("Port", PortEdit->text());
        add("Initial Catalog", DatabaseEdit->text());
        add("User ID", UserEdit->text());
        pairs.append({QStringLiteral("Password"), PasswordEdit->text()});
        if (PasswordEdit->text().isEmpty())
            pairs.removeLast();
        add("Connect Timeout", timeout);
        break;
    case OdbcDriver:
        add("Driver", DriverComboBox->currentText());
        add("Server", ServerEdit->text());
        add("Port", PortEdit->text());
        add("Database", DatabaseEdit->text());
        add("UID", UserEdit->text());
        if (!PasswordEdit->text().isEmpty())
            pairs.append({QStringLiteral("PWD"), PasswordEdit->text()});
        add("Connect Timeout", timeout);
        break;
    case OdbcDataSource:
        add("DSN", DataSourceComboBox->currentText());
        add("UID", UserEdit->text());
        if (!PasswordEdit->text().isEmpty())
            pairs.append({QStringLiteral("PWD"), PasswordEdit->text()});
        add("Connect Timeout", timeout);
        break;
    }
    for (const Pair &p : m_extra)
        pairs.append({p.key, p.value});
    ConnectionStringEdit->setText(ConnectionString::compose(pairs, t == OdbcDriver || t == OdbcDataSource));
    TestResultLabel->clear();
}

bool ConnectionStringEditor::readFields(const QString &text)
{
    QList<ConnectionString::Pair> pairs;
    if (text.trimmed().isEmpty() || !ConnectionString::parse(text, pairs))
        return false;
    using namespace ConnectionString;
    int type = -1;
    if (contains(pairs, {QStringLiteral("Driver")}))
        type = OdbcDriver;
    else if (contains(pairs, {QStringLiteral("DSN")}))
        type = OdbcDataSource;
    else if (contains(pairs, ProviderKeys)) {
        const QString driver = qtDriverForProvider(value(pairs, ProviderKeys));
        if (driver == QLatin1String("QSQLITE"))
            type = SQLiteFile;
        else if (driver == QLatin1String("QPSQL"))
            type = PostgreSQLServer;
        else if (driver == QLatin1String("QMYSQL"))
            type = MySQLServer;
        else if (driver == QLatin1String("QODBC"))
            type = OdbcDataSource;
    }
    if (type < 0)
        return false;

    // Which keys fill a field for this type; everything else is kept as is.
    QStringList consumed = ProviderKeys + TimeoutKeys + UserKeys + PasswordKeys;
    if (type == SQLiteFile)
        consumed += DataSourceKeys;
    else if (type == OdbcDriver)
        consumed += QStringList{QStringLiteral("Driver")} + DataSourceKeys + PortKeys + DatabaseKeys;
    else if (type == OdbcDataSource)
        consumed +=
            QStringList{QStringLiteral("DSN")} + (contains(pairs, ProviderKeys) ? DataSourceKeys : QStringList());
    else
        consumed += DataSourceKeys + PortKeys + DatabaseKeys;

    m_updating = true;
    TypeComboBox->setCurrentIndex(type);
    FileEdit->setText(type == SQLiteFile ? value(pairs, DataSourceKeys) : QString());
    const bool server = type == PostgreSQLServer || type == MySQLServer || type == OdbcDriver;
    ServerEdit->setText(server ? value(pairs, DataSourceKeys) : QString());
    PortEdit->setText(server ? value(pairs, PortKeys) : QString());
    DatabaseEdit->setText(server ? value(pairs, DatabaseKeys) : QString());
    DriverComboBox->setCurrentText(type == OdbcDriver ? value(pairs, {QStringLiteral("Driver")}) : QString());
    DataSourceComboBox->setCurrentText(type == OdbcDataSource ? (contains(pairs, {QStringLiteral("DSN")})
                                                                     ? value(pairs, {QStringLiteral("DSN")})
                                                                     : value(pairs, DataSourceKeys))
                                                              : QString());
    UserEdit->setText(value(pairs, UserKeys));
    PasswordEdit->setText(value(pairs, PasswordKeys));
    bool timeoutOk = false;
    const int timeout = value(pairs, TimeoutKeys).toInt(&timeoutOk);
    TimeoutEdit->setValue(timeoutOk ? timeout : 0);
    m_extra.clear();
    for (const auto &p : pairs)
        if (!keyIn(p.key, consumed))
            m_extra.append({p.key, p.value});
    m_updating = false;
    return true;
}

void ConnectionStringEditor::setConnectionString(const QString &text)
{
    m_extra.clear();
    if (!readFields(text)) {
        // Not a string the fields can show: start from empty fields, with
        // the text itself in the string box.
        m_updating = true;
        for (QLineEdit *e : {FileEdit, ServerEdit, PortEdit, DatabaseEdit, UserEdit, PasswordEdit})
            e->clear();
        DriverComboBox->setCurrentIndex(-1);
        DataSourceComboBox->setCurrentIndex(-1);
        TimeoutEdit->setValue(0);
        m_updating = false;
    }
    typeChanged();
    // The fields' rows follow the type; the box keeps the text as given.
    ConnectionStringEdit->setText(text);
    ConnectionStringEdit->setCursorPosition(0);
    TestResultLabel->clear();
}

QString ConnectionStringEditor::connectionString() const
{
    return ConnectionStringEdit->text();
}

bool ConnectionStringEditor::edit(QString &text)
{
    setConnectionString(text);
    if (exec() != QDialog::Accepted)
        return false;
    text = connectionString();
    return true;
}

void ConnectionStringEditor::testConnection()
{
    if (!m_tester)
        return;
    QString error;
    TestResultLabel->setText(QStringLiteral("Connecting..."));
    TestButton->setEnabled(false);
    TestResultLabel->repaint(); // the open blocks until the server answers
    const bool ok = m_tester(connectionString(), &error);
    TestButton->setEnabled(true);
    TestResultLabel->setText(ok ? QStringLiteral("Test connection succeeded.")
                                : QStringLiteral("Test connection failed: %1")
                                      .arg(error.isEmpty() ? QStringLiteral("unknown error") : error));
}
