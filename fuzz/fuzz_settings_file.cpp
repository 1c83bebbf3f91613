// Settings files of any content and length: a load either fails and leaves
// the record as it was, or takes exactly the first 540 bytes.
#include "records/settings_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzz.krv"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SettingsRecord record;
    record.Data()[0] = 0x5A;
    const SettingsRecord before = record;
    const FileOutcome outcome = LoadSettingsFile(path, record);
    if (outcome.ok != (size >= SettingsRecord::Size))
        std::abort();
    if (outcome.ok ? std::memcmp(record.Data(), data, SettingsRecord::Size) != 0 : record != before)
        std::abort();
    return 0;
}
