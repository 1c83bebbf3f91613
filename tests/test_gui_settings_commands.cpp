// The settings commands of the "System" menu as the main window runs them:
// save and load with their dialogs and failure boxes, the read on showing
// the "Settings" page, reset, and how read, write and reset hold the timers.
#include "compare/settings_compare_widget.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/settings_page_rows.h"
#include "settings/system_settings_rows.h"
#include "backup/restore_dialog_widget.h"
#include "rig/gui_suite.h"
#include "rig/request_log.h"
#include "rig/realistic_settings.h"
#include "rig/test_support.h"
#include "station/application.h"
#include "views/user_guide_widget.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QScrollBar>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTimer>
#include <QPushButton>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using S = SettingsRecord;
using Image = std::array<uint8_t, 576>;

const QString Filter = QStringLiteral("K-ROVA X Settings File|*.krv");






// The realistic record with another name and active profile, so a test can
// tell a file's settings from the regulator's.
SettingsRecord FileRecord()
{
    SettingsRecord r = realistic::Record();
    r.SetRawBytes(S::DeviceNameAt, S::DeviceNameSize, QByteArray("From file"));
    r.SetActiveChargeProfile(3);
    r.SetU8(S::ProfileOffset(3) + 30, 0x5C); // a reserved byte of profile 3
    return r;
}

// The regulator's factory settings for the reset tests.
SettingsRecord FactoryRecord()
{
    SettingsRecord r = realistic::Record();
    r.SetRawBytes(S::DeviceNameAt, S::DeviceNameSize, QByteArray("Factory"));
    r.SetActiveChargeProfile(0);
    r.SetF32(S::WarningBatteryTemperatureAt, 40.0f);
    return r;
}

QString FieldText(const char* text, int size)
{
    QString s = QString::fromLatin1(text);
    return s + QString(size - s.size(), QChar(0));
}

// Types into a cell and presses Return, as a user does.
bool Enter(StringGrid* grid, int row, const QString& text)
{
    grid->setCurrentCell(row, 1);
    grid->editItem(grid->item(row, 1));
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, 1)));
    if (!editor)
        return false;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate closes the editor through a queued call
    return true;
}

// What the window looked like at one request to the regulator.
struct Moment {
    int code;
    int index;
    bool usbTimer;
    bool inetTimer;
    bool hourglass;
    QString status;
    bool settingsPageShown;
};

// Everything the user sees of the settings, for checking that a failed
// command changed nothing.
struct EditorTexts {
    QStringList system;
    QStringList profile;
    CurvePoints curve;
    int tab;
    QWidget* page;

    static EditorTexts Of(TMainFormKrv& w)
    {
        return {GuiRig::Cells(w.Ui().SystemSettingsTable), GuiRig::Cells(w.Ui().ChargeProfilesTable),
                w.Ui().FieldRpmChartView->Points(), w.Ui().ChargeProfileTabControl->currentIndex(),
                w.Ui().PageControl->currentWidget()};
    }
};

} // namespace

class SettingsCommandsTest : public GuiSuite {
    Q_OBJECT

private slots:
    void saveThenLoadGivesSameBytes();
    void saveTakesEditorsFirst();
    void saveCancelledTakesNothing();
    void saveFailureShowsMessage();
    void loadFile_data();
    void loadFile();
    void pageWritesWhatTheToolWrites_data();
    void pageWritesWhatTheToolWrites();
    void loadFailureChangesNothing_data();
    void loadFailureChangesNothing();
    void questionsBeforeSettingsGoOut_data();
    void questionsBeforeSettingsGoOut();
    void exitWithUnwrittenEdits_data();
    void exitWithUnwrittenEdits();

    void showingSettingsPageReads_data();
    void showingSettingsPageReads();
    void loadThenShowSettingsPage_data();
    void loadThenShowSettingsPage();
    void incompleteReadKeepsRecord();

    void resetRefusedWhileTimerStopped();
    void resetSendsOneRequestThenReads();
    void resetShowsLinkStatusBeforeRead_data();
    void resetShowsLinkStatusBeforeRead();

    void readWriteHoldTheTimers_data();
    void readWriteHoldTheTimers();

    void backupBeforeReplacing_data();
    void backupBeforeReplacing();
    void restoreFromBackup();
    void compareWithFile_data();
    void compareWithFile();
    void serviceReport_data();
    void serviceReport();
    void fileDialogFilters();
    void keyboard();
    void userGuidePath_data();
    void userGuidePath();
    void userGuideWindow();

private:
    static void ReadFrom(GuiRig& rig, const Image& image);
    // Logs the window's state at every request the regulator takes.
    static void Observe(GuiRig& rig, std::vector<Moment>& log, bool dropResetAnswer = false);
};

void SettingsCommandsTest::ReadFrom(GuiRig& rig, const Image& image)
{
    rig.sim.SettingsImage = image;
    if (!rig.W().Core().Usb().Session().IsDeviceOpen())
        rig.Connect();
    rig.W().ReadAllSettingsFromSystemClick();
    rig.StopTimers();
}

void SettingsCommandsTest::Observe(GuiRig& rig, std::vector<Moment>& log, bool dropResetAnswer)
{
    TMainFormKrv* w = rig.window.get();
    rig.sim.DropAnswerIf = [w, &log, dropResetAnswer](const ReportBuffer& request) {
        log.push_back({request[0], request[1], w->Ui().USBTimer->isActive(), w->Ui().INETTimer->isActive(),
                       QApplication::overrideCursor() != nullptr, w->StatusText(),
                       w->Ui().PageControl->currentWidget() == w->Ui().SettingsTabSheet});
        return dropResetAnswer && request[0] == ResetSettingsToDefaults;
    };
}

// --- Save and load ----------------------------------------------------------------

