#include "report/service_report.h"

#include "records/ansi_text.h"
#include "compare/settings_compare.h"
#include "settings/charge_profile_rows.h"
#include "settings/system_settings_rows.h"
#include "views/state_views.h"
#include "views/value_format.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>

namespace {

// Page geometry in points (1/72 inch); the writer's resolution is set to
// match, so painter units are points.
constexpr int Resolution = 72;
constexpr double Margin = 40;
constexpr double RowHeight = 10;
constexpr double BlockGap = 10;
constexpr double TitleHeight = 14;
// The footer sits in the bottom margin, below the lowest text of a page.
constexpr double FooterBaseline = 22; // from the bottom of the page
constexpr double FooterRule = 32;

// Table cells: a text too wide for its column is first set smaller, then
// in two lines, and only then shortened; LinePitch is the step between the
// lines of a cell, which a row grows by for each line beyond its first.
constexpr double CellSize = 7;
constexpr double SmallestOneLineSize = 6;
constexpr double SmallestSize = 5;
constexpr double SizeStep = 0.5;
constexpr double LinePitch = 8;
constexpr double CellPadding = 2; // each side
// The chart's texts keep this distance from the plot frame and the points.
constexpr double LabelGap = 3;
constexpr double MarkerHalf = 2;

QString ReportTime(const ServiceReport& report)
{
    return report.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A cell's text as drawn: its type size and its one or two lines.
struct FittedCell {
    double size = CellSize;
    QStringList lines;
};

// The text in two lines broken at a space, the longer line as short as can
// be; empty when no break makes both lines fit.
QStringList TwoLines(const QString& text, const QFontMetricsF& metrics, double width)
{
    QStringList best;
    double bestWidth = width;
    for (int i = text.indexOf(QLatin1Char(' ')); i >= 0; i = text.indexOf(QLatin1Char(' '), i + 1)) {
        const QString first = text.left(i).trimmed();
        const QString second = text.mid(i + 1).trimmed();
        if (first.isEmpty() || second.isEmpty())
            continue;
        const double wider = std::max(metrics.horizontalAdvance(first), metrics.horizontalAdvance(second));
        if (wider <= bestWidth) {
            bestWidth = wider;
            best = QStringList{first, second};
        }
    }
    return best;
}

// Fits a cell's text into `width`: one line, down to a slightly smaller
// size; else two lines, down to the smallest size; else (a long text
// without spaces) as much as fits in the first line and the rest shortened
// with an ellipsis in the second.
FittedCell FitCell(const QString& text, const QFont& font, double width, const QPaintDevice* device,
                   double largest = CellSize)
{
    QFont f = font;
    for (double size = largest; size >= SmallestOneLineSize; size -= SizeStep) {
        f.setPointSizeF(size);
        if (QFontMetricsF(f, device).horizontalAdvance(text) <= width)
            return {size, {text}};
    }
    for (double size = largest; size >= SmallestSize; size -= SizeStep) {
        f.setPointSizeF(size);
        const QStringList lines = TwoLines(text, QFontMetricsF(f, device), width);
        if (!lines.isEmpty())
            return {size, lines};
    }
    f.setPointSizeF(SmallestSize);
    const QFontMetricsF metrics(f, device);
    int fit = 0;
    while (fit < text.size() && metrics.horizontalAdvance(text.left(fit + 1)) <= width)
        ++fit;
    return {SmallestSize, {text.left(fit), metrics.elidedText(text.mid(fit), Qt::ElideRight, width)}};
}

// A table's cells fitted into its columns, with each row's height.
struct FittedTable {
    QList<QList<FittedCell>> cells;
    QList<double> heights;
    double height = 0; // rows and title
};

// The square marker drawn at a point of the curve.
QRectF Marker(QPointF p)
{
    return QRectF(p.x() - MarkerHalf, p.y() - MarkerHalf, 2 * MarkerHalf, 2 * MarkerHalf);
}

// Whether the rectangle keeps clear of the line from a to b.
bool ClearOf(const QRectF& rect, QPointF a, QPointF b)
{
    constexpr int Steps = 40;
    for (int i = 0; i <= Steps; ++i) {
        if (rect.contains(a + (b - a) * (double(i) / Steps)))
            return false;
    }
    return true;
}

// Draws onto the report's pages top to bottom, starting a new page where a
// block would not fit. Each page gets a footer with the report's time and
// "Page N of M"; M is given by a first run that only counts the pages.
class PageFlow {
public:
    PageFlow(QPdfWriter& writer, QPainter& painter, const QString& footer, int pageTotal)
        : writer_(writer), painter_(painter), footer_(footer), pageTotal_(pageTotal)
    {
        const QRectF page = writer.pageLayout().paintRectPoints();
        width_ = page.width() - 2 * Margin;
        pageHeight_ = page.height();
        bottom_ = page.height() - Margin;
        y_ = Margin;
        bodyFont_ = painter.font();
        bodyFont_.setPointSizeF(CellSize);
        titleFont_ = bodyFont_;
        titleFont_.setPointSizeF(9);
        titleFont_.setBold(true);
    }

    int Pages() const { return page_; }

    void Skip(double height) { y_ += height; }

    void NewPage()
    {
        Footer();
        writer_.newPage();
        ++page_;
        y_ = Margin;
    }
    // The footer of the last page.
    void Finish() { Footer(); }

    void EnsureRoom(double height)
    {
        if (y_ + height > bottom_ && y_ > Margin)
            NewPage();
    }

    // A line of text, wrapped at spaces when wider than the page.
    void Line(const QString& text, bool bold = false, double size = 8)
    {
        QFont f = bodyFont_;
        f.setPointSizeF(size);
        f.setBold(bold);
        painter_.setFont(f);
        for (const QString& line : Wrapped(text, f, width_)) {
            EnsureRoom(size * 1.6);
            painter_.drawText(QPointF(Margin, y_ + size), line);
            y_ += size * 1.6;
        }
    }

    // Column widths are shares of `width`. The header's cells all take the
    // size the tightest of them needs.
    FittedTable Fit(const ReportTable& table, double width, const QList<double>& shares) const
    {
        FittedTable fitted;
        fitted.height = table.title.isEmpty() ? 0 : TitleHeight;
        for (const QStringList& row : table.rows) {
            const auto fitRow = [&](double largest) {
                QList<FittedCell> cells;
                for (int c = 0; c < row.size() && c < shares.size(); ++c)
                    cells.append(FitCell(WithoutZeros(row[c]), bodyFont_, width * shares[c] - 2 * CellPadding,
                                         painter_.device(), largest));
                return cells;
            };
            QList<FittedCell> cells = fitRow(CellSize);
            if (fitted.cells.isEmpty()) {
                double smallest = CellSize;
                for (const FittedCell& cell : cells)
                    smallest = std::min(smallest, cell.size);
                if (smallest < CellSize)
                    cells = fitRow(smallest);
            }
            int lines = 1;
            for (const FittedCell& cell : cells)
                lines = std::max(lines, int(cell.lines.size()));
            fitted.cells.append(cells);
            fitted.heights.append(RowHeight + (lines - 1) * LinePitch);
            fitted.height += fitted.heights.last();
        }
        return fitted;
    }

    // Draws a table at the current height, x from the left margin; returns
    // its height.
    double Table(const ReportTable& table, double x, double width, const QList<double>& shares) const
    {
        const FittedTable fitted = Fit(table, width, shares);
        double y = y_;
        if (!table.title.isEmpty()) {
            painter_.setFont(titleFont_);
            painter_.drawText(QPointF(Margin + x, y + 10), table.title);
            y += TitleHeight;
        }
        for (int r = 0; r < fitted.cells.size(); ++r) {
            const double height = fitted.heights[r];
            if (r == 0)
                painter_.fillRect(QRectF(Margin + x, y, width, height), QColor(225, 225, 225));
            double cx = Margin + x;
            for (int c = 0; c < fitted.cells[r].size(); ++c) {
                const FittedCell& cell = fitted.cells[r][c];
                QFont f = bodyFont_;
                f.setPointSizeF(cell.size);
                painter_.setFont(f);
                // The cell's lines centred in the row; one line in a row of
                // one line sits where it always has.
                const double top = y + (height - LinePitch * double(cell.lines.size())) / 2;
                for (int k = 0; k < cell.lines.size(); ++k)
                    painter_.drawText(QPointF(cx + CellPadding, top + 6.5 + k * LinePitch), cell.lines[k]);
                cx += width * shares[c];
            }
            painter_.setPen(QColor(200, 200, 200));
            painter_.drawLine(QPointF(Margin + x, y + height), QPointF(Margin + x + width, y + height));
            painter_.setPen(Qt::black);
            y += height;
        }
        painter_.setFont(bodyFont_);
        return y - y_;
    }

    void FullTable(const ReportTable& table, const QList<double>& shares)
    {
        EnsureRoom(Fit(table, width_, shares).height);
        y_ += Table(table, 0, width_, shares) + BlockGap;
    }

    // Two tables side by side.
    void TablePair(const ReportTable& left, const ReportTable& right)
    {
        const double half = (width_ - BlockGap) / 2;
        const QList<double> shares{0.62, 0.38};
        EnsureRoom(std::max(Fit(left, half, shares).height, Fit(right, half, shares).height));
        const double h1 = Table(left, 0, half, shares);
        const double h2 = Table(right, half + BlockGap, half, shares);
        y_ += std::max(h1, h2) + BlockGap;
    }

    // A titled list of lines, in two columns when long; a line wider than
    // its column goes on in the next.
    void List(const QString& title, const QStringList& lines)
    {
        const bool twoColumns = lines.size() > 12;
        const double columnWidth = twoColumns ? width_ / 2 - BlockGap : width_;
        QStringList wrapped;
        for (const QString& line : lines)
            wrapped += Wrapped(line.isEmpty() ? QStringLiteral("(no text)") : line, bodyFont_, columnWidth);
        const int perColumn = twoColumns ? int((wrapped.size() + 1) / 2) : int(wrapped.size());
        EnsureRoom(TitleHeight + RowHeight * perColumn);
        painter_.setFont(titleFont_);
        painter_.drawText(QPointF(Margin, y_ + 10), title);
        y_ += TitleHeight;
        painter_.setFont(bodyFont_);
        for (int i = 0; i < wrapped.size(); ++i) {
            const double x = Margin + (i < perColumn ? 0 : width_ / 2);
            const double y = y_ + RowHeight * (i % std::max(perColumn, 1));
            painter_.drawText(QPointF(x, y + RowHeight - 2.5), wrapped[i]);
        }
        y_ += RowHeight * perColumn + BlockGap;
    }

    // The field/RPM curve with its fixed axes, as the "Settings" page draws
    // it: tick labels and axis titles outside the plot frame, clear of it
    // and of each other; the points' labels inside the frame, placed where
    // they cover neither the curve nor another label.
    void Curve(const CurvePoints& points)
    {
        const double height = 150;
        EnsureRoom(TitleHeight + height);
        painter_.setFont(titleFont_);
        painter_.drawText(QPointF(Margin, y_ + 10), QStringLiteral("Field/RPM Curve"));
        y_ += TitleHeight;
        painter_.setFont(bodyFont_);
        const QFontMetricsF metrics(bodyFont_, painter_.device());
        const double textHeight = metrics.height();
        const QRectF plot(Margin + 40, y_ + 6, width_ * 0.6, height - 34);
        const auto at = [&plot](double rpm, double percent) {
            return QPointF(plot.left() + (rpm - RpmAxisMinimum) / (RpmAxisMaximum - RpmAxisMinimum) * plot.width(),
                           plot.bottom() - (percent - FieldAxisMinimum) / (FieldAxisMaximum - FieldAxisMinimum) * plot.height());
        };
        painter_.setPen(QColor(210, 210, 210));
        for (double rpm = 1000; rpm <= 6000; rpm += RpmAxisLabelStep)
            painter_.drawLine(at(rpm, FieldAxisMinimum), at(rpm, FieldAxisMaximum));
        for (double p = 30; p <= 100; p += FieldAxisLabelStep)
            painter_.drawLine(at(RpmAxisMinimum, p), at(RpmAxisMaximum, p));
        painter_.setPen(Qt::black);
        painter_.drawRect(plot);

        // Speeds centred below their grid lines, percentages right-aligned
        // left of the frame, centred on theirs.
        const double tickTop = plot.bottom() + LabelGap;
        for (double rpm = 1000; rpm <= 6000; rpm += RpmAxisLabelStep) {
            const QString text = QString::number(rpm);
            const double w = metrics.horizontalAdvance(text);
            painter_.drawText(QRectF(at(rpm, FieldAxisMinimum).x() - w / 2, tickTop, w, textHeight),
                              Qt::AlignCenter, text);
        }
        double widest = 0;
        for (double p = 30; p <= 100; p += FieldAxisLabelStep) {
            const QString text = QString::number(p);
            const double w = metrics.horizontalAdvance(text);
            widest = std::max(widest, w);
            const double y = at(RpmAxisMinimum, p).y() - textHeight / 2;
            painter_.drawText(QRectF(plot.left() - LabelGap - w, y, w, textHeight), Qt::AlignCenter, text);
        }
        const QString rpmTitle = RpmAxisTitle();
        const double rpmTitleWidth = metrics.horizontalAdvance(rpmTitle);
        painter_.drawText(
            QRectF(plot.center().x() - rpmTitleWidth / 2, tickTop + textHeight + 1, rpmTitleWidth, textHeight),
            Qt::AlignCenter, rpmTitle);
        const QString fieldTitle = FieldAxisTitle();
        const double fieldTitleWidth = metrics.horizontalAdvance(fieldTitle);
        painter_.save();
        // Turned a quarter left, its foot towards the percentages.
        painter_.translate(plot.left() - LabelGap - widest - LabelGap - textHeight,
                           plot.center().y() + fieldTitleWidth / 2);
        painter_.rotate(-90);
        painter_.drawText(QRectF(0, 0, fieldTitleWidth, textHeight), Qt::AlignCenter, fieldTitle);
        painter_.restore();

        QList<QPointF> marks;
        for (int i = 0; i < FieldRpmPointCount; ++i)
            marks.append(at(CurvePointRpm(i), points[std::size_t(i)]));
        painter_.save();
        painter_.setClipRect(plot);
        painter_.setPen(QPen(Qt::red, 1.5));
        for (int i = 0; i < FieldRpmPointCount; ++i) {
            if (i > 0)
                painter_.drawLine(marks[i - 1], marks[i]);
            painter_.fillRect(Marker(marks[i]), Qt::red);
        }
        painter_.setPen(Qt::black);
        const QRectF inside = plot.adjusted(1, 1, -1, -1);
        QList<QRectF> placed;
        for (int i = 0; i < FieldRpmPointCount; ++i) {
            const QString text = CurvePointLabel(points[std::size_t(i)]);
            const QSizeF size(metrics.horizontalAdvance(text), textHeight);
            const QRectF label = PointLabelRect(marks, i, size, inside, placed);
            placed.append(label);
            painter_.drawText(label, Qt::AlignCenter, text);
        }
        painter_.restore();
        y_ += height + BlockGap;
    }

private:
    // Where point i's label goes: above the point, else below, else above
    // or below to one side, each moved sideways into the frame, and if need
    // be a little further up or down; the first place inside the frame that
    // covers no marker, no stretch of the curve and no label placed before.
    // With no such place, above the point moved into the frame (drawn
    // clipped to it).
    static QRectF PointLabelRect(const QList<QPointF>& points, int i, const QSizeF& size, const QRectF& inside,
                                 const QList<QRectF>& placed)
    {
        const QPointF p = points[i];
        const double w = size.width();
        const double h = size.height();
        const double gap = MarkerHalf + 1;
        QList<QRectF> candidates;
        for (const double further : {0.0, 4.0, 8.0}) {
            const double above = p.y() - gap - further - h;
            const double below = p.y() + gap + further;
            for (const double x : {p.x() - w / 2, p.x() - gap - w, p.x() + gap}) {
                candidates.append(QRectF(x, above, w, h));
                candidates.append(QRectF(x, below, w, h));
            }
        }
        const auto intoFrame = [&inside](QRectF r) {
            if (r.left() < inside.left())
                r.moveLeft(inside.left());
            if (r.right() > inside.right())
                r.moveRight(inside.right());
            return r;
        };
        for (const QRectF& candidate : candidates) {
            const QRectF r = intoFrame(candidate);
            if (r.top() < inside.top() || r.bottom() > inside.bottom())
                continue;
            bool clear = true;
            for (int k = 0; k < points.size() && clear; ++k) {
                clear = !r.intersects(Marker(points[k])) && (k == 0 || ClearOf(r, points[k - 1], points[k]));
            }
            for (const QRectF& other : placed)
                clear = clear && !r.intersects(other);
            if (clear)
                return r;
        }
        QRectF r = intoFrame(candidates.first());
        if (r.top() < inside.top())
            r.moveTop(inside.top());
        return r;
    }

    void Footer()
    {
        QFont f = bodyFont_;
        painter_.setFont(f);
        const double rule = pageHeight_ - FooterRule;
        painter_.setPen(QColor(200, 200, 200));
        painter_.drawLine(QPointF(Margin, rule), QPointF(Margin + width_, rule));
        painter_.setPen(Qt::black);
        const double baseline = pageHeight_ - FooterBaseline;
        painter_.drawText(QPointF(Margin, baseline), footer_);
        const QString number = QStringLiteral("Page %1 of %2").arg(page_).arg(pageTotal_);
        const double w = QFontMetricsF(f, painter_.device()).horizontalAdvance(number);
        painter_.drawText(QPointF(Margin + width_ - w, baseline), number);
    }

    // The text in lines no wider than `width`, broken at spaces (a word
    // wider than that on a line of its own, broken where it must).
    QStringList Wrapped(const QString& text, const QFont& font, double width) const
    {
        QTextLayout layout(text, font, painter_.device());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        QStringList lines;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines.append(text.mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
        if (lines.isEmpty())
            lines.append(QString());
        return lines;
    }

    QPdfWriter& writer_;
    QPainter& painter_;
    QString footer_;
    int pageTotal_ = 0;
    int page_ = 1;
    QFont bodyFont_;
    QFont titleFont_;
    double width_ = 0;
    double pageHeight_ = 0;
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

namespace {

void SetUpWriter(QPdfWriter& writer, const ServiceReport& report)
{
    writer.setResolution(Resolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QStringLiteral("Service Report"));
    writer.setCreator(report.program);
}

// Draws the whole report; returns its number of pages. `pageTotal` is the
// number the footers give (0 in the run that counts).
int DrawReport(const ServiceReport& report, QPdfWriter& writer, QPainter& painter, int pageTotal)
{
    const QString time = ReportTime(report);
    PageFlow flow(writer, painter, QStringLiteral("Service Report, ") + time, pageTotal);

    flow.Line(QStringLiteral("Service Report"), true, 16);
    flow.Line(report.program);
    flow.Line(QStringLiteral("Date and time: ") + time);
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
    flow.Finish();
    return flow.Pages();
}

} // namespace

bool WriteServiceReportPdf(const ServiceReport& report, QIODevice& device, QString* failure)
{
    // "Page N of M" needs M before the first page is drawn: a first run
    // onto a PDF in memory, with the same page and type metrics, counts the
    // pages.
    QBuffer scratch;
    scratch.open(QIODevice::WriteOnly);
    int pageTotal = 0;
    {
        QPdfWriter counter(&scratch);
        SetUpWriter(counter, report);
        QPainter painter;
        if (painter.begin(&counter)) {
            pageTotal = DrawReport(report, counter, painter, 0);
            painter.end();
        }
    }
    QPdfWriter writer(&device);
    SetUpWriter(writer, report);
    QPainter painter;
    if (!painter.begin(&writer)) {
        if (failure)
            *failure = device.errorString();
        return false;
    }
    DrawReport(report, writer, painter, pageTotal);
    if (!painter.end()) {
        if (failure)
            *failure = device.errorString();
        return false;
    }
    return true;
}
