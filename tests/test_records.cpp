// Record layouts and the settings file.
#include "records/settings_file.h"
#include "rig/test_support.h"
#include "records/settings_record.h"
#include "records/snapshot_record.h"
#include "records/system_state_record.h"

#include <QTemporaryDir>
#include <QDir>
#include <QtTest>

#include <cstring>
#include <vector>

namespace {

// Every byte different from its neighbours, so that a field read one byte
// off, or with the wrong width, gives another value.
template <typename Record>
Record Filled()
{
    Record r;
    for (std::size_t i = 0; i < r.Size; ++i)
        r.Data()[i] = uint8_t(i * 37 + 11);
    return r;
}

enum FieldType { U8, U16, U32, F32 };

// The field's value as the literal layout says: little-endian, `type` wide,
// at `offset` of the record's bytes. Reals compare by their bits.
uint64_t AtOffset(const uint8_t* bytes, std::size_t offset, FieldType type)
{
    const int width = type == U8 ? 1 : type == U16 ? 2 : 4;
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | bytes[offset + std::size_t(i)];
    return v;
}

uint64_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

struct Field {
    const char* name;
    std::size_t offset;
    FieldType type;
    uint64_t value; // what the accessor gave
};
} // namespace

class RecordsTest : public QObject {
    Q_OBJECT
private slots:
    // Every named field of the state record against its literal place.
    void stateFieldsAtTheirOffsets()
    {
        const SystemStateRecord r = Filled<SystemStateRecord>();
        std::vector<Field> fields{
            {"StatusFlags", 4, U32, r.StatusFlags()},
            {"CanPageEnable1", 205, U8, r.CanPageEnable1()},
            {"CanPageEnable2", 206, U8, r.CanPageEnable2()},
            {"DigitalFieldMode", 213, U8, r.DigitalFieldMode()},
            {"DetectedSystemVoltage", 220, U16, r.DetectedSystemVoltage()},
            {"FrsValue", 222, U16, r.FrsValue()},
            {"SlaveFieldLimit", 226, U16, r.SlaveFieldLimit()},
            {"SystemFieldLimit", 228, U16, r.SystemFieldLimit()},
            {"LoadCurrent", 232, F32, Bits(r.LoadCurrent())},
            {"BatteryVoltage", 236, F32, Bits(r.BatteryVoltage())},
            {"BatteryCurrent", 240, F32, Bits(r.BatteryCurrent())},
            {"AlternatorCurrent", 244, F32, Bits(r.AlternatorCurrent())},
            {"RunningTime", 248, U32, r.RunningTime()},
            {"RegulatorStatus", 252, U8, r.RegulatorStatus()},
            {"WiringVoltageDrop", 256, F32, Bits(r.WiringVoltageDrop())},
            {"RegulationTarget", 264, F32, Bits(r.RegulationTarget())},
            {"FieldOutput", 268, U16, r.FieldOutput()},
            {"MinimumField", 270, U16, r.MinimumField()},
            {"MaximumField", 272, U16, r.MaximumField()},
        };
        // The fifteen channels in record order, each three singles.
        const std::pair<Channel, std::size_t> channels[] = {
            {Channel::AuxTemperature, 24}, {Channel::BPlusVoltage, 36}, {Channel::BMinusVoltage, 48},
            {Channel::BatteryShuntVoltage, 60}, {Channel::BatteryShuntDrop, 72},
            {Channel::AlternatorTemperature, 84}, {Channel::AlternatorShuntDrop, 96},
            {Channel::AlternatorShuntVoltage, 108}, {Channel::RegulatorVoltage, 120},
            {Channel::RegulatorTemperature, 132}, {Channel::Field1Voltage, 144}, {Channel::Field2Voltage, 156},
            {Channel::PowerSupplyVoltage, 168}, {Channel::ReferenceVoltage, 180}, {Channel::EngineRpm, 192},
        };
        for (const auto& [channel, offset] : channels) {
            const MeasuredChannel m = r.ChannelAt(channel);
            fields.push_back({"AdcCount", offset, F32, Bits(m.AdcCount)});
            fields.push_back({"Signal", offset + 4, F32, Bits(m.Signal)});
            fields.push_back({"Value", offset + 8, F32, Bits(m.Value)});
        }
        for (const Field& f : fields)
            QVERIFY2(f.value == AtOffset(r.Data(), f.offset, f.type),
                     qPrintable(QStringLiteral("%1 at %2").arg(f.name).arg(f.offset)));
        QCOMPARE(r.RegulatorName(), r.ToByteArray().mid(8, 16)); // no zero byte in it here
    }

