// The trends of the last hour and the data log viewer: the bounded buffer, its
// figures and CSV, the Trends window fed by the window update, and a one-day
// log read back and drawn reduced.
#include "support/gui_suite.h"
#include "support/test_support.h"
#include "trends/data_log_reader.h"
#include "trends/log_viewer_widget.h"
#include "trends/trends_widget.h"

#include <QtTest>

#include <cmath>

namespace {

SystemStateRecord State(float volts, uint16_t fieldOutput)
{
    SystemStateRecord r;
    r.SetBatteryVoltage(volts);
    r.SetFieldOutput(fieldOutput);
    r.SetRegulatorName("Port");
    return r;
}

} // namespace

class TrendsTest : public GuiSuite {
    Q_OBJECT
private slots:
    void bufferKeepsTheLastHour()
    {
        TrendBuffer buffer;
        for (int s = 0; s < 3700; ++s)
            buffer.Add(s, State(12.0f + float(s % 10) / 10.0f, 1250), SystemStateRecord(), 1);
        QCOMPARE(int(buffer.Samples().size()), 3600);
        QCOMPARE(buffer.Samples().front().seconds, 100.0);
        const TrendSample& last = buffer.Samples().back();
        QCOMPARE(TrendBuffer::Value(last, TrendQuantity::FieldOutput, false), 50.0); // 1250 / 25
        // The aux input measures the alternator here: no battery temperature.
        QVERIFY(std::isnan(TrendBuffer::Value(last, TrendQuantity::BatteryTemperature, false)));
        QVERIFY(std::isnan(TrendBuffer::Value(last, TrendQuantity::BatteryVoltage, true))); // no peer
        const TrendStats stats = buffer.Stats(TrendQuantity::BatteryVoltage, false, 3690);
        QCOMPARE(stats.count, 10);
        QCOMPARE(stats.minimum, double(12.0f));
        QCOMPARE(stats.maximum, double(12.9f));
        QVERIFY(buffer.Csv(3699, false).startsWith(
            QStringLiteral("Seconds,\"Battery Voltage, V\",\"Regulation Target, V\",\"Battery Current, A\",")));
        QVERIFY(buffer.Csv(3699, false).section(QLatin1Char('\n'), 1, 1).startsWith(QStringLiteral("3699.0,12.9,")));
    }

    // The window update feeds the Trends window; a span shows its minutes,
    // a pause holds the plots, the peer comes on its check box.
    void trendsWindowFollowsTheWindowUpdate()
    {
        GuiRig& rig = Rig();
        TMainFormKrv& w = rig.W();
        rig.clock.SetStepSeconds(0);
        rig.Connect();
        w.Ui().Trends->trigger();
        auto* trends = w.findChild<TrendsWindow*>(QStringLiteral("TrendsWindow"));
        QVERIFY(trends);
        const auto second = [&] {
            w.USBTimerTimer();
            rig.clock.AdvanceSeconds(1);
            w.SystemStateTimerTimer();
        };
        for (int s = 0; s < 90; ++s)
            second();
        QCOMPARE(int(w.TrendValues().Samples().size()), 90);
        QCOMPARE(trends->PointCount(TrendQuantity::BatteryVoltage), 90);
        // Through an outage the trends get a gap, not the last values again.
        rig.sim.NoAnswer = true;
        second();
        second();
        QVERIFY(std::isnan(TrendBuffer::Value(w.TrendValues().Samples().back(), TrendQuantity::BatteryVoltage, false)));
        QCOMPARE(w.TrendValues().Stats(TrendQuantity::BatteryVoltage, false, 0).count, 90);
        rig.sim.NoAnswer = false;
        trends->SetSpanMinutes(1);
        QCOMPARE(trends->PointCount(TrendQuantity::BatteryVoltage), 59); // 61 seconds, 2 of them a gap
        trends->SetPaused(true);
        const QString held = QString::number(w.TrendValues().LatestSeconds(), 'f', 1) + QLatin1Char(',');
        rig.clock.AdvanceSeconds(1);
        w.SystemStateTimerTimer();
        QCOMPARE(trends->PointCount(TrendQuantity::BatteryVoltage), 59);
        QVERIFY(trends->StatsText().contains(QStringLiteral("Battery Voltage, V: min ")));
        QVERIFY(trends->ReadoutAt(w.TrendValues().LatestSeconds()).startsWith(QStringLiteral("0 s before now: ")));
        trends->SetPeerShown(true);
        QVERIFY(trends->StatsText().contains(QStringLiteral("Peer: Battery Voltage, V")));
        const QString csv = TempPath(QStringLiteral("trends.csv"));
        QVERIFY(trends->ExportCsv(csv));
        QCOMPARE(ReadAll(csv).count('\n'), 1 + 61);
        // The export is the held span, though a sample came in since.
        QVERIFY(QString::fromUtf8(ReadAll(csv)).section(QLatin1Char('\n'), -2, -2).startsWith(held));
        QVERIFY(trends->ExportPng(TempPath(QStringLiteral("trends.png"))));
        trends->close();
    }

