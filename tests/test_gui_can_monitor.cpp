// The "CAN bus" page as the main window drives it: when the polling cycle
// fetches frames, the lines it adds, the hex switch, the popup commands and
// the bound on the number of lines kept.
#include "canbus/can_line_buffer.h"
#include "rig/gui_suite.h"

#include <QLabel>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

CanFrameRecord Frame(uint8_t kind, uint32_t id, uint8_t length, std::initializer_list<uint8_t> data = {})
{
    CanFrameRecord f;
    f.SetFrameKind(kind);
    f.SetFrameIdentifier(id);
    f.SetFrameDataLength(length);
    int i = 0;
    for (uint8_t b : data)
        f.SetFrameData(i++, b);
    return f;
}

int CountRequests(const SimulatedRegulator& sim, uint8_t code)
{
    int n = 0;
    for (const ReportBuffer& r : sim.Requests)
        if (r[0] == code)
            ++n;
    return n;
}

// The memo's lines; an empty memo has none (not one empty line).
QStringList Lines(const QPlainTextEdit* memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

const QString HexLineA = QStringLiteral("Standard data frame\t\t2 bytes\tID=0x00000123\tb0=0x01\tb1=0xAB\t");
const QString DecLineA = QStringLiteral("Standard data frame\t\t2 bytes\tID=291\tb0=1\tb1=171\t");
const QString HexLineB = QStringLiteral("N2K message\t\t\t1 bytes\tID=0x19F21283\tb0=0xFF\t");
const QString DecLineB = QStringLiteral("N2K message\t\t\t1 bytes\tID=435294851\tb0=255\t");
const QString DecodedB = QStringLiteral("P6 PGN 127506 DC Detailed Status  src 131 \u2192 all  | fast-packet, not decoded");
const QString HexLineC =
    QStringLiteral("N2K message\t\t\t8 bytes\tID=0x19F21423\tb0=0x00\tb1=0x50\tb2=0x05\tb3=0x7B\tb4=0x00\tb5=0x77\t"
                   "b6=0x74\tb7=0x04\t");
const QString DecodedC =
    QStringLiteral("P6 PGN 127508 Battery Status  src 35 \u2192 all  | battery 0: 13.60 V, 12.3 A, 25.00 \u00B0C, SID 4");

enum PageChoice { OnStatePage, OnSettingsPage, OnCanPage, OnPeerPage };

} // namespace

class TestGuiCanMonitor : public GuiSuite {
    Q_OBJECT

private slots:
    void fetchOnlyOnCanPageUnpaused_data();
    void fetchOnlyOnCanPageUnpaused();
    void pauseMenuItemToggles();
    void linesPerFetch_data();
    void linesPerFetch();
    void failedFetchAddsNothing();
    void hexSwitchAffectsOnlyNewLines();
    void clearRemovesAllLines_data();
    void clearRemovesAllLines();
    void copyToClipboard_data();
    void copyToClipboard();
    void memoKeepsNewestLines();
    void decodingBesideLines_data();
    void decodingBesideLines();
    void panesScrollTogether();

private:
    void ShowPage(PageChoice page);

    void SetUpRig(GuiRig& rig) override
    {
        rig.Connect();
        rig.sim.Requests.clear();
    }
    void CheckRig(GuiRig& rig) override { QVERIFY(rig.dialogs.Shown.empty()); }
};

void TestGuiCanMonitor::ShowPage(PageChoice page)
{
    TMainFormKrv& w = rig_->W();
    QWidget* pages[] = {w.Ui().StateTabSheet, w.Ui().SettingsTabSheet, w.Ui().CanBusTabSheet, w.Ui().PeerStateTabSheet};
    // Selected as the program does it, not as a user's page change (which
    // would read the settings on the "Settings" page).
    {
        const QSignalBlocker block(w.Ui().PageControl);
        w.Ui().PageControl->setCurrentWidget(pages[page]);
    }
    QCOMPARE(w.Ui().PageControl->currentWidget(), pages[page]);
}

void TestGuiCanMonitor::fetchOnlyOnCanPageUnpaused_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("fetches");

    QTest::newRow("System State") << int(OnStatePage) << false << false;
    QTest::newRow("Settings") << int(OnSettingsPage) << false << false;
    QTest::newRow("Peer System State") << int(OnPeerPage) << false << false;
    QTest::newRow("CAN bus") << int(OnCanPage) << false << true;
    QTest::newRow("CAN bus, paused") << int(OnCanPage) << true << false;
    QTest::newRow("System State, paused") << int(OnStatePage) << true << false;
}

