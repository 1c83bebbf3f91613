#include "canbus/n2k_decode.h"

#include "views/value_format.h"

// Field layouts as published by the canboat project's PGN database: field
// order and sizes, resolutions, and the rule that the most positive value of
// a field means "not available" and the one below it "out of range" (for a
// signed field 0x7FFF..., not all ones).

namespace {

const QString Separator = QStringLiteral(", ");

// A field's raw value and what the sender says about it.
struct Raw {
    int64_t value = 0;
    bool notAvailable = false;
    bool outOfRange = false;
};

uint64_t Bytes(const CanFrameRecord& frame, int at, int count)
{
    uint64_t v = 0;
    for (int i = 0; i < count; ++i)
        v |= uint64_t(frame.FrameData(at + i)) << (8 * i);
    return v;
}

Raw Unsigned(const CanFrameRecord& frame, int at, int count)
{
    const uint64_t max = (uint64_t(1) << (8 * count)) - 1;
    const uint64_t v = Bytes(frame, at, count);
    return {int64_t(v), v == max, v == max - 1};
}

Raw Signed(const CanFrameRecord& frame, int at, int count)
{
    const int bits = 8 * count;
    const uint64_t v = Bytes(frame, at, count);
    const int64_t max = (int64_t(1) << (bits - 1)) - 1;
    const int64_t s = v > uint64_t(max) ? int64_t(v) - (int64_t(1) << bits) : int64_t(v);
    return {s, s == max, s == max - 1};
}

// How a raw value becomes a quantity: (raw * mul + add) / div, shown with
// the decimals the resolution carries. Offsets stay whole numbers of the
// scaled unit, so that 0.01 K steps give exact hundredths of a degree.
struct Scale {
    int64_t mul;
    int64_t add;
    double div;
    int decimals;
    const char* unit; // UTF-8
};

constexpr Scale Volts001 = {1, 0, 100.0, 2, "V"};
constexpr Scale Volts01 = {1, 0, 10.0, 1, "V"};
constexpr Scale Amps01 = {1, 0, 10.0, 1, "A"};
constexpr Scale Amps001 = {1, 0, 100.0, 2, "A"};
// Temperatures travel in kelvin; an electrician reads degrees Celsius.
constexpr Scale Celsius001K = {1, -27315, 100.0, 2, "\xC2\xB0" "C"};
constexpr Scale Celsius01K = {10, -27315, 100.0, 2, "\xC2\xB0" "C"};
constexpr Scale Celsius0001K = {1, -273150, 1000.0, 3, "\xC2\xB0" "C"};
constexpr Scale Rpm025 = {25, 0, 100.0, 2, "rpm"};
constexpr Scale KiloPascal01 = {1, 0, 10.0, 1, "kPa"}; // sent in hPa
constexpr Scale Percent = {1, 0, 1.0, 0, "%"};
constexpr Scale Milliseconds = {1, 0, 1.0, 0, "ms"};

QString Unavailable(const Raw& raw, const QString& what)
{
    if (raw.notAvailable)
        return what + QStringLiteral(" not available");
    if (raw.outOfRange)
        return what + QStringLiteral(" out of range");
    return {};
}

// "13.52 V" ("voltage 13.52 V" when named), or "voltage not available".
QString Quantity(const Raw& raw, const char* what, const Scale& scale, bool named = false)
{
    const QString name = QString::fromLatin1(what);
    if (QString text = Unavailable(raw, name); !text.isEmpty())
        return text;
    QString text = named ? name + QLatin1Char(' ') : QString();
    text += FormatFixed(scale.decimals, double(raw.value * scale.mul + scale.add) / scale.div);
    return text + QLatin1Char(' ') + QString::fromUtf8(scale.unit);
}

// An instance, counter or SID: "battery 0", or "battery not available".
QString Count(const Raw& raw, const char* what)
{
    const QString name = QString::fromLatin1(what);
    if (QString text = Unavailable(raw, name); !text.isEmpty())
        return text;
    return name + QLatin1Char(' ') + QString::number(raw.value);
}

QString Named(uint32_t value, const QString& name)
{
    return name.isEmpty() ? QString::number(value) : QString::number(value) + QStringLiteral(" (") + name + QLatin1Char(')');
}

QString TemperatureSource(const Raw& raw)
{
    static const char* const names[] = {
        "sea",       "outside",        "inside",  "engine room", "main cabin",          "live well",
        "bait well", "refrigeration",  "heating", "dew point",   "apparent wind chill", "theoretical wind chill",
        "heat index", "freezer",       "exhaust gas", "shaft seal",
    };
    if (raw.value < int64_t(sizeof names / sizeof names[0]))
        return QString::fromLatin1(names[raw.value]);
    if (raw.notAvailable)
        return QStringLiteral("source not available");
    return QStringLiteral("source ") + QString::number(raw.value);
}

QString DeviceClassName(uint32_t deviceClass)
{
    switch (deviceClass) {
    case 10: return QStringLiteral("System tools");
    case 20: return QStringLiteral("Safety systems");
    case 25: return QStringLiteral("Internetwork device");
    case 30: return QStringLiteral("Electrical Distribution");
    case 35: return QStringLiteral("Electrical Generation");
    case 40: return QStringLiteral("Steering and Control surfaces");
    case 50: return QStringLiteral("Propulsion");
    case 60: return QStringLiteral("Navigation");
    case 70: return QStringLiteral("Communication");
    case 75: return QStringLiteral("Sensor Communication Interface");
    case 80: return QStringLiteral("Instrumentation/general systems");
    case 85: return QStringLiteral("External Environment");
    case 90: return QStringLiteral("Internal Environment");
    case 100: return QStringLiteral("Deck + cargo + fishing equipment systems");
    case 110: return QStringLiteral("Human Interface");
    case 120: return QStringLiteral("Display");
    case 125: return QStringLiteral("Entertainment");
    default: return {};
    }
}

// Device functions depend on the class; named here for the electrical
// generation class a charging system belongs to.
QString DeviceFunctionName(uint32_t deviceClass, uint32_t function)
{
    if (deviceClass != 35)
        return {};
    switch (function) {
    case 140: return QStringLiteral("Engine");
    case 141: return QStringLiteral("DC Generator/Alternator");
    case 142: return QStringLiteral("Solar Panel");
    case 143: return QStringLiteral("Wind Generator");
    case 144: return QStringLiteral("Fuel Cell");
    case 145: return QStringLiteral("Network Power Supply");
    case 151: return QStringLiteral("AC Generator");
    case 152: return QStringLiteral("AC Bus");
    case 153: return QStringLiteral("AC Mains");
    case 154: return QStringLiteral("AC Output");
    case 160: return QStringLiteral("Battery Charger");
    case 161: return QStringLiteral("Battery Charger+Inverter");
    case 162: return QStringLiteral("Inverter");
    case 163: return QStringLiteral("DC Converter");
    case 170: return QStringLiteral("Battery");
    case 180: return QStringLiteral("Engine Gateway");
    default: return {};
    }
}

QString IndustryGroupName(uint32_t group)
{
    static const char* const names[] = {"Global", "Highway", "Agriculture", "Construction", "Marine", "Industrial"};
    return group < sizeof names / sizeof names[0] ? QString::fromLatin1(names[group]) : QString();
}

// --- The single-frame messages of a charging system ------------------------

QString EngineRapidUpdate(const CanFrameRecord& f)
{
    return Count(Unsigned(f, 0, 1), "engine") + QStringLiteral(": ") + Quantity(Unsigned(f, 1, 2), "speed", Rpm025)
         + Separator + Quantity(Unsigned(f, 3, 2), "boost", KiloPascal01, true) + Separator
         + Quantity(Signed(f, 5, 1), "tilt/trim", Percent, true);
}

QString BatteryStatus(const CanFrameRecord& f)
{
    return Count(Unsigned(f, 0, 1), "battery") + QStringLiteral(": ") + Quantity(Signed(f, 1, 2), "voltage", Volts001)
         + Separator + Quantity(Signed(f, 3, 2), "current", Amps01) + Separator
         + Quantity(Unsigned(f, 5, 2), "temperature", Celsius001K) + Separator + Count(Unsigned(f, 7, 1), "SID");
}

QString DcVoltageCurrent(const CanFrameRecord& f)
{
    return Count(Unsigned(f, 1, 1), "connection") + QStringLiteral(": ")
         + Quantity(Unsigned(f, 2, 2), "voltage", Volts01) + Separator + Quantity(Signed(f, 4, 3), "current", Amps001)
         + Separator + Count(Unsigned(f, 0, 1), "SID");
}

QString Temperature(const CanFrameRecord& f)
{
    return Count(Unsigned(f, 1, 1), "instance") + Separator + TemperatureSource(Unsigned(f, 2, 1))
         + QStringLiteral(": ") + Quantity(Unsigned(f, 3, 2), "actual", Celsius001K) + Separator
         + Quantity(Unsigned(f, 5, 2), "set", Celsius001K, true) + Separator + Count(Unsigned(f, 0, 1), "SID");
}

QString TemperatureExtendedRange(const CanFrameRecord& f)
{
    return Count(Unsigned(f, 1, 1), "instance") + Separator + TemperatureSource(Unsigned(f, 2, 1))
         + QStringLiteral(": ") + Quantity(Unsigned(f, 3, 3), "actual", Celsius0001K) + Separator
         + Quantity(Unsigned(f, 6, 2), "set", Celsius01K, true) + Separator + Count(Unsigned(f, 0, 1), "SID");
}

QString Heartbeat(const CanFrameRecord& f)
{
    return Quantity(Unsigned(f, 0, 2), "interval", Milliseconds, true) + Separator
         + Count(Unsigned(f, 2, 1), "sequence");
}

QString IsoRequest(const CanFrameRecord& f)
{
    const Raw pgn = Unsigned(f, 0, 3);
    if (pgn.notAvailable)
        return QStringLiteral("requested PGN not available");
    QString text = QStringLiteral("requests PGN ") + QString::number(pgn.value);
    if (const QString name = N2kPgnName(uint32_t(pgn.value)); !name.isEmpty())
        text += QLatin1Char(' ') + name;
    return text;
}

// The 64-bit NAME a device claims its address with.
QString IsoAddressClaim(const CanFrameRecord& f)
{
    const uint64_t name = Bytes(f, 0, 8);
    auto bits = [name](int at, int count) { return uint32_t((name >> at) & ((uint64_t(1) << count) - 1)); };
    const uint32_t deviceClass = bits(49, 7);
    const uint32_t function = bits(40, 8);
    return QStringLiteral("unique number ") + QString::number(bits(0, 21)) + QStringLiteral(", manufacturer ")
         + QString::number(bits(21, 11)) + QStringLiteral(", device instance ") + QString::number(bits(32, 8))
         + QStringLiteral(", function ") + Named(function, DeviceFunctionName(deviceClass, function))
         + QStringLiteral(", class ") + Named(deviceClass, DeviceClassName(deviceClass))
         + QStringLiteral(", system instance ") + QString::number(bits(56, 4)) + QStringLiteral(", industry ")
         + Named(bits(60, 3), IndustryGroupName(bits(60, 3)))
         + (bits(63, 1) ? QStringLiteral(", arbitrary address capable") : QStringLiteral(", fixed address"));
}

using Decoder = QString (*)(const CanFrameRecord&);

struct PgnEntry {
    uint32_t pgn;
    const char* name;
    bool fast;
    int bytes;       // data bytes the decoder reads
    Decoder decode;  // none: named only
};

constexpr PgnEntry PgnTable[] = {
    {59392, "ISO Acknowledgement", false, 0, nullptr},
    {59904, "ISO Request", false, 3, IsoRequest},
    {60160, "ISO Transport Protocol, Data Transfer", false, 0, nullptr},
    {60416, "ISO Transport Protocol, Connection Management", false, 0, nullptr},
    {60928, "ISO Address Claim", false, 8, IsoAddressClaim},
    {61184, "Manufacturer Proprietary, single-frame addressed", false, 0, nullptr},
    {126208, "NMEA Group Function", true, 0, nullptr},
    {126464, "PGN List", true, 0, nullptr},
    {126720, "Manufacturer Proprietary, fast-packet addressed", true, 0, nullptr},
    {126983, "Alert", true, 0, nullptr},
    {126992, "System Time", false, 0, nullptr},
    {126993, "Heartbeat", false, 3, Heartbeat},
    {126996, "Product Information", true, 0, nullptr},
    {126998, "Configuration Information", true, 0, nullptr},
    {127245, "Rudder", false, 0, nullptr},
    {127250, "Vessel Heading", false, 0, nullptr},
    {127488, "Engine Parameters, Rapid Update", false, 6, EngineRapidUpdate},
    {127489, "Engine Parameters, Dynamic", true, 0, nullptr},
    {127493, "Transmission Parameters, Dynamic", false, 0, nullptr},
    {127497, "Trip Parameters, Engine", true, 0, nullptr},
    {127501, "Binary Switch Bank Status", false, 0, nullptr},
    {127505, "Fluid Level", false, 0, nullptr},
    {127506, "DC Detailed Status", true, 0, nullptr},
    {127507, "Charger Status", true, 0, nullptr},
    {127508, "Battery Status", false, 8, BatteryStatus},
    {127509, "Inverter Status", true, 0, nullptr},
    {127513, "Battery Configuration Status", true, 0, nullptr},
    {127750, "Converter Status", false, 0, nullptr},
    {127751, "DC Voltage/Current", false, 7, DcVoltageCurrent},
    {128259, "Speed", false, 0, nullptr},
    {128267, "Water Depth", false, 0, nullptr},
    {129025, "Position, Rapid Update", false, 0, nullptr},
    {129026, "COG & SOG, Rapid Update", false, 0, nullptr},
    {129029, "GNSS Position Data", true, 0, nullptr},
    {130306, "Wind Data", false, 0, nullptr},
    {130311, "Environmental Parameters", false, 0, nullptr},
    {130312, "Temperature", false, 7, Temperature},
    {130313, "Humidity", false, 0, nullptr},
    {130314, "Actual Pressure", false, 0, nullptr},
    {130316, "Temperature Extended Range", false, 8, TemperatureExtendedRange},
};

const PgnEntry* FindPgn(uint32_t pgn)
{
    for (const PgnEntry& entry : PgnTable)
        if (entry.pgn == pgn)
            return &entry;
    return nullptr;
}

enum FrameKindCode : uint8_t { N2kSingle = 6, N2kFastPacked = 7, N2kMultiFast = 8, N2kMultiTransport = 9 };

} // namespace