    // Every named field of the settings record, the charge profiles and the
    // curve against its literal place.
    void settingsFieldsAtTheirOffsets()
    {
        const SettingsRecord r = Filled<SettingsRecord>();
        std::vector<Field> fields{
            {"Device Version", 1, U8, r.DeviceVersion()},
            {"Warning Battery Temperature", 20, F32, Bits(r.WarningBatteryTemperature())},
            {"Fault Battery Temperature", 24, F32, Bits(r.FaultBatteryTemperature())},
            {"Warning Battery Voltage", 28, F32, Bits(r.WarningBatteryVoltage())},
            {"Fault Battery Voltage", 32, F32, Bits(r.FaultBatteryVoltage())},
            {"Warning Alternator Temperature", 36, F32, Bits(r.WarningAlternatorTemperature())},
            {"Fault Alternator Temperature", 40, F32, Bits(r.FaultAlternatorTemperature())},
            {"Allowed Voltage Drop in Wiring", 44, F32, Bits(r.AllowedVoltageDrop())},
            {"Field/RPM", 48, F32, Bits(r.FieldRpmMode())},
            {"Battery Shunt Resistance", 52, F32, Bits(r.BatteryShuntResistance())},
            {"Alternator Shunt Resistance", 56, F32, Bits(r.AlternatorShuntResistance())},
            {"Battery Plus Voltage Comp", 60, F32, Bits(r.BatteryPlusVoltageComp())},
            {"Battery Minus Voltage Comp", 64, F32, Bits(r.BatteryMinusVoltageComp())},
            {"Comparator Voltage Comp", 68, F32, Bits(r.ComparatorVoltageComp())},
            {"Regulator Voltage Comp", 76, F32, Bits(r.RegulatorVoltageComp())},
            {"Power Supply Voltage Comp", 80, F32, Bits(r.PowerSupplyVoltageComp())},
            {"Alternator Shunt Voltage Gain #1", 84, F32, Bits(r.AlternatorShuntGain1())},
            {"Alternator Shunt Voltage Gain #2", 88, F32, Bits(r.AlternatorShuntGain2())},
            {"cleared word", 92, U32, r.ClearedWord()},
            {"Battery Shunt Bias", 100, F32, Bits(r.BatteryShuntBias())},
            {"Wi-Fi Mode", 108, U8, r.WifiMode()},
            {"Wi-Fi AP IP address 1", 173, U8, r.WifiApAddressByte(0)},
            {"Wi-Fi AP IP address 4", 176, U8, r.WifiApAddressByte(3)},
            {"CAN Bus Mode", 241, U8, r.CanBusMode()},
            {"Claimed NMEA-2000 Address", 242, U8, r.Nmea2000Address()},
            {"Crank-To-Alternator Pulley Ratio", 244, F32, Bits(r.PulleyRatio())},
            {"Alternator Poles", 248, U8, r.AlternatorPoles()},
            {"Active Charge Profile Number", 249, U8, r.ActiveChargeProfile()},
            {"Regulation Climb Coefficient", 508, F32, Bits(r.ClimbCoefficient())},
            {"Regulation Collapse Coefficient", 512, F32, Bits(r.CollapseCoefficient())},
            {"Regulation Band", 516, F32, Bits(r.RegulationBand())},
            {"Regulation Refresh Rate", 520, U16, r.RegulationRefreshRate()},
            {"Alternator Type", 522, U8, r.AlternatorType()},
            {"Aux Temp Sensor Usage", 536, U8, r.AuxTempSensorUsage()},
        };
        for (int k = 0; k < 8; ++k) {
            const ChargeProfile p = r.Profile(k);
            const std::size_t at = 252 + 32 * std::size_t(k);
            fields.insert(fields.end(), {
                {"Warm-up Duration", at, U16, p.WarmUpDuration()},
                {"Warm-up Target Voltage", at + 4, F32, Bits(p.WarmUpTargetVoltage())},
                {"Bulk Target Voltage", at + 8, F32, Bits(p.BulkTargetVoltage())},
                {"Bulk Limit Voltage", at + 12, F32, Bits(p.BulkLimitVoltage())},
                {"Float Target Voltage", at + 16, F32, Bits(p.FloatTargetVoltage())},
                {"Float Leave Voltage", at + 20, F32, Bits(p.FloatLeaveVoltage())},
                {"Warm-up Minimum Field", at + 24, U8, p.WarmUpMinimumField()},
                {"Warm-up Maximum Field", at + 25, U8, p.WarmUpMaximumField()},
                {"Bulk Minimum Field", at + 26, U8, p.BulkMinimumField()},
                {"Bulk Maximum Field", at + 27, U8, p.BulkMaximumField()},
                {"Float Minimum Field", at + 28, U8, p.FloatMinimumField()},
                {"Float Maximum Field", at + 29, U8, p.FloatMaximumField()},
            });
        }
        const FieldRpmCurve curve = r.Curve();
        for (int i = 0; i < 12; ++i)
            fields.push_back({"curve point", 523 + std::size_t(i), U8, curve[std::size_t(i)]});
        for (const Field& f : fields)
            QVERIFY2(f.value == AtOffset(r.Data(), f.offset, f.type),
                     qPrintable(QStringLiteral("%1 at %2").arg(f.name).arg(f.offset)));

        // Text fields: the bytes at their place up to the first zero byte.
        SettingsRecord t;
        const std::pair<std::size_t, std::size_t> texts[] = {{2, 16}, {109, 32}, {141, 32}, {177, 64}};
        for (const auto& [at, size] : texts)
            for (std::size_t i = 0; i < size; ++i)
                t.Data()[at + i] = uint8_t('a' + (at + i) % 26);
        QCOMPARE(t.DeviceName(), t.ToByteArray().mid(2, 16));
        QCOMPARE(t.WifiSsid(), t.ToByteArray().mid(109, 32));
        QCOMPARE(t.WifiPassword(), t.ToByteArray().mid(141, 32));
        QCOMPARE(t.SupportHostDomain(), t.ToByteArray().mid(177, 64));
    }

