#include "records/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString NativePath(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }
}

FileOutcome SaveSettingsFile(const QString& path, const SettingsRecord& record)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {false, QStringLiteral("Cannot create file \"%1\". %2").arg(NativePath(path), file.errorString())};
    const qint64 written = file.write(reinterpret_cast<const char*>(record.Data()), qint64(SettingsRecord::Size));
    if (written != qint64(SettingsRecord::Size) || !file.flush())
        return {false, QStringLiteral("Stream write error")};
    return {};
}

FileOutcome LoadSettingsFile(const QString& path, SettingsRecord& record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("Cannot open file \"%1\". %2").arg(NativePath(path), file.errorString())};
    // Only the first 540 bytes matter, so a huge file is never pulled into memory.
    const QByteArray content = file.read(qint64(SettingsRecord::Size));
    if (content.size() < int(SettingsRecord::Size))
        return {false, QStringLiteral("Stream read error")};
    record.Assign(reinterpret_cast<const uint8_t*>(content.constData()));
    return {};
}