    // Peaks survive the reduction, however far the view is zoomed out.
    void minMaxDecimation_data()
    {
        QTest::addColumn<int>("buckets");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("points");
        QTest::newRow("whole day into 500 columns") << 500 << 0 << 86399 << 1000;
        QTest::newRow("a zoomed stretch is drawn whole") << 500 << 40000 << 40099 << 100;
    }
    void minMaxDecimation()
    {
        QFETCH(int, buckets);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, points);
        std::vector<double> values(86400);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = std::sin(double(i) / 500.0);
        values[40050] = 99; // a single spike
        const QList<QPointF> reduced = MinMaxDecimate(values, first, last, buckets);
        QCOMPARE(int(reduced.size()), points);
        QVERIFY(std::any_of(reduced.begin(), reduced.end(), [](const QPointF& p) { return p.y() == 99; }));
    }

    // A one-day log with a damaged line: the line is named, the rest plotted.
    void oneDayLogWithABadLine()
    {
        QByteArray log("Battery Voltage, V\tStatus\tRunning Time\tEngine RPM, 1/min\t\r\n");
        for (int s = 0; s < 86400; ++s) {
            log += QByteArray::number(13.0 + (s % 100) / 100.0, 'f', 2) + "\tBulk\t1:2:3\t"
                   + QByteArray::number(1000 + s % 100 * 10) + "\t\r\n";
            if (s == 15)
                log += "13.1\t\r\n";
        }
        const QString path = TempPath(QStringLiteral("day.txt"));
        QVERIFY(WriteAll(path, log));
        DataLogViewer viewer;
        QString failure;
        QVERIFY2(viewer.Open(path, &failure), qPrintable(failure));
        QCOMPARE(viewer.Content().lines, 86400);
        QCOMPARE(viewer.ProblemsText(), QStringLiteral("86400 lines; not plotted: Line 18: 1 fields instead of 4"));
        QCOMPARE(viewer.PlottableColumns(), (QStringList{"Battery Voltage, V", "Engine RPM, 1/min"}));
        // The bad line is a gap of one second: the values after it keep their time.
        QVERIFY(std::isnan(viewer.Content().values[0][16]));
        QCOMPARE(viewer.Content().values[0][17], 13.16);
        // The battery voltage is shown without a tick.
        QVERIFY(viewer.PointCount(QStringLiteral("Battery Voltage, V")) >= 100);
        QVERIFY(viewer.PointCount(QStringLiteral("Battery Voltage, V")) <= 2 * 1000);
        viewer.ShowRange(100, 199);
        QCOMPARE(viewer.PointCount(QStringLiteral("Battery Voltage, V")), 100);
        // Each ticked column on a scale of its own around its values.
        viewer.SetColumnShown(QStringLiteral("Engine RPM, 1/min"), true);
        const auto volts = viewer.ScaleOf(QStringLiteral("Battery Voltage, V"));
        const auto rpm = viewer.ScaleOf(QStringLiteral("Engine RPM, 1/min"));
        QVERIFY(volts.first > 12.5 && volts.second < 14.5);
        QVERIFY(rpm.first > 900 && rpm.second < 2100);
        QVERIFY(!viewer.Open(TempPath(QStringLiteral("missing.txt")), &failure));
    }
};

QTEST_MAIN(TrendsTest)
#include "test_trends.moc"
