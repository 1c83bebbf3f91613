// Snapshot files dropped onto the main window: which drops are taken, the
// error for a short file, the connection items and pages after an import,
// the views showing the imported records, and a real drop event.
#include "records/demo_records.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/field_rpm_curve.h"
#include "settings/settings_check.h"
#include "settings/system_settings_rows.h"
#include "rig/gui_suite.h"
#include "rig/test_support.h"
#include "views/state_views.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

enum PageChoice { OnStatePage, OnSettingsPage, OnCanPage, OnPeerPage };
enum Outcome { Imported, ErrorBox, Ignored };

// Records that differ from what the simulated regulator sends, so an import
// shows in every view.
SystemStateRecord SnapOwn()
{
    SystemStateRecord r = DemoOwnState();
    r.SetRegulatorName("Snap own");
    MeasuredChannel m = r.ChannelAt(Channel::BPlusVoltage);
    m.Value = 13.57f;
    r.SetChannel(Channel::BPlusVoltage, m);
    r.SetRunningTime(7 * 3600 + 8 * 60 + 9);
    return r;
}

SystemStateRecord SnapPeer()
{
    SystemStateRecord r = DemoPeerState();
    r.SetRegulatorName("Snap peer");
    MeasuredChannel m = r.ChannelAt(Channel::BPlusVoltage);
    m.Value = 12.68f;
    r.SetChannel(Channel::BPlusVoltage, m);
    return r;
}

SettingsRecord SnapSettings()
{
    SettingsRecord s = DemoSettings();
    s.SetPowerSupplyVoltageComp(1.0234f);
    s.SetActiveChargeProfile(3);
    return s;
}

QByteArray SnapshotBytes(const QByteArray& leading = QByteArray(4, '\0'))
{
    SnapshotRecord snap;
    snap.SetOwnState(SnapOwn());
    snap.SetPeerState(SnapPeer());
    snap.SetSettings(SnapSettings());
    QByteArray bytes = snap.ToByteArray();
    bytes.replace(0, 4, leading);
    return bytes;
}

// A file of the given size: the snapshot first, then filler.
QString WriteFile(const QTemporaryDir& dir, const QString& name, int size, const QByteArray& leading = QByteArray(4, '\0'))
{
    QByteArray bytes = SnapshotBytes(leading);
    if (size < bytes.size())
        bytes.truncate(size);
    while (bytes.size() < size)
        bytes.append(char(0x5A));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Settings that the editors give back byte for byte (the text rows store
// characters such as ':' as zero bytes, so the demo's "localhost:8080" would
// not survive a store).
SettingsRecord EditorSettings()
{
    SettingsRecord s = DemoSettings();
    s.SetRawBytes(SettingsRecord::SupportHostDomainAt, SettingsRecord::SupportHostDomainSize, QByteArray("localhost"));
    return s;
}

QString ErrorTextFor(const QString& path)
{
    return QStringLiteral("File \"") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())
        + QStringLiteral("\" does not contain valid K-ROVA data");
}

} // namespace

class TestGuiSnapshotDrop : public GuiSuite {
    Q_OBJECT

private slots:
    void handleDroppedFile_data();
    void handleDroppedFile();
    void implausibleSnapshotAsksFirst_data();
    void implausibleSnapshotAsksFirst();
    void leadingBytesIgnored_data();
    void leadingBytesIgnored();
    void importSwitchesConnectionsOff_data();
    void importSwitchesConnectionsOff();
    void importShowsValues();
    void dropEvent_data();
    void dropEvent();
    void demoSnapshotFillsEveryPage();
    void settingsShownForSnapshotSystemVoltage_data();
    void settingsShownForSnapshotSystemVoltage();

private:
    void ShowPage(PageChoice page);
    void Drop(const QList<QUrl>& urls);
    void VerifyImported();
    void VerifyUntouched();

