#include "records/snapshot_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(SnapshotLoad::Status)

namespace {

// Byte i of the file is a function of i, so any shift or mix-up of the
// record parts shows.
QByteArray PatternBytes(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 31 + 7) & 0xFF);
    return b;
}

} // namespace

class TestSnapshotFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void fileNames_data();
    void fileNames();
    void sizes_data();
    void sizes();
    void partsLandInTheirRecords();
    void firstFourBytesDoNotMatter();
    void shortFileErrorText();
    void emptyFileIsInvalid();
    void unreadable_data();
    void unreadable();

private:
    QTemporaryDir dir_;
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(dir_.path()).filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
};

void TestSnapshotFile::init()
{
    QVERIFY(dir_.isValid());
}

void TestSnapshotFile::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow(".txt") << "snap.txt" << true;
    QTest::newRow(".TXT") << "snap.TXT" << true;
    QTest::newRow(".TxT") << "snap.TxT" << true;
    QTest::newRow("last extension counts") << "snap.krv.txt" << true;
    QTest::newRow("dots in folder") << "a.b/snap.txt" << true;
    QTest::newRow(".krv") << "settings.krv" << false;
    QTest::newRow("no extension") << "snapshot" << false;
    QTest::newRow("txt without dot") << "snaptxt" << false;
    QTest::newRow("name is txt") << "txt" << false;
    QTest::newRow("name is TXT") << "TXT" << false;
    QTest::newRow("hidden .txt") << ".txt" << true;
    QTest::newRow("txt as earlier extension") << "snap.txt.bak" << false;
    QTest::newRow("trailing dot") << "snap.txt." << false;
    QTest::newRow(".text") << "snap.text" << false;
    QTest::newRow(".tx") << "snap.tx" << false;
    QTest::newRow("folder with .txt, file without") << "dir.txt/snap" << false;
}

void TestSnapshotFile::fileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QCOMPARE(IsSnapshotFileName(name), accepted);

    // The loader applies the same rule to real files of a valid size.
    const QString path = QDir(dir_.path()).filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    Write(name, PatternBytes(1104));
    const SnapshotLoad load = LoadSnapshotFile(path);
    QCOMPARE(load.status, accepted ? SnapshotLoad::Loaded : SnapshotLoad::Ignored);
    QVERIFY(load.errorText.isEmpty());
}

void TestSnapshotFile::sizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<SnapshotLoad::Status>("status");
    QTest::newRow("1104") << 1104 << SnapshotLoad::Loaded;
    QTest::newRow("1103") << 1103 << SnapshotLoad::Invalid;
    QTest::newRow("5000") << 5000 << SnapshotLoad::Loaded;
    QTest::newRow("1105") << 1105 << SnapshotLoad::Loaded;
    QTest::newRow("540, a settings file renamed") << 540 << SnapshotLoad::Invalid;
}

void TestSnapshotFile::sizes()
{
    QFETCH(int, size);
    QFETCH(SnapshotLoad::Status, status);
    const QByteArray bytes = PatternBytes(size);
    const SnapshotLoad load = LoadSnapshotFile(Write("s.txt", bytes));
    QCOMPARE(load.status, status);
    if (status == SnapshotLoad::Loaded) {
        QCOMPARE(load.record.ToByteArray(), bytes.left(1104));
        QVERIFY(load.errorText.isEmpty());
    } else {
        QVERIFY(!load.errorText.isEmpty());
    }
}

void TestSnapshotFile::partsLandInTheirRecords()
{
    const QByteArray bytes = PatternBytes(5000);
    const SnapshotLoad load = LoadSnapshotFile(Write("parts.TXT", bytes));
    QCOMPARE(load.status, SnapshotLoad::Loaded);
    QCOMPARE(load.record.OwnState().ToByteArray(), bytes.mid(4, 280));
    QCOMPARE(load.record.PeerState().ToByteArray(), bytes.mid(284, 280));
    QCOMPARE(load.record.Settings().ToByteArray(), bytes.mid(564, 540));
}

void TestSnapshotFile::firstFourBytesDoNotMatter()
{
    QByteArray a = PatternBytes(1104);
    QByteArray b = a;
    b[0] = char(0xFF);
    b[1] = char(0x00);
    b[2] = 'K';
    b[3] = char(0x80);
    const SnapshotLoad la = LoadSnapshotFile(Write("a.txt", a));
    const SnapshotLoad lb = LoadSnapshotFile(Write("b.txt", b));
    QCOMPARE(la.status, SnapshotLoad::Loaded);
    QCOMPARE(lb.status, SnapshotLoad::Loaded);
    QVERIFY(la.record.OwnState() == lb.record.OwnState());
    QVERIFY(la.record.PeerState() == lb.record.PeerState());
    QVERIFY(la.record.Settings() == lb.record.Settings());
}

void TestSnapshotFile::shortFileErrorText()
{
    const QString path = Write("short.txt", PatternBytes(1103));
    const SnapshotLoad load = LoadSnapshotFile(path);
    QCOMPARE(load.status, SnapshotLoad::Invalid);
    QVERIFY(QFileInfo(path).isAbsolute());
    QCOMPARE(load.errorText, QStringLiteral("File \"") + QDir::toNativeSeparators(path)
                                 + QStringLiteral("\" does not contain valid K-ROVA data"));
}

void TestSnapshotFile::emptyFileIsInvalid()
{
    const SnapshotLoad load = LoadSnapshotFile(Write("empty.txt", QByteArray()));
    QCOMPARE(load.status, SnapshotLoad::Invalid);
}

void TestSnapshotFile::unreadable_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("folder named .txt") << "folder";
}

void TestSnapshotFile::unreadable()
{
    QFETCH(QString, what);
    const QString path = QDir(dir_.path()).filePath(what + ".txt");
    if (what == "folder")
        QVERIFY(QDir().mkpath(path));
    const SnapshotLoad load = LoadSnapshotFile(path);
    QCOMPARE(load.status, SnapshotLoad::Ignored);
    QVERIFY(load.errorText.isEmpty());
}

QTEST_GUILESS_MAIN(TestSnapshotFile)
#include "test_snapshot_file.moc"