void SettingsCommandsTest::saveThenLoadGivesSameBytes()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image(FileRecord()));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("boat.krv"));
    const std::size_t beforeSave = rig.sim.Requests.size();

    rig.dialogs.AnswerFile(path);
    w.SaveSettingsToFileClick();
    QCOMPARE(rig.sim.Requests.size(), beforeSave);
    QCOMPARE(int(rig.dialogs.Shown.size()), 1);
    const ShownDialog save = rig.dialogs.Shown[0];
    QCOMPARE(save.kind, ShownDialog::SaveFile);
    QCOMPARE(save.caption, QStringLiteral("Save Settings To File"));
    QCOMPARE(save.file.filter, Filter);
    QCOMPARE(save.file.defaultSuffix, QStringLiteral("krv"));
    QVERIFY(!save.file.mustExist);
    const QByteArray saved = ReadAll(path);
    QCOMPARE(saved, FileRecord().ToByteArray());

    // The regulator's settings replace the record; the file brings it back.
    ReadFrom(rig, realistic::Image());
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("Salty Dog 2", 16));
    w.Ui().PageControl->setCurrentWidget(w.Ui().StateTabSheet);
    const std::size_t beforeLoad = rig.sim.Requests.size();
    rig.dialogs.AnswerFile(path);
    w.LoadSettingsFromFileClick();
    QCOMPARE(int(rig.dialogs.Shown.size()), 2);
    const ShownDialog open = rig.dialogs.Shown[1];
    QCOMPARE(open.kind, ShownDialog::OpenFile);
    QCOMPARE(open.caption, QStringLiteral("Load Settings From File"));
    QCOMPARE(open.file.filter, Filter);
    QCOMPARE(open.file.defaultSuffix, QStringLiteral("krv"));
    QVERIFY(open.file.mustExist);
    QCOMPARE(w.Core().Settings().ToByteArray(), saved);
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("From file", 16));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("3 - FireFly"));
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 3);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(WarmUpDurationRow, 1), QStringLiteral("690"));
    // Neither command talks to the regulator; the load shows the page
    // without the read that the user's page change runs.
    QCOMPARE(rig.sim.Requests.size(), beforeLoad);
    QVERIFY(rig.dialogs.ErrorTexts().isEmpty());
}

void SettingsCommandsTest::saveTakesEditorsFirst()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    QVERIFY(Enter(w.Ui().SystemSettingsTable, WarningBatteryTemperatureRow, QStringLiteral("75")));
    QVERIFY(Enter(w.Ui().ChargeProfilesTable, BulkMaximumFieldRow, QStringLiteral("300")));
    CurvePoints curve = w.Ui().FieldRpmChartView->Points();
    curve[7] = 55.7; // as a drag leaves it
    w.Ui().FieldRpmChartView->SetPoints(curve);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("edited.krv"));
    rig.dialogs.AnswerFile(path);
    w.SaveSettingsToFileClick();

    SettingsRecord expected = realistic::Record();
    expected.SetF32(S::WarningBatteryTemperatureAt, 60.0f);
    expected.SetU8(S::ProfileOffset(2) + ChargeProfile::BulkMaximumFieldAt, 44);
    expected.SetU8(S::FieldRpmCurveAt + 7, 55);
    QCOMPARE(ReadAll(path), expected.ToByteArray());
    QCOMPARE(w.Core().Settings().ToByteArray(), expected.ToByteArray());
    // The edit, once entered, shows what is saved.
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("60"));
}

void SettingsCommandsTest::saveCancelledTakesNothing()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    QVERIFY(Enter(w.Ui().SystemSettingsTable, WarningBatteryTemperatureRow, QStringLiteral("75")));
    QTemporaryDir dir;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    rig.dialogs.AnswerCancel();
    w.SaveSettingsToFileClick();
    QDir::setCurrent(previousDir);
    QCOMPARE(int(rig.dialogs.Shown.size()), 1);
    QCOMPARE(rig.dialogs.PendingAnswers(), 0);
    QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    QVERIFY(rig.dialogs.ErrorTexts().isEmpty());
}

void SettingsCommandsTest::saveFailureShowsMessage()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no such folder/boat.krv"));
    rig.dialogs.AnswerFile(path);
    w.SaveSettingsToFileClick();
    QCOMPARE(int(rig.dialogs.Shown.size()), 2);
    const ShownDialog box = rig.dialogs.Shown[1];
    QCOMPARE(box.kind, ShownDialog::Error);
    QCOMPARE(box.caption, QStringLiteral("Norvelle K-ROVA X Utility v7"));
    const QString start = QStringLiteral("Cannot create file \"") + QDir::toNativeSeparators(path) + QStringLiteral("\". ");
    QVERIFY2(box.text.startsWith(start), qPrintable(box.text));
    QVERIFY(box.text.size() > start.size() + 1); // the system's reason follows
    QVERIFY(box.text.endsWith(QLatin1Char('.')));
    QVERIFY(!QFile::exists(path));
}

void SettingsCommandsTest::loadFile_data()
{
    QTest::addColumn<int>("extra");    // bytes after the 540
    QTest::addColumn<bool>("confirm"); // the answer to the warning about the size
    QTest::newRow("540 bytes") << 0 << true;
    QTest::newRow("541 bytes") << 1 << true;
    QTest::newRow("4096 bytes") << 4096 - 540 << true;
    QTest::newRow("4096 bytes, cancelled") << 4096 - 540 << false;
}

void SettingsCommandsTest::loadFile()
{
    QFETCH(int, extra);
    QFETCH(bool, confirm);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.krv"));
    QVERIFY(WriteAll(path, FileRecord().ToByteArray() + QByteArray(extra, '\x7F')));
    rig.dialogs.AnswerFile(path);
    if (extra > 0)
        confirm ? rig.dialogs.AnswerYes() : rig.dialogs.AnswerCancel();
    w.LoadSettingsFromFileClick();
    QVERIFY(rig.dialogs.ErrorTexts().isEmpty());
    // A file of another size than a settings file's is loaded only when the
    // user confirms the warning that names its size.
    QCOMPARE(int(rig.dialogs.Shown.size()), extra > 0 ? 2 : 1);
    if (extra > 0) {
        QCOMPARE(rig.dialogs.Shown[1].kind, ShownDialog::WarningYesCancel);
        QVERIFY2(rig.dialogs.Shown[1].text.contains(QStringLiteral("has %1 bytes, but a settings file has 540 bytes")
                                                         .arg(540 + extra)),
                 qPrintable(rig.dialogs.Shown[1].text));
    }
    if (!confirm) {
        QCOMPARE(w.Core().Settings(), SettingsRecord());
        return;
    }
    QCOMPARE(w.Core().Settings().ToByteArray(), FileRecord().ToByteArray());
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 3);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(BulkTargetVoltageRow, 1), QStringLiteral("14.25"));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("48"));
    QCOMPARE(w.Ui().FieldRpmChartView->Points()[11], 100.0);
    QVERIFY(rig.sim.Requests.empty());
}

void SettingsCommandsTest::pageWritesWhatTheToolWrites_data()
{
    QTest::addColumn<int>("voltage");
    QTest::newRow("12 V") << 12;
    QTest::newRow("24 V") << 24;
}

