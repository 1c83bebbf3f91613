#pragma once
// The system settings grid as plain logic: 36 rows of caption and value, the
// record-to-texts direction for UpdateSystemSettingsTable and the
// texts-to-record direction for StoreSystemSettingsTable. The grid widget only
// copies these texts in and out of its cells.
#include "records/settings_record.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct SettingsDeparture;

constexpr int SystemSettingsRowCount = 36;

// Rows that other code needs to find by number.
enum SystemSettingsRow : int {
    DeviceVersionRow = 0,
    DeviceNameRow = 1,
    WarningBatteryTemperatureRow = 2,
    FaultBatteryTemperatureRow = 3,
    WarningBatteryVoltageRow = 4,
    FaultBatteryVoltageRow = 5,
    WarningAlternatorTemperatureRow = 6,
    FaultAlternatorTemperatureRow = 7,
    PulleyRatioRow = 8,
    AlternatorPolesRow = 9,
    WifiModeRow = 10,
    WifiSsidRow = 11,
    WifiPasswordRow = 12,
    WifiApAddressRow = 13,
    SupportHostDomainRow = 14,
    CanBusModeRow = 15,
    Nmea2000AddressRow = 16,
    ActiveChargeProfileRow = 17,
    AllowedVoltageDropRow = 18,
    BatteryShuntResistanceRow = 19,
    AlternatorShuntResistanceRow = 20,
    AlternatorTypeRow = 21,
    ClimbCoefficientRow = 22,
    CollapseCoefficientRow = 23,
    RegulationBandRow = 24,
    RegulationRefreshRateRow = 25,
    FieldRpmModeRow = 26,
    ComparatorVoltageCompRow = 27,
    BatteryPlusVoltageCompRow = 28,
    BatteryMinusVoltageCompRow = 29,
    PowerSupplyVoltageCompRow = 30,
    RegulatorVoltageCompRow = 31,
    BatteryShuntBiasRow = 32,
    AlternatorShuntGain1Row = 33,
    AlternatorShuntGain2Row = 34,
    AuxTempSensorUsageRow = 35,
};

// Captions of column 0, rows 0 to 35.
QStringList SystemSettingsCaptions();

// Captions of the eight profile tabs, "0 - FLA" to "7 - Custom #3".
QStringList ChargeProfileTabCaptions();

// The tab to select for a stored active profile number. The tab control can
// only select 0 to 7; a larger number that came from the regulator, a file or
// the relay selects tab 0, so the profile grid shows and edits profile 0.
int ProfileTabForActiveIndex(int storedIndex);

// True when the character may be stored in a text field of the record.
bool IsAllowedTextCharacter(char16_t code);

// Voltage scaling between the record's 12-volt terms and what is shown for a
// regulator that detected the given system voltage. The comparisons with 18
// are made in single precision, as the record holds the values.
float VoltageToDisplay(float stored, uint16_t detectedSystemVoltage);
float VoltageFromText(const QString& text, float present, uint16_t detectedSystemVoltage);

// The 36 value texts of column 1 from the record.
// Row 17 shows the caption of the tab with the stored active profile number.
// A number above 7 (or beyond the given captions) has no tab; the row then
// shows the plain number, so the user sees what the regulator really holds.
QStringList SystemSettingsTexts(const SettingsRecord& record, uint16_t detectedSystemVoltage,
                                const QStringList& profileTabCaptions = ChargeProfileTabCaptions());

// Takes the 36 value texts back into the record, rows 0 to 35 in order, with
// each row's default and limits, and clears the word at offset 92 between rows
// 34 and 35. Missing texts count as empty cells.
// Row 17 ignores its text: the active profile becomes selectedTabIndex limited
// to 0 to 7. The exception is a stored number above 7: every user's tab change
// writes its index into the record at once (ChargeProfileTabControlChange), so
// a number above 7 still in the record means the user has not chosen a profile
// since it arrived, and it is kept rather than replaced by the fallback tab 0.
void StoreSystemSettingsTexts(const QStringList& texts, int selectedTabIndex,
                              uint16_t detectedSystemVoltage, SettingsRecord& record);

// The rows whose field the editors would change when they show it and take
// it back (see settings_check.h), in row order.
QList<SettingsDeparture> SystemSettingsDepartures(const SettingsRecord& record, uint16_t detectedSystemVoltage);
