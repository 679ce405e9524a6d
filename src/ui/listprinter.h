#pragma once

#include <QString>

class MonitorEngine;
class QPrinter;

// Prints the main list: headings at y = 100, one row per line step below, in
// the device units of a 300-dpi printer, a new page with the headings again
// when a row does not fit. Every cell is printed whole: a text wider than its
// column in a smaller font that fits.
class ListPrinter
{
public:
    // False, with the reason in *error, when the print job could not start.
    static bool print(QPrinter &printer, const MonitorEngine &engine, QString *error = nullptr);
};