void SettingsCommandsTest::pageWritesWhatTheToolWrites()
{
    // A file of values out of every range: the page and the command-line
    // tool take it to the same bytes, which are not the file's.
    QFETCH(int, voltage);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.OwnState.SetDetectedSystemVoltage(uint16_t(voltage));
    rig.Connect();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.krv"));
    const SettingsRecord file = Patterned<SettingsRecord>(7, 31);
    QVERIFY(WriteAll(path, file.ToByteArray()));
    rig.dialogs.AnswerFile(path);
    rig.dialogs.AnswerYes(); // take them, not plausible as they are
    w.LoadSettingsFromFileClick();
    rig.dialogs.AnswerYes(); // another device version
    w.WriteAllSettingsToSystemClick();
    const SettingsRecord taken = WithDeparturesFixed(file, CheckSettings(file, uint16_t(voltage)));
    const QByteArray tool = SettingsAsPageWrites(taken, uint16_t(voltage)).ToByteArray();
    QVERIFY(tool != file.ToByteArray());
    QCOMPARE(rig.sim.Settings().ToByteArray(), tool);
}

void SettingsCommandsTest::loadFailureChangesNothing_data()
{
    QTest::addColumn<int>("size"); // -1: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("539 bytes") << 539 << "Stream read error. The file \"%1\" has 539 bytes; a settings file has 540 bytes.";
    QTest::newRow("10 bytes") << 10 << "Stream read error. The file \"%1\" has 10 bytes; a settings file has 540 bytes.";
    QTest::newRow("empty file") << 0 << "Stream read error. The file \"%1\" has 0 bytes; a settings file has 540 bytes.";
    QTest::newRow("missing file") << -1 << "Cannot open file";
}

// Settings that are not plausible are taken only when the user says so, and
// settings of another device version go out only then.
void SettingsCommandsTest::questionsBeforeSettingsGoOut_data()
{
    QTest::addColumn<int>("activeProfile");  // of the file
    QTest::addColumn<int>("version");        // of the file
    QTest::addColumn<QStringList>("answers"); // "yes", "cancel": the questions in order
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("written");
    QTest::newRow("plausible, same version: no question") << 3 << 12 << QStringList{} << true << true;
    QTest::newRow("profile 14, declined") << 14 << 12 << QStringList{"cancel"} << false << false;
    QTest::newRow("profile 14, taken") << 14 << 12 << QStringList{"yes"} << true << true;
    QTest::newRow("version 95, declined") << 3 << 95 << QStringList{"cancel"} << true << false;
    QTest::newRow("version 95, confirmed") << 3 << 95 << QStringList{"yes"} << true << true;
}

void SettingsCommandsTest::questionsBeforeSettingsGoOut()
{
    QFETCH(int, activeProfile);
    QFETCH(int, version);
    QFETCH(QStringList, answers);
    QFETCH(bool, taken);
    QFETCH(bool, written);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    SettingsRecord file = FileRecord();
    file.SetU8(S::ActiveChargeProfileAt, uint8_t(activeProfile));
    file.SetU8(S::DeviceVersionAt, uint8_t(version));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.krv"));
    QVERIFY(WriteAll(path, file.ToByteArray()));
    rig.dialogs.AnswerFile(path);
    for (const QString& a : answers)
        a == QLatin1String("yes") ? rig.dialogs.AnswerYes() : rig.dialogs.AnswerCancel();
    const int writesBefore = rig.sim.AppliedWrites;
    w.LoadSettingsFromFileClick();
    if (taken)
        w.WriteAllSettingsToSystemClick();
    rig.StopTimers();
    QStringList questions;
    for (const ShownDialog& d : rig.dialogs.Shown)
        if (d.kind == ShownDialog::WarningYesCancel)
            questions << d.text;
    QCOMPARE(questions.size(), answers.size());
    if (activeProfile > 7)
        QCOMPARE(questions.value(0), QStringLiteral("The file \"%1\" holds settings that are not plausible:\nActive "
                                                    "Charge Profile Number [0..7]: 14 (the editors store 0 - FLA)\r"
                                                    "Take them as the editors would store them?")
                                         .arg(QDir::toNativeSeparators(path)));
    if (version != 12)
        QCOMPARE(questions.value(0), QStringLiteral("These settings are for device version 95, but Port engine has "
                                                    "device version 12.\rWrite them to Port engine all the same?"));
    QCOMPARE(w.Core().Settings().DeviceVersion(), taken ? uint8_t(version) : uint8_t(12));
    QCOMPARE(rig.sim.AppliedWrites, writesBefore + (written ? 1 : 0));
    if (written) {
        // What was written is plausible and confirmed by reading it back.
        QVERIFY(CheckSettings(rig.sim.Settings()).isEmpty());
        QCOMPARE(int(rig.sim.Settings().ActiveChargeProfile()), activeProfile > 7 ? 0 : activeProfile);
        QCOMPARE(w.Ui().MessagePanel->text(), QStringLiteral(" Settings written to Port engine"));
    }
}

// Exit and closing the window ask about settings typed and not written.
void SettingsCommandsTest::exitWithUnwrittenEdits_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("answer"); // save, discard, cancel
    QTest::addColumn<bool>("closes");
    QTest::newRow("nothing typed: no question") << false << "" << true;
    QTest::newRow("typed, discard") << true << "discard" << true;
    QTest::newRow("typed, cancel") << true << "cancel" << false;
    QTest::newRow("typed, save") << true << "save" << true;
}