    void SetUpRig(GuiRig& rig) override
    {
        rig.Connect();
        rig.W().ReadAllSettingsFromSystemClick();
        rig.StopTimers();
        ShowPage(OnStatePage);
        rig.sim.Requests.clear();
    }
};

void TestGuiSnapshotDrop::ShowPage(PageChoice page)
{
    QWidget* pages[] = {W().Ui().StateTabSheet, W().Ui().SettingsTabSheet, W().Ui().CanBusTabSheet, W().Ui().PeerStateTabSheet};
    // Selected as the program does it, not as a user's page change (which
    // would read the settings on the "Settings" page).
    {
        const QSignalBlocker block(W().Ui().PageControl);
        W().Ui().PageControl->setCurrentWidget(pages[page]);
    }
    QCOMPARE(W().Ui().PageControl->currentWidget(), pages[page]);
}

void TestGuiSnapshotDrop::Drop(const QList<QUrl>& urls)
{
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    const QPointF at(W().width() / 2.0, W().height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &drop);
    delete mime;
}

void TestGuiSnapshotDrop::VerifyImported()
{
    QVERIFY(W().Core().OwnState() == SnapOwn());
    QVERIFY(W().Core().PeerState() == SnapPeer());
    QVERIFY(W().Core().Settings() == SnapSettings());
    QVERIFY(!W().Ui().ConnectionUSB->isChecked());
    QVERIFY(!W().Ui().RemoteViaInternetToProvideSupport->isChecked());
    QCOMPARE(W().Ui().PageControl->currentWidget(), W().Ui().StateTabSheet);
    QVERIFY(W().Ui().PageControl->isTabVisible(W().Ui().PageControl->indexOf(W().Ui().PeerStateTabSheet)));
    QCOMPARE(W().Ui().MeasuredValuesTable->Cell(1, 1), QStringLiteral("13.57"));
    QCOMPARE(W().Ui().PeerMeasuredValuesTable->Cell(1, 1), QStringLiteral("12.68"));
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(PowerSupplyVoltageCompRow, 1), QStringLiteral("1.023400"));
}

void TestGuiSnapshotDrop::VerifyUntouched()
{
    QVERIFY(W().Core().OwnState() == rig_->sim.OwnState);
    QVERIFY(W().Core().PeerState() == rig_->sim.PeerState);
    QVERIFY(W().Core().Settings() == rig_->sim.Settings());
    QVERIFY(W().Ui().ConnectionUSB->isChecked());
    QVERIFY(W().Ui().MeasuredValuesTable->Cell(1, 1) != QStringLiteral("13.57"));
    QVERIFY(W().Ui().SystemSettingsTable->Cell(PowerSupplyVoltageCompRow, 1) != QStringLiteral("1.023400"));
}

