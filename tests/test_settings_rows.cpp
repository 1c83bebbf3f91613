// The settings editors' logic: reading typed numbers, the 36 system settings
// rows, the 12 charge profile rows and the field/RPM curve conversion.
#include "records/settings_record.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_curve.h"
#include "views/number_text.h"
#include "settings/settings_check.h"
#include "settings/system_settings_rows.h"
#include "rig/realistic_settings.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>
#include <set>

namespace {

enum class FieldType { U8, U16, F32 };

struct Field {
    std::size_t offset;
    FieldType type;
};

// Where each numeric row of the system settings grid keeps its value.
Field SystemRowField(int row)
{
    using S = SettingsRecord;
    switch (row) {
    case DeviceVersionRow: return {S::DeviceVersionAt, FieldType::U8};
    case WarningBatteryTemperatureRow: return {S::WarningBatteryTemperatureAt, FieldType::F32};
    case FaultBatteryTemperatureRow: return {S::FaultBatteryTemperatureAt, FieldType::F32};
    case WarningBatteryVoltageRow: return {S::WarningBatteryVoltageAt, FieldType::F32};
    case FaultBatteryVoltageRow: return {S::FaultBatteryVoltageAt, FieldType::F32};
    case WarningAlternatorTemperatureRow: return {S::WarningAlternatorTemperatureAt, FieldType::F32};
    case FaultAlternatorTemperatureRow: return {S::FaultAlternatorTemperatureAt, FieldType::F32};
    case PulleyRatioRow: return {S::PulleyRatioAt, FieldType::F32};
    case AlternatorPolesRow: return {S::AlternatorPolesAt, FieldType::U8};
    case WifiModeRow: return {S::WifiModeAt, FieldType::U8};
    case CanBusModeRow: return {S::CanBusModeAt, FieldType::U8};
    case Nmea2000AddressRow: return {S::Nmea2000AddressAt, FieldType::U8};
    case ActiveChargeProfileRow: return {S::ActiveChargeProfileAt, FieldType::U8};
    case AllowedVoltageDropRow: return {S::AllowedVoltageDropAt, FieldType::F32};
    case BatteryShuntResistanceRow: return {S::BatteryShuntResistanceAt, FieldType::F32};
    case AlternatorShuntResistanceRow: return {S::AlternatorShuntResistanceAt, FieldType::F32};
    case AlternatorTypeRow: return {S::AlternatorTypeAt, FieldType::U8};
    case ClimbCoefficientRow: return {S::ClimbCoefficientAt, FieldType::F32};
    case CollapseCoefficientRow: return {S::CollapseCoefficientAt, FieldType::F32};
    case RegulationBandRow: return {S::RegulationBandAt, FieldType::F32};
    case RegulationRefreshRateRow: return {S::RegulationRefreshRateAt, FieldType::U16};
    case FieldRpmModeRow: return {S::FieldRpmModeAt, FieldType::F32};
    case ComparatorVoltageCompRow: return {S::ComparatorVoltageCompAt, FieldType::F32};
    case BatteryPlusVoltageCompRow: return {S::BatteryPlusVoltageCompAt, FieldType::F32};
    case BatteryMinusVoltageCompRow: return {S::BatteryMinusVoltageCompAt, FieldType::F32};
    case PowerSupplyVoltageCompRow: return {S::PowerSupplyVoltageCompAt, FieldType::F32};
    case RegulatorVoltageCompRow: return {S::RegulatorVoltageCompAt, FieldType::F32};
    case BatteryShuntBiasRow: return {S::BatteryShuntBiasAt, FieldType::F32};
    case AlternatorShuntGain1Row: return {S::AlternatorShuntGain1At, FieldType::F32};
    case AlternatorShuntGain2Row: return {S::AlternatorShuntGain2At, FieldType::F32};
    case AuxTempSensorUsageRow: return {S::AuxTempSensorUsageAt, FieldType::U8};
    }
    qFatal("row %d has no numeric field", row);
    return {0, FieldType::U8};
}

Field ProfileRowField(int row)
{
    using P = ChargeProfile;
    switch (row) {
    case WarmUpDurationRow: return {P::WarmUpDurationAt, FieldType::U16};
    case WarmUpTargetVoltageRow: return {P::WarmUpTargetVoltageAt, FieldType::F32};
    case WarmUpMinimumFieldRow: return {P::WarmUpMinimumFieldAt, FieldType::U8};
    case WarmUpMaximumFieldRow: return {P::WarmUpMaximumFieldAt, FieldType::U8};
    case BulkTargetVoltageRow: return {P::BulkTargetVoltageAt, FieldType::F32};
    case BulkLimitVoltageRow: return {P::BulkLimitVoltageAt, FieldType::F32};
    case BulkMinimumFieldRow: return {P::BulkMinimumFieldAt, FieldType::U8};
    case BulkMaximumFieldRow: return {P::BulkMaximumFieldAt, FieldType::U8};
    case FloatTargetVoltageRow: return {P::FloatTargetVoltageAt, FieldType::F32};
    case FloatLeaveVoltageRow: return {P::FloatLeaveVoltageAt, FieldType::F32};
    case FloatMinimumFieldRow: return {P::FloatMinimumFieldAt, FieldType::U8};
    case FloatMaximumFieldRow: return {P::FloatMaximumFieldAt, FieldType::U8};
    }
    qFatal("no profile row %d", row);
    return {0, FieldType::U8};
}

template <typename Record>
void PutField(Record& record, Field f, double value)
{
    switch (f.type) {
    case FieldType::U8: record.SetU8(f.offset, uint8_t(value)); break;
    case FieldType::U16: record.SetU16(f.offset, uint16_t(value)); break;
    case FieldType::F32: record.SetF32(f.offset, float(value)); break;
    }
}

// Integer fields give their exact value; float fields their single value
// widened, so expectations written as float(x) compare exactly.
template <typename Record>
double GetField(const Record& record, Field f)
{
    switch (f.type) {
    case FieldType::U8: return record.U8(f.offset);
    case FieldType::U16: return record.U16(f.offset);
    case FieldType::F32: return double(record.F32(f.offset));
    }
    return 0;
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// The characters the text rows may store, as listed in the record's
// description: ranges of codes, not the list of refused ones.
bool ListedAsAllowed(int code)
{
    const int ranges[][2] = {{32, 33}, {35, 38}, {40, 46}, {48, 57}, {61, 61},
                             {64, 90}, {94, 95}, {97, 122}, {126, 126}};
    for (const auto& r : ranges)
        if (code >= r[0] && code <= r[1])
            return true;
    return false;
}

// A record whose every value is shown exactly by its row, so that taking the
// unedited texts back must give the very same bytes.
SettingsRecord ShowableRecord()
{
    SettingsRecord r;
    QRandomGenerator gen(7);
    for (auto& b : r.Bytes())
        b = uint8_t(gen.bounded(256));
    using S = SettingsRecord;
    r.SetU8(S::DeviceVersionAt, 7);
    r.SetRawBytes(S::DeviceNameAt, S::DeviceNameSize, "Boat-1 Main");
    r.SetF32(S::WarningBatteryTemperatureAt, 45);
    r.SetF32(S::FaultBatteryTemperatureAt, 55);
    r.SetF32(S::WarningBatteryVoltageAt, 14.4f);
    r.SetF32(S::FaultBatteryVoltageAt, 15.5f);
    r.SetF32(S::WarningAlternatorTemperatureAt, 95);
    r.SetF32(S::FaultAlternatorTemperatureAt, 105);
    r.SetF32(S::PulleyRatioAt, 2.5f);
    r.SetU8(S::AlternatorPolesAt, 14);
    r.SetU8(S::WifiModeAt, 2);
    // A zero byte inside the text must survive at its position.
    r.SetRawBytes(S::WifiSsidAt, S::WifiSsidSize, QByteArray("Harbour\0Net", 11));
    r.SetRawBytes(S::WifiPasswordAt, S::WifiPasswordSize, "s3cret#1~@");
    for (int i = 0; i < 4; ++i)
        r.SetU8(S::WifiApAddressAt + std::size_t(i), uint8_t(QList<int>{192, 168, 4, 1}[i]));
    r.SetRawBytes(S::SupportHostDomainAt, S::SupportHostDomainSize, "support.example.net");
    r.SetU8(S::CanBusModeAt, 1);
    r.SetU8(S::Nmea2000AddressAt, 35);
    r.SetU8(S::ActiveChargeProfileAt, 3);
    r.SetF32(S::AllowedVoltageDropAt, 0.5f);
    r.SetF32(S::BatteryShuntResistanceAt, 0.000125f);
    r.SetF32(S::AlternatorShuntResistanceAt, 0.0005f);
    r.SetU8(S::AlternatorTypeAt, 2);
    r.SetF32(S::ClimbCoefficientAt, 5.5f);
    r.SetF32(S::CollapseCoefficientAt, 200);
    r.SetF32(S::RegulationBandAt, 0.05f);
    r.SetU16(S::RegulationRefreshRateAt, 40);
    r.SetF32(S::FieldRpmModeAt, 1500);
    r.SetF32(S::ComparatorVoltageCompAt, 1.25f);
    r.SetF32(S::BatteryPlusVoltageCompAt, 1.015625f);
    r.SetF32(S::BatteryMinusVoltageCompAt, 0.984375f);
    r.SetF32(S::PowerSupplyVoltageCompAt, 1.0f);
    r.SetF32(S::RegulatorVoltageCompAt, 0.95f);
    r.SetF32(S::BatteryShuntBiasAt, -0.0123f);
    r.SetF32(S::AlternatorShuntGain1At, 1.5f);
    r.SetF32(S::AlternatorShuntGain2At, 2.25f);
    r.SetU8(S::AuxTempSensorUsageAt, 1);
    return r;
}

} // namespace

class TestSettingsRows : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void parseReal_data();
    void parseReal();
    void parseInteger_data();
    void parseInteger();

