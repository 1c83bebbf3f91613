// The remote support session as the main window runs it: a client window on
// the simulated regulator and a support window without one, meeting at the
// real relay script (php -S on loopback). A tiny TCP server stands in for the
// relay only where the real one cannot misbehave (an answer that never comes).
#include "settings/charge_profile_rows.h"
#include "settings/system_settings_rows.h"
#include "rig/station_test_access.h"
#include "rig/gui_rig.h"
#include "support/chat_window_widget.h"
#include "rig/fake_relay.h"
#include "rig/php_relay.h"
#include "rig/relay_probe.h"
#include "rig/remote_peer.h"
#include "support/relay_address.h"
#include "rig/realistic_settings.h"
#include "support/support_exchange.h"
#include "views/notice_bar_widget.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const QString InternetConnection = QStringLiteral("Internet Connection: ");

#define REQUIRE_RELAY(relay) QVERIFY2((relay).IsRunning(), qPrintable((relay).ErrorText()))

// One tick of the 2 s timer. The tick (and the settings operations inside it)
// start the timers again; they are stopped so that no real tick interferes.
void Tick(GuiRig& rig)
{
    rig.W().INETTimerTimer();
    rig.StopTimers();
}

bool PanelShows(TMainFormKrv& w, const QString& text)
{
    return !w.Ui().MessagePanel->isHidden() && w.Ui().MessagePanel->text() == text;
}

// The end user's window (regulator on USB, sharing) and the technician's
// (no regulator, remote), both pointed at one support domain.
struct SessionPair {
    GuiRig client;
    GuiRig support;

    explicit SessionPair(const QString& domain)
    {
        client.sim.SettingsImage = realistic::Image();
        client.Connect();
        client.W().ShareDataWithSupportClick();
        client.W().Core().Relay().SetDomain(domain);
        support.sim.Present = false;
        support.W().RemoteViaInternetToProvideSupportClick();
        support.W().Core().Relay().SetDomain(domain);
    }
    TMainFormKrv& C() { return client.W(); }
    TMainFormKrv& S() { return support.W(); }
};

struct RelayHolder {
    PhpRelay relay;
};

// A pair on a relay of its own, in the relay's trial session.
struct RemotePair : RelayHolder, SessionPair {
    RemotePair() : SessionPair(relay.Domain()) {}
};

// An HTTP server that takes requests and never answers them.
class SilentServer : public QObject {
public:
    int connections = 0;
    QByteArray received;

    SilentServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received += socket->readAll(); });
            }
        });
    }
    bool IsListening() const { return server_.isListening(); }
    QString Domain() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }
    int Requests() const { return int(received.count("GET /support_x.php?")); }

private:
    QTcpServer server_;
};

} // namespace

class RemoteSupportTest : public QObject {
    Q_OBJECT

    // Brings the pair to the point where the support window holds the
    // client's settings in its record and editors, after a remote read.
    void ReadClientSettings(RemotePair& p)
    {
        Tick(p.client);
        Tick(p.support);
        p.S().ReadAllSettingsFromSystemClick();
        p.support.StopTimers();
        Tick(p.client);  // takes the request
        Tick(p.client);  // acts on it: reads the regulator, sends kind 3
        Tick(p.support); // stores what arrived
    }

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void firstClientTickSendsStateAndSupportShowsIt()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        QVERIFY(p.C().Core().OwnState().RegulatorName().size() > 0);
        QCOMPARE(p.C().Core().Relay().State().IncomingKind(), uint8_t(0));

        Tick(p.client);
        QCOMPARE(p.C().Core().Relay().State().SupportRole(), RoleClient);
        QCOMPARE(p.C().Core().Relay().State().OutgoingKind(), uint8_t(2));
        QCOMPARE(p.C().Core().Relay().State().OutgoingLength(), int32_t(280));
        QCOMPARE(Carried(PendingMessage(p.relay, "client")), Carried('2', p.C().Core().OwnState().Bytes()));
        QCOMPARE(p.C().StatusText(), QStringLiteral("Nothing received"));
        QVERIFY(p.C().Ui().ShareDataWithSupport->isChecked());
        QVERIFY(p.C().Ui().SendChatMessage->isEnabled());

        // The support window has no regulator and never looks for one.
        const SystemStateRecord peerBefore = p.S().Core().PeerState();
        Tick(p.support);
        QCOMPARE(p.S().Core().Relay().State().SupportRole(), RoleSupport);
        QCOMPARE(p.S().Core().Relay().State().IncomingKind(), uint8_t(2));
        QCOMPARE(p.S().Core().Relay().State().IncomingLength(), int32_t(280));
        QCOMPARE(p.S().StatusText(), QStringLiteral("Client sent system state"));
        QVERIFY(p.S().Core().OwnState() == p.C().Core().OwnState());
        QVERIFY(p.S().Core().OwnState() == p.client.sim.OwnState);
        QVERIFY(p.S().Core().PeerState() == peerBefore);
        QCOMPARE(GuiRig::Cells(p.S().Ui().MeasuredValuesTable), GuiRig::Cells(p.C().Ui().MeasuredValuesTable));
        QCOMPARE(GuiRig::Cells(p.S().Ui().SystemStateTable), GuiRig::Cells(p.C().Ui().SystemStateTable));
        QCOMPARE(p.S().Ui().RegulatorStateTable->Cell(1, 1), p.C().Ui().RegulatorStateTable->Cell(1, 1));
        QCOMPARE(GuiRig::MemoLines(p.S().Ui().SystemMessagesMemo).first(),
                 GuiRig::MemoLines(p.C().Ui().SystemMessagesMemo).first());
        QVERIFY(p.support.sim.Requests.empty());
        QCOMPARE(p.support.sim.SearchCount, 0);
        QCOMPARE(PendingMessage(p.relay, "support"), QByteArray("0"));
        QVERIFY(!HasPendingMessage(p.relay, "client"));
        QVERIFY(p.client.dialogs.Shown.empty());
        QVERIFY(p.support.dialogs.Shown.empty());
        QVERIFY(p.C().Ui().MessagePanel->isHidden());
        QVERIFY(p.S().Ui().MessagePanel->isHidden());

