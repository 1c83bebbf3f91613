#include "device/simulated_regulator.h"

#include "records/demo_records.h"

#include <cmath>
#include <cstring>

const QString SimulatedRegulator::DevicePath = QStringLiteral("sim:/regulator/0");

struct SimulatedRegulator::Handle {
    struct Pending {
        int64_t dueMs;
        ReportBuffer data;
        int bytes; // of the payload that a read hands over
    };
    struct BlockedWrite {
        int64_t endsAtMs;
        ReportBuffer request;
        bool blocked;
        bool fails;
        bool writesNothing;
    };
    bool alive = true;
    // Ordered by the time each answer arrives.
    std::deque<Pending> answers;
    QString lastError;
    std::optional<BlockedWrite> blockedWrite;
    // The device's reports leave in the order it made them, at most one per
    // interrupt interval: none arrives before this time.
    int64_t nextReportAtMs = 0;

    void Queue(int64_t dueMs, const ReportBuffer& data, int intervalMs, int bytes = ReportPayloadSize)
    {
        if (intervalMs > 0) {
            dueMs = std::max(dueMs, nextReportAtMs);
            nextReportAtMs = dueMs + intervalMs;
        }
        auto at = answers.end();
        while (at != answers.begin() && std::prev(at)->dueMs > dueMs)
            --at;
        answers.insert(at, Pending{dueMs, data, bytes});
    }
};

class SimulatedDevice : public HidDevice {
public:
    SimulatedDevice(SimulatedRegulator& sim, std::shared_ptr<SimulatedRegulator::Handle> handle)
        : sim_(sim), handle_(std::move(handle))
    {
    }
    ~SimulatedDevice() override { handle_->alive = false; }
    int Write(const uint8_t* report, int length, int timeoutMs) override
    {
        return sim_.Write(*handle_, report, length, timeoutMs);
    }
    int WaitWrite(int timeoutMs) override { return sim_.WaitWrite(*handle_, timeoutMs); }
    int Read(uint8_t* report, int length, int timeoutMs) override { return sim_.Read(*handle_, report, length, timeoutMs); }
    QString LastError() const override { return handle_->lastError; }
    std::optional<QString> Manufacturer() override { return sim_.ManufacturerString; }
    std::optional<QString> Product() override { return sim_.ProductString; }

private:
    SimulatedRegulator& sim_;
    std::shared_ptr<SimulatedRegulator::Handle> handle_;
};

namespace {

// A smooth wobble: the value a drifting quantity has moved by since tick - 1.
float Drift(uint32_t tick, float amplitude, float period)
{
    const float twoPi = 6.2831853f;
    return amplitude * (std::sin(twoPi * float(tick) / period) - std::sin(twoPi * float(tick - 1) / period));
}

void DriftChannel(SystemStateRecord& r, Channel c, float delta)
{
    MeasuredChannel m = r.ChannelAt(c);
    if (m.Value != 0)
        m.Signal += m.Signal / m.Value * delta;
    m.Value += delta;
    r.SetChannel(c, m);
}

void DriftState(SystemStateRecord& r, uint32_t tick, float phase)
{
    const uint32_t t = tick + uint32_t(phase);
    const float volts = Drift(t, 0.12f, 37);
    const float amps = Drift(t, 4.0f, 53);
    r.SetBatteryVoltage(r.BatteryVoltage() + volts);
    r.SetBatteryCurrent(r.BatteryCurrent() + amps);
    r.SetAlternatorCurrent(r.AlternatorCurrent() + amps);
    r.SetLoadCurrent(r.LoadCurrent() + Drift(t, 1.5f, 71));
    DriftChannel(r, Channel::BPlusVoltage, volts);
    DriftChannel(r, Channel::BatteryShuntVoltage, volts);
    DriftChannel(r, Channel::RegulatorVoltage, volts);
    DriftChannel(r, Channel::EngineRpm, Drift(t, 150.0f, 97));
    DriftChannel(r, Channel::AlternatorTemperature, Drift(t, 1.5f, 211));
    DriftChannel(r, Channel::BatteryShuntDrop, amps * 0.0001f);
    DriftChannel(r, Channel::AlternatorShuntDrop, amps * 0.0001f);
    r.SetFieldOutput(uint16_t(int(r.FieldOutput()) + int(std::lround(Drift(t, 120.0f, 43)))));
    if (tick % 5 == 0)
        r.SetRunningTime(r.RunningTime() + 1);
}

} // namespace