    void systemCaptions_data();
    void systemCaptions();
    void profileCaptions();
    void tabCaptions();

    void showSystemRow_data();
    void showSystemRow();
    void storeSystemRow_data();
    void storeSystemRow();

    void allowedTextCharacters();
    void storeTextRow_data();
    void storeTextRow();
    void textCellHoldsWholeField();

    void storeAddress_data();
    void storeAddress();

    void voltageToDisplay_data();
    void voltageToDisplay();
    void voltageFromText_data();
    void voltageFromText();
    void typedVoltageShownScaledAfterStore();

    void activeProfileShown_data();
    void activeProfileShown();
    void activeProfileStored_data();
    void activeProfileStored();

    void clearedWordZeroedOnStore();
    void missingTextsCountAsEmpty();
    void commaSeparator();

    void unchangedTextsGiveBackSameBytes_data();
    void unchangedTextsGiveBackSameBytes();
    void arbitraryRecordKeepsUneditedFields_data();
    void arbitraryRecordKeepsUneditedFields();

    void showProfileRow_data();
    void showProfileRow();
    void storeProfileRow_data();
    void storeProfileRow();
    void profileReservedBytesUntouched();
    void profileRoundTrip_data();
    void profileRoundTrip();

    void curvePointsFromRecord_data();
    void curvePointsFromRecord();
    void curveFromPoints_data();
    void curveFromPoints();
    void zeroCurveBecomesThirty();
    void curvePointLabel_data();
    void curvePointLabel();
    void curveByteOffsetToRpm();

    void settingsCheck_data();
    void settingsCheck();
    void departuresFixedArePlausible();
};

// ---------------------------------------------------------------------------
// Reading typed numbers

void TestSettingsRows::parseReal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "C" << "1.5" << true << 1.5;
    QTest::newRow("blanks around") << "C" << "  -2.25 " << true << -2.25;
    QTest::newRow("plus sign") << "C" << "+3" << true << 3.0;
    QTest::newRow("exponent") << "C" << "1e3" << true << 1000.0;
    QTest::newRow("exponent signed") << "C" << "2.5E-2" << true << 0.025;
    QTest::newRow("exponent plus") << "C" << "-4e+1" << true << -40.0;
    QTest::newRow("no integer digits") << "C" << ".5" << true << 0.5;
    QTest::newRow("no fraction digits") << "C" << "5." << true << 5.0;
    QTest::newRow("integer") << "C" << "300" << true << 300.0;
    QTest::newRow("letters") << "C" << "abc" << false << 0.0;
    QTest::newRow("empty") << "C" << "" << false << 0.0;
    QTest::newRow("blank") << "C" << "   " << false << 0.0;
    QTest::newRow("sign only") << "C" << "-" << false << 0.0;
    QTest::newRow("separator only") << "C" << "." << false << 0.0;
    QTest::newRow("thousands separator") << "C" << "1,000" << false << 0.0;
    QTest::newRow("two separators") << "C" << "1.2.3" << false << 0.0;
    QTest::newRow("exponent without digits") << "C" << "1e" << false << 0.0;
    QTest::newRow("exponent only") << "C" << "e5" << false << 0.0;
    QTest::newRow("blank inside") << "C" << "- 1" << false << 0.0;
    QTest::newRow("trailing letter") << "C" << "12V" << false << 0.0;
    QTest::newRow("hexadecimal") << "C" << "0x10" << false << 0.0;
    QTest::newRow("overflow") << "C" << "1e400" << false << 0.0;
    QTest::newRow("infinity word") << "C" << "inf" << false << 0.0;
    QTest::newRow("nan word") << "C" << "nan" << false << 0.0;
    QTest::newRow("threshold x") << "C" << "x" << false << 0.0;
    QTest::newRow("comma locale") << "de_DE" << "1,5" << true << 1.5;
    QTest::newRow("comma locale exponent") << "de_DE" << " -0,25e1 " << true << -2.5;
    QTest::newRow("comma locale rejects point") << "de_DE" << "1.5" << false << 0.0;
    QTest::newRow("comma locale integer") << "de_DE" << "14" << true << 14.0;
}

void TestSettingsRows::parseReal()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    QLocale::setDefault(locale == "C" ? QLocale::c() : QLocale(locale));
    const std::optional<double> got = ParseReal(text);
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(*got, value);
}

void TestSettingsRows::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qlonglong>("value");

    QTest::newRow("plain") << "42" << true << 42LL;
    QTest::newRow("blanks and minus") << " -7 " << true << -7LL;
    QTest::newRow("plus") << "+3" << true << 3LL;
    QTest::newRow("leading zeros") << "007" << true << 7LL;
    QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qlonglong>::max();
    QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qlonglong>::min();
    QTest::newRow("above largest") << "9223372036854775808" << false << 0LL;
    QTest::newRow("below smallest") << "-9223372036854775809" << false << 0LL;
    QTest::newRow("far too long") << "123456789012345678901234567890" << false << 0LL;
    QTest::newRow("decimals") << "1500.5" << false << 0LL;
    QTest::newRow("empty") << "" << false << 0LL;
    QTest::newRow("sign only") << "-" << false << 0LL;
    QTest::newRow("letters") << "x" << false << 0LL;
    QTest::newRow("trailing letters") << "12a" << false << 0LL;
    QTest::newRow("blank inside") << "1 2" << false << 0LL;
    QTest::newRow("exponent") << "1e3" << false << 0LL;
}

void TestSettingsRows::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qlonglong, value);
    const std::optional<int64_t> got = ParseInteger(text);
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(qlonglong(*got), value);
}

// ---------------------------------------------------------------------------
// Captions

void TestSettingsRows::systemCaptions_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("caption");
    const char* captions[] = {
        "Device Version", "Device Name", "Warning Battery Temperature, \u00B0C",
        "Fault Battery Temperature, \u00B0C", "Warning Battery Voltage, V", "Fault Battery Voltage, V",
        "Warning Alternator Temperature, \u00B0C", "Fault Alternator Temperature, \u00B0C",
        "Crank-To-Alternator Pulley Ratio [1..10]", "Alternator Poles [6..32]",
        "Wi-Fi Mode [0-off, 1-STA, 2-AP]", "Wi-Fi SSID", "Wi-Fi STA Password", "Wi-Fi AP IP address",
        "Support Host Domain", "CAN Bus Mode [0-off, 1-NMEA2000]", "Claimed NMEA-2000 Address",
        "Active Charge Profile Number [0..7]", "Allowed Voltage Drop in Wiring, V",
        "Battery Shunt Resistance, Ohm", "Alternator Shunt Resistance, Ohm", "Alternator Type [1-P, 2-N]",
        "Regulation Climb Coefficient, V/s", "Regulation Collapse Coefficient, V/s", "Regulation Band, V",
        "Regulation Refresh Rate, Hz", "Field/RPM [x-Curve, 0-Off, nnn-Threshold]", "Comparator Voltage Comp",
        "Battery Plus Voltage Comp", "Battery Minus Voltage Comp", "Power Supply Voltage Comp",
        "Regulator Voltage Comp", "Battery Shunt Bias", "Alternator Shunt Voltage Gain #1",
        "Alternator Shunt Voltage Gain #2", "Aux Temp Sensor Usage [0-Battery, 1-Alt]"};
    static_assert(sizeof captions / sizeof captions[0] == SystemSettingsRowCount);
    for (int r = 0; r < SystemSettingsRowCount; ++r)
        QTest::addRow("row %d", r) << r << QString::fromUtf8(captions[r]);
}

void TestSettingsRows::systemCaptions()
{
    QFETCH(int, row);
    QFETCH(QString, caption);
    const QStringList captions = SystemSettingsCaptions();
    QCOMPARE(captions.size(), SystemSettingsRowCount);
    QCOMPARE(captions[row], caption);
}

void TestSettingsRows::profileCaptions()
{
    const QStringList expected = {"Warm-up Duration, s",      "Warm-up Target Voltage, V", "Warm-up Minimum Field, %",
                                  "Warm-up Maximum Field, %", "Bulk Target Voltage, V",    "Bulk Limit Voltage, V",
                                  "Bulk Minimum Field, %",    "Bulk Maximum Field, %",     "Float Target Voltage, V",
                                  "Float Leave Voltage, V",   "Float Minimum Field, %",    "Float Maximum Field, %"};
    QCOMPARE(ChargeProfileCaptions(), expected);
}

