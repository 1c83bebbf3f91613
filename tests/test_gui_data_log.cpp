// The data log as the main window drives it: the menu switch and its save
// dialog, the radio pairing with "Share data with support", the line the
// window update appends from the tables on screen, the caption, and logging
// switching itself off when a write fails.
#include "rig/gui_suite.h"
#include "rig/test_support.h"
#include "rig/hooked_dialogs.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString Title = QStringLiteral("Norvelle K-ROVA X Utility v7");
const QString LoggingSuffix = QStringLiteral(", logging data to file");


// Every row but the caption row of one column, in the table's order.
QStringList ColumnBelowCaption(const StringGrid* grid, int column, const QString& prefix = {})
{
    QStringList texts;
    for (int r = 1; r < grid->rowCount(); ++r)
        texts << prefix + grid->Cell(r, column);
    return texts;
}

// Splits one line of the file into its fields; fails unless the line ends
// with TAB CR LF.
QList<QByteArray> Fields(const QByteArray& line)
{
    if (!line.endsWith("\t\r\n"))
        return {};
    return line.chopped(3).split('\t');
}

// The file's lines, each with its CR LF.
QList<QByteArray> FileLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf("\r\n", start);
        end = end < 0 ? content.size() : end + 2;
        lines << content.mid(start, end - start);
        start = end;
    }
    return lines;
}

QList<QByteArray> Latin1(const QStringList& texts)
{
    QList<QByteArray> bytes;
    for (const QString& t : texts)
        bytes << t.toLatin1();
    return bytes;
}

} // namespace

class TestGuiDataLog : public GuiSuite {
    Q_OBJECT

private slots:
    void enableAsksForFile_data();
    void enableAsksForFile();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void radioPairWithShareData();
    void firstTickWritesHeaderAndLine();
    void existingFileGetsNoHeader();
    void statusWithoutTextLogsTheShownText();
    void captionWhileLogging_data();
    void captionWhileLogging();
    void failingWriteSwitchesLoggingOff_data();
    void failingWriteSwitchesLoggingOff();
    void pollingPausedWhileDialogOpen_data();
    void pollingPausedWhileDialogOpen();

private:
    // Runs the menu command as the user picks it (or the handler itself) and
    // stops the timers it starts again.
    void Toggle(bool viaMenu = true);
    void EnableWith(const QString& path);
    QStringList ExpectedValues() const;

    void SetUpRig(GuiRig& rig) override { rig.Connect(); }
    void CheckRig(GuiRig& rig) override { QCOMPARE(rig.dialogs.PendingAnswers(), 0); }
};

void TestGuiDataLog::Toggle(bool viaMenu)
{
    if (viaMenu)
        W().Ui().EnableDataLoggingToFile->trigger();
    else
        W().EnableDataLoggingToFileClick();
    // The command starts the polling timer again at its end.
    QVERIFY(W().Ui().USBTimer->isActive());
    rig_->StopTimers();
}

void TestGuiDataLog::EnableWith(const QString& path)
{
    rig_->dialogs.AnswerFile(path);
    Toggle();
    QVERIFY(W().Ui().EnableDataLoggingToFile->isChecked());
    QCOMPARE(W().Core().LogFileName(), path);
    rig_->dialogs.Shown.clear();
}

QStringList TestGuiDataLog::ExpectedValues() const
{
    TMainFormKrv& w = rig_->W();
    return ColumnBelowCaption(w.Ui().MeasuredValuesTable, 1) + ColumnBelowCaption(w.Ui().SystemStateTable, 1)
        + ColumnBelowCaption(w.Ui().RegulatorStateTable, 1) + ColumnBelowCaption(w.Ui().PeerRegulatorStateTable, 1);
}

void TestGuiDataLog::enableAsksForFile_data()
{
    QTest::addColumn<bool>("viaMenu");
    QTest::newRow("menu item") << true;
    QTest::newRow("handler") << false;
}

