#include "calibration/calibration.h"
#include "rig/test_support.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(CalibrationOutcome::Kind)

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr float NaNf = std::numeric_limits<float>::quiet_NaN();


// Every byte outside [from, from + len) of the listed ranges is as before.
void CompareUntouched(const SettingsRecord& before, const SettingsRecord& after,
                      std::initializer_list<std::size_t> written)
{
    for (std::size_t i = 0; i < SettingsRecord::Size; ++i) {
        bool inWritten = false;
        for (std::size_t w : written)
            inWritten = inWritten || (i >= w && i < w + 4);
        if (!inWritten && before.U8(i) != after.U8(i))
            QFAIL(qPrintable(QStringLiteral("byte %1 changed").arg(i)));
    }
}

bool Close(double a, double b, double tolerance = 1e-9) { return std::fabs(a - b) <= tolerance; }

} // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void powerSupply_data();
    void powerSupply();
    void voltage_data();
    void voltage();
    void current_data();
    void current();
    void applyPowerSupply();
    void applyVoltageStoresOneFactorForBothBatteryInputs();
    void applyCurrentClearsWordAt92();
    void failedOutcomesStoreNothing_data();
    void failedOutcomesStoreNothing();
};

void TestCalibration::powerSupply_data()
{
    QTest::addColumn<float>("signal");
    QTest::addColumn<double>("measured");
    QTest::addColumn<CalibrationOutcome::Kind>("kind");
    QTest::addColumn<double>("factor");

    // signal 0.25 gives k = 1.25 exactly, so the quotients below are the
    // nearest doubles of the band ends themselves.
    QTest::newRow("nominal") << 0.25f << 1.25 << CalibrationOutcome::Success << 1.0;
    QTest::newRow("0.9 inclusive") << 0.25f << 1.125 << CalibrationOutcome::Success << 0.9;
    QTest::newRow("1.1 inclusive") << 0.25f << 1.375 << CalibrationOutcome::Success << 1.1;
    QTest::newRow("0.8999 fails") << 0.25f << 1.124875 << CalibrationOutcome::OutOfBand << 0.8999;
    QTest::newRow("1.1001 fails") << 0.25f << 1.375125 << CalibrationOutcome::OutOfBand << 1.1001;
    QTest::newRow("typical supply") << 2.0f << 10.2 << CalibrationOutcome::Success << 1.02;
    // The fallback for a text that is no number is the present factor (say 1)
    // as measured volts: only a k near 1 passes.
    QTest::newRow("fallback fails") << 2.0f << 1.0 << CalibrationOutcome::OutOfBand << 0.1;
    QTest::newRow("negative signal") << -0.25f << 1.25 << CalibrationOutcome::OutOfBand << -1.0;
    QTest::newRow("zero signal") << 0.0f << 10.0 << CalibrationOutcome::DivisionByZero << 0.0;
    QTest::newRow("negative zero signal") << -0.0f << 10.0 << CalibrationOutcome::DivisionByZero << 0.0;
    QTest::newRow("zero over zero") << 0.0f << 0.0 << CalibrationOutcome::DivisionByZero << 0.0;
}

void TestCalibration::powerSupply()
{
    QFETCH(float, signal);
    QFETCH(double, measured);
    QFETCH(CalibrationOutcome::Kind, kind);
    QFETCH(double, factor);
    const CalibrationOutcome o = PowerSupplyCalibration(signal, measured);
    QCOMPARE(o.kind, kind);
    QCOMPARE(o.procedure, Procedure::PowerSupply);
    QVERIFY2(Close(o.powerSupplyFactor, factor), qPrintable(QString::number(o.powerSupplyFactor, 'g', 17)));
}

