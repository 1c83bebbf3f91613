// The field/RPM chart widget, shown offscreen at its size on the settings
// page: point hit test, dragging, limits and the pixel-to-value conversion.
#include "settings/field_rpm_chart_widget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A curve with a different value at every point, so each segment slopes.
const CurvePoints StartPoints = {40, 45, 50, 60, 70, 80, 90, 95, 100, 85, 65, 35};

// Where the chart draws a value, in widget coordinates, worked out from the
// plot area and the axes rather than the widget's helpers.
QPointF PixelOf(const FieldRpmChart& view, double rpm, double percent)
{
    const QRectF area = view.PlotArea();
    const PlotWidget::Axis& x = view.XAxis();
    const PlotWidget::Axis& y = view.YAxis(0);
    return {area.left() + (rpm - x.low) / (x.high - x.low) * area.width(),
            area.bottom() - (percent - y.low) / (y.high - y.low) * area.height()};
}

QPoint Pixel(const QPointF& p)
{
    return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
}

// The value one pixel spans on the left axis.
double ValuePerPixel(const FieldRpmChart& view)
{
    return (FieldAxisMaximum - FieldAxisMinimum) / view.PlotArea().height();
}

} // namespace

class TestFieldRpmChart : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chartSetUp();
    void setPointsRebuilds();

    void pressOnPointStartsDrag_data();
    void pressOnPointStartsDrag();
    void anyButtonStartsDrag_data();
    void anyButtonStartsDrag();
    void pressOnLineDragsLeftPoint_data();
    void pressOnLineDragsLeftPoint();
    void pressOnEmptySpaceStartsNothing_data();
    void pressOnEmptySpaceStartsNothing();

    void dragToValue();
    void dragIsLimited_data();
    void dragIsLimited();
    void releaseEndsDrag();
    void cancelEndsDrag();

    void valueAtPixelInvertsMapping_data();
    void valueAtPixelInvertsMapping();

private:
    void Press(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton);
    void Move(const QPoint& pos);
    void Release(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton);

    std::unique_ptr<FieldRpmChart> view_;
};

void TestFieldRpmChart::init()
{
    view_ = std::make_unique<FieldRpmChart>();
    view_->setFixedSize(417, 369);
    view_->SetPoints(StartPoints);
    view_->show();
    QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    // The plot area is laid out once the chart has its size.
    QTRY_VERIFY(view_->PlotArea().height() > 100);
}

void TestFieldRpmChart::cleanup()
{
    view_.reset();
}

void TestFieldRpmChart::Press(const QPoint& pos, Qt::MouseButton button)
{
    QTest::mousePress(view_.get(), button, Qt::NoModifier, pos);
}

void TestFieldRpmChart::Move(const QPoint& pos)
{
    QTest::mouseMove(view_.get(), pos);
}

void TestFieldRpmChart::Release(const QPoint& pos, Qt::MouseButton button)
{
    QTest::mouseRelease(view_.get(), button, Qt::NoModifier, pos);
}

void TestFieldRpmChart::chartSetUp()
{
    QCOMPARE(view_->SeriesCount(), 1);
    const PlotWidget::Series& series = view_->SeriesAt(FieldRpmChart::CurveSeries);
    QCOMPARE(series.name, QStringLiteral("Series1"));
    QCOMPARE(series.pen.color(), QColor(Qt::red));
    QCOMPARE(series.marker.size(), QSize(FieldRpmChart::MarkerSize, FieldRpmChart::MarkerSize));

    QCOMPARE(view_->YAxisCount(), 1);
    const PlotWidget::Axis& x = view_->XAxis();
    const PlotWidget::Axis& y = view_->YAxis(0);
    QCOMPARE(x.low, 450.0);
    QCOMPARE(x.high, 6100.0);
    QCOMPARE(x.step, 1000.0);
    QCOMPARE(x.title, QStringLiteral("Engine RPM, 1/min"));
    QCOMPARE(y.low, 25.0);
    QCOMPARE(y.high, 105.0);
    QCOMPARE(y.step, 10.0);
    QCOMPARE(y.title, QStringLiteral("Field Limit, %"));
    QCOMPARE(view_->cursor().shape(), Qt::CrossCursor);
    // No margin at the top, left and bottom: the axes' labels and titles
    // reach the widget's edges.
    const QFontMetrics metrics(view_->font());
    QCOMPARE(view_->PlotArea().top(), metrics.height() / 2.0);
    QCOMPARE(view_->PlotArea().left(), double(view_->AxesWidth()));
    QCOMPARE(view_->height() - view_->PlotArea().bottom(), 4.0 + 2 + 2 * metrics.height() + 2);

    // The first and last points lie inside the plot area.
    QVERIFY(view_->PlotArea().contains(PixelOf(*view_, 500, 30)));
    QVERIFY(view_->PlotArea().contains(PixelOf(*view_, 6000, 100)));
}

