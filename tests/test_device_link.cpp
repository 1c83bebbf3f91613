// The USB link and the block transfers against the simulated regulator.
#include "device/command_protocol.h"
#include "rig/test_support.h"
#include "device/simulated_regulator.h"

#include <QtTest>

namespace {

struct Rig {
    ManualLinkClock clock;
    SimulatedRegulator sim{clock};
    HidSession session{sim};
    CommandProtocol protocol{session};

    Rig() { sim.Animate = false; }
    // Opens the link the way the program does: the first exchange fails and
    // finds the regulator.
    void Connect()
    {
        session.CommandBuffer.fill(0);
        session.CommandBuffer[0] = ReadOwnStateBlock;
        QVERIFY(!session.ExchangeReports());
        QVERIFY(session.IsDeviceOpen());
        sim.Requests.clear();
        sim.SearchCount = 0;
    }
};


} // namespace

class DeviceLinkTest : public QObject {
    Q_OBJECT
private slots:
    void closeWithNothingOpen()
    {
        Rig rig;
        QVERIFY(!rig.session.CloseDevice());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("Connection to K-ROVA closed"));
    }

    void writeWithNothingOpenKeepsText()
    {
        Rig rig;
        rig.session.LinkStatusText = QStringLiteral("before");
        QVERIFY(!rig.session.WriteReport());
        QVERIFY(!rig.session.ReadReport());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("before"));
    }

    void searchTexts_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("manufacturer");
        QTest::addColumn<bool>("product");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text");
        QTest::newRow("absent") << false << false << true << true << false << "K-ROVA not found";
        QTest::newRow("cannot be opened") << true << true << true << true << false << "K-ROVA not found";
        QTest::newRow("both strings") << true << false << true << true << true << "K-ROVA found: VID=Norvelle PID=K-ROVA X";
        QTest::newRow("no product string") << true << false << true << false << true << "K-ROVA found: VID=Norvelle PID=-";
        QTest::newRow("no strings") << true << false << false << false << true << "K-ROVA found: VID=- PID=-";
    }
    void searchTexts()
    {
        QFETCH(bool, present);
        QFETCH(bool, refused);
        QFETCH(bool, manufacturer);
        QFETCH(bool, product);
        Rig rig;
        rig.sim.Present = present;
        rig.sim.OpenRefused = refused;
        if (!manufacturer)
            rig.sim.ManufacturerString.reset();
        if (!product)
            rig.sim.ProductString.reset();
        // Another device listed first is passed over without a word.
        rig.sim.OtherInterfaces.push_back({QStringLiteral("sim:/keyboard"), 0x046D, 0xC31C, QStringLiteral("Logitech"), QStringLiteral("Keyboard")});
        QFETCH(bool, found);
        QFETCH(QString, text);
        QCOMPARE(rig.session.FindAndOpenDevice(), found);
        QCOMPARE(rig.session.LinkStatusText, text);
        QCOMPARE(rig.session.IsDeviceOpen(), present && !refused);
    }

    void firstExchangeSearchesThenNextIsAnswered()
    {
        Rig rig;
        rig.session.CommandBuffer[0] = ReadOwnStateBlock;
        QVERIFY(!rig.session.ExchangeReports());
        QVERIFY(rig.session.LinkStatusText.startsWith(QStringLiteral("K-ROVA found: VID=")));
        QVERIFY(rig.sim.Requests.empty());
        QVERIFY(rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("65 bytes received"));
        QCOMPARE(int(rig.sim.Requests.size()), 1);
    }

    void writeReportsBytesSent()
    {
        Rig rig;
        rig.Connect();
        QVERIFY(rig.session.WriteReport());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("65 bytes sent"));
    }

    void silentRegulatorTimesOut()
    {
        Rig rig;
        rig.Connect();
        rig.session.ResponseBuffer.fill(0xEE);
        rig.sim.NoAnswer = true;
        QVERIFY(!rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("K-ROVA did not answer"));
        QVERIFY(rig.session.IsDeviceOpen());
        QCOMPARE(rig.session.ResponseBuffer, ReportBuffer{});
    }

    // The regulator's answers come late, twice or not at all, and its writes
    // block. Whatever the fault, a record, a settings read, a CAN line and a
    // written slice are built only from answers to their own requests, and
    // no polling tick waits on the link much longer than 300 ms.
    void answersNeverTakenForAnotherRequest_data()
    {
        QTest::addColumn<int>("delayMs");     // every answer
        // The first three requests for this own state block are answered
        // lateMs later still (-1: none)...
        QTest::addColumn<int>("lateBlock");
        QTest::addColumn<int>("lateMs");
        // ...or those for own block 3 and settings block 4 never answered.
        QTest::addColumn<bool>("drop");
        QTest::addColumn<int>("copyMs");      // every answer comes twice, the copy this much later (-1: once)
        QTest::addColumn<int>("intervalMs");  // the device sends one report per interval, in order
        QTest::addColumn<int>("blockMs");     // the first write of own block 2 blocks this long...
        QTest::addColumn<bool>("allBlockAndFail"); // ...or every write blocks that long and fails
        QTest::addColumn<int>("commitMs");    // end marker and reset answered this late
        QTest::addColumn<bool>("polled");     // polls get through (within the tick's wait budget)
        QTest::addColumn<bool>("read");       // the settings read gets through
        QTest::addColumn<bool>("written");    // the regulator takes the settings write...
        QTest::addColumn<bool>("reported");   // ...and every slice and the end marker were answered
        QTest::newRow("every answer 300 ms late") << 300 << -1 << 0 << false << -1 << 0 << 0 << false << 0 << false << false << false << false;
        QTest::newRow("one block 400 ms late") << 0 << 2 << 400 << false << -1 << 0 << 0 << false << 0 << true << true << true << true;
        QTest::newRow("one block twice the limit late") << 0 << 0 << 500 << false << -1 << 0 << 0 << false << 0 << true << true << true << true;
        // Five answers of 100 ms do not fit into a tick.
        QTest::newRow("late after 100 ms and one block later") << 100 << 4 << 550 << false << -1 << 0 << 0 << false << 0 << false << true << true << true;
        QTest::newRow("dropped answers") << 0 << -1 << 0 << true << -1 << 0 << 0 << false << 0 << true << true << true << true;
        // An answer that comes twice makes every transfer it falls into fail;
        // slices that reached the regulator meanwhile still count with it.
        QTest::newRow("every answer twice") << 0 << -1 << 0 << false << 0 << 0 << 0 << false << 0 << false << false << false << false;
        QTest::newRow("twice and late") << 0 << 1 << 450 << false << 0 << 0 << 0 << false << 0 << false << false << false << false;
        QTest::newRow("the copy 1 ms later") << 0 << -1 << 0 << false << 1 << 0 << 0 << false << 0 << false << false << true << false;
        QTest::newRow("the copy 1 ms later, one report a millisecond") << 0 << -1 << 0 << false << 1 << 1 << 0 << false << 0 << false << false << true << false;
        QTest::newRow("the copy 20 ms later, one report a millisecond") << 0 << -1 << 0 << false << 20 << 1 << 0 << false << 0 << false << false << true << false;
        QTest::newRow("late answers in order") << 0 << 2 << 400 << false << -1 << 1 << 0 << false << 0 << true << true << true << true;
        // A write that blocks 600 ms, its answer 300 ms after it returned.
        QTest::newRow("a write blocks 600 ms") << 0 << 2 << 300 << false << -1 << 0 << 600 << false << 0 << true << true << true << true;
        QTest::newRow("every write blocks 5 s and fails") << 0 << -1 << 0 << false << -1 << 0 << 5000 << true << 0 << false << false << false << false;
        QTest::newRow("slow end marker") << 0 << -1 << 0 << false << -1 << 0 << 0 << false << 900 << true << true << true << true;
        QTest::newRow("end marker too slow") << 0 << -1 << 0 << false << -1 << 0 << 0 << false << 1600 << true << true << true << false;
    }
    void answersNeverTakenForAnotherRequest()
    {
        QFETCH(int, delayMs);
        QFETCH(int, lateBlock);
        QFETCH(int, lateMs);
        QFETCH(bool, drop);
        QFETCH(int, copyMs);
        QFETCH(int, intervalMs);
        QFETCH(int, blockMs);
        QFETCH(bool, allBlockAndFail);
        QFETCH(int, commitMs);
        QFETCH(bool, polled);
        QFETCH(bool, read);
        QFETCH(bool, written);
        QFETCH(bool, reported);
        Rig rig;
        rig.Connect();
        rig.sim.OwnState = Patterned<SystemStateRecord>(1, 7);
        rig.sim.PeerState = Patterned<SystemStateRecord>(100, 7);
        for (std::size_t i = 0; i < rig.sim.SettingsImage.size(); ++i)
            rig.sim.SettingsImage[i] = uint8_t(i * 13 + 5);
        const auto image = rig.sim.SettingsImage;
        std::vector<CanFrameRecord> queued;
        for (uint32_t i = 0; i < 100; ++i) {
            CanFrameRecord f;
            f.SetFrameKind(6);
            f.SetFrameIdentifier(0x100 + i);
            f.SetFrameDataLength(8);
            f.SetFrameData(0, uint8_t(i));
            queued.push_back(f);
            rig.sim.CanQueue.push_back(f);
        }
        rig.sim.AnswerDelayMs = delayMs;
        rig.sim.CommitDelayMs = commitMs;
        rig.sim.ReportIntervalMs = intervalMs;
        int lateCount = 0;
        rig.sim.ExtraDelayFor = [lateBlock, lateMs, &lateCount](const ReportBuffer& r) {
            return r[0] == ReadOwnStateBlock && r[1] == lateBlock && lateCount++ < 3 ? lateMs : 0;
        };
        int dropCount[2] = {};
        if (drop)
            rig.sim.DropAnswerIf = [&dropCount](const ReportBuffer& r) {
                if (r[0] == ReadOwnStateBlock && r[1] == 3)
                    return dropCount[0]++ < 3;
                return r[0] == ReadSettingsBlock && r[1] == 4 && dropCount[1]++ < 3;
            };
        if (copyMs >= 0) {
            rig.sim.DuplicateAnswerIf = [](const ReportBuffer&) { return true; };
            rig.sim.CopyAfterMs = copyMs;
        }
        bool blocked = false;
        if (blockMs > 0)
            rig.sim.WriteBlocksFor = [&blocked, blockMs, allBlockAndFail](const ReportBuffer& r) {
                return allBlockAndFail || (r[0] == ReadOwnStateBlock && r[1] == 2 && !std::exchange(blocked, true))
                           ? blockMs
                           : 0;
            };
        rig.sim.BlockedWritesFail = allBlockAndFail;

        // Polling ticks, 200 ms apart; each transfer ends whole or not at all.
        SystemStateRecord own, peer;
        int complete = 0;
        int64_t longestTick = 0;
        for (int tick = 0; tick < 50; ++tick) {
            const int64_t start = rig.clock.NowMs();
            rig.session.BeginWaitBudget(HidSession::PollWaitBudgetMs);
            complete += rig.protocol.ReadStateRecord(ReadOwnStateBlock, own);
            QVERIFY(own == SystemStateRecord() || own == rig.sim.OwnState);
            complete += rig.protocol.ReadStateRecord(ReadPeerStateBlock, peer);
            QVERIFY(peer == SystemStateRecord() || peer == rig.sim.PeerState);
            CanFrameRecord frames[2];
            if (rig.protocol.FetchCanFrames(frames[0], frames[1]))
                for (const CanFrameRecord& f : frames) {
                    const uint32_t i = f.FrameIdentifier() - 0x100;
                    QVERIFY(f == CanFrameRecord() || (i < queued.size() && f == queued[i]));
                }
            rig.session.EndWaitBudget();
            longestTick = std::max(longestTick, rig.clock.NowMs() - start);
            rig.clock.SleepMs(200);
        }
        QCOMPARE(complete > 0, polled);
        QVERIFY2(longestTick <= 305, qPrintable(QString::number(longestTick)));

        // A settings read, right after the polls, then a write of a changed record.
        SettingsRecord settings;
        QCOMPARE(rig.protocol.ReadSettingsRecord(settings), read && !drop);
        QCOMPARE(settings, read && !drop ? rig.sim.Settings() : SettingsRecord());
        while (drop && dropCount[1] < 3) // the drops run out; the read is tried again
            QVERIFY(!rig.protocol.ReadSettingsRecord(settings));
        QCOMPARE(rig.protocol.ReadSettingsRecord(settings), read);
        QCOMPARE(settings, read ? rig.sim.Settings() : SettingsRecord());
        settings.SetU8(248, 14);
        QCOMPARE(rig.protocol.WriteSettingsRecord(settings), reported);
        rig.sim.AnswerDelayMs = 0;
        rig.sim.CommitDelayMs = 0;
        QCOMPARE(rig.sim.AppliedWrites, written ? 1 : 0);
        auto expected = image;
        if (written) {
            std::copy(settings.Data(), settings.Data() + SettingsRecord::Size, expected.begin());
            // The tail of slice 8 is what the regulator sent in block 8 of a
            // complete read, or zero without one: the regulator's own bytes
            // after the record never come from another answer.
            if (!read)
                std::fill(expected.begin() + SettingsRecord::Size, expected.begin() + 558, uint8_t(0));
        }
        QVERIFY(rig.sim.SettingsImage == expected);

        // Once the faults end and whatever was on its way has come, the next
        // transfer is whole.
        rig.sim.DuplicateAnswerIf = nullptr;
        rig.sim.WriteBlocksFor = nullptr;
        rig.clock.SleepMs(6000);
        QVERIFY(!rig.protocol.ReadStateRecord(ReadPeerStateBlock, peer) || peer == rig.sim.PeerState);
        QVERIFY(rig.protocol.ReadStateRecord(ReadPeerStateBlock, peer));
        QCOMPARE(peer, rig.sim.PeerState);
    }

    // A report shorter than 64 bytes fails the exchange; so does a write
    // that sent nothing, which starts a device search as any failed write.
    void incompleteReports_data()
    {
        QTest::addColumn<bool>("shortAnswer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("searches");
        QTest::newRow("41 bytes answered") << true << "Only 42 of 65 bytes received" << 0;
        QTest::newRow("0 bytes written") << false << "K-ROVA found: VID=Norvelle PID=K-ROVA X" << 1;
    }
    void incompleteReports()
    {
        QFETCH(bool, shortAnswer);
        QFETCH(QString, text);
        QFETCH(int, searches);
        Rig rig;
        rig.Connect();
        rig.session.ResponseBuffer.fill(0xEE);
        int faults = shortAnswer ? 1 : 2;
        (shortAnswer ? rig.sim.ShortAnswerIf : rig.sim.ZeroByteWriteIf) = [&faults](const ReportBuffer&) { return faults-- > 0; };
        if (!shortAnswer) {
            QVERIFY(!rig.session.WriteReport());
            QCOMPARE(rig.session.LinkStatusText, QStringLiteral("Only 0 of 65 bytes sent"));
        }
        QVERIFY(!rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, text);
        QCOMPARE(rig.session.ResponseBuffer[0], uint8_t(shortAnswer ? 0 : 0xEE));
        QCOMPARE(rig.sim.SearchCount, searches);
        QCOMPARE(int(rig.sim.Requests.size()), shortAnswer ? 1 : 0);
        // The answer of a request whose report came short may still come.
        rig.clock.SleepMs(shortAnswer ? 750 : 0);
        QVERIFY(rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("65 bytes received"));
    }

    void failedReadZeroesResponseKeepsHandle()
    {
        Rig rig;
        rig.Connect();
        rig.session.ResponseBuffer.fill(0xEE);
        rig.sim.FailReads = true;
        QVERIFY(!rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("Input/output error"));
        QCOMPARE(rig.session.ResponseBuffer, ReportBuffer{});
        QVERIFY(rig.session.IsDeviceOpen());
        QCOMPARE(rig.sim.SearchCount, 0);
    }

    void systemErrorTextIsTrimmed()
    {
        Rig rig;
        rig.Connect();
        rig.sim.Unplug();
        // The platform words it "No such device.\n": trailing full stops,
        // blanks and control characters go.
        QVERIFY(!rig.session.WriteReport());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("No such device"));
    }

    void unpluggedWriteSearchesAgain()
    {
        Rig rig;
        rig.Connect();
        rig.sim.Unplug();
        QVERIFY(!rig.session.ExchangeReports());
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("K-ROVA not found"));
        QVERIFY(!rig.session.IsDeviceOpen());
        QCOMPARE(rig.sim.SearchCount, 1);
        rig.sim.PlugIn();
        QVERIFY(!rig.session.ExchangeReports());
        QVERIFY(rig.session.ExchangeReports());
    }

    void noDeviceOneSearchPerTransfer()
    {
        Rig rig;
        rig.sim.Present = false;
        SystemStateRecord own = Patterned<SystemStateRecord>(3, 7);
        const SystemStateRecord before = own;
        QVERIFY(!rig.protocol.ReadStateRecord(ReadOwnStateBlock, own));
        QCOMPARE(rig.sim.SearchCount, 1);
        QCOMPARE(own, before);
        QVERIFY(!rig.protocol.ReadStateRecord(ReadPeerStateBlock, own));
        QCOMPARE(rig.sim.SearchCount, 2);
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("K-ROVA not found"));
    }

    void ownThenPeerRequestOrder()
    {
        Rig rig;
        rig.Connect();
        rig.sim.OwnState = Patterned<SystemStateRecord>(1, 7);
        rig.sim.PeerState = Patterned<SystemStateRecord>(100, 7);
        SystemStateRecord own, peer;
        QVERIFY(rig.protocol.ReadStateRecord(ReadOwnStateBlock, own));
        QVERIFY(rig.protocol.ReadStateRecord(ReadPeerStateBlock, peer));
        QCOMPARE(own, rig.sim.OwnState);
        QCOMPARE(peer, rig.sim.PeerState);
        QCOMPARE(int(rig.sim.Requests.size()), 10);
        for (int i = 0; i < 10; ++i) {
            const ReportBuffer& r = rig.sim.Requests[std::size_t(i)];
            QCOMPARE(int(r[0]), i < 5 ? 1 : 5);
            QCOMPARE(int(r[1]), i % 5);
            for (int b = 2; b < 64; ++b)
                QCOMPARE(int(r[std::size_t(b)]), 0);
        }
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("65 bytes received"));
    }

    // A transfer that breaks off at any block leaves its target whole.
    void incompleteStateTransferKeepsRecord_data()
    {
        QTest::addColumn<int>("blocksThrough");
        for (int n = 0; n < 5; ++n)
            QTest::addRow("after %d blocks", n) << n;
    }
    void incompleteStateTransferKeepsRecord()
    {
        QFETCH(int, blocksThrough);
        Rig rig;
        rig.Connect();
        rig.sim.OwnState = Patterned<SystemStateRecord>(9, 7);
        SystemStateRecord own = Patterned<SystemStateRecord>(200, 7);
        const SystemStateRecord before = own;
        rig.sim.UnplugAfterExchanges = blocksThrough;
        QVERIFY(!rig.protocol.ReadStateRecord(ReadOwnStateBlock, own));
        QCOMPARE(own, before);
        rig.sim.PlugIn();
        QVERIFY(!rig.protocol.ReadStateRecord(ReadOwnStateBlock, own)); // finds it again
        QVERIFY(rig.protocol.ReadStateRecord(ReadOwnStateBlock, own));
        QCOMPARE(own, rig.sim.OwnState);
    }

    void canFetchReusesPeerRequestBytes()
    {
        Rig rig;
        rig.Connect();
        CanFrameRecord a, b;
        b.SetFrameDataLength(3);
        b.SetFrameIdentifier(0x123);
        rig.sim.CanQueue.push_back(a);
        rig.sim.CanQueue.push_back(b);
        SystemStateRecord peer;
        QVERIFY(rig.protocol.ReadStateRecord(ReadPeerStateBlock, peer));
        CanFrameRecord first, second;
        QVERIFY(rig.protocol.FetchCanFrames(first, second));
        const ReportBuffer& request = rig.sim.Requests.back();
        QCOMPARE(int(request[0]), 7);
        QCOMPARE(int(request[1]), 4);
        QCOMPARE(first.FrameDataLength(), uint8_t(0));
        QCOMPARE(second.FrameIdentifier(), 0x123u);

        // A failed fetch changes neither slot.
        rig.sim.FailReads = true;
        QVERIFY(!rig.protocol.FetchCanFrames(first, second));
        QCOMPARE(second.FrameIdentifier(), 0x123u);
    }

    void settingsReadWriteRoundTrip()
    {
        Rig rig;
        rig.Connect();
        for (std::size_t i = 0; i < rig.sim.SettingsImage.size(); ++i)
            rig.sim.SettingsImage[i] = uint8_t(i * 13 + 5);
        const auto image = rig.sim.SettingsImage;
        SettingsRecord settings;
        QVERIFY(rig.protocol.ReadSettingsRecord(settings));
        QCOMPARE(settings, rig.sim.Settings());
        rig.sim.Requests.clear();
        QVERIFY(rig.protocol.WriteSettingsRecord(settings));
        QCOMPARE(int(rig.sim.Requests.size()), 10);
        for (int n = 0; n < 9; ++n) {
            QCOMPARE(int(rig.sim.Requests[std::size_t(n)][0]), 3);
            QCOMPARE(int(rig.sim.Requests[std::size_t(n)][1]), n);
        }
        QCOMPARE(int(rig.sim.Requests[9][1]), 255);
        // Slice 8: the record's last 44 bytes, then bytes 28..45 of block 8.
        const ReportBuffer& slice8 = rig.sim.Requests[8];
        QVERIFY(std::equal(slice8.begin() + 2, slice8.begin() + 46, settings.Data() + 496));
        QVERIFY(std::equal(slice8.begin() + 46, slice8.end(), image.begin() + 540));
        QCOMPARE(rig.sim.AppliedWrites, 1);
        QVERIFY(rig.sim.SettingsImage == image);
    }

    void writeBeforeAnyReadSendsZeroTail()
    {
        Rig rig;
        rig.Connect();
        SettingsRecord settings;
        settings.SetU8(539, 0x77);
        QVERIFY(rig.protocol.WriteSettingsRecord(settings));
        const ReportBuffer& slice8 = rig.sim.Requests[8];
        QCOMPARE(int(slice8[45]), 0x77);
        for (int b = 46; b < 64; ++b)
            QCOMPARE(int(slice8[std::size_t(b)]), 0);
    }

    void writeFailureAndEndMarker_data()
    {
        QTest::addColumn<int>("failingSlice");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("endMarker");
        // Slice 0 reached the regulator: it waits for the end marker.
        QTest::newRow("slice 0") << 0 << 2 << true;
        QTest::newRow("slice 5") << 5 << 7 << true;
        QTest::newRow("slice 8") << 8 << 10 << true;
    }
    void writeFailureAndEndMarker()
    {
        QFETCH(int, failingSlice);
        QFETCH(int, requests);
        QFETCH(bool, endMarker);
        Rig rig;
        rig.Connect();
        SettingsRecord settings;
        settings.SetU8(100, 1);
        // The chosen slice reaches the regulator but its answer never comes.
        rig.sim.DropAnswerIf = [failingSlice](const ReportBuffer& r) { return r[0] == 3 && r[1] == failingSlice; };
        QVERIFY(!rig.protocol.WriteSettingsRecord(settings));
        QCOMPARE(int(rig.sim.Requests.size()), requests);
        QCOMPARE(rig.sim.Requests.back()[1] == SettingsWriteEnd, endMarker);
        QCOMPARE(int(rig.sim.Requests.back()[0]), 3);
        // The end marker's answer does not hide the failed slice.
        QCOMPARE(rig.session.LinkStatusText, QStringLiteral("K-ROVA did not answer"));
    }

    void resetSendsOneRequest()
    {
        Rig rig;
        rig.Connect();
        rig.sim.SettingsImage.fill(9);
        QVERIFY(rig.protocol.ResetSettings());
        QCOMPARE(int(rig.sim.Requests.size()), 1);
        QCOMPARE(int(rig.sim.Requests[0][0]), 4);
        QCOMPARE(int(rig.sim.Requests[0][1]), 0);
        QVERIFY(rig.sim.SettingsImage == rig.sim.DefaultsImage);
    }

    void incompleteSettingsReadKeepsRecord()
    {
        Rig rig;
        rig.Connect();
        rig.sim.SettingsImage.fill(0x42);
        SettingsRecord settings;
        settings.SetU8(0, 0x11);
        const SettingsRecord before = settings;
        rig.sim.UnplugAfterExchanges = 4;
        QVERIFY(!rig.protocol.ReadSettingsRecord(settings));
        QCOMPARE(settings, before);
        // Nor does the transfer buffer take the four blocks that arrived.
        QCOMPARE(int(rig.protocol.SettingsTransferBuffer[0]), 0);
    }
};

QTEST_GUILESS_MAIN(DeviceLinkTest)
#include "test_device_link.moc"
