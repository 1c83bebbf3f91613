// The three calibration commands of the "System" menu as the main window
// runs them: the settings read first, the exact dialogs, what lands in the
// settings record and what reaches the regulator.
#include "settings/system_settings_rows.h"
#include "rig/station_test_access.h"
#include "rig/gui_suite.h"
#include "rig/hooked_dialogs.h"

#include <QAction>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {


const QString SuccessText = QStringLiteral("Calibration was successful\rDo you want to update the settings now?");
const QString FailureText = QStringLiteral("It looks like the calibration was not successful");
const QString VoltageConfirm = QStringLiteral("Connect Battery Voltage measuring leads and wait few seconds...");
const QString CurrentConfirm = QStringLiteral("Connect current measuring leads and wait few seconds...");

// Bit-exact single comparison (QCOMPARE on floats is fuzzy).
uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// One line per box shown: kind, caption, text, proposed text.
QStringList Describe(const std::vector<ShownDialog>& shown)
{
    static const char* const kinds[] = {"Error", "OkCancel", "YesCancel", "WarningYesCancel", "Input", "SaveFile", "OpenFile"};
    QStringList lines;
    for (const ShownDialog& d : shown)
        lines << QString::fromLatin1(kinds[d.kind]) + QLatin1Char('|') + d.caption + QLatin1Char('|') + d.text
                + QLatin1Char('|') + d.proposed;
    return lines;
}

QString InputLine(const QString& caption, const QString& prompt, const QString& proposed)
{
    return QStringLiteral("Input|") + caption + QLatin1Char('|') + prompt + QLatin1Char('|') + proposed;
}

const QString SuccessLine = QStringLiteral("YesCancel|Information|") + SuccessText + QLatin1Char('|');
const QString FailureLine = QStringLiteral("Error|Error|") + FailureText + QLatin1Char('|');
const QString VoltageConfirmLine = QStringLiteral("OkCancel|Information|") + VoltageConfirm + QLatin1Char('|');
const QString CurrentConfirmLine = QStringLiteral("OkCancel|Information|") + CurrentConfirm + QLatin1Char('|');

int CountRequests(const SimulatedRegulator& sim, uint8_t code)
{
    int n = 0;
    for (const ReportBuffer& r : sim.Requests)
        if (r[0] == code)
            ++n;
    return n;
}

// The regulator's settings for these tests: the demo image with factors that
// differ from every value a calibration below computes, and a non-zero word
// at offset 92.
SettingsRecord StartSettings()
{
    SettingsRecord s;
    s.Assign(SimulatedRegulator().SettingsImage.data());
    s.SetPowerSupplyVoltageComp(1.05f);
    s.SetRegulatorVoltageComp(0.95f);
    s.SetBatteryPlusVoltageComp(0.96f);
    s.SetBatteryMinusVoltageComp(0.97f);
    s.SetAlternatorShuntGain1(12.5f);
    s.SetAlternatorShuntGain2(11.5f);
    s.SetBatteryShuntBias(0.001f);
    s.SetU32(SettingsRecord::ClearedWordAt, 0xDEADBEEF);
    return s;
}

} // namespace

class TestGuiCalibration : public GuiSuite {
    Q_OBJECT

private slots:
    void dialogsOfEachCalibration_data();
    void dialogsOfEachCalibration();
    void cancelInInputBoxUsesProposedText_data();
    void cancelInInputBoxUsesProposedText();
    void textThatIsNotANumber_data();
    void textThatIsNotANumber();
    void regionalDecimalSeparator();
    void voltageFactorWrittenLimited_data();
    void voltageFactorWrittenLimited();
    void outOfBandStoresNothing_data();
    void outOfBandStoresNothing();
    void currentCalibrationWritesGains_data();
    void currentCalibrationWritesGains();
    void zeroDivisor_data();
    void zeroDivisor();
    void confirmationCancelEndsSilently_data();
    void confirmationCancelEndsSilently();
    void nothingWhilePollingStopped_data();
    void nothingWhilePollingStopped();
    void measurementsOfLastPollBeforeAnswer_data();
    void measurementsOfLastPollBeforeAnswer();

private:
    void SetChannel(Channel c, float signal, float value);
    // Polls once so that the window holds the regulator's present state.
    void Poll();
    void Run(Procedure p, bool viaMenu = false);

    void SetUpRig(GuiRig& rig) override
    {
        rig.sim.SetSettings(StartSettings());
        rig.Connect();
        rig.sim.Requests.clear();
        // The record as a calibration left it, seen while "update the
        // settings now?" is open: Cancel takes the new values back.
        atQuestion_.reset();
        rig.dialogs.WhileOpen = [this](const QString&, const QString& text) {
            if (text == SuccessText)
                atQuestion_ = W().Core().Settings();
        };
    }
    // What the calibration put into the record (the record itself when it
    // asked nothing).
    SettingsRecord Calibrated() { return atQuestion_.value_or(W().Core().Settings()); }
    std::optional<SettingsRecord> atQuestion_;
    void CheckRig(GuiRig& rig) override { QCOMPARE(rig.dialogs.PendingAnswers(), 0); }
};

