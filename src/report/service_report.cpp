#include "report/service_report.h"

#include "records/ansi_text.h"
#include "compare/settings_compare.h"
#include "settings/charge_profile_rows.h"
#include "settings/system_settings_rows.h"
#include "views/state_views.h"
#include "views/value_format.h"

#include <QFile>
#include <QSaveFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace {

// Page geometry in points (1/72 inch); the writer's resolution is set to
// match, so painter units are points.
constexpr int Resolution = 72;
constexpr double Margin = 40;
constexpr double RowHeight = 10;
constexpr double BlockGap = 10;
constexpr double TitleHeight = 14;

// Draws onto the report's pages top to bottom, starting a new page where a
// block would not fit.
class PageFlow {
public:
    PageFlow(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter)
    {
        const QRectF page = writer.pageLayout().paintRectPoints();
        width_ = page.width() - 2 * Margin;
        bottom_ = page.height() - Margin;
        y_ = Margin;
        bodyFont_ = painter.font();
        bodyFont_.setPointSizeF(7);
        titleFont_ = bodyFont_;
        titleFont_.setPointSizeF(9);
        titleFont_.setBold(true);
    }

    void Skip(double height) { y_ += height; }

    void NewPage()
    {
        writer_.newPage();
        y_ = Margin;
    }
    void EnsureRoom(double height)
    {
        if (y_ + height > bottom_ && y_ > Margin)
            NewPage();
    }

    void Line(const QString& text, bool bold = false, double size = 8)
    {
        QFont f = bodyFont_;
        f.setPointSizeF(size);
        f.setBold(bold);
        painter_.setFont(f);
        EnsureRoom(size * 1.6);
        painter_.drawText(QPointF(Margin, y_ + size), text);
        y_ += size * 1.6;
    }

    double TableHeight(const ReportTable& table) const
    {
        return (table.title.isEmpty() ? 0 : TitleHeight) + RowHeight * double(table.rows.size());
    }

    // Draws a table at the current height, x from the left margin; returns
    // its height. Column widths are shares of `width`.
    double Table(const ReportTable& table, double x, double width, const QList<double>& shares) const
    {
        double y = y_;
        if (!table.title.isEmpty()) {
            painter_.setFont(titleFont_);
            painter_.drawText(QPointF(Margin + x, y + 10), table.title);
            y += TitleHeight;
        }
        painter_.setFont(bodyFont_);
        const QFontMetricsF metrics(bodyFont_);
        for (int r = 0; r < table.rows.size(); ++r) {
            double cx = Margin + x;
            const QStringList& row = table.rows[r];
            if (r == 0) {
                painter_.fillRect(QRectF(Margin + x, y, width, RowHeight), QColor(225, 225, 225));
            }
            for (int c = 0; c < row.size() && c < shares.size(); ++c) {
                const double w = width * shares[c];
                const QString text = metrics.elidedText(WithoutZeros(row[c]), Qt::ElideRight, w - 4);
                painter_.drawText(QPointF(cx + 2, y + RowHeight - 2.5), text);
                cx += w;
            }
            painter_.setPen(QColor(200, 200, 200));
            painter_.drawLine(QPointF(Margin + x, y + RowHeight), QPointF(Margin + x + width, y + RowHeight));
            painter_.setPen(Qt::black);
            y += RowHeight;
        }
        return y - y_;
    }

    void FullTable(const ReportTable& table, const QList<double>& shares)
    {
        EnsureRoom(TableHeight(table));
        y_ += Table(table, 0, width_, shares) + BlockGap;
    }

    // Two tables side by side.
    void TablePair(const ReportTable& left, const ReportTable& right)
    {
        EnsureRoom(std::max(TableHeight(left), TableHeight(right)));
        const double half = (width_ - BlockGap) / 2;
        const double h1 = Table(left, 0, half, {0.62, 0.38});
        const double h2 = Table(right, half + BlockGap, half, {0.62, 0.38});
        y_ += std::max(h1, h2) + BlockGap;
    }

