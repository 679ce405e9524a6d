#include "listprinter.h"
#include "core/engine.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <cmath>
#include <iterator>

namespace
{

// The printed columns: x positions in 300-dpi device units and headings.
struct PrintColumn {
    int x;
    const char *heading;
};
constexpr PrintColumn kPrintColumns[] = {
    {100, "Host"}, {600, "Status"}, {1100, "Last Test"}, {1600, "Interval"}, {1800, "Test Metod"},
};
constexpr int kPrintTop = 100;

} // namespace

bool ListPrinter::print(QPrinter &printer, const MonitorEngine &engine, QString *error)
{
    // Without any printer the toolkit falls back to a PDF printer; with no
    // file chosen for it there is nowhere to print.
    if ((printer.outputFormat() == QPrinter::NativeFormat && printer.printerName().isEmpty()) ||
        (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())) {
        if (error)
            *error = QStringLiteral("No printer is installed. Choose \"Print to File (PDF)\" in the print dialog "
                                    "to print the list into a file.");
        return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error) {
            *error = printer.outputFormat() == QPrinter::PdfFormat
                         ? QStringLiteral("Cannot print to the file \"%1\".").arg(printer.outputFileName())
                         : QStringLiteral("Cannot print on the printer \"%1\".").arg(printer.printerName());
        }
        return false;
    }
    // Every position is in the device units of a 300-dpi printer; a printer
    // of another resolution gets the same layout scaled.
    const double scale = printer.resolution() / 300.0;
    painter.scale(scale, scale);
    const double pageWidth = printer.width() / scale;
    const double pageHeight = printer.height() / scale;

    // The printer's font: the application's, sized in points for 300 dpi.
    QFont regular = QApplication::font();
    const double points = QFontInfo(regular).pointSizeF() > 0 ? QFontInfo(regular).pointSizeF() : 10.0;
    regular.setPixelSize(qRound(points * 300.0 / 72.0));
    QFont bold = regular;
    bold.setBold(true);

    const int columns = int(std::size(kPrintColumns));
    auto drawRow = [&](double y, const QStringList &cells) {
        const QFont rowFont = painter.font();
        const QFontMetricsF fm(rowFont, &printer);
        for (int c = 0; c < columns && c < cells.size(); ++c) {
            const double x = kPrintColumns[c].x;
            // A cell never runs into the next column and is never cut: a
            // text wider than its column is printed whole in a smaller font
            // that fits, on the row's base line.
            const double room = qMax((c + 1 < columns ? kPrintColumns[c + 1].x : pageWidth) - x - 20, 1.0);
            const QString &text = cells.at(c);
            double width = fm.horizontalAdvance(text);
            if (width <= room) {
                painter.drawText(QPointF(x, y + fm.ascent()), text);
                continue;
            }
            QFont smaller = rowFont;
            double pixels = rowFont.pixelSize();
            for (int tries = 0; tries < 8 && width > room && pixels > 1; ++tries) {
                pixels = qMax(1.0, std::floor(pixels * room / width));
                smaller.setPixelSize(int(pixels));
                width = QFontMetricsF(smaller, &printer).horizontalAdvance(text);
                if (width > room)
                    pixels -= 1;
            }
            painter.setFont(smaller);
            painter.drawText(QPointF(x, y + fm.ascent()), text);
            painter.setFont(rowFont);
        }
    };
    auto headings = [&] {
        painter.setFont(bold);
        QStringList texts;
        for (const PrintColumn &c : kPrintColumns)
            texts << QString::fromLatin1(c.heading);
        drawRow(kPrintTop, texts);
        painter.setFont(regular);
    };

    headings();
    const double step = QFontMetricsF(regular, &printer).height() + 20;
    double y = kPrintTop + step;
    for (int row = 0; row < engine.count(); ++row) {
        const ObserverObject *o = engine.object(row);
        if (y + step > pageHeight && y > kPrintTop + step) {
            printer.newPage();
            headings();
            y = kPrintTop + step;
        }
        drawRow(y, {o->caption, o->status, o->lastTest, o->interval, o->method});
        y += step;
    }
    painter.end();
    return true;
}
