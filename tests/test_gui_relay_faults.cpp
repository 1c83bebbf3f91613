// The two remote-support roles of the main window against a relay that
// misbehaves: error statuses, empty, huge, oversized and garbage answers, a bad
// value, an answer that never comes and a refused connection. A scripted HTTP
// server on loopback gives one canned answer per request.
#include "rig/realistic_settings.h"
#include "rig/fake_relay.h"
#include "rig/test_support.h"
#include "rig/gui_rig.h"
#include "rig/hooked_dialogs.h"
#include "records/snapshot_record.h"
#include "support/support_exchange.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QLabel>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

const QString ErrorCaption = QStringLiteral("Error");
const QString InternetConnection = QStringLiteral("Internet Connection: ");

// How each test's relay behaves.
enum RelayMode { CannedAnswer, NeverAnswers, Refuses };

// State left by earlier exchanges, so that "unchanged" can be told from
// "cleared". Neither kind makes its role do anything before or after the
// exchange: the client ignores a kind 2, the support side a kind 5.
constexpr uint8_t ClientKindBefore = 2;
constexpr uint8_t SupportKindBefore = 5;
constexpr int32_t LengthBefore = 77;
constexpr uint8_t JunkByte = 0xA5;

constexpr int ShortTransferLimitMs = 300;


QByteArray Ok(const QByteArray& body)
{
    return Canned("HTTP/1.1 200 OK", body);
}

// The kind digit followed by "$<value>" for each byte of `values`.
QByteArray ValueList(char kind, const QByteArray& values)
{
    QByteArray text(1, kind);
    text.reserve(1 + 4 * values.size());
    for (char v : values) {
        text += '$';
        text += QByteArray::number(uint8_t(v));
    }
    return text;
}

// `count` repeatable pseudo-random bytes from `low` to `high`.
QByteArray RandomBytes(int count, quint32 seed, int low = 0, int high = 255)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(count, '\0');
    for (char& b : bytes)
        b = char(generator.bounded(low, high + 1));
    return bytes;
}

// Text repeated until it is at least one megabyte long.
QByteArray Megabyte(const QByteArray& start, const QByteArray& piece)
{
    QByteArray text = start;
    text.reserve(1024 * 1024 + piece.size());
    while (text.size() < 1024 * 1024)
        text += piece;
    return text;
}

QRegularExpression Exactly(const QString& text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(QRegularExpression::escape(text)));
}

// Puts the window into the role: the client shares the state of a connected
// regulator, the support side has none and is switched to the Internet.
void StartRole(GuiRig& rig, bool supportRole, const QString& domain)
{
    TMainFormKrv& w = rig.W();
    if (supportRole) {
        rig.sim.Present = false;
        w.RemoteViaInternetToProvideSupportClick();
    } else {
        rig.Connect();
        w.ShareDataWithSupportClick();
    }
    w.Core().Relay().SetDomain(domain);
    SupportExchangeState before = w.Core().Relay().State();
    before.SetIncoming(supportRole ? SupportKindBefore : ClientKindBefore, LengthBefore);
    before.ClientToSupportBuffer().fill(JunkByte);
    before.SupportToClientBuffer().fill(JunkByte);
    w.Core().Relay().ContinueFrom(before);
}

bool RoleIsOn(TMainFormKrv& w, bool supportRole)
{
    if (supportRole)
        return w.Ui().RemoteViaInternetToProvideSupport->isChecked() && !w.Ui().ConnectionUSB->isChecked();
    return w.Ui().ShareDataWithSupport->isChecked();
}

bool RoleIsOff(TMainFormKrv& w, bool supportRole)
{
    if (supportRole)
        return !w.Ui().RemoteViaInternetToProvideSupport->isChecked() && w.Ui().ConnectionUSB->isChecked();
    return !w.Ui().ShareDataWithSupport->isChecked();
}

// The buffer the role receives into.
const SupportBuffer& Incoming(TMainFormKrv& w, bool supportRole)
{
    const SupportExchangeState& state = w.Core().Relay().State();
    return supportRole ? state.ClientToSupportBuffer() : state.SupportToClientBuffer();
}