void TestGuiCanMonitor::fetchOnlyOnCanPageUnpaused()
{
    QFETCH(int, page);
    QFETCH(bool, paused);
    QFETCH(bool, fetches);
    TMainFormKrv& w = rig_->W();
    ShowPage(PageChoice(page));
    if (paused)
        w.PauseCanWatchClick();
    QCOMPARE(w.Ui().PauseCanWatch->isChecked(), paused);

    // The own and peer records keep following the regulator either way.
    SystemStateRecord own = rig_->sim.OwnState;
    own.SetRegulatorName("Renamed own");
    rig_->sim.OwnState = own;
    SystemStateRecord peer = rig_->sim.PeerState;
    peer.SetRegulatorName("Renamed peer");
    rig_->sim.PeerState = peer;
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));

    w.USBTimerTimer();
    w.USBTimerTimer();

    QCOMPARE(CountRequests(rig_->sim, ReadCanFrames), fetches ? 2 : 0);
    QCOMPARE(CountRequests(rig_->sim, ReadOwnStateBlock), 2 * StateBlockCount);
    QCOMPARE(CountRequests(rig_->sim, ReadPeerStateBlock), 2 * StateBlockCount);
    QCOMPARE(w.Core().OwnState().RegulatorName(), QByteArray("Renamed own"));
    QCOMPARE(w.Core().PeerState().RegulatorName(), QByteArray("Renamed peer"));
    // The CAN request comes last in a tick, after the peer record.
    if (fetches) {
        QCOMPARE(rig_->sim.Requests.back()[0], uint8_t(ReadCanFrames));
        QCOMPARE(Lines(w.Ui().CanMemo), QStringList{HexLineA});
        QCOMPARE(int(rig_->sim.CanQueue.size()), 0);
    } else {
        QCOMPARE(Lines(w.Ui().CanMemo), QStringList());
        QCOMPARE(int(rig_->sim.CanQueue.size()), 1); // never fetched
    }
}

void TestGuiCanMonitor::pauseMenuItemToggles()
{
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    QVERIFY(!w.Ui().PauseCanWatch->isChecked());
    QVERIFY(w.Ui().PauseCanWatch->isCheckable());

    // Through the popup menu item, as the user picks it.
    w.Ui().PauseCanWatch->trigger();
    QVERIFY(w.Ui().PauseCanWatch->isChecked());
    QVERIFY(!w.Ui().CanPausedLabel->isHidden()); // the page says that it is paused
    w.USBTimerTimer();
    QCOMPARE(CountRequests(rig_->sim, ReadCanFrames), 0);

    w.Ui().PauseCanWatch->trigger();
    QVERIFY(!w.Ui().PauseCanWatch->isChecked());
    QVERIFY(w.Ui().CanPausedLabel->isHidden());
    w.USBTimerTimer();
    QCOMPARE(CountRequests(rig_->sim, ReadCanFrames), 1);

    // The handler itself toggles as well.
    w.PauseCanWatchClick();
    QVERIFY(w.Ui().PauseCanWatch->isChecked());
    w.PauseCanWatchClick();
    QVERIFY(!w.Ui().PauseCanWatch->isChecked());
}

void TestGuiCanMonitor::linesPerFetch_data()
{
    QTest::addColumn<int>("firstLength");
    QTest::addColumn<int>("secondLength");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("both slots") << 2 << 1 << QStringList{HexLineA, HexLineB};
    QTest::newRow("first slot only") << 2 << 0 << QStringList{HexLineA};
    QTest::newRow("second slot only") << 0 << 1 << QStringList{HexLineB};
    QTest::newRow("neither") << 0 << 0 << QStringList();
}

void TestGuiCanMonitor::linesPerFetch()
{
    QFETCH(int, firstLength);
    QFETCH(int, secondLength);
    QFETCH(QStringList, expected);
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);

    // A slot of length 0 is empty whatever else it holds (here: kinds and
    // identifiers that would make a line of their own).
    rig_->sim.CanQueue.push_back(Frame(firstLength ? 2 : 3, 0x123, uint8_t(firstLength), {0x01, 0xAB}));
    rig_->sim.CanQueue.push_back(Frame(secondLength ? 6 : 5, 0x19F21283, uint8_t(secondLength), {0xFF}));
    w.USBTimerTimer();
    QCOMPARE(CountRequests(rig_->sim, ReadCanFrames), 1);
    QCOMPARE(Lines(w.Ui().CanMemo), expected);

    // The next fetch appends below the lines already there.
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    w.USBTimerTimer();
    QCOMPARE(Lines(w.Ui().CanMemo), expected + QStringList{HexLineA});
}

