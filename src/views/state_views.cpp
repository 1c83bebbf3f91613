#include "views/state_views.h"

#include "records/ansi_text.h"
#include "views/value_format.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

struct MeasuredRow {
    const char* caption; // null: the aux temperature row, captioned by setting
    Channel channel;
    int decimals; // -1: rounded
};

const MeasuredRow measuredRows[15] = {
    {"B+ Voltage, V", Channel::BPlusVoltage, 2},
    {"B- Voltage, V", Channel::BMinusVoltage, 2},
    {nullptr, Channel::AuxTemperature, -1},
    {"Voltage at Battery Shunt, V", Channel::BatteryShuntVoltage, 4},
    {"Voltage across Battery Shunt, V", Channel::BatteryShuntDrop, 4},
    {"Field #1 Voltage, V", Channel::Field1Voltage, 2},
    {"Field #2 Voltage, V", Channel::Field2Voltage, 2},
    {"Voltage at Alternator Shunt, V", Channel::AlternatorShuntVoltage, 2},
    {"Voltage across Alternator Shunt, V", Channel::AlternatorShuntDrop, 4},
    {"Alternator Temperature, \u00B0C", Channel::AlternatorTemperature, -1},
    {"Regulator Voltage, V", Channel::RegulatorVoltage, 2},
    {"Regulator Temperature, \u00B0C", Channel::RegulatorTemperature, -1},
    {"Power Supply Voltage, V", Channel::PowerSupplyVoltage, 2},
    {"Reference Voltage, V", Channel::ReferenceVoltage, 3},
    {"Engine RPM, 1/min", Channel::EngineRpm, -1},
};

QString AuxTemperatureCaption(Side side, uint8_t usage)
{
    if (side == Side::Own && usage == 0)
        return QStringLiteral("Battery Temperature, \u00B0C");
    if (side == Side::Own && usage == 1)
        return QStringLiteral("Aux Alternator Temperature, \u00B0C");
    return QStringLiteral("Aux Temperature, \u00B0C");
}

// Whether a value is formatted: nothing was kept, or the value's bytes
// differ from those of the record the kept texts were made from.
bool BytesChanged(const SystemStateRecord& r, const SystemStateRecord* before, std::size_t at, std::size_t size)
{
    return !before || std::memcmp(r.Data() + at, before->Data() + at, size) != 0;
}

QString Percent(uint16_t quarterPercent)
{
    return FormatInteger(FieldPercent(quarterPercent));
}

struct MessageRow {
    int bit;
    const char* text; // empty: a bit without a condition text
};

// Display order of the own memo. Bit 9's text depends on the aux sensor
// setting and is chosen at refresh time.
const MessageRow ownMessages[32] = {
    {30, "System Warning"},
    {31, "System Fault"},
    {0, "Ignition Input active"},
    {4, "Regulator is Slave"},
    {5, "Field Reduction Switch active"},
    {9, nullptr},
    {12, "Alternator Temperature Sensor is not connected"},
    {15, "Battery Voltage Sensor is not connected"},
    {18, "Alternator Current Shunt is not connected"},
    {21, "Battery Current Shunt is not connected"},
    {10, "Battery Temperature warning"},
    {11, "Battery Temperature fault"},
    {13, "Alternator Temperature warning"},
    {14, "Alternator Temperature fault"},
    {16, "Battery Voltage warning"},
    {17, "Battery Voltage fault"},
    {19, ""},
    {20, ""},
    {6, "Regulator is overheating"},
    {7, "Regulator internal failure"},
    {8, "Allowed Voltage Drop in Wiring value exceeded"},
    {1, "CAN bus voltage detected"},
    {2, "CAN bus active"},
    {3, "Wi-Fi connected"},
    {22, "Alternator output reduced due to low engine RPM"},
    {23, "Alternator output reduced according to Field/RPM curve"},
    {24, ""},
    {25, ""},
    {26, ""},
    {27, ""},
    {28, ""},
    {29, ""},
};

// The peer's aux input is always worded as an aux temperature, and its
// warning and fault follow the sensor line.
const MessageRow peerMessages[32] = {
    {30, "System Warning"},
    {31, "System Fault"},
    {0, "Ignition Input active"},
    {4, "Regulator is Slave"},
    {5, "Field Reduction Switch active"},
    {9, "Aux Temperature Sensor is not connected"},
    {13, "Aux Temperature warning"},
    {14, "Aux Temperature fault"},
    {12, "Alternator Temperature Sensor is not connected"},
    {15, "Battery Voltage Sensor is not connected"},
    {18, "Alternator Current Shunt is not connected"},
    {21, "Battery Current Shunt is not connected"},
    {10, "Battery Temperature warning"},
    {11, "Battery Temperature fault"},
    {16, "Battery Voltage warning"},
    {17, "Battery Voltage fault"},
    {19, ""},
    {20, ""},
    {6, "Regulator is overheating"},
    {7, "Regulator internal failure"},
    {8, "Too big losses in wiring"},
    {1, "CAN bus voltage detected"},
    {2, "CAN bus active"},
    {3, "Wi-Fi connected"},
    {22, "Alternator output reduced due to low engine RPM"},
    {23, "Alternator output reduced according to Field/RPM curve"},
    {24, ""},
    {25, ""},
    {26, ""},
    {27, ""},
    {28, ""},
    {29, ""},
};

