#pragma once
// The 280-byte live state of one regulator, as it arrives in five 64-byte
// blocks. The program keeps two: the own regulator's and the peer's.
#include "records/byte_record.h"

// One measured input: raw converter count, converter input voltage and the
// converted physical value, three little-endian singles.
struct MeasuredChannel {
    float AdcCount = 0;
    float Signal = 0;
    float Value = 0;
};

// Channel indexes in record order (channel k starts at offset 24 + 12 k).
enum class Channel : int {
    AuxTemperature = 0,
    BPlusVoltage,
    BMinusVoltage,
    BatteryShuntVoltage,
    BatteryShuntDrop,
    AlternatorTemperature,
    AlternatorShuntDrop,
    AlternatorShuntVoltage,
    RegulatorVoltage,
    RegulatorTemperature,
    Field1Voltage,
    Field2Voltage,
    PowerSupplyVoltage,
    ReferenceVoltage,
    EngineRpm,
};
constexpr int ChannelCount = 15;

class SystemStateRecord : public ByteRecord<280> {
public:
    enum Offset : std::size_t {
        StatusFlagsAt = 4,
        RegulatorNameAt = 8,
        RegulatorNameSize = 16,
        ChannelsAt = 24,
        ChannelSize = 12,
        CanPageEnable1At = 205,
        CanPageEnable2At = 206,
        DigitalFieldModeAt = 213,
        DetectedSystemVoltageAt = 220,
        FrsValueAt = 222,
        SlaveFieldLimitAt = 226,
        SystemFieldLimitAt = 228,
        LoadCurrentAt = 232,
        BatteryVoltageAt = 236,
        BatteryCurrentAt = 240,
        AlternatorCurrentAt = 244,
        RunningTimeAt = 248,
        RegulatorStatusAt = 252,
        WiringVoltageDropAt = 256,
        RegulationTargetAt = 264,
        FieldOutputAt = 268,
        MinimumFieldAt = 270,
        MaximumFieldAt = 272,
    };

    uint32_t StatusFlags() const { return U32(StatusFlagsAt); }
    QByteArray RegulatorName() const { return Text(RegulatorNameAt, RegulatorNameSize); }
    MeasuredChannel ChannelAt(Channel c) const;
    uint8_t CanPageEnable1() const { return U8(CanPageEnable1At); }
    uint8_t CanPageEnable2() const { return U8(CanPageEnable2At); }
    uint8_t DigitalFieldMode() const { return U8(DigitalFieldModeAt); }
    uint16_t DetectedSystemVoltage() const { return U16(DetectedSystemVoltageAt); }
    uint16_t FrsValue() const { return U16(FrsValueAt); }
    uint16_t SlaveFieldLimit() const { return U16(SlaveFieldLimitAt); }
    uint16_t SystemFieldLimit() const { return U16(SystemFieldLimitAt); }
    float LoadCurrent() const { return F32(LoadCurrentAt); }
    float BatteryVoltage() const { return F32(BatteryVoltageAt); }
    float BatteryCurrent() const { return F32(BatteryCurrentAt); }
    float AlternatorCurrent() const { return F32(AlternatorCurrentAt); }
    uint32_t RunningTime() const { return U32(RunningTimeAt); }
    uint8_t RegulatorStatus() const { return U8(RegulatorStatusAt); }
    float WiringVoltageDrop() const { return F32(WiringVoltageDropAt); }
    float RegulationTarget() const { return F32(RegulationTargetAt); }
    uint16_t FieldOutput() const { return U16(FieldOutputAt); }
    uint16_t MinimumField() const { return U16(MinimumFieldAt); }
    uint16_t MaximumField() const { return U16(MaximumFieldAt); }

    // Writers for the simulated regulator, examples and tests; the program
    // itself only ever replaces a record whole.
    void SetStatusFlags(uint32_t v) { SetU32(StatusFlagsAt, v); }
    void SetRegulatorName(const QByteArray& name) { SetRawBytes(RegulatorNameAt, RegulatorNameSize, name.left(RegulatorNameSize)); }
    void SetChannel(Channel c, const MeasuredChannel& m);
    void SetCanPageEnable(uint8_t first, uint8_t second)
    {
        SetU8(CanPageEnable1At, first);
        SetU8(CanPageEnable2At, second);
    }
    void SetDigitalFieldMode(uint8_t v) { SetU8(DigitalFieldModeAt, v); }
    void SetDetectedSystemVoltage(uint16_t v) { SetU16(DetectedSystemVoltageAt, v); }
    void SetFrsValue(uint16_t v) { SetU16(FrsValueAt, v); }
    void SetSlaveFieldLimit(uint16_t v) { SetU16(SlaveFieldLimitAt, v); }
    void SetSystemFieldLimit(uint16_t v) { SetU16(SystemFieldLimitAt, v); }
    void SetLoadCurrent(float v) { SetF32(LoadCurrentAt, v); }
    void SetBatteryVoltage(float v) { SetF32(BatteryVoltageAt, v); }
    void SetBatteryCurrent(float v) { SetF32(BatteryCurrentAt, v); }
    void SetAlternatorCurrent(float v) { SetF32(AlternatorCurrentAt, v); }
    void SetRunningTime(uint32_t v) { SetU32(RunningTimeAt, v); }
    void SetRegulatorStatus(uint8_t v) { SetU8(RegulatorStatusAt, v); }
    void SetWiringVoltageDrop(float v) { SetF32(WiringVoltageDropAt, v); }
    void SetRegulationTarget(float v) { SetF32(RegulationTargetAt, v); }
    void SetFieldOutput(uint16_t v) { SetU16(FieldOutputAt, v); }
    void SetMinimumField(uint16_t v) { SetU16(MinimumFieldAt, v); }
    void SetMaximumField(uint16_t v) { SetU16(MaximumFieldAt, v); }
};
