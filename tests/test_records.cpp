// Record layouts and the settings file.
#include "records/settings_file.h"
#include "records/settings_record.h"
#include "records/snapshot_record.h"
#include "records/system_state_record.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
SettingsRecord Patterned()
{
    SettingsRecord r;
    for (std::size_t i = 0; i < r.Size; ++i)
        r.Data()[i] = uint8_t(i * 31 + 7);
    return r;
}
QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}
} // namespace

class RecordsTest : public QObject {
    Q_OBJECT
private slots:
    void stateFieldsAtTheirOffsets()
    {
        SystemStateRecord r;
        r.Data()[4] = 0x01;
        r.Data()[7] = 0x40;
        QCOMPARE(r.StatusFlags(), 0x40000001u);
        r.Data()[222] = 0xFF;
        r.Data()[223] = 0xFF;
        QCOMPARE(r.FrsValue(), uint16_t(65535));
        r.SetF32(192 + 8, 1850.0f);
        QCOMPARE(r.ChannelAt(Channel::EngineRpm).Value, 1850.0f);
        r.SetF32(36 + 4, 0.4f);
        QCOMPARE(r.ChannelAt(Channel::BPlusVoltage).Signal, 0.4f);
        r.Data()[252] = 7;
        QCOMPARE(r.RegulatorStatus(), uint8_t(7));
    }

    void regulatorName()
    {
        SystemStateRecord r;
        std::memcpy(r.Data() + 8, "ABCDEFGHIJKLMNOPQRS", 16);
        QCOMPARE(r.RegulatorName(), QByteArray("ABCDEFGHIJKLMNOP")); // no zero: ends at the field
        r.Data()[11] = 0;
        QCOMPARE(r.RegulatorName(), QByteArray("ABC"));
    }

    void settingsProfilesAndCurve()
    {
        SettingsRecord s = Patterned();
        const ChargeProfile p3 = s.Profile(3);
        QVERIFY(std::equal(p3.Data(), p3.Data() + 32, s.Data() + 348));
        FieldRpmCurve c = s.Curve();
        QCOMPARE(c[7], s.Data()[530]);
        c[7] = 99;
        s.SetCurve(c);
        QCOMPARE(int(s.Data()[530]), 99);
        ChargeProfile p;
        p.SetU16(ChargeProfile::WarmUpDurationAt, 600);
        s.SetProfile(7, p);
        QCOMPARE(s.U16(252 + 7 * 32), uint16_t(600));
        QCOMPARE(int(s.Data()[251]), int(Patterned().Data()[251])); // neighbours untouched
    }

    void snapshotParts()
    {
        SnapshotRecord snap;
        for (std::size_t i = 0; i < snap.Size; ++i)
            snap.Data()[i] = uint8_t(i);
        QCOMPARE(int(snap.OwnState().Data()[0]), 4);
        QCOMPARE(int(snap.PeerState().Data()[0]), 284 & 0xFF);
        QCOMPARE(int(snap.Settings().Data()[0]), 564 & 0xFF);
    }

    void settingsFileRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("boat.krv"));
        const SettingsRecord saved = Patterned();
        QVERIFY(SaveSettingsFile(path, saved).ok);
        QCOMPARE(ReadAll(path), saved.ToByteArray());
        SettingsRecord loaded;
        QVERIFY(LoadSettingsFile(path, loaded).ok);
        QCOMPARE(loaded, saved);
    }

    void settingsFileLengths_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("539") << 539 << false;
        QTest::newRow("540") << 540 << true;
        QTest::newRow("541") << 541 << true;
        QTest::newRow("empty") << 0 << false;
    }
    void settingsFileLengths()
    {
        QFETCH(int, length);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.krv"));
        QByteArray bytes(length, '\0');
        for (int i = 0; i < length; ++i)
            bytes[i] = char(i * 3 + 1);
        WriteAll(path, bytes);
        SettingsRecord record = Patterned();
        const SettingsRecord before = record;
        const FileOutcome outcome = LoadSettingsFile(path, record);
        QCOMPARE(outcome.ok, ok);
        if (outcome.ok) {
            QCOMPARE(record.ToByteArray(), bytes.left(540));
        } else {
            QCOMPARE(outcome.message, QStringLiteral("Stream read error"));
            QCOMPARE(record, before);
        }
    }

    void settingsFileErrors()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("nope.krv"));
        SettingsRecord record;
        FileOutcome load = LoadSettingsFile(missing, record);
        QVERIFY(!load.ok);
        QVERIFY2(load.message.startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(missing)), qPrintable(load.message));
        QVERIFY(load.message.size() > missing.size() + 22);

        const QString badDir = dir.filePath(QStringLiteral("no/such/folder/x.krv"));
        FileOutcome save = SaveSettingsFile(badDir, record);
        QVERIFY(!save.ok);
        QVERIFY2(save.message.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(badDir)), qPrintable(save.message));
    }

    void fullDiskReportsWriteError()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        const FileOutcome outcome = SaveSettingsFile(QStringLiteral("/dev/full"), Patterned());
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.message, QStringLiteral("Stream write error"));
        QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "test_records.moc"
