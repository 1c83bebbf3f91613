#include "records/snapshot_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool IsSnapshotFileName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    return name.mid(dot + 1).toUpper() == QLatin1String("TXT");
}

SnapshotLoad LoadSnapshotFile(const QString& path)
{
    SnapshotLoad load;
    if (!IsSnapshotFileName(path))
        return load;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return load;
    const QByteArray content = file.read(qint64(SnapshotRecord::Size));
    if (file.error() != QFileDevice::NoError)
        return load;

    if (content.size() < int(SnapshotRecord::Size)) {
        load.status = SnapshotLoad::Invalid;
        const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
        load.errorText = QStringLiteral("File \"%1\" does not contain valid K-ROVA data").arg(fullPath);
        return load;
    }
    load.record.Assign(reinterpret_cast<const uint8_t*>(content.constData()));
    load.status = SnapshotLoad::Loaded;
    return load;
}
