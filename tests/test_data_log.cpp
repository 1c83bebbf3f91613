#include "logging/data_log.h"
#include "records/ansi_text.h"
#include "rig/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {



// Sets or clears the file system's immutable flag. Needed to make a file
// unwritable for root, whom the permission bits do not stop.
bool SetImmutable(const QString& path, bool on)
{
#ifndef Q_OS_LINUX
    Q_UNUSED(path)
    Q_UNUSED(on)
    return false;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
#endif
}

const QStringList Header{QStringLiteral("Battery Voltage, V"), QStringLiteral("Peer:Regulator State")};
const QStringList Values{QStringLiteral("13.80"), QStringLiteral("Bulk")};

} // namespace

class TestDataLog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void lineBytes_data();
    void lineBytes();
    void codePage_data();
    void codePage();
    void newFileGetsHeaderThenValues();
    void existingFileGetsNoHeader();
    void emptyExistingFileGetsNoHeader();
    void linesAccumulate();
    void sizeLimit_data();
    void sizeLimit();
    void failures_data();
    void failures();
    void readOnlyFile();
    void fullDevice();
    void halfWrittenLineIsTakenBack_data();
    void halfWrittenLineIsTakenBack();

private:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
};

void TestDataLog::init()
{
    QVERIFY(dir_.isValid());
}

void TestDataLog::lineBytes_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("two fields") << QStringList{"a", "b"} << QByteArray("a\tb\t\r\n");
    QTest::newRow("empty field between") << QStringList{"1", "", "3"} << QByteArray("1\t\t3\t\r\n");
    QTest::newRow("last field empty") << QStringList{"1", ""} << QByteArray("1\t\t\r\n");
    QTest::newRow("no fields") << QStringList{} << QByteArray("\r\n");
    QTest::newRow("degree sign one byte") << QStringList{QStringLiteral("Alternator Temperature, \u00B0C")}
                                          << QByteArray("Alternator Temperature, \xB0" "C\t\r\n");
    QTest::newRow("dash for out of range") << QStringList{"-", "12.5"} << QByteArray("-\t12.5\t\r\n");
}

void TestDataLog::lineBytes()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, bytes);
    QCOMPARE(LogLineBytes(fields), bytes);
}

// The log, chat lines and regulator names are 8-bit text of the system's
// code page on Windows (elsewhere Latin-1 read as Windows-1252 has it): the
// bytes of Windows-1252 and of the Cyrillic 1251, both ways.
void TestDataLog::codePage_data()
{
#ifdef Q_OS_WIN
    const unsigned codePage = GetACP();
#else
    const unsigned codePage = 1252;
#endif
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("back"); // the bytes read back give the text
    const auto row = [](const char* name, const char* text, const QByteArray& bytes, bool back) {
        QTest::newRow(name) << QString::fromUtf8(text) << bytes << back;
    };
    row("degree sign", "\u00B0C", "\xB0" "C", true);
    row("not in the code page", "\u03A95", "?5", false);
    if (codePage == 1252) {
        row("euro sign", "\u20AC5", "\x80" "5", true);
        row("Cyrillic", "\u0416\u0443\u043A", "???", false);
    } else if (codePage == 1251) {
        row("euro sign", "\u20AC5", "\x88" "5", true);
        row("Cyrillic", "\u0416\u0443\u043A", "\xC6\xF3\xEA", true);
    } else {
        QSKIP("no rows for this code page");
    }
}

void TestDataLog::codePage()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, back);
    QCOMPARE(LogLineBytes({text}), bytes + "\t\r\n");
    if (back)
        QCOMPARE(FromAnsi(bytes), text);
}

void TestDataLog::newFileGetsHeaderThenValues()
{
    const QString path = Path("new.txt");
    const QStringList header{QStringLiteral("Regulator Temperature, \u00B0C"), QStringLiteral("Peer:Field Output, %")};
    const QStringList values{QStringLiteral("41.0"), QString()};
    QVERIFY(WriteLogLine(path, header, values));
    QCOMPARE(ReadAll(path), QByteArray("Regulator Temperature, \xB0" "C\tPeer:Field Output, %\t\r\n"
                                       "41.0\t\t\r\n"));
}

void TestDataLog::existingFileGetsNoHeader()
{
    const QString path = Path("existing.txt");
    QVERIFY(WriteAll(path, "not a log, no line end"));
    QVERIFY(WriteLogLine(path, Header, Values));
    QCOMPARE(ReadAll(path), QByteArray("not a log, no line end13.80\tBulk\t\r\n"));
}

void TestDataLog::emptyExistingFileGetsNoHeader()
{
    const QString path = Path("empty.txt");
    QVERIFY(WriteAll(path, QByteArray()));
    QVERIFY(WriteLogLine(path, Header, Values));
    QCOMPARE(ReadAll(path), QByteArray("13.80\tBulk\t\r\n"));
}

