#include "logview.h"

#include "core/ansitext.h"
#include "eventlog/eventlog.h"

namespace
{

const QString Separator = QStringLiteral(";;");

// Two or four decimal digits at p, as a number; -1 when any is not a digit.
int digits(const char *p, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

int digits(const QString &text, qsizetype from, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(from + i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

// ---- LogLine ------------------------------------------------------------------

namespace LogLine {

LogCells split(const QString &line)
{
    LogCells cells;
    QString *const fields[] = {&cells.eventTime, &cells.host, &cells.status};
    qsizetype from = 0;
    for (QString *field : fields) {
        const qsizetype at = line.indexOf(Separator, from);
        if (at < 0) {
            *field = line.mid(from);
            return cells;
        }
        *field = line.mid(from, at - from);
        from = at + Separator.size();
    }
    cells.testMethod = line.mid(from);
    return cells;
}

QDate eventDate(QByteArrayView line, QChar dateSeparator)
{
    if (line.size() < 10)
        return {};
    const char *p = line.data();
    const char sep = dateSeparator.unicode() < 0x80 ? char(dateSeparator.unicode()) : '.';
    for (int at : {2, 5})
        if (p[at] != '.' && p[at] != sep)
            return {};
    const int day = digits(p, 2), month = digits(p + 3, 2), year = digits(p + 6, 4);
    if (day < 0 || month < 0 || year < 0)
        return {};
    return QDate(year, month, day); // invalid for 31.02. or 00.00.0000
}

} // namespace LogLine

// ---- LocaleDateFormat -----------------------------------------------------------

LocaleDateFormat::LocaleDateFormat(const QLocale &locale)
{
    // The short-date format without its quoted text.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    bool inQuote = false;
    for (QChar &c : format) {
        const bool quote = c == QLatin1Char('\'');
        if (quote)
            inQuote = !inQuote;
        if (quote || inQuote)
            c = QLatin1Char(' ');
    }
    const auto isField = [](QChar c) {
        return c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y');
    };

    const qsizetype dayAt = format.indexOf(QLatin1Char('d'));
    const qsizetype monthAt = format.indexOf(QLatin1Char('M'));
    const qsizetype yearAt = format.indexOf(QLatin1Char('y'));
    if (dayAt >= 0 && monthAt >= 0 && yearAt >= 0) {
        if (yearAt < dayAt && yearAt < monthAt)
            m_order = YearMonthDay;
        else if (monthAt < dayAt)
            m_order = MonthDayYear;
        else
            m_order = DayMonthYear;
    }

    // The separator: the first mark after the first field that is neither a
    // letter nor a blank, before the second field begins.
    qsizetype i = 0;
    while (i < format.size() && !isField(format.at(i)))
        ++i;
    const QChar first = i < format.size() ? format.at(i) : QChar();
    while (i < format.size() && format.at(i) == first)
        ++i;
    for (; i < format.size() && !isField(format.at(i)); ++i) {
        const QChar c = format.at(i);
        if (!c.isLetter() && !c.isSpace()) {
            m_separator = c;
            break;
        }
    }
}

QString LocaleDateFormat::inputMask() const
{
    // Characters that mean something in an input mask are escaped.
    static const QString meta = QStringLiteral("AaNnXx90Dd#HhBb><![]{}\\");
    const QString sep = meta.contains(m_separator) ? QStringLiteral("\\") + m_separator : QString(m_separator);
    const QString two = QStringLiteral("99"), four = QStringLiteral("9999");
    return (m_order == YearMonthDay ? four + sep + two + sep + two : two + sep + two + sep + four) +
           QStringLiteral(";_");
}

QString LocaleDateFormat::blankText() const
{
    const QString two(2, QLatin1Char(' ')), four(4, QLatin1Char(' '));
    return m_order == YearMonthDay ? four + m_separator + two + m_separator + two
                                   : two + m_separator + two + m_separator + four;
}

QString LocaleDateFormat::format(const QDate &date) const
{
    if (!date.isValid())
        return blankText();
    const QString d = QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
    const QString m = QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
    const QString y = QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    switch (m_order) {
    case MonthDayYear: return m + m_separator + d + m_separator + y;
    case YearMonthDay: return y + m_separator + m + m_separator + d;
    default: return d + m_separator + m + m_separator + y;
    }
}

QDate LocaleDateFormat::parse(const QString &text) const
{
    const QString t = text.trimmed();
    if (t.size() != 10)
        return {};
    const bool yearFirst = m_order == YearMonthDay;
    const qsizetype sep1 = yearFirst ? 4 : 2, sep2 = yearFirst ? 7 : 5;
    if (t.at(sep1) != m_separator || t.at(sep2) != m_separator)
        return {};
    int day, month, year;
    switch (m_order) {
    case YearMonthDay:
        year = digits(t, 0, 4);
        month = digits(t, 5, 2);
        day = digits(t, 8, 2);
        break;
    case MonthDayYear:
        month = digits(t, 0, 2);
        day = digits(t, 3, 2);
        year = digits(t, 6, 4);
        break;
    default:
        day = digits(t, 0, 2);
        month = digits(t, 3, 2);
        year = digits(t, 6, 4);
        break;
    }
    if (day < 0 || month < 0 || year < 0)
        return {};
    return QDate(year, month, day);
}

// ---- LogDateFilter --------------------------------------------------------------

LogDateFilter::LogDateFilter(const QString &fromText, const QString &toText, const LocaleDateFormat &format)
    : m_from(format.parse(fromText)), m_to(format.parse(toText)), m_separator(format.separator())
{
}

bool LogDateFilter::accepts(QByteArrayView line) const
{
    if (!isActive())
        return true;
    const QDate date = LogLine::eventDate(line, m_separator);
    if (!date.isValid())
        return true; // a line that does not start with a date is always shown
    // Both bounds are days the user wants to see: a line dated on either of
    // them is shown.
    return date >= m_from && date <= m_to;
}

// ---- LogViewModel ---------------------------------------------------------------

LogViewModel::LogViewModel(const EventLog &log, QObject *parent) : QAbstractTableModel(parent), m_log(log) {}

void LogViewModel::rebuild(const LogDateFilter &filter)
{
    beginResetModel();
    std::vector<int>().swap(m_rows);
    const int n = m_log.count();
    if (!filter.isActive()) {
        m_rows.resize(size_t(n));
        for (int i = 0; i < n; ++i)
            m_rows[size_t(i)] = i;
    } else {
        m_rows.reserve(size_t(n));
        for (int i = 0; i < n; ++i)
            if (filter.accepts(m_log.rawLine(i)))
                m_rows.push_back(i);
        m_rows.shrink_to_fit();
    }
    endResetModel();
}

void LogViewModel::clear()
{
    beginResetModel();
    std::vector<int>().swap(m_rows);
    endResetModel();
}

LogCells LogViewModel::cells(int row) const
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return {};
    const QByteArrayView bytes = m_log.rawLine(m_rows[size_t(row)]);
    return LogLine::split(Ansi::toUnicode(bytes.data(), bytes.size()));
}

int LogViewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LogViewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LogViewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const LogCells c = cells(index.row());
    QString text;
    switch (index.column()) {
    case EventTimeColumn: text = c.eventTime; break;
    case HostColumn: text = c.host; break;
    case StatusColumn: text = c.status; break;
    case TestMethodColumn: text = c.testMethod; break;
    default: return {};
    }
    return text;
}

QVariant LogViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnTitle(section);
    return {};
}

QString LogViewModel::columnTitle(int column)
{
    switch (column) {
    case EventTimeColumn: return QStringLiteral("Event time");
    case HostColumn: return QStringLiteral("Host");
    case StatusColumn: return QStringLiteral("Status");
    case TestMethodColumn: return QStringLiteral("Test Metod");
    default: return {};
    }
}