void TestSettingsRows::tabCaptions()
{
    const QStringList expected = {"0 - FLA",       "1 - AGM",       "2 - GEL",       "3 - FireFly",
                                  "4 - LiFePO4",   "5 - Custom #1", "6 - Custom #2", "7 - Custom #3"};
    QCOMPARE(ChargeProfileTabCaptions(), expected);
}

// ---------------------------------------------------------------------------
// System settings rows, record to text

void TestSettingsRows::showSystemRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("detected");
    QTest::addColumn<QString>("text");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("temperature rounded half away") << int(WarningBatteryTemperatureRow) << 40.5 << 12 << "41";
    QTest::newRow("temperature negative") << int(FaultAlternatorTemperatureRow) << -2.5 << 12 << "-3";
    QTest::newRow("temperature not a number") << int(FaultBatteryTemperatureRow) << nan << 12 << "-";
    QTest::newRow("temperature out of range") << int(WarningAlternatorTemperatureRow) << 2e6 << 12 << "-";
    QTest::newRow("voltage 12 V") << int(WarningBatteryVoltageRow) << 14.4 << 12 << "14.40";
    QTest::newRow("voltage 24 V doubled") << int(WarningBatteryVoltageRow) << 14.4 << 24 << "28.80";
    QTest::newRow("voltage 24 V just below 18") << int(FaultBatteryVoltageRow) << 17.5 << 24 << "35.00";
    QTest::newRow("voltage 24 V exactly 18") << int(FaultBatteryVoltageRow) << 18.0 << 24 << "18.00";
    QTest::newRow("voltage 24 V above 18") << int(FaultBatteryVoltageRow) << 20.0 << 24 << "20.00";
    QTest::newRow("voltage 12 V above 18 halved") << int(FaultBatteryVoltageRow) << 36.0 << 12 << "18.00";
    QTest::newRow("voltage undetected above 18") << int(FaultBatteryVoltageRow) << 19.0 << 0 << "9.50";
    QTest::newRow("voltage 12 V exactly 18") << int(WarningBatteryVoltageRow) << 18.0 << 12 << "18.00";
    QTest::newRow("pulley 3 decimals") << int(PulleyRatioRow) << 2.5 << 12 << "2.500";
    QTest::newRow("resistance 6 decimals") << int(BatteryShuntResistanceRow) << 0.0001 << 12 << "0.000100";
    QTest::newRow("drop 3 decimals") << int(AllowedVoltageDropRow) << 1.0 << 12 << "1.000";
    QTest::newRow("band 3 decimals") << int(RegulationBandRow) << 0.05 << 12 << "0.050";
    QTest::newRow("comp 6 decimals") << int(ComparatorVoltageCompRow) << 1.25 << 12 << "1.250000";
    QTest::newRow("gain not a number") << int(AlternatorShuntGain1Row) << nan << 12 << "-";
    QTest::newRow("version") << int(DeviceVersionRow) << 255.0 << 12 << "255";
    QTest::newRow("poles out of limits shown") << int(AlternatorPolesRow) << 200.0 << 12 << "200";
    QTest::newRow("refresh rate") << int(RegulationRefreshRateRow) << 65535.0 << 12 << "65535";
    QTest::newRow("threshold zero") << int(FieldRpmModeRow) << 0.0 << 12 << "0";
    QTest::newRow("threshold curve") << int(FieldRpmModeRow) << -1.0 << 12 << "x";
    QTest::newRow("threshold small negative") << int(FieldRpmModeRow) << -0.25 << 12 << "x";
    QTest::newRow("threshold not a number") << int(FieldRpmModeRow) << nan << 12 << "x";
    QTest::newRow("threshold 1234.5 to even") << int(FieldRpmModeRow) << 1234.5 << 12 << "1234";
    QTest::newRow("threshold 1235.5 to even") << int(FieldRpmModeRow) << 1235.5 << 12 << "1236";
    QTest::newRow("threshold 0.5 to even") << int(FieldRpmModeRow) << 0.5 << 12 << "0";
    QTest::newRow("threshold 2.5 to even") << int(FieldRpmModeRow) << 2.5 << 12 << "2";
    QTest::newRow("threshold 1234.6") << int(FieldRpmModeRow) << 1234.625 << 12 << "1235";
    QTest::newRow("threshold 2000") << int(FieldRpmModeRow) << 2000.0 << 12 << "2000";
    QTest::newRow("threshold beyond display") << int(FieldRpmModeRow) << 3e6 << 12 << "-";
}

void TestSettingsRows::showSystemRow()
{
    QFETCH(int, row);
    QFETCH(double, stored);
    QFETCH(int, detected);
    QFETCH(QString, text);
    SettingsRecord record;
    PutField(record, SystemRowField(row), stored);
    const QStringList texts = SystemSettingsTexts(record, uint16_t(detected));
    QCOMPARE(texts.size(), SystemSettingsRowCount);
    QCOMPARE(texts[row], text);
}

// ---------------------------------------------------------------------------
// System settings rows, text to record

