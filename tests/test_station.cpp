// The station without a window: its modes, the steps on the simulated
// regulator with their status signals, the relay messages it prepares and
// takes, and the nesting timer pauses of the window that drives it.
#include "time/timer_pause.h"
#include "device/simulated_regulator.h"
#include "station/remote_session.h"
#include "station/settings_session.h"
#include "station/station.h"
#include "station/usb_link.h"
#include "rig/realistic_settings.h"
#include "rig/station_test_access.h"
#include "rig/php_relay.h"
#include "rig/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

class StationTest : public QObject {
    Q_OBJECT
private slots:
    // The wall clock counts local days since 1899-12-30 (day 46000 began
    // on 2025-12-09), whatever the local time's offset from UTC.
    void wallClockCountsLocalDays()
    {
        QCOMPARE(DateTimeOfDayCount(46000.5), QDateTime(QDate(2025, 12, 9), QTime(12, 0)));
        const QDateTime before = QDateTime::currentDateTime();
        const double now = Clock::System().Now();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(DateTimeOfDayCount(now).msecsTo(before) <= 1);
        QVERIFY(DateTimeOfDayCount(now).msecsTo(after) >= -1);
    }

    void sharingAndLoggingExcludeEachOther()
    {
        SimulatedRegulator sim;
        Station station(sim);
        QSignalSpy modes(&station, &Station::modesChanged);
        QVERIFY(station.IsUsbConnection());
        station.SetLogging(true);
        station.SetSharing(true);
        QVERIFY(station.IsSharing() && !station.IsLogging());
        station.SetLogging(true);
        QVERIFY(!station.IsSharing() && station.IsLogging());
        station.SetLogging(true); // no change, no signal
        const int changes = station.ConnectionChanges();
        station.SetConnection(Connection::None);
        QVERIFY(!station.IsUsbConnection() && !station.IsRemoteConnection());
        QCOMPARE(station.ConnectionChanges(), changes + 1);
        station.SetConnection(Connection::None); // chosen again: no change
        QCOMPARE(station.ConnectionChanges(), changes + 1);
        QCOMPARE(modes.count(), 4);
    }

    void stepsOnTheLinkReportTheirStatus()
    {
        SkippingLinkClock clock;
        SimulatedRegulator sim(clock);
        sim.Animate = false;
        sim.OwnState = Patterned<SystemStateRecord>(1, 3);
        Station station(sim);
        QSignalSpy link(&station, &Station::linkStatusChanged);
        QVERIFY(!station.PollOwn()); // finds the regulator
        QVERIFY(station.PollOwn());
        QCOMPARE(station.OwnState(), sim.OwnState);
        QCOMPARE(link.count(), 2);
        QCOMPARE(link.last().first().toString(), QStringLiteral("65 bytes received"));
        CanFrameRecord frame;
        frame.SetFrameKind(2);
        frame.SetFrameDataLength(1);
        sim.CanQueue.push_back(frame);
        QCOMPARE(station.Usb().FetchCanLines(true), QStringList{"Standard data frame\t\t1 bytes\tID=0x00000000\tb0=0x00\t"});
        // One polling cycle: both records, their page texts, the CAN lines.
        sim.CanQueue.push_back(frame);
        const Station::TickOutcome tick = station.Tick(true, false);
        QVERIFY(tick.own && tick.peer);
        QCOMPARE(tick.canLines.size(), 1);
        QCOMPARE(station.PageTexts(Side::Peer).regulator.mid(0, 3),
                 (QStringList{"Regulator Parameter", "Value", "Running Time"}));
        sim.NoAnswer = true;
        QCOMPARE(station.Usb().FetchCanLines(true), QStringList{});
        QCOMPARE(station.Usb().StatusText(), QStringLiteral("K-ROVA did not answer"));
    }

