// The data.log reader. Every line keeps its bytes, and the log written back
// is its lines, each followed by CR LF.
#include "fuzzsupport.h"

#include "eventlog/eventlog.h"
#include "eventlog/logview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::scratchPath(QStringLiteral("data.log"));
    Fuzz::writeScratch(path, data, size);
    EventLog log;
    FUZZ_CHECK(log.LoadEventLog(path));
    QByteArray expected;
    for (int i = 0; i < log.count(); ++i) {
        const QByteArrayView raw = log.rawLine(i);
        FUZZ_CHECK(!raw.contains('\r') && !raw.contains('\n'));
        expected += raw.toByteArray() + "\r\n";
        const LogCells cells = LogLine::split(log.line(i));
        (void)cells;
        (void)LogLine::eventDate(raw);
    }
    const QString out = Fuzz::scratchPath(QStringLiteral("data.out"));
    FUZZ_CHECK(log.SaveEventLog(out));
    FUZZ_CHECK(Fuzz::readScratch(out) == expected);
    return 0;
}