void TestDataLog::linesAccumulate()
{
    const QString path = Path("three.txt");
    QVERIFY(WriteLogLine(path, Header, {"1", "a"}));
    QVERIFY(WriteLogLine(path, Header, {"2", "b"}));
    QVERIFY(WriteLogLine(path, Header, {"3", "c"}));
    QCOMPARE(ReadAll(path), QByteArray("Battery Voltage, V\tPeer:Regulator State\t\r\n"
                                       "1\ta\t\r\n2\tb\t\r\n3\tc\t\r\n"));
}

void TestDataLog::sizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("appended");
    QTest::newRow("one byte short of the limit") << qint64(268435327) << true;
    QTest::newRow("at the limit") << qint64(268435328) << false;
    QTest::newRow("past the limit") << qint64(268435328 + 1000) << false;
}

void TestDataLog::sizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, appended);
    QCOMPARE(LogSizeLimitBlocks * LogBlockSize, qint64(268435328));

    const QString path = Path("big.txt");
    {
        // Sparse: takes no real space.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(f.resize(size));
    }
    QString failure;
    QCOMPARE(WriteLogLine(path, Header, Values, &failure), appended);
    QCOMPARE(failure, appended ? QString() : QStringLiteral("the log has reached its size limit of 268435328 bytes"));
    const qint64 expected = appended ? size + LogLineBytes(Values).size() : size;
    QCOMPARE(QFileInfo(path).size(), expected);
    if (appended) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.seek(size));
        QCOMPARE(f.readAll(), LogLineBytes(Values));
    }
    QFile::remove(path);
}

void TestDataLog::failures_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason"); // the start of what the failure says
    QTest::newRow("missing folder") << "missing" << "the file could not be created (";
    QTest::newRow("a folder") << "folder" << "the file could not be opened";
    QTest::newRow("path through a file") << "through-file" << "the file could not be created (";
}

void TestDataLog::failures()
{
    QFETCH(QString, what);
    QFETCH(QString, reason);
    QString path;
    if (what == "missing") {
        path = Path("no/such/folder/log.txt");
    } else if (what == "folder") {
        path = Path("sub");
        QVERIFY(QDir(dir_.path()).mkdir("sub"));
    } else {
        QVERIFY(WriteAll(Path("plain"), "x"));
        path = Path("plain/log.txt");
    }
    QString failure;
    QVERIFY(!WriteLogLine(path, Header, Values, &failure));
    QVERIFY2(failure.startsWith(reason), qPrintable(failure));
    if (what == "missing")
        QVERIFY(!QFileInfo::exists(Path("no")));
    if (what == "through-file")
        QCOMPARE(ReadAll(Path("plain")), QByteArray("x"));
}

void TestDataLog::readOnlyFile()
{
    const QString path = Path("readonly.txt");
    QVERIFY(WriteAll(path, "header\t\r\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

    // Root ignores the permission bits; the immutable flag holds for root too.
    struct Guard {
        QString path;
        bool immutable = false;
        ~Guard()
        {
            if (immutable)
                SetImmutable(path, false);
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    } guard{path};
    {
        QFile probe(path);
        if (probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            probe.close();
            guard.immutable = SetImmutable(path, true);
            if (!guard.immutable)
                QSKIP("cannot make a file unwritable for this user on this file system");
        }
    }

    QVERIFY(!WriteLogLine(path, Header, Values));
    QCOMPARE(ReadAll(path), QByteArray("header\t\r\n"));
}

void TestDataLog::fullDevice()
{
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full on this system");
    QString failure;
    QVERIFY(!WriteLogLine("/dev/full", Header, Values, &failure));
    QVERIFY2(failure.startsWith(QStringLiteral("the line could not be written (")), qPrintable(failure));
}

void TestDataLog::halfWrittenLineIsTakenBack_data()
{
    QTest::addColumn<QByteArray>("before"); // the file's content; null: no file yet
    QTest::newRow("value line cut short") << QByteArray("first\t\r\n");
    // A header cut short would have the next value line glued to it: the
    // file that call created goes again.
    QTest::newRow("header cut short") << QByteArray();
}

void TestDataLog::halfWrittenLineIsTakenBack()
{
    // A file size limit a few bytes above the present size lets the kernel
    // take only the start of the line, as a disk that fills up mid-write
    // would. The writer must report failure and leave the file as it was.
#ifndef Q_OS_LINUX
    QSKIP("file size limits are set this way on Linux only");
#else
    QFETCH(QByteArray, before);
    const QString path = Path(before.isNull() ? "new-limited.txt" : "limited.txt");
    if (!before.isNull())
        QVERIFY(WriteAll(path, before));

    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct Restore {
        rlimit limit;
        void (*handler)(int);
        ~Restore()
        {
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, handler);
        }
    } restore{old, oldHandler};

    rlimit tight = old;
    tight.rlim_cur = rlim_t(before.size() + 5);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &tight) == 0);
    const bool ok = WriteLogLine(path, Header, {QStringLiteral("13.80"), QStringLiteral("Bulk")});
    ::setrlimit(RLIMIT_FSIZE, &old);

    QVERIFY(!ok);
    if (before.isNull())
        QVERIFY(!QFile::exists(path));
    else
        QCOMPARE(ReadAll(path), before);
#endif
}

QTEST_GUILESS_MAIN(TestDataLog)
#include "test_data_log.moc"
