#include "canbus/can_frame_format.h"
#include "canbus/can_line_buffer.h"

#include <QtTest>

namespace {

CanFrameRecord Frame(uint8_t kind, uint32_t id, uint8_t length, const QList<uint8_t>& data = {})
{
    CanFrameRecord f;
    f.SetFrameKind(kind);
    f.SetFrameIdentifier(id);
    f.SetFrameDataLength(length);
    for (int i = 0; i < data.size() && i < CanFrameRecord::MaxDataBytes; ++i)
        f.SetFrameData(i, data[i]);
    return f;
}

const QString T = QStringLiteral("\t");

} // namespace

class TestCanFormat : public QObject {
    Q_OBJECT

private slots:
    void workedExample_data();
    void workedExample();
    void kindTexts_data();
    void kindTexts();
    void lengthZeroPieces_data();
    void lengthZeroPieces();
    void longFramePrintsEightBytes_data();
    void longFramePrintsEightBytes();
    void largestIdentifier_data();
    void largestIdentifier();
    void byteExtremes();
    void reservedBytesIgnored();
    void fetchLines_data();
    void fetchLines();
};

void TestCanFormat::workedExample_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hex") << true
                         << QStringLiteral("Standard data frame\t\t2 bytes\tID=0x00000123\tb0=0x01\tb1=0xAB\t");
    QTest::newRow("decimal") << false << QStringLiteral("Standard data frame\t\t2 bytes\tID=291\tb0=1\tb1=171\t");
}

void TestCanFormat::workedExample()
{
    QFETCH(bool, hex);
    QFETCH(QString, expected);
    QCOMPARE(FormatCanFrame(Frame(2, 0x123, 2, {0x01, 0xAB}), hex), expected);
}

void TestCanFormat::kindTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tabs");
    QTest::newRow("0") << 0 << "Raw frame" << 3;
    QTest::newRow("1") << 1 << "Error frame" << 3;
    QTest::newRow("2") << 2 << "Standard data frame" << 2;
    QTest::newRow("3") << 3 << "Standard RTR frame" << 2;
    QTest::newRow("4") << 4 << "Extended data frame" << 2;
    QTest::newRow("5") << 5 << "Extended RTR frame" << 2;
    QTest::newRow("6") << 6 << "N2K message" << 3;
    QTest::newRow("7") << 7 << "Fast packed N2K message" << 2;
    QTest::newRow("8") << 8 << "Multi-frame (FP) N2K message" << 1;
    QTest::newRow("9") << 9 << "Multi-frame (TP) N2K message" << 1;
    QTest::newRow("10 has none") << 10 << "" << 0;
    QTest::newRow("128 has none") << 128 << "" << 0;
    QTest::newRow("255 has none") << 255 << "" << 0;
}

void TestCanFormat::kindTexts()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(int, tabs);
    QCOMPARE(CanFrameKindText(uint8_t(kind)), text);
    QCOMPARE(CanFrameKindTabs(uint8_t(kind)), tabs);
    // The line starts with the kind text, exactly that many tabs, then the
    // length piece.
    const QString line = FormatCanFrame(Frame(uint8_t(kind), 7, 1, {0x20}), true);
    QCOMPARE(line, text + QString(tabs, QLatin1Char('\t')) + "1 bytes\tID=0x00000007\tb0=0x20\t");
}

void TestCanFormat::lengthZeroPieces_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hex") << true << QStringLiteral("Standard RTR frame\t\t0 bytes\tID=0x0000ABCD\t");
    QTest::newRow("decimal") << false << QStringLiteral("Standard RTR frame\t\t0 bytes\tID=43981\t");
}

void TestCanFormat::lengthZeroPieces()
{
    // Formatting itself does not skip empty slots; it just prints no byte
    // pieces. Stale data bytes of the slot must not show.
    QFETCH(bool, hex);
    QFETCH(QString, expected);
    QCOMPARE(FormatCanFrame(Frame(3, 0xABCD, 0, {0x11, 0x22}), hex), expected);
}