void SettingsCommandsTest::exitWithUnwrittenEdits()
{
    QFETCH(bool, edit);
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    rig.StopTimers();
    if (edit)
        QVERIFY(Enter(w.Ui().SystemSettingsTable, WarningBatteryTemperatureRow, QStringLiteral("55")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.krv"));
    if (answer == QLatin1String("save")) {
        rig.dialogs.AnswerSave();
        rig.dialogs.AnswerFile(path);
    } else if (answer == QLatin1String("discard")) {
        rig.dialogs.AnswerDiscard();
    } else if (answer == QLatin1String("cancel")) {
        rig.dialogs.AnswerCancel();
    }
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Exit1Click();
    QCOMPARE(!w.isVisible(), closes);
    QCOMPARE(int(rig.dialogs.Shown.size()), answer.isEmpty() ? 0 : (answer == QLatin1String("save") ? 2 : 1));
    if (!answer.isEmpty())
        QCOMPARE(rig.dialogs.Shown.front().text,
                 QStringLiteral("The Settings page holds changes that were not written to the regulator.\rSave them "
                                "to a settings file before the program ends?"));
    if (answer == QLatin1String("save")) {
        const QByteArray bytes = ReadAll(path);
        QCOMPARE(bytes.size(), 540);
        SettingsRecord saved;
        saved.Assign(reinterpret_cast<const uint8_t*>(bytes.constData()));
        QCOMPARE(saved.WarningBatteryTemperature(), 55.0f);
    }
}

void SettingsCommandsTest::loadFailureChangesNothing()
{
    QFETCH(int, size);
    QFETCH(QString, message);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    w.Ui().PageControl->setCurrentWidget(w.Ui().StateTabSheet);
    const EditorTexts before = EditorTexts::Of(w);
    const std::size_t requests = rig.sim.Requests.size();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.krv"));
    if (size >= 0)
        QVERIFY(WriteAll(path, FileRecord().ToByteArray().left(size)));
    rig.dialogs.AnswerFile(path);
    w.LoadSettingsFromFileClick();

    QCOMPARE(int(rig.dialogs.Shown.size()), 2);
    const ShownDialog box = rig.dialogs.Shown[1];
    QCOMPARE(box.kind, ShownDialog::Error);
    QCOMPARE(box.caption, QStringLiteral("Norvelle K-ROVA X Utility v7"));
    if (size >= 0) {
        QCOMPARE(box.text, message.arg(QDir::toNativeSeparators(path)));
    } else {
        const QString start = QStringLiteral("Cannot open file \"") + QDir::toNativeSeparators(path) + QStringLiteral("\". ");
        QVERIFY2(box.text.startsWith(start), qPrintable(box.text));
        QVERIFY(box.text.size() > start.size() + 1);
    }
    QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
    const EditorTexts after = EditorTexts::Of(w);
    QCOMPARE(after.page, w.Ui().StateTabSheet);
    QCOMPARE(after.system, before.system);
    QCOMPARE(after.profile, before.profile);
    QCOMPARE(after.curve, before.curve);
    QCOMPARE(after.tab, before.tab);
    QCOMPARE(rig.sim.Requests.size(), requests);
}

// --- The read on showing the "Settings" page ------------------------------------

void SettingsCommandsTest::showingSettingsPageReads_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("click"); // by the page's tab, else the handler directly
    QTest::addColumn<bool>("reads");
    QTest::newRow("Settings") << 1 << false << true;
    QTest::newRow("Settings, clicked") << 1 << true << true;
    QTest::newRow("System State") << 0 << false << false;
    QTest::newRow("CAN bus") << 2 << false << false;
    QTest::newRow("Peer System State") << 3 << false << false;
    QTest::newRow("Peer System State, clicked") << 3 << true << false;
}

void SettingsCommandsTest::showingSettingsPageReads()
{
    QFETCH(int, page);
    QFETCH(bool, click);
    QFETCH(bool, reads);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.SettingsImage = realistic::Image();
    rig.Connect();
    const std::size_t before = rig.sim.Requests.size();
    if (click) {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTabBar* bar = w.Ui().PageControl->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(page).center());
        QCOMPARE(w.Ui().PageControl->currentIndex(), page);
    } else {
        {
            const QSignalBlocker block(w.Ui().PageControl);
            w.Ui().PageControl->setCurrentIndex(page);
        }
        w.PageControlChange(page);
    }
    rig.StopTimers();
    // One read, and no second one from the read's own page selection.
    QCOMPARE(RequestsSince(rig.sim, before), reads ? ReadRequests() : QList<Request>());
    if (reads) {
        QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
        QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("Salty Dog 2", 16));
        QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
    } else {
        QCOMPARE(w.Core().Settings().ToByteArray(), SettingsRecord().ToByteArray());
    }
}

void SettingsCommandsTest::loadThenShowSettingsPage_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("no regulator") << false;
    QTest::newRow("regulator attached") << true;
}

void SettingsCommandsTest::loadThenShowSettingsPage()
{
    QFETCH(bool, present);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.Present = present;
    rig.sim.SettingsImage = realistic::Image();
    if (present)
        rig.Connect();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("boat.krv"));
    QVERIFY(WriteAll(path, FileRecord().ToByteArray()));
    rig.dialogs.AnswerFile(path);
    w.LoadSettingsFromFileClick();
    QCOMPARE(w.Core().Settings().ToByteArray(), FileRecord().ToByteArray());

    // The user leaves the page and comes back.
    w.Ui().PageControl->setCurrentWidget(w.Ui().StateTabSheet);
    const int settingsPage = w.Ui().PageControl->indexOf(w.Ui().SettingsTabSheet);
    w.Ui().PageControl->setCurrentIndex(settingsPage);
    w.PageControlChange(settingsPage);
    QVERIFY(w.Ui().USBTimer->isActive());
    QVERIFY(w.Ui().INETTimer->isActive());
    rig.StopTimers();
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
    if (present) {
        QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
        QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("Salty Dog 2", 16));
        QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 2);
        QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
    } else {
        QCOMPARE(w.Core().Settings().ToByteArray(), FileRecord().ToByteArray());
        QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("From file", 16));
        QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 3);
        QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));
        QVERIFY(rig.sim.Requests.empty());
    }
    QVERIFY(rig.dialogs.ErrorTexts().isEmpty());
}

void SettingsCommandsTest::incompleteReadKeepsRecord()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    const Image next = realistic::Image(FactoryRecord());
    rig.sim.UnplugAfterExchanges = 4; // blocks 0 to 3 arrive, then the regulator is gone
    ReadFrom(rig, next);
    QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("Salty Dog 2", 16));
    QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));
    // Nor does the transfer buffer take the blocks that came: it holds the
    // last complete read.
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(w.Core().Usb().Protocol().SettingsTransferBuffer.data()), 576),
             QByteArray(reinterpret_cast<const char*>(realistic::Image().data()), 576));
}

// --- Reset ------------------------------------------------------------------------