    // A titled list of lines, in two columns when long.
    void List(const QString& title, const QStringList& lines)
    {
        const int perColumn = lines.size() > 12 ? int((lines.size() + 1) / 2) : int(lines.size());
        EnsureRoom(TitleHeight + RowHeight * perColumn);
        painter_.setFont(titleFont_);
        painter_.drawText(QPointF(Margin, y_ + 10), title);
        y_ += TitleHeight;
        painter_.setFont(bodyFont_);
        for (int i = 0; i < lines.size(); ++i) {
            const double x = Margin + (i < perColumn ? 0 : width_ / 2);
            const double y = y_ + RowHeight * (i % std::max(perColumn, 1));
            painter_.drawText(QPointF(x, y + RowHeight - 2.5), lines[i].isEmpty() ? QStringLiteral("(no text)") : lines[i]);
        }
        y_ += RowHeight * perColumn + BlockGap;
    }

    // The field/RPM curve with its axes, as the "Settings" page draws it.
    void Curve(const CurvePoints& points)
    {
        const double height = 150;
        EnsureRoom(TitleHeight + height);
        painter_.setFont(titleFont_);
        painter_.drawText(QPointF(Margin, y_ + 10), QStringLiteral("Field/RPM Curve"));
        y_ += TitleHeight;
        painter_.setFont(bodyFont_);
        const QRectF plot(Margin + 40, y_ + 6, width_ * 0.6, height - 34);
        const auto at = [&plot](double rpm, double percent) {
            return QPointF(plot.left() + (rpm - RpmAxisMinimum) / (RpmAxisMaximum - RpmAxisMinimum) * plot.width(),
                           plot.bottom() - (percent - FieldAxisMinimum) / (FieldAxisMaximum - FieldAxisMinimum) * plot.height());
        };
        painter_.setPen(QColor(210, 210, 210));
        for (double rpm = 1000; rpm <= 6000; rpm += RpmAxisLabelStep) {
            painter_.drawLine(at(rpm, FieldAxisMinimum), at(rpm, FieldAxisMaximum));
        }
        for (double p = 30; p <= 100; p += FieldAxisLabelStep)
            painter_.drawLine(at(RpmAxisMinimum, p), at(RpmAxisMaximum, p));
        painter_.setPen(Qt::black);
        painter_.drawRect(plot);
        for (double rpm = 1000; rpm <= 6000; rpm += RpmAxisLabelStep)
            painter_.drawText(at(rpm, FieldAxisMinimum) + QPointF(-9, 10), QString::number(rpm));
        for (double p = 30; p <= 100; p += FieldAxisLabelStep)
            painter_.drawText(at(RpmAxisMinimum, p) + QPointF(-16, 3), QString::number(p));
        painter_.drawText(QPointF(plot.center().x() - 30, plot.bottom() + 22), RpmAxisTitle());
        painter_.save();
        painter_.translate(plot.left() - 28, plot.center().y() + 28);
        painter_.rotate(-90);
        painter_.drawText(QPointF(0, 0), FieldAxisTitle());
        painter_.restore();
        painter_.setPen(QPen(Qt::red, 1.5));
        QPointF previous;
        for (int i = 0; i < FieldRpmPointCount; ++i) {
            const QPointF p = at(CurvePointRpm(i), points[std::size_t(i)]);
            if (i > 0)
                painter_.drawLine(previous, p);
            painter_.fillRect(QRectF(p.x() - 2, p.y() - 2, 4, 4), Qt::red);
            previous = p;
        }
        painter_.setPen(Qt::black);
        for (int i = 0; i < FieldRpmPointCount; ++i) {
            const QPointF p = at(CurvePointRpm(i), points[std::size_t(i)]);
            painter_.drawText(p + QPointF(-5, -5), CurvePointLabel(points[std::size_t(i)]));
        }
        y_ += height + BlockGap;
    }

private:
    QPdfWriter& writer_;
    QPainter& painter_;
    QFont bodyFont_;
    QFont titleFont_;
    double width_ = 0;
    double bottom_ = 0;
    double y_ = 0;
};