void TestGuiCalibration::SetChannel(Channel c, float signal, float value)
{
    MeasuredChannel m = rig_->sim.OwnState.ChannelAt(c);
    m.Signal = signal;
    m.Value = value;
    rig_->sim.OwnState.SetChannel(c, m);
}

void TestGuiCalibration::Poll()
{
    W().USBTimerTimer();
    QCOMPARE(W().Core().OwnState(), rig_->sim.OwnState);
    rig_->sim.Requests.clear();
}

void TestGuiCalibration::Run(Procedure p, bool viaMenu)
{
    // The commands take a running polling timer as the sign that no other
    // device operation is under way.
    W().Ui().USBTimer->start();
    switch (p) {
    case Procedure::PowerSupply:
        viaMenu ? W().Ui().CalibrateInternalPowerSupply->trigger() : W().CalibrateInternalPowerSupplyClick();
        break;
    case Procedure::Voltage:
        viaMenu ? W().Ui().CalibrateVoltageMeasurements->trigger() : W().CalibrateVoltageMeasurementsClick();
        break;
    case Procedure::Current:
        viaMenu ? W().Ui().CalibrateCurrentMeasurements->trigger() : W().CalibrateCurrentMeasurementsClick();
        break;
    }
    // The settings read and write start the timers again at their end.
    rig_->StopTimers();
}

void TestGuiCalibration::dialogsOfEachCalibration_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<QStringList>("expected");

    const QStringList ps{InputLine(QStringLiteral("Measured Power Supply Voltage"),
                                   QStringLiteral("Voltage between VREG and B-"), QStringLiteral("12.3456")),
                         SuccessLine};
    const QStringList volt{VoltageConfirmLine,
                           InputLine(QStringLiteral("Regulator Voltage"),
                                     QStringLiteral("Voltage at the back of the alternator"), QStringLiteral("13.9876")),
                           SuccessLine};
    const QStringList cur{CurrentConfirmLine, SuccessLine};
    QTest::newRow("power supply") << int(Procedure::PowerSupply) << false << ps;
    QTest::newRow("power supply, menu") << int(Procedure::PowerSupply) << true << ps;
    QTest::newRow("voltage") << int(Procedure::Voltage) << false << volt;
    QTest::newRow("voltage, menu") << int(Procedure::Voltage) << true << volt;
    QTest::newRow("current") << int(Procedure::Current) << false << cur;
    QTest::newRow("current, menu") << int(Procedure::Current) << true << cur;
}

void TestGuiCalibration::dialogsOfEachCalibration()
{
    QFETCH(int, procedure);
    QFETCH(bool, viaMenu);
    QFETCH(QStringList, expected);

    SetChannel(Channel::PowerSupplyVoltage, 2.4f, 12.34564f);
    SetChannel(Channel::RegulatorVoltage, 0.4375f, 13.98761f);
    SetChannel(Channel::BPlusVoltage, 0.5f, 14.0f);
    SetChannel(Channel::BMinusVoltage, 0.5f - 14.0f / 34.0f, 0.0f);
    SetChannel(Channel::AlternatorShuntVoltage, 0.8f, 14.0f);
    SetChannel(Channel::AlternatorShuntDrop, 0.01f, 0.001f);
    Poll();
    // The measured voltage in the input box gives a factor of 1 either way.
    if (procedure == int(Procedure::Voltage))
        rig_->dialogs.AnswerOk();
    if (procedure == int(Procedure::Current))
        rig_->dialogs.AnswerOk();
    if (procedure != int(Procedure::Current))
        rig_->dialogs.AnswerText(procedure == int(Procedure::PowerSupply) ? QStringLiteral("12.0") : QStringLiteral("14"));
    rig_->dialogs.AnswerCancel();

    Run(Procedure(procedure), viaMenu);

    QCOMPARE(Describe(rig_->dialogs.Shown), expected);
    // The settings were read first and the "Settings" page shows them.
    QCOMPARE(CountRequests(rig_->sim, ReadSettingsBlock), SettingsBlockCount);
    QCOMPARE(rig_->sim.Requests.front()[0], uint8_t(ReadSettingsBlock));
    QCOMPARE(W().Ui().PageControl->currentWidget(), W().Ui().SettingsTabSheet);
    QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
}

