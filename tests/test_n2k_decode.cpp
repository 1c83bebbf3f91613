// The NMEA 2000 line beside a frame of the "CAN bus" page. Each row is a
// frame worked out by hand: identifier and bytes as they travel, and the
// line an electrician reads.
#include "canbus/n2k_decode.h"

#include <QtTest>

namespace {

CanFrameRecord Frame(uint8_t kind, uint32_t id, uint8_t length, const QByteArray& data)
{
    CanFrameRecord f;
    f.SetFrameKind(kind);
    f.SetFrameIdentifier(id);
    f.SetFrameDataLength(length);
    for (int i = 0; i < data.size() && i < CanFrameRecord::MaxDataBytes; ++i)
        f.SetFrameData(i, uint8_t(data[i]));
    return f;
}

const QString Battery = QStringLiteral("P6 PGN 127508 Battery Status  src 35 \u2192 all  | ");

} // namespace

class TestN2kDecode : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void describe_data();
    void describe();
    void linesForFetch();
};

void TestN2kDecode::describe_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("id");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    const QString c = QStringLiteral("C");
    auto bytes = [](const char* hex) { return QByteArray::fromHex(hex); };

    // 127508: signed 0.01 V and 0.1 A, 0.01 K shown in degrees C.
    QTest::newRow("battery status") << 6 << 0x19F21423u << 8 << bytes("004805D6FF687404") << c
                                    << Battery + QStringLiteral("battery 0: 13.52 V, -4.2 A, 24.85 \u00B0C, SID 4");
    QTest::newRow("battery status, comma locale")
        << 6 << 0x19F21423u << 8 << bytes("004805D6FF687404") << QStringLiteral("de_DE")
        << Battery + QStringLiteral("battery 0: 13,52 V, -4,2 A, 24,85 \u00B0C, SID 4");
    QTest::newRow("battery status, not available and out of range")
        << 6 << 0x19F21423u << 8 << bytes("01FF7FFE7FFFFFFF") << c
        << Battery
               + QStringLiteral("battery 1: voltage not available, current out of range, temperature not available, "
                                "SID not available");
    // All ones in a signed field is -1, not "not available".
    QTest::newRow("battery status, signed extremes")
        << 6 << 0x19F21423u << 8 << bytes("02FFFF0080000000") << c
        << Battery + QStringLiteral("battery 2: -0.01 V, -3276.8 A, -273.15 \u00B0C, SID 0");
    QTest::newRow("identifier bits above 29 ignored")
        << 6 << 0xF9F21423u << 8 << bytes("004805D6FF687404") << c
        << Battery + QStringLiteral("battery 0: 13.52 V, -4.2 A, 24.85 \u00B0C, SID 4");
    QTest::newRow("battery status, short frame")
        << 6 << 0x19F21423u << 4 << bytes("00480500") << c << Battery + QStringLiteral("short frame (4 bytes), not decoded");

    QTest::newRow("engine rapid update")
        << 6 << 0x09F20010u << 8 << bytes("00211CF503FBFFFF") << c
        << QStringLiteral("P2 PGN 127488 Engine Parameters, Rapid Update  src 16 \u2192 all  | engine 0: 1800.25 rpm, "
                          "boost 101.3 kPa, tilt/trim -5 %");
    QTest::newRow("engine rapid update, not available")
        << 6 << 0x09F20010u << 8 << bytes("01FFFFFFFF7FFFFF") << c
        << QStringLiteral("P2 PGN 127488 Engine Parameters, Rapid Update  src 16 \u2192 all  | engine 1: speed not "
                          "available, boost not available, tilt/trim not available");
    // 127751: the current is 24 bits, 0.01 A, after a 16-bit voltage.
    QTest::newRow("dc voltage/current")
        << 6 << 0x19F30723u << 8 << bytes("09018D0040F2FFFF") << c
        << QStringLiteral("P6 PGN 127751 DC Voltage/Current  src 35 \u2192 all  | connection 1: 14.1 V, -35.20 A, SID 9");
    QTest::newRow("dc voltage/current, not available")
        << 6 << 0x19F30723u << 8 << bytes("FF00FFFFFFFF7FFF") << c
        << QStringLiteral("P6 PGN 127751 DC Voltage/Current  src 35 \u2192 all  | connection 0: voltage not available, "
                          "current not available, SID not available");
    QTest::newRow("temperature")
        << 6 << 0x15FD0823u << 8 << bytes("0700038B793B7EFF") << c
        << QStringLiteral("P5 PGN 130312 Temperature  src 35 \u2192 all  | instance 0, engine room: 38.00 \u00B0C, "
                          "set 50.00 \u00B0C, SID 7");
    QTest::newRow("temperature, no set point")
        << 6 << 0x15FD0823u << 8 << bytes("070200856FFFFFFF") << c
        << QStringLiteral("P5 PGN 130312 Temperature  src 35 \u2192 all  | instance 2, sea: 12.34 \u00B0C, set not "
                          "available, SID 7");
    QTest::newRow("temperature, unnamed source")
        << 6 << 0x15FD0823u << 8 << bytes("0700C88B79FFFFFF") << c
        << QStringLiteral("P5 PGN 130312 Temperature  src 35 \u2192 all  | instance 0, source 200: 38.00 \u00B0C, set "
                          "not available, SID 7");
    // 130316: 24 bits of 0.001 K, the set point in 0.1 K.
    QTest::newRow("temperature extended range")
        << 6 << 0x15FD0C23u << 8 << bytes("01000EB0770A401C") << c
        << QStringLiteral("P5 PGN 130316 Temperature Extended Range  src 35 \u2192 all  | instance 0, exhaust gas: "
                          "412.850 \u00B0C, set 450.05 \u00B0C, SID 1");
    QTest::newRow("temperature extended range, not available")
        << 6 << 0x15FD0C23u << 8 << bytes("01000EFFFFFFFFFF") << c
        << QStringLiteral("P5 PGN 130316 Temperature Extended Range  src 35 \u2192 all  | instance 0, exhaust gas: "
                          "actual not available, set not available, SID 1");
    QTest::newRow("heartbeat") << 6 << 0x1DF01123u << 8 << bytes("60EA05C0FFFFFFFF") << c
                               << QStringLiteral("P7 PGN 126993 Heartbeat  src 35 \u2192 all  | interval 60000 ms, sequence 5");

    // PDU1: the destination in the identifier, the PGN's low byte 0.
    QTest::newRow("iso request") << 6 << 0x18EA2305u << 3 << bytes("14F001") << c
                                 << QStringLiteral("P6 PGN 59904 ISO Request  src 5 \u2192 35  | requests PGN 126996 "
                                                   "Product Information");
    QTest::newRow("iso request, unknown pgn")
        << 6 << 0x18EA2305u << 3 << bytes("00FF00") << c
        << QStringLiteral("P6 PGN 59904 ISO Request  src 5 \u2192 35  | requests PGN 65280");
    QTest::newRow("address claim")
        << 6 << 0x18EEFF23u << 8 << bytes("40E201FF008D46C0") << c
        << QStringLiteral("P6 PGN 60928 ISO Address Claim  src 35 \u2192 all  | unique number 123456, manufacturer "
                          "2040, device instance 0, function 141 (DC Generator/Alternator), class 35 (Electrical "
                          "Generation), system instance 0, industry 4 (Marine), arbitrary address capable");
    // Every field at its edge, the spare bit set.
    QTest::newRow("address claim, field edges")
        << 6 << 0x18EEFF23u << 8 << bytes("FFFF3F001D82330F") << c
        << QStringLiteral("P6 PGN 60928 ISO Address Claim  src 35 \u2192 all  | unique number 2097151, manufacturer 1, "
                          "device instance 29, function 130, class 25 (Internetwork device), system instance 15, "
                          "industry 0 (Global), fixed address");
    QTest::newRow("PDU1 named, no decoding") << 6 << 0x18E80A23u << 8 << bytes("0000000000000000") << c
                                             << QStringLiteral("P6 PGN 59392 ISO Acknowledgement  src 35 \u2192 10");
    QTest::newRow("PDU1 unknown") << 6 << 0x18D52342u << 2 << bytes("0102") << c
                                  << QStringLiteral("P6 PGN 54528  src 66 \u2192 35");
    QTest::newRow("PDU2 unknown") << 6 << 0x1CFF0A42u << 8 << bytes("0102030405060708") << c
                                  << QStringLiteral("P7 PGN 65290  src 66 \u2192 all");

    // Of a multi-frame message only the first eight bytes arrive.
    QTest::newRow("fast-packet kind") << 8 << 0x19F01423u << 134 << bytes("00861408E9035240") << c
                                      << QStringLiteral("P6 PGN 126996 Product Information  src 35 \u2192 all  | "
                                                        "fast-packet, not decoded");
    QTest::newRow("fast-packet PGN in a single frame")
        << 6 << 0x19F21283u << 1 << bytes("FF") << c
        << QStringLiteral("P6 PGN 127506 DC Detailed Status  src 131 \u2192 all  | fast-packet, not decoded");
    QTest::newRow("transport protocol") << 9 << 0x19F01423u << 134 << bytes("0102030405060708") << c
                                        << QStringLiteral("P6 PGN 126996 Product Information  src 35 \u2192 all  | "
                                                          "multi-frame (TP), not decoded");
    QTest::newRow("extended data frame is not decoded") << 4 << 0x19F21423u << 8 << bytes("004805D6FF687404") << c
                                                        << QStringLiteral("-");
}

