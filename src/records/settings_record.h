#pragma once
// The 540-byte image of all settings of one regulator. It travels unchanged
// between the regulator, settings files, snapshot files and the support relay.
#include "records/byte_record.h"

#include <array>

// One of the eight 32-byte charge profiles. Voltages are in 12-volt terms.
class ChargeProfile : public ByteRecord<32> {
public:
    enum Offset : std::size_t {
        WarmUpDurationAt = 0,
        WarmUpTargetVoltageAt = 4,
        BulkTargetVoltageAt = 8,
        BulkLimitVoltageAt = 12,
        FloatTargetVoltageAt = 16,
        FloatLeaveVoltageAt = 20,
        WarmUpMinimumFieldAt = 24,
        WarmUpMaximumFieldAt = 25,
        BulkMinimumFieldAt = 26,
        BulkMaximumFieldAt = 27,
        FloatMinimumFieldAt = 28,
        FloatMaximumFieldAt = 29,
    };
    uint16_t WarmUpDuration() const { return U16(WarmUpDurationAt); }
    float WarmUpTargetVoltage() const { return F32(WarmUpTargetVoltageAt); }
    float BulkTargetVoltage() const { return F32(BulkTargetVoltageAt); }
    float BulkLimitVoltage() const { return F32(BulkLimitVoltageAt); }
    float FloatTargetVoltage() const { return F32(FloatTargetVoltageAt); }
    float FloatLeaveVoltage() const { return F32(FloatLeaveVoltageAt); }
    uint8_t WarmUpMinimumField() const { return U8(WarmUpMinimumFieldAt); }
    uint8_t WarmUpMaximumField() const { return U8(WarmUpMaximumFieldAt); }
    uint8_t BulkMinimumField() const { return U8(BulkMinimumFieldAt); }
    uint8_t BulkMaximumField() const { return U8(BulkMaximumFieldAt); }
    uint8_t FloatMinimumField() const { return U8(FloatMinimumFieldAt); }
    uint8_t FloatMaximumField() const { return U8(FloatMaximumFieldAt); }
};

constexpr int ChargeProfileCount = 8;
constexpr int FieldRpmPointCount = 12;
using FieldRpmCurve = std::array<uint8_t, FieldRpmPointCount>;

class SettingsRecord : public ByteRecord<540> {
public:
    enum Offset : std::size_t {
        DeviceVersionAt = 1,
        DeviceNameAt = 2,
        DeviceNameSize = 16,
        WarningBatteryTemperatureAt = 20,
        FaultBatteryTemperatureAt = 24,
        WarningBatteryVoltageAt = 28,
        FaultBatteryVoltageAt = 32,
        WarningAlternatorTemperatureAt = 36,
        FaultAlternatorTemperatureAt = 40,
        AllowedVoltageDropAt = 44,
        FieldRpmModeAt = 48,
        BatteryShuntResistanceAt = 52,
        AlternatorShuntResistanceAt = 56,
        BatteryPlusVoltageCompAt = 60,
        BatteryMinusVoltageCompAt = 64,
        ComparatorVoltageCompAt = 68,
        RegulatorVoltageCompAt = 76,
        PowerSupplyVoltageCompAt = 80,
        AlternatorShuntGain1At = 84,
        AlternatorShuntGain2At = 88,
        ClearedWordAt = 92,
        BatteryShuntBiasAt = 100,
        WifiModeAt = 108,
        WifiSsidAt = 109,
        WifiSsidSize = 32,
        WifiPasswordAt = 141,
        WifiPasswordSize = 32,
        WifiApAddressAt = 173,
        SupportHostDomainAt = 177,
        SupportHostDomainSize = 64,
        CanBusModeAt = 241,
        Nmea2000AddressAt = 242,
        PulleyRatioAt = 244,
        AlternatorPolesAt = 248,
        ActiveChargeProfileAt = 249,
        ChargeProfilesAt = 252,
        ClimbCoefficientAt = 508,
        CollapseCoefficientAt = 512,
        RegulationBandAt = 516,
        RegulationRefreshRateAt = 520,
        AlternatorTypeAt = 522,
        FieldRpmCurveAt = 523,
        AuxTempSensorUsageAt = 536,
    };

