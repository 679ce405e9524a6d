#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QChar>
#include <QDate>
#include <QLocale>
#include <QString>

#include <vector>

class EventLog;

// The four cells a log line shows in the log analyser.
struct LogCells {
    QString eventTime;  // "Event time": the text before the first ";;"
    QString host;       // "Host": between the first and the second ";;"
    QString status;     // "Status": between the second and the third ";;"
    QString testMethod; // "Test Metod": everything after the third ";;"

    bool operator==(const LogCells &) const = default;
};

namespace LogLine {

// Cuts a line at its first three ";;" separators, from the left. The pieces
// fill Event time, Host, Status and Test Metod in that order; whatever
// follows the third separator, further separators included, is the Test
// Metod cell. A line with fewer separators fills only the first cells and
// leaves the others empty: a line without any ";;" is all Event time, and an
// empty line gives four empty cells. Every line gives exactly one row.
LogCells split(const QString &line);

// The date a line starts with: two-digit day, separator, two-digit month,
// separator, four-digit year, as the program writes its event time. The
// separators are "." or the given date separator of the user's locale (the
// log of a run with another locale). An invalid date when the line does not
// start with a complete, real date. The order is always day first, whatever
// the locale's order, because that is how the lines are written.
QDate eventDate(QByteArrayView line, QChar dateSeparator = QLatin1Char('.'));

} // namespace LogLine

// The date edits of the log analyser: two digits for the day, two for the
// month and four for the year, in the order of the locale's short-date format
// and joined by its date separator (for example "dd.mm.yyyy", "mm/dd/yyyy" or
// "yyyy-mm-dd").
class LocaleDateFormat
{
public:
    enum Order { DayMonthYear, MonthDayYear, YearMonthDay };

    explicit LocaleDateFormat(const QLocale &locale = QLocale());
    LocaleDateFormat(Order order, QChar separator) : m_order(order), m_separator(separator) {}

    Order order() const { return m_order; }
    // The locale's date separator: the first mark between the first two
    // fields of its short-date format; "/" when the format has none.
    QChar separator() const { return m_separator; }

    // The input mask of a QLineEdit: "99.99.9999;_" in the locale's order.
    QString inputMask() const;
    // The text of an edit nobody has filled: blanks and separators.
    QString blankText() const;
    // The date in the edit's shape ("05.03.2005").
    QString format(const QDate &date) const;
    // The date an edit's text stands for, by the locale's order. An invalid
    // date unless every digit position is filled (blanks around the whole
    // text aside) and the three numbers form a real date.
    QDate parse(const QString &text) const;

private:
    Order m_order = DayMonthYear;
    QChar m_separator = QLatin1Char('/');
};

// Which lines the analyser shows while "Filter" is ticked: those whose date
// is on or after the From date and on or before the To date. When
// either bound is not a complete date, or a line does not start with a date,
// the line is shown.
class LogDateFilter
{
public:
    LogDateFilter() = default; // inactive: every line is shown
    LogDateFilter(const QString &fromText, const QString &toText, const LocaleDateFormat &format);

    bool isActive() const { return m_from.isValid() && m_to.isValid(); }
    QDate from() const { return m_from; }
    QDate to() const { return m_to; }
    bool accepts(QByteArrayView line) const;

private:
    QDate m_from, m_to;
    QChar m_separator = QLatin1Char('.');
};

// The analyser's view: one row per shown line of the event log, four
// columns. It holds only the indexes of the shown lines, so a log of a
// million lines costs four megabytes here and the cells are cut from the
// log's own bytes when a row is painted. It is a snapshot: lines appended to
// the log after rebuild() appear at the next rebuild().
class LogViewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { EventTimeColumn, HostColumn, StatusColumn, TestMethodColumn, ColumnCount };

    explicit LogViewModel(const EventLog &log, QObject *parent = nullptr);

    // Rebuilds the rows from every line of the log in log order, keeping the
    // lines the filter accepts (all of them without a filter).
    void rebuild(const LogDateFilter &filter = LogDateFilter());
    // Removes every row.
    void clear();

    int lineIndex(int row) const { return m_rows[size_t(row)]; }
    LogCells cells(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString columnTitle(int column);

private:
    const EventLog &m_log;
    std::vector<int> m_rows;
};