void Regulator(PageFlow& flow, const QString& heading, const RegulatorReport& regulator)
{
    flow.EnsureRoom(200);
    flow.Line(heading + QStringLiteral(": ") + regulator.name, true, 10);
    if (!regulator.tables.isEmpty())
        flow.FullTable(regulator.tables[0], {0.4, 0.2, 0.2, 0.2});
    if (regulator.tables.size() >= 3)
        flow.TablePair(regulator.tables[1], regulator.tables[2]);
    flow.List(QStringLiteral("System Messages"), regulator.messages);
}

} // namespace

namespace {

ReportTable CellsTable(const QString& title, const QStringList& cells, int columns)
{
    ReportTable table{title, {}};
    for (int i = 0; i + columns <= cells.size(); i += columns)
        table.rows.append(cells.mid(i, columns));
    return table;
}

RegulatorReport RegulatorFromRecord(const SystemStateRecord& record, Side side, uint8_t auxTempSensorUsage)
{
    MessageHoldCounters hold;
    return RegulatorReportFromPage(
        record.RegulatorName(),
        {MeasuredValuesCells(record, side, auxTempSensorUsage), SystemStateCells(record),
         RegulatorStateCells(record, side, QString()),
         side == Side::Own ? SystemMessageLines(record, hold, auxTempSensorUsage) : PeerSystemMessageLines(record)});
}

} // namespace

RegulatorReport RegulatorReportFromPage(const QByteArray& name, const StatePageTexts& page)
{
    RegulatorReport part;
    part.name = FromAnsi(name);
    part.tables = {CellsTable(QStringLiteral("Measured Values"), page.measured, MeasuredValuesColumns),
                   CellsTable(QStringLiteral("System State"), page.system, StateColumns),
                   CellsTable(QStringLiteral("Regulator State"), page.regulator, StateColumns)};
    part.messages = page.messages.mid(1); // the first line is the name, already in the heading
    return part;
}

ServiceReport ServiceReportFromRecords(const SystemStateRecord& own, const SystemStateRecord& peer,
                                       const SettingsRecord& settings, const QString& vessel, const QDateTime& when,
                                       const QString& program)
{
    const uint16_t voltage = own.DetectedSystemVoltage();
    ServiceReport report;
    report.vessel = vessel;
    report.when = when;
    report.program = program;
    report.deviceVersion = QString::number(settings.DeviceVersion());
    report.detectedSystemVoltage = QString::number(voltage);
    report.own = RegulatorFromRecord(own, Side::Own, settings.AuxTempSensorUsage());
    report.hasPeer = !peer.RegulatorName().isEmpty();
    if (report.hasPeer)
        report.peer = RegulatorFromRecord(peer, Side::Peer, 0);
    report.systemSettings = SystemSettingsReportTable(settings, voltage);
    report.chargeProfiles = ChargeProfilesReportTable(settings, voltage);
    report.curve = CurvePointsFromRecord(settings.Curve());
    report.calibration = CalibrationReportTable(settings, voltage);
    return report;
}

ReportTable SystemSettingsReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage)
{
    ReportTable table{QStringLiteral("System Settings"), {{QStringLiteral("Setting"), QStringLiteral("Value")}}};
    const QStringList captions = SystemSettingsCaptions();
    const QStringList texts = SystemSettingsTexts(settings, detectedSystemVoltage);
    for (int r = 0; r < captions.size(); ++r)
        table.rows.append({captions[r], r == WifiPasswordRow ? MaskedPassword(texts[r]) : texts[r]}); // zeros go when drawn
    return table;
}

QString MaskedPassword(const QString& password)
{
    return WithoutZeros(password).isEmpty() ? QString() : QStringLiteral("********");
}

