// The "Settings" page as the main window wires it: the system settings grid,
// the charge profile tabs and grid and the field/RPM chart, read from and
// written to the simulated regulator.
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/system_settings_rows.h"
#include "rig/gui_suite.h"
#include "rig/request_log.h"
#include "rig/realistic_settings.h"

#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QLabel>
#include <QtTest>

#include <cstring>

namespace {

using S = SettingsRecord;
using Image = std::array<uint8_t, 576>;



QByteArray Bytes(const Image& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
}

Image WithF32(Image image, std::size_t offset, float value)
{
    std::memcpy(image.data() + offset, &value, sizeof value);
    return image;
}

// Selects a cell and types over its value as a user does. The editor stays
// open, so the text is not in the cell yet; `enter` then presses Return,
// which puts it there.
bool TypeInto(StringGrid* grid, int row, const QString& text, bool enter)
{
    grid->setCurrentCell(row, 1);
    grid->editItem(grid->item(row, 1));
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, 1)));
    if (!editor)
        return false;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    if (enter) {
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate closes the editor through a queued call.
        QCoreApplication::processEvents();
    }
    return true;
}

bool EditorOpen(const StringGrid* grid)
{
    return grid->indexWidget(grid->currentIndex()) != nullptr;
}

// A text field's cell: the text and then zero characters up to the field size.
QString FieldText(const char* text, int size)
{
    QString s = QString::fromLatin1(text);
    return s + QString(size - s.size(), QChar(0));
}

// The user's choice of a profile tab (the same signal a click raises).
void SelectTab(TMainFormKrv& w, int index)
{
    w.Ui().ChargeProfileTabControl->setCurrentIndex(index);
}

} // namespace

class SettingsPageTest : public GuiSuite {
    Q_OBJECT

private slots:
    void readWriteRoundTrip_data();
    void readWriteRoundTrip();
    void editorsShowRegulatorValues_data();
    void editorsShowRegulatorValues();
    void editedValueReachesRegulatorClamped_data();
    void editedValueReachesRegulatorClamped();
    void valueWrittenAsShown_data();
    void valueWrittenAsShown();

    void tabChangeStoresAndSwitches_data();
    void tabChangeStoresAndSwitches();
    void tabChangeRebuildsSystemGrid_data();
    void tabChangeRebuildsSystemGrid();
    void readSelectsActiveProfileWithoutStoring_data();
    void readSelectsActiveProfileWithoutStoring();
    void readDiscardsUntakenEdits_data();
    void readDiscardsUntakenEdits();
    void activeProfileAboveSeven_data();
    void activeProfileAboveSeven();

    void changedCellsAreMarked_data();
    void changedCellsAreMarked();

    void chartDragReachesRegulator_data();
    void chartDragReachesRegulator();
    void readEndsDragAndDiscardsIt();

private:
    // Gives the regulator the image, opens the link as the polling does and
    // runs "Read Settings". The timers are stopped again afterwards.
    static void ReadFrom(GuiRig& rig, const Image& image);
    static void Write(GuiRig& rig);
    // Shows the window with the "Settings" page in front, so the chart has
    // its size and its points their pixel positions.
    static bool ShowSettingsPage(GuiRig& rig);
};

void SettingsPageTest::ReadFrom(GuiRig& rig, const Image& image)
{
    rig.sim.SettingsImage = image;
    if (!rig.W().Core().Usb().Session().IsDeviceOpen())
        rig.Connect();
    rig.W().ReadAllSettingsFromSystemClick();
    rig.StopTimers();
}

void SettingsPageTest::Write(GuiRig& rig)
{
    rig.W().WriteAllSettingsToSystemClick();
    rig.StopTimers();
}

bool SettingsPageTest::ShowSettingsPage(GuiRig& rig)
{
    TMainFormKrv& w = rig.W();
    w.Ui().PageControl->setCurrentWidget(w.Ui().SettingsTabSheet);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    return QTest::qWaitFor([&] { return w.Ui().FieldRpmChartView->PlotArea().height() > 100; });
}

// --- Read and write -----------------------------------------------------------