void SettingsCommandsTest::resetRefusedWhileTimerStopped()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.Connect();
    rig.StopTimers();
    w.Ui().INETTimer->start();
    const std::size_t before = rig.sim.Requests.size();
    const QString status = w.StatusText();
    w.ResetControlBoxSettingsToDefaultValuesClick();
    QCOMPARE(RequestsSince(rig.sim, before), QList<Request>());
    QCOMPARE(rig.sim.ResetCount, 0);
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().StateTabSheet);
    QCOMPARE(w.StatusText(), status);
    QVERIFY(!w.Ui().USBTimer->isActive());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void SettingsCommandsTest::resetSendsOneRequestThenReads()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.SettingsImage = realistic::Image();
    rig.sim.DefaultsImage = realistic::Image(FactoryRecord());
    rig.Connect();
    std::vector<Moment> log;
    Observe(rig, log);
    w.Ui().USBTimer->start();
    w.Ui().INETTimer->start();
    w.ResetControlBoxSettingsToDefaultValuesClick();

    QCOMPARE(int(log.size()), 10);
    QCOMPARE(Request(log[0].code, log[0].index), Request(4, 0));
    for (int n = 0; n < 9; ++n)
        QCOMPARE(Request(log[std::size_t(n + 1)].code, log[std::size_t(n + 1)].index), Request(2, n));
    QCOMPARE(rig.sim.ResetCount, 1);
    // The reset holds only the polling; the page is in front from the start.
    QVERIFY(!log[0].usbTimer);
    QVERIFY(log[0].inetTimer);
    QVERIFY(log[0].hourglass);
    QVERIFY(log[0].settingsPageShown);
    for (std::size_t i = 1; i < log.size(); ++i) {
        QVERIFY(!log[i].usbTimer);
        QVERIFY(!log[i].inetTimer);
        QVERIFY(log[i].hourglass);
    }
    // The reset's own link status is shown before the read runs.
    QCOMPARE(log[1].status, QStringLiteral("65 bytes received"));

    QCOMPARE(w.Core().Settings().ToByteArray(), FactoryRecord().ToByteArray());
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(DeviceNameRow, 1), FieldText("Factory", 16));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("40"));
    QCOMPARE(w.Ui().SystemSettingsTable->Cell(ActiveChargeProfileRow, 1), QStringLiteral("0 - FLA"));
    QCOMPARE(w.Ui().ChargeProfileTabControl->currentIndex(), 0);
    QCOMPARE(w.Ui().ChargeProfilesTable->Cell(WarmUpDurationRow, 1), QStringLiteral("600"));
    QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
    QVERIFY(w.Ui().USBTimer->isActive());
    QVERIFY(w.Ui().INETTimer->isActive());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    rig.StopTimers();
}

void SettingsCommandsTest::resetShowsLinkStatusBeforeRead_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("resetStatus");
    QTest::addColumn<QString>("finalStatus");
    QTest::newRow("reset unanswered") << true << "K-ROVA did not answer" << "65 bytes received";
    QTest::newRow("no regulator") << false << "K-ROVA not found" << "K-ROVA not found";
}

void SettingsCommandsTest::resetShowsLinkStatusBeforeRead()
{
    QFETCH(bool, present);
    QFETCH(QString, resetStatus);
    QFETCH(QString, finalStatus);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.SettingsImage = realistic::Image();
    rig.sim.DefaultsImage = realistic::Image(FactoryRecord());
    rig.Connect();
    ReadFrom(rig, realistic::Image());
    rig.sim.Present = present;
    std::vector<Moment> log;
    Observe(rig, log, true);
    w.Ui().USBTimer->start();
    w.ResetControlBoxSettingsToDefaultValuesClick();
    QVERIFY(w.Ui().USBTimer->isActive());
    QVERIFY(w.Ui().INETTimer->isActive());
    rig.StopTimers();
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
    QCOMPARE(w.StatusText(), finalStatus);
    if (present) {
        // Unanswered, but the regulator did reset; the read runs anyway.
        QCOMPARE(int(log.size()), 10);
        QCOMPARE(log[0].code, 4);
        QCOMPARE(log[1].status, resetStatus);
        QCOMPARE(w.Core().Settings().ToByteArray(), FactoryRecord().ToByteArray());
    } else {
        QVERIFY(log.empty());
        QCOMPARE(w.Core().Settings().ToByteArray(), realistic::Record().ToByteArray());
    }
}

// --- Timers -------------------------------------------------------------------------

void SettingsCommandsTest::readWriteHoldTheTimers_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("running");
    QTest::newRow("read, timers running") << false << true;
    QTest::newRow("read, timers stopped") << false << false;
    QTest::newRow("write, timers running") << true << true;
    QTest::newRow("write, timers stopped") << true << false;
}

void SettingsCommandsTest::readWriteHoldTheTimers()
{
    QFETCH(bool, write);
    QFETCH(bool, running);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image());
    std::vector<Moment> log;
    Observe(rig, log);
    if (running) {
        // Due at once: any chance to poll in the middle would be taken.
        w.Ui().USBTimer->setInterval(0);
        w.Ui().USBTimer->start();
        w.Ui().INETTimer->start();
    }
    if (write)
        w.WriteAllSettingsToSystemClick();
    else
        w.ReadAllSettingsFromSystemClick();
    QVERIFY(w.Ui().USBTimer->isActive());
    QVERIFY(w.Ui().INETTimer->isActive());
    rig.StopTimers();
    QVERIFY(QApplication::overrideCursor() == nullptr);

    QList<Request> seen;
    for (const Moment& m : log) {
        seen << Request(m.code, m.index);
        QVERIFY(!m.usbTimer);
        QVERIFY(!m.inetTimer);
        QVERIFY(m.hourglass);
    }
    // A write is read back before the timers go on.
    QCOMPARE(seen, write ? WriteRequests() + ReadRequests() : ReadRequests());
    QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
}

// --- Backups, compare, report -----------------------------------------------------

// Before a write or a reset the settings it replaces go to the backups folder:
// those of the last complete read, or, without one, what the program held.
void SettingsCommandsTest::backupBeforeReplacing_data()
{
    QTest::addColumn<int>("operation"); // 0 write, 1 reset, 2 calibration write
    QTest::addColumn<bool>("readFirst");
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QString>("nameEnd");
    QTest::newRow("write after a read") << 0 << true << true << "_Port-engine_write.krv";
    QTest::newRow("write without a read") << 0 << false << true << "_Port-engine_write.krv";
    QTest::newRow("reset after a read") << 1 << true << true << "_Port-engine_reset.krv";
    QTest::newRow("calibration write") << 2 << true << true << "_Port-engine_calibration-write.krv";
    QTest::newRow("folder not writable") << 0 << true << false << "";
}

