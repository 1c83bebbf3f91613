#pragma once
// The rows in which two settings records differ, each shown by the rows of
// the "Settings" page (the same texts, the same scaling of voltages by the
// detected system voltage): the system settings, the eight charge profiles
// and the points of the field/RPM curve.
#include "records/settings_record.h"

#include <QList>
#include <QString>

struct SettingsDifference {
    QString section;  // "System settings", "Profile 3 - FireFly", "Field/RPM curve"
    QString caption;  // the row's caption, or the point's engine speed
    QString ours;     // the text of the first record
    QString theirs;   // the text of the second
};

QList<SettingsDifference> CompareSettings(const SettingsRecord& ours, const SettingsRecord& theirs,
                                          uint16_t detectedSystemVoltage);

// The list as text: a header line, then one tab-separated line per row.
QString DifferencesText(const QList<SettingsDifference>& differences, const QString& oursTitle,
                        const QString& theirsTitle);
