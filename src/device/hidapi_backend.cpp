#include "device/hid_backend.h"

#include <hidapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

QString FromWide(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// A write to hidraw (and to the Windows HID driver) blocks while the device
// refuses the report, up to the USB time-out. So that the window never waits
// that long, the write runs on a thread of its own; the caller waits for it
// a short while only and may leave it to end by itself. The handle belongs
// to whoever holds this state last: a device closed while its write still
// blocks is closed by the writer once the write has returned.
// Handles not closed yet: hidapi must not be shut down under a write that
// still blocks on a thread nobody waits for.
std::atomic<int> openHandles{0};

struct WriterState {
    explicit WriterState(hid_device* h) : handle(h) { ++openHandles; }
    ~WriterState()
    {
        hid_close(handle);
        --openHandles;
    }

    hid_device* const handle;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint8_t> report; // the report to write, while one waits
    bool busy = false;           // a write is under way
    bool stopping = false;
    int result = 0;              // of the write that ended last
    std::wstring error;
};

void WriterLoop(std::shared_ptr<WriterState> state)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->stopping || !state->report.empty(); });
        if (state->report.empty())
            return;
        const std::vector<uint8_t> report = std::move(state->report);
        state->report.clear();
        lock.unlock();
        const int n = hid_write(state->handle, report.data(), report.size());
        const std::wstring error = n < 0 ? std::wstring(hid_error(state->handle)) : std::wstring();
        lock.lock();
        state->result = n;
        state->error = error;
        state->busy = false;
        state->changed.notify_all();
    }
}

class HidapiDevice : public HidDevice {
public:
    explicit HidapiDevice(hid_device* handle) : state_(std::make_shared<WriterState>(handle)) {}
    ~HidapiDevice() override
    {
        if (!writer_.joinable())
            return;
        bool busy;
        {
            const std::lock_guard<std::mutex> lock(state_->mutex);
            state_->stopping = true;
            busy = state_->busy;
        }
        state_->changed.notify_all();
        // A write that still blocks keeps its thread and the handle until it
        // returns; nobody waits for it.
        if (busy)
            writer_.detach();
        else
            writer_.join();
    }

    int Write(const uint8_t* report, int length, int timeoutMs) override
    {
        if (!writer_.joinable())
            writer_ = std::thread(WriterLoop, state_);
        {
            const std::lock_guard<std::mutex> lock(state_->mutex);
            if (state_->busy) {
                lastError_ = QStringLiteral("A write is still under way");
                return -1;
            }
            state_->report.assign(report, report + length);
            state_->busy = true;
        }
        state_->changed.notify_all();
        return WaitWrite(timeoutMs);
    }

    int WaitWrite(int timeoutMs) override
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        const auto ended = [this] { return !state_->busy; };
        if (timeoutMs < 0)
            state_->changed.wait(lock, ended);
        else if (!state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
            return WriteUnderWay;
        if (state_->result < 0)
            lastError_ = FromWide(state_->error.c_str());
        return state_->result;
    }

    int Read(uint8_t* report, int length, int timeoutMs) override
    {
        // hidapi leaves the report ID out of what it reads: the payload goes
        // to bytes 1.. and a complete report still counts as `length` bytes,
        // as on the wire. A shorter report counts one more than hidapi read.
        report[0] = 0;
        const int n = hid_read_timeout(state_->handle, report + 1, size_t(length - 1), timeoutMs);
        if (n < 0) {
            lastError_ = FromWide(hid_error(state_->handle));
            return -1;
        }
        return n == 0 ? 0 : n + 1;
    }

    QString LastError() const override { return lastError_.isEmpty() ? QStringLiteral("Input/output error") : lastError_; }

    std::optional<QString> Manufacturer() override { return String(&hid_get_manufacturer_string); }
    std::optional<QString> Product() override { return String(&hid_get_product_string); }

private:
    std::optional<QString> String(int (*get)(hid_device*, wchar_t*, size_t))
    {
        wchar_t buf[128] = {};
        if (get(state_->handle, buf, sizeof buf / sizeof buf[0]) != 0)
            return std::nullopt;
        return FromWide(buf);
    }

    std::shared_ptr<WriterState> state_;
    std::thread writer_;
    QString lastError_;
};

class HidapiBackend : public HidBackend {
public:
    HidapiBackend() { initialized_ = hid_init() == 0; }
    ~HidapiBackend() override
    {
        // At exit a write may still block on a regulator that refuses it;
        // the process's end cleans up after it instead.
        if (initialized_ && openHandles == 0)
            hid_exit();
    }

    std::vector<HidInterfaceInfo> Enumerate() override
    {
        std::vector<HidInterfaceInfo> list;
        if (!initialized_)
            return list;
        hid_device_info* all = hid_enumerate(0, 0);
        for (hid_device_info* d = all; d; d = d->next)
            list.push_back({QString::fromLocal8Bit(d->path), d->vendor_id, d->product_id, FromWide(d->manufacturer_string),
                            FromWide(d->product_string)});
        hid_free_enumeration(all);
        return list;
    }

    std::unique_ptr<HidDevice> Open(const QString& path) override
    {
        if (!initialized_)
            return nullptr;
        hid_device* handle = hid_open_path(path.toLocal8Bit().constData());
        if (!handle)
            return nullptr;
        return std::make_unique<HidapiDevice>(handle);
    }

private:
    bool initialized_ = false;
};

} // namespace

std::unique_ptr<HidBackend> CreateHidapiBackend()
{
    return std::make_unique<HidapiBackend>();
}
