#include "trends/trend_buffer.h"

#include "views/value_format.h"

#include <cmath>
#include <limits>

namespace {

std::array<float, TrendQuantityCount> ValuesOf(const SystemStateRecord& r, bool battery)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {r.BatteryVoltage(),
            r.RegulationTarget(),
            r.BatteryCurrent(),
            r.AlternatorCurrent(),
            float(FieldPercent(r.FieldOutput())),
            r.ChannelAt(Channel::AlternatorTemperature).Value,
            battery ? r.ChannelAt(Channel::AuxTemperature).Value : nan,
            r.ChannelAt(Channel::RegulatorTemperature).Value,
            r.ChannelAt(Channel::EngineRpm).Value};
}

} // namespace

QString TrendQuantityName(TrendQuantity quantity)
{
    static const char* const names[TrendQuantityCount] = {
        "Battery Voltage, V",         "Regulation Target, V",      "Battery Current, A",
        "Alternator Current, A",      "Field Output, %",           "Alternator Temperature, \u00B0C",
        "Battery Temperature, \u00B0C", "Regulator Temperature, \u00B0C", "Engine RPM, 1/min"};
    return QString::fromUtf8(names[int(quantity)]);
}

void TrendBuffer::Add(double seconds, const SystemStateRecord& own, const SystemStateRecord& peer,
                      uint8_t auxTempSensorUsage, bool ownLive, bool peerLive)
{
    TrendSample sample;
    sample.seconds = seconds;
    if (ownLive)
        sample.own = ValuesOf(own, auxTempSensorUsage == 0);
    else
        sample.own.fill(std::numeric_limits<float>::quiet_NaN());
    // The peer's aux input is not known to measure the battery.
    sample.hasPeer = peerLive && !peer.RegulatorName().isEmpty();
    if (sample.hasPeer)
        sample.peer = ValuesOf(peer, false);
    samples_.push_back(sample);
    while (samples_.size() > std::size_t(Capacity))
        samples_.pop_front();
}

double TrendBuffer::Value(const TrendSample& sample, TrendQuantity quantity, bool peer)
{
    if (peer && !sample.hasPeer)
        return std::numeric_limits<double>::quiet_NaN();
    return double((peer ? sample.peer : sample.own)[std::size_t(quantity)]);
}

TrendStats TrendBuffer::Stats(TrendQuantity quantity, bool peer, double fromSeconds, double toSeconds) const
{
    TrendStats stats;
    double sum = 0;
    for (const TrendSample& s : samples_) {
        if (s.seconds < fromSeconds || s.seconds > toSeconds)
            continue;
        const double v = Value(s, quantity, peer);
        if (!std::isfinite(v))
            continue;
        if (stats.count == 0 || v < stats.minimum)
            stats.minimum = v;
        if (stats.count == 0 || v > stats.maximum)
            stats.maximum = v;
        sum += v;
        ++stats.count;
    }
    if (stats.count > 0)
        stats.mean = sum / stats.count;
    return stats;
}

QString TrendBuffer::Csv(double fromSeconds, bool withPeer, double toSeconds) const
{
    QStringList header{QStringLiteral("Seconds")};
    for (int q = 0; q < TrendQuantityCount; ++q)
        header << QLatin1Char('"') + TrendQuantityName(TrendQuantity(q)) + QLatin1Char('"');
    if (withPeer)
        for (int q = 0; q < TrendQuantityCount; ++q)
            header << QStringLiteral("\"Peer: ") + TrendQuantityName(TrendQuantity(q)) + QLatin1Char('"');
    QString csv = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const TrendSample& s : samples_) {
        if (s.seconds < fromSeconds || s.seconds > toSeconds)
            continue;
        QStringList line{QString::number(s.seconds, 'f', 1)};
        for (int q = 0; q < TrendQuantityCount; ++q) {
            const double v = Value(s, TrendQuantity(q), false);
            line << (std::isfinite(v) ? QString::number(v, 'g', 7) : QString());
        }
        if (withPeer)
            for (int q = 0; q < TrendQuantityCount; ++q) {
                const double v = Value(s, TrendQuantity(q), true);
                line << (std::isfinite(v) ? QString::number(v, 'g', 7) : QString());
            }
        csv += line.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}
