#include "records/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
QString NativePath(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }
}

FileOutcome SaveSettingsFile(const QString& path, const SettingsRecord& record)
{
    const auto cannotCreate = [&path](const QFileDevice& file) {
        return FileOutcome{false, QStringLiteral("Cannot create file \"%1\". %2").arg(NativePath(path), file.errorString())};
    };
    const auto bytes = reinterpret_cast<const char*>(record.Data());
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        // Not a plain file (a device): written in place.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return cannotCreate(file);
        if (file.write(bytes, qint64(SettingsRecord::Size)) != qint64(SettingsRecord::Size) || !file.flush())
            return {false, QStringLiteral("Stream write error")};
        return {};
    }
    // The new content takes the file's place only once it was written whole:
    // a save that fails (a full disk) leaves the file that was there as it
    // was, or no file, never one cut short. Where the folder takes no new
    // files, an existing file is written in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return cannotCreate(file);
    if (file.write(bytes, qint64(SettingsRecord::Size)) != qint64(SettingsRecord::Size) || !file.commit())
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

QString OversizeSettingsFileQuestion(const QString& path)
{
    const qint64 size = QFileInfo(path).size();
    if (size <= qint64(SettingsRecord::Size))
        return QString();
    return QStringLiteral("The file \"%1\" has %2 bytes, but a settings file has %3 bytes.\r"
                          "Load its first %3 bytes as settings?")
        .arg(QDir::toNativeSeparators(path))
        .arg(size)
        .arg(SettingsRecord::Size);
}

QString SettingsLoadFailureText(const FileOutcome& outcome, const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || file.size() >= qint64(SettingsRecord::Size))
        return outcome.message;
    return QStringLiteral("%1. The file \"%2\" has %3 bytes; a settings file has %4 bytes.")
        .arg(outcome.message, QDir::toNativeSeparators(path))
        .arg(file.size())
        .arg(SettingsRecord::Size);
}