void TestGuiCalibration::cancelInInputBoxUsesProposedText_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("succeeds");

    // Readings whose proposed text (4 decimals) differs from the full value,
    // so using the value instead of the text would show in the factors.
    for (bool cancel : {true, false}) {
        const char* how = cancel ? "cancel" : "ok";
        QTest::addRow("power supply in band, %s", how) << int(Procedure::PowerSupply) << cancel << true;
        QTest::addRow("power supply out of band, %s", how) << int(Procedure::PowerSupply) << cancel << false;
        QTest::addRow("voltage in band, %s", how) << int(Procedure::Voltage) << cancel << true;
        QTest::addRow("voltage out of band, %s", how) << int(Procedure::Voltage) << cancel << false;
    }
}

void TestGuiCalibration::cancelInInputBoxUsesProposedText()
{
    QFETCH(int, procedure);
    QFETCH(bool, cancel);
    QFETCH(bool, succeeds);

    QString proposed;
    if (procedure == int(Procedure::PowerSupply)) {
        // k = 12; 12.34564 is shown as 12.3456, 13.8765 is out of band.
        SetChannel(Channel::PowerSupplyVoltage, 2.4f, succeeds ? 12.34564f : 13.87654f);
        proposed = succeeds ? QStringLiteral("12.3456") : QStringLiteral("13.8765");
    } else {
        // kReg = 12.8, kBat = 13.6.
        SetChannel(Channel::RegulatorVoltage, 0.4f, succeeds ? 13.20004f : 15.00004f);
        SetChannel(Channel::BPlusVoltage, 0.45f, 0);
        SetChannel(Channel::BMinusVoltage, 0.05f, 0);
        proposed = succeeds ? QStringLiteral("13.2000") : QStringLiteral("15.0000");
    }
    Poll();
    const SettingsRecord before = StartSettings();

    if (procedure == int(Procedure::Voltage))
        rig_->dialogs.AnswerOk();
    if (cancel)
        rig_->dialogs.AnswerCancel();
    else
        rig_->dialogs.AnswerText(proposed);
    // The new values as the record holds them while the question is open;
    // Cancel then leaves the record as it was.
    SettingsRecord asked = before;
    rig_->dialogs.WhileOpen = [&asked, this](const QString&, const QString& text) {
        if (text == SuccessText)
            asked = W().Core().Settings();
    };
    if (succeeds)
        rig_->dialogs.AnswerCancel();
    Run(Procedure(procedure));
    rig_->dialogs.WhileOpen = nullptr;
    QVERIFY(W().Core().Settings() == before);

    const QStringList shown = Describe(rig_->dialogs.Shown);
    QVERIFY(shown.size() >= 2);
    QVERIFY(shown[shown.size() - 2].endsWith(QLatin1Char('|') + proposed));
    QCOMPARE(shown.last(), succeeds ? SuccessLine : FailureLine);
    QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);

    SettingsRecord expected = before;
    if (succeeds && procedure == int(Procedure::PowerSupply))
        expected.SetPowerSupplyVoltageComp(float(12.3456 / (5.0 * double(2.4f))));
    if (succeeds && procedure == int(Procedure::Voltage)) {
        expected.SetRegulatorVoltageComp(float(13.2 / (32.0 * double(0.4f))));
        const float battery = float(13.2 / ((double(0.45f) - double(0.05f)) * 34.0));
        expected.SetBatteryPlusVoltageComp(battery);
        expected.SetBatteryMinusVoltageComp(battery);
    }
    QCOMPARE(Bits(asked.PowerSupplyVoltageComp()), Bits(expected.PowerSupplyVoltageComp()));
    QCOMPARE(Bits(asked.RegulatorVoltageComp()), Bits(expected.RegulatorVoltageComp()));
    QCOMPARE(Bits(asked.BatteryPlusVoltageComp()), Bits(expected.BatteryPlusVoltageComp()));
    QVERIFY(asked == expected);
}

void TestGuiCalibration::textThatIsNotANumber_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<float>("signal");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<float>("factor");

    // Power supply: the present comp (1.05) stands in for the measured
    // voltage, so only k close to it passes.
    QTest::newRow("power supply, k = 1") << int(Procedure::PowerSupply) << 0.2f << true << float(double(1.05f) / (5.0 * double(0.2f)));
    QTest::newRow("power supply, k = 12") << int(Procedure::PowerSupply) << 2.4f << false << 0.0f;
    // Voltage: the unrounded regulator voltage value stands in.
    QTest::newRow("voltage, value 13.20004") << int(Procedure::Voltage) << 0.4f << true
                                             << float(double(13.20004f) / (32.0 * double(0.4f)));
    QTest::newRow("voltage, value far off") << int(Procedure::Voltage) << 0.2f << false << 0.0f;
}