void TestCanFormat::longFramePrintsEightBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("expected");
    const QString hexBytes = "b0=0x00\tb1=0x11\tb2=0x22\tb3=0x33\tb4=0x44\tb5=0x55\tb6=0x66\tb7=0x77\t";
    const QString decBytes = "b0=0\tb1=17\tb2=34\tb3=51\tb4=68\tb5=85\tb6=102\tb7=119\t";
    QTest::newRow("8 hex") << 8 << true << "Fast packed N2K message\t\t8 bytes\tID=0x09F80100\t" + hexBytes;
    QTest::newRow("12 hex") << 12 << true << "Fast packed N2K message\t\t12 bytes\tID=0x09F80100\t" + hexBytes;
    QTest::newRow("12 decimal") << 12 << false << "Fast packed N2K message\t\t12 bytes\tID=167248128\t" + decBytes;
    QTest::newRow("255 decimal") << 255 << false << "Fast packed N2K message\t\t255 bytes\tID=167248128\t" + decBytes;
    QTest::newRow("7 stops at b6") << 7 << false
                                   << "Fast packed N2K message\t\t7 bytes\tID=167248128\tb0=0\tb1=17\tb2=34\tb3=51\tb4=68\tb5=85\tb6=102\t";
}

void TestCanFormat::longFramePrintsEightBytes()
{
    QFETCH(int, length);
    QFETCH(bool, hex);
    QFETCH(QString, expected);
    const CanFrameRecord f = Frame(7, 0x09F80100, uint8_t(length), {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
    QCOMPARE(FormatCanFrame(f, hex), expected);
}

void TestCanFormat::largestIdentifier_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("expected");
    QTest::newRow("kind 10 hex") << 10 << true << "1 bytes\tID=0xFFFFFFFF\tb0=0xFE\t";
    QTest::newRow("kind 10 decimal") << 10 << false << "1 bytes\tID=4294967295\tb0=254\t";
    QTest::newRow("kind 4 hex") << 4 << true << "Extended data frame\t\t1 bytes\tID=0xFFFFFFFF\tb0=0xFE\t";
    QTest::newRow("kind 4 decimal") << 4 << false << "Extended data frame\t\t1 bytes\tID=4294967295\tb0=254\t";
}

void TestCanFormat::largestIdentifier()
{
    QFETCH(int, kind);
    QFETCH(bool, hex);
    QFETCH(QString, expected);
    QCOMPARE(FormatCanFrame(Frame(uint8_t(kind), 0xFFFFFFFFu, 1, {0xFE}), hex), expected);
}

void TestCanFormat::byteExtremes()
{
    const CanFrameRecord f = Frame(0, 0, 3, {0x00, 0x0F, 0xFF});
    QCOMPARE(FormatCanFrame(f, true), "Raw frame\t\t\t3 bytes\tID=0x00000000\tb0=0x00\tb1=0x0F\tb2=0xFF\t");
    QCOMPARE(FormatCanFrame(f, false), "Raw frame\t\t\t3 bytes\tID=0\tb0=0\tb1=15\tb2=255\t");
}

void TestCanFormat::reservedBytesIgnored()
{
    CanFrameRecord f = Frame(2, 0x123, 2, {0x01, 0xAB});
    const QString clean = FormatCanFrame(f, true);
    for (std::size_t off : {1, 2, 3, 9, 10, 11})
        f.SetU8(off, 0xFF);
    QCOMPARE(FormatCanFrame(f, true), clean);
}

void TestCanFormat::fetchLines_data()
{
    QTest::addColumn<int>("firstLength");
    QTest::addColumn<int>("secondLength");
    QTest::addColumn<QStringList>("expected");
    const QString a1 = "Standard data frame\t\t1 bytes\tID=0x00000100\tb0=0x0A\t";
    const QString b2 = "Extended data frame\t\t2 bytes\tID=0x00000200\tb0=0x0B\tb1=0x0C\t";
    QTest::newRow("both") << 1 << 2 << QStringList{a1, b2};
    QTest::newRow("first only") << 1 << 0 << QStringList{a1};
    QTest::newRow("second only") << 0 << 2 << QStringList{b2};
    QTest::newRow("none") << 0 << 0 << QStringList{};
}

void TestCanFormat::fetchLines()
{
    QFETCH(int, firstLength);
    QFETCH(int, secondLength);
    QFETCH(QStringList, expected);
    const CanFrameRecord a = Frame(2, 0x100, uint8_t(firstLength), {0x0A});
    const CanFrameRecord b = Frame(4, 0x200, uint8_t(secondLength), {0x0B, 0x0C});
    QCOMPARE(LinesForFetch(a, b, true), expected);
}

QTEST_GUILESS_MAIN(TestCanFormat)
#include "test_can_format.moc"