    uint8_t DeviceVersion() const { return U8(DeviceVersionAt); }
    QByteArray DeviceName() const { return Text(DeviceNameAt, DeviceNameSize); }
    float WarningBatteryTemperature() const { return F32(WarningBatteryTemperatureAt); }
    float FaultBatteryTemperature() const { return F32(FaultBatteryTemperatureAt); }
    float WarningBatteryVoltage() const { return F32(WarningBatteryVoltageAt); }
    float FaultBatteryVoltage() const { return F32(FaultBatteryVoltageAt); }
    float WarningAlternatorTemperature() const { return F32(WarningAlternatorTemperatureAt); }
    float FaultAlternatorTemperature() const { return F32(FaultAlternatorTemperatureAt); }
    float AllowedVoltageDrop() const { return F32(AllowedVoltageDropAt); }
    float FieldRpmMode() const { return F32(FieldRpmModeAt); }
    float BatteryShuntResistance() const { return F32(BatteryShuntResistanceAt); }
    float AlternatorShuntResistance() const { return F32(AlternatorShuntResistanceAt); }
    float BatteryPlusVoltageComp() const { return F32(BatteryPlusVoltageCompAt); }
    float BatteryMinusVoltageComp() const { return F32(BatteryMinusVoltageCompAt); }
    float ComparatorVoltageComp() const { return F32(ComparatorVoltageCompAt); }
    float RegulatorVoltageComp() const { return F32(RegulatorVoltageCompAt); }
    float PowerSupplyVoltageComp() const { return F32(PowerSupplyVoltageCompAt); }
    float AlternatorShuntGain1() const { return F32(AlternatorShuntGain1At); }
    float AlternatorShuntGain2() const { return F32(AlternatorShuntGain2At); }
    uint32_t ClearedWord() const { return U32(ClearedWordAt); }
    float BatteryShuntBias() const { return F32(BatteryShuntBiasAt); }
    uint8_t WifiMode() const { return U8(WifiModeAt); }
    QByteArray WifiSsid() const { return Text(WifiSsidAt, WifiSsidSize); }
    QByteArray WifiPassword() const { return Text(WifiPasswordAt, WifiPasswordSize); }
    uint8_t WifiApAddressByte(int i) const { return U8(WifiApAddressAt + std::size_t(i)); }
    QByteArray SupportHostDomain() const { return Text(SupportHostDomainAt, SupportHostDomainSize); }
    uint8_t CanBusMode() const { return U8(CanBusModeAt); }
    uint8_t Nmea2000Address() const { return U8(Nmea2000AddressAt); }
    float PulleyRatio() const { return F32(PulleyRatioAt); }
    uint8_t AlternatorPoles() const { return U8(AlternatorPolesAt); }
    uint8_t ActiveChargeProfile() const { return U8(ActiveChargeProfileAt); }
    float ClimbCoefficient() const { return F32(ClimbCoefficientAt); }
    float CollapseCoefficient() const { return F32(CollapseCoefficientAt); }
    float RegulationBand() const { return F32(RegulationBandAt); }
    uint16_t RegulationRefreshRate() const { return U16(RegulationRefreshRateAt); }
    uint8_t AlternatorType() const { return U8(AlternatorTypeAt); }
    uint8_t AuxTempSensorUsage() const { return U8(AuxTempSensorUsageAt); }

    void SetActiveChargeProfile(uint8_t v) { SetU8(ActiveChargeProfileAt, v); }
    void SetAuxTempSensorUsage(uint8_t v) { SetU8(AuxTempSensorUsageAt, v); }
    void SetPowerSupplyVoltageComp(float v) { SetF32(PowerSupplyVoltageCompAt, v); }
    void SetRegulatorVoltageComp(float v) { SetF32(RegulatorVoltageCompAt, v); }
    void SetBatteryPlusVoltageComp(float v) { SetF32(BatteryPlusVoltageCompAt, v); }
    void SetBatteryMinusVoltageComp(float v) { SetF32(BatteryMinusVoltageCompAt, v); }
    void SetAlternatorShuntGain1(float v) { SetF32(AlternatorShuntGain1At, v); }
    void SetAlternatorShuntGain2(float v) { SetF32(AlternatorShuntGain2At, v); }
    void SetBatteryShuntBias(float v) { SetF32(BatteryShuntBiasAt, v); }
    void ClearClearedWord() { SetU32(ClearedWordAt, 0); }

    static constexpr std::size_t ProfileOffset(int k) { return ChargeProfilesAt + 32 * std::size_t(k); }
    ChargeProfile Profile(int k) const;
    void SetProfile(int k, const ChargeProfile& p);

    FieldRpmCurve Curve() const;
    void SetCurve(const FieldRpmCurve& c);
};
