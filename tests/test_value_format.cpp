// Cell text of record values, with a point and with a comma separator.
#include "time/clock.h"
#include "rig/test_support.h"
#include "views/value_format.h"

#include <QtTest>


#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

class ValueFormatTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void fixed_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (const QString& loc : {QStringLiteral("C"), QStringLiteral("de_DE")}) {
            const QString sep = loc == QLatin1String("C") ? QStringLiteral(".") : QStringLiteral(",");
            auto row = [&](const char* name, int d, double v, QString t) {
                QTest::addRow("%s %s", qPrintable(loc), name) << loc << d << v << t.replace(QLatin1Char('.'), sep);
            };
            row("0.125", 2, 0.125, "0.13");
            row("-0.005", 2, -0.005, "-0.01");
            row("-0.004", 2, -0.004, "0.00");
            row("zero 4", 4, 0.0, "0.0000");
            row("upper bound", 2, 1000000.0, "1000000.00");
            row("lower bound", 2, -1000000.0, "-1000000.00");
            row("beyond", 2, 1000000.1, "-");
            row("next above", 2, std::nextafter(1000000.0, 2e6), "-");
            row("next below", 2, std::nextafter(-1000000.0, -2e6), "-");
            row("round 2.5", 0, 2.5, "3");
            row("round -2.5", 0, -2.5, "-3");
            row("round -0.4", 0, -0.4, "0");
            row("round 1023", 0, 1023.0, "1023");
            row("carry", 2, 9.999, "10.00");
            row("carry into a new digit", 0, 999999.5, "1000000");
            row("carry from below one", 1, 0.96, "1.0");
            row("limit", 2, -1000000.0, "-1000000.00");
            row("six", 6, 1.0123456, "1.012346");
            row("three", 3, 2.0005, "2.001");
            row("nan", 2, nan, "-");
            row("nan 0", 0, nan, "-");
            row("inf", 6, inf, "-");
            row("-inf", 3, -inf, "-");
            row("single widened", 2, double(13.8f), "13.80");
            row("tiny", 4, 1e-300, "0.0000");
            row("negative tiny", 4, -1e-300, "0.0000");
        }
    }
    void fixed()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        QFETCH(int, decimals);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FormatFixed(decimals, value), text);
    }

    // Values within a few units in the last place of a half at the shown
    // decimals (where rounding the scaled value and rounding the digits could
    // part), and ordinary readings: each against its 18-digit decimal
    // expansion rounded half away from zero by hand. Seeded, so a failure
    // repeats.
    void fixedNearHalves()
    {
        std::mt19937_64 random(20261210);
        for (int n = 0; n < 200000; ++n) {
            const int decimals = int(random() % 7);
            double value = (double(int64_t(random() % 2000000) - 1000000) + 0.5) / std::pow(10.0, decimals);
            for (int step = int(random() % 7) - 3; step != 0; step += step > 0 ? -1 : 1)
                value = std::nextafter(value, step > 0 ? 1e300 : -1e300);
            if (n % 2)
                value = double(float(value)); // a reading as the regulator sends it
            char expansion[40];
            std::snprintf(expansion, sizeof expansion, "%.17e", std::fabs(value));
            QByteArray digits = QByteArray(expansion).left(19).remove(1, 1); // 18 digits
            const int keep = std::atoi(std::strchr(expansion, 'e') + 1) + 1 + decimals;
            QByteArray scaled = keep <= 0 ? QByteArray() : digits.left(keep);
            if (keep >= 0 && keep < 18 && digits[keep] >= '5') {
                int i = int(scaled.size()) - 1;
                for (; i >= 0 && scaled[i] == '9'; --i)
                    scaled[i] = '0';
                i >= 0 ? void(++scaled[i]) : void(scaled.prepend('1'));
            }
            scaled = QByteArray(std::max(0, decimals + 1 - int(scaled.size())), '0') + scaled;
            QByteArray expected = scaled.left(scaled.size() - decimals);
            if (decimals > 0)
                expected += '.' + scaled.right(decimals);
            if (value < 0 && scaled.count('0') != scaled.size())
                expected.prepend('-');
            QCOMPARE(FormatFixed(decimals, value), QString::fromLatin1(expected));
        }
    }

    void rounded()
    {
        QCOMPARE(FormatRounded(2.5), QStringLiteral("3"));
        QCOMPARE(FormatRounded(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("-"));
    }

    void integer_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("above") << qint64(1000001) << "-";
        QTest::newRow("lower bound") << qint64(-1000000) << "-1000000";
        QTest::newRow("below") << qint64(-1000001) << "-";
        QTest::newRow("frs 65535") << qint64(-655350) << "-655350";
        QTest::newRow("zero") << qint64(0) << "0";
    }
    void integer()
    {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(FormatInteger(value), text);
    }

    void runningTime_data()
    {
        QTest::addColumn<quint32>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "0:0:0";
        QTest::newRow("3725") << 3725u << "1:2:5";
        QTest::newRow("86399") << 86399u << "23:59:59";
        QTest::newRow("90061") << 90061u << "25:1:1";
        QTest::newRow("max") << 4294967295u << "1193046:28:15";
    }
    void runningTime()
    {
        QFETCH(quint32, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatRunningTime(seconds), text);
    }

    void bits()
    {
        QVERIFY(IsBitSet(0x40000001u, 0));
        QVERIFY(IsBitSet(0x40000001u, 30));
        QVERIFY(!IsBitSet(0x40000001u, 31));
        QVERIFY(IsBitSet(0x1u, 32)); // taken modulo 32
        QCOMPARE(FieldPercent(1249), 49u);
        QCOMPARE(FieldPercent(24), 0u);
    }

    void delayHandlesEventsAndEnds()
    {
        ManualClock clock(46000.0);
        clock.SetStepSeconds(0.25);
        bool handled = false;
        QTimer::singleShot(0, [&] { handled = true; });
        DelaySeconds(1.0, clock);
        QVERIFY(handled);
        // Readings at 0, .25, .5, .75, 1.0 (not more than 1 s), 1.25: done.
        QVERIFY(clock.Now() - 46000.0 > 1.0 * OneSecond);
    }

    // The remote settings waits handle no events, yet leave the processor
    // free: half a second of real waiting costs a small part of that in CPU.
    void busyWaitDoesNotSpin()
    {
        bool handled = false;
        QTimer::singleShot(0, [&] { handled = true; });
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        BusyWaitSeconds(0.5);
        QVERIFY(wall.elapsed() >= 450); // the wall clock and the day count tick apart
        QVERIFY(!handled);
        QVERIFY2(ProcessCpuSeconds() - cpuBefore < 0.1, "the wait kept a core busy");
    }
};

QTEST_GUILESS_MAIN(ValueFormatTest)
#include "test_value_format.moc"
