#pragma once
// The service report: what a technician found on a boat, as a PDF of one to
// three A4 pages: who, when and what regulator, with its measured values,
// states and messages as the pages show them; the peer's, the eight charge
// profiles side by side and the field/RPM curve as a chart; every system
// setting and the calibration factors. Every page ends with the report's
// date and time and "Page N of M". Written with Qt's own PDF writer, as real
// text (a PDF reader can search and copy it).
#include "records/settings_record.h"
#include "records/system_state_record.h"
#include "settings/field_rpm_curve.h"
#include "views/state_views.h"

#include <QDateTime>
#include <QList>
#include <QIODevice>
#include <QString>
#include <QStringList>

// A table as rows of cell texts; the first row is its header.
struct ReportTable {
    QString title;
    QList<QStringList> rows;
};

struct RegulatorReport {
    QString name;
    QList<ReportTable> tables; // measured values, system state, regulator state
    QStringList messages;
};

struct ServiceReport {
    QString vessel; // the optional vessel or customer line
    QDateTime when;
    QString program; // title and version
    QString deviceVersion;
    QString detectedSystemVoltage;
    RegulatorReport own;
    bool hasPeer = false;
    RegulatorReport peer;
    ReportTable systemSettings;
    ReportTable chargeProfiles;
    CurvePoints curve{};
    ReportTable calibration;
    // Values typed into the editors and not written to the regulator: the
    // tables above show the settings as read, these the edits beside them.
    ReportTable notWritten;
};

// The rows of a settings comparison as the report lists edits not written.
struct SettingsDifference;
ReportTable NotWrittenReportTable(const QList<SettingsDifference>& differences);

// What a report prints for a password: never the password itself.
QString MaskedPassword(const QString& password);

// A regulator's part as its state page shows it (the carried-over status,
// the held messages).
RegulatorReport RegulatorReportFromPage(const QByteArray& name, const StatePageTexts& page);

// A whole report from the records, shown as the state pages show them after
// one refresh (for a tool without the window; the window takes the texts its
// pages show).
ServiceReport ServiceReportFromRecords(const SystemStateRecord& own, const SystemStateRecord& peer,
                                       const SettingsRecord& settings, const QString& vessel, const QDateTime& when,
                                       const QString& program);

// The settings parts of the report, from the record by the rows of the
// "Settings" page (voltages in the terms of the detected system voltage).
ReportTable SystemSettingsReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage);
ReportTable ChargeProfilesReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage);
ReportTable CalibrationReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage);

// Writes the report; false with the reason in *failure when the file cannot
// be written. A file of that name is replaced only by a report written
// whole: a full disk leaves an earlier report as it was.
bool WriteServiceReportPdf(const ServiceReport& report, const QString& path, QString* failure);
// The same onto an open device.
bool WriteServiceReportPdf(const ServiceReport& report, QIODevice& device, QString* failure);
