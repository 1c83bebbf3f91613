// The plotting layer: where an axis puts its ticks and labels, how pixels
// and values map, and that a gap in a series is drawn as a gap.
#include "plot/plot_widget.h"

#include <QtTest>

#include <cmath>

class PlotTest : public QObject {
    Q_OBJECT
private slots:
    void ticks_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("step"); // 0: chosen for 5 ticks
        QTest::addColumn<double>("anchor");
        QTest::addColumn<QString>("ticks");
        QTest::newRow("engine speed") << 450.0 << 6100.0 << 1000.0 << 1000.0 << "1000 2000 3000 4000 5000 6000";
        QTest::newRow("field limit") << 25.0 << 105.0 << 10.0 << 30.0 << "30 40 50 60 70 80 90 100";
        QTest::newRow("volts, at most five parts") << 12.9 << 14.1 << 0.0 << 0.0 << "13 13.5 14";
        QTest::newRow("volts, a wider span") << 12.1 << 14.9 << 0.0 << 0.0 << "13 14";
        QTest::newRow("around zero") << -7.0 << 12.0 << 0.0 << 0.0 << "-5 0 5 10";
        QTest::newRow("ends on ticks") << 0.0 << 1.0 << 0.25 << 0.0 << "0 0.25 0.5 0.75 1";
    }
    void ticks()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, step);
        QFETCH(double, anchor);
        QFETCH(QString, ticks);
        QStringList got;
        for (double v : PlotTicks(low, high, step > 0 ? step : NicePlotStep(high - low, 5), anchor))
            got << QString::number(v);
        QCOMPARE(got.join(QLatin1Char(' ')), ticks);
    }

    void clockLabels()
    {
        // 10 minutes into 5 parts: every 2 minutes, on whole local minutes.
        QCOMPARE(NiceClockStep(600000, 5), 120000.0);
        QCOMPARE(PlotTickLabel(3723000, 0, true, 3600000), QStringLiteral("02:02:03"));
        QCOMPARE(PlotTickLabel(-1000, 0, true, 0), QStringLiteral("23:59:59"));
    }

    // Values and pixels map both ways; a value without a number breaks the line.
    void gapsAreNotBridged()
    {
        PlotWidget plot;
        plot.resize(400, 300);
        PlotWidget::Axis x;
        x.high = 10;
        plot.SetXAxis(x);
        PlotWidget::Axis y;
        y.high = 10;
        plot.SetYAxes({y});
        PlotWidget::Series s;
        s.pen = QPen(Qt::red, 3);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        s.points = {{0, 5}, {3, 5}, {4, nan}, {7, 5}, {10, 5}};
        plot.AddSeries(s);
        QCOMPARE(plot.PointCount(0), 4);
        const QPointF at = plot.ToPixel(QPointF(5, 5));
        QCOMPARE(plot.ToValue(at), QPointF(5, 5));
        const QImage image = plot.Picture();
        const auto red = [&](double value) {
            const QPoint p = plot.ToPixel(QPointF(value, 5)).toPoint();
            return image.pixelColor(p).red() > 200 && image.pixelColor(p).green() < 80;
        };
        QVERIFY(red(1.5));
        QVERIFY(red(8.5));
        QVERIFY(!red(5)); // between 3 and 7 there is no value
    }
};

QTEST_MAIN(PlotTest)
#include "test_gui_plot.moc"