void TestSettingsRows::storeSystemRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    auto add = [](const char* name, int row, double present, const char* text, double expected) {
        QTest::newRow(name) << row << present << QString::fromUtf8(text) << expected;
    };
    add("battery warning abc", WarningBatteryTemperatureRow, 10, "abc", 40);
    add("battery warning 75", WarningBatteryTemperatureRow, 10, "75", 60);
    add("battery warning -3", WarningBatteryTemperatureRow, 10, "-3", 0);
    add("battery warning 12.5", WarningBatteryTemperatureRow, 10, " 12.5 ", 12.5);
    add("battery fault abc", FaultBatteryTemperatureRow, 10, "abc", 60);
    add("battery fault 81", FaultBatteryTemperatureRow, 10, "81", 80);
    add("battery fault 80", FaultBatteryTemperatureRow, 10, "80", 80);
    add("alternator warning abc", WarningAlternatorTemperatureRow, 10, "abc", 90);
    add("alternator warning 121", WarningAlternatorTemperatureRow, 10, "121", 120);
    add("alternator fault abc", FaultAlternatorTemperatureRow, 10, "abc", 100);
    add("alternator fault -0.5", FaultAlternatorTemperatureRow, 10, "-0.5", 0);
    add("alternator fault dash", FaultAlternatorTemperatureRow, 10, "-", 100);

    add("version 300", DeviceVersionRow, 17, "300", 44);
    add("version -1", DeviceVersionRow, 17, "-1", 255);
    add("version 256", DeviceVersionRow, 17, "256", 0);
    add("version abc keeps present", DeviceVersionRow, 17, "abc", 17);
    add("version 1.5 keeps present", DeviceVersionRow, 17, "1.5", 17);
    add("refresh 70000", RegulationRefreshRateRow, 1, "70000", 4464);
    add("refresh -1", RegulationRefreshRateRow, 1, "-1", 65535);
    add("refresh abc", RegulationRefreshRateRow, 1, "abc", 40);
    add("refresh 65536", RegulationRefreshRateRow, 1, "65536", 0);

    add("pulley 0.05", PulleyRatioRow, 3, "0.05", double(0.1f));
    add("pulley 12", PulleyRatioRow, 3, "12", double(9.99f));
    add("pulley abc", PulleyRatioRow, 3, "abc", 1);
    add("pulley 2.5", PulleyRatioRow, 3, "2.5", 2.5);
    add("pulley exponent", PulleyRatioRow, 3, "25e-1", 2.5);

    add("poles abc", AlternatorPolesRow, 14, "abc", 12);
    add("poles 5", AlternatorPolesRow, 14, "5", 6);
    add("poles 40", AlternatorPolesRow, 14, "40", 32);
    add("poles 300 limited, not cut", AlternatorPolesRow, 14, "300", 32);
    add("poles 20", AlternatorPolesRow, 14, "20", 20);
    add("wifi abc", WifiModeRow, 2, "abc", 0);
    add("wifi 3", WifiModeRow, 0, "3", 2);
    add("wifi -1", WifiModeRow, 2, "-1", 0);
    add("can 2", CanBusModeRow, 0, "2", 1);
    add("can abc", CanBusModeRow, 1, "abc", 0);
    add("nmea 256", Nmea2000AddressRow, 0, "256", 255);
    add("nmea -5", Nmea2000AddressRow, 9, "-5", 0);
    add("nmea abc", Nmea2000AddressRow, 9, "abc", 0);
    add("alternator type abc", AlternatorTypeRow, 2, "abc", 1);
    add("alternator type 0", AlternatorTypeRow, 2, "0", 1);
    add("alternator type 3", AlternatorTypeRow, 1, "3", 2);
    add("aux 5", AuxTempSensorUsageRow, 0, "5", 1);
    add("aux abc", AuxTempSensorUsageRow, 1, "abc", 0);

    add("drop abc", AllowedVoltageDropRow, 0.5, "abc", 1);
    add("drop 3", AllowedVoltageDropRow, 0.5, "3", 2);
    add("drop -1", AllowedVoltageDropRow, 0.5, "-1", 0);
    add("battery shunt abc", BatteryShuntResistanceRow, 0.5, "abc", double(0.0001f));
    add("battery shunt 2", BatteryShuntResistanceRow, 0.5, "2", 1);
    add("alternator shunt abc", AlternatorShuntResistanceRow, 0.5, "abc", double(0.0001f));
    add("alternator shunt -1", AlternatorShuntResistanceRow, 0.5, "-1", 0);
    add("climb abc", ClimbCoefficientRow, 7, "abc", 5);
    add("climb unlimited", ClimbCoefficientRow, 7, "-1000000", -1000000);
    add("collapse abc", CollapseCoefficientRow, 7, "abc", 200);
    add("collapse unlimited", CollapseCoefficientRow, 7, "1e9", 1e9);
    // Beyond a 4-byte real: not a number for that row, never infinity.
    add("collapse 1e39", CollapseCoefficientRow, 7, "1e39", 200);
    add("gain 1e39 keeps present", AlternatorShuntGain1Row, 14.5, "1e39", 14.5);
    add("bias -1e39 keeps present", BatteryShuntBiasRow, 0.25, "-1e39", 0.25);
    add("shunt 1e39 limited", BatteryShuntResistanceRow, 0.5, "1e39", 1);
    add("band abc", RegulationBandRow, 7, "abc", double(0.05f));

    add("comparator abc", ComparatorVoltageCompRow, 1.2, "abc", 1);
    add("comparator 0.5", ComparatorVoltageCompRow, 1.2, "0.5", double(0.8f));
    add("comparator 2", ComparatorVoltageCompRow, 1.2, "2", 1.5);
    add("supply abc", PowerSupplyVoltageCompRow, 1.05, "abc", 1);
    add("supply 0.5", PowerSupplyVoltageCompRow, 1.05, "0.5", double(0.9f));
    add("regulator abc", RegulatorVoltageCompRow, 1.05, "abc", 1);
    add("regulator 1.2", RegulatorVoltageCompRow, 1.05, "1.2", double(1.1f));
    add("plus abc keeps present", BatteryPlusVoltageCompRow, double(1.05f), "abc", double(1.05f));
    add("plus abc present limited", BatteryPlusVoltageCompRow, 1.5, "abc", double(1.1f));
    add("plus 0.95", BatteryPlusVoltageCompRow, 1.05, "0.95", double(0.95f));
    add("minus abc keeps present", BatteryMinusVoltageCompRow, double(0.93f), "abc", double(0.93f));
    add("minus 0.1", BatteryMinusVoltageCompRow, 1.0, "0.1", double(0.9f));
    add("bias abc keeps present", BatteryShuntBiasRow, double(-0.0123f), "abc", double(-0.0123f));
    add("bias unlimited", BatteryShuntBiasRow, 0, "12345", 12345);
    add("gain 1 abc keeps present", AlternatorShuntGain1Row, double(3.7f), "abc", double(3.7f));
    add("gain 1 beyond display keeps present", AlternatorShuntGain1Row, 5e6, "-", 5e6);
    add("gain 2 abc keeps present", AlternatorShuntGain2Row, double(0.3f), "abc", double(0.3f));
    add("gain 2 typed", AlternatorShuntGain2Row, 0.3, "-2.5", -2.5);

    add("threshold 2500", FieldRpmModeRow, 0, "2500", 2000);
    add("threshold x", FieldRpmModeRow, 100, "x", -1);
    add("threshold abc", FieldRpmModeRow, 100, "abc", -1);
    add("threshold empty", FieldRpmModeRow, 100, "", -1);
    add("threshold -5", FieldRpmModeRow, 100, "-5", -1);
    add("threshold 1500.5", FieldRpmModeRow, 100, "1500.5", -1);
    add("threshold 750", FieldRpmModeRow, 100, " 750 ", 750);
    add("threshold 0", FieldRpmModeRow, 100, "0", 0);
}

void TestSettingsRows::storeSystemRow()
{
    QFETCH(int, row);
    QFETCH(double, present);
    QFETCH(QString, text);
    QFETCH(double, expected);
    const Field field = SystemRowField(row);
    SettingsRecord record;
    PutField(record, field, present);
    QStringList texts = SystemSettingsTexts(record, 12);
    texts[row] = text;
    StoreSystemSettingsTexts(texts, 0, 12, record);
    QCOMPARE(GetField(record, field), expected);
}

// ---------------------------------------------------------------------------
// Text rows

void TestSettingsRows::allowedTextCharacters()
{
    for (int code = 0; code < 0x180; ++code)
        QVERIFY2(IsAllowedTextCharacter(char16_t(code)) == ListedAsAllowed(code),
                 qPrintable(QStringLiteral("code %1").arg(code)));
}

void TestSettingsRows::storeTextRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected"); // the field's bytes, zero padded by the test

    QTest::newRow("my/boat:1") << int(DeviceNameRow) << "my/boat:1"
                               << Bytes({'m', 'y', 0, 'b', 'o', 'a', 't', 0, '1'});
    QTest::newRow("20 characters keep 15") << int(DeviceNameRow) << "ABCDEFGHIJKLMNOPQRST"
                                           << QByteArray("ABCDEFGHIJKLMNO");
    QTest::newRow("empty") << int(DeviceNameRow) << "" << QByteArray();
    QTest::newRow("refused beyond ASCII") << int(DeviceNameRow) << QString::fromUtf8("K\u00E9\u20ACx")
                                          << Bytes({'K', 0, 0, 'x'});
    QTest::newRow("quote and brackets") << int(DeviceNameRow) << "a\"b'c[d]e{f}g|h"
                                        << Bytes({'a', 0, 'b', 0, 'c', 0, 'd', 0, 'e', 0, 'f', 0, 'g', 0, 'h'});
    QTest::newRow("allowed punctuation") << int(WifiPasswordRow) << "!#$%&()*+,-.=@^_~ 09"
                                         << QByteArray("!#$%&()*+,-.=@^_~ 09");
    QTest::newRow("ssid 40 characters keep 31") << int(WifiSsidRow) << QString(40, QLatin1Char('s'))
                                                << QByteArray(31, 's');
    QTest::newRow("password 32 characters keep 31") << int(WifiPasswordRow) << QString(32, QLatin1Char('p'))
                                                    << QByteArray(31, 'p');
    QTest::newRow("domain 64 characters keep 62") << int(SupportHostDomainRow) << QString(64, QLatin1Char('d'))
                                                  << QByteArray(62, 'd');
    QTest::newRow("domain with zero chars") << int(SupportHostDomainRow)
                                            << QString::fromLatin1(QByteArray("ab\0cd", 5))
                                            << QByteArray("ab\0cd", 5);
}

void TestSettingsRows::storeTextRow()
{
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    using S = SettingsRecord;
    const std::size_t offset = row == DeviceNameRow ? S::DeviceNameAt
                             : row == WifiSsidRow ? S::WifiSsidAt
                             : row == WifiPasswordRow ? S::WifiPasswordAt
                                                      : S::SupportHostDomainAt;
    const std::size_t size = row == DeviceNameRow ? S::DeviceNameSize
                           : row == WifiSsidRow ? S::WifiSsidSize
                           : row == WifiPasswordRow ? S::WifiPasswordSize
                                                    : S::SupportHostDomainSize;
    // Every byte of the field is set first, so a byte the rule forgets to
    // clear shows up. The rest of the record must come out as it does from
    // the unedited texts.
    SettingsRecord record;
    record.Bytes().fill(0x55);
    SettingsRecord reference = record;
    QStringList texts = SystemSettingsTexts(record, 12);
    StoreSystemSettingsTexts(texts, 0, 12, reference);
    texts[row] = text;
    StoreSystemSettingsTexts(texts, 0, 12, record);

    QByteArray field = expected;
    field.append(QByteArray(int(size) - expected.size(), '\0'));
    QCOMPARE(record.RawBytes(offset, size), field);
    for (std::size_t i = 0; i < SettingsRecord::Size; ++i)
        if (i < offset || i >= offset + size)
            QVERIFY2(record.U8(i) == reference.U8(i), qPrintable(QStringLiteral("byte %1").arg(i)));
}

void TestSettingsRows::textCellHoldsWholeField()
{
    SettingsRecord record;
    record.SetRawBytes(SettingsRecord::DeviceNameAt, SettingsRecord::DeviceNameSize, QByteArray("ab\0cd", 5));
    record.SetU8(SettingsRecord::WifiSsidAt + 31, 0xE9);
    const QStringList texts = SystemSettingsTexts(record, 12);
    QCOMPARE(texts[DeviceNameRow].size(), 16);
    QCOMPARE(texts[DeviceNameRow], QString::fromLatin1(QByteArray("ab\0cd\0\0\0\0\0\0\0\0\0\0\0", 16)));
    QCOMPARE(texts[WifiSsidRow].size(), 32);
    QCOMPARE(texts[WifiSsidRow].at(31), QChar(0xE9));
    QCOMPARE(texts[WifiPasswordRow].size(), 32);
    QCOMPARE(texts[SupportHostDomainRow].size(), 64);
}