void TestFieldRpmChart::setPointsRebuilds()
{
    QCOMPARE(view_->Points(), StartPoints);
    const auto& points = view_->SeriesAt(FieldRpmChart::CurveSeries).points;
    QCOMPARE(points.size(), FieldRpmPointCount);
    for (int i = 0; i < FieldRpmPointCount; ++i)
        QCOMPARE(points[i].x(), (i + 1) * 500.0);

    CurvePoints flat;
    flat.fill(30);
    view_->SetPoints(flat);
    QCOMPARE(view_->SeriesAt(FieldRpmChart::CurveSeries).points.size(), FieldRpmPointCount);
    QCOMPARE(view_->Points(), flat);
}

void TestFieldRpmChart::pressOnPointStartsDrag_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QPoint>("offset");
    for (int i = 0; i < FieldRpmPointCount; ++i)
        QTest::addRow("point %d", i) << i << QPoint(0, 0);
    QTest::newRow("point 5, marker corner") << 5 << QPoint(3, -3);
    QTest::newRow("point 0, marker edge") << 0 << QPoint(-3, 2);
    QTest::newRow("point 11, marker edge") << 11 << QPoint(3, 3);
}

void TestFieldRpmChart::pressOnPointStartsDrag()
{
    QFETCH(int, index);
    QFETCH(QPoint, offset);
    const QPoint pos = Pixel(PixelOf(*view_, CurvePointRpm(index), StartPoints[std::size_t(index)])) + offset;
    QCOMPARE(view_->PointIndexAt(pos), index);
    QVERIFY(!view_->CurveDragActive());
    Press(pos);
    QVERIFY(view_->CurveDragActive());
    QCOMPARE(view_->CurveDragIndex(), index);
    Release(pos);
    QVERIFY(!view_->CurveDragActive());
}

void TestFieldRpmChart::anyButtonStartsDrag_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("secondOfDoubleClick");
    QTest::newRow("left") << Qt::LeftButton << false;
    QTest::newRow("right") << Qt::RightButton << false;
    QTest::newRow("middle") << Qt::MiddleButton << false;
    // Qt delivers the second press of a double click as a double-click event.
    QTest::newRow("left, second press of a double click") << Qt::LeftButton << true;
    QTest::newRow("right, second press of a double click") << Qt::RightButton << true;
}

void TestFieldRpmChart::anyButtonStartsDrag()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, secondOfDoubleClick);
    const QPoint pos = Pixel(PixelOf(*view_, CurvePointRpm(6), StartPoints[6]));
    if (secondOfDoubleClick) {
        Press(pos, button);
        Release(pos, button);
        QMouseEvent second(QEvent::MouseButtonDblClick, pos, view_->mapToGlobal(pos), button, button,
                           Qt::NoModifier);
        QApplication::sendEvent(view_.get(), &second);
    } else {
        Press(pos, button);
    }
    QVERIFY(view_->CurveDragActive());
    QCOMPARE(view_->CurveDragIndex(), 6);
    Release(pos, button);
    QVERIFY(!view_->CurveDragActive());
}

void TestFieldRpmChart::pressOnLineDragsLeftPoint_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<double>("fraction"); // along the segment from the left point
    QTest::newRow("2000 to 2500, middle") << 3 << 0.5;
    QTest::newRow("2000 to 2500, nearer 2500") << 3 << 0.65;
    QTest::newRow("500 to 1000") << 0 << 0.5;
    QTest::newRow("5500 to 6000") << 10 << 0.4;
    QTest::newRow("4500 to 5000, falling") << 8 << 0.5;
}

void TestFieldRpmChart::pressOnLineDragsLeftPoint()
{
    QFETCH(int, left);
    QFETCH(double, fraction);
    const QPointF a = PixelOf(*view_, CurvePointRpm(left), StartPoints[std::size_t(left)]);
    const QPointF b = PixelOf(*view_, CurvePointRpm(left + 1), StartPoints[std::size_t(left + 1)]);
    const QPoint pos = Pixel(a + fraction * (b - a));
    // Well away from both markers.
    QVERIFY(std::abs(pos.x() - a.x()) > FieldRpmChart::MarkerSize);
    QVERIFY(std::abs(pos.x() - b.x()) > FieldRpmChart::MarkerSize);
    Press(pos);
    QVERIFY(view_->CurveDragActive());
    QCOMPARE(view_->CurveDragIndex(), left);
}

void TestFieldRpmChart::pressOnEmptySpaceStartsNothing_data()
{
    QTest::addColumn<double>("rpm");
    QTest::addColumn<double>("percent");
    QTest::newRow("above the line at 2000") << 2000.0 << 90.0;
    QTest::newRow("below the line at 4000") << 4000.0 << 60.0;
    QTest::newRow("top left corner") << 500.0 << 104.0;
    QTest::newRow("left of the first point") << 460.0 << 60.0;
    QTest::newRow("right of the last point") << 6090.0 << 55.0;
}