ReportTable NotWrittenReportTable(const QList<SettingsDifference>& differences)
{
    ReportTable table{QStringLiteral("Edited in the program, not written to the regulator"),
                      {{QStringLiteral("Section"), QStringLiteral("Setting"), QStringLiteral("As read"),
                        QStringLiteral("Edited")}}};
    for (const SettingsDifference& d : differences) {
        const bool password = d.caption == SystemSettingsCaptions()[WifiPasswordRow];
        table.rows.append({d.section, d.caption, password ? MaskedPassword(d.ours) : d.ours,
                           password ? MaskedPassword(d.theirs) : d.theirs});
    }
    return table;
}

ReportTable ChargeProfilesReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage)
{
    ReportTable table{QStringLiteral("Charge Profiles"), {QStringList{QStringLiteral("Setting")} + ChargeProfileTabCaptions()}};
    const QStringList captions = ChargeProfileCaptions();
    QList<QStringList> columns;
    for (int k = 0; k < ChargeProfileCount; ++k)
        columns.append(ChargeProfileTexts(settings.Profile(k), detectedSystemVoltage));
    for (int r = 0; r < captions.size(); ++r) {
        QStringList row{captions[r]};
        for (const QStringList& column : columns)
            row << column[r];
        table.rows.append(row);
    }
    return table;
}

ReportTable CalibrationReportTable(const SettingsRecord& settings, uint16_t detectedSystemVoltage)
{
    ReportTable table{QStringLiteral("Calibration Factors"), {{QStringLiteral("Factor"), QStringLiteral("Value")}}};
    const QStringList captions = SystemSettingsCaptions();
    const QStringList texts = SystemSettingsTexts(settings, detectedSystemVoltage);
    for (int r = ComparatorVoltageCompRow; r <= AlternatorShuntGain2Row; ++r)
        table.rows.append({captions[r], texts[r]});
    return table;
}

bool WriteServiceReportPdf(const ServiceReport& report, const QString& path, QString* failure)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (failure)
            *failure = QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString());
        return false;
    }
    // A write that failed (a full disk) makes the commit fail; the file of
    // that name is replaced only on success.
    if (!WriteServiceReportPdf(report, file, nullptr) || !file.commit()) {
        if (failure)
            *failure = QStringLiteral("Cannot write the report to \"%1\". %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool WriteServiceReportPdf(const ServiceReport& report, QIODevice& device, QString* failure)
{
    QPdfWriter writer(&device);
    writer.setResolution(Resolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QStringLiteral("Service Report"));
    writer.setCreator(report.program);
    QPainter painter;
    if (!painter.begin(&writer)) {
        if (failure)
            *failure = device.errorString();
        return false;
    }
    PageFlow flow(writer, painter);

    flow.Line(QStringLiteral("Service Report"), true, 16);
    flow.Line(report.program);
    flow.Line(QStringLiteral("Date and time: ") + report.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (!report.vessel.isEmpty())
        flow.Line(QStringLiteral("Vessel / customer: ") + report.vessel);
    flow.Line(QStringLiteral("Regulator: ") + report.own.name + QStringLiteral("   Device version: ")
              + report.deviceVersion + QStringLiteral("   Detected system voltage: ") + report.detectedSystemVoltage
              + QStringLiteral(" V"));
    flow.Skip(BlockGap);
    Regulator(flow, QStringLiteral("Regulator"), report.own);

    // Page 2: the peer, the charge profiles side by side and the curve;
    // page 3: every system setting and the calibration factors.
    flow.NewPage();
    if (report.hasPeer)
        Regulator(flow, QStringLiteral("Peer Regulator"), report.peer);
    QList<double> shares{0.2};
    for (int k = 0; k < ChargeProfileCount; ++k)
        shares << 0.1;
    flow.FullTable(report.chargeProfiles, shares);
    flow.Curve(report.curve);
    flow.NewPage();
    flow.FullTable(report.systemSettings, {0.7, 0.3});
    flow.FullTable(report.calibration, {0.7, 0.3});
    if (report.notWritten.rows.size() > 1)
        flow.FullTable(report.notWritten, {0.2, 0.4, 0.2, 0.2});
    if (!painter.end()) {
        if (failure)
            *failure = device.errorString();
        return false;
    }
    return true;
}