void TestGuiCanMonitor::failedFetchAddsNothing()
{
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    w.USBTimerTimer();
    QCOMPARE(Lines(w.Ui().CanMemo), QStringList{HexLineA});

    // The CAN request is taken but never answered: no line, not even a
    // repeat of the frame still held in the slots.
    rig_->sim.DropAnswerIf = [](const ReportBuffer& r) { return r[0] == ReadCanFrames; };
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();
    QCOMPARE(CountRequests(rig_->sim, ReadCanFrames), 2);
    QCOMPARE(Lines(w.Ui().CanMemo), QStringList{HexLineA});
    QCOMPARE(w.Core().Usb().CanFrame(0).FrameIdentifier(), 0x123u);
}

void TestGuiCanMonitor::hexSwitchAffectsOnlyNewLines()
{
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    QVERIFY(w.Ui().CanViewHexCheckBox->isChecked());

    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    w.USBTimerTimer();
    w.Ui().CanViewHexCheckBox->setChecked(false);
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();
    QCOMPARE(Lines(w.Ui().CanMemo), (QStringList{HexLineA, DecLineA, DecLineB}));

    w.Ui().CanViewHexCheckBox->setChecked(true);
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();
    QCOMPARE(Lines(w.Ui().CanMemo), (QStringList{HexLineA, DecLineA, DecLineB, HexLineB}));
}

void TestGuiCanMonitor::clearRemovesAllLines_data()
{
    QTest::addColumn<bool>("viaMenu");
    QTest::newRow("handler") << false;
    QTest::newRow("popup menu item") << true;
}

void TestGuiCanMonitor::clearRemovesAllLines()
{
    QFETCH(bool, viaMenu);
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    for (int i = 0; i < 3; ++i) {
        rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
        rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
        w.USBTimerTimer();
    }
    QCOMPARE(Lines(w.Ui().CanMemo).size(), 6);

    if (viaMenu)
        w.Ui().ClearAllLines->trigger();
    else
        w.ClearAllLinesClick();
    QCOMPARE(w.Ui().CanMemo->toPlainText(), QString());

    // The list starts again at the top, without a blank first line.
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();
    QCOMPARE(w.Ui().CanMemo->toPlainText(), HexLineB);
}

void TestGuiCanMonitor::copyToClipboard_data()
{
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectTo");

    QTest::newRow("no selection, caret at end") << false << -1 << -1;
    QTest::newRow("part selected") << false << 5 << 40;
    QTest::newRow("selected backwards") << false << 60 << 3;
    QTest::newRow("popup menu item") << true << 10 << 20;
}

void TestGuiCanMonitor::copyToClipboard()
{
    QFETCH(bool, viaMenu);
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();
    w.Ui().CanViewHexCheckBox->setChecked(false);
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    w.USBTimerTimer();

    QTextCursor cursor = w.Ui().CanMemo->textCursor();
    if (selectFrom < 0) {
        cursor.movePosition(QTextCursor::End);
    } else {
        cursor.setPosition(selectFrom);
        cursor.setPosition(selectTo, QTextCursor::KeepAnchor);
    }
    w.Ui().CanMemo->setTextCursor(cursor);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));

    if (viaMenu)
        w.Ui().CopyToClipboard->trigger();
    else
        w.CopyToClipboardClick();

    const QString clip = QGuiApplication::clipboard()->text();
    QCOMPARE(clip, w.Ui().CanMemo->toPlainText());
    QCOMPARE(clip.split(QLatin1Char('\n')), (QStringList{HexLineA, HexLineB, DecLineA}));
    QVERIFY(!w.Ui().CanMemo->textCursor().hasSelection());
    QCOMPARE(w.Ui().CanMemo->textCursor().position(), 0);
    QCOMPARE(w.Ui().CanMemo->textCursor().anchor(), 0);
    // Copying leaves the lines alone.
    QCOMPARE(Lines(w.Ui().CanMemo).size(), 3);
}