void TestGuiCalibration::textThatIsNotANumber()
{
    QFETCH(int, procedure);
    QFETCH(float, signal);
    QFETCH(bool, succeeds);
    QFETCH(float, factor);

    if (procedure == int(Procedure::PowerSupply)) {
        SetChannel(Channel::PowerSupplyVoltage, signal, 12.5f);
    } else {
        SetChannel(Channel::RegulatorVoltage, signal, 13.20004f);
        SetChannel(Channel::BPlusVoltage, 0.45f, 0);
        SetChannel(Channel::BMinusVoltage, 0.05f, 0);
    }
    Poll();
    if (procedure == int(Procedure::Voltage))
        rig_->dialogs.AnswerOk();
    rig_->dialogs.AnswerText(QStringLiteral("about twelve"));
    if (succeeds)
        rig_->dialogs.AnswerCancel();
    Run(Procedure(procedure));

    QCOMPARE(Describe(rig_->dialogs.Shown).last(), succeeds ? SuccessLine : FailureLine);
    const float stored = procedure == int(Procedure::PowerSupply) ? Calibrated().PowerSupplyVoltageComp()
                                                  : Calibrated().RegulatorVoltageComp();
    if (succeeds)
        QCOMPARE(Bits(stored), Bits(factor));
    else
        QVERIFY(W().Core().Settings() == StartSettings());
}

void TestGuiCalibration::regionalDecimalSeparator()
{
    // The proposed text and the typed text use the regional separator.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetChannel(Channel::PowerSupplyVoltage, 2.4f, 12.34564f);
    Poll();
    rig_->dialogs.AnswerText(QStringLiteral("12,6"));
    rig_->dialogs.AnswerCancel();
    Run(Procedure::PowerSupply);

    QCOMPARE(rig_->dialogs.Shown.front().proposed, QStringLiteral("12,3456"));
    QCOMPARE(Describe(rig_->dialogs.Shown).last(), SuccessLine);
    QCOMPARE(Bits(Calibrated().PowerSupplyVoltageComp()), Bits(float(12.6 / (5.0 * double(2.4f)))));
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(PowerSupplyVoltageCompRow, 1), QStringLiteral("1,050000"));
}

void TestGuiCalibration::voltageFactorWrittenLimited_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes writes") << true;
    QTest::newRow("Cancel keeps in record") << false;
}

void TestGuiCalibration::voltageFactorWrittenLimited()
{
    QFETCH(bool, yes);
    // kReg = 16 and kBat = 16: 14.32 V gives 0.895 for both factors, inside
    // the calibration's band but below the editor's 0.9.
    SetChannel(Channel::RegulatorVoltage, 0.5f, 14.0f);
    SetChannel(Channel::BPlusVoltage, 0.75f, 0);
    SetChannel(Channel::BMinusVoltage, 0.75f - 16.0f / 34.0f, 0);
    Poll();
    const double kBat = (double(0.75f) - double(0.75f - 16.0f / 34.0f)) * 34.0;
    rig_->dialogs.AnswerOk();
    rig_->dialogs.AnswerText(QStringLiteral("14.32"));
    if (yes)
        rig_->dialogs.AnswerYes();
    else
        rig_->dialogs.AnswerCancel();
    Run(Procedure::Voltage);

    QCOMPARE(Describe(rig_->dialogs.Shown).last(), SuccessLine);
    const SettingsRecord regulator = rig_->sim.Settings();
    if (yes) {
        QCOMPARE(rig_->sim.AppliedWrites, 1);
        QCOMPARE(regulator.RegulatorVoltageComp(), 0.9f);
        QCOMPARE(regulator.BatteryPlusVoltageComp(), 0.9f);
        QCOMPARE(regulator.BatteryMinusVoltageComp(), 0.9f);
        QCOMPARE(Bits(regulator.RegulatorVoltageComp()), Bits(0.9f));
        QCOMPARE(Bits(regulator.BatteryPlusVoltageComp()), Bits(0.9f));
        // Untouched factors go back as they were read.
        QCOMPARE(regulator.PowerSupplyVoltageComp(), 1.05f);
        QCOMPARE(W().Core().Settings().RegulatorVoltageComp(), 0.9f);
    } else {
        // The new values were in the record and the table while the question
        // was open; Cancel takes them back, and nothing is sent.
        QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
        QCOMPARE(rig_->sim.AppliedWrites, 0);
        QVERIFY(regulator == StartSettings());
        QCOMPARE(Bits(Calibrated().RegulatorVoltageComp()), Bits(float(14.32 / 16.0)));
        QCOMPARE(Bits(Calibrated().BatteryPlusVoltageComp()), Bits(float(14.32 / kBat)));
        QCOMPARE(Bits(Calibrated().BatteryMinusVoltageComp()), Bits(float(14.32 / kBat)));
        QVERIFY(W().Core().Settings() == StartSettings());
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(RegulatorVoltageCompRow, 1), QStringLiteral("0.950000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(BatteryPlusVoltageCompRow, 1), QStringLiteral("0.960000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(BatteryMinusVoltageCompRow, 1), QStringLiteral("0.970000"));
    }
}