void TestGuiDataLog::enableAsksForFile()
{
    QFETCH(bool, viaMenu);
    QVERIFY(!W().Ui().EnableDataLoggingToFile->isChecked());
    QVERIFY(W().Core().LogFileName().isEmpty());
    const QString first = dir_->filePath(QStringLiteral("first.txt"));
    const QString second = dir_->filePath(QStringLiteral("second.txt"));

    rig_->dialogs.AnswerFile(first);
    Toggle(viaMenu);
    QCOMPARE(int(rig_->dialogs.Shown.size()), 1);
    const ShownDialog& box = rig_->dialogs.Shown[0];
    QCOMPARE(int(box.kind), int(ShownDialog::SaveFile));
    QCOMPARE(box.file.title, QStringLiteral("Log Data To File"));
    QCOMPARE(box.file.filter, QStringLiteral("Text Files|*.txt"));
    QCOMPARE(box.file.defaultSuffix, QStringLiteral("txt"));
    QCOMPARE(box.file.initialName, QStringLiteral("Log.txt"));
    QVERIFY(!box.file.mustExist);
    QVERIFY(W().Ui().EnableDataLoggingToFile->isChecked());
    QCOMPARE(W().Core().LogFileName(), first);
    // The command writes nothing itself; the window update does.
    QVERIFY(!QFile::exists(first));

    // Off again: no dialog, the name stays.
    Toggle(viaMenu);
    QCOMPARE(int(rig_->dialogs.Shown.size()), 1);
    QVERIFY(!W().Ui().EnableDataLoggingToFile->isChecked());
    QCOMPARE(W().Core().LogFileName(), first);
    W().SystemStateTimerTimer();
    QVERIFY(!QFile::exists(first));

    // On again: the dialog proposes the name chosen last.
    rig_->dialogs.AnswerFile(second);
    Toggle(viaMenu);
    QCOMPARE(int(rig_->dialogs.Shown.size()), 2);
    QCOMPARE(rig_->dialogs.Shown[1].file.initialName, first);
    QCOMPARE(W().Core().LogFileName(), second);
    QVERIFY(W().Ui().EnableDataLoggingToFile->isChecked());
}

void TestGuiDataLog::cancelChangesNothing_data()
{
    QTest::addColumn<bool>("shareOn");
    QTest::addColumn<bool>("namedBefore");
    QTest::newRow("first time") << false << false;
    QTest::newRow("sharing data") << true << false;
    QTest::newRow("after an earlier log") << false << true;
}

void TestGuiDataLog::cancelChangesNothing()
{
    QFETCH(bool, shareOn);
    QFETCH(bool, namedBefore);
    const QString earlier = dir_->filePath(QStringLiteral("earlier.txt"));
    if (namedBefore) {
        EnableWith(earlier);
        Toggle();
    }
    if (shareOn)
        W().Core().SetSharing(true);

    rig_->dialogs.AnswerCancel();
    Toggle();
    QCOMPARE(int(rig_->dialogs.Shown.size()), 1);
    QCOMPARE(rig_->dialogs.Shown[0].file.initialName, namedBefore ? earlier : QStringLiteral("Log.txt"));
    QVERIFY(!W().Ui().EnableDataLoggingToFile->isChecked());
    QCOMPARE(W().Ui().ShareDataWithSupport->isChecked(), shareOn);
    QCOMPARE(W().Core().LogFileName(), namedBefore ? earlier : QString());
    W().SystemStateTimerTimer();
    QVERIFY(!W().windowTitle().endsWith(LoggingSuffix));
    QVERIFY(QDir(dir_->path()).entryList(QDir::Files).isEmpty());
}

void TestGuiDataLog::radioPairWithShareData()
{
    const QString path = dir_->filePath(QStringLiteral("log.txt"));
    W().Core().SetSharing(true);
    QVERIFY(W().Ui().ShareDataWithSupport->isChecked());

    EnableWith(path);
    QVERIFY(!W().Ui().ShareDataWithSupport->isChecked());
    W().SystemStateTimerTimer();
    const QByteArray written = ReadAll(path);
    QCOMPARE(FileLines(written).size(), 2);

    // Sharing data takes the place of logging: no more lines.
    W().Core().SetSharing(true);
    QVERIFY(W().Ui().ShareDataWithSupport->isChecked());
    QVERIFY(!W().Ui().EnableDataLoggingToFile->isChecked());
    W().SystemStateTimerTimer();
    QCOMPARE(ReadAll(path), written);
    QVERIFY(!W().windowTitle().endsWith(LoggingSuffix));
}

