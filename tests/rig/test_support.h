#pragma once
// Helpers shared by the test suites.
#include "time/link_clock.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Folder of the source tree (for the relay script and example files).
QString SourceDir();

// The whole file; "<cannot read>" when it cannot be read.
QByteArray ReadAll(const QString& path);
// Writes the bytes to a new or truncated file; true when all of them went out.
bool WriteAll(const QString& path, const QByteArray& bytes);

// A record whose byte i is first + i x step (mod 256): with a step that is not
// a multiple of 256, every byte differs from its neighbours.
template <typename Record>
Record Patterned(uint8_t first, uint8_t step)
{
    Record r;
    for (std::size_t i = 0; i < Record::Size; ++i)
        r.Data()[i] = uint8_t(first + i * step);
    return r;
}

// The processor time this process has used (std::clock() counts wall time
// on Windows).
double ProcessCpuSeconds();

// An answer body of the relay: "<body>" CR LF, the message text, "</body>".
QByteArray RelayBody(const QByteArray& messageText);

// A link clock that only moves by its waits: the timing of the simulated
// regulator's answers, copies and blocked writes is exact, whatever the
// machine does meanwhile.
class ManualLinkClock : public LinkClock {
public:
    int64_t NowMs() const override { return nowMs_; }
    void SleepMs(int64_t ms) override { nowMs_ += ms > 0 ? ms : 0; }

private:
    int64_t nowMs_ = 1000;
};
