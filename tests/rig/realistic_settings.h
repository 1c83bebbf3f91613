#pragma once
// A settings image as a regulator in a real installation might hold it, for
// the tests of the "Settings" page. Every edited field holds a value that its
// row shows exactly (whole degrees, voltages with two decimals, factors with
// six), so a read followed by a write must give back the very same bytes.
// Reserved bytes, the reserved bytes of each charge profile and the 36 bytes
// the firmware keeps after the record hold patterns that nothing may touch.
#include "records/settings_record.h"

#include <array>
#include <cstring>

namespace realistic {

using S = SettingsRecord;

// A voltage the way the grid reads it back: the decimal text becomes the
// nearest double, which is then stored as a float.
inline float Volts(int hundredths)
{
    return float(double(hundredths) / 100.0);
}

inline SettingsRecord Record()
{
    S s;
    s.SetU8(0, 0x5A); // reserved
    s.SetU8(S::DeviceVersionAt, 12);
    s.SetRawBytes(S::DeviceNameAt, S::DeviceNameSize, QByteArray("Salty Dog 2"));
    s.SetU8(18, 0xC3);
    s.SetU8(19, 0x01);
    s.SetF32(S::WarningBatteryTemperatureAt, 48.0f);
    s.SetF32(S::FaultBatteryTemperatureAt, 58.0f);
    s.SetF32(S::WarningBatteryVoltageAt, Volts(1520));
    s.SetF32(S::FaultBatteryVoltageAt, Volts(1580));
    s.SetF32(S::WarningAlternatorTemperatureAt, 92.0f);
    s.SetF32(S::FaultAlternatorTemperatureAt, 105.0f);
    s.SetF32(S::AllowedVoltageDropAt, float(0.25));
    s.SetF32(S::FieldRpmModeAt, 1500.0f);
    s.SetF32(S::BatteryShuntResistanceAt, float(0.000125));
    s.SetF32(S::AlternatorShuntResistanceAt, float(0.00025));
    s.SetF32(S::BatteryPlusVoltageCompAt, float(1.002));
    s.SetF32(S::BatteryMinusVoltageCompAt, float(0.998));
    s.SetF32(S::ComparatorVoltageCompAt, float(1.05));
    const uint8_t reserved72[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    for (int i = 0; i < 4; ++i)
        s.SetU8(72 + std::size_t(i), reserved72[i]);
    s.SetF32(S::RegulatorVoltageCompAt, float(1.01));
    s.SetF32(S::PowerSupplyVoltageCompAt, float(0.995));
    s.SetF32(S::AlternatorShuntGain1At, float(20.5));
    s.SetF32(S::AlternatorShuntGain2At, float(19.75));
    // Offset 92, the cleared word, stays zero: every store writes it so.
    s.SetU32(96, 0x12345678);   // reserved
    s.SetF32(S::BatteryShuntBiasAt, float(-0.0125));
    s.SetU32(104, 0x9ABCDEF0);  // reserved
    s.SetU8(S::WifiModeAt, 1);
    s.SetRawBytes(S::WifiSsidAt, S::WifiSsidSize, QByteArray("Marina Guest"));
    s.SetRawBytes(S::WifiPasswordAt, S::WifiPasswordSize, QByteArray("s3cret#Pass"));
    const uint8_t ap[4] = {10, 0, 0, 42};
    for (int i = 0; i < 4; ++i)
        s.SetU8(S::WifiApAddressAt + std::size_t(i), ap[i]);
    s.SetRawBytes(S::SupportHostDomainAt, S::SupportHostDomainSize, QByteArray("support.example.net"));
    s.SetU8(S::CanBusModeAt, 1);
    s.SetU8(S::Nmea2000AddressAt, 131);
    s.SetU8(243, 0x77); // reserved
    s.SetF32(S::PulleyRatioAt, float(2.75));
    s.SetU8(S::AlternatorPolesAt, 14);
    s.SetActiveChargeProfile(2);
    s.SetU8(250, 0x11); // reserved
    s.SetU8(251, 0x22);
    for (int k = 0; k < ChargeProfileCount; ++k) {
        const std::size_t at = S::ProfileOffset(k);
        s.SetU16(at + ChargeProfile::WarmUpDurationAt, uint16_t(600 + 30 * k));
        s.SetU8(at + 2, uint8_t(0xA0 + k)); // reserved
        s.SetU8(at + 3, uint8_t(0xB0 + k));
        s.SetF32(at + ChargeProfile::WarmUpTargetVoltageAt, Volts(1320 + 10 * k));
        s.SetF32(at + ChargeProfile::BulkTargetVoltageAt, Volts(1410 + 5 * k));
        s.SetF32(at + ChargeProfile::BulkLimitVoltageAt, Volts(1490 + 3 * k));
        s.SetF32(at + ChargeProfile::FloatTargetVoltageAt, Volts(1330 + 7 * k));
        s.SetF32(at + ChargeProfile::FloatLeaveVoltageAt, Volts(1250 + k));
        s.SetU8(at + ChargeProfile::WarmUpMinimumFieldAt, uint8_t(5 + k));
        s.SetU8(at + ChargeProfile::WarmUpMaximumFieldAt, uint8_t(40 + k));
        s.SetU8(at + ChargeProfile::BulkMinimumFieldAt, uint8_t(15 + k));
        s.SetU8(at + ChargeProfile::BulkMaximumFieldAt, uint8_t(90 + k));
        s.SetU8(at + ChargeProfile::FloatMinimumFieldAt, uint8_t(3 + k));
        s.SetU8(at + ChargeProfile::FloatMaximumFieldAt, uint8_t(20 + k));
        s.SetU8(at + 30, uint8_t(0xC0 + k)); // reserved
        s.SetU8(at + 31, uint8_t(0xD0 + k));
    }
    s.SetF32(S::ClimbCoefficientAt, float(5.5));
    s.SetF32(S::CollapseCoefficientAt, float(180.25));
    s.SetF32(S::RegulationBandAt, float(0.075));
    s.SetU16(S::RegulationRefreshRateAt, 50);
    s.SetU8(S::AlternatorTypeAt, 2);
    s.SetCurve(FieldRpmCurve{35, 40, 48, 55, 61, 67, 74, 80, 86, 92, 97, 100});
    s.SetU8(535, 0x99); // reserved
    s.SetAuxTempSensorUsage(1);
    s.SetU8(537, 0x31); // reserved
    s.SetU8(538, 0x32);
    s.SetU8(539, 0x33);
    return s;
}

// The record followed by 36 non-zero bytes of firmware bookkeeping.
inline std::array<uint8_t, 576> Image(const SettingsRecord& record = Record())
{
    std::array<uint8_t, 576> image{};
    std::memcpy(image.data(), record.Data(), SettingsRecord::Size);
    for (std::size_t i = SettingsRecord::Size; i < image.size(); ++i)
        image[i] = uint8_t(0xF0 - 3 * (i - SettingsRecord::Size));
    return image;
}

} // namespace realistic