void TestGuiSnapshotDrop::handleDroppedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("outcome");

    QTest::newRow("1104 bytes .TXT") << "snap.TXT" << 1104 << int(OnStatePage) << int(Imported);
    QTest::newRow("1104 bytes .txt, Settings page") << "snap.txt" << 1104 << int(OnSettingsPage) << int(Imported);
    QTest::newRow("1104 bytes .TxT") << "snap.TxT" << 1104 << int(OnStatePage) << int(Imported);
    QTest::newRow("5000 bytes") << "big.txt" << 5000 << int(OnStatePage) << int(Imported);
    // Names outside ASCII and outside the system's code page (Windows' wide paths).
    QTest::newRow("accented name") << QString::fromUtf8("Bøtehjørne snäp.txt") << 1104 << int(OnStatePage) << int(Imported);
    QTest::newRow("Cyrillic and Greek name, short")
        << QString::fromUtf8("Катер Ωμέγα.txt") << 1103 << int(OnStatePage) << int(ErrorBox);
    QTest::newRow("1103 bytes") << "short.TXT" << 1103 << int(OnStatePage) << int(ErrorBox);
    QTest::newRow("1103 bytes, Settings page") << "short.txt" << 1103 << int(OnSettingsPage) << int(ErrorBox);
    QTest::newRow("empty file") << "empty.txt" << 0 << int(OnStatePage) << int(ErrorBox);
    QTest::newRow("settings file .krv") << "settings.krv" << 1104 << int(OnStatePage) << int(Ignored);
    QTest::newRow("no extension") << "snap" << 1104 << int(OnStatePage) << int(Ignored);
    QTest::newRow(".txt inside the name") << "snap.txt.bak" << 1104 << int(OnStatePage) << int(Ignored);
    QTest::newRow(".text") << "snap.text" << 1104 << int(OnStatePage) << int(Ignored);
    QTest::newRow("short .krv") << "short.krv" << 1103 << int(OnStatePage) << int(Ignored);
    QTest::newRow("CAN bus page") << "snap.txt" << 1104 << int(OnCanPage) << int(Ignored);
    QTest::newRow("Peer page") << "snap.txt" << 1104 << int(OnPeerPage) << int(Ignored);
    QTest::newRow("short, CAN bus page") << "short.txt" << 1103 << int(OnCanPage) << int(Ignored);
    QTest::newRow("short, Peer page") << "short.txt" << 1103 << int(OnPeerPage) << int(Ignored);
    QTest::newRow("missing file") << "" << 1104 << int(OnStatePage) << int(Ignored);
    QTest::newRow("folder named .txt") << "" << 0 << int(OnStatePage) << int(Ignored);
}

void TestGuiSnapshotDrop::handleDroppedFile()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(int, page);
    QFETCH(int, outcome);

    QString path;
    if (!name.isEmpty()) {
        path = WriteFile(*dir_, name, size);
        QVERIFY(!path.isEmpty());
    } else if (size > 0) {
        path = dir_->filePath(QStringLiteral("missing.txt"));
    } else {
        path = dir_->filePath(QStringLiteral("folder.txt"));
        QVERIFY(QDir().mkdir(path));
    }
    ShowPage(PageChoice(page));
    QWidget* pageBefore = W().Ui().PageControl->currentWidget();

    W().HandleDroppedFile(path);

    switch (Outcome(outcome)) {
    case Imported:
        QVERIFY(rig_->dialogs.Shown.empty());
        VerifyImported();
        break;
    case ErrorBox:
        QCOMPARE(int(rig_->dialogs.Shown.size()), 1);
        QCOMPARE(int(rig_->dialogs.Shown[0].kind), int(ShownDialog::Error));
        QCOMPARE(rig_->dialogs.Shown[0].text, ErrorTextFor(path));
        VerifyUntouched();
        QCOMPARE(W().Ui().PageControl->currentWidget(), pageBefore);
        break;
    case Ignored:
        QVERIFY(rig_->dialogs.Shown.empty());
        VerifyUntouched();
        QCOMPARE(W().Ui().PageControl->currentWidget(), pageBefore);
        break;
    }
    // Imported data stays: the polling cycle no longer runs.
    W().USBTimerTimer();
    QCOMPARE(rig_->sim.Requests.empty(), outcome == Imported);
    if (outcome == Imported)
        QVERIFY(W().Core().OwnState() == SnapOwn());
}

// A file whose settings are not plausible, or whose regulator names are not
// text (a PDF renamed), is shown only when the user says so.
void TestGuiSnapshotDrop::implausibleSnapshotAsksFirst_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("take");
    QTest::addColumn<QString>("firstDeparture");
    QByteArray pdf = QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\n").leftJustified(1104, '\x17');
    for (int i = 60; i < pdf.size(); ++i)
        pdf[i] = char((i * 131 + 7) % 256);
    QByteArray badName;
    badName.append(QByteArray(4, '\0'));
    badName.append(SnapOwn().ToByteArray());
    badName.append(SnapPeer().ToByteArray());
    badName.append(SnapSettings().ToByteArray());
    badName[4 + SystemStateRecord::RegulatorNameAt] = '\x02';
    QTest::newRow("a PDF renamed, declined") << pdf << false << "Device Name: ";
    QTest::newRow("a PDF renamed, taken") << pdf << true << "Device Name: ";
    QTest::newRow("own name not text, declined") << badName << false << "Regulator name (own): ";
}