void TestFieldRpmChart::pressOnEmptySpaceStartsNothing()
{
    QFETCH(double, rpm);
    QFETCH(double, percent);
    const QPoint pos = Pixel(PixelOf(*view_, rpm, percent));
    QCOMPARE(view_->PointIndexAt(pos), -1);
    Press(pos);
    QVERIFY(!view_->CurveDragActive());
    Move(pos + QPoint(0, -40));
    Move(pos + QPoint(0, 40));
    QCOMPARE(view_->Points(), StartPoints);
    Release(pos);
    QVERIFY(!view_->CurveDragActive());
}

void TestFieldRpmChart::dragToValue()
{
    const int index = 3; // 2000 1/min
    QSignalSpy edited(view_.get(), &FieldRpmChart::curveEdited);
    const QPoint start = Pixel(PixelOf(*view_, CurvePointRpm(index), StartPoints[index]));
    Press(start);
    QVERIFY(view_->CurveDragActive());

    // The horizontal position does not matter: move to another column.
    const QPointF target = PixelOf(*view_, 3000, 55.7);
    const QPoint pos = Pixel(target);
    Move(pos);
    QVERIFY(edited.count() >= 1);

    const CurvePoints points = view_->Points();
    const double y = points[index];
    QVERIFY2(std::abs(y - 55.7) <= ValuePerPixel(*view_) / 2 + 1e-9, qPrintable(QString::number(y)));
    // The value is the axis value at the mouse row, not rounded.
    QCOMPARE(y, view_->ValueAtPixelY(pos.y()));
    QVERIFY(y != std::round(y));
    QCOMPARE(view_->SeriesAt(FieldRpmChart::CurveSeries).points[index].x(), 2000.0);
    for (int i = 0; i < FieldRpmPointCount; ++i)
        if (i != index)
            QCOMPARE(points[std::size_t(i)], StartPoints[std::size_t(i)]);

    Release(pos);
    QVERIFY(!view_->CurveDragActive());
    QCOMPARE(CurvePointLabel(view_->Points()[index]), QStringLiteral("56"));
    QCOMPARE(int(CurveFromPoints(view_->Points())[index]), 55);
}

void TestFieldRpmChart::dragIsLimited_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("y");
    QTest::addColumn<double>("expected");
    QTest::newRow("far above") << 2 << -500 << 100.0;
    QTest::newRow("just above the widget") << 9 << -1 << 100.0;
    QTest::newRow("far below") << 2 << 2000 << 30.0;
    QTest::newRow("bottom edge of the widget") << 11 << 368 << 30.0;
}

void TestFieldRpmChart::dragIsLimited()
{
    QFETCH(int, index);
    QFETCH(int, y);
    QFETCH(double, expected);
    const QPoint start = Pixel(PixelOf(*view_, CurvePointRpm(index), StartPoints[std::size_t(index)]));
    Press(start);
    QVERIFY(view_->CurveDragActive());
    Move(QPoint(start.x(), y));
    QCOMPARE(view_->Points()[std::size_t(index)], expected);
    Release(QPoint(start.x(), y));
}

void TestFieldRpmChart::releaseEndsDrag()
{
    const QPoint start = Pixel(PixelOf(*view_, CurvePointRpm(1), StartPoints[1]));
    Press(start);
    Move(Pixel(PixelOf(*view_, 1000, 70)));
    Release(Pixel(PixelOf(*view_, 1000, 70)));
    QVERIFY(!view_->CurveDragActive());
    const CurvePoints afterDrag = view_->Points();
    QVERIFY(std::abs(afterDrag[1] - 70) < 1);
    Move(Pixel(PixelOf(*view_, 1000, 90)));
    QCOMPARE(view_->Points(), afterDrag);
}

void TestFieldRpmChart::cancelEndsDrag()
{
    const QPoint start = Pixel(PixelOf(*view_, CurvePointRpm(4), StartPoints[4]));
    Press(start);
    QVERIFY(view_->CurveDragActive());
    view_->CancelDrag();
    QVERIFY(!view_->CurveDragActive());
    Move(Pixel(PixelOf(*view_, 2500, 40)));
    QCOMPARE(view_->Points(), StartPoints);
}

void TestFieldRpmChart::valueAtPixelInvertsMapping_data()
{
    QTest::addColumn<double>("value");
    for (double v : {25.0, 30.0, 42.5, 55.7, 77.3, 100.0, 105.0})
        QTest::addRow("%g", v) << v;
}

void TestFieldRpmChart::valueAtPixelInvertsMapping()
{
    QFETCH(double, value);
    const QPointF at = PixelOf(*view_, 3000, value);
    const int row = int(std::lround(at.y()));
    const double back = view_->ValueAtPixelY(row);
    // Within the rounding to a whole pixel.
    QVERIFY2(std::abs(back - value) <= ValuePerPixel(*view_) / 2 + 1e-9, qPrintable(QString::number(back)));
    // And exactly the other way round: the value read at a row is drawn on
    // that row.
    QVERIFY(std::abs(PixelOf(*view_, 3000, back).y() - row) < 1e-6);
    // Higher on the screen is a larger value.
    QVERIFY(view_->ValueAtPixelY(row - 10) > back);
}

QTEST_MAIN(TestFieldRpmChart)
#include "test_gui_field_rpm_chart.moc"