// ---------------------------------------------------------------------------
// Address row

void TestSettingsRows::storeAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("bytes");

    QTest::newRow("10.1.2.3") << "10.1.2.3" << QList<int>{10, 1, 2, 3};
    QTest::newRow("empty") << "" << QList<int>{192, 168, 0, 1};
    QTest::newRow("7") << "7" << QList<int>{192, 168, 0, 7};
    QTest::newRow("1.2") << "1.2" << QList<int>{1, 168, 0, 2};
    QTest::newRow("300.0.0.1") << "300.0.0.1" << QList<int>{255, 0, 0, 1};
    QTest::newRow("leading dot") << ".5" << QList<int>{192, 168, 0, 5};
    QTest::newRow("five parts") << "1.2.3.4.5" << QList<int>{1, 2, 3, 1};
    QTest::newRow("letters") << "a.b.c.d" << QList<int>{192, 168, 0, 1};
    QTest::newRow("blanks around parts") << " 10 . 20 . 30 . 40 " << QList<int>{10, 20, 30, 40};
    QTest::newRow("negative and large") << "-1.256.3.999" << QList<int>{0, 255, 3, 255};
    QTest::newRow("empty parts") << "..." << QList<int>{192, 168, 0, 1};
}

void TestSettingsRows::storeAddress()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, bytes);
    SettingsRecord record;
    record.Bytes().fill(0x77);
    QStringList texts = SystemSettingsTexts(record, 12);
    QCOMPARE(texts[WifiApAddressRow], QStringLiteral("119.119.119.119"));
    texts[WifiApAddressRow] = text;
    StoreSystemSettingsTexts(texts, 0, 12, record);
    QList<int> got;
    for (int i = 0; i < 4; ++i)
        got << record.U8(SettingsRecord::WifiApAddressAt + std::size_t(i));
    QCOMPARE(got, bytes);
    QCOMPARE(SystemSettingsTexts(record, 12)[WifiApAddressRow],
             QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]));
}

// ---------------------------------------------------------------------------
// Voltage scaling

void TestSettingsRows::voltageToDisplay_data()
{
    QTest::addColumn<float>("stored");
    QTest::addColumn<int>("detected");
    QTest::addColumn<float>("shown");

    QTest::newRow("24 V doubles") << 14.4f << 24 << 28.8f;
    QTest::newRow("24 V exactly 18") << 18.0f << 24 << 18.0f;
    QTest::newRow("24 V just below 18") << std::nextafter(18.0f, 0.0f) << 24 << 2.0f * std::nextafter(18.0f, 0.0f);
    QTest::newRow("24 V above 18") << 25.0f << 24 << 25.0f;
    QTest::newRow("24 V negative") << -1.0f << 24 << -2.0f;
    QTest::newRow("12 V unchanged") << 14.4f << 12 << 14.4f;
    QTest::newRow("12 V exactly 18") << 18.0f << 12 << 18.0f;
    QTest::newRow("12 V just above 18") << std::nextafter(18.0f, 19.0f) << 12 << 0.5f * std::nextafter(18.0f, 19.0f);
    QTest::newRow("12 V above 18 halves") << 36.0f << 12 << 18.0f;
    QTest::newRow("not detected") << 30.0f << 0 << 15.0f;
    QTest::newRow("48 V treated as other") << 14.0f << 48 << 14.0f;
}

void TestSettingsRows::voltageToDisplay()
{
    QFETCH(float, stored);
    QFETCH(int, detected);
    QFETCH(float, shown);
    QCOMPARE(VoltageToDisplay(stored, uint16_t(detected)), shown);
}

void TestSettingsRows::voltageFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("present");
    QTest::addColumn<int>("detected");
    QTest::addColumn<float>("stored");

    QTest::newRow("24 V 28.80") << "28.80" << 0.0f << 24 << 14.4f;
    QTest::newRow("24 V 17 not halved") << "17" << 0.0f << 24 << 17.0f;
    QTest::newRow("24 V exactly 18") << "18" << 0.0f << 24 << 18.0f;
    QTest::newRow("24 V 36") << "36" << 0.0f << 24 << 18.0f;
    QTest::newRow("24 V 40 halved then limited") << "40" << 0.0f << 24 << 18.0f;
    // 18.0000001 is above 18 as a double but equal to 18 as a single, so it
    // is not halved.
    QTest::newRow("24 V single precision comparison") << "18.0000001" << 0.0f << 24 << 18.0f;
    QTest::newRow("24 V first single above 18") << "18.000002" << 0.0f << 24 << 0.5f * 18.000002f;
    QTest::newRow("12 V 14.4") << "14.4" << 0.0f << 12 << 14.4f;
    QTest::newRow("12 V 20 limited") << "20" << 0.0f << 12 << 18.0f;
    QTest::newRow("12 V negative limited") << "-1" << 5.0f << 12 << 0.0f;
    QTest::newRow("abc keeps present") << "abc" << 13.2f << 12 << 13.2f;
    QTest::newRow("abc 24 V present above 18 halved") << "abc" << 30.0f << 24 << 15.0f;
    QTest::newRow("abc 12 V present above 18 limited") << "abc" << 30.0f << 12 << 18.0f;
    QTest::newRow("abc present not a number") << "abc" << std::numeric_limits<float>::quiet_NaN() << 12 << 0.0f;
    QTest::newRow("huge 24 V") << "1e300" << 0.0f << 24 << 18.0f;
}

void TestSettingsRows::voltageFromText()
{
    QFETCH(QString, text);
    QFETCH(float, present);
    QFETCH(int, detected);
    QFETCH(float, stored);
    QCOMPARE(VoltageFromText(text, present, uint16_t(detected)), stored);
}

void TestSettingsRows::typedVoltageShownScaledAfterStore()
{
    SettingsRecord record;
    QStringList texts = SystemSettingsTexts(record, 24);
    texts[WarningBatteryVoltageRow] = QStringLiteral("17");
    texts[FaultBatteryVoltageRow] = QStringLiteral("28.80");
    StoreSystemSettingsTexts(texts, 0, 24, record);
    QCOMPARE(record.WarningBatteryVoltage(), 17.0f);
    QCOMPARE(record.FaultBatteryVoltage(), 14.4f);
    const QStringList shown = SystemSettingsTexts(record, 24);
    QCOMPARE(shown[WarningBatteryVoltageRow], QStringLiteral("34.00"));
    QCOMPARE(shown[FaultBatteryVoltageRow], QStringLiteral("28.80"));
}

// ---------------------------------------------------------------------------
// Active profile row

void TestSettingsRows::activeProfileShown_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tab");

    QTest::newRow("0") << 0 << "0 - FLA" << 0;
    QTest::newRow("1") << 1 << "1 - AGM" << 1;
    QTest::newRow("3") << 3 << "3 - FireFly" << 3;
    QTest::newRow("7") << 7 << "7 - Custom #3" << 7;
    QTest::newRow("8 has no tab") << 8 << "8" << 0;
    QTest::newRow("255 has no tab") << 255 << "255" << 0;
}

void TestSettingsRows::activeProfileShown()
{
    QFETCH(int, stored);
    QFETCH(QString, text);
    QFETCH(int, tab);
    SettingsRecord record;
    record.SetActiveChargeProfile(uint8_t(stored));
    QCOMPARE(SystemSettingsTexts(record, 12)[ActiveChargeProfileRow], text);
    QCOMPARE(ProfileTabForActiveIndex(stored), tab);
}

void TestSettingsRows::activeProfileStored_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("selectedTab");
    QTest::addColumn<int>("expected");

    QTest::newRow("typed text ignored") << 1 << "5" << 2 << 2;
    QTest::newRow("typed caption ignored") << 1 << "6 - Custom #2" << 1 << 1;
    QTest::newRow("tab 7") << 0 << "" << 7 << 7;
    QTest::newRow("tab index limited high") << 0 << "" << 9 << 7;
    QTest::newRow("tab index limited low") << 4 << "" << -1 << 0;
    // A number above 7 was not chosen on the tab control (a tab change writes
    // the record at once), so it stays until the user picks a tab.
    QTest::newRow("stored 9 kept") << 9 << "9" << 0 << 9;
    QTest::newRow("stored 200 kept") << 200 << "3" << 3 << 200;
}

void TestSettingsRows::activeProfileStored()
{
    QFETCH(int, stored);
    QFETCH(QString, typed);
    QFETCH(int, selectedTab);
    QFETCH(int, expected);
    SettingsRecord record;
    record.SetActiveChargeProfile(uint8_t(stored));
    QStringList texts = SystemSettingsTexts(record, 12);
    texts[ActiveChargeProfileRow] = typed;
    StoreSystemSettingsTexts(texts, selectedTab, 12, record);
    QCOMPARE(int(record.ActiveChargeProfile()), expected);
}