void SettingsPageTest::readWriteRoundTrip_data()
{
    QTest::addColumn<int>("detected");
    QTest::addColumn<QString>("locale");
    QTest::newRow("12 V system") << 12 << "C";
    QTest::newRow("24 V system") << 24 << "C";
    QTest::newRow("no system voltage detected") << 0 << "C";
    QTest::newRow("12 V, decimal comma") << 12 << "de_DE";
    QTest::newRow("24 V, decimal comma") << 24 << "de_DE";
}

void SettingsPageTest::readWriteRoundTrip()
{
    QFETCH(int, detected);
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    GuiRig& rig = Rig();
    rig.sim.OwnState.SetDetectedSystemVoltage(uint16_t(detected));
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    TMainFormKrv& w = rig.W();
    QCOMPARE(int(w.Core().OwnState().DetectedSystemVoltage()), detected);
    QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());

    const std::size_t before = rig.sim.Requests.size();
    Write(rig);
    // The write, then the read-back that confirms it.
    QCOMPARE(RequestsSince(rig.sim, before), WriteRequests() + ReadRequests());
    QCOMPARE(rig.sim.AppliedWrites, 1);
    QCOMPARE(rig.sim.DiscardedWrites, 0);
    // Record, reserved bytes and the firmware's tail all come back unchanged.
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(original));
    QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
    QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
    QCOMPARE(w.Ui().MessagePanel->text(), QStringLiteral(" Settings written to Port engine"));
}

void SettingsPageTest::editorsShowRegulatorValues_data()
{
    QTest::addColumn<int>("detected");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("voltages"); // rows 4, 5; profile rows 1, 4, 8
    QTest::newRow("12 V") << 12 << "C" << QStringList{"15.20", "15.80", "13.40", "14.20", "13.44"};
    QTest::newRow("24 V") << 24 << "C" << QStringList{"30.40", "31.60", "26.80", "28.40", "26.88"};
    QTest::newRow("24 V, decimal comma") << 24 << "de_DE" << QStringList{"30,40", "31,60", "26,80", "28,40", "26,88"};
}

void SettingsPageTest::editorsShowRegulatorValues()
{
    QFETCH(int, detected);
    QFETCH(QString, locale);
    QFETCH(QStringList, voltages);
    QLocale::setDefault(QLocale(locale));
    GuiRig& rig = Rig();
    rig.sim.OwnState.SetDetectedSystemVoltage(uint16_t(detected));
    ReadFrom(rig, realistic::Image());
    TMainFormKrv& w = rig.W();
    const bool comma = locale != QLatin1String("C");
    auto dec = [comma](QString s) { return comma ? s.replace(QLatin1Char('.'), QLatin1Char(',')) : s; };

    StringGrid* sys = w.Ui().SystemSettingsTable;
    QCOMPARE(sys->Cell(DeviceVersionRow, 1), QStringLiteral("12"));
    QCOMPARE(sys->Cell(DeviceNameRow, 1), FieldText("Salty Dog 2", 16));
    QCOMPARE(sys->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("48"));
    QCOMPARE(sys->Cell(FaultAlternatorTemperatureRow, 1), QStringLiteral("105"));
    QCOMPARE(sys->Cell(WarningBatteryVoltageRow, 1), voltages[0]);
    QCOMPARE(sys->Cell(FaultBatteryVoltageRow, 1), voltages[1]);
    QCOMPARE(sys->Cell(PulleyRatioRow, 1), dec(QStringLiteral("2.750")));
    QCOMPARE(sys->Cell(WifiSsidRow, 1), FieldText("Marina Guest", 32));
    QCOMPARE(sys->Cell(WifiApAddressRow, 1), QStringLiteral("10.0.0.42"));
    QCOMPARE(sys->Cell(ActiveChargeProfileRow, 1), QStringLiteral("2 - GEL"));
    QCOMPARE(sys->Cell(BatteryShuntResistanceRow, 1), dec(QStringLiteral("0.000125")));
    QCOMPARE(sys->Cell(FieldRpmModeRow, 1), QStringLiteral("1500"));
    QCOMPARE(sys->Cell(BatteryPlusVoltageCompRow, 1), dec(QStringLiteral("1.002000")));
    QCOMPARE(sys->Cell(BatteryShuntBiasRow, 1), dec(QStringLiteral("-0.012500")));
    QCOMPARE(sys->Cell(AuxTempSensorUsageRow, 1), QStringLiteral("1"));
    QCOMPARE(sys->Cell(AuxTempSensorUsageRow, 0), QStringLiteral("Aux Temp Sensor Usage [0-Battery, 1-Alt]"));

    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 2);
    StringGrid* prof = w.Ui().ChargeProfilesTable;
    QCOMPARE(prof->Cell(WarmUpDurationRow, 1), QStringLiteral("660"));
    QCOMPARE(prof->Cell(WarmUpTargetVoltageRow, 1), voltages[2]);
    QCOMPARE(prof->Cell(BulkTargetVoltageRow, 1), voltages[3]);
    QCOMPARE(prof->Cell(FloatTargetVoltageRow, 1), voltages[4]);
    QCOMPARE(prof->Cell(BulkMaximumFieldRow, 1), QStringLiteral("92"));
    QCOMPARE(prof->Cell(FloatMaximumFieldRow, 0), QStringLiteral("Float Maximum Field, %"));

    const CurvePoints curve = {35, 40, 48, 55, 61, 67, 74, 80, 86, 92, 97, 100};
    QCOMPARE(w.Ui().FieldRpmChartView->Points(), curve);
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
}

