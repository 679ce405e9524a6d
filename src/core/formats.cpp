#include "formats.h"

#include <cmath>

namespace Formats {

QString timeSeparator(const QLocale &locale)
{
    const QString fmt = locale.timeFormat(QLocale::ShortFormat);
    bool inQuote = false;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        const QChar c = fmt.at(i);
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote || c.isLetter() || c.isSpace())
            continue;
        // the first separator that follows the hour field
        if (i > 0 && (fmt.at(i - 1) == QLatin1Char('h') || fmt.at(i - 1) == QLatin1Char('H')))
            return QString(c);
    }
    return QStringLiteral(":");
}

static QString two(int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); }

QString timeText(const QTime &t, const QLocale &locale)
{
    const QString sep = timeSeparator(locale);
    return two(t.hour()) + sep + two(t.minute()) + sep + two(t.second());
}

QString eventTime(const QDateTime &when, const QLocale &locale)
{
    const QDate d = when.date();
    return two(d.day()) + QLatin1Char('.') + two(d.month()) + QLatin1Char('.') +
           QString::number(d.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char(' ') +
           timeText(when.time(), locale);
}

QString longDateTime(const QDateTime &when, const QLocale &locale)
{
    return locale.toString(when.date(), QLocale::LongFormat) + QLatin1Char(' ') + timeText(when.time(), locale);
}

QString generalNumber(double value, const QLocale &locale)
{
    QString s = QString::number(value, 'g', 15);
    // A whole number below 1e15 is written out in full rather than with an
    // exponent. The magnitude is checked before the cast: a double beyond
    // the range of a 64-bit integer (or NaN, or infinity) has no such
    // integer, and converting it would be undefined.
    if (s.contains(QLatin1Char('e')) && std::isfinite(value) && std::fabs(value) < 1e15 &&
        value == std::trunc(value))
        s = QString::number(qint64(value));
    const QString dec = locale.decimalPoint();
    if (dec != QLatin1String("."))
        s.replace(QLatin1Char('.'), dec);
    return s;
}

} // namespace Formats