void SettingsCommandsTest::backupBeforeReplacing()
{
    QFETCH(int, operation);
    QFETCH(bool, readFirst);
    QFETCH(bool, folderWritable);
    QFETCH(QString, nameEnd);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.OwnState.SetRegulatorName("Port engine");
    MeasuredChannel supply = rig.sim.OwnState.ChannelAt(Channel::PowerSupplyVoltage);
    supply.Signal = 2.4f;
    supply.Value = 12.0f;
    rig.sim.OwnState.SetChannel(Channel::PowerSupplyVoltage, supply);
    rig.Connect();
    const Image before = realistic::Image();
    if (readFirst)
        ReadFrom(rig, before);
    if (!folderWritable)
        w.Core().SettingsOwner().UseBackupsFolder(QStringLiteral("/proc/no-backups-here"));
    w.Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
    const int writesBefore = rig.sim.AppliedWrites;
    const QByteArray held = rig.sim.Settings().ToByteArray();
    if (!readFirst)
        rig.dialogs.AnswerYes(); // the program's zeros carry another device version than the regulator's
    if (operation == 0) {
        w.WriteAllSettingsToSystemClick();
    } else if (operation == 1) {
        w.Ui().USBTimer->start();
        w.ResetControlBoxSettingsToDefaultValuesClick();
    } else {
        w.Ui().USBTimer->start();
        rig.dialogs.AnswerText(QStringLiteral("12.3"));
        rig.dialogs.AnswerYes();
        w.CalibrateInternalPowerSupplyClick();
    }
    rig.StopTimers();
    // The operation went through in every case.
    if (operation == 1)
        QCOMPARE(rig.sim.ResetCount, 1);
    else
        QCOMPARE(rig.sim.AppliedWrites, writesBefore + 1);
    const QStringList files = QDir(rig.backups.path()).entryList(QDir::Files);
    if (!folderWritable) {
        QVERIFY(files.isEmpty());
        QVERIFY2(!w.Ui().MessagePanel->isHidden()
                     && w.Ui().MessagePanel->text().startsWith(QStringLiteral(" Settings backup not saved: ")),
                 qPrintable(w.Ui().MessagePanel->text()));
        return;
    }
    QCOMPARE(files.size(), 1);
    // Named by the time (the test clock starts at noon on 2026-12-07), the
    // regulator and the operation.
    QVERIFY2(files[0].startsWith(QStringLiteral("2026-12-07_1200")) && files[0].endsWith(nameEnd), qPrintable(files[0]));
    const QByteArray saved = ReadAll(QDir(rig.backups.path()).filePath(files[0]));
    QCOMPARE(saved.size(), 540);
    if (readFirst)
        QCOMPARE(saved, QByteArray(reinterpret_cast<const char*>(before.data()), 540));
    else
        QCOMPARE(saved, held); // read before the write, since nothing was known of it
}

// A write, then its backup written back: the dialog shows what goes back, and
// the restore is a write that backs up what it replaces.
void SettingsCommandsTest::restoreFromBackup()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.OwnState.SetRegulatorName("Port engine");
    rig.Connect();
    const Image before = realistic::Image();
    ReadFrom(rig, before);
    w.Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
    w.WriteAllSettingsToSystemClick();
    const QByteArray edited = rig.sim.Settings().ToByteArray();
    QVERIFY(edited != QByteArray(reinterpret_cast<const char*>(before.data()), 540));

    w.Ui().RestoreSettingsFromBackup->trigger();
    auto* dialog = w.findChild<RestoreBackupDialog*>(QStringLiteral("RestoreBackupDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->Count(), 1);
    QVERIFY2(dialog->DifferencesText().contains(
                 QRegularExpression(QStringLiteral("\nSystem settings\tWarning Battery Temperature, \u00B0C\t51\t\\d+\n"))),
             qPrintable(dialog->DifferencesText()));
    rig.dialogs.AnswerYes();
    dialog->findChild<QPushButton*>(QStringLiteral("Restore"))->click();
    rig.StopTimers();
    QCOMPARE(rig.sim.Settings().ToByteArray(), QByteArray(reinterpret_cast<const char*>(before.data()), 540));
    const QStringList files = QDir(rig.backups.path()).entryList({QStringLiteral("*_restore.krv")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(ReadAll(QDir(rig.backups.path()).filePath(files[0])), edited);
}

// The rows in which the editors differ from a file, as the page shows them.
void SettingsCommandsTest::compareWithFile_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("the file as read") << false << QStringList{};
    QTest::newRow("one system setting and one profile value edited")
        << true
        << QStringList{"System settings\tWarning Battery Temperature, \u00B0C\t51\t48",
                       "Profile 3 - FireFly\tWarm-up Duration, s\t777\t690"};
}

void SettingsCommandsTest::compareWithFile()
{
    QFETCH(bool, edit);
    QFETCH(QStringList, rows);
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    ReadFrom(rig, realistic::Image(FileRecord()));
    const QString path = TempPath(QStringLiteral("file.krv"));
    QVERIFY(WriteAll(path, FileRecord().ToByteArray()));
    if (edit) {
        w.Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
        w.Ui().ChargeProfilesTable->SetCell(WarmUpDurationRow, 1, QStringLiteral("777"));
    }
    rig.dialogs.AnswerFile(path);
    w.Ui().CompareSettingsWithFile->trigger();
    auto* window = w.findChild<SettingsCompareDialog*>(QStringLiteral("CompareSettingsDialog"));
    QVERIFY(window);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("NoDifferences")) != nullptr, rows.isEmpty());
    const QStringList lines = window->Text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("Section\tSetting\tEditors\tfile.krv"));
    QCOMPARE(lines.mid(1), rows);
    // Comparing takes nothing into the record.
    QCOMPARE(w.Core().Settings(), FileRecord());
    window->close();
}

// The curve's bytes and the labels its chart shows at the points, left to
// right: where the labels can go differs with the curve's shape.
void SettingsCommandsTest::serviceReport_data()
{
    QTest::addColumn<QList<int>>("curve");
    QTest::addColumn<QString>("labels");
    QTest::newRow("rising to 100 at 6000 1/min") << QList<int>{35, 40, 48, 55, 61, 67, 74, 80, 86, 92, 97, 100}
                                                 << "35 40 48 55 61 67 74 80 86 92 97 100";
    QTest::newRow("falling from 100 at 500 1/min") << QList<int>{100, 94, 88, 82, 76, 70, 64, 58, 52, 46, 40, 34}
                                                   << "100 94 88 82 76 70 64 58 52 46 40 34";
    QTest::newRow("flat at the top") << QList<int>(12, 100) << "100 100 100 100 100 100 100 100 100 100 100 100";
    QTest::newRow("zeros, drawn at 30") << QList<int>(12, 0) << "30 30 30 30 30 30 30 30 30 30 30 30";
    QTest::newRow("zigzag") << QList<int>{30, 100, 30, 100, 30, 100, 30, 100, 30, 100, 30, 100}
                            << "30 100 30 100 30 100 30 100 30 100 30 100";
}