void TestGuiSnapshotDrop::implausibleSnapshotAsksFirst()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, take);
    QFETCH(QString, firstDeparture);
    const QString path = dir_->filePath(QStringLiteral("odd.txt"));
    QVERIFY(WriteAll(path, bytes));
    take ? rig_->dialogs.AnswerYes() : rig_->dialogs.AnswerCancel();
    W().HandleDroppedFile(path);
    QCOMPARE(int(rig_->dialogs.Shown.size()), 1);
    const QString text = rig_->dialogs.Shown[0].text;
    QVERIFY2(text.startsWith(QStringLiteral("File \"%1\" holds settings that are not plausible:\n%2")
                                 .arg(QDir::toNativeSeparators(path), firstDeparture)),
             qPrintable(text));
    QVERIFY(text.endsWith(QStringLiteral("\rTake them as the editors would store them?")));
    if (!take) {
        VerifyUntouched();
        return;
    }
    // Shown as the editors would store its settings: nothing implausible is
    // held, and the states are the file's.
    QVERIFY(!W().Ui().ConnectionUSB->isChecked());
    QCOMPARE(W().Core().OwnState().ToByteArray(), bytes.mid(4, 280));
    for (const SettingsDeparture& d : CheckSettings(W().Core().Settings()))
        QVERIFY2(d.fix.isEmpty(), qPrintable(d.caption));
}

void TestGuiSnapshotDrop::leadingBytesIgnored_data()
{
    QTest::addColumn<QByteArray>("leading");
    QTest::newRow("zero") << QByteArray(4, '\0');
    QTest::newRow("all ones") << QByteArray(4, '\xFF');
    QTest::newRow("text") << QByteArray("KRV1");
}

void TestGuiSnapshotDrop::leadingBytesIgnored()
{
    QFETCH(QByteArray, leading);
    const QString path = WriteFile(*dir_, QStringLiteral("snap.txt"), 1104, leading);
    W().HandleDroppedFile(path);
    QVERIFY(rig_->dialogs.Shown.empty());
    VerifyImported();
}

void TestGuiSnapshotDrop::importSwitchesConnectionsOff_data()
{
    QTest::addColumn<bool>("remote");
    QTest::addColumn<bool>("share");
    QTest::newRow("USB") << false << false;
    QTest::newRow("USB, sharing data") << false << true;
    QTest::newRow("remote via Internet") << true << false;
}

void TestGuiSnapshotDrop::importSwitchesConnectionsOff()
{
    QFETCH(bool, remote);
    QFETCH(bool, share);
    if (remote) {
        W().RemoteViaInternetToProvideSupportClick();
    }
    if (share)
        W().Core().SetSharing(true);
    // The peer tab hidden before: the import shows it again.
    W().Ui().PageControl->setTabVisible(W().Ui().PageControl->indexOf(W().Ui().PeerStateTabSheet), false);

    W().HandleDroppedFile(WriteFile(*dir_, QStringLiteral("snap.txt"), 1104));

    VerifyImported();
    // "Share data with support" is not touched.
    QCOMPARE(W().Ui().ShareDataWithSupport->isChecked(), share);
    W().SystemStateTimerTimer();
    QCOMPARE(W().windowTitle(), QStringLiteral("Norvelle K-ROVA X Utility v7"));
}

