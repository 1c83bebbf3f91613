#include "cli/cli_text.h"

#include "records/ansi_text.h"
#include "views/state_views.h"
#include "views/value_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Rows of `columns` cells, each column padded to its widest cell.
QString AlignedRows(const QStringList& cells, int columns)
{
    QList<int> widths(columns, 0);
    for (int i = 0; i < cells.size(); ++i)
        widths[i % columns] = std::max(widths[i % columns], int(WithoutZeros(cells[i]).size()));
    QString text;
    for (int at = 0; at + columns <= cells.size(); at += columns) {
        QString line = QStringLiteral("  ");
        for (int c = 0; c < columns; ++c) {
            const QString cell = WithoutZeros(cells[at + c]);
            line += c + 1 < columns ? cell.leftJustified(widths[c] + 2) : cell;
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

// caption -> value text, from a grid of two columns (caption row left out).
QJsonObject TwoColumnObject(const QStringList& cells)
{
    QJsonObject object;
    for (int at = StateColumns; at + 1 < cells.size(); at += StateColumns)
        object.insert(WithoutZeros(cells[at]), WithoutZeros(cells[at + 1]));
    return object;
}

const char* const ChannelNames[ChannelCount] = {
    "auxTemperature",     "bPlusVoltage",         "bMinusVoltage",    "batteryShuntVoltage",
    "batteryShuntDrop",   "alternatorTemperature", "alternatorShuntDrop", "alternatorShuntVoltage",
    "regulatorVoltage",   "regulatorTemperature", "field1Voltage",    "field2Voltage",
    "powerSupplyVoltage", "referenceVoltage",     "engineRpm",
};

QJsonObject RawNumbers(const SystemStateRecord& r)
{
    QJsonObject channels;
    for (int c = 0; c < ChannelCount; ++c) {
        const MeasuredChannel m = r.ChannelAt(Channel(c));
        channels.insert(QLatin1String(ChannelNames[c]),
                        QJsonObject{{QStringLiteral("value"), double(m.Value)},
                                    {QStringLiteral("signal"), double(m.Signal)},
                                    {QStringLiteral("adcCount"), double(m.AdcCount)}});
    }
    return {
        {QStringLiteral("regulatorName"), FromAnsi(r.RegulatorName())},
        {QStringLiteral("statusFlags"), double(r.StatusFlags())},
        {QStringLiteral("detectedSystemVoltage"), r.DetectedSystemVoltage()},
        {QStringLiteral("frsValue"), r.FrsValue()},
        {QStringLiteral("systemFieldLimit"), r.SystemFieldLimit()},
        {QStringLiteral("slaveFieldLimit"), r.SlaveFieldLimit()},
        {QStringLiteral("loadCurrent"), double(r.LoadCurrent())},
        {QStringLiteral("batteryVoltage"), double(r.BatteryVoltage())},
        {QStringLiteral("batteryCurrent"), double(r.BatteryCurrent())},
        {QStringLiteral("alternatorCurrent"), double(r.AlternatorCurrent())},
        {QStringLiteral("runningTime"), double(r.RunningTime())},
        {QStringLiteral("regulatorStatus"), r.RegulatorStatus()},
        {QStringLiteral("digitalFieldMode"), r.DigitalFieldMode()},
        {QStringLiteral("fieldOutput"), r.FieldOutput()},
        {QStringLiteral("minimumField"), r.MinimumField()},
        {QStringLiteral("maximumField"), r.MaximumField()},
        {QStringLiteral("regulationTarget"), double(r.RegulationTarget())},
        {QStringLiteral("wiringVoltageDrop"), double(r.WiringVoltageDrop())},
        {QStringLiteral("channels"), channels},
    };
}

} // namespace

QString StatePageText(const StatePageTexts& page)
{
    QString text = QStringLiteral("Measured Values\n") + AlignedRows(page.measured, MeasuredValuesColumns);
    text += QStringLiteral("\nSystem State\n") + AlignedRows(page.system, StateColumns);
    text += QStringLiteral("\nRegulator State\n") + AlignedRows(page.regulator, StateColumns);
    text += QStringLiteral("\nSystem Messages\n");
    for (const QString& line : page.messages)
        text += QStringLiteral("  ") + line + QLatin1Char('\n');
    return text;
}

QByteArray StatePageJson(const StatePageTexts& page, const SystemStateRecord& record)
{
    QJsonObject measured;
    for (int at = MeasuredValuesColumns; at + MeasuredValuesColumns <= page.measured.size();
         at += MeasuredValuesColumns) {
        QJsonObject columns;
        for (int c = 1; c < MeasuredValuesColumns; ++c)
            columns.insert(page.measured[c], WithoutZeros(page.measured[at + c]));
        measured.insert(WithoutZeros(page.measured[at]), columns);
    }
    QJsonObject object{
        {QStringLiteral("Measured Values"), measured},
        {QStringLiteral("System State"), TwoColumnObject(page.system)},
        {QStringLiteral("Regulator State"), TwoColumnObject(page.regulator)},
        {QStringLiteral("System Messages"), QJsonArray::fromStringList(page.messages)},
        {QStringLiteral("raw"), RawNumbers(record)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString SettingsRowsText(const QList<SettingsPageRow>& rows)
{
    QString text;
    QString section;
    QStringList cells;
    const auto flush = [&] {
        if (!section.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + section + QLatin1Char('\n')
                    + AlignedRows(cells, 2);
        cells.clear();
    };
    for (const SettingsPageRow& row : rows) {
        if (row.section != section) {
            flush();
            section = row.section;
        }
        cells << row.caption << row.text;
    }
    flush();
    return text;
}

QByteArray SettingsRowsJson(const QList<SettingsPageRow>& rows)
{
    QJsonObject object;
    for (const SettingsPageRow& row : rows) {
        QJsonObject section = object.value(row.section).toObject();
        section.insert(row.caption, WithoutZeros(row.text));
        object.insert(row.section, section);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