SimulatedRegulator::SimulatedRegulator(LinkClock& clock) : clock_(clock)
{
    OwnState = DemoOwnState();
    PeerState = DemoPeerState();
    const SettingsRecord defaults = DemoSettings();
    std::memcpy(DefaultsImage.data(), defaults.Data(), SettingsRecord::Size);
    // The firmware keeps its own bookkeeping after the 540 record bytes; any
    // fixed pattern serves to show that it survives a read and write.
    for (std::size_t i = SettingsRecord::Size; i < SettingsImageSize; ++i)
        DefaultsImage[i] = uint8_t(0xA0 + i - SettingsRecord::Size);
    SettingsImage = DefaultsImage;
}

SimulatedRegulator::~SimulatedRegulator() = default;

SettingsRecord SimulatedRegulator::Settings() const
{
    SettingsRecord r;
    r.Assign(SettingsImage.data());
    return r;
}

void SimulatedRegulator::SetSettings(const SettingsRecord& record)
{
    std::memcpy(SettingsImage.data(), record.Data(), SettingsRecord::Size);
}

std::vector<HidInterfaceInfo> SimulatedRegulator::Enumerate()
{
    ++SearchCount;
    std::vector<HidInterfaceInfo> list = OtherInterfaces;
    if (Present)
        list.push_back({DevicePath, HidSession::DeviceVendorId, HidSession::DeviceProductId,
                        ManufacturerString.value_or(QString()), ProductString.value_or(QString())});
    return list;
}

std::unique_ptr<HidDevice> SimulatedRegulator::Open(const QString& path)
{
    if (path != DevicePath || !Present || OpenRefused)
        return nullptr;
    auto handle = std::make_shared<Handle>();
    if (current_) {
        // What reached the old handle is gone with it; answers still on
        // their way arrive at whichever handle is open when they come.
        const int64_t now = clock_.NowMs();
        for (const Handle::Pending& a : current_->answers)
            if (a.dueMs > now)
                handle->Queue(a.dueMs, a.data, 0, a.bytes);
        handle->nextReportAtMs = current_->nextReportAtMs;
        current_->answers.clear();
        current_->alive = false;
    }
    current_ = handle;
    return std::make_unique<SimulatedDevice>(*this, current_);
}

int SimulatedRegulator::Write(Handle& handle, const uint8_t* report, int length, int timeoutMs)
{
    if (UnplugAfterExchanges == 0) {
        UnplugAfterExchanges = -1;
        Present = false;
    }
    if (!Present || !handle.alive || length != ReportSize) {
        handle.alive = false;
        handle.lastError = QStringLiteral("No such device.\n");
        return -1;
    }
    ReportBuffer request;
    std::memcpy(request.data(), report + 1, request.size());
    const int blocks = std::max(WriteBlocksFor ? WriteBlocksFor(request) : 0, 0);
    const bool fails = (blocks > 0 && BlockedWritesFail) || (FailWriteIf && FailWriteIf(request));
    const bool writesNothing = ZeroByteWriteIf && ZeroByteWriteIf(request);
    handle.blockedWrite = Handle::BlockedWrite{clock_.NowMs() + blocks, request, blocks > 0, fails, writesNothing};
    if (timeoutMs >= 0 && blocks > timeoutMs) {
        clock_.SleepMs(timeoutMs);
        return HidDevice::WriteUnderWay;
    }
    return WaitWrite(handle, -1);
}

int SimulatedRegulator::WaitWrite(Handle& handle, int timeoutMs)
{
    if (!handle.blockedWrite) {
        handle.lastError = QStringLiteral("Invalid argument");
        return -1;
    }
    const int64_t now = clock_.NowMs();
    const Handle::BlockedWrite write = *handle.blockedWrite;
    if (timeoutMs >= 0 && write.endsAtMs > now + timeoutMs) {
        clock_.SleepMs(timeoutMs);
        return HidDevice::WriteUnderWay;
    }
    clock_.SleepMs(write.endsAtMs - now);
    handle.blockedWrite.reset();
    if (write.fails) {
        handle.lastError = write.blocked ? QStringLiteral("Connection timed out") : QStringLiteral("Broken pipe");
        return -1;
    }
    if (write.writesNothing)
        return 0;
    // Taken when the write ended, whenever the caller looks.
    return Take(handle, write.request, write.endsAtMs);
}