void TestGuiCanMonitor::memoKeepsNewestLines()
{
    TMainFormKrv& w = rig_->W();
    ShowPage(OnCanPage);
    QCOMPARE(MaxCanMemoLines, 10000);

    // 10006 frames, each identified by its number, two per fetch.
    const int total = MaxCanMemoLines + 6;
    for (int i = 0; i < total; ++i)
        rig_->sim.CanQueue.push_back(Frame(4, uint32_t(i), 1, {uint8_t(i)}));
    for (int fetch = 0; fetch < total / 2; ++fetch)
        w.CanOutputStep();
    QCOMPARE(int(rig_->sim.CanQueue.size()), 0);

    const QStringList lines = Lines(w.Ui().CanMemo);
    QCOMPARE(lines.size(), MaxCanMemoLines);
    auto lineFor = [](int i) {
        const QString id = QString::number(uint(i), 16).toUpper().rightJustified(8, QLatin1Char('0'));
        const QString b0 = QString::number(uint(i) & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        return QStringLiteral("Extended data frame\t\t1 bytes\tID=0x") + id + QStringLiteral("\tb0=0x") + b0
            + QStringLiteral("\t");
    };
    // The six oldest lines went, the newest is last.
    QCOMPARE(lines.first(), lineFor(6));
    QCOMPARE(lines.last(), lineFor(total - 1));
    QCOMPARE(lines[1234], lineFor(1240));

    // One more fetch still adds at the bottom and drops at the top.
    rig_->sim.CanQueue.push_back(Frame(4, 0xABCDEF, 1, {0x5A}));
    w.CanOutputStep();
    const QStringList after = Lines(w.Ui().CanMemo);
    QCOMPARE(after.size(), MaxCanMemoLines);
    QCOMPARE(after.first(), lineFor(7));
    QCOMPARE(after.last(), QStringLiteral("Extended data frame\t\t1 bytes\tID=0x00ABCDEF\tb0=0x5A\t"));
}

// Beside each line, on its row, what the frame says as NMEA 2000; the
// lines themselves and what "Copy to Clipboard" takes stay as they were.
void TestGuiCanMonitor::decodingBesideLines_data()
{
    QTest::addColumn<bool>("clearFirst");
    QTest::newRow("from an empty page") << false;
    QTest::newRow("after Clear") << true;
}

void TestGuiCanMonitor::decodingBesideLines()
{
    QFETCH(bool, clearFirst);
    TMainFormKrv& w = rig_->W();
    const auto* decoded = w.findChild<QPlainTextEdit*>(QStringLiteral("CanDecodedMemo"));
    QVERIFY(decoded);
    ShowPage(OnCanPage);
    if (clearFirst) {
        rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
        w.USBTimerTimer();
        w.Ui().ClearAllLines->trigger();
        QCOMPARE(decoded->toPlainText(), QString());
    }
    // A frame of another kind keeps its row with "-", so the rows after it
    // stay level.
    rig_->sim.CanQueue.push_back(Frame(2, 0x123, 2, {0x01, 0xAB}));
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21423, 8, {0x00, 0x50, 0x05, 0x7B, 0x00, 0x77, 0x74, 0x04}));
    w.USBTimerTimer();
    // A fetch of empty slots adds a row to neither pane.
    w.USBTimerTimer();
    rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    w.USBTimerTimer();

    QCOMPARE(Lines(w.Ui().CanMemo), (QStringList{HexLineA, HexLineC, HexLineB}));
    QCOMPARE(Lines(decoded), (QStringList{QStringLiteral("-"), DecodedC, DecodedB}));
    w.Ui().CopyToClipboard->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), HexLineA + QLatin1Char('\n') + HexLineC + QLatin1Char('\n') + HexLineB);
}

void TestGuiCanMonitor::panesScrollTogether()
{
    TMainFormKrv& w = rig_->W();
    auto* decoded = w.findChild<QPlainTextEdit*>(QStringLiteral("CanDecodedMemo"));
    w.show();
    ShowPage(OnCanPage);
    for (int i = 0; i < 200; ++i)
        rig_->sim.CanQueue.push_back(Frame(6, 0x19F21283, 1, {0xFF}));
    for (int fetch = 0; fetch < 100; ++fetch)
        w.CanOutputStep();
    QCOMPARE(decoded->blockCount(), 200);
    QVERIFY(w.Ui().CanMemo->verticalScrollBar()->maximum() > 100);
    w.Ui().CanMemo->verticalScrollBar()->setValue(37);
    QCOMPARE(decoded->verticalScrollBar()->value(), 37);
    decoded->verticalScrollBar()->setValue(90);
    QCOMPARE(w.Ui().CanMemo->verticalScrollBar()->value(), 90);
}

QTEST_MAIN(TestGuiCanMonitor)
#include "test_gui_can_monitor.moc"