void TestGuiCalibration::outOfBandStoresNothing_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<float>("regulatorSignal"); // kReg = 32 x this
    QTest::addColumn<float>("batteryDiff");     // kBat = 34 x this
    QTest::addColumn<QString>("measured");
    QTest::addColumn<bool>("succeeds");

    // kReg = 12.8 and kBat = 13.6 unless stated.
    QTest::newRow("voltage both in") << int(Procedure::Voltage) << 0.4f << 0.4f << "13.2" << true;
    QTest::newRow("voltage regulator factor high") << int(Procedure::Voltage) << 0.4f << 0.42f << "14.3" << false;
    QTest::newRow("voltage battery factor low") << int(Procedure::Voltage) << 0.4f << 0.45f << "13.0" << false;
    QTest::newRow("voltage regulator factor low") << int(Procedure::Voltage) << 0.4f << 0.36f << "11.3" << false;
    QTest::newRow("voltage battery factor high") << int(Procedure::Voltage) << 0.4f << 0.36f << "13.7" << false;
    // Power supply, k = 12: band 0.9 to 1.1.
    QTest::newRow("power supply 1.09") << int(Procedure::PowerSupply) << 0.0f << 0.0f << "13.08" << true;
    QTest::newRow("power supply 0.91") << int(Procedure::PowerSupply) << 0.0f << 0.0f << "10.92" << true;
    QTest::newRow("power supply 1.11") << int(Procedure::PowerSupply) << 0.0f << 0.0f << "13.32" << false;
    QTest::newRow("power supply 0.89") << int(Procedure::PowerSupply) << 0.0f << 0.0f << "10.68" << false;
}

void TestGuiCalibration::outOfBandStoresNothing()
{
    QFETCH(int, procedure);
    QFETCH(float, regulatorSignal);
    QFETCH(float, batteryDiff);
    QFETCH(QString, measured);
    QFETCH(bool, succeeds);

    SetChannel(Channel::PowerSupplyVoltage, 2.4f, 12.0f);
    SetChannel(Channel::RegulatorVoltage, regulatorSignal, 13.0f);
    SetChannel(Channel::BPlusVoltage, 0.1f + batteryDiff, 0);
    SetChannel(Channel::BMinusVoltage, 0.1f, 0);
    Poll();
    if (procedure == int(Procedure::Voltage))
        rig_->dialogs.AnswerOk();
    rig_->dialogs.AnswerText(measured);
    if (succeeds)
        rig_->dialogs.AnswerCancel();
    Run(Procedure(procedure));

    QCOMPARE(Describe(rig_->dialogs.Shown).last(), succeeds ? SuccessLine : FailureLine);
    QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
    if (succeeds) {
        QVERIFY(Calibrated() != StartSettings());
    } else {
        // Neither factor was stored, not even the one inside the band.
        QVERIFY(W().Core().Settings() == StartSettings());
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(RegulatorVoltageCompRow, 1), QStringLiteral("0.950000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(BatteryPlusVoltageCompRow, 1), QStringLiteral("0.960000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(PowerSupplyVoltageCompRow, 1), QStringLiteral("1.050000"));
    }
}

void TestGuiCalibration::currentCalibrationWritesGains_data()
{
    QTest::addColumn<float>("at");
    QTest::addColumn<float>("regulatorValue");
    QTest::addColumn<int>("answer"); // 0 none (failure box), 1 Yes, 2 Cancel

    QTest::newRow("at 0.2 fails") << 0.2f << 4.2f << 0;
    QTest::newRow("at 0.2 fails even for a plausible gain") << 0.2f << 3.0f << 0;
    QTest::newRow("at 0.21 gain 20, Yes") << 0.21f << 4.2f << 1;
    QTest::newRow("at 0.21 gain 20, Cancel") << 0.21f << 4.2f << 2;
    QTest::newRow("gain below 10") << 0.5f << 4.9f << 0;
    QTest::newRow("gain above 22") << 0.5f << 11.1f << 0;
}

