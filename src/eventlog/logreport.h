#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class LogViewModel;

// The HTML report of the log analyser: a page with a heading that carries the
// two date texts and a table with one row per row of the analyser's view, in
// view order. Cell values and date texts are HTML-escaped, so that a log line
// cannot put markup or script into the page the user opens in a browser.
namespace LogReport {

// The maker's notice at the foot of the report, with a link to the home page.
extern const QString FooterLine;

// "<", ">", "&" and '"' as character references; everything else unchanged.
QString escapeHtml(const QString &text);

// The report's lines, in order: the head, the heading with the "Show from"
// and "To" texts as they stand, the table's title row, one row per row of the
// view, the end of the table, the footer and the end of the page.
QStringList lines(const QString &fromText, const QString &toText, const LogViewModel &view);

// The head's declaration of a UTF-8 page.
inline constexpr char Utf8Declaration[] = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">";

// The file's bytes, each line followed by CR LF: every line in Windows-1252
// when all of the text fits it (the bytes the report always had); otherwise
// the whole page in UTF-8, with Utf8Declaration right after "<HEAD>", so the
// bytes and the page's declared charset agree.
QByteArray encode(const QStringList &lines);

// Creates or replaces the file with the bytes, atomically (a file that was
// there survives a failed write; in place when the folder takes no new file
// but the file may be written). False with a message naming the file in
// *error when it cannot be written.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace LogReport