    // The USB link on its own over the simulated regulator: every step tells
    // its status once, whether it went through or not, a record is replaced
    // only by a transfer that came whole. The write's hook runs once the
    // regulator took the first slice, answered or not; the reset's before its
    // request goes out, whether it arrives or not.
    void usbLinkAloneOnTheSimulatedRegulator_data()
    {
        QTest::addColumn<int>("step");      // 0 own, 1 peer, 2 settings read, 3 write, 4 reset, 5 CAN
        QTest::addColumn<int>("fault");     // 0 none, 1 no answer, 2 unplugged
        QTest::addColumn<QString>("status");
        const char* steps[] = {"own state", "peer state", "settings read", "settings write", "reset", "CAN fetch"};
        for (int step = 0; step < 6; ++step) {
            QTest::addRow("%s", steps[step]) << step << 0 << "65 bytes received";
            QTest::addRow("%s, no answer", steps[step]) << step << 1 << "K-ROVA did not answer";
            QTest::addRow("%s, unplugged", steps[step]) << step << 2 << "K-ROVA not found";
        }
    }
    void usbLinkAloneOnTheSimulatedRegulator()
    {
        QFETCH(int, step);
        QFETCH(int, fault);
        QFETCH(QString, status);
        SkippingLinkClock clock;
        SimulatedRegulator sim(clock);
        sim.Animate = false;
        sim.OwnState = Patterned<SystemStateRecord>(1, 3);
        sim.PeerState = Patterned<SystemStateRecord>(2, 5);
        sim.SetSettings(realistic::Record());
        CanFrameRecord frame;
        frame.SetFrameKind(2);
        frame.SetFrameDataLength(1);
        sim.CanQueue.push_back(frame);
        UsbLink link(sim);
        QSignalSpy told(&link, &UsbLink::statusChanged);
        QVERIFY(link.Open());
        QCOMPARE(told.last().first().toString(), QStringLiteral("K-ROVA found: VID=Norvelle PID=K-ROVA X"));
        sim.NoAnswer = fault == 1;
        sim.Present = fault != 2;
        const bool whole = fault == 0;

        SystemStateRecord state = Patterned<SystemStateRecord>(9, 1);
        const SystemStateRecord stateBefore = state;
        SettingsRecord settings;
        SettingsRecord changed = realistic::Record();
        changed.SetF32(SettingsRecord::WarningBatteryTemperatureAt, 45.0f);
        int hookRuns = 0;
        bool ok = false;
        QStringList lines;
        switch (step) {
        case 0: ok = link.ReadState(ReadOwnStateBlock, state); break;
        case 1: ok = link.ReadState(ReadPeerStateBlock, state); break;
        case 2: ok = link.ReadSettings(settings); break;
        case 3: ok = link.WriteSettings(changed, [&] { ++hookRuns; }); break;
        case 4: ok = link.ResetSettings([&] { ++hookRuns; }); break;
        default: lines = link.FetchCanLines(true); ok = !lines.isEmpty(); break;
        }
        QCOMPARE(ok, whole);
        QCOMPARE(link.StatusText(), status);
        QCOMPARE(told.count(), 2);
        QCOMPARE(told.last().first().toString(), status);
        if (step < 2)
            QVERIFY(state == (!whole ? stateBefore : step == 0 ? sim.OwnState : sim.PeerState));
        if (step == 2)
            QVERIFY(settings == (whole ? realistic::Record() : SettingsRecord()));
        if (step == 3) {
            QCOMPARE(hookRuns, fault == 2 ? 0 : 1);
            QVERIFY(sim.Settings() == (whole ? changed : realistic::Record()));
        }
        if (step == 4)
            QCOMPARE(hookRuns, 1);
        if (step == 5) {
            QCOMPARE(lines, whole ? QStringList{"Standard data frame\t\t1 bytes\tID=0x00000000\tb0=0x00\t"} : QStringList{});
            QCOMPARE(int(link.CanFrame(0).FrameKind()), whole ? 2 : 0);
        }

        // Letting it go is a step of its own.
        const bool wasOpen = link.Session().IsDeviceOpen();
        QCOMPARE(link.Close(), wasOpen);
        QCOMPARE(told.last().first().toString(), QStringLiteral("Connection to K-ROVA closed"));
        QCOMPARE(told.count(), 3);
    }