void SettingsPageTest::editedValueReachesRegulatorClamped_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::addColumn<int>("offset");
    QTest::addColumn<float>("written");
    QTest::addColumn<QString>("reshown");
    QTest::addColumn<QString>("notice"); // the message panel once an entered edit was taken
    QTest::newRow("75 degrees, entered") << int(WarningBatteryTemperatureRow) << "75" << true
                                         << int(S::WarningBatteryTemperatureAt) << 60.0f << "60"
                                         << " Warning Battery Temperature, \u00B0C: \"75\" will be written as 60";
    QTest::newRow("75 degrees, editor still open") << int(WarningBatteryTemperatureRow) << "75" << false
                                                   << int(S::WarningBatteryTemperatureAt) << 60.0f << "60" << "";
    QTest::newRow("not a number takes the default") << int(WarningBatteryTemperatureRow) << "abc" << true
                                                    << int(S::WarningBatteryTemperatureAt) << 40.0f << "40"
                                                    << " Warning Battery Temperature, \u00B0C: \"abc\" will be written as 40";
    QTest::newRow("pulley ratio 12") << int(PulleyRatioRow) << "12" << false << int(S::PulleyRatioAt)
                                     << float(9.99) << "9.990" << "";
    QTest::newRow("battery voltage 19") << int(FaultBatteryVoltageRow) << "19" << true
                                        << int(S::FaultBatteryVoltageAt) << 18.0f << "18.00"
                                        << " Fault Battery Voltage, V: \"19\" will be written as 18.00";
}

void SettingsPageTest::editedValueReachesRegulatorClamped()
{
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(bool, enter);
    QFETCH(int, offset);
    QFETCH(float, written);
    QFETCH(QString, reshown);
    QFETCH(QString, notice);
    GuiRig& rig = Rig();
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    TMainFormKrv& w = rig.W();
    QVERIFY(TypeInto(w.Ui().SystemSettingsTable, row, typed, enter));
    QCOMPARE(EditorOpen(w.Ui().SystemSettingsTable), !enter);
    if (enter)
        QCOMPARE(w.Ui().MessagePanel->text(), QString::fromUtf8(notice.toUtf8()));

    Write(rig);
    QCOMPARE(rig.sim.Settings().F32(std::size_t(offset)), written);
    QCOMPARE(w.Core().Settings().F32(std::size_t(offset)), written);
    // Nothing else changed on the regulator.
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(WithF32(original, std::size_t(offset), written)));
    // An edit the user committed shows what was written, and the panel says
    // why; one the write itself committed stays as typed.
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(row, 1), enter ? reshown : typed);
    QVERIFY(!EditorOpen(w.Ui().SystemSettingsTable));

    // The next read shows what the regulator now holds.
    ReadFrom(rig, rig.sim.SettingsImage);
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(row, 1), reshown);
}

