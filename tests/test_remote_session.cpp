// The remote support session without a window: a client session on the
// simulated regulator and a support session without one, meeting at the real
// relay script (php -S on loopback, or nginx with PHP-FPM).
#include "settings/system_settings_rows.h"
#include "rig/fake_relay.h"
#include "rig/php_relay.h"
#include "rig/realistic_settings.h"
#include "support/relay_address.h"
#include "rig/relay_probe.h"
#include "rig/remote_peer.h"
#include "rig/station_test_access.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString InternetConnection = QStringLiteral("Internet Connection: ");

#define REQUIRE_RELAY(relay) QVERIFY2((relay).IsRunning(), qPrintable((relay).ErrorText()))

QList<QByteArray> LogLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The end user's side (regulator on USB, sharing) and the technician's (no
// regulator, remote), on a relay of their own.
struct SessionPair {
    PhpRelay relay;
    RemotePeer client;
    RemotePeer support;

    SessionPair()
    {
        client.sim.SettingsImage = realistic::Image();
        client.Connect();
        client.station.SetSharing(true);
        client.station.Relay().SetDomain(relay.Domain());
        support.sim.Present = false;
        support.station.SetConnection(Connection::Remote);
        support.station.Relay().SetDomain(relay.Domain());
    }

    // Brings the pair to the point where the support side holds the
    // client's settings, after a remote read.
    void ReadClientSettings()
    {
        client.Tick();
        support.Tick();
        support.session.RequestSettings();
        support.settings.TakeAsReference();
        client.Tick(); // takes the request
        client.Tick(); // acts on it: reads the regulator, sends kind 3
        support.Tick(); // takes what arrived
    }

    // The technician edits a system setting (51 °C) and a charge profile
    // value (777 s) of the active profile, the editors take them back, and
    // they are sent: true when the relay took them.
    bool EditAndSendSettings()
    {
        const int tab = support.settings.ProfileTab();
        StationTestAccess::EditSettings(support.station, [tab](SettingsRecord& edited) {
            edited.SetF32(SettingsRecord::WarningBatteryTemperatureAt, 51.0f);
            ChargeProfile profile = edited.Profile(tab);
            profile.SetU16(ChargeProfile::WarmUpDurationAt, 777);
            edited.SetProfile(tab, profile);
        });
        support.settings.TakeAsPageWrites();
        return support.session.SendSettings();
    }
};

} // namespace