int SimulatedRegulator::Take(Handle& handle, const ReportBuffer& request, int64_t at)
{
    if (UnplugAfterExchanges > 0)
        --UnplugAfterExchanges;
    if (RecordRequests)
        Requests.push_back(request);
    ReportBuffer answer{};
    Answer(request, answer);
    if (NoAnswer || (DropAnswerIf && DropAnswerIf(request)))
        return ReportSize;
    const bool commit = (request[0] == WriteSettingsBlock && request[1] == SettingsWriteEnd)
                        || request[0] == ResetSettingsToDefaults;
    const int64_t due =
        at + AnswerDelayMs + (ExtraDelayFor ? ExtraDelayFor(request) : 0) + (commit ? CommitDelayMs : 0);
    const int bytes = ShortAnswerIf && ShortAnswerIf(request) ? ShortAnswerBytes : ReportPayloadSize;
    handle.Queue(due, answer, ReportIntervalMs, bytes);
    if (DuplicateAnswerIf && DuplicateAnswerIf(request))
        handle.Queue(due + (CopyAfterFor ? CopyAfterFor(request) : CopyAfterMs), answer, ReportIntervalMs, bytes);
    return ReportSize;
}

int SimulatedRegulator::Read(Handle& handle, uint8_t* report, int length, int timeoutMs)
{
    if (FailReads || !Present || !handle.alive) {
        handle.lastError = QStringLiteral("Input/output error");
        return -1;
    }
    const int64_t now = clock_.NowMs();
    const int64_t waitUntil = now + std::max(timeoutMs, 0);
    if (handle.answers.empty() || handle.answers.front().dueMs > waitUntil) {
        clock_.SleepMs(waitUntil - now);
        return 0;
    }
    const Handle::Pending answer = handle.answers.front();
    handle.answers.pop_front();
    clock_.SleepMs(answer.dueMs - now);
    report[0] = 0;
    const int n = std::min(length - 1, answer.bytes);
    std::memcpy(report + 1, answer.data.data(), std::size_t(n));
    return n + 1;
}

void SimulatedRegulator::Answer(const ReportBuffer& request, ReportBuffer& answer)
{
    const uint8_t code = request[0];
    const uint8_t index = request[1];
    auto copyBlock = [&](const uint8_t* source, std::size_t sourceSize) {
        const std::size_t at = std::size_t(index) * ReportPayloadSize;
        for (std::size_t i = 0; i < answer.size(); ++i)
            answer[i] = at + i < sourceSize ? source[at + i] : 0;
    };
    constexpr uint16_t AllSlices = (1u << SettingsSliceCount) - 1;
    switch (code) {
    case ReadOwnStateBlock:
        if (index == 0 && Animate)
            AdvanceState();
        if (index < StateBlockCount)
            copyBlock(OwnState.Data(), OwnState.Size);
        break;
    case ReadPeerStateBlock:
        if (index < StateBlockCount)
            copyBlock(PeerState.Data(), PeerState.Size);
        break;
    case ReadSettingsBlock:
        if (index < SettingsBlockCount)
            copyBlock(SettingsImage.data(), SettingsImage.size());
        break;
    case WriteSettingsBlock:
        if (index < SettingsSliceCount) {
            std::memcpy(pendingWrite_.data() + SettingsSliceSize * index, request.data() + 2, SettingsSliceSize);
            slicesReceived_ |= uint16_t(1u << index);
        } else if (index == SettingsWriteEnd) {
            // Every slice since the last commit, from whichever writes.
            if (slicesReceived_ == AllSlices) {
                std::memcpy(SettingsImage.data(), pendingWrite_.data(), SettingsSliceCount * SettingsSliceSize);
                ++AppliedWrites;
                slicesReceived_ = 0;
            } else {
                ++DiscardedWrites;
            }
        }
        break;
    case ResetSettingsToDefaults:
        SettingsImage = DefaultsImage;
        ++ResetCount;
        break;
    case ReadCanFrames:
        for (int slot = 0; slot < 2; ++slot) {
            CanFrameRecord frame;
            if (!CanQueue.empty()) {
                frame = CanQueue.front();
                CanQueue.pop_front();
            } else if (GenerateCanTraffic) {
                frame = NextGeneratedFrame();
            }
            std::memcpy(answer.data() + 32 * slot, frame.Data(), frame.Size);
        }
        break;
    default:
        break;
    }
}

void SimulatedRegulator::AdvanceState()
{
    ++tick_;
    DriftState(OwnState, tick_, 0);
    DriftState(PeerState, tick_, 17);
}