void SettingsPageTest::valueWrittenAsShown_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("offset");
    QTest::addColumn<float>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<float>("written");
    QTest::newRow("fault battery temperature 45.6")
        << int(FaultBatteryTemperatureRow) << int(S::FaultBatteryTemperatureAt) << 45.6f << "46" << 46.0f;
    QTest::newRow("battery plus comp 1.0123456")
        << int(BatteryPlusVoltageCompRow) << int(S::BatteryPlusVoltageCompAt) << 1.0123456f << "1.012346"
        << float(1.012346);
    QTest::newRow("regulator comp 1.0123456")
        << int(RegulatorVoltageCompRow) << int(S::RegulatorVoltageCompAt) << 1.0123456f << "1.012346"
        << float(1.012346);
    QTest::newRow("shunt gain 20.1234567")
        << int(AlternatorShuntGain1Row) << int(S::AlternatorShuntGain1At) << 20.1234567f << "20.123457"
        << float(20.123457);
    QTest::newRow("pulley ratio 2.34567")
        << int(PulleyRatioRow) << int(S::PulleyRatioAt) << 2.34567f << "2.346" << float(2.346);
    QTest::newRow("warning voltage 14.456")
        << int(WarningBatteryVoltageRow) << int(S::WarningBatteryVoltageAt) << 14.456f << "14.46" << float(14.46);
    QTest::newRow("threshold 1234.5")
        << int(FieldRpmModeRow) << int(S::FieldRpmModeAt) << 1234.5f << "1234" << 1234.0f;
    QTest::newRow("threshold 1235.5")
        << int(FieldRpmModeRow) << int(S::FieldRpmModeAt) << 1235.5f << "1236" << 1236.0f;
    QTest::newRow("curve mode -7") << int(FieldRpmModeRow) << int(S::FieldRpmModeAt) << -7.0f << "x" << -1.0f;
}

void SettingsPageTest::valueWrittenAsShown()
{
    QFETCH(int, row);
    QFETCH(int, offset);
    QFETCH(float, stored);
    QFETCH(QString, shown);
    QFETCH(float, written);
    GuiRig& rig = Rig();
    const Image original = WithF32(realistic::Image(), std::size_t(offset), stored);
    ReadFrom(rig, original);
    TMainFormKrv& w = rig.W();
    QCOMPARE(w.Core().Settings().F32(std::size_t(offset)), stored);
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(row, 1), shown);

    Write(rig);
    QCOMPARE(rig.sim.Settings().F32(std::size_t(offset)), written);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(WithF32(original, std::size_t(offset), written)));
}

// --- Profile tabs -------------------------------------------------------------

void SettingsPageTest::tabChangeStoresAndSwitches_data()
{
    QTest::addColumn<bool>("enter");
    QTest::newRow("edit entered") << true;
    QTest::newRow("editor still open") << false;
}

