#include "settings/settings_check.h"

#include "records/snapshot_record.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_curve.h"
#include "settings/system_settings_rows.h"
#include "views/value_format.h"

#include <QLocale>

#include <cmath>
#include <utility>

namespace {

// The voltage rows of a profile grid: the only profile fields with limits.
constexpr std::pair<int, std::size_t> ProfileVoltageRows[] = {
    {WarmUpTargetVoltageRow, ChargeProfile::WarmUpTargetVoltageAt},
    {BulkTargetVoltageRow, ChargeProfile::BulkTargetVoltageAt},
    {BulkLimitVoltageRow, ChargeProfile::BulkLimitVoltageAt},
    {FloatTargetVoltageRow, ChargeProfile::FloatTargetVoltageAt},
    {FloatLeaveVoltageRow, ChargeProfile::FloatLeaveVoltageAt},
};

void AddProfileDepartures(const SettingsRecord& record, uint16_t voltage, QList<SettingsDeparture>& departures)
{
    const QStringList captions = ChargeProfileCaptions();
    const QStringList tabs = ChargeProfileTabCaptions();
    for (int k = 0; k < ChargeProfileCount; ++k) {
        const ChargeProfile profile = record.Profile(k);
        ChargeProfile stored = profile;
        StoreChargeProfileTexts(ChargeProfileTexts(profile, voltage), voltage, stored);
        for (const auto& [row, offset] : ProfileVoltageRows) {
            const float v = profile.F32(offset);
            if (v >= 0.0f && v <= 18.0f)
                continue;
            const std::size_t at = SettingsRecord::ProfileOffset(k) + offset;
            departures.append({QStringLiteral("%1 (%2)").arg(captions[row], tabs[k]), DepartureValueText(double(v)),
                               DepartureValueText(double(stored.F32(offset))), at, stored.RawBytes(offset, 4)});
        }
    }
}

void AddCurveDepartures(const SettingsRecord& record, QList<SettingsDeparture>& departures)
{
    const FieldRpmCurve curve = record.Curve();
    const FieldRpmCurve stored = CurveFromPoints(CurvePointsFromRecord(curve));
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        const uint8_t v = curve[std::size_t(i)];
        if (v >= CurveMinimumPercent && v <= CurveMaximumPercent)
            continue;
        const uint8_t w = stored[std::size_t(i)];
        departures.append({QStringLiteral("%1 at %2 1/min").arg(FieldAxisTitle()).arg(CurvePointRpm(i)),
                           FormatInteger(v), FormatInteger(w), SettingsRecord::FieldRpmCurveAt + std::size_t(i),
                           QByteArray(1, char(w))});
    }
}

} // namespace

QList<SettingsDeparture> CheckSettings(const SettingsRecord& record, uint16_t detectedSystemVoltage)
{
    QList<SettingsDeparture> departures = SystemSettingsDepartures(record, detectedSystemVoltage);
    AddProfileDepartures(record, detectedSystemVoltage, departures);
    AddCurveDepartures(record, departures);
    return departures;
}

SettingsRecord WithDeparturesFixed(SettingsRecord record, const QList<SettingsDeparture>& departures)
{
    for (const SettingsDeparture& d : departures)
        if (!d.fix.isEmpty())
            record.SetRawBytes(d.offset, std::size_t(d.fix.size()), d.fix);
    return record;
}

QString DeparturesText(const QList<SettingsDeparture>& departures, int shown)
{
    QStringList lines;
    for (int i = 0; i < departures.size() && i < shown; ++i) {
        const SettingsDeparture& d = departures[i];
        lines << QStringLiteral("%1: %2 (the editors store %3)").arg(d.caption, d.found, d.stored);
    }
    if (departures.size() > shown)
        lines << QStringLiteral("... and %1 more").arg(departures.size() - shown);
    return lines.join(QLatin1Char('\n'));
}

QString DepartureValueText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("not a number");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("infinite") : QStringLiteral("-infinite");
    // Seven significant digits show a 4-byte real as it is stored.
    QString text = QLocale().toString(value, 'g', 7);
    text.remove(QLocale().groupSeparator());
    return text;
}

QString DepartureText(const QByteArray& bytes)
{
    int end = int(bytes.size());
    while (end > 0 && bytes[end - 1] == '\0')
        --end;
    QString text;
    for (int i = 0; i < end; ++i) {
        const auto c = uint8_t(bytes[i]);
        if (c >= 32 && c < 127)
            text += QChar(c);
        else
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString ImplausibleSettingsText(const QString& source, const QList<SettingsDeparture>& departures)
{
    return QStringLiteral("%1 holds settings that are not plausible:\n%2").arg(source, DeparturesText(departures));
}

namespace {

// Up to its first zero byte, a name is printable Latin-1.
bool IsNameText(const QByteArray& field)
{
    for (const char ch : field) {
        const auto c = uint8_t(ch);
        if (c == 0)
            return true;
        if (c < 32 || (c >= 127 && c < 160))
            return false;
    }
    return true;
}

} // namespace

QList<SettingsDeparture> CheckSnapshot(const SnapshotRecord& snapshot)
{
    QList<SettingsDeparture> departures = CheckSettings(snapshot.Settings(), snapshot.OwnState().DetectedSystemVoltage());
    const std::pair<const char*, SystemStateRecord> states[] = {{"own", snapshot.OwnState()},
                                                               {"peer", snapshot.PeerState()}};
    for (const auto& [side, state] : states) {
        const QByteArray name = state.RawBytes(SystemStateRecord::RegulatorNameAt, SystemStateRecord::RegulatorNameSize);
        if (!IsNameText(name))
            departures.append({QStringLiteral("Regulator name (%1)").arg(QLatin1String(side)), DepartureText(name),
                               QStringLiteral("not text: the file is no snapshot"), 0, {}});
    }
    return departures;
}