N2kIdentifier DecodeN2kIdentifier(uint32_t identifier)
{
    // Bits above the 29 of an extended identifier carry nothing here.
    N2kIdentifier id;
    id.priority = int((identifier >> 26) & 0x7);
    id.source = uint8_t(identifier & 0xFF);
    const uint32_t pf = (identifier >> 16) & 0xFF;
    id.pgn = (identifier >> 8) & 0x3FFFF;
    if (pf < 240) {
        id.destination = uint8_t(id.pgn & 0xFF);
        id.pgn &= ~uint32_t(0xFF);
    } else {
        id.destination = N2kBroadcast;
    }
    return id;
}

QString N2kPgnName(uint32_t pgn)
{
    const PgnEntry* entry = FindPgn(pgn);
    return entry ? QString::fromLatin1(entry->name) : QString();
}

QString DescribeN2kFrame(const CanFrameRecord& frame)
{
    const uint8_t kind = frame.FrameKind();
    // Only the NMEA 2000 kinds carry an identifier laid out as below.
    if (kind < N2kSingle || kind > N2kMultiTransport)
        return QStringLiteral("-");
    const N2kIdentifier id = DecodeN2kIdentifier(frame.FrameIdentifier());
    const PgnEntry* entry = FindPgn(id.pgn);

    QString line = QLatin1Char('P') + QString::number(id.priority) + QStringLiteral(" PGN ") + QString::number(id.pgn);
    if (entry)
        line += QLatin1Char(' ') + QString::fromLatin1(entry->name);
    line += QStringLiteral("  src ") + QString::number(id.source) + QStringLiteral(" \u2192 ")
          + (id.destination == N2kBroadcast ? QStringLiteral("all") : QString::number(id.destination));

    // Of a multi-frame message only its first frame's bytes arrive: its
    // values cannot be read from them.
    QString body;
    if (kind == N2kMultiTransport)
        body = QStringLiteral("multi-frame (TP), not decoded");
    else if (kind != N2kSingle || (entry && entry->fast))
        body = QStringLiteral("fast-packet, not decoded");
    else if (entry && entry->decode && frame.FrameDataLength() < entry->bytes)
        body = QStringLiteral("short frame (%1 bytes), not decoded").arg(frame.FrameDataLength());
    else if (entry && entry->decode)
        body = entry->decode(frame);
    if (!body.isEmpty())
        line += QStringLiteral("  | ") + body;
    return line;
}

QStringList N2kLinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second)
{
    QStringList lines;
    for (const CanFrameRecord* slot : {&first, &second})
        if (slot->FrameDataLength() != 0)
            lines.append(DescribeN2kFrame(*slot));
    return lines;
}
