#include "settings/settings_page_rows.h"

#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_curve.h"
#include "settings/system_settings_rows.h"

namespace {

void AddRows(QList<SettingsPageRow>& rows, const QString& section, const QStringList& captions,
             const QStringList& texts)
{
    for (int r = 0; r < captions.size() && r < texts.size(); ++r)
        rows.append({section, captions[r], texts[r]});
}

} // namespace

QList<SettingsPageRow> SettingsPageRows(const SettingsRecord& record, uint16_t detectedSystemVoltage)
{
    QList<SettingsPageRow> rows;
    AddRows(rows, QStringLiteral("System settings"), SystemSettingsCaptions(),
            SystemSettingsTexts(record, detectedSystemVoltage));
    const QStringList tabs = ChargeProfileTabCaptions();
    for (int k = 0; k < ChargeProfileCount; ++k)
        AddRows(rows, QStringLiteral("Profile ") + tabs[k], ChargeProfileCaptions(),
                ChargeProfileTexts(record.Profile(k), detectedSystemVoltage));
    const CurvePoints points = CurvePointsFromRecord(record.Curve());
    for (int i = 0; i < FieldRpmPointCount; ++i)
        rows.append({QStringLiteral("Field/RPM curve"), QStringLiteral("%1 1/min").arg(CurvePointRpm(i)),
                     CurvePointLabel(points[std::size_t(i)])});
    return rows;
}

SettingsRecord SettingsFromPageTexts(SettingsRecord record, int tab, const QStringList& systemTexts,
                                     const QStringList& profileTexts, const CurvePoints& points,
                                     uint16_t detectedSystemVoltage)
{
    StoreSystemSettingsTexts(systemTexts, tab, detectedSystemVoltage, record);
    ChargeProfile profile = record.Profile(tab);
    StoreChargeProfileTexts(profileTexts, detectedSystemVoltage, profile);
    record.SetProfile(tab, profile);
    record.SetCurve(CurveFromPoints(points));
    return record;
}

SettingsRecord SettingsAsPageWrites(const SettingsRecord& record, uint16_t detectedSystemVoltage)
{
    const int tab = ProfileTabForActiveIndex(record.ActiveChargeProfile());
    return SettingsFromPageTexts(record, tab, SystemSettingsTexts(record, detectedSystemVoltage),
                                 ChargeProfileTexts(record.Profile(tab), detectedSystemVoltage),
                                 CurvePointsFromRecord(record.Curve()), detectedSystemVoltage);
}