void TestGuiCalibration::currentCalibrationWritesGains()
{
    QFETCH(float, at);
    QFETCH(float, regulatorValue);
    QFETCH(int, answer);

    SetChannel(Channel::AlternatorShuntVoltage, at, 14.0f);
    SetChannel(Channel::AlternatorShuntDrop, 0.09f, 0.0f);
    SetChannel(Channel::RegulatorVoltage, 0.4f, regulatorValue);
    SetChannel(Channel::BatteryShuntDrop, 0.001f, 0.0123f);
    Poll();
    rig_->dialogs.AnswerOk();
    if (answer == 1)
        rig_->dialogs.AnswerYes();
    if (answer == 2)
        rig_->dialogs.AnswerCancel();
    Run(Procedure::Current);

    const SettingsRecord regulator = rig_->sim.Settings();
    if (answer == 0) {
        QCOMPARE(Describe(rig_->dialogs.Shown), (QStringList{CurrentConfirmLine, FailureLine}));
        QVERIFY(W().Core().Settings() == StartSettings());
        QCOMPARE(W().Core().Settings().ClearedWord(), 0xDEADBEEFu);
        QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
        return;
    }
    QCOMPARE(Describe(rig_->dialogs.Shown), (QStringList{CurrentConfirmLine, SuccessLine}));
    const double gain = double(regulatorValue) / double(at);
    const double gain2 = gain * double(at) / (double(at) + double(0.09f));
    if (answer == 1) {
        // What reaches the regulator went through the table (6 decimals).
        QCOMPARE(rig_->sim.AppliedWrites, 1);
        QCOMPARE(regulator.AlternatorShuntGain1(), 20.0f);
        QCOMPARE(regulator.AlternatorShuntGain2(), 14.0f);
        QCOMPARE(regulator.BatteryShuntBias(), -0.0123f);
        QCOMPARE(regulator.ClearedWord(), 0u);
        QCOMPARE(regulator.PowerSupplyVoltageComp(), 1.05f);
        QCOMPARE(regulator.RegulatorVoltageComp(), 0.95f);
    } else {
        QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
        QVERIFY(regulator == StartSettings());
        QCOMPARE(Bits(Calibrated().AlternatorShuntGain1()), Bits(float(gain)));
        QCOMPARE(Bits(Calibrated().AlternatorShuntGain2()), Bits(float(gain2)));
        QCOMPARE(Bits(Calibrated().BatteryShuntBias()), Bits(-0.0123f));
        // The calibration itself clears the word at offset 92.
        QCOMPARE(Calibrated().ClearedWord(), 0u);
        // 4.2 and 0.21 as singles make gain #2 a hair under 14.
        QCOMPARE(QString::number(double(Calibrated().AlternatorShuntGain2()), 'f', 6), QStringLiteral("13.999999"));
        // Cancel took the new values back from the record and the table.
        QVERIFY(W().Core().Settings() == StartSettings());
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(AlternatorShuntGain1Row, 1), QStringLiteral("12.500000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(AlternatorShuntGain2Row, 1), QStringLiteral("11.500000"));
        QCOMPARE(W().Ui().SystemSettingsTable->Cell(BatteryShuntBiasRow, 1), QStringLiteral("0.001000"));
        // Everything else is as read.
        SettingsRecord rest = Calibrated();
        const SettingsRecord start = StartSettings();
        rest.SetAlternatorShuntGain1(start.AlternatorShuntGain1());
        rest.SetAlternatorShuntGain2(start.AlternatorShuntGain2());
        rest.SetBatteryShuntBias(start.BatteryShuntBias());
        rest.SetU32(SettingsRecord::ClearedWordAt, start.ClearedWord());
        QVERIFY(rest == start);
    }
}

void TestGuiCalibration::zeroDivisor_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<float>("powerSupplySignal");
    QTest::addColumn<float>("regulatorSignal");
    QTest::addColumn<float>("bMinusSignal");
    QTest::addColumn<float>("across");
    QTest::addColumn<QStringList>("kindsBeforeError");

    QTest::newRow("power supply signal 0") << int(Procedure::PowerSupply) << 0.0f << 0.4f << 0.05f << 0.09f
                                           << QStringList{QStringLiteral("Input")};
    QTest::newRow("regulator signal 0") << int(Procedure::Voltage) << 2.4f << 0.0f << 0.05f << 0.09f
                                        << QStringList{QStringLiteral("OkCancel"), QStringLiteral("Input")};
    QTest::newRow("B+ equals B-") << int(Procedure::Voltage) << 2.4f << 0.4f << 0.45f << 0.09f
                                  << QStringList{QStringLiteral("OkCancel"), QStringLiteral("Input")};
    QTest::newRow("shunt signals cancel out") << int(Procedure::Current) << 2.4f << 0.4f << 0.05f << -0.5f
                                              << QStringList{QStringLiteral("OkCancel")};
}