    void regulatorName()
    {
        SystemStateRecord r;
        std::memcpy(r.Data() + 8, "ABCDEFGHIJKLMNOPQRS", 16);
        QCOMPARE(r.RegulatorName(), QByteArray("ABCDEFGHIJKLMNOP")); // no zero: ends at the field
        r.Data()[11] = 0;
        QCOMPARE(r.RegulatorName(), QByteArray("ABC"));
    }

    void settingsProfilesAndCurve()
    {
        SettingsRecord s = Patterned<SettingsRecord>(7, 31);
        const ChargeProfile p3 = s.Profile(3);
        QVERIFY(std::equal(p3.Data(), p3.Data() + 32, s.Data() + 348));
        FieldRpmCurve c = s.Curve();
        QCOMPARE(c[7], s.Data()[530]);
        c[7] = 99;
        s.SetCurve(c);
        QCOMPARE(int(s.Data()[530]), 99);
        ChargeProfile p;
        p.SetU16(ChargeProfile::WarmUpDurationAt, 600);
        s.SetProfile(7, p);
        QCOMPARE(s.U16(252 + 7 * 32), uint16_t(600));
        QCOMPARE(int(s.Data()[251]), int(Patterned<SettingsRecord>(7, 31).Data()[251])); // neighbours untouched
    }

    void snapshotParts()
    {
        SnapshotRecord snap;
        for (std::size_t i = 0; i < snap.Size; ++i)
            snap.Data()[i] = uint8_t(i);
        QCOMPARE(int(snap.OwnState().Data()[0]), 4);
        QCOMPARE(int(snap.PeerState().Data()[0]), 284 & 0xFF);
        QCOMPARE(int(snap.Settings().Data()[0]), 564 & 0xFF);
    }

    void settingsFileRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("boat.krv"));
        const SettingsRecord saved = Patterned<SettingsRecord>(7, 31);
        QVERIFY(SaveSettingsFile(path, saved).ok);
        QCOMPARE(ReadAll(path), saved.ToByteArray());
        SettingsRecord loaded;
        QVERIFY(LoadSettingsFile(path, loaded).ok);
        QCOMPARE(loaded, saved);
    }

    void settingsFileLengths_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("539") << 539 << false;
        QTest::newRow("540") << 540 << true;
        QTest::newRow("541") << 541 << true;
        QTest::newRow("empty") << 0 << false;
    }
    void settingsFileLengths()
    {
        QFETCH(int, length);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.krv"));
        QByteArray bytes(length, '\0');
        for (int i = 0; i < length; ++i)
            bytes[i] = char(i * 3 + 1);
        QVERIFY(WriteAll(path, bytes));
        SettingsRecord record = Patterned<SettingsRecord>(7, 31);
        const SettingsRecord before = record;
        const FileOutcome outcome = LoadSettingsFile(path, record);
        QCOMPARE(outcome.ok, ok);
        if (outcome.ok) {
            QCOMPARE(record.ToByteArray(), bytes.left(540));
        } else {
            QCOMPARE(outcome.message, QStringLiteral("Stream read error"));
            QCOMPARE(record, before);
        }
    }

    void settingsFileErrors()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("nope.krv"));
        SettingsRecord record;
        FileOutcome load = LoadSettingsFile(missing, record);
        QVERIFY(!load.ok);
        QVERIFY2(load.message.startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(QDir::toNativeSeparators(missing))), qPrintable(load.message));
        QVERIFY(load.message.size() > missing.size() + 22);

        const QString badDir = dir.filePath(QStringLiteral("no/such/folder/x.krv"));
        FileOutcome save = SaveSettingsFile(badDir, record);
        QVERIFY(!save.ok);
        QVERIFY2(save.message.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(QDir::toNativeSeparators(badDir))), qPrintable(save.message));
    }

    void fullDiskReportsWriteError()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        const FileOutcome outcome = SaveSettingsFile(QStringLiteral("/dev/full"), Patterned<SettingsRecord>(7, 31));
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.message, QStringLiteral("Stream write error"));
        QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "test_records.moc"
