#include "programoptions.h"

#include "core/ansitext.h"
#include "core/paths.h"
#include "core/storefile.h"

#include <QSettings>

#include <memory>

namespace
{

const QString OptionGroup = QStringLiteral("Option");

// The Option group of the given settings, or of the user's own store. The
// group is entered here and left when the accessor goes away; QSettings
// creates it only when a value is first written into it.
class OptionGroupAccess
{
public:
    explicit OptionGroupAccess(QSettings *given)
    {
        if (!given) {
            m_own = std::make_unique<QSettings>(QStringLiteral("Velmora"), QStringLiteral("Sentrova"));
            given = m_own.get();
        }
        m_settings = given;
        m_settings->beginGroup(OptionGroup);
    }
    ~OptionGroupAccess() { m_settings->endGroup(); }
    OptionGroupAccess(const OptionGroupAccess &) = delete;
    OptionGroupAccess &operator=(const OptionGroupAccess &) = delete;

    // The stored text of a value; a null QString when the value is absent.
    QString text(const char *key) const
    {
        const QVariant v = m_settings->value(QLatin1String(key));
        if (!v.isValid())
            return QString();
        // An INI value holding a comma comes back as a list; it is still
        // one text.
        if (v.typeId() == QMetaType::QStringList)
            return v.toStringList().join(QLatin1String(", "));
        QString s = v.toString();
        if (s.isNull())
            s = QLatin1String(""); // present but empty stays distinct from absent
        return s;
    }
    QString text(const char *key, const QString &fallback) const
    {
        const QString s = text(key);
        return s.isNull() ? fallback : s;
    }
    int integer(const char *key, int fallback) const
    {
        const QString s = text(key);
        return s.isNull() ? fallback : OptionText::toInt(s, fallback);
    }
    bool boolean(const char *key, bool fallback) const
    {
        const QString s = text(key);
        return s.isNull() ? fallback : OptionText::toBool(s, fallback);
    }

    void write(const char *key, const QString &value) { m_settings->setValue(QLatin1String(key), value); }
    void remove(const char *key) { m_settings->remove(QLatin1String(key)); }
    void writeUnlessDefault(const char *key, const QString &value, bool isDefault)
    {
        if (isDefault)
            m_settings->remove(QLatin1String(key));
        else
            write(key, value);
    }
    bool has(const char *key) const { return m_settings->contains(QLatin1String(key)); }

    // Flushes the writes; false when the store could not be written.
    bool flush()
    {
        m_settings->sync();
        return m_settings->status() != QSettings::AccessError;
    }
    QString where() const { return m_settings->fileName(); }

private:
    std::unique_ptr<QSettings> m_own;
    QSettings *m_settings = nullptr;
};

} // namespace

QStringList ProgramOptions::defaultMessageTemplate()
{
    return {
        QStringLiteral("Hello"),
        QString(),
        QStringLiteral("This is message from Velmora Sentrova:"),
        QString(),
        QStringLiteral("Host name or IP address : %HostName%"),
        QStringLiteral("Status      : %STATUS%"),
        QStringLiteral("Date Time: %DATETIME%"),
        QStringLiteral("Test         : %TestMethod%"),
        QString(),
        QStringLiteral("Comment : %Comment%"),
        QString(),
        QStringLiteral("Best Regards"),
    };
}

quint16 ProgramOptions::mailPort(const QString &portText)
{
    bool ok = false;
    const int port = portText.toInt(&ok, 10);
    return ok ? quint16(quint32(port) & 0xFFFF) : quint16(25);
}

QString ProgramOptions::proposedPort(int security)
{
    switch (security) {
    case SecurityStartTls:
        return QStringLiteral("587");
    case SecurityTls:
        return QStringLiteral("465");
    default:
        return QLatin1String(DefaultSmtpPort);
    }
}

QString OptionsLocation::templatePath() const
{
    return templateFile.isEmpty() ? Paths::dataFile(QStringLiteral("email.dat")) : templateFile;
}