void SettingsPageTest::tabChangeStoresAndSwitches()
{
    QFETCH(bool, enter);
    GuiRig& rig = Rig();
    const SettingsRecord original = realistic::Record();
    ReadFrom(rig, realistic::Image(original));
    TMainFormKrv& w = rig.W();
    SelectTab(w, 1);
    QCOMPARE(int(w.Core().Settings().ActiveChargeProfile()), 1);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(BulkTargetVoltageRow, 1), QStringLiteral("14.15"));
    const std::size_t before = rig.sim.Requests.size();

    QVERIFY(TypeInto(w.Ui().ChargeProfilesTable, BulkTargetVoltageRow, QStringLiteral("14.62"), enter));
    SelectTab(w, 4);
    QVERIFY(!EditorOpen(w.Ui().ChargeProfilesTable));
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 4);
    QCOMPARE(w.Core().Settings().Profile(1).BulkTargetVoltage(), float(14.62));
    // Only that field of profile 1 changed, and no other profile.
    ChargeProfile expected1 = original.Profile(1);
    expected1.SetF32(ChargeProfile::BulkTargetVoltageAt, float(14.62));
    QCOMPARE(w.Core().Settings().Profile(1).ToByteArray(), expected1.ToByteArray());
    for (int k : {0, 2, 3, 4, 5, 6, 7})
        QCOMPARE(w.Core().Settings().Profile(k).ToByteArray(), original.Profile(k).ToByteArray());
    QCOMPARE(int(w.Core().Settings().ActiveChargeProfile()), 4);
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("4 - LiFePO4"));
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(WarmUpDurationRow, 1), QStringLiteral("720"));
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(BulkTargetVoltageRow, 1), QStringLiteral("14.30"));
    // A tab change talks to nobody.
    QCOMPARE(RequestsSince(rig.sim, before), QList<Request>());

    SelectTab(w, 1);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(BulkTargetVoltageRow, 1), QStringLiteral("14.62"));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("1 - AGM"));
    QCOMPARE(int(w.Core().Settings().ActiveChargeProfile()), 1);

    Write(rig);
    QCOMPARE(rig.sim.Settings().Profile(1).BulkTargetVoltage(), float(14.62));
    QCOMPARE(int(rig.sim.Settings().ActiveChargeProfile()), 1);
}

void SettingsPageTest::tabChangeRebuildsSystemGrid_data()
{
    QTest::addColumn<bool>("enter");
    QTest::newRow("edit entered") << true;
    QTest::newRow("editor still open") << false;
}

void SettingsPageTest::tabChangeRebuildsSystemGrid()
{
    QFETCH(bool, enter);
    GuiRig& rig = Rig();
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    TMainFormKrv& w = rig.W();
    QVERIFY(TypeInto(w.Ui().SystemSettingsTable, WarningBatteryTemperatureRow, QStringLiteral("33"), enter));
    SelectTab(w, 5);
    // The rebuild shows what the user typed: it went into the record first.
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("33"));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("5 - Custom #1"));
    QCOMPARE(w.Core().Settings().WarningBatteryTemperature(), 33.0f);
    QVERIFY(!EditorOpen(w.Ui().SystemSettingsTable));

    Write(rig);
    QCOMPARE(rig.sim.Settings().WarningBatteryTemperature(), 33.0f);
    Image expected = original;
    expected[S::ActiveChargeProfileAt] = 5;
    const uint8_t typed[4] = {0x00, 0x00, 0x04, 0x42}; // 33.0 as a little-endian single
    std::copy(typed, typed + 4, expected.begin() + S::WarningBatteryTemperatureAt);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(expected));
}

void SettingsPageTest::readSelectsActiveProfileWithoutStoring_data()
{
    QTest::addColumn<bool>("enter");
    QTest::newRow("edit entered") << true;
    QTest::newRow("editor still open") << false;
}

void SettingsPageTest::readSelectsActiveProfileWithoutStoring()
{
    QFETCH(bool, enter);
    GuiRig& rig = Rig();
    ReadFrom(rig, realistic::Image());
    TMainFormKrv& w = rig.W();
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 2);
    QVERIFY(TypeInto(w.Ui().ChargeProfilesTable, WarmUpDurationRow, QStringLiteral("999"), enter));

    Image image = realistic::Image();
    image[S::ActiveChargeProfileAt] = 6;
    ReadFrom(rig, image);
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 6);
    QCOMPARE(w.Ui().ChargeProfileTabControl->tabText(6), QStringLiteral("6 - Custom #2"));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("6 - Custom #2"));
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(WarmUpDurationRow, 1), QStringLiteral("780"));
    QVERIFY(!EditorOpen(w.Ui().ChargeProfilesTable));
    // The typed 999 went into no profile.
    QCOMPARE(w.Core().Settings().ToByteArray(), rig.sim.Settings().ToByteArray());

    Write(rig);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(image));
}

void SettingsPageTest::readDiscardsUntakenEdits_data()
{
    QTest::addColumn<bool>("profileGrid");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("enter");
    QTest::addColumn<QString>("shown");
    QTest::newRow("system grid, entered") << false << int(FaultAlternatorTemperatureRow) << true << "105";
    QTest::newRow("system grid, editor still open") << false << int(FaultAlternatorTemperatureRow) << false << "105";
    QTest::newRow("profile grid, entered") << true << int(WarmUpDurationRow) << true << "660";
    QTest::newRow("profile grid, editor still open") << true << int(WarmUpDurationRow) << false << "660";
}

