// The trends of the last hour and the data log viewer: the bounded buffer, its
// figures and CSV, the Trends window fed by the window update, and a one-day
// log read back and drawn reduced.
#include "rig/gui_suite.h"
#include "plot/plot_widget.h"
#include "rig/test_support.h"
#include "trends/data_log_reader.h"
#include "trends/log_viewer_widget.h"
#include "trends/trends_widget.h"
#include "records/demo_records.h"

#include <QLabel>
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
        // Every value axis reads off: four to eight distinct labels. The
        // readout follows the pointer over a plot and goes when it leaves.
        auto* readout = trends->findChild<QLabel*>(QStringLiteral("TrendsReadout"));
        QVERIFY(readout);
        for (PlotWidget* plot : trends->findChildren<PlotWidget*>()) {
            QStringList labels = plot->TickLabels(0);
            QVERIFY2(labels.size() >= 4 && labels.size() <= 8 && labels.removeDuplicates() == 0,
                     qPrintable(labels.join(QLatin1Char(' '))));
            QTest::mouseMove(plot, plot->PlotArea().center().toPoint());
            QVERIFY(readout->text().contains(QStringLiteral(" s before now: ")));
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(plot, &leave);
            QCOMPARE(readout->text(), QStringLiteral("Point at a plot to read its values."));
        }
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
        QCOMPARE(viewer.ProblemsText(), QStringLiteral("86400 lines; Line 18 has 1 field instead of 4 and was skipped"));
        QCOMPARE(viewer.PlottableColumns(), (QStringList{"Battery Voltage, V", "Engine RPM, 1/min"}));
        // The bad line is a gap of one second: the values after it keep their time.
        QCOMPARE(viewer.Content().seconds[15], 15);
        QCOMPARE(viewer.Content().seconds[16], 17);
        QCOMPARE(viewer.Content().values[0][16], 13.16f);
        QCOMPARE(viewer.Content().StoredValues(), 4 * 86400);
        // The battery voltage is shown without a tick.
        QVERIFY(viewer.PointCount(QStringLiteral("Battery Voltage, V")) >= 100);
        QVERIFY(viewer.PointCount(QStringLiteral("Battery Voltage, V")) <= 2 * 1000);
        viewer.ShowRange(100, 199);
        QCOMPARE(viewer.PointCount(QStringLiteral("Battery Voltage, V")), 100);
        viewer.ShowRange(10, 20); // 11 seconds, one of them the bad line
        QCOMPARE(viewer.PointCount(QStringLiteral("Battery Voltage, V")), 10);
        // Each ticked column on a scale of its own around its values.
        viewer.SetColumnShown(QStringLiteral("Engine RPM, 1/min"), true);
        const auto volts = viewer.ScaleOf(QStringLiteral("Battery Voltage, V"));
        const auto rpm = viewer.ScaleOf(QStringLiteral("Engine RPM, 1/min"));
        QVERIFY(volts.first > 12.5 && volts.second < 14.5);
        QVERIFY(rpm.first > 900 && rpm.second < 2100);
        QVERIFY(!viewer.Open(TempPath(QStringLiteral("missing.txt")), &failure));
    }

    // A file that is no data log, or none with values, opens no empty plot.
    void notADataLog_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("failure");
        const QString notALog = QStringLiteral("This file is not a data log: ");
        QByteArray binary;
        for (int i = 0; i < 1024; ++i)
            binary += char(i * 7);
        QTest::newRow("empty") << QByteArray() << notALog + "it is empty.";
        QTest::newRow("text") << QByteArray("Shopping list\r\nrope\r\n")
                              << notALog + "its first line does not name columns separated by tabs.";
        QTest::newRow("snapshot") << DemoSnapshot().ToByteArray() << notALog + "it holds binary data, not text.";
        QTest::newRow("binary") << binary << notALog + "it holds binary data, not text.";
        QTest::newRow("no line ends") << QByteArray(100000, 'x') << notALog + "its first line is longer than 64 KiB.";
        QTest::newRow("10000 columns, 20000 empty lines")
            << QByteArray("x\t").repeated(10000) + QByteArray("\r\n").repeated(20000)
            << notALog + "its first line names 10000 columns, more than the 200 a data log can have.";
        QTest::newRow("no line of the header's width")
            << QByteArray("A\tB\t\r\n1\t\r\n\r\n")
            << notALog + "none of its 2 lines after the first has the 2 fields the first line names.";
        QTest::newRow("header only") << QByteArray("A\tB\t\r\n")
                                     << QStringLiteral("This data log holds no values: it has only its first line, the column names.");
    }
    void notADataLog()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, failure);
        const QString path = TempPath(QStringLiteral("not-a-log.txt"));
        QVERIFY(WriteAll(path, file));
        DataLogViewer viewer;
        QString said;
        QVERIFY(!viewer.Open(path, &said));
        QCOMPARE(said, failure);
    }

    // Lines too long, too wide or empty are skipped or cut and told in the
    // status line; memory is spent on the values taken only.
    void logLineProblems_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("lastSecond");
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<float>("lastB");
        const QByteArray header("A\tB\t\r\n");
        const QByteArray line("1\t2\t\r\n");
        QTest::newRow("one line") << header + line << "1 line" << 1 << 0 << qint64(2) << 2.0f;
        QTest::newRow("two lines") << header + line + line << "2 lines" << 2 << 1 << qint64(4) << 2.0f;
        QTest::newRow("over-long line") << header + line + QByteArray(70000, '7') + "\t\r\n" + line
                                        << "2 lines; Line 3 is longer than 64 KiB and was skipped" << 3 << 2 << qint64(4) << 2.0f;
        QTest::newRow("no line end after a line") << header + line + QByteArray(300000, '5')
                                                  << "1 line; Line 3 is longer than 64 KiB and was skipped" << 2 << 0
                                                  << qint64(2) << 2.0f;
        QTest::newRow("wider than the header")
            << header + line + "4\t5\t3\t\r\n7\t8\t9\t\r\n"
            << "3 lines; Lines 3 to 4 have 3 fields, more than the 2 columns the first line names: they were cut to 2"
            << 3 << 2 << qint64(6) << 8.0f;
        QTest::newRow("200 columns, a line, 20000 empty lines")
            << QByteArray("c\t").repeated(200) + "\r\n" + QByteArray("1\t").repeated(200) + "\r\n"
                   + QByteArray("\r\n").repeated(20000)
            << "1 line; Lines 3 to 20002 are empty and were skipped" << 20001 << 0 << qint64(200) << 1.0f;
        QTest::newRow("more faults than are told")
            << header + line + QByteArray("1\t\r\n\r\n").repeated(6)
            << "1 line; Line 3 has 1 field instead of 2 and was skipped; Line 4 is empty and was skipped; "
               "Line 5 has 1 field instead of 2 and was skipped; Line 6 is empty and was skipped; "
               "Line 7 has 1 field instead of 2 and was skipped; Line 8 is empty and was skipped; "
               "Line 9 has 1 field instead of 2 and was skipped; Line 10 is empty and was skipped; "
               "Line 11 has 1 field instead of 2 and was skipped; Line 12 is empty and was skipped; "
               "2 more lines skipped or cut"
            << 13 << 0 << qint64(2) << 2.0f;
    }
    void logLineProblems()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, status);
        QFETCH(int, seconds);
        QFETCH(int, lastSecond);
        QFETCH(qint64, stored);
        QFETCH(float, lastB);
        const QString path = TempPath(QStringLiteral("faults.txt"));
        QVERIFY(WriteAll(path, file));
        DataLogViewer viewer;
        QString failure;
        QVERIFY2(viewer.Open(path, &failure), qPrintable(failure));
        QCOMPARE(viewer.ProblemsText(), status);
        QCOMPARE(viewer.Content().totalSeconds, seconds);
        QCOMPARE(viewer.Content().seconds.back(), lastSecond);
        QCOMPARE(viewer.Content().StoredValues(), stored);
        // A line cut to the header's width keeps its first fields.
        QCOMPARE(viewer.Content().values[1].back(), lastB);
    }
};

QTEST_MAIN(TrendsTest)
#include "test_trends.moc"