void TestGuiCalibration::zeroDivisor()
{
    QFETCH(int, procedure);
    QFETCH(float, powerSupplySignal);
    QFETCH(float, regulatorSignal);
    QFETCH(float, bMinusSignal);
    QFETCH(float, across);
    QFETCH(QStringList, kindsBeforeError);

    SetChannel(Channel::PowerSupplyVoltage, powerSupplySignal, 12.0f);
    SetChannel(Channel::RegulatorVoltage, regulatorSignal, 10.0f);
    SetChannel(Channel::BPlusVoltage, 0.45f, 0);
    SetChannel(Channel::BMinusVoltage, bMinusSignal, 0);
    SetChannel(Channel::AlternatorShuntVoltage, 0.5f, 14.0f);
    SetChannel(Channel::AlternatorShuntDrop, across, 0);
    Poll();
    if (procedure != int(Procedure::PowerSupply))
        rig_->dialogs.AnswerOk();
    if (procedure != int(Procedure::Current))
        rig_->dialogs.AnswerText(QStringLiteral("12.5"));
    Run(Procedure(procedure));

    const std::vector<ShownDialog>& shown = rig_->dialogs.Shown;
    QCOMPARE(int(shown.size()), kindsBeforeError.size() + 1);
    QStringList kinds = Describe(shown);
    for (QString& k : kinds)
        k = k.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(kinds, kindsBeforeError + QStringList{QStringLiteral("Error")});
    // An error about the division, neither the success nor the failure box.
    QVERIFY(shown.back().text != FailureText);
    QVERIFY(!shown.back().text.isEmpty());
    QVERIFY(W().Core().Settings() == StartSettings());
    QCOMPARE(CountRequests(rig_->sim, WriteSettingsBlock), 0);
}

void TestGuiCalibration::confirmationCancelEndsSilently_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<QString>("confirmLine");
    QTest::newRow("voltage") << int(Procedure::Voltage) << VoltageConfirmLine;
    QTest::newRow("current") << int(Procedure::Current) << CurrentConfirmLine;
}

void TestGuiCalibration::confirmationCancelEndsSilently()
{
    QFETCH(int, procedure);
    QFETCH(QString, confirmLine);
    SetChannel(Channel::RegulatorVoltage, 0.4f, 13.0f);
    SetChannel(Channel::AlternatorShuntVoltage, 0.21f, 14.0f);
    Poll();
    rig_->dialogs.AnswerCancel();
    Run(Procedure(procedure));

    QCOMPARE(Describe(rig_->dialogs.Shown), QStringList{confirmLine});
    // The settings read has happened; nothing else.
    QCOMPARE(CountRequests(rig_->sim, ReadSettingsBlock), SettingsBlockCount);
    QCOMPARE(int(rig_->sim.Requests.size()), SettingsBlockCount);
    QVERIFY(W().Core().Settings() == StartSettings());
}

void TestGuiCalibration::nothingWhilePollingStopped_data()
{
    QTest::addColumn<int>("procedure");
    QTest::newRow("power supply") << int(Procedure::PowerSupply);
    QTest::newRow("voltage") << int(Procedure::Voltage);
    QTest::newRow("current") << int(Procedure::Current);
}

void TestGuiCalibration::nothingWhilePollingStopped()
{
    QFETCH(int, procedure);
    // Differs from the regulator's.
    StationTestAccess::EditSettings(W().Core(), [](SettingsRecord& r) { r.SetPowerSupplyVoltageComp(1.0f); });
    const SettingsRecord shown = W().Core().Settings();
    QVERIFY(!W().Ui().USBTimer->isActive());
    switch (Procedure(procedure)) {
    case Procedure::PowerSupply:
        W().CalibrateInternalPowerSupplyClick();
        break;
    case Procedure::Voltage:
        W().CalibrateVoltageMeasurementsClick();
        break;
    case Procedure::Current:
        W().CalibrateCurrentMeasurementsClick();
        break;
    }
    QVERIFY(rig_->dialogs.Shown.empty());
    QVERIFY(rig_->sim.Requests.empty());
    QVERIFY(W().Core().Settings() == shown);
    QCOMPARE(W().Ui().PageControl->currentWidget(), W().Ui().StateTabSheet);
    QVERIFY(!W().Ui().USBTimer->isActive());
}

void TestGuiCalibration::measurementsOfLastPollBeforeAnswer_data()
{
    QTest::addColumn<int>("procedure");
    QTest::addColumn<QString>("typed");
    QTest::newRow("power supply: k from before the input box") << int(Procedure::PowerSupply) << "12.6";
    QTest::newRow("voltage: signals from when the user confirms") << int(Procedure::Voltage) << "13.2";
    // Text that is not a number: the regulator voltage polled while the box was open.
    QTest::newRow("voltage: fallback from the last poll before the answer") << int(Procedure::Voltage) << "abc";
    QTest::newRow("current: signals from when the user confirms") << int(Procedure::Current) << "";
}