void SettingsPageTest::readDiscardsUntakenEdits()
{
    QFETCH(bool, profileGrid);
    QFETCH(int, row);
    QFETCH(bool, enter);
    QFETCH(QString, shown);
    GuiRig& rig = Rig();
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    TMainFormKrv& w = rig.W();
    StringGrid* grid = profileGrid ? w.Ui().ChargeProfilesTable : w.Ui().SystemSettingsTable;
    QVERIFY(TypeInto(grid, row, QStringLiteral("99"), enter));

    // "Read Settings" again: the regulator still holds the same values.
    ReadFrom(rig, original);
    QCOMPARE(grid->Cell(row, 1), shown);
    QVERIFY(!EditorOpen(grid));
    Write(rig);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(original));
}

void SettingsPageTest::activeProfileAboveSeven_data()
{
    QTest::addColumn<int>("stored");
    QTest::newRow("8") << 8;
    QTest::newRow("9") << 9;
    QTest::newRow("255") << 255;
}

void SettingsPageTest::activeProfileAboveSeven()
{
    QFETCH(int, stored);
    GuiRig& rig = Rig();
    Image image = realistic::Image();
    image[S::ActiveChargeProfileAt] = uint8_t(stored);
    ReadFrom(rig, image);
    TMainFormKrv& w = rig.W();
    // The refresh completed: every row and the profile of tab 0 are shown.
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QString::number(stored));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(AuxTempSensorUsageRow, 1), QStringLiteral("1"));
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 0);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(WarmUpDurationRow, 1), QStringLiteral("600"));
    QCOMPARE(w.Ui().FieldRpmChartView->Points()[0], 35.0);

    // Writing without a tab change keeps the stored number.
    Write(rig);
    QCOMPARE(int(rig.sim.SettingsImage[S::ActiveChargeProfileAt]), stored);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(image));

    SelectTab(w, 3);
    QCOMPARE(int(w.Core().Settings().ActiveChargeProfile()), 3);
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("3 - FireFly"));
    Write(rig);
    QCOMPARE(int(rig.sim.SettingsImage[S::ActiveChargeProfileAt]), 3);

    SelectTab(w, 0);
    QCOMPARE(int(w.Core().Settings().ActiveChargeProfile()), 0);
    Write(rig);
    QCOMPARE(int(rig.sim.SettingsImage[S::ActiveChargeProfileAt]), 0);
}

// A cell whose text differs from what the last read put there is bold, with
// the text it replaced as its tooltip; the next read clears the marks.
void SettingsPageTest::changedCellsAreMarked_data()
{
    QTest::addColumn<int>("grid"); // 0 system settings, 1 profile, 2 chart point 3
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("system setting") << 0 << "51" << "Was: 48";
    QTest::newRow("system setting typed as it was") << 0 << "48" << "";
    QTest::newRow("profile value") << 1 << "777" << "Was: 660";
    QTest::newRow("chart point") << 2 << "" << "";
}

void SettingsPageTest::changedCellsAreMarked()
{
    QFETCH(int, grid);
    QFETCH(QString, typed);
    QFETCH(QString, tooltip);
    GuiRig& rig = Rig();
    ReadFrom(rig, realistic::Image());
    TMainFormKrv& w = rig.W();
    StringGrid* table = grid == 0 ? w.Ui().SystemSettingsTable : w.Ui().ChargeProfilesTable;
    const int row = grid == 0 ? int(WarningBatteryTemperatureRow) : int(WarmUpDurationRow);
    if (grid == 2) {
        CurvePoints points = w.Ui().FieldRpmChartView->Points();
        points[3] += 10;
        w.Ui().FieldRpmChartView->SetPoints(points);
        QVERIFY(w.Ui().FieldRpmChartView->IsPointChanged(3));
        QVERIFY(!w.Ui().FieldRpmChartView->IsPointChanged(2));
    } else {
        table->item(row, 1)->setText(typed);
        QCOMPARE(table->IsMarkedChanged(row, 1), !tooltip.isEmpty());
        QCOMPARE(table->item(row, 1)->toolTip(), tooltip);
        QVERIFY(!table->IsMarkedChanged(row + 1, 1));
    }
    // Every caption cell tells its whole caption.
    QCOMPARE(w.Ui().SystemSettingsTable->item(FieldRpmModeRow, 0)->toolTip(),
             QStringLiteral("Field/RPM [x-Curve, 0-Off, nnn-Threshold]"));
    rig.sim.SettingsImage = realistic::Image();
    w.ReadAllSettingsFromSystemClick();
    rig.StopTimers();
    QVERIFY(!table->IsMarkedChanged(row, 1));
    QVERIFY(!w.Ui().FieldRpmChartView->IsPointChanged(3));
}

