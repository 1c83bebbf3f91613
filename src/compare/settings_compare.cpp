#include "compare/settings_compare.h"

#include "settings/settings_page_rows.h"
#include "views/value_format.h"

QList<SettingsDifference> CompareSettings(const SettingsRecord& ours, const SettingsRecord& theirs,
                                          uint16_t detectedSystemVoltage)
{
    const QList<SettingsPageRow> a = SettingsPageRows(ours, detectedSystemVoltage);
    const QList<SettingsPageRow> b = SettingsPageRows(theirs, detectedSystemVoltage);
    QList<SettingsDifference> differences;
    for (int r = 0; r < a.size() && r < b.size(); ++r)
        if (a[r].text != b[r].text)
            differences.append({a[r].section, a[r].caption, WithoutZeros(a[r].text), WithoutZeros(b[r].text)});
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