// ---------------------------------------------------------------------------
// Whole-grid behaviour

void TestSettingsRows::clearedWordZeroedOnStore()
{
    SettingsRecord record = ShowableRecord();
    record.SetU32(SettingsRecord::ClearedWordAt, 0xDEADBEEF);
    StoreSystemSettingsTexts(SystemSettingsTexts(record, 12), 3, 12, record);
    QCOMPARE(record.ClearedWord(), 0u);
}

void TestSettingsRows::missingTextsCountAsEmpty()
{
    SettingsRecord record;
    record.Bytes().fill(0x11);
    record.SetActiveChargeProfile(4);
    StoreSystemSettingsTexts(QStringList{QStringLiteral("5")}, 2, 12, record);
    QCOMPARE(record.DeviceVersion(), uint8_t(5));
    QCOMPARE(record.DeviceName(), QByteArray());
    QCOMPARE(record.WarningBatteryTemperature(), 40.0f);
    QCOMPARE(record.AlternatorPoles(), uint8_t(12));
    QCOMPARE(record.WifiApAddressByte(0), uint8_t(192));
    QCOMPARE(record.WifiApAddressByte(3), uint8_t(1));
    QCOMPARE(record.ActiveChargeProfile(), uint8_t(2));
    QCOMPARE(record.FieldRpmMode(), -1.0f);
    QCOMPARE(record.RegulationRefreshRate(), uint16_t(40));
    QCOMPARE(record.AuxTempSensorUsage(), uint8_t(0));
    // Rows defaulting to the present value keep it.
    SettingsRecord before;
    before.Bytes().fill(0x11);
    QCOMPARE(record.AlternatorShuntGain1(), before.AlternatorShuntGain1());
    QCOMPARE(record.BatteryShuntBias(), before.BatteryShuntBias());
}

void TestSettingsRows::commaSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SettingsRecord record;
    record.SetF32(SettingsRecord::WarningBatteryVoltageAt, 14.4f);
    record.SetF32(SettingsRecord::BatteryShuntResistanceAt, 0.0001f);
    record.SetF32(SettingsRecord::PulleyRatioAt, 3.0f);
    record.SetF32(SettingsRecord::FieldRpmModeAt, 1234.5f);
    QStringList texts = SystemSettingsTexts(record, 24);
    QCOMPARE(texts[WarningBatteryVoltageRow], QStringLiteral("28,80"));
    QCOMPARE(texts[BatteryShuntResistanceRow], QStringLiteral("0,000100"));
    QCOMPARE(texts[FieldRpmModeRow], QStringLiteral("1234"));

    StoreSystemSettingsTexts(texts, 0, 24, record);
    QCOMPARE(record.WarningBatteryVoltage(), 14.4f);
    QCOMPARE(record.BatteryShuntResistance(), 0.0001f);

    texts[PulleyRatioRow] = QStringLiteral("2,5");
    texts[AllowedVoltageDropRow] = QStringLiteral("1.5"); // a point is not a number here
    StoreSystemSettingsTexts(texts, 0, 24, record);
    QCOMPARE(record.PulleyRatio(), 2.5f);
    QCOMPARE(record.AllowedVoltageDrop(), 1.0f);

    ChargeProfile profile;
    QStringList profileTexts = ChargeProfileTexts(profile, 12);
    profileTexts[BulkTargetVoltageRow] = QStringLiteral("14,25");
    StoreChargeProfileTexts(profileTexts, 12, profile);
    QCOMPARE(profile.BulkTargetVoltage(), 14.25f);
    QCOMPARE(ChargeProfileTexts(profile, 12)[BulkTargetVoltageRow], QStringLiteral("14,25"));
}

void TestSettingsRows::unchangedTextsGiveBackSameBytes_data()
{
    QTest::addColumn<int>("detected");
    QTest::newRow("12 V") << 12;
    QTest::newRow("24 V") << 24;
}

void TestSettingsRows::unchangedTextsGiveBackSameBytes()
{
    QFETCH(int, detected);
    const SettingsRecord original = ShowableRecord();
    SettingsRecord record = original;
    const QStringList texts = SystemSettingsTexts(record, uint16_t(detected));
    StoreSystemSettingsTexts(texts, ProfileTabForActiveIndex(record.ActiveChargeProfile()), uint16_t(detected),
                             record);
    // Only the cleared word may differ.
    SettingsRecord expected = original;
    expected.ClearClearedWord();
    for (std::size_t i = 0; i < SettingsRecord::Size; ++i)
        QVERIFY2(record.U8(i) == expected.U8(i), qPrintable(QStringLiteral("byte %1").arg(i)));
}

void TestSettingsRows::arbitraryRecordKeepsUneditedFields_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 42u, 1234u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestSettingsRows::arbitraryRecordKeepsUneditedFields()
{
    QFETCH(quint32, seed);
    using S = SettingsRecord;
    QRandomGenerator gen(seed);
    SettingsRecord original;
    for (auto& b : original.Bytes())
        b = uint8_t(gen.bounded(256));
    SettingsRecord record = original;
    const int tab = ProfileTabForActiveIndex(record.ActiveChargeProfile());
    StoreSystemSettingsTexts(SystemSettingsTexts(record, 12), tab, 12, record);

    // Bytes whose rows may rewrite them from an unedited cell: the text
    // fields (refused characters, the field's last byte), the reals (shown
    // rounded), limited integers, the threshold, the active profile and the
    // cleared word.
    std::set<std::size_t> rewritten;
    auto mark = [&](std::size_t off, std::size_t len) {
        for (std::size_t i = 0; i < len; ++i)
            rewritten.insert(off + i);
    };
    mark(S::DeviceNameAt, S::DeviceNameSize);
    mark(S::WifiSsidAt, S::WifiSsidSize);
    mark(S::WifiPasswordAt, S::WifiPasswordSize);
    mark(S::SupportHostDomainAt, S::SupportHostDomainSize);
    for (int row = 0; row < SystemSettingsRowCount; ++row) {
        if (row == DeviceNameRow || row == WifiSsidRow || row == WifiPasswordRow || row == SupportHostDomainRow
            || row == WifiApAddressRow || row == DeviceVersionRow || row == RegulationRefreshRateRow
            || row == Nmea2000AddressRow)
            continue;
        const Field f = SystemRowField(row);
        mark(f.offset, f.type == FieldType::F32 ? 4 : 1);
    }
    mark(S::ClearedWordAt, 4);

    for (std::size_t i = 0; i < S::Size; ++i)
        if (!rewritten.count(i))
            QVERIFY2(record.U8(i) == original.U8(i), qPrintable(QStringLiteral("byte %1").arg(i)));

    // The text fields keep each allowed byte at its place, up to the limit.
    const std::pair<std::size_t, std::size_t> texts[] = {{S::DeviceNameAt, S::DeviceNameSize},
                                                         {S::WifiSsidAt, S::WifiSsidSize},
                                                         {S::WifiPasswordAt, S::WifiPasswordSize},
                                                         {S::SupportHostDomainAt, S::SupportHostDomainSize}};
    for (const auto& [off, size] : texts) {
        const std::size_t limit = off == S::SupportHostDomainAt ? 62 : size - 1;
        for (std::size_t i = 0; i < size; ++i) {
            const uint8_t b = original.U8(off + i);
            const uint8_t want = i < limit && ListedAsAllowed(b) ? b : 0;
            QVERIFY2(record.U8(off + i) == want, qPrintable(QStringLiteral("text byte %1").arg(off + i)));
        }
    }
    QCOMPARE(record.ClearedWord(), 0u);
    const uint8_t active = original.ActiveChargeProfile();
    QCOMPARE(record.ActiveChargeProfile(), active);
    QVERIFY(record.AlternatorPoles() >= 6 && record.AlternatorPoles() <= 32);
    if (original.AlternatorPoles() >= 6 && original.AlternatorPoles() <= 32)
        QCOMPARE(record.AlternatorPoles(), original.AlternatorPoles());
    QVERIFY(record.WifiMode() <= 2);
    QVERIFY(record.AlternatorType() >= 1 && record.AlternatorType() <= 2);
    const float threshold = record.FieldRpmMode();
    QVERIFY(threshold >= -1.0f && threshold <= 2000.0f && threshold == std::trunc(threshold));
}

// ---------------------------------------------------------------------------
// Charge profile rows

void TestSettingsRows::showProfileRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("detected");
    QTest::addColumn<QString>("text");

    QTest::newRow("duration") << int(WarmUpDurationRow) << 65535.0 << 12 << "65535";
    QTest::newRow("float target 24 V") << int(FloatTargetVoltageRow) << 13.5 << 24 << "27.00";
    QTest::newRow("float target 12 V") << int(FloatTargetVoltageRow) << 13.5 << 12 << "13.50";
    QTest::newRow("bulk limit exactly 18 at 24 V") << int(BulkLimitVoltageRow) << 18.0 << 24 << "18.00";
    QTest::newRow("warm-up target above 18 at 12 V") << int(WarmUpTargetVoltageRow) << 28.0 << 12 << "14.00";
    QTest::newRow("float leave not a number") << int(FloatLeaveVoltageRow)
                                              << std::numeric_limits<double>::quiet_NaN() << 12 << "-";
    QTest::newRow("percent above 100") << int(BulkMaximumFieldRow) << 250.0 << 12 << "250";
}