// --- Field/RPM chart ----------------------------------------------------------

void SettingsPageTest::chartDragReachesRegulator_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("target"); // percent at the mouse row
    QTest::addColumn<int>("written");
    QTest::newRow("2000 1/min to 72.5") << 3 << 72.5 << 72;
    QTest::newRow("4000 1/min to 55.7") << 7 << 55.7 << 55;
    QTest::newRow("500 1/min to 90.5") << 0 << 90.5 << 90;
    QTest::newRow("6000 1/min far below") << 11 << -100.0 << 30;
    QTest::newRow("1000 1/min far above") << 1 << 300.0 << 100;
}

void SettingsPageTest::chartDragReachesRegulator()
{
    QFETCH(int, index);
    QFETCH(double, target);
    QFETCH(int, written);
    GuiRig& rig = Rig();
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    QVERIFY(ShowSettingsPage(rig));
    FieldRpmChart* chart = rig.W().Ui().FieldRpmChartView;
    const double rpm = CurvePointRpm(index);
    const double from = original[S::FieldRpmCurveAt + std::size_t(index)];
    const QPoint press = chart->PositionOfValue(rpm, from).toPoint();
    chart->FieldRpmChartMouseDown(press);
    QVERIFY(chart->CurveDragActive());
    // The mouse may wander sideways; only its row counts.
    const QPointF to = chart->PositionOfValue(rpm + 700, target);
    chart->FieldRpmChartMouseMove(QPoint(int(std::lround(to.x())), int(std::lround(to.y()))));
    chart->FieldRpmChartMouseUp(QPoint(int(std::lround(to.x())), int(std::lround(to.y()))));
    QVERIFY(!chart->CurveDragActive());

    Write(rig);
    QCOMPARE(int(rig.sim.SettingsImage[S::FieldRpmCurveAt + std::size_t(index)]), written);
    Image expected = original;
    expected[S::FieldRpmCurveAt + std::size_t(index)] = uint8_t(written);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(expected));
}

void SettingsPageTest::readEndsDragAndDiscardsIt()
{
    GuiRig& rig = Rig();
    const Image original = realistic::Image();
    ReadFrom(rig, original);
    QVERIFY(ShowSettingsPage(rig));
    FieldRpmChart* chart = rig.W().Ui().FieldRpmChartView;
    const CurvePoints curve = chart->Points();
    chart->FieldRpmChartMouseDown(chart->PositionOfValue(2500, curve[4]).toPoint());
    QVERIFY(chart->CurveDragActive());
    chart->FieldRpmChartMouseMove(chart->PositionOfValue(2500, 95).toPoint());
    QVERIFY(chart->Points()[4] > 90);

    // The button is still down when the read comes.
    rig.W().ReadAllSettingsFromSystemClick();
    rig.StopTimers();
    QVERIFY(!chart->CurveDragActive());
    QCOMPARE(chart->Points(), curve);
    chart->FieldRpmChartMouseMove(chart->PositionOfValue(2500, 40).toPoint());
    QCOMPARE(chart->Points(), curve);

    Write(rig);
    QCOMPARE(Bytes(rig.sim.SettingsImage), Bytes(original));
}

QTEST_MAIN(SettingsPageTest)
#include "test_gui_settings_page.moc"
