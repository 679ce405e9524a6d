#include "logreport.h"

#include "core/ansitext.h"
#include "core/storefile.h"
#include "eventlog/logview.h"

#include <QDir>

namespace LogReport {

const QString FooterLine = QStringLiteral(
    "<CENTER><FONT SIZE=2>Report created by Velmora Sentrova. &copy; "
    "<A HREF=\"https://www.velmora-labs.example/sentrova/\">Velmora Software Labs</A></FONT></CENTER>");

QString escapeHtml(const QString &text)
{
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('&') || c == QLatin1Char('"'))
            break;
    }
    if (i == text.size())
        return text; // the usual case: nothing to escape, no copy
    return text.toHtmlEscaped();
}

QStringList lines(const QString &fromText, const QString &toText, const LogViewModel &view)
{
    QStringList out;
    out.reserve(view.rowCount() + 12);
    out << QStringLiteral("<HTML><HEAD><TITLE>Velmora Software Labs. Image list</TITLE>")
        << QStringLiteral("<style type=\"text/css\">")
        << QStringLiteral("a:hover {text-decoration: underline; color: red;}") << QStringLiteral("</style>")
        << QStringLiteral("</HEAD>") << QStringLiteral("<BODY><A NAME=\"LeftTop\">")
        << QStringLiteral("<CENTER><FONT COLOR=\"#0000FF\"><H1> Velmora Software Labs </H1></FONT><hr> "
                          "<h3> LOG Report from ") +
               escapeHtml(fromText) + QStringLiteral(" to ") + escapeHtml(toText) + QStringLiteral(" </CENTER>")
        << QStringLiteral("<TABLE BORDER=4 CELLSPAN=10 COLS=8 WIDTH=\"100%\">")
        << QStringLiteral("<TR><TD WIDTH=25% BGCOLOR=\"#FFFF00\">Event Time</TD><TD BGCOLOR=\"#FFFF00\">Host</TD>"
                          "<TD WIDTH=20% BGCOLOR=\"#FFFF00\">Status</TD><TD WIDTH=20% BGCOLOR=\"#FFFF00\">Test "
                          "Method</TD></TR>");
    const int rows = view.rowCount();
    for (int row = 0; row < rows; ++row) {
        const LogCells c = view.cells(row);
        out << QStringLiteral("<TR><TD>") + escapeHtml(c.eventTime) + QStringLiteral("</TD><TD>") +
                   escapeHtml(c.host) + QStringLiteral("</TD><TD>") + escapeHtml(c.status) +
                   QStringLiteral("</TD><TD>") + escapeHtml(c.testMethod) + QStringLiteral("</TD></TR>");
    }
    out << QStringLiteral("</TABLE>") << FooterLine << QStringLiteral("</BODY></HTML>");
    return out;
}

QByteArray encode(const QStringList &lines)
{
    bool codePage = true;
    qsizetype size = 0;
    for (const QString &line : lines) {
        size += line.size() + 2;
        codePage = codePage && Ansi::fitsCodePage(line);
    }
    QByteArray out;
    if (codePage) {
        // Every text fits Windows-1252: the bytes the report always had.
        out.reserve(size);
        for (const QString &line : lines) {
            out += Ansi::fromUnicode(line);
            out += "\r\n";
        }
        return out;
    }
    // Some text needs UTF-8: the whole page is UTF-8 and says so at the top
    // of its head, so that a browser shows every line as it was logged.
    out.reserve(size * 3 + qsizetype(sizeof(Utf8Declaration)));
    bool declared = false;
    for (const QString &line : lines) {
        QByteArray bytes = line.toUtf8();
        if (!declared) {
            const qsizetype head = bytes.indexOf("<HEAD>");
            if (head >= 0) {
                bytes.insert(head + 6, Utf8Declaration);
                declared = true;
            }
        }
        out += bytes;
        out += "\r\n";
    }
    if (!declared)
        out.prepend(QByteArray(Utf8Declaration) + "\r\n");
    return out;
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    QString reason;
    if (StoreFile::write(path, bytes, &reason))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write the report file %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

} // namespace LogReport
