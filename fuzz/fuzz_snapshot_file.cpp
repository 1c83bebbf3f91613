// Dropped snapshot files of any content and length.
#include "records/snapshot_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("snapshot.TxT"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const SnapshotLoad load = LoadSnapshotFile(path);
    const bool complete = size >= SnapshotRecord::Size;
    if ((load.status == SnapshotLoad::Loaded) != complete || (load.status == SnapshotLoad::Invalid) == complete)
        std::abort();
    if (complete && std::memcmp(load.record.Data(), data, SnapshotRecord::Size) != 0)
        std::abort();
    return 0;
}