// The report holds what the pages show; pdftotext reads it back.
void SettingsCommandsTest::serviceReport()
{
    QFETCH(QList<int>, curve);
    QFETCH(QString, labels);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    rig.sim.OwnState.SetRegulatorName("Port engine");
    rig.sim.PeerState.SetRegulatorName("Stbd engine");
    SettingsRecord settings = realistic::Record();
    FieldRpmCurve bytes{};
    for (int i = 0; i < FieldRpmPointCount; ++i)
        bytes[std::size_t(i)] = uint8_t(curve[i]);
    settings.SetCurve(bytes);
    ReadFrom(rig, realistic::Image(settings));
    w.USBTimerTimer();
    // Typed, not written: listed apart, not as the regulator's setting.
    w.Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
    const QString path = TempPath(QStringLiteral("report.pdf"));
    rig.dialogs.AnswerText(QStringLiteral("MY Salty Dog, J. Smith"));
    rig.dialogs.AnswerFile(path);
    w.Ui().SaveServiceReport->trigger();
    QVERIFY(rig.dialogs.ErrorTexts().isEmpty());
    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(20000));
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    const QString expected[] = {
        "Service Report", "Norvelle K-ROVA X Utility v7, version 7.0", "MY Salty Dog, J. Smith", "Port engine",
        "Stbd engine", "Measured Values", "B+ Voltage, V", w.Ui().MeasuredValuesTable->Cell(1, 1),
        "Regulator Temperature, \u00B0C", "Status Code", w.Ui().SystemStateTable->Cell(9, 1), "Running Time",
        w.Ui().RegulatorStateTable->Cell(1, 1), "Field Output, %", "Salty Dog 2",
        "Crank-To-Alternator Pulley Ratio [1..10]", "3 - FireFly", "Bulk Target Voltage, V", "Field/RPM Curve",
        "Engine RPM, 1/min", "Calibration Factors", "Power Supply Voltage Comp"};
    for (const QString& item : expected)
        QVERIFY2(report.contains(item), qPrintable(item));
    QVERIFY(report.contains(QRegularExpression(QStringLiteral("Edited in the program, not written to the regulator\\s+"
                                                              "Section\\s+Setting\\s+As read\\s+Edited\\s+System settings\\s+"
                                                              "Warning Battery Temperature, \u00B0C\\s+\\d+\\s+51\\n"))));
    QVERIFY(!report.contains(QStringLiteral("s3cret#Pass")));
    QVERIFY(report.contains(QRegularExpression(QStringLiteral("Wi-Fi STA Password\\s+\\*{8}\\n"))));
    // Headers and cells whole: the profiles' names in one header line,
    // nothing shortened with an ellipsis anywhere.
    QVERIFY(report.contains(QRegularExpression(QStringLiteral(
        "Setting\\s+0 - FLA\\s+1 - AGM\\s+2 - GEL\\s+3 - FireFly\\s+4 - LiFePO4\\s+5 - Custom #1\\s+"
        "6 - Custom #2\\s+7 - Custom #3\\n"))));
    QVERIFY2(!report.contains(QChar(0x2026)), qPrintable(report));
    QProcess pages;
    pages.start(QStringLiteral("pdfinfo"), {path});
    QVERIFY(pages.waitForFinished(20000));
    const QString info = QString::fromUtf8(pages.readAllStandardOutput());
    const QRegularExpressionMatch count = QRegularExpression(QStringLiteral("Pages:\\s+([1-3])\\b")).match(info);
    QVERIFY2(count.hasMatch(), qPrintable(info));
    // Each page's foot: the time of the heading (the test clock's day) and
    // its number of the whole, once.
    const QRegularExpressionMatch time =
        QRegularExpression(QStringLiteral("Date and time: (2026-12-07 12:\\d\\d:\\d\\d)\\n")).match(report);
    QVERIFY(time.hasMatch());
    const QStringList pageTexts = report.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pageTexts.size(), count.captured(1).toInt());
    for (int i = 0; i < pageTexts.size(); ++i) {
        const QString foot = QStringLiteral("Service Report, %1\\s+Page %2 of %3\\n")
                                 .arg(time.captured(1)).arg(i + 1).arg(pageTexts.size());
        QVERIFY2(pageTexts[i].contains(QRegularExpression(foot)), qPrintable(pageTexts[i]));
        QCOMPARE(pageTexts[i].count(QRegularExpression(QStringLiteral("Page \\d+ of"))), 1);
    }
    // The chart by the boxes of its words: its frame found from where the
    // axes put 1000 and 6000 1/min, 30 and 100 % (they run from 450 to 6100
    // 1/min and from 25 to 105 %); the tick labels outside the frame, the
    // points' labels inside, no two words on each other.
    QProcess boxes;
    boxes.start(pdftotext, {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QVERIFY(boxes.waitForFinished(20000));
    const QString chartPage = QString::fromUtf8(boxes.readAllStandardOutput())
                                  .split(QStringLiteral("<page "))
                                  .filter(QStringLiteral(">Curve</word>"))
                                  .value(0);
    QList<std::pair<QRectF, QString>> words;
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    for (auto it = word.globalMatch(chartPage); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.append({QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                             QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                      m.captured(5)});
    }
    double top = 0, bottom = 0; // below the chart's title, to its "Engine RPM, 1/min"
    for (const auto& [box, text] : words) {
        top = text == QStringLiteral("Curve") ? box.bottom() : top;
        bottom = text == QStringLiteral("Engine") ? std::max(bottom, box.top()) : bottom;
    }
    QList<std::pair<QRectF, QString>> chart, outside, points; // outside: ticks and axis titles
    for (const auto& entry : words)
        if (entry.first.top() > top && entry.first.top() <= bottom)
            chart.append(entry);
    for (const auto& entry : chart)
        (entry.second.size() <= 3 && entry.second.toInt() > 0 ? points : outside).append(entry);
    // The percentages are the eight numbers furthest left; the points'
    // labels follow in the order of the points.
    std::sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first.left() < b.first.left(); });
    outside += points.mid(0, 8);
    points = points.mid(8);
    QMap<QString, QPointF> tick;
    for (const auto& [box, text] : outside)
        tick[text] = box.center();
    const double perRpm = (tick["6000"].x() - tick["1000"].x()) / 5000;
    const double perPercent = (tick["30"].y() - tick["100"].y()) / 70;
    QVERIFY2(perRpm > 0 && perPercent > 0, qPrintable(chartPage));
    const QRectF frame(QPointF(tick["1000"].x() - 550 * perRpm, tick["100"].y() - 5 * perPercent),
                       QPointF(tick["6000"].x() + 100 * perRpm, tick["30"].y() + 5 * perPercent));
    for (const auto& [box, text] : outside)
        QVERIFY2(!box.intersects(frame), qPrintable(text));
    QStringList shown;
    for (const auto& [box, text] : points) {
        QVERIFY2(frame.contains(box), qPrintable(text));
        shown.append(text);
    }
    QCOMPARE(shown.join(QLatin1Char(' ')), labels);
    for (int i = 0; i < chart.size(); ++i)
        for (int k = i + 1; k < chart.size(); ++k)
            QVERIFY2(!chart[i].first.intersects(chart[k].first), qPrintable(chart[i].second + " " + chart[k].second));
