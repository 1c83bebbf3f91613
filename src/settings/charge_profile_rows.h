#pragma once
// The charge profile grid as plain logic: 12 rows showing one ChargeProfile,
// the texts for UpdateChargeProfilesTable and the way back for
// StoreChargeProfilesTable. Voltages use the same scaling as the system
// settings grid.
#include "records/settings_record.h"

#include <QString>
#include <QStringList>

#include <cstdint>

constexpr int ChargeProfileRowCount = 12;

enum ChargeProfileRow : int {
    WarmUpDurationRow = 0,
    WarmUpTargetVoltageRow = 1,
    WarmUpMinimumFieldRow = 2,
    WarmUpMaximumFieldRow = 3,
    BulkTargetVoltageRow = 4,
    BulkLimitVoltageRow = 5,
    BulkMinimumFieldRow = 6,
    BulkMaximumFieldRow = 7,
    FloatTargetVoltageRow = 8,
    FloatLeaveVoltageRow = 9,
    FloatMinimumFieldRow = 10,
    FloatMaximumFieldRow = 11,
};

QStringList ChargeProfileCaptions();

QStringList ChargeProfileTexts(const ChargeProfile& profile, uint16_t detectedSystemVoltage);

// Takes the 12 texts back into the profile, rows 0 to 11 in order. Missing
// texts count as empty cells. The reserved bytes 2, 3, 30 and 31 are left as
// they are.
void StoreChargeProfileTexts(const QStringList& texts, uint16_t detectedSystemVoltage, ChargeProfile& profile);
