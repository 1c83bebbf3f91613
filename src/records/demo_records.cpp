#include "records/demo_records.h"

#include <cmath>

namespace {

// Converter of the regulator: 12 bits over a 3.3 V reference.
constexpr double AdcReference = 3.3;
constexpr double AdcFullScale = 4095.0;

MeasuredChannel Analog(double signal, double value)
{
    MeasuredChannel m;
    m.AdcCount = float(std::round(signal / AdcReference * AdcFullScale));
    m.Signal = float(signal);
    m.Value = float(value);
    return m;
}

// Battery-side voltages are divided by 34 before the converter, the
// regulator voltage by 32, the power supply by 5 and the field outputs by 16;
// the shunt amplifiers have a gain of 20. The values below follow from these
// scales, so each calibration of the demo state comes out with a factor of
// about 1 and a shunt gain of about 20.
MeasuredChannel Divided(double value, double scale) { return Analog(value / scale, value); }

struct Bank {
    const char* name;
    uint32_t statusFlags;
    double auxTemperature;
    double bPlus, bMinus, batteryShuntVoltage;
    double batteryCurrent, alternatorCurrent;
    double alternatorTemperature, regulatorTemperature;
    double alternatorShuntVoltage, regulatorVoltage;
    double field1, field2;
    double rpm;
    uint8_t regulatorStatus;
    uint16_t fieldOutput;
    uint32_t runningTime;
};

constexpr double ShuntResistance = 0.0001; // ohm, both shunts
constexpr double ShuntAmplifierGain = 20.0;
constexpr double PulleyRatio = 2.5;
constexpr int AlternatorPoles = 12;

enum StatusBit : uint32_t {
    Ignition = 1u << 0,
    CanVoltage = 1u << 1,
    CanActive = 1u << 2,
    WifiConnected = 1u << 3,
    Slave = 1u << 4,
};

SystemStateRecord StateOf(const Bank& b)
{
    SystemStateRecord r;
    r.SetStatusFlags(b.statusFlags);
    r.SetRegulatorName(QByteArray(b.name));

    const double batteryDrop = b.batteryCurrent * ShuntResistance;
    const double alternatorDrop = b.alternatorCurrent * ShuntResistance;
    // Temperature sensors: 10 mV per degree with 0.5 V at 0 degrees.
    auto temperature = [](double celsius) { return Analog(0.5 + 0.01 * celsius, celsius); };

    r.SetChannel(Channel::AuxTemperature, temperature(b.auxTemperature));
    r.SetChannel(Channel::BPlusVoltage, Divided(b.bPlus, 34.0));
    r.SetChannel(Channel::BMinusVoltage, Divided(b.bMinus, 34.0));
    r.SetChannel(Channel::BatteryShuntVoltage, Divided(b.batteryShuntVoltage, 34.0));
    r.SetChannel(Channel::BatteryShuntDrop, Analog(batteryDrop * ShuntAmplifierGain, batteryDrop));
    r.SetChannel(Channel::AlternatorTemperature, temperature(b.alternatorTemperature));
    r.SetChannel(Channel::AlternatorShuntDrop, Analog(alternatorDrop * ShuntAmplifierGain, alternatorDrop));
    r.SetChannel(Channel::AlternatorShuntVoltage, Divided(b.alternatorShuntVoltage, ShuntAmplifierGain));
    r.SetChannel(Channel::RegulatorVoltage, Divided(b.regulatorVoltage, 32.0));
    r.SetChannel(Channel::RegulatorTemperature, temperature(b.regulatorTemperature));
    r.SetChannel(Channel::Field1Voltage, Divided(b.field1, 16.0));
    r.SetChannel(Channel::Field2Voltage, Divided(b.field2, 16.0));
    r.SetChannel(Channel::PowerSupplyVoltage, Divided(10.0, 5.0));
    r.SetChannel(Channel::ReferenceVoltage, Analog(2.5, 2.5));
    // The speed input counts alternator pulses: pole pairs per turn times
    // the pulley ratio; its count is that frequency in hertz.
    MeasuredChannel rpm;
    rpm.AdcCount = float(std::round(b.rpm * PulleyRatio * (AlternatorPoles / 2) / 60.0));
    rpm.Value = float(b.rpm);
    r.SetChannel(Channel::EngineRpm, rpm);

    r.SetCanPageEnable(1, 1);
    r.SetDigitalFieldMode(0);
    r.SetDetectedSystemVoltage(12);
    r.SetFrsValue(0);
    r.SetSlaveFieldLimit(2500);
    r.SetSystemFieldLimit(2500);
    r.SetLoadCurrent(float(b.alternatorCurrent - b.batteryCurrent));
    r.SetBatteryVoltage(float(b.bPlus - b.bMinus));
    r.SetBatteryCurrent(float(b.batteryCurrent));
    r.SetAlternatorCurrent(float(b.alternatorCurrent));
    r.SetRunningTime(b.runningTime);
    r.SetRegulatorStatus(b.regulatorStatus);
    r.SetWiringVoltageDrop(float(b.regulatorVoltage - (b.bPlus - b.bMinus)));
    r.SetRegulationTarget(14.6f); // bulk target of the active AGM profile
    r.SetFieldOutput(b.fieldOutput);
    r.SetMinimumField(0);
    r.SetMaximumField(2500);
    return r;
}

struct ProfileValues {
    uint16_t warmUpDuration;
    float warmUpTarget, bulkTarget, bulkLimit, floatTarget, floatLeave;
    uint8_t warmUpMin, warmUpMax, bulkMin, bulkMax, floatMin, floatMax;
};

// "0 - FLA" to "7 - Custom #3", voltages in 12-volt terms.
constexpr ProfileValues DemoProfiles[ChargeProfileCount] = {
    {120, 13.2f, 14.4f, 14.8f, 13.5f, 12.8f, 0, 50, 0, 100, 0, 100}, // FLA
    {120, 13.2f, 14.6f, 14.9f, 13.6f, 12.9f, 0, 50, 0, 100, 0, 100}, // AGM
    {120, 13.2f, 14.1f, 14.4f, 13.7f, 12.9f, 0, 50, 0, 90, 0, 90},   // GEL
    {60, 13.2f, 14.4f, 14.7f, 13.4f, 12.8f, 0, 50, 0, 100, 0, 100},  // FireFly
    {30, 13.4f, 14.2f, 14.4f, 13.5f, 13.2f, 0, 40, 0, 80, 0, 60},    // LiFePO4
    {120, 13.2f, 14.4f, 14.8f, 13.5f, 12.8f, 0, 50, 0, 100, 0, 100}, // Custom #1
    {120, 13.2f, 14.5f, 14.8f, 13.4f, 12.8f, 0, 50, 0, 100, 0, 100}, // Custom #2
    {90, 13.2f, 14.3f, 14.6f, 13.3f, 12.7f, 0, 50, 0, 100, 0, 100},  // Custom #3
};

ChargeProfile ProfileOf(const ProfileValues& v)
{
    ChargeProfile p;
    p.SetU16(ChargeProfile::WarmUpDurationAt, v.warmUpDuration);
    p.SetF32(ChargeProfile::WarmUpTargetVoltageAt, v.warmUpTarget);
    p.SetF32(ChargeProfile::BulkTargetVoltageAt, v.bulkTarget);
    p.SetF32(ChargeProfile::BulkLimitVoltageAt, v.bulkLimit);
    p.SetF32(ChargeProfile::FloatTargetVoltageAt, v.floatTarget);
    p.SetF32(ChargeProfile::FloatLeaveVoltageAt, v.floatLeave);
    p.SetU8(ChargeProfile::WarmUpMinimumFieldAt, v.warmUpMin);
    p.SetU8(ChargeProfile::WarmUpMaximumFieldAt, v.warmUpMax);
    p.SetU8(ChargeProfile::BulkMinimumFieldAt, v.bulkMin);
    p.SetU8(ChargeProfile::BulkMaximumFieldAt, v.bulkMax);
    p.SetU8(ChargeProfile::FloatMinimumFieldAt, v.floatMin);
    p.SetU8(ChargeProfile::FloatMaximumFieldAt, v.floatMax);
    return p;
}

} // namespace

