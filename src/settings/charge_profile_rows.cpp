#include "settings/charge_profile_rows.h"

#include "views/number_text.h"
#include "settings/system_settings_rows.h"
#include "views/value_format.h"

#include <array>
#include <cstddef>

namespace {

enum class Kind {
    Duration, // u16, the low 16 bits of the typed integer
    Voltage,  // f32 in 12-volt terms
    Percent,  // u8, the low 8 bits of the typed integer; not checked against 0..100
};

struct RowDef {
    const char* caption;
    Kind kind;
    std::size_t offset;
    int64_t defaultValue;
};

using P = ChargeProfile;

constexpr std::array<RowDef, ChargeProfileRowCount> Rows = {{
    {"Warm-up Duration, s", Kind::Duration, P::WarmUpDurationAt, 10},
    {"Warm-up Target Voltage, V", Kind::Voltage, P::WarmUpTargetVoltageAt, 0},
    {"Warm-up Minimum Field, %", Kind::Percent, P::WarmUpMinimumFieldAt, 5},
    {"Warm-up Maximum Field, %", Kind::Percent, P::WarmUpMaximumFieldAt, 40},
    {"Bulk Target Voltage, V", Kind::Voltage, P::BulkTargetVoltageAt, 0},
    {"Bulk Limit Voltage, V", Kind::Voltage, P::BulkLimitVoltageAt, 0},
    {"Bulk Minimum Field, %", Kind::Percent, P::BulkMinimumFieldAt, 15},
    {"Bulk Maximum Field, %", Kind::Percent, P::BulkMaximumFieldAt, 100},
    {"Float Target Voltage, V", Kind::Voltage, P::FloatTargetVoltageAt, 0},
    {"Float Leave Voltage, V", Kind::Voltage, P::FloatLeaveVoltageAt, 0},
    {"Float Minimum Field, %", Kind::Percent, P::FloatMinimumFieldAt, 5},
    {"Float Maximum Field, %", Kind::Percent, P::FloatMaximumFieldAt, 15},
}};

} // namespace

QStringList ChargeProfileCaptions()
{
    QStringList captions;
    for (const RowDef& row : Rows)
        captions << QString::fromLatin1(row.caption);
    return captions;
}

QStringList ChargeProfileTexts(const ChargeProfile& profile, uint16_t detectedSystemVoltage)
{
    QStringList texts;
    for (const RowDef& row : Rows) {
        switch (row.kind) {
        case Kind::Duration:
            texts << FormatInteger(profile.U16(row.offset));
            break;
        case Kind::Voltage:
            texts << FormatFixed(2, double(VoltageToDisplay(profile.F32(row.offset), detectedSystemVoltage)));
            break;
        case Kind::Percent:
            texts << FormatInteger(profile.U8(row.offset));
            break;
        }
    }
    return texts;
}

void StoreChargeProfileTexts(const QStringList& texts, uint16_t detectedSystemVoltage, ChargeProfile& profile)
{
    for (int r = 0; r < ChargeProfileRowCount; ++r) {
        const RowDef& row = Rows[std::size_t(r)];
        const QString text = r < texts.size() ? texts[r] : QString();
        switch (row.kind) {
        case Kind::Duration: {
            const int64_t value = ParseInteger(text).value_or(row.defaultValue);
            profile.SetU16(row.offset, uint16_t(uint64_t(value) & 0xFFFFu));
            break;
        }
        case Kind::Voltage:
            profile.SetF32(row.offset, VoltageFromText(text, profile.F32(row.offset), detectedSystemVoltage));
            break;
        case Kind::Percent: {
            const int64_t value = ParseInteger(text).value_or(row.defaultValue);
            profile.SetU8(row.offset, uint8_t(uint64_t(value) & 0xFFu));
            break;
        }
        }
    }
}