class TestRemoteSession : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void supportTickWithoutNewStateKeepsShownState()
    {
        SessionPair p;
        REQUIRE_RELAY(p.relay);
        p.client.Tick();
        p.support.Tick();
        QCOMPARE(p.support.statesShown, 1);
        const QStringList regulator = p.support.station.PageTexts(Side::Own).regulator;
        StationTestAccess::EditOwnState(p.support.station, [](SystemStateRecord& r) { r.Clear(); }); // would show zeros if the state were taken again
        p.support.Tick(); // the client has not sent anything since
        QCOMPARE(p.support.status, QStringLiteral("Nothing received"));
        QCOMPARE(p.support.station.Relay().State().IncomingKind(), uint8_t(2));
        QCOMPARE(p.support.station.Relay().State().IncomingLength(), int32_t(0));
        QVERIFY(p.support.station.OwnState() == SystemStateRecord());
        QCOMPARE(p.support.station.PageTexts(Side::Own).regulator, regulator);
        QCOMPARE(p.support.statesShown, 1);
    }

    void clientReactsToSupportMessages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("kind");          // IncomingKind after the first tick
        QTest::addColumn<int>("length");        // IncomingLength after the first tick
        QTest::addColumn<QString>("panel");     // empty: panel stays hidden
        QTest::addColumn<bool>("sharing");      // "Share data with support" after the second tick
        QTest::addColumn<QByteArray>("sent");   // kind digit of the second tick's message
        QTest::addColumn<int>("settingsReads"); // settings reads made by the second tick

        QByteArray shortSettings("3");
        for (int i = 0; i < 300; ++i)
            shortSettings += "$" + QByteArray::number(i % 256);
        QTest::newRow("state request") << QByteArray("0") << 0 << 0 << QString() << true << QByteArray("2") << 0;
        QTest::newRow("settings request") << QByteArray("1") << 1 << 0
                                          << QStringLiteral(" Settings requested by SUPPORT") << true
                                          << QByteArray("3") << 1;
        QTest::newRow("settings, 300 values") << shortSettings << 3 << 300
                                              << QStringLiteral(" SUPPORT sent new settings: received 300 bytes")
                                              << true << QByteArray("2") << 0;
        QTest::newRow("chat") << QByteArray("4$72$105") << 4 << 2 << QStringLiteral(" Message from SUPPORT: Hi")
                              << true << QByteArray("2") << 0;
        QTest::newRow("one-character chat") << QByteArray("4$72") << 4 << 1 << QString() << true << QByteArray("2")
                                            << 0;
        QTest::newRow("support stops") << QByteArray("5") << 5 << 0 << QString() << false << QByteArray("2") << 0;
        QTest::newRow("kind 2 is not for the client") << QByteArray("2$1$2") << 0 << 0 << QString() << true
                                                      << QByteArray("2") << 0;
        QTest::newRow("unknown kind 7") << QByteArray("7$1") << 0 << 0 << QString() << true << QByteArray("2") << 0;
    }

    void clientReactsToSupportMessages()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, kind);
        QFETCH(int, length);
        QFETCH(QString, panel);
        QFETCH(bool, sharing);
        QFETCH(QByteArray, sent);
        QFETCH(int, settingsReads);

        SessionPair p;
        REQUIRE_RELAY(p.relay);
        RemotePeer& c = p.client;
        // The relay passes on only the kinds a support side sends.
        QCOMPARE(InjectSupportMessage(p.relay, message), QByteArray("01345").contains(message[0]));
        c.Tick();
        QCOMPARE(int(c.station.Relay().State().IncomingKind()), kind);
        QCOMPARE(int(c.station.Relay().State().IncomingLength()), length);
        QCOMPARE(c.panel, QStringList());

        const std::size_t before = c.sim.Requests.size();
        c.Tick();
        QCOMPARE(c.panel, panel.isEmpty() ? QStringList() : QStringList{panel});
        QCOMPARE(c.station.IsSharing(), sharing);
        QCOMPARE(PendingMessage(p.relay, "client").left(1), sent);
        QCOMPARE(SettingsCommandsSeen(c.sim, before, 2).size(), 9 * settingsReads);
        QCOMPARE(c.sim.AppliedWrites, 0);
        QCOMPARE(c.errors, QStringList());
        // A third tick brings nothing new: nothing is shown or read again.
        if (sharing) {
            c.panel.clear();
            const std::size_t third = c.sim.Requests.size();
            c.Tick();
            QCOMPARE(c.panel, QStringList());
            QCOMPARE(SettingsCommandsSeen(c.sim, third, 2).size(), 0);
            QCOMPARE(PendingMessage(p.relay, "client").left(1), QByteArray("2"));
        }

        // A client that stopped sharing makes no further exchange.
        if (!sharing) {
            const QByteArray pending = PendingMessage(p.relay, "client");
            p.relay.Discard(QStringLiteral("client"));
            c.status = QStringLiteral("untouched");
            c.Tick();
            QVERIFY(!pending.isEmpty());
            QVERIFY(!HasPendingMessage(p.relay, "client"));
            QCOMPARE(c.status, QStringLiteral("untouched"));
        }
    }

    void supportReactsToClientMessages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("kind");      // IncomingKind after the tick
        QTest::addColumn<int>("length");    // IncomingLength after the tick
        QTest::addColumn<QString>("panel"); // empty: panel stays hidden
        QTest::addColumn<bool>("stateStored");
        QTest::addColumn<bool>("settingsStored");

        std::array<uint8_t, 280> state{};
        for (std::size_t i = 0; i < state.size(); ++i)
            state[i] = uint8_t(i * 7 + 3);
        const QByteArray fullState = MessageText(2, state);
        const QByteArray shortState = fullState.left(fullState.lastIndexOf('$'));
        const QByteArray fullSettings = MessageText(3, realistic::Record().Bytes());
        QByteArray shortSettings("3");
        for (int i = 0; i < 300; ++i)
            shortSettings += "$" + QByteArray::number(i % 256);

        QTest::newRow("state, 280 values") << fullState << 2 << 280 << QString() << true << false;
        QTest::newRow("state, 279 values") << shortState << 2 << 279 << QString() << false << false;
        QTest::newRow("settings, 540 values") << fullSettings << 3 << 540
                                              << QStringLiteral(" CLIENT sent settings: received 540 bytes") << false
                                              << true;
        QTest::newRow("settings, 300 values") << shortSettings << 3 << 300
                                              << QStringLiteral(" CLIENT sent settings: received 300 bytes") << false
                                              << false;
        QTest::newRow("chat") << QByteArray("4$79$75") << 4 << 2 << QStringLiteral(" Message from CLIENT: OK")
                              << false << false;
        QTest::newRow("one-character chat") << QByteArray("4$79") << 4 << 1 << QString() << false << false;
        QTest::newRow("kind digit alone") << QByteArray("2") << 0 << 0 << QString() << false << false;
        QTest::newRow("state request is not for the support") << QByteArray("0$1") << 0 << 0 << QString() << false
                                                              << false;
        QTest::newRow("stop is not for the support") << QByteArray("5$1") << 0 << 0 << QString() << false << false;
    }

    void supportReactsToClientMessages()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, kind);
        QFETCH(int, length);
        QFETCH(QString, panel);
        QFETCH(bool, stateStored);
        QFETCH(bool, settingsStored);

        PhpRelay relay;
        REQUIRE_RELAY(relay);
        RemotePeer s;
        s.sim.Present = false;
        s.station.SetConnection(Connection::Remote);
        s.station.Relay().SetDomain(relay.Domain());
        // Values the answer must not overwrite unless it carries them whole.
        StationTestAccess::EditOwnState(s.station, [](SystemStateRecord& r) { r.SetBatteryVoltage(12.5f); });
        StationTestAccess::EditSettings(s.station, [](SettingsRecord& r) {
            r = realistic::Record();
            r.SetF32(SettingsRecord::WarningBatteryTemperatureAt, 44.0f);
        });
        s.settings.TakeAsReference();
        const SystemStateRecord stateBefore = s.station.OwnState();
        const SettingsRecord settingsBefore = s.station.Settings();

        // The relay passes on only the kinds a client sends.
        QCOMPARE(RawGet(relay, QStringLiteral("?user=client&data=") + QString::fromLatin1(message) +
                                   QStringLiteral("&time=1")),
                 QByteArray("234").contains(message[0]) ? 200 : 400);
        s.Tick();
        QCOMPARE(int(s.station.Relay().State().IncomingKind()), kind);
        QCOMPARE(int(s.station.Relay().State().IncomingLength()), length);
        QCOMPARE(s.panel, panel.isEmpty() ? QStringList() : QStringList{panel});
        if (stateStored) {
            QVERIFY(s.station.OwnState().Bytes() != stateBefore.Bytes());
            for (int i = 0; i < 280; ++i)
                QCOMPARE(s.station.OwnState().Bytes()[std::size_t(i)], uint8_t(i * 7 + 3));
        } else {
            QVERIFY(s.station.OwnState() == stateBefore);
        }
        // The settings that came whole are what the editors show, unmarked.
        const QStringList shown = SystemSettingsTexts(s.settings.Reference(), s.settings.Voltage());
        if (settingsStored) {
            QVERIFY(s.station.Settings() == realistic::Record());
            QVERIFY(s.settings.Reference() == realistic::Record());
            QCOMPARE(shown[WarningBatteryTemperatureRow], QStringLiteral("48"));
            QVERIFY(s.session.ClientSettingsArrived());
        } else {
            QVERIFY(s.station.Settings() == settingsBefore);
            QCOMPARE(shown[WarningBatteryTemperatureRow], QStringLiteral("44"));
            QVERIFY(!s.session.ClientSettingsArrived());
        }
        QVERIFY(s.sim.Requests.empty());
        QCOMPARE(s.errors, QStringList());
        QVERIFY(s.station.IsRemoteConnection());
    }

    void remoteWriteReachesTheClientsRegulator()
    {
        SessionPair p;
        REQUIRE_RELAY(p.relay);
        p.ReadClientSettings();
        QVERIFY(p.support.station.Settings() == p.client.sim.Settings());

        QVERIFY(p.EditAndSendSettings());
        const int tab = p.support.settings.ProfileTab();
        const SettingsRecord sent = p.support.station.Settings();
        QCOMPARE(sent.WarningBatteryTemperature(), 51.0f);
        QCOMPARE(sent.U16(SettingsRecord::ProfileOffset(tab) + ChargeProfile::WarmUpDurationAt), uint16_t(777));
        QCOMPARE(p.support.station.Relay().State().OutgoingKind(), uint8_t(3));
        QCOMPARE(p.support.station.Relay().State().OutgoingLength(), int32_t(540));
        QCOMPARE(Carried(PendingMessage(p.relay, "support")), Carried('3', sent.Bytes()));
        QVERIFY(p.support.sim.Requests.empty());

        // Tick 1 receives the new settings (and, the settings request being
        // sticky, sends the regulator's settings once more).
        RemotePeer& c = p.client;
        const int writesBefore = c.sim.AppliedWrites;
        c.Tick();
        QCOMPARE(c.station.Relay().State().IncomingKind(), uint8_t(3));
        QCOMPARE(c.station.Relay().State().IncomingLength(), int32_t(540));
        QCOMPARE(c.status, QStringLiteral("Support sent new settings"));
        QCOMPARE(c.sim.AppliedWrites, writesBefore);

        // Tick 2 reads the regulator, takes what arrived and writes it. The
        // support side is quiet meanwhile (its state request goes).
        p.relay.Discard(QStringLiteral("support"));
        const std::size_t before = c.sim.Requests.size();
        c.panel.clear();
        c.Tick();
        QCOMPARE(c.panel, QStringList{QStringLiteral(" SUPPORT sent new settings: received 540 bytes")});
        // Read before the write, and read back after it.
        QCOMPARE(SettingsCommandsSeen(c.sim, before, 2),
                 (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
        QCOMPARE(SettingsCommandsSeen(c.sim, before, 3), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 255}));
        QCOMPARE(c.sim.AppliedWrites, writesBefore + 1);
        QVERIFY(c.sim.Settings() == sent);
        QVERIFY(c.station.Settings() == sent);
        // The firmware's bookkeeping after the record went back as read.
        QVERIFY(c.sim.SettingsImage == realistic::Image(sent));
        QCOMPARE(SystemSettingsTexts(c.settings.Record(), c.settings.Voltage())[WarningBatteryTemperatureRow],
                 QStringLiteral("51"));
        // What the regulator confirmed is what the client's cells compare with.
        QVERIFY(c.settings.Reference() == sent);
        QVERIFY(QFileInfo(c.station.SettingsOwner().LastBackupPath()).fileName().endsWith(QStringLiteral("_support-write.krv")));

        // Nothing new arrived in tick 2: the settings are acted on once, so
        // no notice comes again and nothing is written a second time.
        c.panel.clear();
        c.Tick();
        QCOMPARE(c.panel, QStringList());
        QCOMPARE(c.sim.AppliedWrites, writesBefore + 1);
        QVERIFY(c.sim.Settings() == sent);
        QCOMPARE(c.errors, QStringList());
        QCOMPARE(p.support.errors, QStringList());
    }

    // The owner joins a session the technician opened, with its code alone;
    // a write from the technician is confirmed to the technician by what
    // the customer's regulator holds afterwards, and the owner is told what
    // changed.
    void remoteWriteConfirmedOnBothSides_data()
    {
        QTest::addColumn<int>("fault"); // 0 none, 1 the regulator keeps another value, 2 it is gone after the write
        QTest::addColumn<QString>("clientNotice");
        QTest::addColumn<QString>("supportNotice");
        const QString row = QStringLiteral("System settings, Warning Battery Temperature, \u00B0C: ");
        QTest::newRow("stored as sent")
            << 0 << "SUPPORT changed 2 setting(s) on %1:\n" + row + "48 -> 51\nProfile 2 - GEL, Warm-up Duration, s: 660 -> 777"
            << "Written and confirmed by the customer's regulator";
        QTest::newRow("a value kept at a limit")
            << 1
            << "SUPPORT's settings were not confirmed by %1: it holds other settings than were sent. What changed on "
               "it (2):\n" + row + "48 -> 50\nProfile 2 - GEL, Warm-up Duration, s: 660 -> 777"
            << "Not confirmed: the customer's regulator holds other settings than were sent in 1 row(s):\n" + row
                   + "sent 51, holds 50";
        QTest::newRow("gone after the write")
            << 2
            << "SUPPORT sent new settings, but what %1 holds now could not be read back: it may hold a mix of the old "
               "and the new settings."
            << "No confirmation from the customer's regulator within 30 s: the settings may not have been written";
    }

    void remoteWriteConfirmedOnBothSides()
    {
        QFETCH(int, fault);
        QFETCH(QString, clientNotice);
        QFETCH(QString, supportNotice);
        SessionPair p;
        REQUIRE_RELAY(p.relay);
        const QString code = NewSessionCode();
        p.support.station.Relay().SetDomain(SessionDomain(p.relay.Domain(), code));
        QVERIFY(p.support.station.Relay().OpenSupportSession());
        p.client.station.Relay().SetDomain(DomainFromTypedText(code.toLower(), p.relay.Domain()).domain);
        p.ReadClientSettings();
        QVERIFY(p.support.station.Settings() == p.client.sim.Settings());
        QVERIFY(p.client.errors.isEmpty());
        QVERIFY(p.EditAndSendSettings());

        SimulatedRegulator& sim = p.client.sim;
        const int writesBefore = sim.AppliedWrites;
        sim.ExtraDelayFor = [&sim, fault, writesBefore](const ReportBuffer& r) {
            if (r[0] == WriteSettingsBlock && r[1] == SettingsWriteEnd && sim.AppliedWrites == writesBefore + 1) {
                if (fault == 1) {
                    const float limited = 50.0f;
                    std::memcpy(sim.SettingsImage.data() + SettingsRecord::WarningBatteryTemperatureAt, &limited, 4);
                } else if (fault == 2) {
                    sim.Present = false;
                }
            }
            return 0;
        };
        p.client.Tick(); // takes the settings
        p.client.Tick(); // writes them and answers with what the regulator holds
        const QString name = QString::fromLatin1(sim.OwnState.RegulatorName());
        QCOMPARE(p.client.notices, QStringList{clientNotice.arg(name)});
        QCOMPARE(p.client.station.Relay().ChatLines().last().side, QStringLiteral("PROGRAM"));
        QCOMPARE(p.client.station.Relay().ChatLines().last().text,
                 clientNotice.arg(name).replace(QStringLiteral(":\n"), QStringLiteral(": ")).replace(QStringLiteral("\n"), QStringLiteral("; ")));
        p.support.Tick();
        if (fault == 2) {
            QCOMPARE(p.support.notices, QStringList());
            p.support.clock.AdvanceSeconds(RemoteSession::ConfirmationWaitSeconds);
            p.support.Tick();
        }
        QCOMPARE(p.support.notices, QStringList{supportNotice});
        // One answer per write: nothing more is claimed afterwards.
        p.client.Tick();
        p.support.Tick();
        QCOMPARE(p.support.notices.size(), 1);
    }

    void supportLogsReceivedStateInTheSameTick()
    {
        SessionPair p;
        REQUIRE_RELAY(p.relay);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString log = dir.filePath(QStringLiteral("remote.txt"));
        Station& s = p.support.station;
        s.SetLogFileName(log);
        s.SetLogging(true);

        p.client.Tick();
        p.support.Tick();
        QList<QByteArray> lines = LogLines(log);
        QCOMPARE(lines.size(), 2); // header and one value line
        QVERIFY(lines[0].startsWith("B+ Voltage, V\t"));
        QVERIFY(lines[0].contains("\tPeer:"));
        QVERIFY(lines[1].endsWith("\t\r"));
        const QList<QByteArray> values = lines[1].chopped(1).split('\t');
        // The B+ voltage as the measured values page shows it on both sides.
        QCOMPARE(QString::fromLatin1(values.first()), s.PageTexts(Side::Own).measured[MeasuredValuesColumns + 1]);
        QCOMPARE(QString::fromLatin1(values.first()),
                 p.client.station.PageTexts(Side::Own).measured[MeasuredValuesColumns + 1]);
        QVERIFY(s.IsLogging());

        // No state in this answer: no line.
        p.support.Tick();
        QCOMPARE(LogLines(log).size(), 2);

        // Fresh state: one more line.
        p.client.Tick();
        p.support.Tick();
        QCOMPARE(LogLines(log).size(), 3);

        // A log that cannot be written switches logging off.
        s.SetLogFileName(dir.filePath(QStringLiteral("missing/remote.txt")));
        p.client.Tick();
        p.support.Tick();
        QVERIFY(!s.IsLogging());
        QCOMPARE(p.support.errors, QStringList());
    }

    void failedExchangeEndsTheRole_data()
    {
        QTest::addColumn<bool>("supportRole");
        QTest::addColumn<int>("fault"); // 0 relay stopped, 1 closed port, 2 empty domain
        for (bool support : {false, true}) {
            const char* role = support ? "support" : "client";
            QTest::addRow("%s, relay stopped", role) << support << 0;
            QTest::addRow("%s, closed port", role) << support << 1;
            QTest::addRow("%s, empty domain", role) << support << 2;
        }
        // Only the technician's side opens a session: the owner's first
        // exchange with a code nobody opened says so.
        QTest::addRow("client, code of no session") << false << 3;
    }

    void failedExchangeEndsTheRole()
    {
        QFETCH(bool, supportRole);
        QFETCH(int, fault);

        SessionPair p;
        REQUIRE_RELAY(p.relay);
        p.client.Tick();
        p.support.Tick();
        const SystemStateRecord clientState = p.client.station.OwnState();
        QVERIFY(p.support.station.OwnState() == clientState);

        RemotePeer& peer = supportRole ? p.support : p.client;
        if (fault == 0)
            p.relay.Stop();
        else if (fault == 1)
            peer.station.Relay().SetDomain(QStringLiteral("127.0.0.1:%1").arg(ClosedLoopbackPort()));
        else if (fault == 2)
            peer.station.Relay().SetDomain(QString());
        else
            peer.station.Relay().SetDomain(DomainFromTypedText(QStringLiteral("2345-6789-ab"), p.relay.Domain()).domain);
        // A support side whose exchange fails acts on nothing it acted on
        // before: the client's state is not put back.
        if (supportRole)
            StationTestAccess::EditOwnState(p.support.station, [](SystemStateRecord& r) { r.Clear(); });

        peer.Tick();
        const QString reason = peer.status;
        if (fault == 3)
            QCOMPARE(reason, QStringLiteral("No support session with this code on ") + p.relay.Domain());
        QVERIFY(!reason.isEmpty());
        QVERIFY(reason != QStringLiteral("Nothing received"));
        QCOMPARE(peer.errors, QStringList{InternetConnection + reason});
        QCOMPARE(peer.station.Relay().State().SupportStatusText(), reason);
        if (supportRole) {
            QVERIFY(peer.station.IsUsbConnection());
            QVERIFY(peer.station.OwnState() == SystemStateRecord());
        } else {
            QVERIFY(!peer.station.IsSharing());
        }

        // The role is over: the next tick makes no exchange and shows nothing.
        peer.status = QStringLiteral("untouched");
        peer.Tick();
        QCOMPARE(peer.errors.size(), 1);
        QCOMPARE(peer.status, QStringLiteral("untouched"));
    }
};

QTEST_GUILESS_MAIN(TestRemoteSession)
#include "test_remote_session.moc"