SystemStateRecord DemoOwnState()
{
    Bank b{};
    b.name = "Port engine";
    b.statusFlags = Ignition | CanVoltage | CanActive | WifiConnected;
    b.auxTemperature = 24.5; // battery temperature: the aux sensor sits on the bank
    b.bPlus = 13.82;
    b.bMinus = 0.02;
    b.batteryShuntVoltage = 13.81;
    b.batteryCurrent = 12.4;
    b.alternatorCurrent = 45.3;
    b.alternatorTemperature = 62.0;
    b.regulatorTemperature = 41.0;
    b.alternatorShuntVoltage = 14.02;
    b.regulatorVoltage = 14.05;
    b.field1 = 7.3;
    b.field2 = 7.2;
    b.rpm = 1850;
    b.regulatorStatus = 2; // Bulk
    b.fieldOutput = 1560;  // 62 %
    b.runningTime = 5025;  // 1:23:45
    return StateOf(b);
}

SystemStateRecord DemoPeerState()
{
    Bank b{};
    b.name = "Stbd engine";
    b.statusFlags = Ignition | CanVoltage | CanActive | Slave;
    b.auxTemperature = 35.5; // the peer's aux sensor sits on its alternator
    b.bPlus = 13.80;
    b.bMinus = 0.02;
    b.batteryShuntVoltage = 13.79;
    b.batteryCurrent = 8.6;
    b.alternatorCurrent = 38.7;
    b.alternatorTemperature = 58.5;
    b.regulatorTemperature = 39.0;
    b.alternatorShuntVoltage = 14.00;
    b.regulatorVoltage = 14.03;
    b.field1 = 6.9;
    b.field2 = 6.8;
    b.rpm = 1820;
    b.regulatorStatus = 4; // Slave
    b.fieldOutput = 1480;  // 59 %
    b.runningTime = 4980;
    return StateOf(b);
}