void TestGuiSnapshotDrop::importShowsValues()
{
    W().HandleDroppedFile(WriteFile(*dir_, QStringLiteral("snap.txt"), 1104));
    VerifyImported();
    // What the snapshot's records hold, as the pages show it.
    QCOMPARE(GuiRig::Cells(W().Ui().MeasuredValuesTable).mid(4, 8),
             (QStringList{"B+ Voltage, V", "13.57", "0.4065", "504", "B- Voltage, V", "0.02", "0.0006", "1"}));
    QCOMPARE(W().Ui().MeasuredValuesTable->Cell(3, 0), QString::fromUtf8("Battery Temperature, \u00B0C"));
    QCOMPARE(W().Ui().SystemStateTable->Column(1, 1),
             (QStringList{"12", "13.80", "12", "45", "33", "0", "100", "100", "0x0000000F"}));
    QCOMPARE(W().Ui().RegulatorStateTable->Cell(1, 1), QStringLiteral("7:8:9"));
    QCOMPARE(GuiRig::Cells(W().Ui().PeerMeasuredValuesTable).mid(4, 4),
             (QStringList{"B+ Voltage, V", "12.68", "0.4059", "504"}));
    QCOMPARE(W().Ui().PeerMeasuredValuesTable->Cell(3, 0), QString::fromUtf8("Aux Temperature, \u00B0C"));
    QCOMPARE(W().Ui().PeerSystemStateTable->Column(1, 1),
             (QStringList{"12", "13.78", "9", "39", "30", "0", "100", "100", "0x00000017"}));
    QCOMPARE(GuiRig::MemoLines(W().Ui().PeerSystemMessagesMemo),
             (QStringList{"Regulator Name: Snap peer", "Ignition Input active", "Regulator is Slave",
                          "CAN bus voltage detected", "CAN bus active"}));
    // Settings: the grid, the active profile's tab and grid, the chart.
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(PowerSupplyVoltageCompRow, 1), QStringLiteral("1.023400"));
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(WarningBatteryVoltageRow, 1), QStringLiteral("15.00"));
    QCOMPARE(W().Ui().ChargeProfileTabControl->currentIndex(), 3);
    QCOMPARE(W().Ui().ChargeProfilesTable->Column(1),
             (QStringList{"60", "13.20", "0", "50", "14.40", "14.70", "0", "100", "13.40", "12.80", "0", "100"}));
    QCOMPARE(W().Ui().FieldRpmChartView->Points(), CurvePointsFromRecord(SnapSettings().Curve()));

    // The window update names the peer page after the imported peer.
    W().SystemStateTimerTimer();
    const int peerIndex = W().Ui().PageControl->indexOf(W().Ui().PeerStateTabSheet);
    QCOMPARE(W().Ui().PageControl->tabText(peerIndex), QStringLiteral("Peer System State [ Snap peer ]"));
    QVERIFY(W().Ui().PageControl->isTabVisible(peerIndex));
}

void TestGuiSnapshotDrop::dropEvent_data()
{
    QTest::addColumn<QStringList>("files"); // name:size, in drop order
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("errorFor"); // index of the file the error names

    QTest::newRow("one good file") << QStringList{"snap.txt:1104"} << int(Imported) << -1;
    QTest::newRow("good file first") << QStringList{"snap.txt:1104", "other.krv:1104"} << int(Imported) << -1;
    QTest::newRow("good file second") << QStringList{"other.krv:1104", "snap.txt:1104"} << int(Ignored) << -1;
    QTest::newRow("short file first") << QStringList{"short.txt:1103", "snap.txt:1104"} << int(ErrorBox) << 0;
    QTest::newRow("short file second") << QStringList{"snap.txt:1104", "short.txt:1103"} << int(Imported) << -1;
}

void TestGuiSnapshotDrop::dropEvent()
{
    QFETCH(QStringList, files);
    QFETCH(int, outcome);
    QFETCH(int, errorFor);

    QList<QUrl> urls;
    QStringList paths;
    for (const QString& f : files) {
        const QString path = WriteFile(*dir_, f.section(QLatin1Char(':'), 0, 0), f.section(QLatin1Char(':'), 1).toInt());
        QVERIFY(!path.isEmpty());
        paths << path;
        urls << QUrl::fromLocalFile(path);
    }
    Drop(urls);

    switch (Outcome(outcome)) {
    case Imported:
        QVERIFY(rig_->dialogs.Shown.empty());
        VerifyImported();
        break;
    case ErrorBox:
        QCOMPARE(rig_->dialogs.ErrorTexts(), QStringList{ErrorTextFor(paths[errorFor])});
        VerifyUntouched();
        break;
    case Ignored:
        QVERIFY(rig_->dialogs.Shown.empty());
        VerifyUntouched();
        break;
    }
}