void TestCalibration::voltage_data()
{
    QTest::addColumn<float>("regulatorSignal");
    QTest::addColumn<float>("bPlus");
    QTest::addColumn<float>("bMinus");
    QTest::addColumn<double>("measured");
    QTest::addColumn<CalibrationOutcome::Kind>("kind");
    QTest::addColumn<double>("regulatorFactor");
    QTest::addColumn<double>("batteryFactor");

    // regulator signal 53.125 and B+ minus B- of 50 give kReg = kBat = 1700
    // exactly, so 1887 and 1513 hit 1.11 and 0.89 on the dot.
    QTest::newRow("1.11 inclusive") << 53.125f << 50.0f << 0.0f << 1887.0 << CalibrationOutcome::Success << 1.11 << 1.11;
    QTest::newRow("0.89 inclusive") << 53.125f << 50.0f << 0.0f << 1513.0 << CalibrationOutcome::Success << 0.89 << 0.89;
    QTest::newRow("0.8899 fails") << 53.125f << 50.0f << 0.0f << 1512.83 << CalibrationOutcome::OutOfBand << 0.8899 << 0.8899;
    QTest::newRow("1.1101 fails") << 53.125f << 50.0f << 0.0f << 1887.17 << CalibrationOutcome::OutOfBand << 1.1101 << 1.1101;
    // kReg = kBat = 17: 15.215 gives 0.895, outside the editors' band but
    // inside this one.
    QTest::newRow("0.895 accepted") << 0.53125f << 0.75f << 0.25f << 15.215 << CalibrationOutcome::Success << 0.895 << 0.895;
    QTest::newRow("battery out fails all") << 0.53125f << 0.75f << 0.0f << 15.215 << CalibrationOutcome::OutOfBand
                                           << 0.895 << 15.215 / 25.5;
    QTest::newRow("regulator out fails all") << 0.625f << 0.75f << 0.25f << 15.215 << CalibrationOutcome::OutOfBand
                                             << 15.215 / 20.0 << 0.895;
    QTest::newRow("B- above B+") << 0.53125f << 0.25f << 0.75f << 15.215 << CalibrationOutcome::OutOfBand << 0.895 << -0.895;
    QTest::newRow("not a number") << 0.53125f << 0.75f << 0.25f << NaN << CalibrationOutcome::OutOfBand << NaN << NaN;
    QTest::newRow("infinite reading") << 0.53125f << 0.75f << 0.25f << Inf << CalibrationOutcome::OutOfBand << Inf << Inf;
    QTest::newRow("kReg zero") << 0.0f << 0.75f << 0.25f << 14.0 << CalibrationOutcome::DivisionByZero << 0.0 << 0.0;
    QTest::newRow("kBat zero") << 0.5f << 0.4f << 0.4f << 14.0 << CalibrationOutcome::DivisionByZero << 0.0 << 0.0;
    QTest::newRow("both zero") << 0.0f << 0.0f << 0.0f << 14.0 << CalibrationOutcome::DivisionByZero << 0.0 << 0.0;
}

void TestCalibration::voltage()
{
    QFETCH(float, regulatorSignal);
    QFETCH(float, bPlus);
    QFETCH(float, bMinus);
    QFETCH(double, measured);
    QFETCH(CalibrationOutcome::Kind, kind);
    QFETCH(double, regulatorFactor);
    QFETCH(double, batteryFactor);
    const CalibrationOutcome o = VoltageCalibration(regulatorSignal, bPlus, bMinus, measured);
    QCOMPARE(o.kind, kind);
    QCOMPARE(o.procedure, Procedure::Voltage);
    auto same = [](double a, double b) {
        return (std::isnan(a) && std::isnan(b)) || a == b || Close(a, b);
    };
    QVERIFY2(same(o.regulatorFactor, regulatorFactor), qPrintable(QString::number(o.regulatorFactor, 'g', 17)));
    QVERIFY2(same(o.batteryFactor, batteryFactor), qPrintable(QString::number(o.batteryFactor, 'g', 17)));
}

