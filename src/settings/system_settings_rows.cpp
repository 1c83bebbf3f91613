#include "settings/system_settings_rows.h"

#include "settings/settings_check.h"

#include "views/number_text.h"
#include "views/value_format.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>

namespace {

enum class Kind {
    IntegerLow8,    // u8, no limits: the low 8 bits of the typed integer
    IntegerLow16,   // u16, no limits: the low 16 bits of the typed integer
    IntegerLimited, // u8 with limits
    Real,           // f32, optional limits
    Voltage,        // f32 in 12-volt terms, scaled for display
    Text,           // fixed-size text field
    Address,        // four u8 in dotted form
    ActiveProfile,  // u8, taken from the profile tab control
    Threshold,      // f32 whole number, or negative for the curve
};

struct RowDef {
    const char16_t* caption;
    Kind kind;
    std::size_t offset;
    int decimals = 0;           // Real: decimals shown; -1 for FormatRounded
    double defaultValue = 0;
    bool defaultIsPresent = false; // the field's present value is the default
    bool limited = false;
    double low = 0;
    double high = 0;
    std::size_t textSize = 0;   // Text: the field's size in bytes
    int textLimit = 0;          // Text: characters written at most
};

using S = SettingsRecord;

RowDef IntegerLow8(const char16_t* caption, std::size_t offset)
{
    RowDef r{caption, Kind::IntegerLow8, offset};
    r.defaultIsPresent = true;
    return r;
}
RowDef IntegerLow16(const char16_t* caption, std::size_t offset, double def)
{
    RowDef r{caption, Kind::IntegerLow16, offset};
    r.defaultValue = def;
    return r;
}
RowDef IntegerLimited(const char16_t* caption, std::size_t offset, double def, double low, double high)
{
    RowDef r{caption, Kind::IntegerLimited, offset};
    r.defaultValue = def;
    r.limited = true;
    r.low = low;
    r.high = high;
    return r;
}
RowDef Real(const char16_t* caption, std::size_t offset, int decimals, double def, double low, double high)
{
    RowDef r{caption, Kind::Real, offset, decimals};
    r.defaultValue = def;
    r.limited = true;
    r.low = low;
    r.high = high;
    return r;
}
RowDef RealUnlimited(const char16_t* caption, std::size_t offset, int decimals, double def)
{
    RowDef r{caption, Kind::Real, offset, decimals};
    r.defaultValue = def;
    return r;
}
RowDef RealPresentDefault(const char16_t* caption, std::size_t offset, int decimals)
{
    RowDef r{caption, Kind::Real, offset, decimals};
    r.defaultIsPresent = true;
    return r;
}
RowDef RealPresentDefault(const char16_t* caption, std::size_t offset, int decimals, double low, double high)
{
    RowDef r = RealPresentDefault(caption, offset, decimals);
    r.limited = true;
    r.low = low;
    r.high = high;
    return r;
}
RowDef Text(const char16_t* caption, std::size_t offset, std::size_t size, int limit)
{
    RowDef r{caption, Kind::Text, offset};
    r.textSize = size;
    r.textLimit = limit;
    return r;
}
RowDef Other(const char16_t* caption, Kind kind, std::size_t offset)
{
    return RowDef{caption, kind, offset};
}

constexpr int Rounded = -1;

const std::array<RowDef, SystemSettingsRowCount>& Rows()
{
    static const std::array<RowDef, SystemSettingsRowCount> rows = {
        IntegerLow8(u"Device Version", S::DeviceVersionAt),
        Text(u"Device Name", S::DeviceNameAt, S::DeviceNameSize, 15),
        Real(u"Warning Battery Temperature, \u00B0C", S::WarningBatteryTemperatureAt, Rounded, 40, 0, 60),
        Real(u"Fault Battery Temperature, \u00B0C", S::FaultBatteryTemperatureAt, Rounded, 60, 0, 80),
        Other(u"Warning Battery Voltage, V", Kind::Voltage, S::WarningBatteryVoltageAt),
        Other(u"Fault Battery Voltage, V", Kind::Voltage, S::FaultBatteryVoltageAt),
        Real(u"Warning Alternator Temperature, \u00B0C", S::WarningAlternatorTemperatureAt, Rounded, 90, 0, 120),
        Real(u"Fault Alternator Temperature, \u00B0C", S::FaultAlternatorTemperatureAt, Rounded, 100, 0, 120),
        Real(u"Crank-To-Alternator Pulley Ratio [1..10]", S::PulleyRatioAt, 3, 1, 0.1, 9.99),
        IntegerLimited(u"Alternator Poles [6..32]", S::AlternatorPolesAt, 12, 6, 32),
        IntegerLimited(u"Wi-Fi Mode [0-off, 1-STA, 2-AP]", S::WifiModeAt, 0, 0, 2),
        Text(u"Wi-Fi SSID", S::WifiSsidAt, S::WifiSsidSize, 31),
        Text(u"Wi-Fi STA Password", S::WifiPasswordAt, S::WifiPasswordSize, 31),
        Other(u"Wi-Fi AP IP address", Kind::Address, S::WifiApAddressAt),
        Text(u"Support Host Domain", S::SupportHostDomainAt, S::SupportHostDomainSize, 62),
        IntegerLimited(u"CAN Bus Mode [0-off, 1-NMEA2000]", S::CanBusModeAt, 0, 0, 1),
        IntegerLimited(u"Claimed NMEA-2000 Address", S::Nmea2000AddressAt, 0, 0, 255),
        Other(u"Active Charge Profile Number [0..7]", Kind::ActiveProfile, S::ActiveChargeProfileAt),
        Real(u"Allowed Voltage Drop in Wiring, V", S::AllowedVoltageDropAt, 3, 1, 0, 2),
        Real(u"Battery Shunt Resistance, Ohm", S::BatteryShuntResistanceAt, 6, 0.0001, 0, 1),
        Real(u"Alternator Shunt Resistance, Ohm", S::AlternatorShuntResistanceAt, 6, 0.0001, 0, 1),
        IntegerLimited(u"Alternator Type [1-P, 2-N]", S::AlternatorTypeAt, 1, 1, 2),
        RealUnlimited(u"Regulation Climb Coefficient, V/s", S::ClimbCoefficientAt, 3, 5),
        RealUnlimited(u"Regulation Collapse Coefficient, V/s", S::CollapseCoefficientAt, 3, 200),
        RealUnlimited(u"Regulation Band, V", S::RegulationBandAt, 3, 0.05),
        IntegerLow16(u"Regulation Refresh Rate, Hz", S::RegulationRefreshRateAt, 40),
        Other(u"Field/RPM [x-Curve, 0-Off, nnn-Threshold]", Kind::Threshold, S::FieldRpmModeAt),
        Real(u"Comparator Voltage Comp", S::ComparatorVoltageCompAt, 6, 1, 0.8, 1.5),
        RealPresentDefault(u"Battery Plus Voltage Comp", S::BatteryPlusVoltageCompAt, 6, 0.9, 1.1),
        RealPresentDefault(u"Battery Minus Voltage Comp", S::BatteryMinusVoltageCompAt, 6, 0.9, 1.1),
        Real(u"Power Supply Voltage Comp", S::PowerSupplyVoltageCompAt, 6, 1, 0.9, 1.1),
        Real(u"Regulator Voltage Comp", S::RegulatorVoltageCompAt, 6, 1, 0.9, 1.1),
        RealPresentDefault(u"Battery Shunt Bias", S::BatteryShuntBiasAt, 6),
        RealPresentDefault(u"Alternator Shunt Voltage Gain #1", S::AlternatorShuntGain1At, 6),
        RealPresentDefault(u"Alternator Shunt Voltage Gain #2", S::AlternatorShuntGain2At, 6),
        IntegerLimited(u"Aux Temp Sensor Usage [0-Battery, 1-Alt]", S::AuxTempSensorUsageAt, 0, 0, 1),
    };
    return rows;
}

// Clamps to [low, high]. A value that is not a number has no place in the
// range and takes the lower limit, so a limited field is always written
// inside its range.
double Limit(double v, double low, double high)
{
    if (!(v >= low))
        return low;
    return v > high ? high : v;
}

int64_t LimitInteger(int64_t v, int64_t low, int64_t high)
{
    return v < low ? low : (v > high ? high : v);
}

// Round half to even, as the threshold row shows its value.
double RoundHalfEven(double v)
{
    const double lower = std::floor(v);
    const double fraction = v - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

QString ShowThreshold(float stored)
{
    if (std::isnan(stored) || stored < 0.0f)
        return QStringLiteral("x");
    return FormatRounded(RoundHalfEven(double(stored)));
}

QString ShowRow(const RowDef& row, const SettingsRecord& record, uint16_t detected,
                const QStringList& tabCaptions)
{
    switch (row.kind) {
    case Kind::IntegerLow8:
    case Kind::IntegerLimited:
        return FormatInteger(record.U8(row.offset));
    case Kind::IntegerLow16:
        return FormatInteger(record.U16(row.offset));
    case Kind::Real:
        return row.decimals == Rounded ? FormatRounded(double(record.F32(row.offset)))
                                       : FormatFixed(row.decimals, double(record.F32(row.offset)));
    case Kind::Voltage:
        return FormatFixed(2, double(VoltageToDisplay(record.F32(row.offset), detected)));
    case Kind::Text:
        // The whole field, zero bytes included, one character per byte, so
        // an unedited cell gives back the very same bytes.
        return QString::fromLatin1(record.RawBytes(row.offset, row.textSize));
    case Kind::Address:
        return QStringList{FormatInteger(record.U8(row.offset)), FormatInteger(record.U8(row.offset + 1)),
                           FormatInteger(record.U8(row.offset + 2)), FormatInteger(record.U8(row.offset + 3))}
            .join(QLatin1Char('.'));
    case Kind::ActiveProfile: {
        const int index = record.U8(row.offset);
        if (index < ChargeProfileCount && index < tabCaptions.size())
            return tabCaptions[index];
        return FormatInteger(index);
    }
    case Kind::Threshold:
        return ShowThreshold(record.F32(row.offset));
    }
    return QString();
}

void StoreText(const RowDef& row, const QString& text, SettingsRecord& record)
{
    QByteArray bytes(int(row.textSize), '\0');
    const int n = std::min(row.textLimit, int(text.size()));
    for (int i = 0; i < n; ++i) {
        const char16_t code = text[i].unicode();
        if (IsAllowedTextCharacter(code))
            bytes[i] = char(code);
    }
    record.SetRawBytes(row.offset, row.textSize, bytes);
}

void StoreAddress(const RowDef& row, const QString& text, SettingsRecord& record)
{
    static constexpr int defaults[3] = {192, 168, 0};
    QString s = text;
    for (int i = 0; i < 3; ++i) {
        // p counts from 1, as the position of the first "."; 0 when none.
        const int p = int(s.indexOf(QLatin1Char('.'))) + 1;
        const QString piece = p > 1 ? s.left(p - 1) : QString();
        const int64_t value = ParseInteger(piece).value_or(defaults[i]);
        record.SetU8(row.offset + std::size_t(i), uint8_t(LimitInteger(value, 0, 255)));
        s.remove(0, p);
    }
    const int64_t last = ParseInteger(s).value_or(1);
    record.SetU8(row.offset + 3, uint8_t(LimitInteger(last, 0, 255)));
}

void StoreReal(const RowDef& row, const QString& text, SettingsRecord& record)
{
    std::optional<double> typed = ParseReal(text);
    // A number too large for the 4-byte field would be stored as infinity
    // and reach the regulator so; it counts as not a number.
    if (typed && !row.limited && !FitsSingle(*typed))
        typed.reset();
    if (!typed && row.defaultIsPresent && !row.limited) {
        // Keeping the field's bytes is the same as writing the present value
        // back, without a trip through double that could alter a NaN's bits.
        return;
    }
    double value = typed ? *typed
                         : (row.defaultIsPresent ? double(record.F32(row.offset)) : row.defaultValue);
    if (row.limited)
        value = Limit(value, row.low, row.high);
    record.SetF32(row.offset, float(value));
}

void StoreRow(const RowDef& row, const QString& text, int selectedTabIndex, uint16_t detected,
              SettingsRecord& record)
{
    switch (row.kind) {
    case Kind::IntegerLow8: {
        const int64_t value = ParseInteger(text).value_or(record.U8(row.offset));
        record.SetU8(row.offset, uint8_t(uint64_t(value) & 0xFFu));
        return;
    }
    case Kind::IntegerLow16: {
        const int64_t value = ParseInteger(text).value_or(int64_t(row.defaultValue));
        record.SetU16(row.offset, uint16_t(uint64_t(value) & 0xFFFFu));
        return;
    }
    case Kind::IntegerLimited: {
        const int64_t value = ParseInteger(text).value_or(int64_t(row.defaultValue));
        record.SetU8(row.offset, uint8_t(LimitInteger(value, int64_t(row.low), int64_t(row.high))));
        return;
    }
    case Kind::Real:
        StoreReal(row, text, record);
        return;
    case Kind::Voltage:
        record.SetF32(row.offset, VoltageFromText(text, record.F32(row.offset), detected));
        return;
    case Kind::Text:
        StoreText(row, text, record);
        return;
    case Kind::Address:
        StoreAddress(row, text, record);
        return;
    case Kind::ActiveProfile:
        if (record.U8(row.offset) < ChargeProfileCount)
            record.SetU8(row.offset, uint8_t(LimitInteger(selectedTabIndex, 0, ChargeProfileCount - 1)));
        return;
    case Kind::Threshold: {
        const int64_t value = LimitInteger(ParseInteger(text).value_or(-1), -1, 2000);
        record.SetF32(row.offset, float(value));
        return;
    }
    }
}

} // namespace

QStringList SystemSettingsCaptions()
{
    QStringList captions;
    for (const RowDef& row : Rows())
        captions << QString::fromUtf16(row.caption);
    return captions;
}

QStringList ChargeProfileTabCaptions()
{
    return {QStringLiteral("0 - FLA"),       QStringLiteral("1 - AGM"),       QStringLiteral("2 - GEL"),
            QStringLiteral("3 - FireFly"),   QStringLiteral("4 - LiFePO4"),   QStringLiteral("5 - Custom #1"),
            QStringLiteral("6 - Custom #2"), QStringLiteral("7 - Custom #3")};
}

int ProfileTabForActiveIndex(int storedIndex)
{
    return storedIndex >= 0 && storedIndex < ChargeProfileCount ? storedIndex : 0;
}

bool IsAllowedTextCharacter(char16_t code)
{
    if (code < 32 || code > 126)
        return false;
    switch (code) {
    case 34: // "
    case 39: // '
    case 47: // /
    case 58: // :
    case 59: // ;
    case 60: // <
    case 62: // >
    case 63: // ?
    case 91: // [
    case 92: // backslash
    case 93: // ]
    case 96: // `
    case 123: // {
    case 124: // |
    case 125: // }
        return false;
    default:
        return true;
    }
}

float VoltageToDisplay(float stored, uint16_t detectedSystemVoltage)
{
    if (detectedSystemVoltage == 24)
        return stored < 18.0f ? 2.0f * stored : stored;
    return stored > 18.0f ? 0.5f * stored : stored;
}

float VoltageFromText(const QString& text, float present, uint16_t detectedSystemVoltage)
{
    const std::optional<double> typed = ParseReal(text);
    // Clamped first: a plain conversion beyond the largest 4-byte real is
    // undefined; the limit below takes any such value to 0 or 18 anyway.
    float value = typed ? float(std::clamp(*typed, -double(FLT_MAX), double(FLT_MAX))) : present;
    if (detectedSystemVoltage == 24 && value > 18.0f)
        value = 0.5f * value;
    return float(Limit(double(value), 0.0, 18.0));
}

QStringList SystemSettingsTexts(const SettingsRecord& record, uint16_t detectedSystemVoltage,
                                const QStringList& profileTabCaptions)
{
    QStringList texts;
    for (const RowDef& row : Rows())
        texts << ShowRow(row, record, detectedSystemVoltage, profileTabCaptions);
    return texts;
}

void StoreSystemSettingsTexts(const QStringList& texts, int selectedTabIndex,
                              uint16_t detectedSystemVoltage, SettingsRecord& record)
{
    const auto& rows = Rows();
    for (int r = 0; r < SystemSettingsRowCount; ++r) {
        // The cleared word has no row of its own; it is zeroed between the
        // last gain row and the sensor usage row.
        if (r == AuxTempSensorUsageRow)
            record.ClearClearedWord();
        const QString text = r < texts.size() ? texts[r] : QString();
        StoreRow(rows[std::size_t(r)], text, selectedTabIndex, detectedSystemVoltage, record);
    }
}

QList<SettingsDeparture> SystemSettingsDepartures(const SettingsRecord& record, uint16_t detectedSystemVoltage)
{
    const QStringList tabs = ChargeProfileTabCaptions();
    const int tab = ProfileTabForActiveIndex(record.ActiveChargeProfile());
    QList<SettingsDeparture> departures;
    for (const RowDef& row : Rows()) {
        // What the editors leave in the field after showing it and taking
        // the shown text back.
        SettingsRecord stored = record;
        StoreRow(row, ShowRow(row, record, detectedSystemVoltage, tabs), tab, detectedSystemVoltage, stored);
        SettingsDeparture d{QString::fromUtf16(row.caption), {}, {}, row.offset, {}};
        const float v = record.F32(row.offset);
        const float w = stored.F32(row.offset);
        switch (row.kind) {
        case Kind::IntegerLow8:
        case Kind::IntegerLow16:
        case Kind::Address:
            continue;
        case Kind::IntegerLimited:
            if (record.U8(row.offset) >= row.low && record.U8(row.offset) <= row.high)
                continue;
            d.found = FormatInteger(record.U8(row.offset));
            d.stored = FormatInteger(stored.U8(row.offset));
            d.fix = stored.RawBytes(row.offset, 1);
            break;
        case Kind::ActiveProfile:
            if (record.U8(row.offset) < ChargeProfileCount)
                continue;
            d.found = FormatInteger(record.U8(row.offset));
            d.stored = tabs[tab];
            d.fix = QByteArray(1, char(tab));
            break;
        case Kind::Real:
        case Kind::Voltage: {
            // Digits beyond those the row shows are no departure: a write
            // sends the value as shown, which is within the limits.
            const bool shown = std::isfinite(v) && std::fabs(double(v)) <= DisplayRangeLimit;
            const bool inside = row.kind == Kind::Voltage
                                    ? (v >= 0.0f && v <= 18.0f)
                                    : (!row.limited || float(Limit(double(v), row.low, row.high)) == v);
            if (shown && inside)
                continue;
            d.found = DepartureValueText(double(v));
            if (std::isfinite(w) && std::fabs(double(w)) <= DisplayRangeLimit) {
                d.stored = DepartureValueText(double(w));
                d.fix = stored.RawBytes(row.offset, 4);
            } else {
                d.stored = QStringLiteral("nothing until a number is typed");
            }
            break;
        }
        case Kind::Threshold:
            if (v == w)
                continue;
            d.found = DepartureValueText(double(v));
            d.stored = DepartureValueText(double(w));
            d.fix = stored.RawBytes(row.offset, 4);
            break;
        case Kind::Text:
            if (record.RawBytes(row.offset, row.textSize) == stored.RawBytes(row.offset, row.textSize))
                continue;
            d.found = DepartureText(record.RawBytes(row.offset, row.textSize));
            d.stored = DepartureText(stored.RawBytes(row.offset, row.textSize));
            d.fix = stored.RawBytes(row.offset, row.textSize);
            break;
        }
        departures.append(d);
    }
    return departures;
}
