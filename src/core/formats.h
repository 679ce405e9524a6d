#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Date, time and number texts as the program writes them.
namespace Formats {

// The locale's time separator, taken from its time format (":" when none).
QString timeSeparator(const QLocale &locale = QLocale::system());
// "hh:nn:ss" with the locale's time separator, 24-hour clock.
QString timeText(const QTime &time, const QLocale &locale = QLocale::system());
// "dd.mm.yyyy hh:nn:ss": the event-log time; the dots are fixed.
QString eventTime(const QDateTime &when, const QLocale &locale = QLocale::system());
// "dddddd hh:nn:ss": the locale's long date, a blank and the time.
QString longDateTime(const QDateTime &when, const QLocale &locale = QLocale::system());
// General number format: shortest form, up to 15 significant digits, the
// locale's decimal separator, no decimals for a whole number.
QString generalNumber(double value, const QLocale &locale = QLocale::system());

} // namespace Formats
