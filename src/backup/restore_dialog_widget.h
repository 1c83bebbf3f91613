#pragma once
// The window of "Restore Settings From Backup...": the backups of the
// connected regulator, newest first, with the operation each was made
// before, and for the one chosen the settings in which it differs from those
// the regulator holds now. "Restore" asks for the chosen one to be written.
#include "backup/settings_backups.h"
#include "compare/settings_compare.h"

#include <QDialog>

#include <functional>

class QListWidget;
class QVBoxLayout;

class RestoreBackupDialog : public QDialog {
    Q_OBJECT
public:
    // `differences` compares a backup file with the regulator's settings.
    RestoreBackupDialog(const QList<SettingsBackups::Entry>& backups, const QString& regulator,
                        std::function<QList<SettingsDifference>(const QString& path)> differences,
                        QWidget* parent = nullptr);

    int Count() const;
    void Select(int index);
    QString SelectedPath() const;
    // The differences of the chosen backup as a list of lines.
    QString DifferencesText() const { return differencesText_; }

signals:
    void restoreRequested(const QString& path);

private:
    void ShowDifferences();

    QList<SettingsBackups::Entry> backups_;
    std::function<QList<SettingsDifference>(const QString&)> differences_;
    QListWidget* list_;
    QVBoxLayout* view_;
    QWidget* shown_ = nullptr;
    QString differencesText_;
};

// "2026-12-08 14:30:05, before a calibration write" (and ", not a read" for
// a backup of the settings the program held).
QString BackupEntryText(const SettingsBackups::Entry& entry);
