#include "fake_hidapi/fake_hidapi.h"

#include <hidapi.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <cstring>
#include <cwchar>

struct hid_device_ {
    std::unique_ptr<HidDevice> device;
    std::wstring error;
};

namespace fake_hidapi {

Control& Fake()
{
    static Control control;
    return control;
}

void Reset(SimulatedRegulator* regulator)
{
    Fake().~Control();
    new (&Fake()) Control{};
    Fake().regulator = regulator;
}

} // namespace fake_hidapi

using fake_hidapi::Fake;

namespace {

wchar_t* WideCopy(const std::optional<QString>& text)
{
    if (!text)
        return nullptr;
    const std::wstring w = text->toStdWString();
    auto* copy = static_cast<wchar_t*>(std::calloc(w.size() + 1, sizeof(wchar_t)));
    std::wmemcpy(copy, w.c_str(), w.size());
    return copy;
}

int CopyString(const std::optional<QString>& text, wchar_t* out, size_t maxlen)
{
    if (!text || maxlen == 0)
        return -1;
    const std::wstring w = text->toStdWString();
    const size_t n = std::min(w.size(), maxlen - 1);
    std::wmemcpy(out, w.c_str(), n);
    out[n] = L'\0';
    return 0;
}

} // namespace

extern "C" {

int hid_init(void)
{
    ++Fake().initCalls;
    return 0;
}

int hid_exit(void)
{
    ++Fake().exitCalls;
    return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    hid_device_info* first = nullptr;
    hid_device_info** tail = &first;
    for (const HidInterfaceInfo& info : Fake().regulator->Enumerate()) {
        if ((vendor_id && info.vendorId != vendor_id) || (product_id && info.productId != product_id))
            continue;
        auto* d = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        const QByteArray path = info.path.toLocal8Bit();
        d->path = static_cast<char*>(std::calloc(std::size_t(path.size()) + 1, 1));
        std::memcpy(d->path, path.constData(), std::size_t(path.size()));
        d->vendor_id = info.vendorId;
        d->product_id = info.productId;
        d->manufacturer_string = WideCopy(Fake().regulator->ManufacturerString);
        d->product_string = WideCopy(Fake().regulator->ProductString);
        *tail = d;
        tail = &d->next;
    }
    if (Fake().afterEnumerate)
        Fake().afterEnumerate();
    return first;
}

void hid_free_enumeration(struct hid_device_info* devs)
{
    while (devs) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path)
{
    Fake().openedPaths.emplace_back(path);
    std::unique_ptr<HidDevice> device = Fake().regulator->Open(QString::fromLocal8Bit(path));
    if (!device)
        return nullptr;
    ++Fake().openHandles;
    return new hid_device_{std::move(device), {}};
}

void hid_close(hid_device* dev)
{
    --Fake().openHandles;
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    // Called on the backend's writer thread; the test looks at what was
    // written only once the write has ended.
    Fake().written.emplace_back(data, data + length);
    if (Fake().forcedWriteResult)
        return *Fake().forcedWriteResult;
    if (Fake().writeBlockMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(Fake().writeBlockMs));
    if (Fake().writeFails) {
        dev->error = Fake().writeErrorText;
        return -1;
    }
    const int n = dev->device->Write(data, int(length), -1);
    if (n < 0)
        dev->error = dev->device->LastError().toStdWString();
    return n;
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    Fake().readLengths.push_back(length);
    Fake().readTimeouts.push_back(milliseconds);
    if (Fake().forcedReadResult) {
        if (*Fake().forcedReadResult < 0)
            dev->error = Fake().readErrorText;
        return *Fake().forcedReadResult;
    }
    // The regulator uses no numbered reports: hidraw hands over the 64
    // payload bytes without a report ID in front.
    uint8_t report[ReportSize];
    const int n = dev->device->Read(report, ReportSize, milliseconds);
    if (n < 0) {
        dev->error = dev->device->LastError().toStdWString();
        return -1;
    }
    if (n == 0)
        return 0;
    const size_t count = std::min(length, size_t(n - 1));
    std::memcpy(data, report + 1, count);
    return int(count);
}

const wchar_t* hid_error(hid_device* dev)
{
    if (!dev)
        return L"Success";
    return dev->error.c_str();
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return CopyString(dev->device->Manufacturer(), string, maxlen);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return CopyString(dev->device->Product(), string, maxlen);
}

} // extern "C"