SettingsRecord DemoSettings()
{
    using S = SettingsRecord;
    S s;
    s.SetU8(S::DeviceVersionAt, 7);
    s.SetRawBytes(S::DeviceNameAt, S::DeviceNameSize, QByteArray("Port engine"));
    s.SetF32(S::WarningBatteryTemperatureAt, 45.0f);
    s.SetF32(S::FaultBatteryTemperatureAt, 55.0f);
    s.SetF32(S::WarningBatteryVoltageAt, 15.0f);
    s.SetF32(S::FaultBatteryVoltageAt, 15.5f);
    s.SetF32(S::WarningAlternatorTemperatureAt, 95.0f);
    s.SetF32(S::FaultAlternatorTemperatureAt, 110.0f);
    s.SetF32(S::AllowedVoltageDropAt, 0.5f);
    s.SetF32(S::FieldRpmModeAt, -1.0f); // field limit follows the curve
    s.SetF32(S::BatteryShuntResistanceAt, float(ShuntResistance));
    s.SetF32(S::AlternatorShuntResistanceAt, float(ShuntResistance));
    s.SetF32(S::BatteryPlusVoltageCompAt, 1.0f);
    s.SetF32(S::BatteryMinusVoltageCompAt, 1.0f);
    s.SetF32(S::ComparatorVoltageCompAt, 1.0f);
    s.SetF32(S::RegulatorVoltageCompAt, 1.0f);
    s.SetF32(S::PowerSupplyVoltageCompAt, 1.0f);
    s.SetF32(S::AlternatorShuntGain1At, float(ShuntAmplifierGain));
    s.SetF32(S::AlternatorShuntGain2At, float(ShuntAmplifierGain));
    s.SetF32(S::BatteryShuntBiasAt, 0.0f);
    s.SetU8(S::WifiModeAt, 2); // access point
    s.SetRawBytes(S::WifiSsidAt, S::WifiSsidSize, QByteArray("K-ROVA Port engine"));
    s.SetRawBytes(S::WifiPasswordAt, S::WifiPasswordSize, QByteArray("alternator2024"));
    const uint8_t ap[4] = {192, 168, 4, 1};
    for (int i = 0; i < 4; ++i)
        s.SetU8(S::WifiApAddressAt + std::size_t(i), ap[i]);
    s.SetRawBytes(S::SupportHostDomainAt, S::SupportHostDomainSize, QByteArray("support.krova.example"));
    s.SetU8(S::CanBusModeAt, 1); // NMEA 2000
    s.SetU8(S::Nmea2000AddressAt, 34);
    s.SetF32(S::PulleyRatioAt, float(PulleyRatio));
    s.SetU8(S::AlternatorPolesAt, AlternatorPoles);
    s.SetActiveChargeProfile(1); // AGM
    for (int k = 0; k < ChargeProfileCount; ++k)
        s.SetProfile(k, ProfileOf(DemoProfiles[k]));
    s.SetF32(S::ClimbCoefficientAt, 0.5f);
    s.SetF32(S::CollapseCoefficientAt, 2.0f);
    s.SetF32(S::RegulationBandAt, 0.05f);
    s.SetU16(S::RegulationRefreshRateAt, 40);
    s.SetU8(S::AlternatorTypeAt, 1); // P-type
    s.SetCurve(FieldRpmCurve{30, 36, 43, 49, 55, 62, 68, 75, 81, 87, 94, 100});
    s.SetAuxTempSensorUsage(0); // battery
    return s;
}

SnapshotRecord DemoSnapshot()
{
    SnapshotRecord snap;
    snap.SetOwnState(DemoOwnState());
    snap.SetPeerState(DemoPeerState());
    snap.SetSettings(DemoSettings());
    return snap;
}
