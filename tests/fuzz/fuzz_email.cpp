// The email.dat reader (the message template). Its lines, written and read
// again, are the same lines.
#include "fuzzsupport.h"

#include "settings/programoptions.h"

#include <QSettings>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::ensureApplication();
    static QSettings settings(Fuzz::scratchPath(QStringLiteral("options.ini")), QSettings::IniFormat);
    const QString path = Fuzz::scratchPath(QStringLiteral("email.dat"));
    Fuzz::writeScratch(path, data, size);
    ProgramOptions options;
    const OptionsLocation where{&settings, path};
    FUZZ_CHECK(LoadProgramOptions(options, where));

    const QStringList lines = options.MessageTemplate;
    FUZZ_CHECK(lines == OptionText::splitLines(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))));
    const QByteArray written = OptionText::joinLines(lines);
    FUZZ_CHECK(OptionText::splitLines(written) == lines);
    return 0;
}