void TestN2kDecode::describe()
{
    QFETCH(int, kind);
    QFETCH(uint, id);
    QFETCH(int, length);
    QFETCH(QByteArray, data);
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(DescribeN2kFrame(Frame(uint8_t(kind), id, uint8_t(length), data)), expected);
}

void TestN2kDecode::linesForFetch()
{
    // An empty slot gives no line, as it gives none on the page.
    const CanFrameRecord empty = Frame(6, 0x19F21423u, 0, QByteArray::fromHex("004805D6FF687404"));
    const CanFrameRecord ack = Frame(6, 0x18E80A23u, 8, QByteArray(8, 0));
    const QString ackLine = QStringLiteral("P6 PGN 59392 ISO Acknowledgement  src 35 \u2192 10");
    QCOMPARE(N2kLinesForFetch(empty, ack), QStringList{ackLine});
    QCOMPARE(N2kLinesForFetch(ack, empty), QStringList{ackLine});
    QCOMPARE(N2kLinesForFetch(ack, Frame(2, 0x123, 1, "A")), (QStringList{ackLine, QStringLiteral("-")}));
    QCOMPARE(N2kLinesForFetch(empty, empty), QStringList());
}

QTEST_MAIN(TestN2kDecode)
#include "test_n2k_decode.moc"