void TestCalibration::current_data()
{
    QTest::addColumn<float>("at");
    QTest::addColumn<float>("across");
    QTest::addColumn<float>("regulatorValue");
    QTest::addColumn<float>("batteryShuntDrop");
    QTest::addColumn<CalibrationOutcome::Kind>("kind");
    QTest::addColumn<double>("gain1");
    QTest::addColumn<double>("gain2");
    QTest::addColumn<double>("bias");

    // at = 0.2 is not above 0.2: the gain falls back to 1 and fails, although
    // 4.0 / 0.2 would be a fine 20.
    QTest::newRow("at 0.2 fails") << 0.2f << 0.0f << 4.0f << 0.001f << CalibrationOutcome::OutOfBand << 1.0 << 0.0 << 0.0;
    QTest::newRow("at 0.21 gives 20") << 0.21f << 0.0f << 4.2f << 0.001f << CalibrationOutcome::Success << 20.0 << 20.0
                                      << double(-0.001f);
    QTest::newRow("10 inclusive") << 0.25f << 0.0f << 2.5f << 0.0f << CalibrationOutcome::Success << 10.0 << 10.0 << 0.0;
    QTest::newRow("22 inclusive") << 0.25f << 0.0f << 5.5f << 0.0f << CalibrationOutcome::Success << 22.0 << 22.0 << 0.0;
    QTest::newRow("below 10 fails") << 0.25f << 0.0f << 2.4999f << 0.0f << CalibrationOutcome::OutOfBand
                                    << double(2.4999f) / 0.25 << 0.0 << 0.0;
    QTest::newRow("above 22 fails") << 0.25f << 0.0f << 5.5001f << 0.0f << CalibrationOutcome::OutOfBand
                                    << double(5.5001f) / 0.25 << 0.0 << 0.0;
    // gain #2 = 20 x 0.25 / (0.25 + 0.25); the bias is the negated drop.
    QTest::newRow("gain 2 from across") << 0.25f << 0.25f << 5.0f << 0.0012f << CalibrationOutcome::Success << 20.0 << 10.0
                                        << double(-0.0012f);
    QTest::newRow("negative drop gives positive bias") << 0.25f << 0.0625f << 5.0f << -0.0005f << CalibrationOutcome::Success
                                                       << 20.0 << 16.0 << double(0.0005f);
    QTest::newRow("no signal at all") << 0.0f << 0.0f << 14.0f << 0.0f << CalibrationOutcome::OutOfBand << 1.0 << 0.0 << 0.0;
    QTest::newRow("negative at") << -0.5f << 0.0f << 14.0f << 0.0f << CalibrationOutcome::OutOfBand << 1.0 << 0.0 << 0.0;
    QTest::newRow("at plus across zero") << 0.25f << -0.25f << 5.0f << 0.0f << CalibrationOutcome::DivisionByZero
                                         << 0.0 << 0.0 << 0.0;
    // The band test comes first: an implausible gain fails before gain #2
    // would divide by zero.
    QTest::newRow("zero sum but gain out of band") << 0.25f << -0.25f << 1.0f << 0.0f << CalibrationOutcome::OutOfBand
                                                   << 4.0 << 0.0 << 0.0;
    QTest::newRow("across not a number") << 0.25f << NaNf << 5.0f << 0.0f << CalibrationOutcome::OutOfBand << 20.0 << NaN << 0.0;
    QTest::newRow("drop not a number") << 0.25f << 0.0f << 5.0f << NaNf << CalibrationOutcome::OutOfBand << 20.0 << 20.0 << NaN;
    QTest::newRow("regulator value not a number") << 0.25f << 0.0f << NaNf << 0.0f << CalibrationOutcome::OutOfBand
                                                  << NaN << 0.0 << 0.0;
}

void TestCalibration::current()
{
    QFETCH(float, at);
    QFETCH(float, across);
    QFETCH(float, regulatorValue);
    QFETCH(float, batteryShuntDrop);
    QFETCH(CalibrationOutcome::Kind, kind);
    QFETCH(double, gain1);
    QFETCH(double, gain2);
    QFETCH(double, bias);
    const CalibrationOutcome o = CurrentCalibration(at, across, regulatorValue, batteryShuntDrop);
    QCOMPARE(o.kind, kind);
    QCOMPARE(o.procedure, Procedure::Current);
    // 4.2 / 0.21 in singles is 20 only to about 1e-7 relative.
    auto same = [](double a, double b) {
        return (std::isnan(a) && std::isnan(b)) || a == b || Close(a, b, 1e-5);
    };
    QVERIFY2(same(o.gain1, gain1), qPrintable(QString::number(o.gain1, 'g', 17)));
    QVERIFY2(same(o.gain2, gain2), qPrintable(QString::number(o.gain2, 'g', 17)));
    QVERIFY2(same(o.batteryShuntBias, bias), qPrintable(QString::number(o.batteryShuntBias, 'g', 17)));
}

