#pragma once
// The whole "Settings" page as rows of text, without the page: the system
// settings, the eight charge profiles and the points of the field/RPM curve,
// each row with its section and caption, voltages in the terms of the
// detected system voltage. The compare list and the command-line tool show
// settings this way; and the record that the page would write after showing
// a record, for writing a settings file without the page.
#include "records/settings_record.h"
#include "settings/field_rpm_curve.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the page draws: the record, the one its cells are compared with, the
// system voltage its voltages are shown in the terms of, and the tab of the
// profile shown.
struct SettingsView {
    const SettingsRecord& record;
    const SettingsRecord& reference;
    uint16_t voltage;
    int tab;
};

struct SettingsPageRow {
    QString section; // "System settings", "Profile 3 - FireFly", "Field/RPM curve"
    QString caption; // the row's caption, or the point's engine speed ("1500 1/min")
    QString text;    // the cell's text, as the page shows it
};

QList<SettingsPageRow> SettingsPageRows(const SettingsRecord& record, uint16_t detectedSystemVoltage);

// `record` with what the page's editors hold: the system settings texts, the
// texts of the profile of tab `tab` and the curve's points, taken back with
// the limits, defaults and rounding of typed values.
SettingsRecord SettingsFromPageTexts(SettingsRecord record, int tab, const QStringList& systemTexts,
                                     const QStringList& profileTexts, const CurvePoints& points,
                                     uint16_t detectedSystemVoltage);

// The record as the page writes it after showing `record`: the system
// settings and the profile of the selected tab taken back from their texts
// (limits, defaults and rounding applied as for typed values), and the curve
// from its chart points.
SettingsRecord SettingsAsPageWrites(const SettingsRecord& record, uint16_t detectedSystemVoltage);