CanFrameRecord SimulatedRegulator::NextGeneratedFrame()
{
    // The NMEA 2000 traffic of a small boat with this regulator at address
    // 35 and an engine gateway at 16, in turn: engine speed, battery and
    // alternator output, temperatures, the regulator's heartbeat, address
    // claim and the first frame of its product information, and a display
    // at 5 asking the regulator for it. Every third slot stays empty so
    // that ticks add one or two lines.
    ++canCounter_;
    CanFrameRecord f;
    if (canCounter_ % 3 == 0)
        return f;
    const uint32_t n = canCounter_;
    const uint8_t sid = uint8_t(n % 250);
    // An identifier: priority, PGN (for an addressed one with the
    // destination in its low byte) and source.
    auto id = [](uint32_t priority, uint32_t pgn, uint32_t source) { return priority << 26 | pgn << 8 | source; };
    uint8_t kind = 6;
    uint8_t length = 8;
    uint32_t identifier = 0;
    uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    auto put = [&data](int at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            data[at + i] = uint8_t(value >> (8 * i));
    };
    switch (n % 10) {
    case 0: // 127488: engine 0 near 1800 rpm (0.25 rpm); boost and trim not fitted
        identifier = id(2, 127488, 16);
        put(0, 0, 1);
        put(1, 7200 + (n * 13) % 40, 2);
        put(5, 0x7F, 1);
        break;
    case 1: // 127508: house battery near 13.6 V (0.01 V), charging near 12 A (0.1 A), 25 degrees C
        identifier = id(6, 127508, 35);
        put(0, 0, 1);
        put(1, 1355 + (n / 10) % 10, 2);
        put(3, 118 + n % 9, 2);
        put(5, 29815 + n % 30, 2); // 0.01 K
        put(7, sid, 1);
        break;
    case 2: // 127751: alternator output, 14.1 V (0.1 V) and about 35 A (0.01 A, 24 bits)
        identifier = id(6, 127751, 35);
        put(0, sid, 1);
        put(1, 1, 1);
        put(2, 141, 2);
        put(4, 3480 + (n * 7) % 90, 3);
        break;
    case 3: // 130312: engine room temperature, no set point
        identifier = id(5, 130312, 35);
        put(0, sid, 1);
        put(1, 0, 1);
        put(2, 3, 1);
        put(3, 31145 + n % 50, 2); // about 38 degrees C
        break;
    case 4: // 126993: heartbeat every 60 s
        identifier = id(7, 126993, 35);
        put(0, 60000, 2);
        put(2, n % 253, 1);
        put(3, 0xC0, 1); // both controllers error-active, equipment operational
        break;
    case 5: // 60928: the regulator's NAME, broadcast (PDU1, destination 255)
        identifier = id(6, 60928 | 255, 35);
        put(0,
            uint64_t(123456) | uint64_t(2040) << 21 | uint64_t(0) << 32 | uint64_t(141) << 40 | uint64_t(35) << 49
                | uint64_t(0) << 56 | uint64_t(4) << 60 | uint64_t(1) << 63,
            8);
        break;
    case 6: // 59904: a display asks address 35 for its product information
        identifier = id(6, 59904 | 35, 5);
        length = 3;
        put(0, 126996, 3);
        break;
    case 7: // 130316: a second engine room sensor, by the alternator, 0.001 K
        identifier = id(5, 130316, 35);
        put(0, sid, 1);
        put(1, 1, 1);
        put(2, 3, 1);
        put(3, 340150 + (n * 37) % 2000, 3); // about 67 degrees C
        break;
    case 8: // 126996, fast packet: only its first frame arrives
        identifier = id(6, 126996, 35);
        kind = 8;
        length = 134;
        put(0, (n % 8) << 5, 1);
        put(1, 134, 1);
        put(2, 2100, 2); // NMEA 2000 version 2.100
        put(4, 1001, 2);
        put(6, 0x4B52, 2);
        break;
    default: // 127489, fast packet, from the engine gateway
        identifier = id(2, 127489, 16);
        kind = 7;
        put(0, (n % 8) << 5, 1);
        put(1, 26, 1);
        put(2, 0, 1);
        put(3, 3500, 2);
        put(5, 3550, 2);
        break;
    }
    f.SetFrameKind(kind);
    f.SetFrameIdentifier(identifier);
    f.SetFrameDataLength(length);
    for (int i = 0; i < 8; ++i)
        f.SetFrameData(i, data[i]);
    return f;
}