void TestGuiSnapshotDrop::demoSnapshotFillsEveryPage()
{
    // A window that has shown nothing yet: all records zero.
    rig_ = std::make_unique<GuiRig>();
    const QString path = SourceDir() + QStringLiteral("/examples/demo_snapshot.txt");
    QVERIFY2(QFileInfo(path).size() == 1104, qPrintable(path));
    const QStringList emptyOwn = GuiRig::Cells(W().Ui().MeasuredValuesTable);
    const QStringList emptySettings = W().Ui().SystemSettingsTable->Column(1);

    Drop({QUrl::fromLocalFile(path)});
    QVERIFY(rig_->dialogs.Shown.empty());

    const SystemStateRecord own = DemoOwnState();
    const SystemStateRecord peer = DemoPeerState();
    const SettingsRecord settings = DemoSettings();
    QVERIFY(W().Core().OwnState() == own);
    QVERIFY(W().Core().PeerState() == peer);
    QVERIFY(W().Core().Settings() == settings);
    QCOMPARE(W().Ui().PageControl->currentWidget(), W().Ui().StateTabSheet);

    // System State page.
    QVERIFY(GuiRig::Cells(W().Ui().MeasuredValuesTable) != emptyOwn);
    QCOMPARE(GuiRig::Cells(W().Ui().MeasuredValuesTable).mid(4, 4),
             (QStringList{"B+ Voltage, V", "13.82", "0.4065", "504"}));
    QCOMPARE(W().Ui().SystemStateTable->Column(1, 1),
             (QStringList{"12", "13.80", "12", "45", "33", "0", "100", "100", "0x0000000F"}));
    QCOMPARE(W().Ui().RegulatorStateTable->Column(1, 1),
             (QStringList{"1:23:45", "Bulk", "up to 100", "14.60", "0", "100", "0.250"}));
    QVERIFY(W().Ui().SystemMessagesMemo->toPlainText().contains(QStringLiteral("Ignition Input active")));
    QVERIFY(W().Ui().SystemMessagesMemo->toPlainText().contains(QStringLiteral("Wi-Fi connected")));

    // Peer System State page.
    QVERIFY(W().Ui().PageControl->isTabVisible(W().Ui().PageControl->indexOf(W().Ui().PeerStateTabSheet)));
    QCOMPARE(GuiRig::Cells(W().Ui().PeerMeasuredValuesTable).mid(4, 4),
             (QStringList{"B+ Voltage, V", "13.80", "0.4059", "504"}));
    QCOMPARE(W().Ui().PeerSystemStateTable->Column(1, 1),
             (QStringList{"12", "13.78", "9", "39", "30", "0", "100", "100", "0x00000017"}));
    QCOMPARE(W().Ui().PeerRegulatorStateTable->Column(1, 1),
             (QStringList{"1:23:0", "Slave", "59", "14.60", "0", "100", "0.250"}));
    QVERIFY(W().Ui().PeerSystemMessagesMemo->toPlainText().contains(QStringLiteral("Regulator is Slave")));

    // Settings page.
    QVERIFY(W().Ui().SystemSettingsTable->Column(1) != emptySettings);
    QCOMPARE(W().Ui().SystemSettingsTable->Column(1).mid(WarningBatteryTemperatureRow, 9),
             (QStringList{"45", "55", "15.00", "15.50", "95", "110", "2.500", "12", "2"}));
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(WifiApAddressRow, 1), QStringLiteral("192.168.4.1"));
    // The name cell holds the whole 16-byte field, zero bytes included.
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), QStringLiteral("Port engine") + QString(5, QChar(0)));
    const int tab = ProfileTabForActiveIndex(settings.ActiveChargeProfile());
    QCOMPARE(W().Ui().ChargeProfileTabControl->currentIndex(), tab);
    QCOMPARE(W().Ui().ChargeProfilesTable->Column(1),
             (QStringList{"120", "13.20", "0", "50", "14.60", "14.90", "0", "100", "13.60", "12.90", "0", "100"}));
    QCOMPARE(W().Ui().FieldRpmChartView->Points(), CurvePointsFromRecord(settings.Curve()));

    W().SystemStateTimerTimer();
    QCOMPARE(W().Ui().PageControl->tabText(W().Ui().PageControl->indexOf(W().Ui().PeerStateTabSheet)),
             QStringLiteral("Peer System State [ Stbd engine ]"));
}

