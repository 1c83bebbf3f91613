// The hidapi backend under the device session, with the hidapi library
// replaced by a fake over the simulated regulator (tests/fake_hidapi).
#include "device/command_protocol.h"
#include "device/simulated_regulator.h"
#include "fake_hidapi/fake_hidapi.h"

#include <QtTest>

using fake_hidapi::Fake;

class HidapiBackendTest : public QObject {
    Q_OBJECT
private slots:
    void exchanges_data();
    void exchanges();
    void onlyTheRegulatorIsOpened();
    void vanishesBetweenEnumerateAndOpen();
    void blockedWriteIsLeftToEnd();
    void writeOfNothingSearchesAgain();
};

void HidapiBackendTest::exchanges_data()
{
    QTest::addColumn<int>("forcedRead");   // -2: the device answers; above 0: that many bytes of it
    QTest::addColumn<bool>("manufacturer");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("status");
    QTest::newRow("answered") << -2 << true << true << "K-ROVA found: VID=Norvelle PID=K-ROVA X" << "65 bytes received";
    QTest::newRow("no manufacturer string") << -2 << false << true << "K-ROVA found: VID=- PID=K-ROVA X"
                                            << "65 bytes received";
    QTest::newRow("read returns 0") << 0 << true << false << "K-ROVA found: VID=Norvelle PID=K-ROVA X"
                                    << "K-ROVA did not answer";
    QTest::newRow("read returns -1") << -1 << true << false << "K-ROVA found: VID=Norvelle PID=K-ROVA X"
                                     << "Resource temporarily unavailable";
    QTest::newRow("read returns 41 bytes") << 41 << true << false << "K-ROVA found: VID=Norvelle PID=K-ROVA X"
                                           << "Only 42 of 65 bytes received";
}

void HidapiBackendTest::exchanges()
{
    QFETCH(int, forcedRead);
    QFETCH(bool, manufacturer);
    QFETCH(bool, answered);
    QFETCH(QString, found);
    QFETCH(QString, status);
    SkippingLinkClock clock;
    SimulatedRegulator sim(clock);
    sim.Animate = false;
    for (std::size_t i = 0; i < SystemStateRecord::Size; ++i)
        sim.OwnState.Data()[i] = uint8_t(i * 3 + 1);
    if (!manufacturer)
        sim.ManufacturerString.reset();
    fake_hidapi::Reset(&sim);
    {
        std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
        HidSession session(*backend);
        session.CommandBuffer[0] = ReadOwnStateBlock;
        session.CommandBuffer[1] = 2;
        QVERIFY(!session.ExchangeReports()); // nothing open: the search
        QCOMPARE(session.LinkStatusText, found);
        if (forcedRead > 0) {
            sim.ShortAnswerIf = [](const ReportBuffer&) { return true; };
            sim.ShortAnswerBytes = forcedRead;
        } else if (forcedRead != -2) {
            Fake().forcedReadResult = forcedRead;
        }
        session.ResponseBuffer.fill(0xEE);
        QCOMPARE(session.ExchangeReports(), answered);
        QCOMPARE(session.LinkStatusText, status);

        // The output report: report ID 0, then the 64 bytes of the request.
        QCOMPARE(int(Fake().written.size()), 1);
        const std::vector<uint8_t>& out = Fake().written[0];
        QCOMPARE(int(out.size()), 65);
        QCOMPARE(int(out[0]), 0);
        QCOMPARE(int(out[1]), 1);
        QCOMPARE(int(out[2]), 2);
        QVERIFY(std::all_of(out.begin() + 3, out.end(), [](uint8_t b) { return b == 0; }));
        // hidraw delivers the 64 payload bytes without the report ID.
        QCOMPARE(Fake().readLengths.back(), std::size_t(64));
        QCOMPARE(Fake().readTimeouts.back(), HidSession::ReadTimeLimitMs);
        if (answered) {
            QCOMPARE(int(session.ResponseBuffer[0]), int(uint8_t(2 * 64 * 3 + 1)));
            QCOMPARE(int(session.ResponseBuffer[63]), int(uint8_t((2 * 64 + 63) * 3 + 1)));
        } else {
            QCOMPARE(session.ResponseBuffer, ReportBuffer{});
            QVERIFY(session.IsDeviceOpen()); // a failed read keeps the handle
        }
        QVERIFY(session.CloseDevice());
        QCOMPARE(Fake().openHandles, 0);
    }
    QCOMPARE(Fake().initCalls, 1);
    QCOMPARE(Fake().exitCalls, 1);
}

