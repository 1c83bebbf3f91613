#pragma once
// Settings files: the 540 bytes of a SettingsRecord and nothing else.
#include "records/settings_record.h"

#include <QString>

// What the file dialogs offer for settings files.
inline const QString SettingsFileFilter = QStringLiteral("K-ROVA X Settings File|*.krv");
inline const QString SettingsFileSuffix = QStringLiteral("krv");

struct FileOutcome {
    bool ok = true;
    QString message; // the failure's message, shown to the user as it stands
};

// Writes the record to a file in one piece: a failed save leaves no file
// cut short behind (the old file stays as it was).
FileOutcome SaveSettingsFile(const QString& path, const SettingsRecord& record);

// Reads the whole file and replaces the record by its first 540 bytes. A file
// that cannot be opened or is shorter than 540 bytes leaves the record as it was.
FileOutcome LoadSettingsFile(const QString& path, SettingsRecord& record);

// A file longer than a settings file is most likely none (a README renamed):
// the question whether to load its first 540 bytes all the same. Empty for a
// file that is no longer than a settings file.
QString OversizeSettingsFileQuestion(const QString& path);
// What a failed load says: the reader's own words first, then, for a file
// too short, its size and the size of a settings file.
QString SettingsLoadFailureText(const FileOutcome& outcome, const QString& path);
