#pragma once
// Whether a settings record is one the program would send to a regulator:
// taken through the editors, every field would stay as it is. Each field lies
// within its row's limits, coded fields within the range their caption
// names, the active profile is one of the eight tabs, every real is a finite
// number the grid can show, every text field is terminated and made of the
// characters a text row stores, and every point of the field/RPM curve lies
// within 30 to 100 %. Fields the editors keep without limits (the device
// version, the field percentages, the refresh rate, ...) are never departures.
//
// Every record that reaches the program from outside (a file, a snapshot, a
// backup, the relay) is checked before it is taken, and every write checks
// what it is about to send.
#include "records/settings_record.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

struct SettingsDeparture {
    QString caption; // the row's caption; a profile's rows name their tab
    QString found;   // the value the record holds, as text
    QString stored;  // what the editors would store instead
    // The bytes the editors store at `offset`; empty when they would keep
    // the value (a real without limits that is not a number: the user has
    // to type one before the settings can be written).
    std::size_t offset = 0;
    QByteArray fix;
};

// The departures in row order: system settings, the eight profiles, the
// curve. Voltages are shown in the terms of the given system voltage.
QList<SettingsDeparture> CheckSettings(const SettingsRecord& record, uint16_t detectedSystemVoltage = 0);
inline bool IsPlausible(const SettingsRecord& record) { return CheckSettings(record).isEmpty(); }

// The record with every departure replaced by what the editors would store;
// the other fields untouched. A departure without a fix stays.
SettingsRecord WithDeparturesFixed(SettingsRecord record, const QList<SettingsDeparture>& departures);

// The first `shown` departures, a line each ("caption: found (the editors
// store stored)"), and how many more there are.
QString DeparturesText(const QList<SettingsDeparture>& departures, int shown = 5);

// A real as a departure shows it: "not a number", "infinite" or the number.
QString DepartureValueText(double value);
// A text field's bytes: printable characters as they are, others as \xNN,
// the trailing zero bytes left out, in double quotes.
QString DepartureText(const QByteArray& bytes);

// "<source> holds settings that are not plausible:" and the departures, for
// the question before such settings are taken.
QString ImplausibleSettingsText(const QString& source, const QList<SettingsDeparture>& departures);

// A snapshot's departures: those of its settings, and a regulator name (own
// or peer) that is not text.
class SnapshotRecord;
QList<SettingsDeparture> CheckSnapshot(const SnapshotRecord& snapshot);