// True when the buffer starts with `values` and holds `rest` everywhere after.
bool BufferHolds(const SupportBuffer& buffer, const QByteArray& values, uint8_t rest)
{
    if (values.size() > SupportBufferSize)
        return false;
    if (!std::equal(values.begin(), values.end(), buffer.begin(),
                    [](char v, uint8_t b) { return uint8_t(v) == b; }))
        return false;
    return std::all_of(buffer.begin() + values.size(), buffer.end(), [rest](uint8_t b) { return b == rest; });
}

// What the window showed while the tick's exchange waited. Posted before the
// tick, so it runs at the first chance the waiting exchange gives the event
// loop, ahead of anything the network delivers later.
struct DuringExchange {
    bool ran = false;
    bool inProgress = false;
    QColor background;

    void Arm(TMainFormKrv& w)
    {
        QMetaObject::invokeMethod(
            &w,
            [this, &w] {
                if (ran)
                    return;
                ran = true;
                inProgress = w.Exchange()->IsExchangeInProgress();
                background = w.palette().color(QPalette::Window);
            },
            Qt::QueuedConnection);
    }
};

void Tick(GuiRig& rig)
{
    rig.W().INETTimerTimer();
    rig.StopTimers(); // the tick starts INETTimer again
}

} // namespace

class RelayFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void failedExchangeEndsTheRole_data()
    {
        QTest::addColumn<bool>("supportRole");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QRegularExpression>("status");
        QTest::addColumn<int>("expectedKind");     // -1: as before
        QTest::addColumn<int>("expectedLength");   // -1: as before, buffer untouched
        QTest::addColumn<QString>("expectedPanel"); // empty: panel hidden

        for (bool support : {false, true}) {
            const char* role = support ? "support" : "client";
            // A message the role would recognise, in the body of an error
            // answer: it must not be parsed.
            const QByteArray recognisable = RelayBody(support ? "2$1$2$3" : "3$1$2$3");
            QTest::addRow("%s, 500", role)
                << support << int(CannedAnswer) << Canned("HTTP/1.1 500 Internal Server Error", recognisable)
                << Exactly(QStringLiteral("HTTP/1.1 500 Internal Server Error")) << -1 << -1 << QString();
            QTest::addRow("%s, 204", role)
                << support << int(CannedAnswer) << QByteArray("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n")
                << Exactly(QStringLiteral("HTTP/1.1 204 No Content")) << -1 << -1 << QString();
            // A message that did not arrive whole is not acted on.
            QTest::addRow("%s, bad value", role)
                << support << int(CannedAnswer) << Ok(RelayBody("3$1$x$2"))
                << Exactly(QStringLiteral("'x' is not a valid integer value")) << 3 << 1 << QString();
            QTest::addRow("%s, never answers", role)
                << support << int(NeverAnswers) << QByteArray()
                << Exactly(QStringLiteral("No answer from the relay within 0.3 s")) << -1 << -1 << QString();
            QTest::addRow("%s, refused", role)
                << support << int(Refuses) << QByteArray()
                << QRegularExpression(QStringLiteral("refused"), QRegularExpression::CaseInsensitiveOption) << -1
                << -1 << QString();
        }
    }

    void failedExchangeEndsTheRole()
    {
        QFETCH(bool, supportRole);
        QFETCH(int, mode);
        QFETCH(QByteArray, response);
        QFETCH(QRegularExpression, status);
        QFETCH(int, expectedKind);
        QFETCH(int, expectedLength);
        QFETCH(QString, expectedPanel);

        ScriptedHttpServer server;
        QVERIFY(server.IsListening());
        server.response = response;
        server.silent = mode == NeverAnswers;
        QString domain = server.Domain();
        if (mode == Refuses) {
            const quint16 closed = ClosedLoopbackPort();
            QVERIFY(closed != 0);
            domain = QStringLiteral("127.0.0.1:%1").arg(closed);
        }

        GuiRig rig;
        TMainFormKrv& w = rig.W();
        StartRole(rig, supportRole, domain);
        w.Exchange()->SetTransferTimeLimitMs(mode == NeverAnswers ? ShortTransferLimitMs : 5000);
        const SystemStateRecord ownBefore = w.Core().OwnState();
        const SettingsRecord settingsBefore = w.Core().Settings();
        const QColor normal = w.palette().color(QPalette::Window);
        const QColor shadow = QApplication::palette().color(QPalette::Dark);
        QVERIFY(normal != shadow);

        DuringExchange during;
        during.Arm(w);
        // The window keeps handling events while the relay keeps quiet.
        QElapsedTimer elapsed;
        bool lateTimerFired = false;
        bool lateTimerInExchange = false;
        qint64 lateTimerAt = -1;
        QTimer lateTimer;
        lateTimer.setSingleShot(true);
        connect(&lateTimer, &QTimer::timeout, &w, [&] {
            lateTimerFired = true;
            lateTimerInExchange = w.Exchange()->IsExchangeInProgress();
            lateTimerAt = elapsed.elapsed();
        });
        if (mode == NeverAnswers)
            lateTimer.start(50);

        elapsed.start();
        Tick(rig);
        const qint64 tickMs = elapsed.elapsed();
        lateTimer.stop();

        const QString reason = w.Core().Relay().State().SupportStatusText();
        QVERIFY2(status.match(reason).hasMatch(), qPrintable(reason));
        QCOMPARE(w.StatusText(), reason);
        QCOMPARE(rig.dialogs.Shown.size(), std::size_t(1));
        QCOMPARE(int(rig.dialogs.Shown.front().kind), int(ShownDialog::Error));
        QCOMPARE(rig.dialogs.Shown.front().caption, ErrorCaption);
        QCOMPARE(rig.dialogs.Shown.front().text, InternetConnection + reason);
        QVERIFY(RoleIsOff(w, supportRole));
        QCOMPARE(server.requests.size(), mode == Refuses ? 0 : 1);

        const uint8_t kindBefore = supportRole ? SupportKindBefore : ClientKindBefore;
        QCOMPARE(int(w.Core().Relay().State().IncomingKind()), expectedKind < 0 ? int(kindBefore) : expectedKind);
        if (expectedLength < 0) {
            QCOMPARE(w.Core().Relay().State().IncomingLength(), LengthBefore);
            QVERIFY(BufferHolds(Incoming(w, supportRole), QByteArray(), JunkByte));
        } else {
            QCOMPARE(w.Core().Relay().State().IncomingLength(), int32_t(expectedLength));
            QVERIFY(BufferHolds(Incoming(w, supportRole), QByteArray("\x01"), 0));
        }
        QVERIFY(w.Core().OwnState() == ownBefore);
        QVERIFY(w.Core().Settings() == settingsBefore);

        QVERIFY(during.ran);
        QVERIFY(during.inProgress);
        QCOMPARE(during.background, shadow);
        QCOMPARE(w.palette().color(QPalette::Window), normal);
        QVERIFY(!w.Exchange()->IsExchangeInProgress());

        if (mode == NeverAnswers) {
            QVERIFY(lateTimerFired);
            QVERIFY(lateTimerInExchange);
            QVERIFY2(lateTimerAt < ShortTransferLimitMs, qPrintable(QString::number(lateTimerAt)));
            QVERIFY2(tickMs >= ShortTransferLimitMs - 30, qPrintable(QString::number(tickMs)));
            QVERIFY2(tickMs < ShortTransferLimitMs + 1000, qPrintable(QString::number(tickMs)));
        }

        // The role is over: the next tick sends nothing and shows nothing.
        w.SetStatusText(QStringLiteral("untouched"));
        Tick(rig);
        QCOMPARE(server.requests.size(), mode == Refuses ? 0 : 1);
        QCOMPARE(rig.dialogs.Shown.size(), std::size_t(1));
        QCOMPARE(w.StatusText(), QStringLiteral("untouched"));
        QVERIFY(RoleIsOff(w, supportRole));
        QVERIFY(!w.Ui().SendChatMessage->isEnabled());
        if (expectedPanel.isEmpty()) {
            QVERIFY2(w.Ui().MessagePanel->isHidden(), qPrintable(w.Ui().MessagePanel->text()));
        } else {
            QVERIFY(!w.Ui().MessagePanel->isHidden());
            QCOMPARE(w.Ui().MessagePanel->text(), expectedPanel);
        }
        QCOMPARE(w.palette().color(QPalette::Window), normal);
        QVERIFY(!rig.dialogs.Unscripted);
    }

    void answeredExchangeKeepsTheRole_data()
    {
        QTest::addColumn<bool>("supportRole");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("expectedStatus");
        QTest::addColumn<int>("expectedKind");         // -1: as before
        QTest::addColumn<QByteArray>("expectedValues"); // start of the incoming buffer; zero after it
        QTest::addColumn<QString>("expectedPanel");     // after the next tick; empty: hidden
        QTest::addColumn<QByteArray>("expectedOwnState"); // empty: unchanged

        const QString nothing = QStringLiteral("Nothing received");
        const QByteArray chat = RandomBytes(20000, 11, 'A', 'Z');
        const QByteArray state = RandomBytes(20000, 12);
        // Settings a regulator may hold, of the device version of the rig's
        // regulator (7), then values beyond any record.
        SettingsRecord plausible = realistic::Record();
        plausible.SetU8(SettingsRecord::DeviceVersionAt, 7);
        const QByteArray settings = plausible.ToByteArray() + RandomBytes(20000 - 540, 13);
        const QByteArray megaChat(SupportBufferSize, 'A');
        const QByteArray megaState(SupportBufferSize, char(200));
        QByteArray garbage = RandomBytes(64 * 1024, 14);
        garbage.replace('<', '>'); // no marker can form

        for (bool support : {false, true}) {
            const char* role = support ? "support" : "client";
            QTest::addRow("%s, empty body", role)
                << support << Ok(QByteArray()) << nothing << -1 << QByteArray() << QString() << QByteArray();
            QTest::addRow("%s, 1 MB without markers", role)
                << support << Ok(Megabyte(support ? "2" : "4", "$65")) << nothing << -1 << QByteArray() << QString()
                << QByteArray();
            QTest::addRow("%s, garbage bytes", role)
                << support << Ok(garbage) << nothing << -1 << QByteArray() << QString() << QByteArray();
            QTest::addRow("%s, 20000 chat values", role)
                << support << Ok(RelayBody(ValueList('4', chat)))
                << (support ? QStringLiteral("Client sent chat") : QStringLiteral("Support sent chat")) << 4
                << chat.left(SupportBufferSize)
                << (support ? QStringLiteral(" Message from CLIENT: ") : QStringLiteral(" Message from SUPPORT: "))
                       + QString::fromLatin1(chat.left(SupportBufferSize))
                << QByteArray();
        }
        QTest::newRow("client, 1 MB of values between markers")
            << false << Ok(RelayBody(Megabyte("4", "$65"))) << QStringLiteral("Support sent chat") << 4 << megaChat
            << QStringLiteral(" Message from SUPPORT: ") + QString::fromLatin1(megaChat) << QByteArray();
        QTest::newRow("client, 20000 settings values")
            << false << Ok(RelayBody(ValueList('3', settings))) << QStringLiteral("Support sent new settings") << 3
            << settings.left(SupportBufferSize) << QStringLiteral(" SUPPORT sent new settings: received 8192 bytes")
            << QByteArray();
        QTest::newRow("support, 1 MB of values between markers")
            << true << Ok(RelayBody(Megabyte("2", "$200"))) << QStringLiteral("Client sent system state") << 2
            << megaState << QString() << megaState.left(SystemStateRecord::Size);
        QTest::newRow("support, 20000 state values")
            << true << Ok(RelayBody(ValueList('2', state))) << QStringLiteral("Client sent system state") << 2
            << state.left(SupportBufferSize) << QString() << state.left(SystemStateRecord::Size);
    }

    void answeredExchangeKeepsTheRole()
    {
        QFETCH(bool, supportRole);
        QFETCH(QByteArray, response);
        QFETCH(QString, expectedStatus);
        QFETCH(int, expectedKind);
        QFETCH(QByteArray, expectedValues);
        QFETCH(QString, expectedPanel);
        QFETCH(QByteArray, expectedOwnState);

        ScriptedHttpServer server;
        QVERIFY(server.IsListening());
        server.response = response;
        GuiRig rig;
        TMainFormKrv& w = rig.W();
        StartRole(rig, supportRole, server.Domain());
        const SystemStateRecord ownBefore = w.Core().OwnState();
        const QColor normal = w.palette().color(QPalette::Window);
        const QColor shadow = QApplication::palette().color(QPalette::Dark);
        QVERIFY(normal != shadow);

        DuringExchange during;
        during.Arm(w);
        Tick(rig);

        QCOMPARE(server.requests.size(), 1);
        QVERIFY2(rig.dialogs.Shown.empty(), qPrintable(rig.dialogs.ErrorTexts().join(QLatin1Char('|'))));
        QVERIFY(RoleIsOn(w, supportRole));
        QCOMPARE(w.Core().Relay().State().SupportStatusText(), expectedStatus);
        QCOMPARE(w.StatusText(), expectedStatus);
        const uint8_t kindBefore = supportRole ? SupportKindBefore : ClientKindBefore;
        QCOMPARE(int(w.Core().Relay().State().IncomingKind()), expectedKind < 0 ? int(kindBefore) : expectedKind);
        QVERIFY(w.Core().Relay().State().IncomingLength() <= SupportBufferSize);
        QCOMPARE(w.Core().Relay().State().IncomingLength(), int32_t(expectedValues.size()));
        QVERIFY(BufferHolds(Incoming(w, supportRole), expectedValues, 0));
        QCOMPARE(w.Core().Relay().Domain(), server.Domain());
        if (expectedOwnState.isEmpty()) {
            QVERIFY(w.Core().OwnState() == ownBefore);
        } else {
            const auto& own = w.Core().OwnState().Bytes();
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(own.data()), int(own.size())), expectedOwnState);
        }
        QVERIFY(during.ran);
        QVERIFY(during.inProgress);
        QCOMPARE(during.background, shadow);
        QCOMPARE(w.palette().color(QPalette::Window), normal);

        // The role goes on: the next tick acts on what arrived (the client
        // before its exchange, the support side after it) and asks again.
        const std::size_t deviceRequestsBefore = rig.sim.Requests.size();
        Tick(rig);
        QCOMPARE(server.requests.size(), 2);
        QVERIFY2(rig.dialogs.Shown.empty(), qPrintable(rig.dialogs.ErrorTexts().join(QLatin1Char('|'))));
        QVERIFY(RoleIsOn(w, supportRole));
        QCOMPARE(w.StatusText(), expectedStatus);
        QCOMPARE(w.Core().Relay().State().IncomingLength(), int32_t(expectedValues.size()));
        if (expectedPanel.isEmpty()) {
            QVERIFY2(w.Ui().MessagePanel->isHidden(), qPrintable(w.Ui().MessagePanel->text().left(80)));
        } else {
            QVERIFY(!w.Ui().MessagePanel->isHidden());
            QCOMPARE(w.Ui().MessagePanel->text(), expectedPanel);
        }
        // New settings of at least 540 values go to the client's regulator;
        // nothing else touches a device.
        const bool settingsWritten =
            std::any_of(rig.sim.Requests.begin() + std::ptrdiff_t(deviceRequestsBefore), rig.sim.Requests.end(),
                        [](const auto& request) { return request[0] == 3; });
        QCOMPARE(settingsWritten, !supportRole && expectedKind == 3);
        if (supportRole)
            QVERIFY(rig.sim.Requests.empty());
        QCOMPARE(w.palette().color(QPalette::Window), normal);
        QVERIFY(!rig.dialogs.Unscripted);
    }

    // A snapshot dropped while the support side waits on the relay ends the
    // role; what the relay then delivers is not shown over the snapshot, and
    // a failed answer neither opens a box nor switches back to USB.
    void snapshotDroppedDuringExchangeStays_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("client state") << Ok(RelayBody(ValueList('2', RandomBytes(280, 5))));
        QTest::newRow("client settings") << Ok(RelayBody(ValueList('3', realistic::Record().ToByteArray())));
        QTest::newRow("relay fails") << Canned("HTTP/1.1 500 Internal Server Error", QByteArray());
    }
    void snapshotDroppedDuringExchangeStays()
    {
        QFETCH(QByteArray, response);
        ScriptedHttpServer server;
        QVERIFY(server.IsListening());
        server.response = response;
        server.delayMs = 200;
        SnapshotRecord snapshot;
        const QByteArray pattern = RandomBytes(1104, 7);
        std::copy(pattern.begin(), pattern.end(), snapshot.Data());
        // What a snapshot holds: regulators named in text, plausible settings.
        SystemStateRecord own = snapshot.OwnState();
        own.SetRegulatorName("Port engine");
        snapshot.SetOwnState(own);
        SystemStateRecord peer = snapshot.PeerState();
        peer.SetRegulatorName("Stbd engine");
        snapshot.SetPeerState(peer);
        snapshot.SetSettings(realistic::Record());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("boat.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(snapshot.ToByteArray()) == 1104);
        file.close();

        GuiRig rig;
        TMainFormKrv& w = rig.W();
        StartRole(rig, true, server.Domain());
        QMetaObject::invokeMethod(&w, [&w, path] { w.HandleDroppedFile(path); }, Qt::QueuedConnection);
        Tick(rig);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(w.Core().OwnState(), snapshot.OwnState());
        QCOMPARE(w.Core().Settings(), snapshot.Settings());
        QVERIFY(!w.Ui().ConnectionUSB->isChecked());
        QVERIFY(!w.Ui().RemoteViaInternetToProvideSupport->isChecked());
        QVERIFY(rig.dialogs.Shown.empty());
    }

    // A chat chosen while the tick waits runs once the relay is free, but not
    // while the failure box of that tick is open, and not at all once the
    // failure ended the role.
    void noDeferredCommandWhileTheFailureBoxIsOpen_data()
    {
        QTest::addColumn<bool>("supportRole");
        QTest::newRow("client") << false;
        QTest::newRow("support") << true;
    }
    void noDeferredCommandWhileTheFailureBoxIsOpen()
    {
        QFETCH(bool, supportRole);
        ScriptedHttpServer server;
        QVERIFY(server.IsListening());
        server.response = Canned("HTTP/1.1 500 Internal Server Error", QByteArray());
        server.delayMs = 100;
        SkippingLinkClock linkClock;
        SimulatedRegulator sim(linkClock);
        HookedDialogs dialogs;
        ManualClock clock(46363.5, 0.3 * OneSecond);
        TMainFormKrv w(sim, dialogs, clock);
        w.Ui().USBTimer->stop();
        w.Ui().SystemStateTimer->stop();
        w.Ui().INETTimer->stop();
        if (supportRole) {
            w.RemoteViaInternetToProvideSupportClick();
        } else {
            w.USBTimerTimer();
            w.ShareDataWithSupportClick();
        }
        w.Core().Relay().SetDomain(server.Domain());

        int requestsWhileOpen = -1;
        bool roleOnWhileOpen = true;
        dialogs.WhileOpen = [&](const QString&, const QString&) {
            QTest::qWait(300); // the deferred command polls every 50 ms
            requestsWhileOpen = int(server.requests.size());
            roleOnWhileOpen = supportRole ? w.Ui().RemoteViaInternetToProvideSupport->isChecked()
                                          : w.Ui().ShareDataWithSupport->isChecked();
        };
        dialogs.AnswerText(QStringLiteral("ping"));
        QMetaObject::invokeMethod(&w, [&w] { w.SendChatMessageClick(); }, Qt::QueuedConnection);
        w.INETTimerTimer();
        w.Ui().USBTimer->stop();
        w.Ui().INETTimer->stop();
        QCOMPARE(dialogs.ErrorTexts().size(), 1);
        QCOMPARE(requestsWhileOpen, 1);
        QVERIFY(!roleOnWhileOpen);
        QTest::qWait(200);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(!dialogs.Unscripted);
    }

    // The indicator counts the age of the client's data up and warns past 10 s.
    void remoteDataAge()
    {
        ScriptedHttpServer server;
        QVERIFY(server.IsListening());
        server.response = Ok(RelayBody(ValueList('2', RandomBytes(280, 3))));
        GuiRig rig;
        TMainFormKrv& w = rig.W();
        StartRole(rig, true, server.Domain());
        Tick(rig);
        rig.clock.SetStepSeconds(0);
        w.SystemStateTimerTimer();
        QCOMPARE(w.ConnectionIndicatorText(), QStringLiteral("Remote: %1, data 0 s old").arg(server.Domain()));
        rig.clock.AdvanceSeconds(12);
        w.SystemStateTimerTimer();
        QCOMPARE(w.ConnectionIndicatorText(), QStringLiteral("Remote: %1, data 12 s old").arg(server.Domain()));
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("ConnectionIndicator"))->styleSheet().contains("color"));
    }
};

QTEST_MAIN(RelayFaultsTest)
#include "test_gui_relay_faults.moc"
