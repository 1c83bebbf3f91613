#include "backup/settings_backups.h"

#include "records/ansi_text.h"
#include "records/settings_file.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// The regulator's name as a file name part: letters and digits, other runs
// of characters as one dash.
QString NamePart(const QByteArray& regulatorName)
{
    const QString name = FromAnsi(regulatorName);
    QString part;
    for (const QChar c : name) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            part += c;
        else if (!part.endsWith(QLatin1Char('-')))
            part += QLatin1Char('-');
    }
    while (part.startsWith(QLatin1Char('-')))
        part.remove(0, 1);
    while (part.endsWith(QLatin1Char('-')))
        part.chop(1);
    return part.isEmpty() ? QStringLiteral("regulator") : part;
}

} // namespace

SettingsBackups::SettingsBackups(QString folder) : folder_(std::move(folder))
{
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backups");
}

void SettingsBackups::NoteRead(const SettingsRecord& read, const QByteArray& regulatorName)
{
    lastRead_ = read;
    lastReadName_ = regulatorName;
}

std::optional<SettingsRecord> SettingsBackups::LastRead(const QByteArray& regulatorName) const
{
    // A read from another regulator (one was swapped for another on the same
    // cable) says nothing about this one.
    if (!lastRead_ || lastReadName_ != regulatorName)
        return std::nullopt;
    return lastRead_;
}

QString SettingsBackups::FileName(const QDateTime& when, const QByteArray& regulatorName, const QString& operation,
                                  bool read)
{
    return when.toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + QLatin1Char('_') + NamePart(regulatorName)
           + QLatin1Char('_') + operation + (read ? QString() : QStringLiteral("_unread"))
           + QStringLiteral(".krv");
}

QString SettingsBackups::Save(const QString& operation, const QByteArray& regulatorName,
                              const SettingsRecord& current, const QDateTime& when, QString* failure)
{
    const std::optional<SettingsRecord> read = LastRead(regulatorName);
    if (!QDir().mkpath(folder_)) {
        if (failure)
            *failure = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder_));
        return {};
    }
    QString path = QDir(folder_).filePath(FileName(when, regulatorName, operation, read.has_value()));
    // Two operations in one second keep both backups.
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(folder_).filePath(FileName(when, regulatorName, operation + QLatin1Char('-') + QString::number(n),
                                               read.has_value()));
    const FileOutcome outcome = SaveSettingsFile(path, read ? *read : current);
    if (!outcome.ok) {
        QFile::remove(path); // nothing half written stays behind
        if (failure)
            *failure = outcome.message;
        return {};
    }
    Prune();
    return path;
}

void SettingsBackups::Prune() const
{
    // The names begin with the time, so the oldest sort first.
    static const QRegularExpression backupName(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d{6}_.*\\.krv$"));
    QStringList names = QDir(folder_).entryList({QStringLiteral("*.krv")}, QDir::Files, QDir::Name).filter(backupName);
    while (names.size() > KeptBackups)
        QFile::remove(QDir(folder_).filePath(names.takeFirst()));
}

QList<SettingsBackups::Entry> SettingsBackups::List(const QByteArray& regulatorName) const
{
    // yyyy-MM-dd_HHmmss_<name>_<operation>[-n][_unread].krv
    static const QRegularExpression backupName(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d_\\d{6})_([A-Za-z0-9-]+)_([a-z-]+?)(-\\d+)?(_unread)?\\.krv$"));
    const QString name = NamePart(regulatorName);
    QList<Entry> entries;
    const QStringList files = QDir(folder_).entryList({QStringLiteral("*.krv")}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString& file : files) {
        const QRegularExpressionMatch m = backupName.match(file);
        if (!m.hasMatch() || m.captured(2) != name)
            continue;
        entries.append({QDir(folder_).filePath(file),
                        QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd_HHmmss")), m.captured(3),
                        m.captured(5).isEmpty()});
    }
    // Names of one second do not sort by time ("reset" before "write",
    // "write" before "write-2"): there the file's own time decides.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.when != b.when)
            return a.when > b.when;
        return QFileInfo(a.path).lastModified() > QFileInfo(b.path).lastModified();
    });
    return entries;
}