        // The client takes the state request and keeps sending fresh state.
        p.client.sim.OwnState.SetBatteryVoltage(13.75f);
        p.C().USBTimerTimer();
        Tick(p.client);
        QCOMPARE(p.C().StatusText(), QStringLiteral("Support requested system state"));
        QCOMPARE(Carried(PendingMessage(p.relay, "client")), Carried('2', p.client.sim.OwnState.Bytes()));
        Tick(p.support);
        QVERIFY(p.S().Core().OwnState() == p.client.sim.OwnState);
        QCOMPARE(GuiRig::Cells(p.S().Ui().SystemStateTable), GuiRig::Cells(p.C().Ui().SystemStateTable));
    }

    void remoteReadBringsTheClientsSettings()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        Tick(p.client);
        Tick(p.support);

        const SettingsRecord supportBefore = p.S().Core().Settings();
        p.S().Ui().PageControl->setCurrentWidget(p.S().Ui().StateTabSheet);
        // The window goes on handling its events (it repaints) while the
        // read waits, and the status bar counts the seconds.
        QStringList shown;
        QTimer counter;
        QObject::connect(&counter, &QTimer::timeout, [&] {
            if (shown.isEmpty() || shown.last() != p.S().StatusText())
                shown << p.S().StatusText();
        });
        counter.start(0);
        p.S().ReadAllSettingsFromSystemClick();
        counter.stop();
        p.support.StopTimers();
        QVERIFY2(shown.contains(QStringLiteral("Waiting for the customer's settings... 3 s")), qPrintable(shown.join('|')));
        QCOMPARE(p.S().Ui().PageControl->currentWidget(), p.S().Ui().SettingsTabSheet);
        QCOMPARE(PendingMessage(p.relay, "support"), QByteArray("1"));
        QCOMPARE(p.S().Core().Relay().State().OutgoingKind(), uint8_t(1));
        QCOMPARE(p.S().Core().Relay().State().OutgoingLength(), int32_t(0));
        QCOMPARE(p.S().StatusText(), QStringLiteral("Nothing received"));
        QVERIFY(p.S().Core().Settings() == supportBefore); // the settings come later
        QVERIFY(p.support.sim.Requests.empty());

        // The client recognises the request in one tick and answers it in the
        // next, before that tick's exchange.
        Tick(p.client);
        QCOMPARE(p.C().Core().Relay().State().IncomingKind(), uint8_t(1));
        QCOMPARE(p.C().StatusText(), QStringLiteral("Support requested system settings"));
        QVERIFY(p.C().Ui().MessagePanel->isHidden());
        QCOMPARE(PendingMessage(p.relay, "client").left(2), QByteArray("2$"));

        const std::size_t before = p.client.sim.Requests.size();
        p.C().Ui().PageControl->setCurrentWidget(p.C().Ui().StateTabSheet);
        Tick(p.client);
        QVERIFY(PanelShows(p.C(), QStringLiteral(" Settings requested by SUPPORT")));
        // The owner's window stays on the page the owner looks at.
        QCOMPARE(p.C().Ui().PageControl->currentWidget(), p.C().Ui().StateTabSheet);
        QCOMPARE(SettingsCommandsSeen(p.client.sim, before, 2), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
        QVERIFY(SettingsCommandsSeen(p.client.sim, before, 3).isEmpty());
        QVERIFY(p.C().Core().Settings() == p.client.sim.Settings());
        QCOMPARE(p.C().Core().Relay().State().OutgoingKind(), uint8_t(3));
        QCOMPARE(p.C().Core().Relay().State().OutgoingLength(), int32_t(540));
        QCOMPARE(Carried(PendingMessage(p.relay, "client")), Carried('3', p.client.sim.Settings().Bytes()));
        QVERIFY(p.C().Ui().ShareDataWithSupport->isChecked());

        Tick(p.support);
        QVERIFY(PanelShows(p.S(), QStringLiteral(" CLIENT sent settings: received 540 bytes")));
        QCOMPARE(p.S().StatusText(), QStringLiteral("Client sent system settings"));
        QVERIFY(p.S().Core().Settings() == p.client.sim.Settings());
        QVERIFY(p.S().Core().Settings() == realistic::Record());
        QCOMPARE(GuiRig::Cells(p.S().Ui().SystemSettingsTable), GuiRig::Cells(p.C().Ui().SystemSettingsTable));
        QCOMPARE(GuiRig::Cells(p.S().Ui().ChargeProfilesTable), GuiRig::Cells(p.C().Ui().ChargeProfilesTable));
        QCOMPARE(p.S().Ui().ChargeProfileTabControl->currentIndex(), p.C().Ui().ChargeProfileTabControl->currentIndex());
        QCOMPARE(p.S().Ui().SystemSettingsTable->Cell(DeviceNameRow, 1).left(11), QStringLiteral("Salty Dog 2"));
        QVERIFY(p.support.sim.Requests.empty());
        QCOMPARE(p.client.sim.AppliedWrites, 0);
        QVERIFY(p.client.dialogs.Shown.empty());
        QVERIFY(p.support.dialogs.Shown.empty());
    }

    void showingSettingsPageAsksTheClient()
    {
        PhpRelay relay;
        REQUIRE_RELAY(relay);
        GuiRig rig;
        rig.sim.Present = false;
        TMainFormKrv& w = rig.W();
        w.RemoteViaInternetToProvideSupportClick();
        w.Core().Relay().SetDomain(relay.Domain());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().StateTabSheet);
        // The user clicks the "Settings" tab.
        QTabBar* bar = w.Ui().PageControl->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(w.Ui().PageControl->indexOf(w.Ui().SettingsTabSheet)).center());
        rig.StopTimers();
        QCOMPARE(w.Ui().PageControl->currentWidget(), w.Ui().SettingsTabSheet);
        QCOMPARE(PendingMessage(relay, "support"), QByteArray("1"));
        QCOMPARE(w.StatusText(), QStringLiteral("Nothing received"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(rig.sim.Requests.empty());

        // Before the customer's settings came, a write asks first; Cancel
        // sends nothing.
        rig.dialogs.AnswerCancel();
        w.WriteAllSettingsToSystemClick();
        QCOMPARE(int(rig.dialogs.Shown.back().kind), int(ShownDialog::WarningYesCancel));
        QVERIFY(rig.dialogs.Shown.back().text.startsWith(QStringLiteral("The customer's settings have not arrived yet")));
        QCOMPARE(PendingMessage(relay, "support"), QByteArray("1"));
        rig.dialogs.Shown.clear();
        // A remote write with the relay gone: the reason in the status bar,
        // no failure box, and the timers and cursor back to normal.
        relay.Stop();
        rig.dialogs.AnswerYes();
        w.WriteAllSettingsToSystemClick();
        QVERIFY(w.Ui().USBTimer->isActive());
        QVERIFY(w.Ui().INETTimer->isActive());
        rig.StopTimers();
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(!w.StatusText().isEmpty());
        QCOMPARE(w.StatusText(), w.Core().Relay().State().SupportStatusText());
        QVERIFY(w.StatusText() != QStringLiteral("Nothing received"));
        QCOMPARE(rig.dialogs.Shown.size(), std::size_t(1)); // the question only
        QVERIFY(w.Ui().RemoteViaInternetToProvideSupport->isChecked());
    }

    void chatBothWays()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        Tick(p.client);
        Tick(p.support);

        // Support to client: recognised in one client tick, shown in the next.
        p.support.dialogs.AnswerText(QStringLiteral("Hi there"));
        p.S().SendChatMessageClick();
        QVERIFY(p.S().Ui().USBTimer->isActive());
        QVERIFY(p.S().Ui().INETTimer->isActive());
        p.support.StopTimers();
        QCOMPARE(p.support.dialogs.Shown.size(), std::size_t(1));
        const ShownDialog box = p.support.dialogs.Shown.front();
        QCOMPARE(int(box.kind), int(ShownDialog::Input));
        QCOMPARE(box.caption, QStringLiteral("Send a chat"));
        QCOMPARE(box.text, QStringLiteral("Message"));
        QCOMPARE(box.proposed, QString());
        QCOMPARE(p.S().Core().Relay().State().SupportRole(), RoleSupport);
        QCOMPARE(PendingMessage(p.relay, "support"), QByteArray("4$72$105$32$116$104$101$114$101"));
        // Several support ticks before the client polls: their state requests
        // replace each other and never the chat.
        for (int i = 0; i < 3; ++i)
            Tick(p.support);
        QCOMPARE(p.relay.Waiting(QStringLiteral("support")),
                 (QList<QByteArray>{QByteArray("4$72$105$32$116$104$101$114$101"), "0"}));
        Tick(p.client);
        QCOMPARE(p.C().Core().Relay().State().IncomingKind(), uint8_t(4));
        QCOMPARE(p.C().StatusText(), QStringLiteral("Support sent chat"));
        Tick(p.client);
        QVERIFY2(PanelShows(p.C(), QStringLiteral(" Message from SUPPORT: Hi there")),
                 qPrintable(p.C().Ui().MessagePanel->text()));

        // Client to support: shown in the support's next tick.
        p.client.dialogs.AnswerText(QStringLiteral("Engine won't charge"));
        p.C().SendChatMessageClick();
        p.client.StopTimers();
        QCOMPARE(p.C().Core().Relay().State().SupportRole(), RoleClient);
        QCOMPARE(PendingMessage(p.relay, "client"), QByteArray("4$69$110$103$105$110$101$32$119$111$110$39$116$32$99$104$97$114$103$101"));
        // The same the other way: client ticks before the support polls.
        for (int i = 0; i < 3; ++i)
            Tick(p.client);
        Tick(p.support);
        QCOMPARE(p.S().StatusText(), QStringLiteral("Client sent chat"));
        QVERIFY2(PanelShows(p.S(), QStringLiteral(" Message from CLIENT: Engine won't charge")),
                 qPrintable(p.S().Ui().MessagePanel->text()));

        // One character goes out but neither side shows it.
        p.S().Ui().MessagePanel->hide();
        p.client.dialogs.AnswerText(QStringLiteral("x"));
        p.C().SendChatMessageClick();
        p.client.StopTimers();
        QCOMPARE(PendingMessage(p.relay, "client"), QByteArray("4$120"));
        Tick(p.support);
        QCOMPARE(p.S().Core().Relay().State().IncomingKind(), uint8_t(4));
        QCOMPARE(p.S().Core().Relay().State().IncomingLength(), int32_t(1));
        QVERIFY(p.S().Ui().MessagePanel->isHidden());

        p.C().Ui().MessagePanel->hide();
        p.support.dialogs.AnswerText(QStringLiteral("y"));
        p.S().SendChatMessageClick();
        p.support.StopTimers();
        QCOMPARE(PendingMessage(p.relay, "support"), QByteArray("4$121"));
        Tick(p.client);
        QCOMPARE(p.C().Core().Relay().State().IncomingLength(), int32_t(1));
        Tick(p.client);
        QVERIFY(p.C().Ui().MessagePanel->isHidden());

        // A cancelled or empty chat sends nothing, and the timers run again.
        for (bool cancel : {true, false}) {
            p.relay.Discard(QStringLiteral("support"));
            if (cancel)
                p.support.dialogs.AnswerCancel();
            else
                p.support.dialogs.AnswerText(QString());
            p.S().SetStatusText(QStringLiteral("untouched"));
            p.S().SendChatMessageClick();
            QVERIFY(p.S().Ui().USBTimer->isActive());
            QVERIFY(p.S().Ui().INETTimer->isActive());
            p.support.StopTimers();
            QVERIFY(!HasPendingMessage(p.relay, "support"));
            QCOMPARE(p.S().StatusText(), QStringLiteral("untouched"));
        }
        // A line typed after the role ended, before the next tick disables
        // the item, is sent as nobody: nothing reaches the relay.
        p.relay.Discard(QStringLiteral("client"));
        p.C().ShareDataWithSupportClick();
        QVERIFY(!p.C().Ui().ShareDataWithSupport->isChecked());
        p.client.dialogs.AnswerText(QStringLiteral("late"));
        p.C().SendChatMessageClick();
        p.client.StopTimers();
        QVERIFY(!HasPendingMessage(p.relay, "client"));
        QVERIFY(!p.client.dialogs.Unscripted);
        QVERIFY(!p.support.dialogs.Unscripted);
        QVERIFY(p.client.dialogs.ErrorTexts().isEmpty());
        QVERIFY(p.support.dialogs.ErrorTexts().isEmpty());
    }

    // Both sides keep ticking for 10 s: every message is acted on once,
    // whichever exchange brought it. Chat lines that cross are each shown
    // once, one settings request is answered once, and a value the
    // technician types after the client's settings arrived stays in its cell.
    void eachMessageActedOnOnce()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        Tick(p.client);
        Tick(p.support);
        p.support.dialogs.AnswerText(QStringLiteral("Hi from support"));
        p.S().SendChatMessageClick();
        p.client.dialogs.AnswerText(QStringLiteral("Yes"));
        p.C().SendChatMessageClick();
        p.S().ReadAllSettingsFromSystemClick();
        p.client.StopTimers();
        p.support.StopTimers();
        const std::size_t before = p.client.sim.Requests.size();
        bool typed = false;
        for (int round = 0; round < 5; ++round) {
            Tick(p.client);
            Tick(p.support);
            if (!typed && p.S().Core().Settings() == realistic::Record()) {
                p.S().Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
                typed = true;
            }
        }
        const auto received = [](TMainFormKrv& w) {
            QStringList lines;
            for (const ChatLine& line : w.Core().Relay().ChatLines())
                lines << (line.sent ? QStringLiteral("sent ") : QStringLiteral("got ")) + line.text;
            return lines;
        };
        QCOMPARE(received(p.C()), (QStringList{"sent Yes", "got Hi from support"}));
        QCOMPARE(received(p.S()), (QStringList{"sent Hi from support", "got Yes"}));
        // The "Chat..." window lists them with time and side.
        p.C().Ui().ChatLog->trigger();
        auto* chat = p.C().findChild<ChatWindow*>(QStringLiteral("ChatWindow"));
        QVERIFY(chat);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  CLIENT \\(you\\): Yes\n"
                                                   "\\d\\d:\\d\\d:\\d\\d  SUPPORT: Hi from support$"))
                     .match(chat->Text()).hasMatch(),
                 qPrintable(chat->Text()));
        chat->close();
        QCOMPARE(SettingsCommandsSeen(p.client.sim, before, 2).size(), 9);
        QVERIFY(typed);
        QCOMPARE(p.S().Ui().SystemSettingsTable->Cell(WarningBatteryTemperatureRow, 1), QStringLiteral("51"));
        QVERIFY(p.client.dialogs.ErrorTexts().isEmpty());
        QVERIFY(p.support.dialogs.ErrorTexts().isEmpty());
    }

    void roleSwitches_data()
    {
        QTest::addColumn<bool>("share");
        QTest::addColumn<bool>("remote");
        QTest::addColumn<bool>("chatEnabled");
        QTest::addColumn<bool>("shareAfter");
        QTest::addColumn<QByteArray>("clientMessage");  // empty: no client request
        QTest::addColumn<QByteArray>("supportMessage"); // empty: no support request

        QTest::newRow("neither") << false << false << false << false << QByteArray() << QByteArray();
        QTest::newRow("client") << true << false << true << true << QByteArray("2") << QByteArray();
        QTest::newRow("support") << false << true << true << false << QByteArray() << QByteArray("0");
        QTest::newRow("both: support wins") << true << true << true << false << QByteArray() << QByteArray("0");
    }

    void roleSwitches()
    {
        QFETCH(bool, share);
        QFETCH(bool, remote);
        QFETCH(bool, chatEnabled);
        QFETCH(bool, shareAfter);
        QFETCH(QByteArray, clientMessage);
        QFETCH(QByteArray, supportMessage);

        PhpRelay relay;
        REQUIRE_RELAY(relay);
        GuiRig rig;
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.Core().Relay().SetDomain(relay.Domain());
        QVERIFY(!w.Ui().SendChatMessage->isEnabled());
        if (share)
            w.ShareDataWithSupportClick();
        if (remote)
            w.RemoteViaInternetToProvideSupportClick();
        QCOMPARE(w.Ui().ConnectionUSB->isChecked(), !remote);
        w.SetStatusText(QStringLiteral("untouched"));
        Tick(rig);
        QCOMPARE(w.Ui().SendChatMessage->isEnabled(), chatEnabled);
        QCOMPARE(w.Ui().ShareDataWithSupport->isChecked(), shareAfter);
        QCOMPARE(PendingMessage(relay, "client").left(1), clientMessage);
        QCOMPARE(PendingMessage(relay, "support").left(1), supportMessage);
        QCOMPARE(w.StatusText() == QStringLiteral("untouched"), !share && !remote);
        if (remote)
            QCOMPARE(w.Core().Relay().State().SupportRole(), RoleSupport);
        QVERIFY(rig.dialogs.Shown.empty());

        // Back to USB only: the next tick turns chat off and sends nothing.
        w.ConnectionUSBClick();
        if (w.Ui().ShareDataWithSupport->isChecked())
            w.ShareDataWithSupportClick();
        QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        relay.Discard(QStringLiteral("client"));
        relay.Discard(QStringLiteral("support"));
        Tick(rig);
        QVERIFY(!w.Ui().SendChatMessage->isEnabled());
        QVERIFY(!HasPendingMessage(relay, "client"));
        QVERIFY(!HasPendingMessage(relay, "support"));
    }

    void loggingClearsSharing()
    {
        PhpRelay relay;
        REQUIRE_RELAY(relay);
        GuiRig rig;
        rig.Connect();
        TMainFormKrv& w = rig.W();
        w.Core().Relay().SetDomain(relay.Domain());
        w.ShareDataWithSupportClick();
        QTemporaryDir dir;
        rig.dialogs.AnswerFile(dir.filePath(QStringLiteral("log.txt")));
        w.Ui().EnableDataLoggingToFile->trigger();
        rig.StopTimers();
        QVERIFY(w.Ui().EnableDataLoggingToFile->isChecked());
        QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        Tick(rig);
        QVERIFY(!HasPendingMessage(relay, "client"));
        QVERIFY(!w.Ui().SendChatMessage->isEnabled());
    }

    // A technician calibrates the client's regulator from afar: the new
    // factor goes out as settings and the client writes them to its regulator.
    void remoteCalibrationChangesTheClientsRegulator()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        MeasuredChannel supply = p.client.sim.OwnState.ChannelAt(Channel::PowerSupplyVoltage);
        supply.Signal = 2.4f;
        supply.Value = 12.0f;
        p.client.sim.OwnState.SetChannel(Channel::PowerSupplyVoltage, supply);
        p.C().USBTimerTimer();
        ReadClientSettings(p);
        const SettingsRecord before = p.client.sim.Settings();

        p.S().Ui().USBTimer->start(); // a calibration needs the polling timer running
        p.support.dialogs.AnswerText(QStringLiteral("12.3"));
        p.support.dialogs.AnswerYes();
        p.S().CalibrateInternalPowerSupplyClick();
        p.support.StopTimers();
        QCOMPARE(p.support.dialogs.Shown.size(), std::size_t(2));
        QCOMPARE(p.support.dialogs.Shown.back().text,
                 QStringLiteral("Calibration was successful\rDo you want to update the settings now?"));
        // The settings request of the calibration's read, then the new settings.
        QCOMPARE(PendingMessage(p.relay, "support").left(2), QByteArray("3$"));

        // The support side keeps asking for state before the client polls.
        for (int i = 0; i < 4; ++i) {
            Tick(p.support);
            Tick(p.client);
        }
        QCOMPARE(p.client.sim.Settings().PowerSupplyVoltageComp(), 1.025f);
        QCOMPARE(p.client.sim.Settings().DeviceName(), before.DeviceName());
        QVERIFY(p.client.dialogs.Shown.empty());
    }

    // Two sessions with their own codes on one relay, all four windows on
    // their real timers: each technician sees only his own customer.
    void sessionsWithOwnCodesStayApart()
    {
        PhpRelay relay;
        REQUIRE_RELAY(relay);
        SessionPair a(relay.Domain() + QStringLiteral("/s/AAAA-2222"));
        SessionPair b(relay.Domain() + QStringLiteral("/s/BBBB-3333"));
        a.client.sim.OwnState.SetRegulatorName("Boat A");
        b.client.sim.OwnState.SetRegulatorName("Boat B");
        QSet<QByteArray> seenByA;
        QSet<QByteArray> seenByB;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            seenByA.insert(a.S().Core().OwnState().RegulatorName());
            seenByB.insert(b.S().Core().OwnState().RegulatorName());
        });
        watch.start(50);
        // The technicians open their sessions; the owners join them.
        for (SessionPair* pair : {&a, &b}) {
            QVERIFY(pair->S().Core().Relay().OpenSupportSession());
            pair->C().Ui().USBTimer->start();
            pair->C().Ui().INETTimer->start();
            pair->S().Ui().INETTimer->start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(seenByA.contains("Boat A") && seenByB.contains("Boat B"), 9000);
        watch.stop();
        for (SessionPair* pair : {&a, &b}) {
            pair->client.StopTimers();
            pair->support.StopTimers();
        }
        QVERIFY(!seenByA.contains("Boat B"));
        QVERIFY(!seenByB.contains("Boat A"));
        QVERIFY(a.client.dialogs.Shown.empty() && b.support.dialogs.Shown.empty());
    }

    void supportDomainName()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        TMainFormKrv& w = p.C();
        const QString domain = p.relay.Domain();

        p.client.dialogs.AnswerCancel();
        w.SupportDomainNameClick();
        QCOMPARE(w.Core().Relay().Domain(), domain);
        QCOMPARE(p.client.dialogs.Shown.size(), std::size_t(1));
        const ShownDialog box = p.client.dialogs.Shown.back();
        QCOMPARE(int(box.kind), int(ShownDialog::Input));
        QCOMPARE(box.caption, QStringLiteral("Remote Support"));
        QVERIFY2(box.text.startsWith(QStringLiteral("Domain Name (a host, host:port, a session address")),
                 qPrintable(box.text));
        QCOMPARE(box.proposed, domain);
        Tick(p.client);
        QVERIFY(p.client.dialogs.ErrorTexts().isEmpty());
        QCOMPARE(PendingMessage(p.relay, "client").left(2), QByteArray("2$"));

        // A field longer than 255 characters is cut to 255.
        p.client.dialogs.AnswerText(QString(300, QLatin1Char('a')));
        w.SupportDomainNameClick();
        QCOMPARE(w.Core().Relay().Domain(), QString(255, QLatin1Char('a')));

        // An empty field is taken as it is, and the next exchange fails.
        p.client.dialogs.AnswerText(QString());
        w.SupportDomainNameClick();
        QCOMPARE(p.client.dialogs.Shown.back().proposed, QString(255, QLatin1Char('a')));
        QVERIFY(w.Core().Relay().Domain().isEmpty());
        p.relay.Discard(QStringLiteral("client"));
        Tick(p.client);
        QCOMPARE(p.client.dialogs.ErrorTexts(), QStringList{InternetConnection + w.StatusText()});
        QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        QVERIFY(!HasPendingMessage(p.relay, "client"));

        // An empty domain fails the chat too, without a box.
        w.ShareDataWithSupportClick();
        p.client.dialogs.AnswerText(QStringLiteral("hello"));
        w.SendChatMessageClick();
        p.client.StopTimers();
        QCOMPARE(p.client.dialogs.ErrorTexts().size(), 1);
        QVERIFY(!w.StatusText().isEmpty());
        QVERIFY(!HasPendingMessage(p.relay, "client"));

        // Confirming the relay's domain again brings the exchange back; a
        // pasted URL of the relay names the same domain.
        p.client.dialogs.AnswerText(QStringLiteral("http://") + domain + QStringLiteral("/support_x.php"));
        w.SupportDomainNameClick();
        QCOMPARE(w.Core().Relay().Domain(), domain);
        Tick(p.client);
        QCOMPARE(p.client.dialogs.ErrorTexts().size(), 1);
        QVERIFY(w.Ui().ShareDataWithSupport->isChecked());
        QVERIFY(HasPendingMessage(p.relay, "client"));

        // A malformed code is refused in the box; the domain stays.
        p.client.dialogs.AnswerText(domain + QStringLiteral("/s/7Q4K-2XU"));
        w.SupportDomainNameClick();
        QCOMPARE(w.Core().Relay().Domain(), domain);
        QCOMPARE(p.client.dialogs.ErrorTexts().size(), 2);
        QVERIFY2(p.client.dialogs.ErrorTexts().last().startsWith(QStringLiteral("\"7Q4K-2XU\" is not a session code")),
                 qPrintable(p.client.dialogs.ErrorTexts().last()));
        // A relay that keeps no such session says so, in plain words.
        p.client.dialogs.AnswerText(domain + QStringLiteral("/elsewhere/s/7Q4K-2X9F-M3"));
        w.SupportDomainNameClick();
        Tick(p.client);
        QCOMPARE(w.StatusText(), QStringLiteral("No support session with this code on ") + domain);
        QCOMPARE(p.client.dialogs.ErrorTexts().last(), InternetConnection + w.StatusText());
        QVERIFY(!p.client.dialogs.Unscripted);
    }

    // The technician makes a session: a code of its own on the relay in use,
    // read out from a box with a Copy button, and shown in both indicators.
    void newSupportSession()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        p.S().Ui().NewSupportSession->trigger();
        const QString domain = p.S().Core().Relay().Domain();
        const QString code = SessionCodeOf(domain);
        QVERIFY(IsSessionCode(code));
        QCOMPARE(domain, p.relay.Domain() + QStringLiteral("/s/") + code);
        const ShownDialog box = p.support.dialogs.Shown.back();
        QCOMPARE(int(box.kind), int(ShownDialog::InfoWithCopy));
        QCOMPARE(box.caption, QStringLiteral("New Support Session"));
        QVERIFY2(box.text.startsWith(QStringLiteral("Session code: ") + code + QStringLiteral("\r\rRead this to the customer: ")),
                 qPrintable(box.text));
        QCOMPARE(box.proposed, domain);
        // The customer enters the address; both sides meet in that session.
        p.client.dialogs.AnswerText(domain);
        p.C().SupportDomainNameClick();
        Tick(p.client);
        Tick(p.support);
        QVERIFY(p.S().Core().OwnState() == p.C().Core().OwnState());
        p.S().SystemStateTimerTimer();
        p.C().SystemStateTimerTimer();
        QVERIFY2(p.S().ConnectionIndicatorText().startsWith(QStringLiteral("Remote: ") + code + QStringLiteral(", data ")),
                 qPrintable(p.S().ConnectionIndicatorText()));
        QCOMPARE(p.C().ConnectionIndicatorText(), QStringLiteral("Sharing with support: ") + code
                                                      + QStringLiteral(", technician connected"));
        QVERIFY(p.relay.Waiting(QStringLiteral("client")).isEmpty()); // nothing went to the trial session
    }

    // A boat owner told only the code joins with it, chats through the Chat
    // window's input line and is told what the technician's write changed;
    // the technician is told that the customer's regulator confirmed it.
    void ownerJoinsWithTheCodeChatsAndSeesWhatChanged()
    {
        PhpRelay relay;
        REQUIRE_RELAY(relay);
        GuiRig owner;
        GuiRig tech;
        owner.sim.SettingsImage = realistic::Image();
        owner.Connect();
        owner.W().Core().Relay().SetDomain(relay.Domain());
        tech.sim.Present = false;
        tech.W().Core().Relay().SetDomain(relay.Domain());
        tech.W().Ui().NewSupportSession->trigger();
        const QString code = SessionCodeOf(tech.W().Core().Relay().Domain());
        tech.W().RemoteViaInternetToProvideSupportClick();

        // The code as heard over the phone: lower case, one answer to one
        // question, and sharing runs.
        owner.dialogs.AnswerText(code.toLower());
        owner.dialogs.AnswerYes();
        owner.W().SupportDomainNameClick();
        QCOMPARE(owner.W().Core().Relay().Domain(), relay.Domain() + QStringLiteral("/s/") + code);
        QCOMPARE(owner.dialogs.Shown.back().text, QStringLiteral("Share this regulator's data with support now?"));
        QVERIFY(owner.W().Ui().ShareDataWithSupport->isChecked());
        owner.W().SystemStateTimerTimer();
        QCOMPARE(owner.W().ConnectionIndicatorText(),
                 QStringLiteral("Sharing with support: ") + code + QStringLiteral(", waiting for the technician"));
        Tick(owner);
        Tick(tech);
        Tick(owner);
        owner.W().SystemStateTimerTimer();
        QCOMPARE(owner.W().ConnectionIndicatorText(),
                 QStringLiteral("Sharing with support: ") + code + QStringLiteral(", technician connected"));
        QVERIFY(tech.W().Core().OwnState() == owner.sim.OwnState);

        // Chat through the input lines of both Chat windows.
        const auto chat = [](GuiRig& rig) {
            rig.W().Ui().ChatLog->trigger();
            return rig.W().findChild<ChatWindow*>();
        };
        ChatWindow* techChat = chat(tech);
        ChatWindow* ownerChat = chat(owner);
        QVERIFY(techChat && ownerChat && techChat->Input()->isEnabled());
        QTest::keyClicks(techChat->Input(), QStringLiteral("Hello, Andy here"));
        QTest::keyClick(techChat->Input(), Qt::Key_Return);
        tech.StopTimers();
        QVERIFY(techChat->Input()->text().isEmpty());
        Tick(owner);
        Tick(owner);
        QVERIFY(PanelShows(owner.W(), QStringLiteral(" Message from SUPPORT: Hello, Andy here")));
        QVERIFY2(ownerChat->Text().contains(QStringLiteral("  SUPPORT: Hello, Andy here")), qPrintable(ownerChat->Text()));
        QTest::keyClicks(ownerChat->Input(), QStringLiteral("Hi"));
        QTest::keyClick(ownerChat->Input(), Qt::Key_Return);
        owner.StopTimers();
        Tick(tech);
        QVERIFY2(techChat->Text().contains(QStringLiteral("  CLIENT: Hi")), qPrintable(techChat->Text()));
        QVERIFY2(techChat->Text().contains(QStringLiteral("  SUPPORT (you): Hello, Andy here")), qPrintable(techChat->Text()));

        // The technician reads the settings, changes one and writes them.
        tech.W().ReadAllSettingsFromSystemClick();
        tech.StopTimers();
        Tick(owner);
        Tick(owner);
        Tick(tech);
        QVERIFY(tech.W().Core().Settings() == owner.sim.Settings());
        owner.W().Ui().PageControl->setCurrentWidget(owner.W().Ui().StateTabSheet);
        tech.W().Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("51"));
        tech.W().WriteAllSettingsToSystemClick();
        tech.StopTimers();
        Tick(owner); // takes the settings
        Tick(owner); // writes them, reads them back and answers with what the regulator holds
        QCOMPARE(owner.sim.Settings().WarningBatteryTemperature(), 51.0f);
        // The owner stays on the page looked at, and a notice that stays
        // names what changed; the chat log has the same.
        QCOMPARE(owner.W().Ui().PageControl->currentWidget(), owner.W().Ui().StateTabSheet);
        const QString name = QString::fromLatin1(owner.sim.OwnState.RegulatorName());
        const QString changed = QStringLiteral("SUPPORT changed 1 setting(s) on %1:\n    System settings, Warning "
                                               "Battery Temperature, °C: 48 -> 51")
                                    .arg(name);
        QCOMPARE(owner.W().Ui().Notice->Text(), changed);
        QVERIFY(owner.W().Ui().Notice->isVisibleTo(&owner.W()));
        owner.clock.AdvanceSeconds(60);
        owner.W().SystemStateTimerTimer();
        QVERIFY(owner.W().Ui().Notice->isVisibleTo(&owner.W()));
        QVERIFY2(ownerChat->Text().contains(QStringLiteral("  PROGRAM: SUPPORT changed 1 setting(s) on %1: System "
                                                           "settings, Warning Battery Temperature, °C: 48 -> 51")
                                                .arg(name)),
                 qPrintable(ownerChat->Text()));
        QTest::mouseClick(owner.W().Ui().Notice->DismissButton(), Qt::LeftButton);
        QVERIFY(!owner.W().Ui().Notice->isVisibleTo(&owner.W()));

        Tick(tech);
        QCOMPARE(tech.W().Ui().Notice->Text(), QStringLiteral("Written and confirmed by the customer's regulator"));
        QVERIFY(techChat->Text().contains(QStringLiteral("  PROGRAM: Written and confirmed by the customer's regulator")));
        // The edited cell is what the customer's regulator holds now: no
        // longer marked as changed.
        QVERIFY(tech.W().Core().Settings() == owner.sim.Settings());
        QVERIFY(owner.dialogs.ErrorTexts().isEmpty() && tech.dialogs.ErrorTexts().isEmpty());
    }

    void backgroundShowsRequestUnderWay()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        TMainFormKrv& w = p.C();
        const QColor normal = w.palette().color(QPalette::Window);
        const QColor shadow = QApplication::palette().color(QPalette::Dark);
        QVERIFY(normal != shadow);

        QColor during;
        bool inProgress = false;
        QTimer::singleShot(0, &w, [&] {
            during = w.palette().color(QPalette::Window);
            inProgress = w.Exchange()->IsExchangeInProgress();
        });
        Tick(p.client);
        QVERIFY(inProgress);
        QCOMPARE(during, shadow);
        QCOMPARE(w.palette().color(QPalette::Window), normal);
        QCOMPARE(w.StatusText(), QStringLiteral("Nothing received"));

        // Restored after a failed exchange too.
        p.relay.Stop();
        Tick(p.client);
        QCOMPARE(p.client.dialogs.ErrorTexts().size(), 1);
        QCOMPARE(w.palette().color(QPalette::Window), normal);
    }

    // Menu commands stay usable while a tick waits on the relay. One chosen
    // in that wait cannot make its own exchange then; it makes it once the
    // tick's exchange has ended, and is not lost.
    void commandsChosenDuringATickAreSentAfterIt()
    {
        RemotePair p;
        REQUIRE_RELAY(p.relay);
        Tick(p.client);

        // The technician shows the "Settings" page while a support tick waits.
        bool inProgress = false;
        QTimer::singleShot(0, &p.S(), [&] {
            inProgress = p.S().Exchange()->IsExchangeInProgress();
            p.S().ReadAllSettingsFromSystemClick();
        });
        Tick(p.support);
        QVERIFY(inProgress);
        QCOMPARE(p.S().Core().Relay().State().IncomingKind(), uint8_t(2)); // the tick's own exchange went through
        QVERIFY(p.S().Core().OwnState() == p.C().Core().OwnState());
        QTRY_COMPARE_WITH_TIMEOUT(PendingMessage(p.relay, "support"), QByteArray("1"), 3000);
        p.support.StopTimers();
        QVERIFY(!p.S().Exchange()->IsExchangeInProgress());
        Tick(p.client);
        Tick(p.client);
        QCOMPARE(PendingMessage(p.relay, "client").left(2), QByteArray("3$"));
        Tick(p.support);
        QVERIFY(p.S().Core().Settings() == p.client.sim.Settings());

        // The end user sends a chat line while a client tick waits. First the
        // client takes the support's state request, so that its next tick
        // goes straight to the exchange instead of reading settings.
        Tick(p.client);
        QCOMPARE(p.C().Core().Relay().State().IncomingKind(), uint8_t(0));
        inProgress = false;
        p.client.dialogs.AnswerText(QStringLiteral("ping"));
        QTimer::singleShot(0, &p.C(), [&] {
            inProgress = p.C().Exchange()->IsExchangeInProgress();
            p.C().SendChatMessageClick();
        });
        Tick(p.client);
        QVERIFY(inProgress);
        QCOMPARE(p.client.dialogs.PendingAnswers(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(PendingMessage(p.relay, "client"), QByteArray("4$112$105$110$103"), 3000);
        p.client.StopTimers();
        Tick(p.support);
        QVERIFY(PanelShows(p.S(), QStringLiteral(" Message from CLIENT: ping")));

        // The technician writes settings while a support tick waits.
        inProgress = false;
        QTimer::singleShot(0, &p.S(), [&] {
            inProgress = p.S().Exchange()->IsExchangeInProgress();
            p.S().Ui().SystemSettingsTable->SetCell(WarningBatteryTemperatureRow, 1, QStringLiteral("50"));
            p.S().WriteAllSettingsToSystemClick();
        });
        Tick(p.support);
        QVERIFY(inProgress);
        QTRY_COMPARE_WITH_TIMEOUT(PendingMessage(p.relay, "support").left(2), QByteArray("3$"), 3000);
        p.support.StopTimers();
        QCOMPARE(p.S().Core().Settings().WarningBatteryTemperature(), 50.0f);
        QCOMPARE(Carried(PendingMessage(p.relay, "support")), Carried('3', p.S().Core().Settings().Bytes()));
        Tick(p.client);
        Tick(p.client);
        QVERIFY(p.client.sim.Settings() == p.S().Core().Settings());
        QVERIFY(p.client.dialogs.ErrorTexts().isEmpty());
        QVERIFY(p.support.dialogs.ErrorTexts().isEmpty());
    }

    void noSecondExchangeWhileOneWaits_data()
    {
        QTest::addColumn<bool>("supportRole");
        QTest::newRow("client") << false;
        QTest::newRow("support") << true;
    }

    void noSecondExchangeWhileOneWaits()
    {
        QFETCH(bool, supportRole);
        SilentServer server;
        QVERIFY(server.IsListening());
        GuiRig rig;
        TMainFormKrv& w = rig.W();
        if (supportRole) {
            rig.sim.Present = false;
            w.RemoteViaInternetToProvideSupportClick();
        } else {
            rig.Connect();
            w.ShareDataWithSupportClick();
        }
        w.Core().Relay().SetDomain(server.Domain());
        w.Exchange()->SetTransferTimeLimitMs(1000);
        const QColor normal = w.palette().color(QPalette::Window);

        bool calledInside = false;
        bool inProgress = false;
        QColor during;
        int requestsInside = -1;
        rig.dialogs.AnswerText(QStringLiteral("are you there?"));
        QTimer::singleShot(200, &w, [&] {
            calledInside = true;
            inProgress = w.Exchange()->IsExchangeInProgress();
            during = w.palette().color(QPalette::Window);
            requestsInside = server.Requests();
            w.INETTimerTimer();
            w.SendChatMessageClick();
        });
        QElapsedTimer elapsed;
        elapsed.start();
        w.INETTimerTimer();
        rig.StopTimers();
        QVERIFY(elapsed.elapsed() >= 900);
        QVERIFY(calledInside);
        QVERIFY(inProgress);
        QCOMPARE(requestsInside, 1);
        QCOMPARE(during, QApplication::palette().color(QPalette::Dark));
        QCOMPARE(rig.dialogs.PendingAnswers(), 0); // the chat box was asked inside the wait

        // Give any second request time to arrive. The chat line is not sent
        // afterwards either: the failed tick ended the role.
        QTest::qWait(300);
        QCOMPARE(server.Requests(), 1);
        QCOMPARE(server.connections, 1);
        QCOMPARE(rig.dialogs.ErrorTexts(),
                 QStringList{InternetConnection + QStringLiteral("No answer from the relay within 1 s")});
        QCOMPARE(w.StatusText(), QStringLiteral("No answer from the relay within 1 s"));
        QVERIFY(!w.Exchange()->IsExchangeInProgress());
        QCOMPARE(w.palette().color(QPalette::Window), normal);
        if (supportRole)
            QVERIFY(w.Ui().ConnectionUSB->isChecked());
        else
            QVERIFY(!w.Ui().ShareDataWithSupport->isChecked());
        QVERIFY(!rig.dialogs.Unscripted);
    }
};

QTEST_MAIN(RemoteSupportTest)
#include "test_gui_remote_support.moc"