// "0x" and eight upper-case hex digits.
QString HexWord(uint32_t word)
{
    char text[16];
    const int n = std::snprintf(text, sizeof text, "0x%08X", unsigned(word));
    return QString::fromLatin1(text, n);
}

QString NameLine(const SystemStateRecord& record)
{
    return QStringLiteral("Regulator Name: ") + FromAnsi(record.RegulatorName());
}

} // namespace

QStringList MeasuredValuesCells(const SystemStateRecord& record, Side side, uint8_t auxTempSensorUsage)
{
    QStringList cells;
    UpdateMeasuredValuesCells(cells, record, nullptr, side, auxTempSensorUsage);
    return cells;
}

void UpdateMeasuredValuesCells(QStringList& cells, const SystemStateRecord& record, const SystemStateRecord* before,
                               Side side, uint8_t auxTempSensorUsage)
{
    // The captions are made once; a kept list shares them.
    static const QStringList header{QStringLiteral("Measured Parameter"), QStringLiteral("Value"),
                                    QStringLiteral("Signal, V"), QStringLiteral("ADC count")};
    static const auto captions = [] {
        std::array<QString, std::size(measuredRows)> texts;
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (measuredRows[i].caption)
                texts[i] = QString::fromUtf8(measuredRows[i].caption);
        return texts;
    }();
    if (cells.size() != MeasuredValuesRows * MeasuredValuesColumns) {
        before = nullptr;
        cells = header;
        cells.resize(MeasuredValuesRows * MeasuredValuesColumns);
    }
    // Without texts kept from `before`, every value is formatted; otherwise
    // only those whose bytes differ.
    auto changed = [&](const float& now, const float& was) {
        return !before || std::memcmp(&now, &was, sizeof now) != 0;
    };
    for (std::size_t i = 0; i < std::size(measuredRows); ++i) {
        const MeasuredRow& row = measuredRows[i];
        const MeasuredChannel m = record.ChannelAt(row.channel);
        const MeasuredChannel was = before ? before->ChannelAt(row.channel) : m;
        const int at = int(i + 1) * MeasuredValuesColumns;
        cells[at] = row.caption ? captions[i] : AuxTemperatureCaption(side, auxTempSensorUsage);
        if (changed(m.Value, was.Value))
            cells[at + 1] = row.decimals < 0 ? FormatRounded(m.Value) : FormatFixed(row.decimals, m.Value);
        if (changed(m.Signal, was.Signal))
            cells[at + 2] = FormatFixed(4, m.Signal);
        if (changed(m.AdcCount, was.AdcCount))
            cells[at + 3] = FormatRounded(m.AdcCount);
    }
}

QStringList SystemStateCells(const SystemStateRecord& r)
{
    QStringList cells;
    UpdateSystemStateCells(cells, r, nullptr);
    return cells;
}

void UpdateSystemStateCells(QStringList& cells, const SystemStateRecord& r, const SystemStateRecord* before)
{
    using R = SystemStateRecord;
    if (cells.size() != SystemStateRows * StateColumns) {
        static const QStringList captions{
            QStringLiteral("System Parameter"), QStringLiteral("Value"),
            QStringLiteral("Detected System Voltage, V"), QString(),
            QStringLiteral("Battery Voltage, V"), QString(),
            QStringLiteral("Battery Current, A"), QString(),
            QStringLiteral("Alternator Current, A"), QString(),
            QStringLiteral("Load Current, A"), QString(),
            QStringLiteral("FRS Value, %"), QString(),
            QStringLiteral("Set System Field Limit, %"), QString(),
            QStringLiteral("Set Slave Field Limit, %"), QString(),
            QStringLiteral("Status Code"), QString(),
        };
        cells = captions;
        before = nullptr;
    }
    auto changed = [&](std::size_t at, std::size_t size) { return BytesChanged(r, before, at, size); };
    auto value = [&](int row) -> QString& { return cells[row * StateColumns + 1]; };
    if (changed(R::DetectedSystemVoltageAt, 2))
        value(1) = FormatInteger(r.DetectedSystemVoltage());
    if (changed(R::BatteryVoltageAt, 4))
        value(2) = FormatFixed(2, r.BatteryVoltage());
    if (changed(R::BatteryCurrentAt, 4))
        value(3) = FormatRounded(r.BatteryCurrent());
    if (changed(R::AlternatorCurrentAt, 4))
        value(4) = FormatRounded(r.AlternatorCurrent());
    if (changed(R::LoadCurrentAt, 4))
        value(5) = FormatRounded(r.LoadCurrent());
    if (changed(R::FrsValueAt, 2))
        value(6) = FormatInteger(-10 * int64_t(r.FrsValue()));
    if (changed(R::SystemFieldLimitAt, 2))
        value(7) = Percent(r.SystemFieldLimit());
    if (changed(R::SlaveFieldLimitAt, 2))
        value(8) = Percent(r.SlaveFieldLimit());
    if (changed(R::StatusFlagsAt, 4))
        value(9) = HexWord(r.StatusFlags());
}

