// The profile.dat reader. Whole records only, never more than the file
// holds, and every record read is written back byte for byte while it is
// unchanged.
#include "fuzzsupport.h"

#include "alerts/alertprofile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::scratchPath(QStringLiteral("profile.dat"));
    Fuzz::writeScratch(path, data, size);
    AlertProfileList list(path);
    QString problem;
    list.load(&problem);
    const qsizetype whole = size >= 4 ? qsizetype(size - 4) / AlertProfile::Size : 0;
    FUZZ_CHECK(list.count() <= whole);

    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray written = list.encode();
    FUZZ_CHECK(written.size() == 4 + qsizetype(list.count()) * AlertProfile::Size);
    for (int i = 0; i < list.count(); ++i) {
        FUZZ_CHECK(written.mid(4 + i * AlertProfile::Size, AlertProfile::Size) ==
                   input.mid(4 + i * AlertProfile::Size, AlertProfile::Size));
        (void)list.find(list.at(i).Name);
    }

    // The pure parser agrees with the file reader.
    std::vector<AlertProfile> parsed;
    AlertProfileList::decode(input, &parsed);
    FUZZ_CHECK(parsed.size() == size_t(list.count()));
    return 0;
}