void TestSettingsRows::showProfileRow()
{
    QFETCH(int, row);
    QFETCH(double, stored);
    QFETCH(int, detected);
    QFETCH(QString, text);
    ChargeProfile profile;
    PutField(profile, ProfileRowField(row), stored);
    const QStringList texts = ChargeProfileTexts(profile, uint16_t(detected));
    QCOMPARE(texts.size(), ChargeProfileRowCount);
    QCOMPARE(texts[row], text);
}

void TestSettingsRows::storeProfileRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("detected");
    QTest::addColumn<double>("expected");

    auto add = [](const char* name, int row, double present, const char* text, int detected, double expected) {
        QTest::newRow(name) << row << present << QString::fromUtf8(text) << detected << expected;
    };
    add("bulk max 300", BulkMaximumFieldRow, 80, "300", 12, 44);
    add("bulk max -1", BulkMaximumFieldRow, 80, "-1", 12, 255);
    add("bulk max abc", BulkMaximumFieldRow, 80, "abc", 12, 100);
    add("bulk max 150 not checked", BulkMaximumFieldRow, 80, "150", 12, 150);
    add("duration abc", WarmUpDurationRow, 99, "abc", 12, 10);
    add("duration 70000", WarmUpDurationRow, 99, "70000", 12, 4464);
    add("duration -1", WarmUpDurationRow, 99, "-1", 12, 65535);
    add("duration 120", WarmUpDurationRow, 99, "120", 12, 120);
    add("warm-up min abc", WarmUpMinimumFieldRow, 50, "abc", 12, 5);
    add("warm-up max abc", WarmUpMaximumFieldRow, 50, "abc", 12, 40);
    add("bulk min abc", BulkMinimumFieldRow, 50, "abc", 12, 15);
    add("float min abc", FloatMinimumFieldRow, 50, "abc", 12, 5);
    add("float max abc", FloatMaximumFieldRow, 50, "abc", 12, 15);
    add("float max 256", FloatMaximumFieldRow, 50, "256", 12, 0);
    add("float target 27.00 at 24 V", FloatTargetVoltageRow, 0, "27.00", 24, 13.5);
    add("float target abc keeps present", FloatTargetVoltageRow, double(13.8f), "abc", 12, double(13.8f));
    add("bulk target 20 at 12 V", BulkTargetVoltageRow, 0, "20", 12, 18);
    add("bulk limit 17 at 24 V", BulkLimitVoltageRow, 0, "17", 24, 17);
    add("warm-up target -2", WarmUpTargetVoltageRow, 10, "-2", 12, 0);
    add("float leave 26.4 at 24 V", FloatLeaveVoltageRow, 0, "26.4", 24, double(13.2f));
}

void TestSettingsRows::storeProfileRow()
{
    QFETCH(int, row);
    QFETCH(double, present);
    QFETCH(QString, text);
    QFETCH(int, detected);
    QFETCH(double, expected);
    const Field field = ProfileRowField(row);
    ChargeProfile profile;
    PutField(profile, field, present);
    QStringList texts = ChargeProfileTexts(profile, uint16_t(detected));
    texts[row] = text;
    StoreChargeProfileTexts(texts, uint16_t(detected), profile);
    QCOMPARE(GetField(profile, field), expected);
}

void TestSettingsRows::profileReservedBytesUntouched()
{
    ChargeProfile profile;
    for (std::size_t i = 0; i < ChargeProfile::Size; ++i)
        profile.SetU8(i, uint8_t(0xA0 + i));
    QStringList texts;
    for (int r = 0; r < ChargeProfileRowCount; ++r)
        texts << QStringLiteral("abc");
    StoreChargeProfileTexts(texts, 12, profile);
    for (std::size_t i : {2u, 3u, 30u, 31u})
        QCOMPARE(profile.U8(i), uint8_t(0xA0 + i));
    // Every other byte belongs to a row and took that row's default.
    QCOMPARE(profile.WarmUpDuration(), uint16_t(10));
    QCOMPARE(profile.FloatMaximumField(), uint8_t(15));
}

void TestSettingsRows::profileRoundTrip_data()
{
    QTest::addColumn<int>("detected");
    QTest::newRow("12 V") << 12;
    QTest::newRow("24 V") << 24;
}

void TestSettingsRows::profileRoundTrip()
{
    QFETCH(int, detected);
    ChargeProfile original;
    for (std::size_t i = 0; i < ChargeProfile::Size; ++i)
        original.SetU8(i, uint8_t(0x3C + 7 * i));
    original.SetU16(ChargeProfile::WarmUpDurationAt, 300);
    original.SetF32(ChargeProfile::WarmUpTargetVoltageAt, 13.2f);
    original.SetF32(ChargeProfile::BulkTargetVoltageAt, 14.4f);
    original.SetF32(ChargeProfile::BulkLimitVoltageAt, 14.75f);
    original.SetF32(ChargeProfile::FloatTargetVoltageAt, 13.5f);
    original.SetF32(ChargeProfile::FloatLeaveVoltageAt, 12.8f);
    ChargeProfile profile = original;
    StoreChargeProfileTexts(ChargeProfileTexts(profile, uint16_t(detected)), uint16_t(detected), profile);
    QVERIFY(profile == original);
}

// ---------------------------------------------------------------------------
// Field/RPM curve

void TestSettingsRows::curvePointsFromRecord_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<double>("point");
    QTest::newRow("0") << 0 << 30.0;
    QTest::newRow("20") << 20 << 30.0;
    QTest::newRow("29") << 29 << 30.0;
    QTest::newRow("30") << 30 << 30.0;
    QTest::newRow("55") << 55 << 55.0;
    QTest::newRow("100") << 100 << 100.0;
    QTest::newRow("101") << 101 << 100.0;
    QTest::newRow("250") << 250 << 100.0;
}

void TestSettingsRows::curvePointsFromRecord()
{
    QFETCH(int, byte);
    QFETCH(double, point);
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        FieldRpmCurve curve;
        curve.fill(60);
        curve[std::size_t(i)] = uint8_t(byte);
        const CurvePoints points = CurvePointsFromRecord(curve);
        for (int j = 0; j < FieldRpmPointCount; ++j)
            QCOMPARE(points[std::size_t(j)], j == i ? point : 60.0);
    }
}

void TestSettingsRows::curveFromPoints_data()
{
    QTest::addColumn<double>("point");
    QTest::addColumn<int>("byte");
    QTest::newRow("55.7 truncated") << 55.7 << 55;
    QTest::newRow("99.99 truncated") << 99.99 << 99;
    QTest::newRow("30") << 30.0 << 30;
    QTest::newRow("30.999") << 30.999 << 30;
    QTest::newRow("29.9 limited") << 29.9 << 30;
    QTest::newRow("100") << 100.0 << 100;
    QTest::newRow("100.9 limited") << 100.9 << 100;
    QTest::newRow("250 limited") << 250.0 << 100;
    QTest::newRow("negative limited") << -5.5 << 30;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 30;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 100;
}

void TestSettingsRows::curveFromPoints()
{
    QFETCH(double, point);
    QFETCH(int, byte);
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        CurvePoints points;
        points.fill(70.5);
        points[std::size_t(i)] = point;
        const FieldRpmCurve curve = CurveFromPoints(points);
        for (int j = 0; j < FieldRpmPointCount; ++j)
            QCOMPARE(int(curve[std::size_t(j)]), j == i ? byte : 70);
    }
}

void TestSettingsRows::zeroCurveBecomesThirty()
{
    SettingsRecord record;
    const CurvePoints points = CurvePointsFromRecord(record.Curve());
    for (double p : points)
        QCOMPARE(p, 30.0);
    record.SetCurve(CurveFromPoints(points));
    for (int i = 0; i < FieldRpmPointCount; ++i)
        QCOMPARE(record.U8(SettingsRecord::FieldRpmCurveAt + std::size_t(i)), uint8_t(30));
    QCOMPARE(record.U8(SettingsRecord::FieldRpmCurveAt - 1), uint8_t(0));
    QCOMPARE(record.U8(SettingsRecord::FieldRpmCurveAt + FieldRpmPointCount), uint8_t(0));
}

void TestSettingsRows::curvePointLabel_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("label");
    QTest::newRow("55.7") << 55.7 << "56";
    QTest::newRow("55.4") << 55.4 << "55";
    QTest::newRow("55.5 half up") << 55.5 << "56";
    QTest::newRow("30") << 30.0 << "30";
    QTest::newRow("100") << 100.0 << "100";
    QTest::newRow("99.6") << 99.6 << "100";
}

