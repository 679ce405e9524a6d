// The project file reader. Whatever the bytes, reading stops at their end
// without inventing objects, and what was read, written and read again gives
// the same file (the writer's bytes are a fixed point).
#include "fuzzsupport.h"

#include "core/projectfile.h"
#include "core/records.h"

#include <QBuffer>

#include <vector>

namespace {

std::vector<ObserverRecord> readAll(QByteArray bytes, ProjectFormat::ReadResult *result)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    std::vector<ObserverRecord> records;
    *result = ProjectFormat::read(buffer, [&](ObserverRecord &&r) { records.push_back(std::move(r)); });
    return records;
}

QByteArray writeAll(const std::vector<ObserverRecord> &records)
{
    std::vector<const ObserverRecord *> pointers;
    for (const ObserverRecord &r : records)
        pointers.push_back(&r);
    return ProjectFormat::encode(pointers);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProjectFormat::ReadResult first;
    const std::vector<ObserverRecord> records =
        readAll(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &first);
    FUZZ_CHECK(first.read == int(records.size()));
    FUZZ_CHECK(size_t(first.read) <= size / ObserverRecord::Size);
    for (const ObserverRecord &r : records) {
        (void)Records::rowCaption(r);
        (void)Records::intervalText(r);
        (void)r.intervalMs();
    }
    if (first.status == ProjectFormat::ReadResult::NotProject)
        return 0;

    const QByteArray written = writeAll(records);
    ProjectFormat::ReadResult second;
    const std::vector<ObserverRecord> again = readAll(written, &second);
    FUZZ_CHECK(second.status == ProjectFormat::ReadResult::Complete);
    FUZZ_CHECK(again.size() == records.size());
    FUZZ_CHECK(writeAll(again) == written);
    return 0;
}
