#pragma once
// Automatic backups of the regulator's settings: before an operation replaces
// them (a write, a reset), the settings it is about to replace are saved as a
// settings file in the backups folder, named so that a listing sorts by time
// and shows the regulator and the operation:
//     2026-12-08_143005_Port-engine_write.krv
// "About to be replaced" is what the last complete read from that regulator
// brought; without such a read since start the backup holds the settings as
// the program had them and says so in its name ("..._write_unread.krv").
// Only the newest files are kept.
#include "records/settings_record.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class SettingsBackups {
public:
    static constexpr int KeptBackups = 200;

    // The folder: "backups" in the user's data location of this program,
    // unless another is given (tests).
    explicit SettingsBackups(QString folder = {});
    QString Folder() const { return folder_; }

    // A complete read from the regulator of this name brought these settings.
    void NoteRead(const SettingsRecord& read, const QByteArray& regulatorName);
    // What the regulator holds is not known any more (a reset, a write whose
    // end was not confirmed).
    void ForgetRead() { lastRead_.reset(); }
    // The settings that an operation on the regulator of this name replaces:
    // those of the last read from it, if any.
    std::optional<SettingsRecord> LastRead(const QByteArray& regulatorName) const;

    // Saves the backup before `operation` ("write", "reset", ...) and drops
    // the oldest backups beyond KeptBackups. `current` is what the program
    // holds, saved when there was no read. Returns the file's path, or an
    // empty string with the reason in *failure.
    QString Save(const QString& operation, const QByteArray& regulatorName, const SettingsRecord& current,
                 const QDateTime& when, QString* failure);

    struct Entry {
        QString path;
        QDateTime when;
        QString operation; // "write", "reset", "calibration-write", ...
        bool read = true;  // holds a read from the regulator ("_unread": the program's settings)
    };
    // The backups of the regulator of this name, newest first.
    QList<Entry> List(const QByteArray& regulatorName) const;

    // The file name of a backup (exposed for the listing rules).
    static QString FileName(const QDateTime& when, const QByteArray& regulatorName, const QString& operation,
                            bool read);

private:
    void Prune() const;

    QString folder_;
    std::optional<SettingsRecord> lastRead_;
    QByteArray lastReadName_;
};