namespace OptionText
{

int toInt(const QString &text, int fallback)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : fallback;
}

bool toBool(const QString &text, bool fallback)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v != 0 : fallback;
}

QString fromInt(int value)
{
    return QString::number(value);
}

QString fromBool(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList splitLines(const QByteArray &bytes)
{
    QStringList lines;
    const char *p = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] != '\r' && p[i] != '\n')
            continue;
        lines << Ansi::toUnicode(p + start, i - start);
        if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << Ansi::toUnicode(p + start, n - start);
    return lines;
}

QByteArray joinLines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        out += Ansi::fromUnicode(line);
        out += "\r\n";
    }
    return out;
}

} // namespace OptionText

bool LoadProgramOptions(ProgramOptions &o, const OptionsLocation &where, QString *problem)
{
    {
        const OptionGroupAccess g(where.settings);
        o.SmtpServer = g.text(ProgramOptions::SmtpServerKey, QString());
        o.SmtpPort = g.text(ProgramOptions::SmtpPortKey, QLatin1String(ProgramOptions::DefaultSmtpPort));
        o.MailFrom = g.text(ProgramOptions::MailFromKey, QLatin1String(ProgramOptions::DefaultMailFrom));
        o.MailTo = g.text(ProgramOptions::MailToKey, QLatin1String(ProgramOptions::DefaultMailTo));
        o.MailSubject = g.text(ProgramOptions::MailSubjectKey, QLatin1String(ProgramOptions::DefaultMailSubject));
        o.AutoStart = g.boolean(ProgramOptions::AutoStartKey, false);
        o.MinimizeToTray = g.boolean(ProgramOptions::MinimizeToTrayKey, false);
        o.AlertAfterBadAttempts = g.boolean(ProgramOptions::AlertAfterKey, false);
        // Mail security, login and alert style; out-of-range numbers read
        // as the defaults.
        const int security = g.integer(ProgramOptions::SmtpSecurityKey, ProgramOptions::SecurityNone);
        o.SmtpSecurity = security >= ProgramOptions::SecurityNone && security <= ProgramOptions::SecurityTls
                             ? security
                             : int(ProgramOptions::SecurityNone);
        o.SmtpUser = g.text(ProgramOptions::SmtpUserKey, QString());
        o.SmtpAcceptUntrusted = g.boolean(ProgramOptions::SmtpAcceptUntrustedKey, false);
        const int style = g.integer(ProgramOptions::AlertStyleKey, ProgramOptions::AlertBoxes);
        o.AlertStyle = style >= ProgramOptions::AlertBoxes && style <= ProgramOptions::AlertBoth
                           ? style
                           : int(ProgramOptions::AlertBoxes);
        o.ServeMetrics = g.boolean(ProgramOptions::ServeMetricsKey, false);
        o.MetricsPort = g.text(ProgramOptions::MetricsPortKey, QLatin1String(ProgramOptions::DefaultMetricsPort));
    }

    // Only a regular file is read (a pipe in its place would block the
    // start), and only up to a size no message template comes near (an
    // endless device would take all memory).
    const QString path = where.templatePath();
    const StoreFile::ReadResult read = StoreFile::readWhole(path, ProgramOptions::TemplateFileMaxBytes);
    switch (read.status) {
    case StoreFile::ReadResult::Missing:
        return true; // the template in force stays
    case StoreFile::ReadResult::Read:
        o.MessageTemplate = OptionText::splitLines(read.bytes);
        return true;
    default:
        if (problem)
            *problem = QStringLiteral("Cannot read the message template %1: %2").arg(path, read.reason);
        return false;
    }
}

bool CancelProgramOptions(ProgramOptions &options, const OptionsLocation &where, QString *problem)
{
    return LoadProgramOptions(options, where, problem);
}

