#include "device/hid_backend.h"

#include <hidapi.h>

#include <cwchar>

namespace {

QString FromWide(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

class HidapiDevice : public HidDevice {
public:
    explicit HidapiDevice(hid_device* handle) : handle_(handle) {}
    ~HidapiDevice() override { hid_close(handle_); }

    int Write(const uint8_t* report, int length) override
    {
        const int n = hid_write(handle_, report, size_t(length));
        if (n < 0)
            lastError_ = FromWide(hid_error(handle_));
        return n;
    }

    int Read(uint8_t* report, int length, int timeoutMs) override
    {
        // hidapi leaves the report ID out of what it reads: the payload goes
        // to bytes 1.. and a complete report still counts as `length` bytes,
        // as on the wire.
        report[0] = 0;
        const int n = hid_read_timeout(handle_, report + 1, size_t(length - 1), timeoutMs);
        if (n < 0) {
            lastError_ = FromWide(hid_error(handle_));
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
        if (get(handle_, buf, sizeof buf / sizeof buf[0]) != 0)
            return std::nullopt;
        return FromWide(buf);
    }

    hid_device* handle_;
    QString lastError_;
};

class HidapiBackend : public HidBackend {
public:
    HidapiBackend() { initialized_ = hid_init() == 0; }
    ~HidapiBackend() override
    {
        if (initialized_)
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