void HidapiBackendTest::onlyTheRegulatorIsOpened()
{
    SimulatedRegulator sim;
    sim.OtherInterfaces.push_back({QStringLiteral("/dev/hidraw0"), 0x046D, 0xC31C, {}, {}});
    sim.OtherInterfaces.push_back({QStringLiteral("/dev/hidraw1"), 0x04D8, 0x0001, {}, {}});
    fake_hidapi::Reset(&sim);
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    // The listing names the regulator with its strings, without opening anything.
    const std::vector<HidInterfaceInfo> found = HidSession::FindRegulators(*backend);
    QCOMPARE(int(found.size()), 1);
    QCOMPARE(found[0].manufacturer + QLatin1Char('/') + found[0].product, QStringLiteral("Norvelle/K-ROVA X"));
    QVERIFY(Fake().openedPaths.empty());
    HidSession session(*backend);
    QVERIFY(session.FindAndOpenDevice());
    QCOMPARE(Fake().openedPaths, std::vector<std::string>{SimulatedRegulator::DevicePath.toStdString()});
}

void HidapiBackendTest::vanishesBetweenEnumerateAndOpen()
{
    SimulatedRegulator sim;
    fake_hidapi::Reset(&sim);
    Fake().afterEnumerate = [&sim] { sim.Unplug(); };
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    HidSession session(*backend);
    QVERIFY(!session.FindAndOpenDevice());
    QCOMPARE(session.LinkStatusText, QStringLiteral("K-ROVA not found"));
    QVERIFY(!session.IsDeviceOpen());
    QCOMPARE(int(Fake().openedPaths.size()), 1);
    QCOMPARE(Fake().openHandles, 0);
}

// A regulator that refuses reports keeps hid_write blocked; the exchange
// gives up at once and the write ends on its own thread, also when the
// device is closed meanwhile.
void HidapiBackendTest::blockedWriteIsLeftToEnd()
{
    SimulatedRegulator sim;
    fake_hidapi::Reset(&sim);
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    HidSession session(*backend);
    QVERIFY(session.FindAndOpenDevice());
    Fake().writeBlockMs = 300;
    Fake().writeFails = true;
    QElapsedTimer t;
    t.start();
    QVERIFY(!session.ExchangeReports());
    QVERIFY(!session.ExchangeReports());
    QVERIFY2(t.elapsed() < 200, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(session.LinkStatusText, QStringLiteral("K-ROVA did not take the request"));
    QTest::qSleep(400);
    Fake().writeBlockMs = 0;
    Fake().writeFails = false;
    QCOMPARE(int(Fake().written.size()), 1);
    QVERIFY(!session.ExchangeReports()); // the write failed in the end: a search
    QCOMPARE(session.LinkStatusText, QStringLiteral("K-ROVA found: VID=Norvelle PID=K-ROVA X"));
    QVERIFY(session.ExchangeReports());

    Fake().writeBlockMs = 300;
    QVERIFY(!session.ExchangeReports());
    t.restart();
    session.CloseDevice();
    QVERIFY(t.elapsed() < 100);
    QCOMPARE(Fake().openHandles, 1); // the writer still holds it
    QTRY_COMPARE_WITH_TIMEOUT(Fake().openHandles, 0, 2000);
}

// hid_write returning 0 sent nothing: the write failed and the regulator is
// looked for again, instead of waiting for a write that has ended.
void HidapiBackendTest::writeOfNothingSearchesAgain()
{
    SimulatedRegulator sim;
    fake_hidapi::Reset(&sim);
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    HidSession session(*backend);
    QVERIFY(session.FindAndOpenDevice());
    Fake().forcedWriteResult = 0;
    QVERIFY(!session.ExchangeReports());
    QCOMPARE(session.LinkStatusText, QStringLiteral("K-ROVA found: VID=Norvelle PID=K-ROVA X"));
    QCOMPARE(sim.SearchCount, 2);
    Fake().forcedWriteResult.reset();
    QVERIFY(session.ExchangeReports());
    QCOMPARE(session.LinkStatusText, QStringLiteral("65 bytes received"));
}

QTEST_GUILESS_MAIN(HidapiBackendTest)
#include "test_hidapi_backend.moc"
