// The Schedule.dat reader. Whole records only, and what was read, written
// and read again gives the same file.
#include "fuzzsupport.h"

#include "schedules/schedulestore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::scratchPath(QStringLiteral("Schedule.dat"));
    Fuzz::writeScratch(path, data, size);
    ScheduleList list;
    list.LoadSchedules(path);
    const qsizetype whole = size >= 4 ? qsizetype(size - 4) / ScheduleList::RecordSize : 0;
    FUZZ_CHECK(list.count() <= whole);
    for (int i = 0; i < list.count(); ++i) {
        FUZZ_CHECK(list.indexOf(list.profile(i)->Name) <= i);
        (void)list.profile(i)->allows(QDate(2025, 3, 31));
    }

    const QByteArray written = list.encode();
    Fuzz::writeScratch(path, reinterpret_cast<const uint8_t *>(written.constData()), size_t(written.size()));
    ScheduleList again;
    FUZZ_CHECK(again.LoadSchedules(path));
    FUZZ_CHECK(again.names() == list.names());
    FUZZ_CHECK(again.encode() == written);
    return 0;
}
