#pragma once
// The values of the last hour, one sample a second from the window update:
// what a technician looks at over time while diagnosing a charging fault.
// Bounded: the oldest sample goes when the hour is full.
#include "records/system_state_record.h"

#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <limits>

enum class TrendQuantity {
    BatteryVoltage,
    RegulationTarget,
    BatteryCurrent,
    AlternatorCurrent,
    FieldOutput,
    AlternatorTemperature,
    BatteryTemperature,
    RegulatorTemperature,
    EngineRpm,
};
constexpr int TrendQuantityCount = 9;

// "Battery Voltage, V", ... as the pages caption them.
QString TrendQuantityName(TrendQuantity quantity);

struct TrendSample {
    double seconds = 0; // since the buffer started
    std::array<float, TrendQuantityCount> own{};
    std::array<float, TrendQuantityCount> peer{};
    bool hasPeer = false;
};

struct TrendStats {
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
    int count = 0; // samples with a value
};

class TrendBuffer {
public:
    static constexpr int Capacity = 3600; // an hour of one sample a second

    // The sample of one window update. `auxTempSensorUsage` says whether the
    // aux input measures the battery (0); otherwise there is no battery
    // temperature (not a number). A side whose record did not come again
    // since the last update is a gap (not a number) in its plots.
    void Add(double seconds, const SystemStateRecord& own, const SystemStateRecord& peer, uint8_t auxTempSensorUsage,
             bool ownLive = true, bool peerLive = true);

    const std::deque<TrendSample>& Samples() const { return samples_; }
    double LatestSeconds() const { return samples_.empty() ? 0 : samples_.back().seconds; }
    // The value of a quantity in a sample (not a number where there is none).
    static double Value(const TrendSample& sample, TrendQuantity quantity, bool peer);
    TrendStats Stats(TrendQuantity quantity, bool peer, double fromSeconds,
                     double toSeconds = std::numeric_limits<double>::infinity()) const;
    // The samples from `fromSeconds` to `toSeconds` as CSV: a header, then
    // one line each.
    QString Csv(double fromSeconds, bool withPeer, double toSeconds = std::numeric_limits<double>::infinity()) const;

private:
    std::deque<TrendSample> samples_;
};