QString RegulatorStatusText(uint8_t code)
{
    static const char* const texts[] = {"Monitoring", "Warm-up", "Bulk", "Float", "Slave"};
    return code < 5 ? QString::fromLatin1(texts[code]) : QString();
}

QStringList RegulatorStateCells(const SystemStateRecord& r, Side side, const QString& shownStatus)
{
    QStringList cells;
    UpdateRegulatorStateCells(cells, r, nullptr, side);
    if (r.RegulatorStatus() >= 5)
        cells[2 * StateColumns + 1] = shownStatus;
    return cells;
}

void UpdateRegulatorStateCells(QStringList& cells, const SystemStateRecord& r, const SystemStateRecord* before,
                               Side side)
{
    using R = SystemStateRecord;
    if (cells.size() != RegulatorStateRows * StateColumns) {
        const QString fieldCaption =
            side == Side::Peer ? QStringLiteral("Field Output, %") : QStringLiteral("Digital Field Output, %");
        cells = QStringList{
            QStringLiteral("Regulator Parameter"), QStringLiteral("Value"),
            QStringLiteral("Running Time"), QString(),
            QStringLiteral("Status"), QString(),
            fieldCaption, QString(),
            QStringLiteral("Regulation Target, V"), QString(),
            QStringLiteral("Set Minimum Field, %"), QString(),
            QStringLiteral("Set Maximum Field, %"), QString(),
            QStringLiteral("Wiring Voltage Drop, V"), QString(),
        };
        before = nullptr;
    }
    auto changed = [&](std::size_t at, std::size_t size) { return BytesChanged(r, before, at, size); };
    auto value = [&](int row) -> QString& { return cells[row * StateColumns + 1]; };
    if (changed(R::RunningTimeAt, 4))
        value(1) = FormatRunningTime(r.RunningTime());
    // A status code without a text leaves the status shown before.
    if (r.RegulatorStatus() < 5 && changed(R::RegulatorStatusAt, 1))
        value(2) = RegulatorStatusText(r.RegulatorStatus());
    if (changed(R::FieldOutputAt, 2) || changed(R::DigitalFieldModeAt, 1) || changed(R::SystemFieldLimitAt, 2)) {
        if (side == Side::Peer)
            value(3) = Percent(r.FieldOutput());
        else
            value(3) = r.DigitalFieldMode() != 0 ? QStringLiteral("PWM at ") + Percent(r.FieldOutput())
                                                 : QStringLiteral("up to ") + Percent(r.SystemFieldLimit());
    }
    if (changed(R::RegulationTargetAt, 4))
        value(4) = FormatFixed(2, r.RegulationTarget());
    if (changed(R::MinimumFieldAt, 2))
        value(5) = Percent(r.MinimumField());
    if (changed(R::MaximumFieldAt, 2))
        value(6) = Percent(r.MaximumField());
    if (changed(R::WiringVoltageDropAt, 4))
        value(7) = FormatFixed(3, r.WiringVoltageDrop());
}

QStringList SystemMessageLines(const SystemStateRecord& record, MessageHoldCounters& hold, uint8_t auxTempSensorUsage)
{
    const uint32_t flags = record.StatusFlags();
    for (int n = 0; n < 32; ++n) {
        uint8_t& counter = hold.counters[std::size_t(n)];
        if (IsBitSet(flags, n))
            counter = MessageHoldCount;
        else if (counter > 0)
            --counter;
    }
    QStringList lines{NameLine(record)};
    for (const MessageRow& row : ownMessages) {
        if (hold.counters[std::size_t(row.bit)] == 0)
            continue;
        if (row.text)
            lines << QString::fromLatin1(row.text);
        else
            lines << (auxTempSensorUsage == 0 ? QStringLiteral("Battery Temperature Sensor is not connected")
                                              : QStringLiteral("Aux Alternator Temperature Sensor is not connected"));
    }
    return lines;
}

QStringList PeerSystemMessageLines(const SystemStateRecord& record)
{
    const uint32_t flags = record.StatusFlags();
    QStringList lines{NameLine(record)};
    for (const MessageRow& row : peerMessages)
        if (IsBitSet(flags, row.bit))
            lines << QString::fromLatin1(row.text);
    return lines;
}