void TestGuiSnapshotDrop::settingsShownForSnapshotSystemVoltage_data()
{
    QTest::addColumn<int>("shownVoltage");    // own regulator shown before the drop
    QTest::addColumn<int>("snapshotVoltage"); // own regulator in the snapshot
    QTest::newRow("12 V over 12 V") << 12 << 12;
    QTest::newRow("24 V snapshot over 12 V") << 12 << 24;
    QTest::newRow("12 V snapshot over 24 V") << 24 << 12;
    QTest::newRow("24 V snapshot over a fresh window") << 0 << 24;
}

void TestGuiSnapshotDrop::settingsShownForSnapshotSystemVoltage()
{
    QFETCH(int, shownVoltage);
    QFETCH(int, snapshotVoltage);
    if (shownVoltage == 0) {
        rig_ = std::make_unique<GuiRig>();
    } else {
        SystemStateRecord shown = rig_->sim.OwnState;
        shown.SetDetectedSystemVoltage(uint16_t(shownVoltage));
        rig_->sim.OwnState = shown;
        W().USBTimerTimer();
        QCOMPARE(int(W().Core().OwnState().DetectedSystemVoltage()), shownVoltage);
    }
    SnapshotRecord snap;
    SystemStateRecord own = SnapOwn();
    own.SetDetectedSystemVoltage(uint16_t(snapshotVoltage));
    snap.SetOwnState(own);
    snap.SetPeerState(SnapPeer());
    snap.SetSettings(EditorSettings());
    const QString path = dir_->filePath(QStringLiteral("snap.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(snap.ToByteArray());
    }
    W().HandleDroppedFile(path);
    QVERIFY(W().Core().OwnState() == own);

    // The settings read as they would from that installation: voltage rows
    // in the terms of the snapshot's own regulator.
    const bool at24 = snapshotVoltage == 24;
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(WarningBatteryVoltageRow, 1), QLatin1String(at24 ? "30.00" : "15.00"));
    QCOMPARE(W().Ui().SystemSettingsTable->Cell(FaultBatteryVoltageRow, 1), QLatin1String(at24 ? "31.00" : "15.50"));
    const QStringList at12Texts{"120", "13.20", "0", "50", "14.60", "14.90", "0", "100", "13.60", "12.90", "0", "100"};
    const QStringList at24Texts{"120", "26.40", "0", "50", "29.20", "29.80", "0", "100", "27.20", "25.80", "0", "100"};
    QCOMPARE(W().Ui().ChargeProfilesTable->Column(1), at24 ? at24Texts : at12Texts);

    // So saving them right away gives back the snapshot's settings unchanged.
    const QString saved = dir_->filePath(QStringLiteral("saved.krv"));
    rig_->dialogs.AnswerFile(saved);
    W().SaveSettingsToFileClick();
    QVERIFY(rig_->dialogs.ErrorTexts().isEmpty());
    QFile f(saved);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), EditorSettings().ToByteArray());
}

QTEST_MAIN(TestGuiSnapshotDrop)
#include "test_gui_snapshot_drop.moc"
