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

    // A value axis chosen for its room: hand-worked rows, then a sweep of
    // spans from 0.001 to 100,000 over plots 100 to 1,000 pixels tall. Labels
    // 15 pixels tall may come no closer than 18 pixels.
    void tickChoice_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("labels"); // empty: only the rules are checked
        QTest::newRow("battery volts, 200 px") << 12.9 << 14.1 << 200.0 << "12.5 13.0 13.5 14.0 14.5";
        // The log viewer's old axis read "13.9 13.9 13.9 13.9 13.8" here.
        QTest::newRow("a tenth of a volt, 300 px") << 13.8 << 13.925 << 300.0 << "13.80 13.82 13.84 13.86 13.88 13.90 13.92 13.94";
        QTest::newRow("a flat voltage, 100 px") << 13.95 << 14.05 << 100.0 << "13.96 13.98 14.00 14.02 14.04";
        QTest::newRow("amps around zero") << -7.0 << 12.0 << 400.0 << "-10 -5 0 5 10 15";
        QTest::newRow("neither 2 nor 5 fits the range") << 0.1 << 19.9 << 1000.0 << "0 5 10 15 20";
        QTest::newRow("a thousandth") << 13.8 << 13.801 << 1000.0 << "13.8000 13.8002 13.8004 13.8006 13.8008 13.8010";
        QTest::newRow("rpm, 100 px") << 0.0 << 100000.0 << 100.0 << "0 20000 40000 60000 80000 100000";
        for (const double span : {0.001, 0.0037, 0.02, 0.3, 1.2, 7.9, 19.8, 55.0, 380.0, 2500.0, 12345.0, 100000.0})
            for (const double low : {0.0, 13.87, -3.3})
                for (const double length : {100.0, 160.0, 250.0, 400.0, 700.0, 1000.0})
                    QTest::addRow("%g from %g, %g px", span, low, length) << low << low + span << length << QString();
    }
    void tickChoice()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, length);
        QFETCH(QString, labels);
        const PlotTickChoice c = ChooseValueTicks(low, high, {length, 18, 40}, true);
        QStringList got;
        for (const double v : c.ticks)
            got << PlotTickLabel(v, c.decimals, false, 0);
        const QString text = got.join(QLatin1Char(' '));
        if (!labels.isEmpty())
            QCOMPARE(text, labels);
        QVERIFY2(got.size() >= 4 && got.size() <= 8, qPrintable(text));
        QVERIFY2(got.removeDuplicates() == 0, qPrintable(text));
        const double slack = (high - low) * 1e-9;
        QVERIFY2(c.low <= low + slack && c.high >= high - slack, qPrintable(text)); // the values stay in view
        QVERIFY(length * c.step / (c.high - c.low) >= 18);                         // the labels do not touch
        // A round step, and labels with the decimals it needs, no more.
        const double mantissa = c.step / std::pow(10.0, std::floor(std::log10(c.step) + 1e-9));
        QVERIFY2(qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) || qFuzzyCompare(mantissa, 5.0),
                 qPrintable(QString::number(c.step)));
        const int decimals = got.first().contains(QLatin1Char('.')) ? int(got.first().section(QLatin1Char('.'), 1).size()) : 0;
        QCOMPARE(decimals, c.step >= 1 ? 0 : int(std::lround(-std::log10(c.step / mantissa))));
    }

    // Round times on a clock axis, the date at midnight, no label twice.
    void clockTicks_data()
    {
        QTest::addColumn<double>("lowMs");
        QTest::addColumn<double>("highMs");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("labels");
        const double day = 86400000;
        QTest::newRow("the last minute") << 3600000.0 << 3660000.0 << 800.0
                                         << "01:00:00 01:00:10 01:00:20 01:00:30 01:00:40 01:00:50 01:01:00";
        QTest::newRow("the last 10 minutes") << 3610000.0 << 4210000.0 << 800.0 << "01:02 01:04 01:06 01:08 01:10";
        QTest::newRow("an hour") << 0.5 * day << 0.5 * day + 3600000 << 800.0
                                 << "12:00 12:10 12:20 12:30 12:40 12:50 13:00";
        QTest::newRow("across midnight") << day - 120000 << day + 240000 << 600.0
                                         << "23:58 23:59 2 Jan 00:01 00:02 00:03 00:04";
        QTest::newRow("eight days of log") << 0.0 << 8 * day << 1000.0 << "1 Jan 3 Jan 5 Jan 7 Jan 9 Jan";
    }
    void clockTicks()
    {
        QFETCH(double, lowMs);
        QFETCH(double, highMs);
        QFETCH(double, length);
        QFETCH(QString, labels);
        const PlotTickChoice c = ChooseClockTicks(lowMs, highMs, {length, 60, 100}, 0);
        QStringList got;
        for (const double v : c.ticks)
            got << ClockTickLabel(v, c.step, 0);
        QCOMPARE(got.join(QLatin1Char(' ')), labels);
    }

    // After a zoom no pixel of a curve or a marker lies outside the frame,
    // however far the points run past the range shown.
    void seriesStayInTheFrame()
    {
        PlotWidget plot;
        plot.resize(500, 300);
        PlotWidget::Axis x;
        x.high = 100;
        plot.SetXAxis(x);
        PlotWidget::Axis y;
        y.low = -1;
        y.high = 1;
        plot.SetYAxes({y});
        PlotWidget::Series s;
        s.pen = QPen(Qt::red, 4);
        QImage marker(9, 9, QImage::Format_ARGB32);
        marker.fill(Qt::red);
        s.marker = marker;
        for (int i = -50; i <= 150; ++i)
            s.points.append(QPointF(i, 3 * std::sin(i / 3.0)));
        plot.AddSeries(s);
        // 3 sin(x/3) runs from 2.0 up to 3 and down to 0.5 between 40 and 50.
        plot.SetXRange(40, 50);
        plot.SetYRange(0, 1.5, 2.5);
        const QImage image = plot.Picture();
        const QRect frame = plot.PlotArea().toAlignedRect();
        int inside = 0;
        for (int py = 0; py < image.height(); ++py)
            for (int px = 0; px < image.width(); ++px) {
                const QColor c = image.pixelColor(px, py);
                if (c.red() > 150 && c.green() < 100 && c.blue() < 100) {
                    QVERIFY2(frame.contains(px, py), qPrintable(QStringLiteral("%1,%2").arg(px).arg(py)));
                    ++inside;
                }
            }
        QVERIFY(inside > 100);
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
