#include "calibration/calibration.h"
#include "records/demo_records.h"
#include "records/settings_file.h"
#include "records/snapshot_file.h"
#include "rig/test_support.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cmath>

namespace {

QByteArray ReadExample(const QString& name)
{
    QFile f(QDir(SourceDir()).filePath(QStringLiteral("examples/") + name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool Near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

} // namespace

class TestDemoRecords : public QObject {
    Q_OBJECT

private slots:
    void exampleFilesMatchGenerator();
    void exampleSnapshotImports();
    void exampleSettingsFileLoads();
    void states_data();
    void states();
    void settingsFloatsWithinEditorRanges_data();
    void settingsFloatsWithinEditorRanges();
    void settingsCodedFields();
    void settingsTexts();
    void chargeProfiles_data();
    void chargeProfiles();
    void curveRises();
    void demoStateCalibratesCleanly();
};

void TestDemoRecords::exampleFilesMatchGenerator()
{
    const QByteArray snapshot = ReadExample("demo_snapshot.txt");
    const QByteArray settings = ReadExample("demo_settings.krv");
    QCOMPARE(snapshot.size(), 1104);
    QCOMPARE(settings.size(), 540);
    QVERIFY2(snapshot == DemoSnapshot().ToByteArray(), "examples/demo_snapshot.txt is stale: rerun krova-make-examples");
    QVERIFY2(settings == DemoSettings().ToByteArray(), "examples/demo_settings.krv is stale: rerun krova-make-examples");
    // Both files carry the same settings image.
    QCOMPARE(snapshot.mid(564, 540), settings);
}

void TestDemoRecords::exampleSnapshotImports()
{
    const SnapshotLoad load = LoadSnapshotFile(QDir(SourceDir()).filePath("examples/demo_snapshot.txt"));
    QCOMPARE(load.status, SnapshotLoad::Loaded);
    QVERIFY(load.record.OwnState() == DemoOwnState());
    QVERIFY(load.record.PeerState() == DemoPeerState());
    QVERIFY(load.record.Settings() == DemoSettings());
}

void TestDemoRecords::exampleSettingsFileLoads()
{
    SettingsRecord s;
    const FileOutcome outcome = LoadSettingsFile(QDir(SourceDir()).filePath("examples/demo_settings.krv"), s);
    QVERIFY2(outcome.ok, qPrintable(outcome.message));
    QVERIFY(s == DemoSettings());
}

void TestDemoRecords::states_data()
{
    QTest::addColumn<bool>("own");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("regulatorStatus");
    QTest::newRow("own") << true << QByteArray("Port engine") << 2;
    QTest::newRow("peer") << false << QByteArray("Stbd engine") << 4;
}

void TestDemoRecords::states()
{
    QFETCH(bool, own);
    QFETCH(QByteArray, name);
    QFETCH(int, regulatorStatus);
    const SystemStateRecord r = own ? DemoOwnState() : DemoPeerState();

    QCOMPARE(r.RegulatorName(), name);
    QCOMPARE(int(r.RegulatorStatus()), regulatorStatus);
    QCOMPARE(r.DetectedSystemVoltage(), uint16_t(12));
    QVERIFY(r.CanPageEnable1() != 0 && r.CanPageEnable2() != 0);
    const uint32_t flags = r.StatusFlags();
    QVERIFY(flags & (1u << 0)); // ignition
    QVERIFY(flags & (1u << 2)); // CAN active
    // No fault or warning bits in a healthy installation.
    QCOMPARE(flags & 0xFFFFFFC0u, 0u);
    QCOMPARE(bool(flags & (1u << 4)), !own); // only the peer is slave

    QVERIFY(Near(r.BatteryVoltage(), 13.8, 0.1));
    QVERIFY(r.RegulationTarget() > r.BatteryVoltage());
    QVERIFY(r.AlternatorCurrent() > r.BatteryCurrent() && r.BatteryCurrent() > 0);
    QVERIFY(Near(r.LoadCurrent(), r.AlternatorCurrent() - r.BatteryCurrent(), 1e-4));
    QVERIFY(r.FieldOutput() > 0 && r.FieldOutput() <= r.MaximumField());
    QVERIFY(r.MaximumField() <= 2500 && r.SystemFieldLimit() <= 2500);
    QVERIFY(r.RunningTime() > 0);

    const MeasuredChannel rpm = r.ChannelAt(Channel::EngineRpm);
    QVERIFY(rpm.Value > 600 && rpm.Value < 4000);
    for (Channel c : {Channel::AuxTemperature, Channel::AlternatorTemperature, Channel::RegulatorTemperature}) {
        const MeasuredChannel t = r.ChannelAt(c);
        QVERIFY(t.Value > 0 && t.Value < 100);
    }
    // Every analogue signal fits the converter and its count matches it.
    for (int k = 0; k < ChannelCount; ++k) {
        if (Channel(k) == Channel::EngineRpm)
            continue;
        const MeasuredChannel m = r.ChannelAt(Channel(k));
        QVERIFY2(m.Signal >= 0 && m.Signal <= 3.3f, qPrintable(QString::number(k)));
        QVERIFY2(Near(m.AdcCount, std::round(m.Signal / 3.3 * 4095), 0.5), qPrintable(QString::number(k)));
    }
    // Shunt drops agree with the currents through 0.1 mOhm shunts.
    QVERIFY(Near(r.ChannelAt(Channel::BatteryShuntDrop).Value, r.BatteryCurrent() * 0.0001, 1e-7));
    QVERIFY(Near(r.ChannelAt(Channel::AlternatorShuntDrop).Value, r.AlternatorCurrent() * 0.0001, 1e-7));
}

void TestDemoRecords::settingsFloatsWithinEditorRanges_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    using S = SettingsRecord;
    QTest::newRow("warning battery temperature") << int(S::WarningBatteryTemperatureAt) << 45.0 << 0.0 << 60.0;
    QTest::newRow("fault battery temperature") << int(S::FaultBatteryTemperatureAt) << 55.0 << 0.0 << 80.0;
    QTest::newRow("warning battery voltage") << int(S::WarningBatteryVoltageAt) << 15.0 << 0.0 << 18.0;
    QTest::newRow("fault battery voltage") << int(S::FaultBatteryVoltageAt) << 15.5 << 0.0 << 18.0;
    QTest::newRow("warning alternator temperature") << int(S::WarningAlternatorTemperatureAt) << 95.0 << 0.0 << 120.0;
    QTest::newRow("fault alternator temperature") << int(S::FaultAlternatorTemperatureAt) << 110.0 << 0.0 << 120.0;
    QTest::newRow("allowed voltage drop") << int(S::AllowedVoltageDropAt) << 0.5 << 0.0 << 2.0;
    QTest::newRow("field/rpm curve mode") << int(S::FieldRpmModeAt) << -1.0 << -1.0 << 2000.0;
    QTest::newRow("battery shunt") << int(S::BatteryShuntResistanceAt) << 0.0001 << 0.0 << 1.0;
    QTest::newRow("alternator shunt") << int(S::AlternatorShuntResistanceAt) << 0.0001 << 0.0 << 1.0;
    QTest::newRow("B+ comp") << int(S::BatteryPlusVoltageCompAt) << 1.0 << 0.9 << 1.1;
    QTest::newRow("B- comp") << int(S::BatteryMinusVoltageCompAt) << 1.0 << 0.9 << 1.1;
    QTest::newRow("comparator comp") << int(S::ComparatorVoltageCompAt) << 1.0 << 0.8 << 1.5;
    QTest::newRow("regulator comp") << int(S::RegulatorVoltageCompAt) << 1.0 << 0.9 << 1.1;
    QTest::newRow("power supply comp") << int(S::PowerSupplyVoltageCompAt) << 1.0 << 0.9 << 1.1;
    QTest::newRow("gain 1") << int(S::AlternatorShuntGain1At) << 20.0 << 10.0 << 22.0;
    QTest::newRow("gain 2") << int(S::AlternatorShuntGain2At) << 20.0 << 10.0 << 22.0;
    QTest::newRow("pulley ratio") << int(S::PulleyRatioAt) << 2.5 << 0.1 << 9.99;
    QTest::newRow("regulation band") << int(S::RegulationBandAt) << 0.05 << 0.0 << 1.0;
}

void TestDemoRecords::settingsFloatsWithinEditorRanges()
{
    QFETCH(int, offset);
    QFETCH(double, expected);
    QFETCH(double, min);
    QFETCH(double, max);
    const double v = DemoSettings().F32(std::size_t(offset));
    QCOMPARE(float(v), float(expected));
    QVERIFY(v >= min && v <= max);
}

void TestDemoRecords::settingsCodedFields()
{
    const SettingsRecord s = DemoSettings();
    QCOMPARE(s.ActiveChargeProfile(), uint8_t(1));
    QCOMPARE(s.AlternatorPoles(), uint8_t(12));
    QCOMPARE(s.RegulationRefreshRate(), uint16_t(40));
    QCOMPARE(s.WifiMode(), uint8_t(2));
    QCOMPARE(s.CanBusMode(), uint8_t(1));
    QVERIFY(s.AlternatorType() == 1 || s.AlternatorType() == 2);
    QVERIFY(s.AuxTempSensorUsage() <= 1);
    QCOMPARE(s.ClearedWord(), 0u);
    QCOMPARE(s.BatteryShuntBias(), 0.0f);
    QCOMPARE(QStringLiteral("%1.%2.%3.%4")
                 .arg(s.WifiApAddressByte(0))
                 .arg(s.WifiApAddressByte(1))
                 .arg(s.WifiApAddressByte(2))
                 .arg(s.WifiApAddressByte(3)),
             QStringLiteral("192.168.4.1"));
    QVERIFY(s.ClimbCoefficient() > 0 && s.CollapseCoefficient() > 0);
    // Warning thresholds come before the faults.
    QVERIFY(s.WarningBatteryTemperature() < s.FaultBatteryTemperature());
    QVERIFY(s.WarningBatteryVoltage() < s.FaultBatteryVoltage());
    QVERIFY(s.WarningAlternatorTemperature() < s.FaultAlternatorTemperature());
}

void TestDemoRecords::settingsTexts()
{
    using S = SettingsRecord;
    const SettingsRecord s = DemoSettings();
    QCOMPARE(s.DeviceName(), QByteArray("Port engine"));
    QCOMPARE(s.DeviceName(), DemoOwnState().RegulatorName());
    QCOMPARE(s.SupportHostDomain(), QByteArray("support.krova.example"));
    QVERIFY(!s.WifiSsid().isEmpty());
    QVERIFY(!s.WifiPassword().isEmpty());
    // Texts end with a zero byte inside their field and the rest is zero.
    const struct {
        std::size_t at, size;
    } fields[] = {{S::DeviceNameAt, S::DeviceNameSize},
                  {S::WifiSsidAt, S::WifiSsidSize},
                  {S::WifiPasswordAt, S::WifiPasswordSize},
                  {S::SupportHostDomainAt, S::SupportHostDomainSize}};
    for (const auto& f : fields) {
        const QByteArray text = s.Text(f.at, f.size);
        QVERIFY(std::size_t(text.size()) < f.size);
        const QByteArray raw = s.RawBytes(f.at, f.size);
        QCOMPARE(raw, text + QByteArray(int(f.size) - text.size(), '\0'));
    }
}

void TestDemoRecords::chargeProfiles_data()
{
    QTest::addColumn<int>("k");
    for (int k = 0; k < ChargeProfileCount; ++k)
        QTest::newRow(qPrintable(QString::number(k))) << k;
}

void TestDemoRecords::chargeProfiles()
{
    QFETCH(int, k);
    const ChargeProfile p = DemoSettings().Profile(k);
    for (float v : {p.WarmUpTargetVoltage(), p.BulkTargetVoltage(), p.BulkLimitVoltage(), p.FloatTargetVoltage(),
                    p.FloatLeaveVoltage()})
        QVERIFY(v >= 12.0f && v <= 18.0f);
    QVERIFY(p.BulkTargetVoltage() <= p.BulkLimitVoltage());
    QVERIFY(p.FloatTargetVoltage() < p.BulkTargetVoltage());
    QVERIFY(p.FloatLeaveVoltage() < p.FloatTargetVoltage());
    QVERIFY(p.WarmUpMinimumField() <= p.WarmUpMaximumField() && p.WarmUpMaximumField() <= 100);
    QVERIFY(p.BulkMinimumField() <= p.BulkMaximumField() && p.BulkMaximumField() <= 100);
    QVERIFY(p.FloatMinimumField() <= p.FloatMaximumField() && p.FloatMaximumField() <= 100);
    if (k == 0) {
        QCOMPARE(p.BulkTargetVoltage(), 14.4f);
        QCOMPARE(p.FloatTargetVoltage(), 13.5f);
    }
}

void TestDemoRecords::curveRises()
{
    const FieldRpmCurve c = DemoSettings().Curve();
    QCOMPARE(int(c.front()), 30);
    QCOMPARE(int(c.back()), 100);
    for (int i = 1; i < FieldRpmPointCount; ++i)
        QVERIFY(c[std::size_t(i)] > c[std::size_t(i - 1)]);
}

void TestDemoRecords::demoStateCalibratesCleanly()
{
    // The demo measurements follow the inputs' nominal scales, so every
    // calibration of the simulated regulator with its own readings succeeds
    // near the demo settings' factors.
    const SystemStateRecord r = DemoOwnState();
    const MeasuredChannel supply = r.ChannelAt(Channel::PowerSupplyVoltage);
    const CalibrationOutcome ps = PowerSupplyCalibration(supply.Signal, supply.Value);
    QCOMPARE(ps.kind, CalibrationOutcome::Success);
    QVERIFY(Near(ps.powerSupplyFactor, 1.0, 1e-4));

    const MeasuredChannel reg = r.ChannelAt(Channel::RegulatorVoltage);
    const CalibrationOutcome v = VoltageCalibration(reg.Signal, r.ChannelAt(Channel::BPlusVoltage).Signal,
                                                    r.ChannelAt(Channel::BMinusVoltage).Signal, reg.Value);
    QCOMPARE(v.kind, CalibrationOutcome::Success);
    QVERIFY(Near(v.regulatorFactor, 1.0, 1e-4));

    const CalibrationOutcome c = CurrentCalibration(r.ChannelAt(Channel::AlternatorShuntVoltage).Signal,
                                                    r.ChannelAt(Channel::AlternatorShuntDrop).Signal, reg.Value,
                                                    r.ChannelAt(Channel::BatteryShuntDrop).Value);
    QCOMPARE(c.kind, CalibrationOutcome::Success);
    QVERIFY(Near(c.gain1, DemoSettings().AlternatorShuntGain1(), 0.5));
}

QTEST_GUILESS_MAIN(TestDemoRecords)
#include "test_demo_records.moc"