void TestSettingsRows::curvePointLabel()
{
    QFETCH(double, value);
    QFETCH(QString, label);
    QCOMPARE(CurvePointLabel(value), label);
    // The label has no decimals in any locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(CurvePointLabel(value), label);
}

void TestSettingsRows::curveByteOffsetToRpm()
{
    SettingsRecord record;
    record.SetU8(530, 77);
    const CurvePoints points = CurvePointsFromRecord(record.Curve());
    int found = -1;
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        if (points[std::size_t(i)] == 77.0) {
            QCOMPARE(found, -1);
            found = i;
        }
    }
    QVERIFY(found >= 0);
    QCOMPARE(CurvePointRpm(found), 4000.0);
    QCOMPARE(CurvePointRpm(0), 500.0);
    QCOMPARE(CurvePointRpm(FieldRpmPointCount - 1), 6000.0);

    // And back: the point at 4000 1/min lands in byte 530.
    CurvePoints edited = points;
    edited[std::size_t(found)] = 88.2;
    record.SetCurve(CurveFromPoints(edited));
    QCOMPARE(record.U8(530), uint8_t(88));
}

// ---------------------------------------------------------------------------
// The settings check

void TestSettingsRows::settingsCheck_data()
{
    using S = SettingsRecord;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<int>("offset");
    QTest::addColumn<char>("type"); // 'b' u8, 'f' f32, 't' text (the bytes given in a field of `number` bytes)
    QTest::addColumn<double>("number");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("departure"); // caption, found, stored; empty: plausible
    const auto row = [](const char* name, std::size_t offset, char type, double number, QByteArray bytes,
                        QStringList departure) {
        QTest::newRow(name) << int(offset) << type << number << bytes << departure;
    };
    const QString warn = QStringLiteral("Warning Battery Temperature, \u00B0C");
    row("temperature above its limit", S::WarningBatteryTemperatureAt, 'f', 75, {}, {warn, "75", "60"});
    row("temperature not a number", S::WarningBatteryTemperatureAt, 'f', nan, {}, {warn, "not a number", "40"});
    row("battery voltage 19 (12-volt terms)", S::FaultBatteryVoltageAt, 'f', 19, {}, {"Fault Battery Voltage, V", "19", "9.5"});
    row("pulley ratio 0", S::PulleyRatioAt, 'f', 0, {}, {"Crank-To-Alternator Pulley Ratio [1..10]", "0", "0.1"});
    row("poles 40", S::AlternatorPolesAt, 'b', 40, {}, {"Alternator Poles [6..32]", "40", "32"});
    row("Wi-Fi mode 3", S::WifiModeAt, 'b', 3, {}, {"Wi-Fi Mode [0-off, 1-STA, 2-AP]", "3", "2"});
    row("CAN bus mode 2", S::CanBusModeAt, 'b', 2, {}, {"CAN Bus Mode [0-off, 1-NMEA2000]", "2", "1"});
    row("active profile 14", S::ActiveChargeProfileAt, 'b', 14, {}, {"Active Charge Profile Number [0..7]", "14", "0 - FLA"});
    row("alternator type 0", S::AlternatorTypeAt, 'b', 0, {}, {"Alternator Type [1-P, 2-N]", "0", "1"});
    row("aux sensor 5", S::AuxTempSensorUsageAt, 'b', 5, {}, {"Aux Temp Sensor Usage [0-Battery, 1-Alt]", "5", "1"});
    const QString threshold = QStringLiteral("Field/RPM [x-Curve, 0-Off, nnn-Threshold]");
    row("threshold 2500", S::FieldRpmModeAt, 'f', 2500, {}, {threshold, "2500", "2000"});
    row("threshold 1234.5", S::FieldRpmModeAt, 'f', 1234.5, {}, {threshold, "1234.5", "1234"});
    row("threshold -4", S::FieldRpmModeAt, 'f', -4, {}, {threshold, "-4", "-1"});
    row("threshold -1 is the curve", S::FieldRpmModeAt, 'f', -1, {}, {});
    row("band infinite", S::RegulationBandAt, 'f', inf, {}, {"Regulation Band, V", "infinite", "0.05"});
    row("band beyond what the grid shows", S::RegulationBandAt, 'f', 5e7, {}, {"Regulation Band, V", "5e+07", "0.05"});
    row("band -4320 has no limits", S::RegulationBandAt, 'f', -4320, {}, {});
    row("shunt bias not a number", S::BatteryShuntBiasAt, 'f', nan, {},
        {"Battery Shunt Bias", "not a number", "nothing until a number is typed"});
    row("comparator comp 2", S::ComparatorVoltageCompAt, 'f', 2, {}, {"Comparator Voltage Comp", "2", "1.5"});
    row("plus comp 0.9 as stored", S::BatteryPlusVoltageCompAt, 'f', double(0.9f), {}, {});
    row("plus comp 1.2", S::BatteryPlusVoltageCompAt, 'f', 1.2, {}, {"Battery Plus Voltage Comp", "1.2", "1.1"});
    row("name with a control character", S::DeviceNameAt, 't', 16, QByteArray("olor\x01P", 6),
        {"Device Name", "\"olor\\x01P\"", "\"olor\\x00P\""});
    row("name without its end", S::DeviceNameAt, 't', 16, "ABCDEFGHIJKLMNOP",
        {"Device Name", "\"ABCDEFGHIJKLMNOP\"", "\"ABCDEFGHIJKLMNO\""});
    row("name with a gap", S::DeviceNameAt, 't', 16, QByteArray("my\0boat", 7), {});
    row("domain with a slash", S::SupportHostDomainAt, 't', 64, "a/b", {"Support Host Domain", "\"a/b\"", "\"a\\x00b\""});
    row("profile voltage 25", S::ProfileOffset(3) + ChargeProfile::BulkTargetVoltageAt, 'f', 25, {},
        {"Bulk Target Voltage, V (3 - FireFly)", "25", "12.5"});
    row("profile voltage -1", S::ProfileOffset(7) + ChargeProfile::FloatLeaveVoltageAt, 'f', -1, {},
        {"Float Leave Voltage, V (7 - Custom #3)", "-1", "0"});
    row("curve point 20", S::FieldRpmCurveAt + 7, 'b', 20, {}, {"Field Limit, % at 4000 1/min", "20", "30"});
    row("curve point 250", S::FieldRpmCurveAt, 'b', 250, {}, {"Field Limit, % at 500 1/min", "250", "100"});
    // Fields the editors keep without limits.
    row("device version 95", S::DeviceVersionAt, 'b', 95, {}, {});
    row("field percent 247", S::ProfileOffset(2) + ChargeProfile::BulkMaximumFieldAt, 'b', 247, {}, {});
    row("address byte 255", S::WifiApAddressAt, 'b', 255, {}, {});
    row("NMEA address 255", S::Nmea2000AddressAt, 'b', 255, {}, {});
}

void TestSettingsRows::settingsCheck()
{
    QFETCH(int, offset);
    QFETCH(char, type);
    QFETCH(double, number);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, departure);
    SettingsRecord record = realistic::Record();
    QVERIFY(CheckSettings(record).isEmpty());
    if (type == 'b')
        record.SetU8(std::size_t(offset), uint8_t(number));
    else if (type == 'f')
        record.SetF32(std::size_t(offset), float(number));
    else
        record.SetRawBytes(std::size_t(offset), std::size_t(number), bytes.leftJustified(int(number), '\0'));
    const QList<SettingsDeparture> found = CheckSettings(record);
    if (departure.isEmpty()) {
        QCOMPARE(found.size(), 0);
        return;
    }
    QCOMPARE(found.size(), 1);
    QCOMPARE((QStringList{found[0].caption, found[0].found, found[0].stored}), departure);
    // Fixed, the record passes, unless there is nothing the editors would store.
    const bool fixable = !found[0].fix.isEmpty();
    QCOMPARE(CheckSettings(WithDeparturesFixed(record, found)).isEmpty(), fixable);
}

// A record of random bytes has departures, and what the editors would store
// instead passes the check (but for reals the editors keep as they are).
void TestSettingsRows::departuresFixedArePlausible()
{
    QRandomGenerator random(28);
    for (int run = 0; run < 300; ++run) {
        SettingsRecord record;
        for (auto& b : record.Bytes())
            b = uint8_t(random.bounded(256));
        const QList<SettingsDeparture> departures = CheckSettings(record);
        QVERIFY(departures.size() > 3);
        const QList<SettingsDeparture> left = CheckSettings(WithDeparturesFixed(record, departures));
        for (const SettingsDeparture& d : left)
            QVERIFY2(d.fix.isEmpty(), qPrintable(d.caption));
    }
    // The list names the first five and how many more there are.
    SettingsRecord zeros;
    const QStringList lines = DeparturesText(CheckSettings(zeros)).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QStringLiteral("Crank-To-Alternator Pulley Ratio [1..10]: 0 (the editors store 0.1)"));
    QVERIFY2(lines[5].startsWith(QStringLiteral("... and ")), qPrintable(lines[5]));
}

QTEST_GUILESS_MAIN(TestSettingsRows)
#include "test_settings_rows.moc"