void TestGuiCalibration::measurementsOfLastPollBeforeAnswer()
{
    QFETCH(int, procedure);
    QFETCH(QString, typed);
    // A window whose boxes let a polling tick run while they are open, as a
    // real modal box does (the settings read has started the timer again).
    SimulatedRegulator sim;
    sim.Animate = false;
    sim.SetSettings(StartSettings());
    HookedDialogs dialogs;
    ManualClock clock(46363.5, 0.3 * OneSecond);
    TMainFormKrv w(sim, dialogs, clock);
    w.Ui().SystemStateTimer->stop();
    w.Ui().INETTimer->stop();
    auto set = [&sim](Channel c, float signal, float value) {
        MeasuredChannel m = sim.OwnState.ChannelAt(c);
        m.Signal = signal;
        m.Value = value;
        sim.OwnState.SetChannel(c, m);
    };
    set(Channel::PowerSupplyVoltage, 2.4f, 12.0f);
    set(Channel::RegulatorVoltage, 0.5f, 16.0f);
    set(Channel::BPlusVoltage, 0.6f, 0);
    set(Channel::BMinusVoltage, 0.1f, 0);
    set(Channel::AlternatorShuntVoltage, 0.1f, 14.0f);
    set(Channel::AlternatorShuntDrop, 0.0f, 0);
    w.USBTimerTimer();
    w.USBTimerTimer();
    QVERIFY(w.Core().OwnState() == sim.OwnState);
    QVERIFY(w.Ui().USBTimer->isActive());

    QStringList polledDuring;
    dialogs.WhileOpen = [&](const QString& caption, const QString& text) {
        if (text == VoltageConfirm) {
            set(Channel::RegulatorVoltage, 0.4f, 13.0f);
            set(Channel::BPlusVoltage, 0.5f, 0);
        } else if (text == CurrentConfirm) {
            set(Channel::AlternatorShuntVoltage, 0.21f, 14.0f);
            set(Channel::RegulatorVoltage, 0.4f, 4.2f);
        } else if (caption == QLatin1String("Measured Power Supply Voltage")) {
            set(Channel::PowerSupplyVoltage, 3.0f, 15.0f);
        } else if (caption == QLatin1String("Regulator Voltage")) {
            set(Channel::RegulatorVoltage, 0.2f, 13.5f);
            set(Channel::BPlusVoltage, 0.3f, 0);
        } else {
            atQuestion_ = w.Core().Settings(); // the success box: nothing changes any more
            return;
        }
        polledDuring << caption;
        w.USBTimerTimer();
    };

    if (procedure != int(Procedure::PowerSupply))
        dialogs.AnswerOk();
    if (procedure != int(Procedure::Current))
        dialogs.AnswerText(typed);
    dialogs.AnswerCancel(); // at the success box
    switch (Procedure(procedure)) {
    case Procedure::PowerSupply:
        w.CalibrateInternalPowerSupplyClick();
        break;
    case Procedure::Voltage:
        w.CalibrateVoltageMeasurementsClick();
        break;
    case Procedure::Current:
        w.CalibrateCurrentMeasurementsClick();
        break;
    }
    w.Ui().USBTimer->stop();
    w.Ui().SystemStateTimer->stop();
    w.Ui().INETTimer->stop();

    QVERIFY(!dialogs.Unscripted);
    QCOMPARE(dialogs.PendingAnswers(), 0);
    QCOMPARE(Describe(dialogs.Shown).last(), SuccessLine);
    switch (Procedure(procedure)) {
    case Procedure::PowerSupply:
        // The poll during the input box came too late for k and for the
        // proposed text.
        QCOMPARE(polledDuring, QStringList{QStringLiteral("Measured Power Supply Voltage")});
        QCOMPARE(dialogs.Shown[0].proposed, QStringLiteral("12.0000"));
        QCOMPARE(Bits(Calibrated().PowerSupplyVoltageComp()), Bits(float(12.6 / (5.0 * double(2.4f)))));
        break;
    case Procedure::Voltage: {
        // The poll during the confirmation counts; the one during the input
        // box does not.
        QCOMPARE(polledDuring, (QStringList{QStringLiteral("Information"), QStringLiteral("Regulator Voltage")}));
        QCOMPARE(dialogs.Shown[1].proposed, QStringLiteral("13.0000"));
        const double measured = typed == QLatin1String("abc") ? double(13.5f) : 13.2;
        QCOMPARE(Bits(Calibrated().RegulatorVoltageComp()), Bits(float(measured / (32.0 * double(0.4f)))));
        QCOMPARE(Bits(Calibrated().BatteryPlusVoltageComp()),
                 Bits(float(measured / ((double(0.5f) - double(0.1f)) * 34.0))));
        break;
    }
    case Procedure::Current:
        QCOMPARE(polledDuring, QStringList{QStringLiteral("Information")});
        QCOMPARE(Bits(Calibrated().AlternatorShuntGain1()), Bits(float(double(4.2f) / double(0.21f))));
        break;
    }
}

QTEST_MAIN(TestGuiCalibration)
#include "test_gui_calibration.moc"
