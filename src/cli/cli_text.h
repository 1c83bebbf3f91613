#pragma once
// What the command-line tool prints: the state pages and the settings page
// as aligned text or as JSON, from the same texts the window shows.
#include "records/system_state_record.h"
#include "settings/settings_page_rows.h"
#include "views/state_views.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The page's four parts under their captions, the grids in aligned columns.
QString StatePageText(const StatePageTexts& page);
// One JSON object: "Measured Values" (caption -> {column caption -> text}),
// "System State" and "Regulator State" (caption -> text), "System Messages"
// (the lines), and "raw" with the record's numbers.
QByteArray StatePageJson(const StatePageTexts& page, const SystemStateRecord& record);

// The rows section by section, captions and texts in aligned columns.
QString SettingsRowsText(const QList<SettingsPageRow>& rows);
// One JSON object: section -> (caption -> text).
QByteArray SettingsRowsJson(const QList<SettingsPageRow>& rows);