#ifdef Q_OS_LINUX
    // A disk that fills up (here: a limit on the file size) is a failure,
    // and the earlier report stays as it was.
    QVERIFY(WriteAll(path, "earlier report"));
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{4096, limit.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    rig.dialogs.AnswerText(QString());
    rig.dialogs.AnswerFile(path);
    w.Ui().SaveServiceReport->trigger();
    setrlimit(RLIMIT_FSIZE, &limit);
    QCOMPARE(rig.dialogs.ErrorTexts().size(), 1);
    QVERIFY2(rig.dialogs.ErrorTexts()[0].startsWith(QStringLiteral("Cannot write the report to")),
             qPrintable(rig.dialogs.ErrorTexts()[0]));
    QCOMPARE(ReadAll(path), QByteArray("earlier report"));
#endif
}

// The filters of the design ("Name|*.ext") as the file dialogs take them,
// native ones (Windows) included.
void SettingsCommandsTest::fileDialogFilters()
{
    QCOMPARE(QtFileFilter(Filter), QStringLiteral("K-ROVA X Settings File (*.krv)"));
    QCOMPARE(QtFileFilter(QStringLiteral("PDF Files|*.pdf")), QStringLiteral("PDF Files (*.pdf)"));
    QCOMPARE(QtFileFilter(QStringLiteral("All (*)")), QStringLiteral("All (*)"));
    QFileDialog dialog(nullptr, QString(), QString(), QtFileFilter(Filter));
    QCOMPARE(dialog.nameFilters(), QStringList{"K-ROVA X Settings File (*.krv)"});
}

// The usual keys; Ctrl+C in a grid with a selected cell copies the cell (the
// password as shown: nothing) instead of starting a chat message.
void SettingsCommandsTest::keyboard()
{
    GuiRig& rig = Rig();
    TMainFormKrv& w = rig.W();
    QCOMPARE(w.Ui().SaveSettingsToFile->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(w.Ui().LoadSettingsFromFile->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(w.Ui().Exit1->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QCOMPARE(w.Ui().UserGuide->shortcut(), QKeySequence(QStringLiteral("F1")));
    ReadFrom(rig, realistic::Image());
    w.Ui().PageControl->setCurrentWidget(w.Ui().SettingsTabSheet);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Ui().SendChatMessage->setEnabled(true);
    QSignalSpy chat(w.Ui().SendChatMessage, &QAction::triggered);
    StringGrid* grid = w.Ui().SystemSettingsTable;
    grid->setFocus();
    const std::pair<int, QString> cells[] = {{DeviceNameRow, QStringLiteral("Salty Dog 2")}, {WifiPasswordRow, QString()}};
    for (const auto& [row, copied] : cells) {
        grid->setCurrentCell(row, 1);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }
    QCOMPARE(chat.count(), 0);
}

// Where F1 finds the guide: beside the Windows program, in the Debian
// package's data folder, in the source tree beside a build folder.
void SettingsCommandsTest::userGuidePath_data()
{
    QTest::addColumn<QString>("guide");    // made in a temporary folder
    QTest::addColumn<QString>("programs"); // the programs' folder in it
    QTest::addColumn<bool>("found");
    QTest::newRow("Windows") << "K-ROVA/user-guide/user-guide.md" << "K-ROVA" << true;
    QTest::newRow("Debian package") << "usr/share/krova-utility/user-guide/user-guide.md" << "usr/bin" << true;
    QTest::newRow("source tree") << "src/docs/user-guide.md" << "src/build" << true;
    QTest::newRow("README only") << "usr/share/doc/krova-utility/README.md" << "usr/bin" << false;
}

void SettingsCommandsTest::userGuidePath()
{
    QFETCH(QString, guide);
    QFETCH(QString, programs);
    QFETCH(bool, found);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(programs) && QDir(root.path()).mkpath(QFileInfo(guide).path()));
    QFile file(root.filePath(guide));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(UserGuidePath(root.filePath(programs)),
             found ? QFileInfo(root.filePath(guide)).canonicalFilePath() : QString());
}

// The guide shows rendered with every picture; the contents' links lead to
// their sections; F1 without a guide installed says so.
void SettingsCommandsTest::userGuideWindow()
{
    UserGuideWindow window;
    window.resize(700, 600);
    window.show();
    QVERIFY(window.Open(SourceDir() + QStringLiteral("/docs/user-guide.md")));
    UserGuideView* view = window.View();
    QCOMPARE(view->MissingPictures(), QStringList());
    int pictures = 0;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) {
                const QImage picture = view->document()
                                           ->resource(QTextDocument::ImageResource,
                                                      QUrl(it.fragment().charFormat().toImageFormat().name()))
                                           .value<QImage>();
                QVERIFY(!picture.isNull());
                QVERIFY2(picture.width() <= view->viewport()->width(), qPrintable(QString::number(picture.width())));
                ++pictures;
            }
    QVERIFY(pictures >= 10);
    QVERIFY(view->toPlainText().contains(QStringLiteral("Joining a support session")));
    QCOMPARE(UserGuideView::HeadingAnchor(QStringLiteral("4. The \"System State\" page")),
             QStringLiteral("4-the-system-state-page"));
    view->scrollToAnchor(QStringLiteral("12-getting-help-from-a-support-technician"));
    QVERIFY(view->verticalScrollBar()->value() > view->verticalScrollBar()->maximum() / 2);

    GuiRig& rig = Rig();
    rig.W().Ui().UserGuide->trigger();
    QCOMPARE(rig.dialogs.Shown.back().text,
             QStringLiteral("The user guide (user-guide.md) is not installed with this program. It comes with the "
                            "program's package and its source."));
}

QTEST_MAIN(SettingsCommandsTest)
#include "test_gui_settings_commands.moc"