bool SaveProgramOptions(const ProgramOptions &o, const OptionsLocation &where, QString *error)
{
    {
        OptionGroupAccess g(where.settings);
        g.write(ProgramOptions::SmtpServerKey, o.SmtpServer);
        g.write(ProgramOptions::SmtpPortKey, o.SmtpPort);
        g.write(ProgramOptions::MailFromKey, o.MailFrom);
        g.write(ProgramOptions::MailToKey, o.MailTo);
        g.write(ProgramOptions::MailSubjectKey, o.MailSubject);
        g.write(ProgramOptions::AutoStartKey, OptionText::fromBool(o.AutoStart));
        g.write(ProgramOptions::MinimizeToTrayKey, OptionText::fromBool(o.MinimizeToTray));
        if (o.AlertAfterBadAttempts)
            g.write(ProgramOptions::AlertAfterKey, OptionText::fromBool(true));
        else
            g.remove(ProgramOptions::AlertAfterKey);
        // The values this build adds are written only when they differ from
        // their defaults, so that a user who keeps the defaults keeps the
        // Option group exactly as it always was. The password is never here.
        g.writeUnlessDefault(ProgramOptions::SmtpSecurityKey, OptionText::fromInt(o.SmtpSecurity),
                             o.SmtpSecurity == ProgramOptions::SecurityNone);
        g.writeUnlessDefault(ProgramOptions::SmtpUserKey, o.SmtpUser, o.SmtpUser.isEmpty());
        g.writeUnlessDefault(ProgramOptions::SmtpAcceptUntrustedKey, OptionText::fromBool(o.SmtpAcceptUntrusted),
                             !o.SmtpAcceptUntrusted);
        g.writeUnlessDefault(ProgramOptions::AlertStyleKey, OptionText::fromInt(o.AlertStyle),
                             o.AlertStyle == ProgramOptions::AlertBoxes);
        if (o.ServeMetrics || g.has(ProgramOptions::ServeMetricsKey)) {
            g.write(ProgramOptions::ServeMetricsKey, OptionText::fromBool(o.ServeMetrics));
            g.write(ProgramOptions::MetricsPortKey, o.MetricsPort);
        }
        if (!g.flush()) {
            if (error)
                *error = QStringLiteral("Cannot write the program options to %1").arg(g.where());
            return false;
        }
    }

    const QString path = where.templatePath();
    QString reason;
    if (!StoreFile::write(path, OptionText::joinLines(o.MessageTemplate), &reason)) {
        if (error)
            *error = QStringLiteral("Cannot write the message template %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

WindowPlacement LoadWindowPlacement(const OptionsLocation &where)
{
    const OptionGroupAccess g(where.settings);
    WindowPlacement wp;
    wp.Width = g.integer(WindowPlacement::WidthKey, wp.Width);
    wp.Heigth = g.integer(WindowPlacement::HeightKey, wp.Heigth);
    wp.Left = g.integer(WindowPlacement::LeftKey, wp.Left);
    wp.Top = g.integer(WindowPlacement::TopKey, wp.Top);
    const int state = g.integer(WindowPlacement::WinStateKey, wp.WinState);
    if (state >= WindowPlacement::Normal && state <= WindowPlacement::Maximized)
        wp.WinState = state;
    return wp;
}

bool SaveWindowPlacement(const WindowPlacement &wp, const OptionsLocation &where)
{
    OptionGroupAccess g(where.settings);
    if (wp.WinState == WindowPlacement::Normal) {
        g.write(WindowPlacement::WidthKey, OptionText::fromInt(wp.Width));
        g.write(WindowPlacement::HeightKey, OptionText::fromInt(wp.Heigth));
        g.write(WindowPlacement::LeftKey, OptionText::fromInt(wp.Left));
        g.write(WindowPlacement::TopKey, OptionText::fromInt(wp.Top));
    }
    g.write(WindowPlacement::WinStateKey, OptionText::fromInt(wp.WinState));
    return g.flush();
}