    // Records are taken from the relay only when they came whole.
    void takesWholeRecordsOnly_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("state");
        QTest::addColumn<bool>("settings");
        QTest::newRow("279") << 279 << false << false;
        QTest::newRow("280") << 280 << true << false;
        QTest::newRow("539") << 539 << true << false;
        QTest::newRow("540") << 540 << true << true;
    }
    void takesWholeRecordsOnly()
    {
        QFETCH(int, length);
        QFETCH(bool, state);
        QFETCH(bool, settings);
        SimulatedRegulator sim;
        Station station(sim);
        QCOMPARE(station.TakeClientState({StateMessage, QByteArray(length, 0x5A)}), state);
        QCOMPARE(int(station.OwnState().Data()[0]), state ? 0x5A : 0);
        QCOMPARE(station.TakeRelayedSettings({SettingsMessage, QByteArray(length, 0x5A)}), settings);
        QCOMPARE(int(station.Settings().Data()[539]), settings ? 0x5A : 0);
        QCOMPARE(station.TakeRelayedSettings({SettingsMessage, QByteArray(length, char(0xA5))}), settings);
        QCOMPARE(int(station.Settings().Data()[0]), settings ? 0xA5 : 0);
    }

    // A chat line goes out for the role that is on, one byte per character
    // of the Windows code page, and arrives the same way.
    void chatForTheRoleThatIsOn()
    {
        SimulatedRegulator sim;
        Station station(sim);
        station.SetSharing(true);
        station.PrepareChat(QString::fromUtf8("12 \u20AC"));
        QCOMPARE(int(station.Relay().State().OutgoingKind()), 4);
        QCOMPARE(station.Relay().State().OutgoingLength(), 4);
        QCOMPARE(station.Relay().State().SupportRole(), RoleClient);
        QCOMPARE(int(station.Relay().State().ClientToSupportBuffer()[3]), 0x80);
        station.SetSharing(false);
        station.SetConnection(Connection::Remote);
        station.PrepareChat(QStringLiteral("ok"));
        QCOMPARE(station.Relay().State().SupportRole(), RoleSupport);
        QCOMPARE(int(station.Relay().State().SupportToClientBuffer()[0]), 'o');
        QCOMPARE(Station::ChatText({ChatMessage, QByteArray("12 \x80")}), QString::fromUtf8("12 \u20AC"));
    }

    // Two sessions, no window, the real relay: while both tick, a chat line
    // each way (crossing each other) is shown once on the other side.
    void remoteSessionsActOnceOnEachMessage()
    {
        PhpRelay relay;
        QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
        SimulatedRegulator clientSim, supportSim;
        Station client(clientSim), support(supportSim);
        RemoteSession clientSession(client), supportSession(support);
        QStringList shown;
        for (RemoteSession* session : {&clientSession, &supportSession})
            connect(session, &RemoteSession::panelMessage, this, [&shown](const QString& text) { shown << text; });
        QStringList failures;
        for (RemoteSession* session : {&clientSession, &supportSession})
            connect(session, &RemoteSession::failed, this, [&failures](const QString& text) { failures << text; });
        client.Relay().SetDomain(relay.Domain());
        support.Relay().SetDomain(relay.Domain());
        client.SetSharing(true);
        support.SetConnection(Connection::Remote);
        clientSession.ClientStep();
        supportSession.SupportStep();
        QVERIFY(client.SendChat(QStringLiteral("Yes")));
        QVERIFY(support.SendChat(QStringLiteral("Which battery?")));
        for (int tick = 0; tick < 5; ++tick) {
            clientSession.ClientStep();
            supportSession.SupportStep();
        }
        QCOMPARE(failures, QStringList{});
        QCOMPARE(shown.filter(QStringLiteral("Message from CLIENT: Yes")).size(), 1);
        QCOMPARE(shown.filter(QStringLiteral("Message from SUPPORT: Which battery?")).size(), 1);
        QVERIFY(support.StateAt(Side::Own) > 0); // the client's state came
    }

    // Only the newest 200 backups stay; other files of the folder are not
    // touched, and a backup never replaces another.
    void backupsKeepTheNewest200()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 205; ++i)
            QVERIFY(WriteAll(dir.filePath(QStringLiteral("2020-01-01_%1_Boat_write.krv").arg(i, 6, 10, QLatin1Char('0'))),
                             QByteArray(540, 'x')));
        QVERIFY(WriteAll(dir.filePath(QStringLiteral("notes.krv")), "mine"));
        SettingsBackups backups(dir.path());
        SettingsRecord read = Patterned<SettingsRecord>(1, 5);
        backups.NoteRead(read, "Boat A");
        const QDateTime when(QDate(2026, 12, 8), QTime(14, 30, 5));
        const QString first = backups.Save(QStringLiteral("write"), "Boat A", SettingsRecord(), when, nullptr);
        const QString second = backups.Save(QStringLiteral("write"), "Boat A", SettingsRecord(), when, nullptr);
        QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("2026-12-08_143005_Boat-A_write.krv"));
        QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("2026-12-08_143005_Boat-A_write-2.krv"));
        QCOMPARE(ReadAll(first), read.ToByteArray());
        const QStringList names = QDir(dir.path()).entryList({QStringLiteral("*.krv")}, QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 201);
        QCOMPARE(names.first(), QStringLiteral("2020-01-01_000007_Boat_write.krv"));
        QVERIFY(names.contains(QStringLiteral("notes.krv")));
        // Another regulator's read says nothing about this one.
        const QString other = backups.Save(QStringLiteral("reset"), "Boat B", Patterned<SettingsRecord>(9, 1), when, nullptr);
        QCOMPARE(QFileInfo(other).fileName(), QStringLiteral("2026-12-08_143005_Boat-B_reset_unread.krv"));
        QCOMPARE(ReadAll(other), Patterned<SettingsRecord>(9, 1).ToByteArray());
    }

    // A backup holds what the regulator held just before the operation: the
    // last complete read or confirmed write, or, when that is not known (no
    // read yet, an unconfirmed write), what the write reads first; none is
    // made when the operation never reached the regulator.
    void backupsHoldWhatTheRegulatorHeld()
    {
        QTemporaryDir dir;
        SkippingLinkClock clock;
        SimulatedRegulator sim(clock);
        sim.OwnState.SetRegulatorName("Boat");
        // Plausible settings told apart by their regulation band.
        const auto settingsOf = [](int n) {
            SettingsRecord s = realistic::Record();
            s.SetF32(SettingsRecord::RegulationBandAt, float(n) / 64.0f);
            return s;
        };
        sim.SetSettings(settingsOf(1)); // A
        Station station(sim);
        SettingsSession& settings = station.SettingsOwner();
        station.SettingsOwner().UseBackupsFolder(dir.path());
        QVERIFY(!station.PollOwn());
        QVERIFY(station.PollOwn());
        using R = WriteOutcome::Result;
        // The backup a write of settings n made, if any.
        const auto write = [&](int n, R expected) {
            settings.Replace(settingsOf(n));
            const WriteOutcome outcome = settings.WriteSettings(QStringLiteral("write"), {}, {}, {});
            return outcome.result == expected && !outcome.backupPath.isEmpty() ? ReadAll(outcome.backupPath)
                                                                              : QByteArray();
        };
        const auto bytes = [&](int n) { return settingsOf(n).ToByteArray(); };
        QCOMPARE(write(2, R::Confirmed), bytes(1)); // no read yet: A is read first and saved
        QCOMPARE(write(3, R::Confirmed), bytes(2)); // writing C saves B
        sim.Unplug();
        QCOMPARE(write(4, R::NotSent), QByteArray()); // nothing reached the regulator: no backup
        sim.PlugIn();
        QVERIFY(!station.PollOwn());
        QVERIFY(station.PollOwn());
        sim.DropAnswerIf = [](const ReportBuffer& r) { return r[0] == ReadSettingsBlock; };
        QCOMPARE(write(5, R::NotConfirmed), bytes(3)); // no read-back: not confirmed, not known after
        sim.DropAnswerIf = nullptr;
        clock.SleepMs(5000);
        // What the regulator holds is read before the retry: the backup holds
        // those settings, read from it, not the ones about to be written.
        QCOMPARE(write(6, R::Confirmed), bytes(5));
        QVERIFY(QFileInfo(station.SettingsOwner().LastBackupPath()).fileName().contains(QRegularExpression("_Boat_write(-\\d+)?\\.krv$")));
        QVERIFY(settings.ResetSettings().ok);
        QVERIFY(station.SettingsOwner().LastBackupPath().endsWith(QStringLiteral("_Boat_reset.krv")));
        QCOMPARE(ReadAll(station.SettingsOwner().LastBackupPath()), bytes(6));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);
    }

    // A write is confirmed only by reading it back: a regulator that stores
    // other settings than it was sent (its firmware limits a value) makes it
    // unconfirmed, with the rows that differ, and what it holds is what the
    // next backup holds.
    void writeConfirmedOnlyByReadBack()
    {
        QTemporaryDir dir;
        SkippingLinkClock clock;
        SimulatedRegulator sim(clock);
        sim.OwnState.SetRegulatorName("Boat");
        sim.SetSettings(realistic::Record());
        Station station(sim);
        SettingsSession& settings = station.SettingsOwner();
        station.SettingsOwner().UseBackupsFolder(dir.path());
        QVERIFY(!station.PollOwn());
        QVERIFY(station.PollOwn());
        QVERIFY(settings.ReadSettings({}, {}).ok);
        SettingsRecord wanted = realistic::Record();
        wanted.SetF32(SettingsRecord::WarningBatteryTemperatureAt, 55.0f);
        settings.Replace(wanted);
        // Once the write is committed, the regulator keeps 50 instead.
        sim.ExtraDelayFor = [&sim](const ReportBuffer& r) {
            if (r[0] == WriteSettingsBlock && r[1] == SettingsWriteEnd && sim.AppliedWrites == 1) {
                const float limited = 50.0f;
                std::memcpy(sim.SettingsImage.data() + SettingsRecord::WarningBatteryTemperatureAt, &limited, 4);
            }
            return 0;
        };
        const WriteOutcome outcome = settings.WriteSettings(QStringLiteral("write"), {}, {}, {});
        QCOMPARE(int(outcome.result), int(WriteOutcome::Result::NotConfirmed));
        QVERIFY(outcome.readBack);
        QCOMPARE(outcome.differences.size(), 1);
        QCOMPARE((QStringList{outcome.differences[0].caption, outcome.differences[0].ours, outcome.differences[0].theirs}),
                 (QStringList{QStringLiteral("Warning Battery Temperature, \u00B0C"), "55", "50"}));
        const QString text = WriteOutcomeText(outcome, QStringLiteral("Boat"), station.Usb().StatusText());
        QVERIFY2(text.startsWith(QStringLiteral("Settings not confirmed: Boat holds other settings than were sent "
                                                "(settings that differ: 1). It may hold a mix of the old and the new "
                                                "settings.\nSystem settings, Warning Battery Temperature, \u00B0C: "
                                                "sent 55, holds 50\nThe settings it held before are in ")),
                 qPrintable(text));
        QVERIFY(settings.Reference() == realistic::Record());
        sim.ExtraDelayFor = nullptr;
        settings.Replace(realistic::Record());
        QVERIFY(settings.WriteSettings(QStringLiteral("write"), {}, {}, {}).ok());
        SettingsRecord held = realistic::Record();
        held.SetF32(SettingsRecord::WarningBatteryTemperatureAt, 50.0f);
        QCOMPARE(ReadAll(station.SettingsOwner().LastBackupPath()), held.ToByteArray());
    }

    // A timer held by an outer pause stays stopped when an inner one ends.
    void timerPausesNest()
    {
        QTimer timer;
        timer.start(1000);
        PausableTimer pausable;
        pausable.Attach(&timer);
        {
            TimerPause outer{&pausable};
            QVERIFY(!timer.isActive());
            {
                TimerPause inner{&pausable};
            }
            QVERIFY(!timer.isActive());
            outer.End();
            QVERIFY(timer.isActive());
        }
        QVERIFY(timer.isActive()); // ended once only
    }
};

QTEST_MAIN(StationTest)
#include "test_station.moc"