void TestCalibration::applyPowerSupply()
{
    const SettingsRecord before = Patterned<SettingsRecord>(3, 7);
    SettingsRecord s = before;
    const CalibrationOutcome o = PowerSupplyCalibration(2.0f, 10.2);
    QVERIFY(ApplyCalibration(o, s));
    QCOMPARE(s.PowerSupplyVoltageComp(), float(10.2 / 10.0));
    CompareUntouched(before, s, {SettingsRecord::PowerSupplyVoltageCompAt});
}

void TestCalibration::applyVoltageStoresOneFactorForBothBatteryInputs()
{
    const SettingsRecord before = Patterned<SettingsRecord>(3, 7);
    SettingsRecord s = before;
    // kReg = 16, kBat = 17: distinct factors, both in band.
    const CalibrationOutcome o = VoltageCalibration(0.5f, 0.75f, 0.25f, 16.32);
    QCOMPARE(o.kind, CalibrationOutcome::Success);
    QVERIFY(ApplyCalibration(o, s));
    QCOMPARE(s.RegulatorVoltageComp(), float(16.32 / 16.0));
    QCOMPARE(s.BatteryPlusVoltageComp(), float(16.32 / 17.0));
    QCOMPARE(s.BatteryMinusVoltageComp(), float(16.32 / 17.0));
    CompareUntouched(before, s, {SettingsRecord::RegulatorVoltageCompAt, SettingsRecord::BatteryPlusVoltageCompAt,
                                 SettingsRecord::BatteryMinusVoltageCompAt});
}

void TestCalibration::applyCurrentClearsWordAt92()
{
    SettingsRecord before = Patterned<SettingsRecord>(3, 7);
    before.SetU32(SettingsRecord::ClearedWordAt, 0xDEADBEEFu);
    SettingsRecord s = before;
    const CalibrationOutcome o = CurrentCalibration(0.25f, 0.25f, 5.0f, 0.0012f);
    QCOMPARE(o.kind, CalibrationOutcome::Success);
    QVERIFY(ApplyCalibration(o, s));
    QCOMPARE(s.AlternatorShuntGain1(), 20.0f);
    QCOMPARE(s.AlternatorShuntGain2(), 10.0f);
    QCOMPARE(s.ClearedWord(), 0u);
    QCOMPARE(s.BatteryShuntBias(), -0.0012f);
    CompareUntouched(before, s, {SettingsRecord::AlternatorShuntGain1At, SettingsRecord::AlternatorShuntGain2At,
                                 SettingsRecord::ClearedWordAt, SettingsRecord::BatteryShuntBiasAt});
}

void TestCalibration::failedOutcomesStoreNothing_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("power supply out of band") << 0;
    QTest::newRow("power supply division by zero") << 1;
    QTest::newRow("voltage one factor out") << 2;
    QTest::newRow("voltage division by zero") << 3;
    QTest::newRow("current at 0.2") << 4;
    QTest::newRow("current division by zero") << 5;
}

void TestCalibration::failedOutcomesStoreNothing()
{
    QFETCH(int, which);
    CalibrationOutcome o;
    switch (which) {
    case 0: o = PowerSupplyCalibration(0.25f, 1.124875); break;
    case 1: o = PowerSupplyCalibration(0.0f, 10.0); break;
    case 2: o = VoltageCalibration(0.53125f, 0.75f, 0.0f, 15.215); break;
    case 3: o = VoltageCalibration(0.5f, 0.4f, 0.4f, 14.0); break;
    case 4: o = CurrentCalibration(0.2f, 0.0f, 4.0f, 0.001f); break;
    default: o = CurrentCalibration(0.25f, -0.25f, 5.0f, 0.001f); break;
    }
    QVERIFY(o.kind != CalibrationOutcome::Success);
    SettingsRecord before = Patterned<SettingsRecord>(3, 7);
    before.SetU32(SettingsRecord::ClearedWordAt, 0xDEADBEEFu);
    SettingsRecord s = before;
    QVERIFY(!ApplyCalibration(o, s));
    QVERIFY(s == before);
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "test_calibration.moc"