void TestGuiDataLog::firstTickWritesHeaderAndLine()
{
    const QString path = dir_->filePath(QStringLiteral("log.txt"));
    EnableWith(path);
    W().SystemStateTimerTimer();

    const QByteArray content = ReadAll(path);
    QList<QByteArray> lines = FileLines(content);
    QCOMPARE(lines.size(), 2);
    const QList<QByteArray> header = Fields(lines[0]);
    const QList<QByteArray> values = Fields(lines[1]);
    QCOMPARE(header.size(), 38);
    QCOMPARE(values.size(), 38);

    // The header: the row captions of the four tables, the peer's behind
    // "Peer:", the degree sign as the one byte 0xB0.
    QCOMPARE(lines[0], QByteArray("B+ Voltage, V\tB- Voltage, V\tBattery Temperature, \xB0" "C\t"
                                  "Voltage at Battery Shunt, V\tVoltage across Battery Shunt, V\t"
                                  "Field #1 Voltage, V\tField #2 Voltage, V\tVoltage at Alternator Shunt, V\t"
                                  "Voltage across Alternator Shunt, V\tAlternator Temperature, \xB0" "C\t"
                                  "Regulator Voltage, V\tRegulator Temperature, \xB0" "C\tPower Supply Voltage, V\t"
                                  "Reference Voltage, V\tEngine RPM, 1/min\t"
                                  "Detected System Voltage, V\tBattery Voltage, V\tBattery Current, A\t"
                                  "Alternator Current, A\tLoad Current, A\tFRS Value, %\tSet System Field Limit, %\t"
                                  "Set Slave Field Limit, %\tStatus Code\t"
                                  "Running Time\tStatus\tDigital Field Output, %\tRegulation Target, V\t"
                                  "Set Minimum Field, %\tSet Maximum Field, %\tWiring Voltage Drop, V\t"
                                  "Peer:Running Time\tPeer:Status\tPeer:Field Output, %\tPeer:Regulation Target, V\t"
                                  "Peer:Set Minimum Field, %\tPeer:Set Maximum Field, %\tPeer:Wiring Voltage Drop, V\t\r\n"));
    QCOMPARE(values, Latin1(ExpectedValues()));
    // The values are the live ones of the last poll, not blanks.
    QCOMPARE(values[0], W().Ui().MeasuredValuesTable->Cell(1, 1).toLatin1());
    QVERIFY(!values[0].isEmpty());
    QVERIFY(values[0] != "-");
    QCOMPARE(W().windowTitle(), Title + QStringLiteral(" - USB connection") + LoggingSuffix);

    // Each further tick appends one value line from what the tables show then.
    SystemStateRecord own = rig_->sim.OwnState;
    MeasuredChannel bPlus = own.ChannelAt(Channel::BPlusVoltage);
    bPlus.Value = 12.34f;
    own.SetChannel(Channel::BPlusVoltage, bPlus);
    rig_->sim.OwnState = own;
    W().USBTimerTimer();
    W().SystemStateTimerTimer();
    lines = FileLines(ReadAll(path));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(Fields(lines[2]), Latin1(ExpectedValues()));
    QCOMPARE(Fields(lines[2])[0], QByteArray("12.34"));
    QVERIFY(W().Ui().EnableDataLoggingToFile->isChecked());
}

void TestGuiDataLog::existingFileGetsNoHeader()
{
    const QString path = dir_->filePath(QStringLiteral("notes.txt"));
    const QByteArray before("not a log at all\nno line end");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    EnableWith(path);
    W().SystemStateTimerTimer();
    W().SystemStateTimerTimer();

    const QByteArray content = ReadAll(path);
    QVERIFY(content.startsWith(before));
    const QByteArray added = content.mid(before.size());
    const QList<QByteArray> lines = FileLines(added);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(Fields(lines[0]), Latin1(ExpectedValues()));
    QCOMPARE(Fields(lines[1]), Latin1(ExpectedValues()));
}

void TestGuiDataLog::statusWithoutTextLogsTheShownText()
{
    const QString path = dir_->filePath(QStringLiteral("log.txt"));
    EnableWith(path);
    // A status code without a text leaves the status as the page shows it;
    // the log takes the same text.
    rig_->sim.PeerState.SetRegulatorStatus(3);
    W().USBTimerTimer();
    rig_->sim.PeerState.SetRegulatorStatus(9);
    W().USBTimerTimer();
    W().SystemStateTimerTimer();
    const QList<QByteArray> lines = FileLines(ReadAll(path));
    QCOMPARE(lines.size(), 2);
    const QList<QByteArray> values = Fields(lines[1]);
    QCOMPARE(values.size(), 38);
    QCOMPARE(values[15 + 9 + 7 + 1], QByteArray("Float"));
    QCOMPARE(W().Ui().PeerRegulatorStateTable->Cell(2, 1), QStringLiteral("Float"));
}

