#pragma once
// The regulator on USB: the HID session, the block transfers over it and the
// two CAN frame slots of the last fetch. Every step reports the link's status
// text afterwards, whether it went through or not.
#include "device/command_protocol.h"
#include "device/hid_session.h"
#include "records/can_frame_record.h"

#include <QObject>
#include <QStringList>

#include <functional>

class UsbLink : public QObject {
    Q_OBJECT
public:
    explicit UsbLink(HidBackend& backend, QObject* parent = nullptr);

    const HidSession& Session() const { return session_; }
    const CommandProtocol& Protocol() const { return protocol_; }
    QString StatusText() const { return session_.LinkStatusText; }

    // Finds and opens the regulator (every transfer does so itself when the
    // device is not open), and lets it go.
    bool Open();
    bool Close();

    // One state transfer of `block` (the own or the peer regulator's); the
    // record is replaced only when it came whole.
    bool ReadState(uint8_t block, SystemStateRecord& into);
    // One CAN fetch: the lines it adds (none when the fetch fails).
    QStringList FetchCanLines(bool hex);
    // The two slots of the last fetch that went through.
    const CanFrameRecord& CanFrame(int slot) const { return canFrames_[slot]; }

    // The settings transfers: `into` is replaced by a complete read only; a
    // write runs `whenTaking` once the regulator took the first slice, a
    // reset runs `beforeReset` just before the request goes out.
    bool ReadSettings(SettingsRecord& into);
    bool WriteSettings(const SettingsRecord& record, const std::function<void()>& whenTaking);
    bool ResetSettings(const std::function<void()>& beforeReset);

    // The steps until EndWaitBudget wait on the regulator this long in all.
    void BeginWaitBudget(int ms) { session_.BeginWaitBudget(ms); }
    void EndWaitBudget() { session_.EndWaitBudget(); }

signals:
    // After every step.
    void statusChanged(const QString& text);

private:
    template <typename Step>
    bool Reported(Step step);

    HidSession session_;
    CommandProtocol protocol_;
    CanFrameRecord canFrames_[2];
};
