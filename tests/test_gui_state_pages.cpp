// The "System State" and "Peer System State" pages, the polling cycle and the
// once-a-second window update, against the simulated regulator.
#include "rig/realistic_settings.h"
#include "rig/station_test_access.h"
#include "rig/gui_suite.h"
#include "rig/test_support.h"

#include "backup/restore_dialog_widget.h"
#include "trends/trends_widget.h"
#include "views/string_grid_widget.h"

#include <QAction>
#include <QLabel>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>
#include <QRandomGenerator>

#include <limits>

namespace {

QString Deg(const char* text)
{
    return QString::fromUtf8(text);
}

int TabIndex(TMainFormKrv& w, QWidget* page)
{
    return w.Ui().PageControl->indexOf(page);
}

} // namespace

class StatePagesTest : public GuiSuite {
    Q_OBJECT
private slots:

    void startupShowsAllZeroRecord()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        const QStringList measured = GuiRig::Cells(w.Ui().MeasuredValuesTable);
        QCOMPARE(measured.mid(0, 4), (QStringList{"Measured Parameter", "Value", "Signal, V", "ADC count"}));
        QCOMPARE(measured.mid(4, 4), (QStringList{"B+ Voltage, V", "0.00", "0.0000", "0"}));
        QCOMPARE(measured.mid(12, 4), (QStringList{Deg("Battery Temperature, °C"), "0", "0.0000", "0"}));
        QCOMPARE(measured.mid(20, 4), (QStringList{"Voltage across Battery Shunt, V", "0.0000", "0.0000", "0"}));
        QCOMPARE(measured.mid(56, 4), (QStringList{"Reference Voltage, V", "0.000", "0.0000", "0"}));
        QCOMPARE(measured.mid(60, 4), (QStringList{"Engine RPM, 1/min", "0", "0.0000", "0"}));
        QCOMPARE(GuiRig::Cells(w.Ui().SystemStateTable),
                 (QStringList{"System Parameter", "Value", "Detected System Voltage, V", "0", "Battery Voltage, V",
                              "0.00", "Battery Current, A", "0", "Alternator Current, A", "0", "Load Current, A", "0",
                              "FRS Value, %", "0", "Set System Field Limit, %", "0", "Set Slave Field Limit, %", "0",
                              "Status Code", "0x00000000"}));
        QCOMPARE(GuiRig::Cells(w.Ui().RegulatorStateTable),
                 (QStringList{"Regulator Parameter", "Value", "Running Time", "0:0:0", "Status", "Monitoring",
                              "Digital Field Output, %", "up to 0", "Regulation Target, V", "0.00",
                              "Set Minimum Field, %", "0", "Set Maximum Field, %", "0", "Wiring Voltage Drop, V",
                              "0.000"}));
        QCOMPARE(GuiRig::Cells(w.Ui().PeerRegulatorStateTable)[6], QStringLiteral("Field Output, %"));
        QCOMPARE(GuiRig::Cells(w.Ui().PeerRegulatorStateTable)[7], QStringLiteral("0"));
        QCOMPARE(w.Ui().SystemMessagesMemo->toPlainText(), QStringLiteral("Regulator Name: "));
        // Start-up leaves the peer's system state grid to the first poll.
        QCOMPARE(w.Ui().PeerSystemStateTable->Cell(1, 0), QString());
        // Blank, not empty: for an empty title the window system would show
        // the application's name.
        QCOMPARE(w.windowTitle(), QStringLiteral(" "));
        // Centred on its screen.
        const QPoint centre = w.screen()->availableGeometry().center();
        QVERIFY2((w.geometry().center() - centre).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(w.geometry().center().x()).arg(w.geometry().center().y())));
        QVERIFY(w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().CanBusTabSheet)));
        QVERIFY(w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().PeerStateTabSheet)));
        QVERIFY(w.Ui().MessagePanel->isHidden());
        QCOMPARE(w.Ui().MessagePanel->text(), QStringLiteral(" Message"));
    }

    void commaSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German));
        rig_ = std::make_unique<GuiRig>(); // built under the new locale
        GuiRig& rig = Rig();
        QCOMPARE(rig.W().Ui().MeasuredValuesTable->Cell(5, 1), QStringLiteral("0,0000"));
        QCOMPARE(rig.W().Ui().MeasuredValuesTable->Cell(1, 1), QStringLiteral("0,00"));
        // Values that have not changed since are written again with the new separator.
        QLocale::setDefault(QLocale::c());
        rig.W().UpdateMeasuredValuesTable();
        QCOMPARE(rig.W().Ui().MeasuredValuesTable->Cell(5, 1), QStringLiteral("0.0000"));
    }

    void noRegulatorEveryTickSearches()
    {
        GuiRig& rig = Rig();
        rig.sim.Present = false;
        TMainFormKrv& w = rig.W();
        for (int i = 1; i <= 3; ++i) {
            w.USBTimerTimer();
            QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));
            QCOMPARE(rig.sim.SearchCount, 2 * i); // own and peer transfer each search once
        }
        // Both pages were redrawn from the unchanged records, and say that
        // these are no readings.
        QCOMPARE(w.Ui().PeerSystemStateTable->Cell(9, 1), QStringLiteral("0x00000000"));
        QCOMPARE(w.Ui().PeerMeasuredValuesTable->Cell(3, 0), Deg("Aux Temperature, °C"));
        w.SystemStateTimerTimer();
        QStringList banners;
        for (const QLabel* banner : w.findChildren<QLabel*>(QStringLiteral("NotLiveBanner")))
            banners << banner->text();
        banners.sort();
        QCOMPARE(banners,
                 (QStringList{"No regulator: connect it by USB and switch it on. The values shown are no readings.",
                              "No regulator: connect it by USB and switch it on. The values shown are no readings.",
                              "No regulator: these settings were not read from one."}));
        QVERIFY(w.Ui().MeasuredValuesTable->IsDimmed());
    }

    void firstTickReadsOnlyThePeer()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.USBTimerTimer();
        QCOMPARE(w.Core().OwnState(), SystemStateRecord());
        QCOMPARE(w.Core().PeerState(), rig.sim.PeerState);
        QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
        w.USBTimerTimer();
        QCOMPARE(w.Core().OwnState(), rig.sim.OwnState);
        QCOMPARE(w.Ui().SystemMessagesMemo->toPlainText().section('\n', 0, 0),
                 QStringLiteral("Regulator Name: ") + QString::fromLatin1(rig.sim.OwnState.RegulatorName()));
    }

    void pollingIsOffWithoutUsb()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.RemoteViaInternetToProvideSupportClick();
        w.SetStatusText(QStringLiteral("untouched"));
        w.USBTimerTimer();
        QVERIFY(rig.sim.Requests.empty());
        QCOMPARE(rig.sim.SearchCount, 0);
        QCOMPARE(w.StatusText(), QStringLiteral("untouched"));
        w.ConnectionUSBClick();
        QVERIFY(w.Ui().ConnectionUSB->isChecked());
        QVERIFY(!w.Ui().RemoteViaInternetToProvideSupport->isChecked());
    }

    void craftedValues_data()
    {
        QTest::addColumn<int>("grid"); // 0 measured, 1 system, 2 regulator, 3 peer regulator, 4 peer system
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("nan value") << 0 << 1 << 1 << "-";
        QTest::newRow("nan leaves signal") << 0 << 1 << 2 << "0.4000";
        QTest::newRow("upper bound") << 0 << 11 << 1 << "1000000.00";
        QTest::newRow("lower bound rounded") << 0 << 15 << 1 << "-1000000";
        QTest::newRow("beyond") << 0 << 12 << 1 << "-";
        QTest::newRow("infinite adc") << 0 << 13 << 3 << "-";
        QTest::newRow("frs 65535") << 1 << 6 << 1 << "-655350";
        QTest::newRow("truncated 1249") << 1 << 7 << 1 << "49";
        QTest::newRow("truncated 24") << 1 << 8 << 1 << "0";
        QTest::newRow("status code") << 1 << 9 << 1 << "0x40000001";
        QTest::newRow("status code, bit 31") << 4 << 9 << 1 << "0x80000000";
        QTest::newRow("pwm at") << 2 << 3 << 1 << "PWM at 50";
        QTest::newRow("peer ignores pwm mode") << 3 << 3 << 1 << "50";
        QTest::newRow("running time") << 2 << 1 << 1 << "25:1:1";
        QTest::newRow("min field") << 2 << 5 << 1 << "99";
    }
    void craftedValues()
    {
        QFETCH(int, grid);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        GuiRig& rig = Rig();
        SystemStateRecord r;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        r.SetChannel(Channel::BPlusVoltage, {1.0f, 0.4f, float(nan)});
        r.SetChannel(Channel::RegulatorVoltage, {0, 0, 1000000.0f});
        r.SetChannel(Channel::EngineRpm, {0, 0, -1000000.0f});
        r.SetChannel(Channel::RegulatorTemperature, {0, 0, 1000000.1f * 1.1f});
        r.SetChannel(Channel::PowerSupplyVoltage, {std::numeric_limits<float>::infinity(), 0, 0});
        r.SetFrsValue(65535);
        r.SetSystemFieldLimit(1249);
        r.SetSlaveFieldLimit(24);
        r.SetStatusFlags(0x40000001);
        r.SetDigitalFieldMode(1);
        r.SetFieldOutput(1250);
        r.SetRunningTime(90061);
        r.SetMinimumField(2499);
        rig.sim.OwnState = r;
        rig.sim.PeerState = r;
        rig.sim.PeerState.SetStatusFlags(0x80000000u);
        rig.Connect();
        TMainFormKrv& w = rig.W();
        const StringGrid* grids[] = {w.Ui().MeasuredValuesTable, w.Ui().SystemStateTable, w.Ui().RegulatorStateTable,
                                     w.Ui().PeerRegulatorStateTable, w.Ui().PeerSystemStateTable};
        QCOMPARE(grids[grid]->Cell(row, column), text);
    }

    // Each measured row shows its own channel, at its literal record offset,
    // with its number of decimals; every other row stays at zero.
    void measuredValueRows_data()
    {
        QTest::addColumn<bool>("peer");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("offset"); // of the channel in the record
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("value"); // of 12.3456 (4 decimals, 3, 2, or rounded)
        struct Row {
            int row, offset;
            const char* caption;
            const char* value;
        };
        const Row rows[] = {
            {1, 36, "B+ Voltage, V", "12.35"},
            {2, 48, "B- Voltage, V", "12.35"},
            {3, 24, "Battery Temperature, \u00B0C", "12"},
            {4, 60, "Voltage at Battery Shunt, V", "12.3456"},
            {5, 72, "Voltage across Battery Shunt, V", "12.3456"},
            {6, 144, "Field #1 Voltage, V", "12.35"},
            {7, 156, "Field #2 Voltage, V", "12.35"},
            {8, 108, "Voltage at Alternator Shunt, V", "12.35"},
            {9, 96, "Voltage across Alternator Shunt, V", "12.3456"},
            {10, 84, "Alternator Temperature, \u00B0C", "12"},
            {11, 120, "Regulator Voltage, V", "12.35"},
            {12, 132, "Regulator Temperature, \u00B0C", "12"},
            {13, 168, "Power Supply Voltage, V", "12.35"},
            {14, 180, "Reference Voltage, V", "12.346"},
            {15, 192, "Engine RPM, 1/min", "12"},
        };
        for (bool peer : {false, true})
            for (const Row& r : rows) {
                const char* caption = peer && r.row == 3 ? "Aux Temperature, \u00B0C" : r.caption;
                QTest::addRow("%s row %d", peer ? "peer" : "own", r.row)
                    << peer << r.row << r.offset << QString::fromUtf8(caption) << QString::fromLatin1(r.value);
            }
    }
    void measuredValueRows()
    {
        QFETCH(bool, peer);
        QFETCH(int, row);
        QFETCH(int, offset);
        QFETCH(QString, caption);
        QFETCH(QString, value);
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        SystemStateRecord r;
        // Count 1023.6, signal 0.75, value 12.3456, as little-endian singles.
        const uint8_t channel[12] = {0x66, 0xE6, 0x7F, 0x44, 0x00, 0x00, 0x40, 0x3F, 0x94, 0x87, 0x45, 0x41};
        std::copy(channel, channel + 12, r.Data() + offset);
        StationTestAccess::PresetStates(w.Core(), peer ? w.Core().OwnState() : r, peer ? r : w.Core().PeerState());
        peer ? w.UpdatePeerMeasuredValuesTable() : w.UpdateMeasuredValuesTable();
        const StringGrid* grid = peer ? w.Ui().PeerMeasuredValuesTable : w.Ui().MeasuredValuesTable;
        QCOMPARE(grid->Cell(row, 0), caption);
        QCOMPARE(grid->Cell(row, 1), value);
        QCOMPARE(grid->Cell(row, 2), QStringLiteral("0.7500"));
        QCOMPARE(grid->Cell(row, 3), QStringLiteral("1024"));
        for (int other = 1; other <= 15; ++other)
            if (other != row)
                QVERIFY2(grid->Cell(other, 1).startsWith(QLatin1Char('0')) && grid->Cell(other, 3) == QLatin1String("0"),
                         qPrintable(grid->Cell(other, 0)));
    }

    // Every status bit set: every message of each side, in its order.
    void allMessagesInOrder()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        SystemStateRecord own = w.Core().OwnState();
        SystemStateRecord peer = w.Core().PeerState();
        own.SetStatusFlags(0xFFFFFFFFu);
        peer.SetStatusFlags(0xFFFFFFFFu);
        StationTestAccess::PresetStates(w.Core(), own, peer);
        w.UpdateSystemMessages();
        w.UpdatePeerSystemMessages();
        w.UpdateSystemStateTable();
        QCOMPARE(w.Ui().SystemStateTable->Cell(9, 1), QStringLiteral("0xFFFFFFFF"));
        QCOMPARE(GuiRig::MemoLines(w.Ui().SystemMessagesMemo),
                 (QStringList{"Regulator Name: ", "System Warning", "System Fault", "Ignition Input active",
                              "Regulator is Slave", "Field Reduction Switch active",
                              "Battery Temperature Sensor is not connected",
                              "Alternator Temperature Sensor is not connected",
                              "Battery Voltage Sensor is not connected", "Alternator Current Shunt is not connected",
                              "Battery Current Shunt is not connected", "Battery Temperature warning",
                              "Battery Temperature fault", "Alternator Temperature warning",
                              "Alternator Temperature fault", "Battery Voltage warning", "Battery Voltage fault", "",
                              "", "Regulator is overheating", "Regulator internal failure",
                              "Allowed Voltage Drop in Wiring value exceeded", "CAN bus voltage detected",
                              "CAN bus active", "Wi-Fi connected", "Alternator output reduced due to low engine RPM",
                              "Alternator output reduced according to Field/RPM curve", "", "", "", "", "", ""}));
        QCOMPARE(GuiRig::MemoLines(w.Ui().PeerSystemMessagesMemo),
                 (QStringList{"Regulator Name: ", "System Warning", "System Fault", "Ignition Input active",
                              "Regulator is Slave", "Field Reduction Switch active",
                              "Aux Temperature Sensor is not connected", "Aux Temperature warning",
                              "Aux Temperature fault", "Alternator Temperature Sensor is not connected",
                              "Battery Voltage Sensor is not connected", "Alternator Current Shunt is not connected",
                              "Battery Current Shunt is not connected", "Battery Temperature warning",
                              "Battery Temperature fault", "Battery Voltage warning", "Battery Voltage fault", "", "",
                              "Regulator is overheating", "Regulator internal failure", "Too big losses in wiring",
                              "CAN bus voltage detected", "CAN bus active", "Wi-Fi connected",
                              "Alternator output reduced due to low engine RPM",
                              "Alternator output reduced according to Field/RPM curve", "", "", "", "", "", ""}));
    }

    void upToSystemFieldLimit()
    {
        GuiRig& rig = Rig();
        rig.sim.OwnState = SystemStateRecord();
        rig.sim.OwnState.SetSystemFieldLimit(2500);
        rig.sim.OwnState.SetFieldOutput(1250);
        rig.Connect();
        QCOMPARE(rig.W().Ui().RegulatorStateTable->Cell(3, 1), QStringLiteral("up to 100"));
    }

    // Texts kept from the record before and brought up to date (seeded:
    // channels changed at random, to other values, to NaN, to -0 and back,
    // and the aux caption switched) read the same as texts made afresh.
    void keptMeasuredTextsMatchFreshOnes()
    {
        QRandomGenerator random(20261210);
        SystemStateRecord before;
        QStringList kept = MeasuredValuesCells(before, Side::Own, 0);
        QStringList keptSystem = SystemStateCells(before);
        QStringList keptRegulator = RegulatorStateCells(before, Side::Own, QString());
        const float specials[] = {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), 0.125f, 999999.5f, -12.345f};
        for (int step = 0; step < 3000; ++step) {
            SystemStateRecord now = before;
            for (int changes = random.bounded(4); changes > 0; --changes) {
                const auto channel = Channel(random.bounded(ChannelCount));
                MeasuredChannel m = now.ChannelAt(channel);
                float& field = random.bounded(3) == 0 ? m.Value : random.bounded(2) ? m.Signal : m.AdcCount;
                field = random.bounded(4) == 0 ? specials[random.bounded(int(std::size(specials)))]
                                               : float(random.bounded(2000000) - 1000000) / 1000.0f;
                now.SetChannel(channel, m);
            }
            // A byte of the status flags, of a system value (bytes 220 to
            // 247) or of the regulator state (248 to 273; the status code at
            // 252 often one without a text; the field mode at 213 on or off).
            if (random.bounded(2))
                now.SetU8(random.bounded(5) == 0 ? 4 + random.bounded(4) : 220 + random.bounded(28),
                          uint8_t(random.bounded(256)));
            if (random.bounded(2)) {
                const int at = random.bounded(8) == 0 ? 213 : 248 + random.bounded(26);
                now.SetU8(at, uint8_t(at == 252 ? random.bounded(8) : at == 213 ? random.bounded(2) : random.bounded(256)));
            }
            const uint8_t usage = uint8_t(step / 1000);
            UpdateMeasuredValuesCells(kept, now, &before, Side::Own, usage);
            QCOMPARE(kept, MeasuredValuesCells(now, Side::Own, usage));
            UpdateSystemStateCells(keptSystem, now, &before);
            QCOMPARE(keptSystem, SystemStateCells(now));
            const QString shownStatus = keptRegulator[5];
            UpdateRegulatorStateCells(keptRegulator, now, &before, Side::Own);
            QCOMPARE(keptRegulator, RegulatorStateCells(now, Side::Own, shownStatus));
            before = now;
        }
    }

    void statusCodeWithoutTextKeepsPrevious()
    {
        GuiRig& rig = Rig();
        rig.sim.OwnState = SystemStateRecord();
        rig.sim.OwnState.SetRegulatorStatus(3);
        rig.sim.PeerState = rig.sim.OwnState;
        rig.Connect();
        TMainFormKrv& w = rig.W();
        QCOMPARE(w.Ui().RegulatorStateTable->Cell(2, 1), QStringLiteral("Float"));
        rig.sim.OwnState.SetRegulatorStatus(7);
        rig.sim.PeerState.SetRegulatorStatus(200);
        w.USBTimerTimer();
        QCOMPARE(w.Ui().RegulatorStateTable->Cell(2, 1), QStringLiteral("Float"));
        QCOMPARE(w.Ui().PeerRegulatorStateTable->Cell(2, 1), QStringLiteral("Float"));
        rig.sim.OwnState.SetRegulatorStatus(4);
        w.USBTimerTimer();
        QCOMPARE(w.Ui().RegulatorStateTable->Cell(2, 1), QStringLiteral("Slave"));
    }

    void auxCaptionFollowsSetting_data()
    {
        QTest::addColumn<int>("usage");
        QTest::addColumn<QString>("own");
        QTest::newRow("battery") << 0 << Deg("Battery Temperature, °C");
        QTest::newRow("alternator") << 1 << Deg("Aux Alternator Temperature, °C");
        QTest::newRow("other") << 2 << Deg("Aux Temperature, °C");
    }
    void auxCaptionFollowsSetting()
    {
        QFETCH(int, usage);
        QFETCH(QString, own);
        GuiRig& rig = Rig();
        rig.Connect();
        TMainFormKrv& w = rig.W();
        StationTestAccess::EditSettings(w.Core(), [usage](SettingsRecord& r) { r.SetAuxTempSensorUsage(uint8_t(usage)); });
        w.USBTimerTimer();
        QCOMPARE(w.Ui().MeasuredValuesTable->Cell(3, 0), own);
        QCOMPARE(w.Ui().PeerMeasuredValuesTable->Cell(3, 0), Deg("Aux Temperature, °C"));
    }

    void messageOrderOwnAndPeer()
    {
        GuiRig& rig = Rig();
        const uint32_t flags = (1u << 9) | (1u << 13) | (1u << 11) | (1u << 19) | (1u << 6) | (1u << 8) | (1u << 30);
        rig.sim.OwnState.SetStatusFlags(flags);
        rig.sim.OwnState.SetRegulatorName("Port");
        rig.sim.PeerState.SetStatusFlags(flags);
        rig.sim.PeerState.SetRegulatorName("Stbd");
        rig.Connect();
        TMainFormKrv& w = rig.W();
        QCOMPARE(GuiRig::MemoLines(w.Ui().SystemMessagesMemo),
                 (QStringList{"Regulator Name: Port", "System Warning", "Battery Temperature Sensor is not connected",
                              "Battery Temperature fault", "Alternator Temperature warning", "",
                              "Regulator is overheating", "Allowed Voltage Drop in Wiring value exceeded"}));
        QCOMPARE(GuiRig::MemoLines(w.Ui().PeerSystemMessagesMemo),
                 (QStringList{"Regulator Name: Stbd", "System Warning", "Aux Temperature Sensor is not connected",
                              "Aux Temperature warning", "Battery Temperature fault", "", "Regulator is overheating",
                              "Too big losses in wiring"}));
        StationTestAccess::EditSettings(w.Core(), [](SettingsRecord& r) { r.SetAuxTempSensorUsage(2); });
        w.USBTimerTimer();
        QCOMPARE(GuiRig::MemoLines(w.Ui().SystemMessagesMemo)[2],
                 QStringLiteral("Aux Alternator Temperature Sensor is not connected"));
    }

    void ownMessagesAreHeld()
    {
        GuiRig& rig = Rig();
        rig.sim.OwnState.SetStatusFlags(0);
        rig.sim.PeerState.SetStatusFlags(0);
        rig.Connect();
        TMainFormKrv& w = rig.W();
        auto ignitionShown = [&] { return w.Ui().SystemMessagesMemo->toPlainText().contains("Ignition Input active"); };
        auto peerShown = [&] { return w.Ui().PeerSystemMessagesMemo->toPlainText().contains("Regulator is Slave"); };
        QVERIFY(!ignitionShown());

        rig.sim.OwnState.SetStatusFlags(1u);
        rig.sim.PeerState.SetStatusFlags(1u << 4);
        w.USBTimerTimer();
        QVERIFY(ignitionShown());
        QVERIFY(peerShown());
        rig.sim.OwnState.SetStatusFlags(0);
        rig.sim.PeerState.SetStatusFlags(0);
        // Shown for the refresh that found it and the next nine.
        for (int i = 0; i < 9; ++i) {
            w.USBTimerTimer();
            QVERIFY2(ignitionShown(), qPrintable(QString::number(i)));
            QVERIFY(!peerShown()); // the peer memo shows the bits as they stand
        }
        w.USBTimerTimer();
        QVERIFY(!ignitionShown());

        // Set again while the hold runs: it starts over.
        rig.sim.OwnState.SetStatusFlags(1u);
        w.USBTimerTimer();
        rig.sim.OwnState.SetStatusFlags(0);
        for (int i = 0; i < 5; ++i)
            w.USBTimerTimer();
        rig.sim.OwnState.SetStatusFlags(1u);
        w.USBTimerTimer();
        rig.sim.OwnState.SetStatusFlags(0);
        for (int i = 0; i < 9; ++i) {
            w.USBTimerTimer();
            QVERIFY(ignitionShown());
        }
        w.USBTimerTimer();
        QVERIFY(!ignitionShown());
    }

    void windowUpdateTabsAndCaption()
    {
        GuiRig& rig = Rig();
        rig.sim.PeerState.SetRegulatorName("Stbd engine");
        rig.sim.OwnState.SetCanPageEnable(1, 1);
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.SystemStateTimerTimer();
        QCOMPARE(w.windowTitle(), QStringLiteral("Norvelle K-ROVA X Utility v7 - USB connection"));
        const int peer = TabIndex(w, w.Ui().PeerStateTabSheet);
        QVERIFY(w.Ui().PageControl->isTabVisible(peer));
        QCOMPARE(w.Ui().PageControl->tabText(peer), QStringLiteral("Peer System State [ Stbd engine ]"));
        QVERIFY(w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().CanBusTabSheet)));

        rig.sim.PeerState.Data()[8] = 0; // empty name: no peer
        rig.sim.OwnState.SetCanPageEnable(1, 0);
        w.USBTimerTimer();
        w.SystemStateTimerTimer();
        QVERIFY(!w.Ui().PageControl->isTabVisible(peer));
        QVERIFY(!w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().CanBusTabSheet)));

        w.RemoteViaInternetToProvideSupportClick();
        w.SystemStateTimerTimer();
        QCOMPARE(w.windowTitle(), QStringLiteral("Norvelle K-ROVA X Utility v7 - remote support connection via Internet"));
    }

    // Hiding the page in front brings "System State" forward, never
    // "Settings" without its read.
    void hiddenFrontPageGivesSystemState_data()
    {
        QTest::addColumn<int>("front");
        QTest::newRow("CAN bus in front") << 2;
        QTest::newRow("peer in front") << 3;
    }
    void hiddenFrontPageGivesSystemState()
    {
        QFETCH(int, front);
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.Ui().PageControl->setCurrentIndex(front);
        rig.sim.Present = false; // no names, no CAN switches: both tabs go
        w.SystemStateTimerTimer();
        QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().StateTabSheet);
        QVERIFY(!w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().CanBusTabSheet)));
        QVERIFY(!w.Ui().PageControl->isTabVisible(TabIndex(w, w.Ui().PeerStateTabSheet)));
        QCOMPARE(rig.sim.SearchCount, 0); // no settings read was started
    }

    // Names are 8-bit text of the Windows code page: 0x80 to 0x9F are the
    // euro sign, curly quotes and the like.
    void regulatorNamesInTheWindowsCodePage()
    {
        GuiRig& rig = Rig();
        rig.sim.OwnState.SetRegulatorName("Port \x80\x96 1");
        rig.sim.PeerState.SetRegulatorName("\x93Stbd\x94 \xE9");
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.SystemStateTimerTimer();
        QCOMPARE(GuiRig::MemoLines(w.Ui().SystemMessagesMemo)[0], QString::fromUtf8("Regulator Name: Port \u20AC\u2013 1"));
        QCOMPARE(GuiRig::MemoLines(w.Ui().PeerSystemMessagesMemo)[0], QString::fromUtf8("Regulator Name: \u201CStbd\u201D \u00E9"));
        QCOMPARE(w.Ui().PageControl->tabText(TabIndex(w, w.Ui().PeerStateTabSheet)),
                 QString::fromUtf8("Peer System State [ \u201CStbd\u201D \u00E9 ]"));
    }

    // The indicator on the right of the status bar says what the pages show.
    void connectionIndicator_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tipPart");
        QTest::newRow("nothing on USB") << "none" << "No regulator" << "udev rule";
        QTest::newRow("a regulator on USB") << "usb" << "USB: Port engine" << "";
        QTest::newRow("the demo") << "demo" << "Demo: simulated regulator" << "";
        QTest::newRow("sharing with support") << "share" << "Sharing with support, waiting for the technician"
                                               << "USB: Port engine";
        QTest::newRow("a dropped snapshot") << "snapshot" << "Snapshot: boat.txt" << "snapshot file";
        QTest::newRow("remote, nothing yet") << "remote" << "Remote: localhost:8080, no data yet" << "relay";
    }
    void connectionIndicator()
    {
        QFETCH(QString, state);
        QFETCH(QString, text);
        QFETCH(QString, tipPart);
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        rig.sim.OwnState.SetRegulatorName("Port engine");
        rig.sim.Present = state != QLatin1String("none");
        rig.Connect();
        if (state == QLatin1String("demo"))
            w.SetDemoMode(true);
        if (state == QLatin1String("share"))
            w.ShareDataWithSupportClick();
        if (state == QLatin1String("snapshot")) {
            const QString path = TempPath(QStringLiteral("boat.txt"));
            // No state, and settings a regulator may hold.
            QVERIFY(WriteAll(path, QByteArray(564, '\0') + realistic::Record().ToByteArray()));
            w.HandleDroppedFile(path);
        }
        if (state == QLatin1String("remote"))
            w.RemoteViaInternetToProvideSupportClick();
        w.SystemStateTimerTimer();
        QCOMPARE(w.ConnectionIndicatorText(), text);
        const QLabel* indicator = w.findChild<QLabel*>(QStringLiteral("ConnectionIndicator"));
        QVERIFY(indicator->toolTip().contains(tipPart));
        QCOMPARE(w.windowTitle().endsWith(QStringLiteral(" (demo, simulated regulator)")), state == QLatin1String("demo"));
    }

    // At the smallest size and at a large one no grid, memo, chart or the
    // status bar lies over another; the pages scroll instead.
    void nothingOverlaps_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("minimum") << QSize(1, 1);
        QTest::newRow("large") << QSize(1900, 1040);
    }
    void nothingOverlaps()
    {
        QFETCH(QSize, size);
        TMainFormKrv& w = W();
        w.show();
        w.resize(size.expandedTo(w.minimumSize()));
        QCoreApplication::processEvents();
        const QRect statusBar(w.statusBar()->mapTo(&w, QPoint(0, 0)), w.statusBar()->size());
        const std::pair<QWidget*, int> pages[] = {
            {w.Ui().StateTabSheet, 4}, {w.Ui().SettingsTabSheet, 4}, {w.Ui().CanBusTabSheet, 2}};
        for (const auto& [page, widgets] : pages) {
            w.Ui().PageControl->setCurrentWidget(page);
            QCoreApplication::processEvents();
            QList<QRect> rects;
            for (QWidget* child : page->findChildren<QWidget*>()) {
                if (!child->isVisible()
                    || !(qobject_cast<StringGrid*>(child) || qobject_cast<QPlainTextEdit*>(child)
                         || child->inherits("FieldRpmChart") || qobject_cast<QTabBar*>(child)))
                    continue;
                rects << QRect(child->mapTo(&w, QPoint(0, 0)), child->size());
            }
            QCOMPARE(rects.size(), widgets);
            const QRect pageRect(page->mapTo(&w, QPoint(0, 0)), page->size());
            QVERIFY(!pageRect.intersects(statusBar));
            for (int i = 0; i < rects.size(); ++i)
                for (int j = i + 1; j < rects.size(); ++j)
                    QVERIFY2(!rects[i].intersects(rects[j]), qPrintable(QStringLiteral("page %1, widgets %2 and %3")
                                                                            .arg(w.Ui().PageControl->currentIndex())
                                                                            .arg(i)
                                                                            .arg(j)));
        }
        // Larger than the design, the grids and the memo have grown with it.
        if (size.width() > 1000) {
            QVERIFY(w.Ui().MeasuredValuesTable->width() > 1000);
            QVERIFY(w.Ui().SystemMessagesMemo->height() > 316);
        }
    }

    // A 1366 x 768 screen, less a task bar and a title bar, holds the main
    // window, the Trends window and the restore dialog at their smallest: at
    // 150 % that screen is 910 x 512 pixels as the program counts them.
    void fitsSmallScreens_data()
    {
        QTest::addColumn<QSize>("free");
        QTest::newRow("1366 x 768 at 100 %") << QSize(1366, 768 - 40 - 30);
        QTest::newRow("1366 x 768 at 150 %") << QSize(910, 512 - 27 - 20);
    }
    void fitsSmallScreens()
    {
        QFETCH(QSize, free);
        TMainFormKrv& w = W();
        w.show();
        w.Ui().Trends->trigger();
        RestoreBackupDialog restore({}, QStringLiteral("the regulator"), {}, &w);
        const std::pair<const char*, QWidget*> windows[] = {
            {"main window", &w}, {"Trends", w.findChild<TrendsWindow*>()}, {"restore", &restore}};
        for (const auto& [name, window] : windows) {
            QVERIFY(window);
            const QSize smallest = window->minimumSize().expandedTo(window->minimumSizeHint());
            QVERIFY2(smallest.width() <= free.width() && smallest.height() <= free.height(),
                     qPrintable(QStringLiteral("%1: %2 x %3").arg(name).arg(smallest.width()).arg(smallest.height())));
        }
        w.findChild<TrendsWindow*>()->close();
    }

    void captionWithLoggingAndNoConnection()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        QTemporaryDir dir;
        w.Core().SetLogFileName(dir.filePath("log.txt"));
        w.Core().SetLogging(true);
        w.Core().SetConnection(Connection::None);
        w.SystemStateTimerTimer();
        QCOMPARE(w.windowTitle(), QStringLiteral("Norvelle K-ROVA X Utility v7, logging data to file"));
        w.SystemStateTimerTimer();
        QCOMPARE(w.windowTitle(), QStringLiteral("Norvelle K-ROVA X Utility v7, logging data to file"));
    }

    void radioGroupExcludes()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.Ui().ShareDataWithSupport->trigger();
        QVERIFY(w.Ui().ShareDataWithSupport->isChecked());
        w.Core().SetLogging(true);
        QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        w.Ui().ShareDataWithSupport->trigger();
        QVERIFY(w.Ui().ShareDataWithSupport->isChecked());
        QVERIFY(!w.Ui().EnableDataLoggingToFile->isChecked());
        w.Ui().ShareDataWithSupport->trigger();
        QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        QVERIFY(!w.Ui().EnableDataLoggingToFile->isChecked());
    }

    void messagePanelHidesAfterFiveSeconds()
    {
        GuiRig& rig = Rig();
        rig.clock.SetStepSeconds(0);
        TMainFormKrv& w = rig.W();
        w.show();
        w.ShowMessagePanel(QStringLiteral(" Hello"));
        QVERIFY(w.Ui().MessagePanel->isVisible());
        rig.clock.AdvanceSeconds(5.0);
        w.SystemStateTimerTimer();
        QVERIFY(w.Ui().MessagePanel->isVisible());
        rig.clock.AdvanceSeconds(0.01);
        w.SystemStateTimerTimer();
        QVERIFY(!w.Ui().MessagePanel->isVisible());
    }

    void escapeHidesPanelWhateverHasFocus()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.ShowMessagePanel(QStringLiteral(" Hello"));
        w.Ui().SystemSettingsTable->setFocus();
        QTest::keyClick(w.Ui().SystemSettingsTable, Qt::Key_Escape);
        QVERIFY(!w.Ui().MessagePanel->isVisible());
        w.ShowMessagePanel(QStringLiteral(" Again"));
        QTest::keyClick(w.Ui().SystemMessagesMemo, Qt::Key_Escape);
        QVERIFY(!w.Ui().MessagePanel->isVisible());
    }

    void quietTickRewritesNothing()
    {
        GuiRig& rig = Rig();
        rig.Connect();
        TMainFormKrv& w = rig.W();
        const int children = w.findChildren<QObject*>().size();
        QSignalSpy measured(w.Ui().MeasuredValuesTable, &QTableWidget::itemChanged);
        QSignalSpy peer(w.Ui().PeerSystemStateTable, &QTableWidget::itemChanged);
        QSignalSpy memo(w.Ui().SystemMessagesMemo, &QPlainTextEdit::textChanged);
        for (int i = 0; i < 50; ++i)
            w.USBTimerTimer();
        QCOMPARE(measured.count(), 0);
        QCOMPARE(peer.count(), 0);
        QCOMPARE(memo.count(), 0);
        QCOMPARE(w.findChildren<QObject*>().size(), children);
        // A moving value rewrites its own cell only.
        rig.sim.OwnState.SetBatteryVoltage(12.5f);
        w.USBTimerTimer();
        QCOMPARE(w.Ui().SystemStateTable->Cell(2, 1), QStringLiteral("12.50"));
        QCOMPARE(measured.count(), 0);
        // Nor does a window update that changes nothing repaint the pages.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.SystemStateTimerTimer();
        QCoreApplication::processEvents();
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override { return paints += e->type() == QEvent::Paint, false; }
        } counter;
        w.Ui().PageControl->installEventFilter(&counter);
        for (int i = 0; i < 3; ++i) {
            w.SystemStateTimerTimer();
            QCoreApplication::processEvents();
        }
        QCOMPARE(counter.paints, 0);
    }

    // A grid that only shows values keeps its texts through a change of
    // mode: a single cell set, an edit begun, a reference column marked.
    void gridKeepsTextsAcrossModes_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("one cell set") << 0;
        QTest::newRow("made editable") << 1;
        QTest::newRow("reference marked") << 2;
        QTest::newRow("filled again after one cell") << 3;
    }
    void gridKeepsTextsAcrossModes()
    {
        QFETCH(int, step);
        StringGrid grid(3, 2, 1, 1, 100, 16);
        const QStringList first{"Parameter", "Value", "Volts", "13.80", "Amps", "12"};
        grid.SetCells(first);
        QStringList expected = first;
        if (step == 0 || step == 3) {
            grid.SetCell(2, 1, QStringLiteral("15"));
            expected[5] = QStringLiteral("15");
        } else if (step == 1) {
            grid.SetEditable(true);
        } else {
            grid.SetReferenceTexts(1, {QStringLiteral("Value"), QStringLiteral("14.00"), QStringLiteral("12")});
            QVERIFY(grid.IsMarkedChanged(1, 1));
            QVERIFY(!grid.IsMarkedChanged(2, 1));
        }
        if (step == 3) {
            expected = QStringList{"Parameter", "Value", "Volts", "13.90", "Amps", "15"};
            grid.SetCells(expected);
        }
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(grid.Cell(i / 2, i % 2), expected[i]);
            QCOMPARE(grid.item(i / 2, i % 2)->text(), expected[i]);
        }
    }

    // A changed value repaints its own rectangle, not the captions; a grid
    // out of sight fits its columns to a wider value when it shows.
    void gridRepaintsAndFitsWhatChanged()
    {
        StringGrid grid(3, 2, 1, 1, 100, 16);
        grid.resize(420, grid.height());
        grid.SetCells({"Parameter", "Value", "Volts", "13.80", "Amps", "12"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        struct PaintRects : QObject {
            QRegion painted;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Paint)
                    painted += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } rects;
        grid.viewport()->installEventFilter(&rects);
        grid.SetCells({"Parameter", "Value", "Volts", "13.80", "Amps", "13"});
        QTRY_VERIFY(!rects.painted.isEmpty());
        const QRect value = grid.visualRect(grid.model()->index(2, 1));
        QVERIFY(rects.painted.contains(value.center()));
        QVERIFY(!rects.painted.intersects(grid.visualRect(grid.model()->index(2, 0))));
        QVERIFY(!rects.painted.intersects(grid.visualRect(grid.model()->index(1, 1))));

        grid.hide();
        const QString caption = QStringLiteral("Voltage at Alternator Shunt, V");
        QVERIFY(grid.columnWidth(0) < grid.fontMetrics().horizontalAdvance(caption));
        grid.SetCells({"Parameter", "Value", caption, "13.80", "Amps", "13"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QVERIFY(grid.columnWidth(0) >= grid.fontMetrics().horizontalAdvance(caption));
    }

    void liveValuesMove()
    {
        GuiRig rig(true);
        rig.Connect();
        TMainFormKrv& w = rig.W();
        const QStringList before = GuiRig::Cells(w.Ui().MeasuredValuesTable) + GuiRig::Cells(w.Ui().PeerSystemStateTable);
        for (int i = 0; i < 20; ++i)
            w.USBTimerTimer();
        QVERIFY(GuiRig::Cells(w.Ui().MeasuredValuesTable) + GuiRig::Cells(w.Ui().PeerSystemStateTable) != before);
    }

    void exitClosesTheLink()
    {
        GuiRig& rig = Rig();
        rig.Connect();
        TMainFormKrv& w = rig.W();
        QVERIFY(w.Core().Usb().Session().IsDeviceOpen());
        w.show();
        w.Exit1Click();
        QVERIFY(!w.Core().Usb().Session().IsDeviceOpen());
        QCOMPARE(w.Core().Usb().Session().LinkStatusText, QStringLiteral("Connection to K-ROVA closed"));
        QVERIFY(!w.isVisible());
    }

    void twoWindowsAreIndependent()
    {
        GuiRig a;
        GuiRig b;
        b.sim.OwnState.SetRegulatorName("Other");
        a.Connect();
        b.Connect();
        QVERIFY(a.W().Core().OwnState() != b.W().Core().OwnState());
        QVERIFY(a.W().Ui().SystemMessagesMemo->toPlainText() != b.W().Ui().SystemMessagesMemo->toPlainText());
    }
};

QTEST_MAIN(StatePagesTest)
#include "test_gui_state_pages.moc"