void TestGuiDataLog::captionWhileLogging_data()
{
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("caption");
    QTest::newRow("USB") << true << Title + QStringLiteral(" - USB connection") + LoggingSuffix;
    QTest::newRow("neither connection") << false << Title + LoggingSuffix;
}

void TestGuiDataLog::captionWhileLogging()
{
    QFETCH(bool, usb);
    QFETCH(QString, caption);
    W().Core().SetConnection(usb ? Connection::Usb : Connection::None);
    EnableWith(dir_->filePath(QStringLiteral("log.txt")));
    W().SystemStateTimerTimer();
    QCOMPARE(W().windowTitle(), caption);
    W().SystemStateTimerTimer();
    QCOMPARE(W().windowTitle(), caption); // rebuilt, not appended again
    Toggle();
    W().SystemStateTimerTimer();
    QCOMPARE(W().windowTitle(), caption.chopped(LoggingSuffix.size()));
}

void TestGuiDataLog::failingWriteSwitchesLoggingOff_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("a folder") << QStringLiteral("folder");
    QTest::newRow("missing folder") << QStringLiteral("missing/log.txt");
    QTest::newRow("full disk") << QStringLiteral("/dev/full");
}

void TestGuiDataLog::failingWriteSwitchesLoggingOff()
{
    QFETCH(QString, target);
    QString path = target;
    if (!target.startsWith(QLatin1Char('/')))
        path = dir_->filePath(target);
    if (target == QLatin1String("folder"))
        QVERIFY(QDir(dir_->path()).mkdir(target));
    if (target.startsWith(QLatin1String("/dev/")) && !QFile::exists(target))
        QSKIP("no /dev/full on this system");

    EnableWith(path);
    W().SystemStateTimerTimer();
    // Silently off; the caption still tells of logging on this very tick.
    QVERIFY(rig_->dialogs.Shown.empty());
    QVERIFY(!W().Ui().EnableDataLoggingToFile->isChecked());
    QCOMPARE(W().Core().LogFileName(), path);
    QCOMPARE(W().windowTitle(), Title + QStringLiteral(" - USB connection") + LoggingSuffix);

    W().SystemStateTimerTimer();
    QCOMPARE(W().windowTitle(), Title + QStringLiteral(" - USB connection"));
    // Nothing was created in place of the target (the device stays a device).
    QCOMPARE(QFileInfo(path).isDir(), target == QLatin1String("folder"));
    QVERIFY(!QFileInfo(path).isFile());
}

void TestGuiDataLog::pollingPausedWhileDialogOpen_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("file chosen") << true;
    QTest::newRow("cancelled") << false;
}

void TestGuiDataLog::pollingPausedWhileDialogOpen()
{
    QFETCH(bool, choose);
    SimulatedRegulator sim;
    sim.Animate = false;
    HookedDialogs dialogs;
    ManualClock clock;
    TMainFormKrv w(sim, dialogs, clock);
    w.Ui().SystemStateTimer->stop();
    w.Ui().INETTimer->stop();
    QVERIFY(w.Ui().USBTimer->isActive());

    int boxes = 0;
    bool pollingDuringBox = true;
    dialogs.WhileOpen = [&](const QString&, const QString&) {
        ++boxes;
        pollingDuringBox = w.Ui().USBTimer->isActive();
    };
    if (choose)
        dialogs.AnswerFile(dir_->filePath(QStringLiteral("log.txt")));
    else
        dialogs.AnswerCancel();
    w.EnableDataLoggingToFileClick();

    QCOMPARE(boxes, 1);
    QVERIFY(!pollingDuringBox);
    QVERIFY(w.Ui().USBTimer->isActive());
    QCOMPARE(w.Ui().EnableDataLoggingToFile->isChecked(), choose);
    QVERIFY(!dialogs.Unscripted);
    w.Ui().USBTimer->stop();
}

QTEST_MAIN(TestGuiDataLog)
#include "test_gui_data_log.moc"
