#include "compare/settings_compare.h"

#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_curve.h"
#include "settings/system_settings_rows.h"

namespace {

// Text rows keep their zero bytes in the cell; the list shows the text.
QString Shown(QString text)
{
    return text.remove(QChar(0));
}

void AddDifferences(QList<SettingsDifference>& out, const QString& section, const QStringList& captions,
                    const QStringList& ours, const QStringList& theirs)
{
    for (int r = 0; r < captions.size() && r < ours.size() && r < theirs.size(); ++r)
        if (ours[r] != theirs[r])
            out.append({section, captions[r], Shown(ours[r]), Shown(theirs[r])});
}

} // namespace

QList<SettingsDifference> CompareSettings(const SettingsRecord& ours, const SettingsRecord& theirs,
                                          uint16_t detectedSystemVoltage)
{
    QList<SettingsDifference> differences;
    AddDifferences(differences, QStringLiteral("System settings"), SystemSettingsCaptions(),
                   SystemSettingsTexts(ours, detectedSystemVoltage), SystemSettingsTexts(theirs, detectedSystemVoltage));
    const QStringList tabs = ChargeProfileTabCaptions();
    for (int k = 0; k < ChargeProfileCount; ++k)
        AddDifferences(differences, QStringLiteral("Profile ") + tabs[k], ChargeProfileCaptions(),
                       ChargeProfileTexts(ours.Profile(k), detectedSystemVoltage),
                       ChargeProfileTexts(theirs.Profile(k), detectedSystemVoltage));
    QStringList rpm;
    QStringList oursPoints;
    QStringList theirsPoints;
    const CurvePoints a = CurvePointsFromRecord(ours.Curve());
    const CurvePoints b = CurvePointsFromRecord(theirs.Curve());
    for (int i = 0; i < FieldRpmPointCount; ++i) {
        rpm << QStringLiteral("%1 1/min").arg(CurvePointRpm(i));
        oursPoints << CurvePointLabel(a[std::size_t(i)]);
        theirsPoints << CurvePointLabel(b[std::size_t(i)]);
    }
    AddDifferences(differences, QStringLiteral("Field/RPM curve"), rpm, oursPoints, theirsPoints);
    return differences;
}

QString DifferencesText(const QList<SettingsDifference>& differences, const QString& oursTitle,
                        const QString& theirsTitle)
{
    QString text = QStringLiteral("Section\tSetting\t") + oursTitle + QLatin1Char('\t') + theirsTitle
                   + QLatin1Char('\n');
    for (const SettingsDifference& d : differences)
        text += d.section + QLatin1Char('\t') + d.caption + QLatin1Char('\t') + d.ours + QLatin1Char('\t') + d.theirs
                + QLatin1Char('\n');
    return text;
}
