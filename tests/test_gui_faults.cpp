// Faults of the regulator link seen from the window: a regulator unplugged
// in the middle of any transfer, one that stops answering, and a data log
// whose folder disappears. Nothing may crash, and no record may ever hold a
// mix of two transfers.
#include "rig/realistic_settings.h"
#include "rig/station_test_access.h"
#include "rig/gui_suite.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QLabel>
#include <QtTest>

namespace {

SystemStateRecord Pattern(uint8_t seed)
{
    SystemStateRecord r;
    for (std::size_t i = 0; i < r.Size; ++i)
        r.Data()[i] = uint8_t(seed + i);
    r.SetRegulatorName(QByteArray("R") + QByteArray::number(seed));
    return r;
}

// Plausible settings (a write sends nothing else) told apart by the seed in
// their reserved bytes and their regulation band.
SettingsRecord SettingsPattern(uint8_t seed)
{
    SettingsRecord r = realistic::Record();
    for (const std::size_t at : {72, 96, 104})
        r.SetU32(at, 0x01010101u * seed);
    r.SetF32(SettingsRecord::RegulationBandAt, float(seed) / 64.0f);
    return r;
}

} // namespace

class FaultsTest : public GuiSuite {
    Q_OBJECT
private slots:
    void unpluggedDuringStateTransfers_data()
    {
        QTest::addColumn<int>("blocksThrough");
        for (int n = 0; n < 10; ++n)
            QTest::addRow("after %d blocks", n) << n;
    }
    void unpluggedDuringStateTransfers()
    {
        QFETCH(int, blocksThrough);
        GuiRig& rig = Rig();
        rig.sim.OwnState = Pattern(1);
        rig.sim.PeerState = Pattern(50);
        rig.Connect();
        TMainFormKrv& w = rig.W();
        const SystemStateRecord oldOwn = w.Core().OwnState();
        const SystemStateRecord oldPeer = w.Core().PeerState();
        rig.sim.OwnState = Pattern(100);
        rig.sim.PeerState = Pattern(150);
        rig.sim.UnplugAfterExchanges = blocksThrough;
        w.USBTimerTimer();
        QVERIFY(w.Core().OwnState() == (blocksThrough >= 5 ? rig.sim.OwnState : oldOwn));
        QCOMPARE(w.Core().PeerState(), oldPeer);
        QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));

        rig.sim.PlugIn();
        w.USBTimerTimer(); // finds it again: the own transfer's first request searches
        w.USBTimerTimer();
        QCOMPARE(w.Core().OwnState(), rig.sim.OwnState);
        QCOMPARE(w.Core().PeerState(), rig.sim.PeerState);
        QCOMPARE(w.StatusText(), QStringLiteral("65 bytes received"));
    }

    void unpluggedDuringSettingsRead_data()
    {
        QTest::addColumn<int>("blocksThrough");
        for (int n = 0; n < 9; ++n)
            QTest::addRow("after %d blocks", n) << n;
    }
    void unpluggedDuringSettingsRead()
    {
        QFETCH(int, blocksThrough);
        GuiRig& rig = Rig();
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.Core().SettingsOwner().Replace(SettingsPattern(1));
        const SettingsRecord before = w.Core().Settings();
        rig.sim.SetSettings(SettingsPattern(2));
        rig.sim.UnplugAfterExchanges = blocksThrough;
        w.ReadAllSettingsFromSystemClick();
        rig.StopTimers();
        QCOMPARE(w.Core().Settings(), before);
        QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));
        rig.sim.PlugIn();
        w.ReadAllSettingsFromSystemClick(); // the search
        w.ReadAllSettingsFromSystemClick();
        rig.StopTimers();
        QCOMPARE(w.Core().Settings(), rig.sim.Settings());
    }

    void unpluggedDuringSettingsWrite_data()
    {
        QTest::addColumn<int>("slicesThrough");
        for (int n = 0; n < 10; ++n)
            QTest::addRow("after %d slices", n) << n;
    }
    void unpluggedDuringSettingsWrite()
    {
        QFETCH(int, slicesThrough);
        GuiRig& rig = Rig();
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.ReadAllSettingsFromSystemClick();
        rig.StopTimers();
        const auto before = rig.sim.SettingsImage;
        StationTestAccess::EditSettings(w.Core(), [](SettingsRecord& r) { r.SetU8(SettingsRecord::AlternatorPolesAt, 14); });
        w.UpdateSystemSettingsTable();
        rig.sim.UnplugAfterExchanges = slicesThrough;
        w.WriteAllSettingsToSystemClick();
        rig.StopTimers();
        // The regulator takes a write only when all nine slices and the end
        // marker arrived: either all of the new settings or none.
        QVERIFY(rig.sim.SettingsImage == before);
        QCOMPARE(rig.sim.AppliedWrites, 0);
        QCOMPARE(int(w.Core().Settings().AlternatorPoles()), 14);
        // The window says so, also when only the end marker went unanswered.
        QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA not found"));
        // Once a slice went out the regulator may hold a mix, and the
        // read-back that would tell finds no regulator.
        QCOMPARE(w.Ui().MessagePanel->text(),
                 slicesThrough == 0 ? QStringLiteral(" Settings not written: K-ROVA not found")
                                    : QStringLiteral(" Settings not confirmed: they could not be read back from Port "
                                                     "engine (K-ROVA not found). It may hold a mix of the old and the "
                                                     "new settings."));
        QVERIFY(!w.Ui().MessagePanel->isHidden());

        rig.sim.PlugIn();
        w.WriteAllSettingsToSystemClick(); // the search
        w.WriteAllSettingsToSystemClick();
        rig.StopTimers();
        // A write whose nine slices all arrived is ended by the end marker it
        // owed as soon as the regulator is back, before the retry.
        QCOMPARE(rig.sim.AppliedWrites, slicesThrough == 9 ? 2 : 1);
        QCOMPARE(int(rig.sim.Settings().AlternatorPoles()), 14);
    }

    // Late, doubled and lost answers on the way through the window: polls,
    // the settings read when the page is shown, and a write.
    void lateAnswersThroughTheWindow_data()
    {
        QTest::addColumn<int>("lateMs");   // the first three answers to own block 1
        QTest::addColumn<bool>("twice");   // every answer comes twice
        QTest::addColumn<bool>("dropped"); // the first answer to settings block 6 never comes
        QTest::newRow("late 400 ms") << 400 << false << false;
        // Nothing gets through: every transfer meets a copy.
        QTest::newRow("late 500 ms and twice") << 500 << true << false;
        QTest::newRow("settings block lost") << 0 << false << true;
    }
    void lateAnswersThroughTheWindow()
    {
        QFETCH(int, lateMs);
        QFETCH(bool, twice);
        QFETCH(bool, dropped);
        GuiRig& rig = Rig();
        rig.sim.OwnState = Pattern(1);
        rig.sim.PeerState = Pattern(50);
        rig.sim.SetSettings(SettingsPattern(7));
        rig.Connect();
        TMainFormKrv& w = rig.W();
        int late = 0;
        rig.sim.ExtraDelayFor = [&late, lateMs](const ReportBuffer& r) {
            return r[0] == ReadOwnStateBlock && r[1] == 1 && late++ < 3 ? lateMs : 0;
        };
        rig.sim.DuplicateAnswerIf = [twice](const ReportBuffer&) { return twice; };
        bool lost = false;
        rig.sim.DropAnswerIf = [&lost, dropped](const ReportBuffer& r) {
            return dropped && r[0] == ReadSettingsBlock && r[1] == 6 && !std::exchange(lost, true);
        };
        rig.sim.OwnState = Pattern(100);
        rig.sim.PeerState = Pattern(150);
        for (int tick = 0; tick < 10; ++tick) {
            w.USBTimerTimer();
            QVERIFY(w.Core().OwnState() == Pattern(1) || w.Core().OwnState() == rig.sim.OwnState);
            QVERIFY(w.Core().PeerState() == Pattern(50) || w.Core().PeerState() == rig.sim.PeerState);
            rig.linkClock.SleepMs(200);
        }
        QCOMPARE(w.Core().OwnState(), twice ? Pattern(1) : rig.sim.OwnState);

        w.Ui().PageControl->setCurrentWidget(w.Ui().SettingsTabSheet); // reads the settings
        rig.StopTimers();
        QCOMPARE(w.Core().Settings(), dropped || twice ? SettingsRecord() : SettingsPattern(7));
        if (twice) {
            w.WriteAllSettingsToSystemClick();
            rig.StopTimers();
            QCOMPARE(rig.sim.AppliedWrites, 0);
            return;
        }
        if (dropped) {
            w.ReadAllSettingsFromSystemClick();
            rig.StopTimers();
            QCOMPARE(w.Core().Settings(), SettingsPattern(7));
        }
        const auto image = rig.sim.SettingsImage;
        w.WriteAllSettingsToSystemClick();
        rig.StopTimers();
        QCOMPARE(rig.sim.AppliedWrites, 1);
        // What was written is what the editors show; the regulator's own
        // bytes after the record come back as it sent them.
        QVERIFY(std::equal(image.begin() + SettingsRecord::Size, image.begin() + 558,
                           rig.sim.SettingsImage.begin() + SettingsRecord::Size));
        QCOMPARE(rig.sim.Settings(), w.Core().Settings());
    }

    void silentRegulatorKeepsTicksShort()
    {
        GuiRig rig(false, &LinkClock::Steady()); // reads wait in real time
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.Ui().PageControl->setCurrentWidget(w.Ui().CanBusTabSheet); // the CAN fetch too
        rig.sim.NoAnswer = true;
        const SystemStateRecord own = w.Core().OwnState();
        int repaints = 0;
        for (int tick = 0; tick < 4; ++tick) {
            QElapsedTimer t;
            t.start();
            w.USBTimerTimer();
            QVERIFY2(t.elapsed() < 2 * HidSession::ReadTimeLimitMs, qPrintable(QString::number(t.elapsed())));
            QCOMPARE(w.StatusText(), QStringLiteral("K-ROVA did not answer"));
            bool handled = false;
            QTimer::singleShot(0, [&] { handled = true; });
            QCoreApplication::processEvents();
            repaints += handled;
        }
        QCOMPARE(repaints, 4);
        QCOMPARE(w.Core().OwnState(), own);
        // The pages keep the last values; the indicator says they are old.
        rig.clock.AdvanceSeconds(2);
        w.SystemStateTimerTimer();
        QVERIFY2(w.ConnectionIndicatorText().startsWith(QStringLiteral("USB: "))
                     && w.ConnectionIndicatorText().endsWith(QStringLiteral(" s old")),
                 qPrintable(w.ConnectionIndicatorText()));
        // Back from silence: once the last unanswered request can no longer
        // be answered, a tick reads whole records again.
        rig.sim.NoAnswer = false;
        rig.sim.OwnState = Pattern(9);
        QTest::qWait(HidSession::LateAnswerFactor * HidSession::ReadTimeLimitMs);
        w.USBTimerTimer();
        QCOMPARE(w.Core().OwnState(), rig.sim.OwnState);
    }

    void logFolderDisappears()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        auto dir = std::make_unique<QTemporaryDir>();
        w.Core().SetLogFileName(dir->filePath(QStringLiteral("log.txt")));
        w.Core().SetLogging(true);
        w.SystemStateTimerTimer();
        QVERIFY(w.Ui().EnableDataLoggingToFile->isChecked());
        QVERIFY(QFileInfo(w.Core().LogFileName()).size() > 0);
        dir.reset();
        w.SystemStateTimerTimer();
        QVERIFY(!w.Ui().EnableDataLoggingToFile->isChecked());
        QVERIFY(w.windowTitle().endsWith(QStringLiteral(", logging data to file")));
        w.SystemStateTimerTimer();
        QVERIFY(!w.windowTitle().endsWith(QStringLiteral(", logging data to file")));
    }

    void logOnFullDisk()
    {
        if (!QFileInfo(QStringLiteral("/dev/full")).exists())
            QSKIP("no /dev/full here");
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        w.Core().SetLogFileName(QStringLiteral("/dev/full"));
        w.Core().SetLogging(true);
        w.SystemStateTimerTimer();
        QVERIFY(!w.Ui().EnableDataLoggingToFile->isChecked());
        QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    }
};

QTEST_MAIN(FaultsTest)
#include "test_gui_faults.moc"
