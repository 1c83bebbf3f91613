// krova-cli run as a process against its simulated regulator: every command,
// both output forms, the exit statuses, bad input, and files that are never
// left half-written.
#include "records/settings_record.h"
#include "rig/test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString dataHome_ = QStringLiteral("data");

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Backups go to a folder of the test's own.
        env.insert(QStringLiteral("XDG_DATA_HOME"), Path(dataHome_));
        return env;
    }

    Run Cli(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(qEnvironmentVariable("KROVA_CLI"), args);
        Run r;
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
#ifdef Q_OS_WIN
        // Text output ends its lines the Windows way.
        r.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        r.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
        return r;
    }

    // The demo's backups folder: below XDG_DATA_HOME, which the tool is given;
    // on Windows in the user's roaming application data (%APPDATA%).
    static QString BackupsFolder(const QString& dataHome)
    {
#ifdef Q_OS_WIN
        Q_UNUSED(dataHome);
        return qEnvironmentVariable("APPDATA") + QStringLiteral("/Norvelle K-ROVA X Utility v7 (demo)/backups");
#else
        return dataHome + QStringLiteral("/Norvelle K-ROVA X Utility v7 (demo)/backups");
#endif
    }
    QStringList Backups() const { return QDir(BackupsFolder(Path(dataHome_))).entryList(QDir::Files); }

    // The demo settings with another device name.
    QString OtherSettings()
    {
        QByteArray bytes = ReadAll(SourceDir() + QStringLiteral("/examples/demo_settings.krv"));
        bytes.replace(2, 16, QByteArray("Stbd engine").leftJustified(16, '\0'));
        const QString path = Path(QStringLiteral("stbd.krv"));
        WriteAll(path, bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QDir(BackupsFolder(Path(dataHome_))).removeRecursively();
        QVERIFY2(QFileInfo(qEnvironmentVariable("KROVA_CLI")).isExecutable(), "KROVA_CLI names no program");
        WriteAll(Path(QStringLiteral("short.krv")), QByteArray(539, 'x'));
        WriteAll(Path(QStringLiteral("long.krv")),
                 ReadAll(SourceDir() + QStringLiteral("/examples/demo_settings.krv")) + "README");
    }

    // Exit status, and lines (or parts of lines) that stdout and stderr hold.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("err");
        const QString demo = SourceDir() + QStringLiteral("/examples/demo_settings.krv");
        QTest::newRow("version") << QStringList{"--version"} << 0 << QStringList{"krova-cli 7.0\n"} << QStringList{};
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << QStringList{"Usage: krova-cli [--demo] COMMAND", "  settings reset [--yes]"}
                              << QStringList{};
        QTest::newRow("list") << QStringList{"--demo", "list"} << 0
                              << QStringList{"sim:/regulator/0\tNorvelle\tK-ROVA X\n"} << QStringList{};
        QTest::newRow("state") << QStringList{"--demo", "state"} << 0
                               << QStringList{"Measured Values\n  Measured Parameter                  Value    Signal, V  ADC count\n",
                                              "\n  Reference Voltage, V                2.500    2.5000     3102\n",
                                              "\n  Detected System Voltage, V  12\n",
                                              "\n  Status Code                 0x0000000F\n",
                                              "\nRegulator State\n  Regulator Parameter      Value\n  Running Time             1:23:4",
                                              "\n  Status                   Bulk\n",
                                              "\nSystem Messages\n  Regulator Name: Port engine\n"}
                               << QStringList{};
        QTest::newRow("peer state") << QStringList{"--demo", "state", "--peer"} << 0
                                    << QStringList{"  Aux Temperature, \u00B0C", "  Field Output, %",
                                                   "  Regulator Name: Stbd engine\n"}
                                    << QStringList{};
        QTest::newRow("settings show") << QStringList{"settings", "show", demo} << 0
                                       << QStringList{"System settings\n  Device Version                             7\n"
                                                      "  Device Name                                Port engine\n",
                                                      "  Warning Battery Voltage, V                 15.00\n",
                                                      "\nProfile 7 - Custom #3\n", "\nField/RPM curve\n  500 1/min   30\n",
                                                      "  6000 1/min  100\n"}
                                       << QStringList{};
        QTest::newRow("settings show at 24 V") << QStringList{"settings", "show", demo, "--voltage", "24"} << 0
                                               << QStringList{"  Warning Battery Voltage, V                 30.00\n"}
                                               << QStringList{};
        QTest::newRow("settings diff, same") << QStringList{"settings", "diff", demo, demo} << 0
                                             << QStringList{"No differences\n"} << QStringList{};
        QTest::newRow("settings diff, different") << QStringList{"settings", "diff", demo, OtherSettings()} << 1
                                                  << QStringList{"System settings\tDevice Name\tPort engine\tStbd engine\n"}
                                                  << QStringList{};
#ifdef Q_OS_LINUX
        QTest::newRow("no regulator") << QStringList{"list"} << 1 << QStringList{}
                                      << QStringList{"No regulator found\nIf it is plugged in: without the udev rule "
                                                     "(70-krova-regulator.rules"};
#endif
        QTest::newRow("longer file shown with a warning")
            << QStringList{"settings", "show", Path("long.krv")} << 0 << QStringList{"  Device Name "}
            << QStringList{"long.krv has 546 bytes, but a settings file has 540 bytes: only its first 540 bytes are taken"};
        // Bad usage and bad files: status 2 and one line that says what.
        QTest::newRow("no command") << QStringList{} << 2 << QStringList{}
                                    << QStringList{"krova-cli: no command given\n"};
        QTest::newRow("unknown option") << QStringList{"--demo", "state", "--fast"} << 2 << QStringList{}
                                        << QStringList{"krova-cli: unknown option --fast\n"};
        QTest::newRow("missing argument") << QStringList{"settings", "write"} << 2 << QStringList{}
                                          << QStringList{"krova-cli: usage: krova-cli settings write FILE.krv [--yes] "
                                                         "[--any-size]\n"};
        QTest::newRow("show without a file") << QStringList{"settings", "show", "--json"} << 2 << QStringList{}
                                             << QStringList{"krova-cli: usage: krova-cli settings show FILE.krv"};
        QTest::newRow("restore, file and --last") << QStringList{"settings", "restore", demo, "--last"} << 2
                                                  << QStringList{}
                                                  << QStringList{"krova-cli: usage: krova-cli settings restore "
                                                                 "FILE.krv|--last [--yes]\n"};
        QTest::newRow("unknown command") << QStringList{"settings", "erase"} << 2 << QStringList{}
                                         << QStringList{"krova-cli: unknown command or wrong arguments: settings erase\n"};
        QTest::newRow("voltage 13") << QStringList{"settings", "show", demo, "--voltage", "13"} << 2 << QStringList{}
                                    << QStringList{"krova-cli: --voltage takes 12 or 24\n"};
        QTest::newRow("zero seconds") << QStringList{"--demo", "log", Path("x.txt"), "--seconds", "0"} << 2
                                      << QStringList{}
                                      << QStringList{"krova-cli: --seconds takes a whole number of seconds, 1 or more\n"};
        QTest::newRow("short file") << QStringList{"settings", "show", Path("short.krv")} << 2 << QStringList{}
                                    << QStringList{"short.krv: not a settings file: 539 bytes, a settings file has 540\n"};
        QTest::newRow("longer file not written")
            << QStringList{"--demo", "settings", "write", Path("long.krv"), "--yes"} << 2 << QStringList{}
            << QStringList{"long.krv: not a settings file: 546 bytes, a settings file has 540 (--any-size writes its "
                           "first 540 bytes)\n"};
        QTest::newRow("missing file") << QStringList{"--demo", "settings", "write", Path("none.krv"), "--yes"} << 2
                                      << QStringList{} << QStringList{"none.krv: no such file\n"};
        QTest::newRow("log into a missing folder") << QStringList{"--demo", "log", Path("no/log.txt")} << 2
                                                   << QStringList{} << QStringList{"no: no such folder\n"};
        QTest::newRow("write without a terminal")
            << QStringList{"--demo", "settings", "write", OtherSettings()} << 2
            << QStringList{"Section\tSetting\tRegulator\tstbd.krv\nSystem settings\tDevice Name\tPort engine\tStbd engine\n",
                           "Write these settings to \"Port engine\"? [y/N] "}
            << QStringList{"No terminal to ask on: give --yes to go ahead without asking.\n"};
        // The regulator goes away: status 1.
        QTest::newRow("state, gone") << QStringList{"--demo", "--demo-unplug-after", "0", "state"} << 1 << QStringList{}
                                     << QStringList{"State not read: "};
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, out);
        QFETCH(QStringList, err);
        const Run r = Cli(args);
        QCOMPARE(r.status, status);
        for (const QString& part : out)
            QVERIFY2(r.out.contains(part), qPrintable(QStringLiteral("stdout lacks \"%1\":\n%2").arg(part, r.out)));
        for (const QString& part : err)
            QVERIFY2(r.err.contains(part), qPrintable(QStringLiteral("stderr lacks \"%1\":\n%2").arg(part, r.err)));
        if (status == 2)
            QCOMPARE(r.err.count(QLatin1Char('\n')), err.first().startsWith(QLatin1String("krova-cli:")) ? 2 : 1);
    }

    void jsonForms()
    {
        Run r = Cli({"--demo", "state", "--json"});
        QCOMPARE(r.status, 0);
        const QJsonObject state = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(state["System State"]["Detected System Voltage, V"].toString(), QStringLiteral("12"));
        QCOMPARE(state["Regulator State"]["Status"].toString(), QStringLiteral("Bulk"));
        QCOMPARE(state["Measured Values"]["Reference Voltage, V"]["ADC count"].toString(), QStringLiteral("3102"));
        QCOMPARE(state["System Messages"][0].toString(), QStringLiteral("Regulator Name: Port engine"));
        QCOMPARE(state["raw"]["detectedSystemVoltage"].toInt(), 12);
        QCOMPARE(state["raw"]["statusFlags"].toInt(), 15);
        QCOMPARE(state["raw"]["regulatorName"].toString(), QStringLiteral("Port engine"));

        r = Cli({"settings", "show", OtherSettings(), "--json"});
        QCOMPARE(r.status, 0);
        const QJsonObject settings = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(settings["System settings"]["Device Name"].toString(), QStringLiteral("Stbd engine"));
        QCOMPARE(settings["Profile 1 - AGM"]["Bulk Target Voltage, V"].toString(), QStringLiteral("14.60"));
        QCOMPARE(settings["Field/RPM curve"]["3000 1/min"].toString(), QStringLiteral("62"));
    }

    void settingsFiles()
    {
        // A read saves the regulator's 540 bytes (the demo holds the example file).
        const QString read = Path(QStringLiteral("read.krv"));
        Run r = Cli({"--demo", "settings", "read", read});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(read), ReadAll(SourceDir() + QStringLiteral("/examples/demo_settings.krv")));
        // A regulator that goes away during the read leaves the file as it was.
        WriteAll(read, "kept");
        r = Cli({"--demo", "--demo-unplug-after", "8", "settings", "read", read});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("Settings not read: ")), qPrintable(r.err));
        QCOMPARE(ReadAll(read), QByteArray("kept"));
        // A write and a reset each back up the settings they replace.
        QCOMPARE(Backups().size(), 0);
        r = Cli({"--demo", "settings", "write", OtherSettings(), "--yes"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Settings written to \"Port engine\"; its name is now \"Stbd engine\".")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Read back: the regulator holds exactly the settings written.")),
                 qPrintable(r.out));
        r = Cli({"--demo", "settings", "reset", "--yes"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Settings of \"Port engine\" reset to their default values.\nThe "
                                               "settings they replaced: ")),
                 qPrintable(r.out));
        QStringList kinds;
        for (const QString& name : Backups())
            kinds << name.mid(18); // after "yyyy-MM-dd_HHmmss_"
        kinds.sort();
        QCOMPARE(kinds, (QStringList{"Port-engine_reset.krv", "Port-engine_write.krv"}));
        // A write cut short by the regulator going away says so.
        // Slices went out, so the regulator may hold a mix: not confirmed.
        r = Cli({"--demo", "--demo-unplug-after", "18", "settings", "write", OtherSettings(), "--yes"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("Settings not confirmed: ")), qPrintable(r.err));
        // So does one whose end marker went unanswered (after the state poll,
        // the read and the nine slices); one whose first slice never got
        // through backs nothing up.
        r = Cli({"--demo", "--demo-unplug-after", "23", "settings", "write", OtherSettings(), "--yes"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("Settings not confirmed: ")), qPrintable(r.err));
        const int backups = Backups().size();
        r = Cli({"--demo", "--demo-unplug-after", "14", "settings", "write", OtherSettings(), "--yes"});
        QCOMPARE(r.status, 1);
        QCOMPARE(Backups().size(), backups);
        // The newest backup goes back, through a write that backs up first;
        // one named unread holds no settings of the regulator and is passed by.
        const QString unread = QDir(BackupsFolder(Path(dataHome_))).filePath(QStringLiteral("2099-01-01_000000_Port-engine_write_unread.krv"));
        QVERIFY(WriteAll(unread, ReadAll(OtherSettings())));
        r = Cli({"--demo", "settings", "restore", "--last", "--yes"});
        QVERIFY(QFile::remove(unread));
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("The newest backup: ")) && r.out.contains(QStringLiteral("_Port-engine_write")), qPrintable(r.out));
        QCOMPARE(Backups().filter(QStringLiteral("_restore.krv")).size(), 1);
        // Settings that are not plausible are refused, named, unless --force
        // takes them as the Settings page would store them; so is a file of
        // random bytes, whatever the command.
        QByteArray odd = ReadAll(SourceDir() + QStringLiteral("/examples/demo_settings.krv"));
        odd[SettingsRecord::ActiveChargeProfileAt] = char(14);
        const float hot = 75.0f;
        std::memcpy(odd.data() + SettingsRecord::WarningBatteryTemperatureAt, &hot, 4);
        QVERIFY(WriteAll(Path(QStringLiteral("odd.krv")), odd));
        QByteArray noise(540, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 97 + 13) % 251);
        QVERIFY(WriteAll(Path(QStringLiteral("noise.krv")), noise));
        const int backupsBefore = Backups().size();
        for (const QStringList& args : {QStringList{"settings", "write", Path("odd.krv"), "--yes"},
                                        QStringList{"settings", "write", Path("noise.krv"), "--yes"},
                                        QStringList{"settings", "show", Path("noise.krv")},
                                        QStringList{"settings", "restore", Path("odd.krv"), "--yes"}}) {
            r = Cli(QStringList{"--demo"} + args);
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(QStringLiteral(" holds settings that are not plausible:\n")), qPrintable(r.err));
        }
        r = Cli({"--demo", "settings", "write", Path("odd.krv"), "--yes"});
        QVERIFY2(r.err.contains(QStringLiteral("Warning Battery Temperature, \u00B0C: 75 (the editors store 60)\n"
                                               "Active Charge Profile Number [0..7]: 14 (the editors store 0 - FLA)")),
                 qPrintable(r.err));
        QCOMPARE(Backups().size(), backupsBefore);
        r = Cli({"--demo", "settings", "write", Path("odd.krv"), "--yes", "--force"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains(QStringLiteral("--force: taken as the Settings page would store them.")), qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("Read back: the regulator holds exactly the settings written.")),
                 qPrintable(r.out));
        // A longer file is written when the user says so.
        r = Cli({"--demo", "settings", "write", Path("long.krv"), "--yes", "--any-size"});
        QCOMPARE(r.status, 0);
#ifndef Q_OS_WIN
        // A backup that cannot be made (its folder would be below a file)
        // does not stop the write, and says why instead of naming no file.
        WriteAll(Path(QStringLiteral("plain-file")), "x");
        dataHome_ = QStringLiteral("plain-file");
        r = Cli({"--demo", "settings", "write", OtherSettings(), "--yes"});
        dataHome_ = QStringLiteral("data");
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.startsWith(QStringLiteral("Settings backup not saved: ")), qPrintable(r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("The settings they replaced")), qPrintable(r.out));
#endif
    }

    void logLines()
    {
        // One line a second for the seconds given, after a header line.
        const QString path = Path(QStringLiteral("log.txt"));
        Run r = Cli({"--demo", "log", path, "--seconds", "2"});
        QCOMPARE(r.status, 0);
        QList<QByteArray> lines = ReadAll(path).split('\n');
        QCOMPARE(lines.size(), 4); // header, two lines, and nothing after the last CR LF
        QVERIFY(lines[0].startsWith("B+ Voltage, V\tB- Voltage, V\tBattery Temperature, \xB0" "C\t"));
        QVERIFY(lines[0].endsWith("Peer:Wiring Voltage Drop, V\t\r"));
        QCOMPARE(lines[1].count('\t'), 38);
        QVERIFY(lines[2].contains("\tBulk\t"));

#ifndef Q_OS_WIN
        // SIGTERM ends it after a whole line.
        const QString stopped = Path(QStringLiteral("stopped.txt"));
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.start(qEnvironmentVariable("KROVA_CLI"), {"--demo", "log", stopped});
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(stopped).count('\n') >= 3, 10000);
        p.terminate();
        QVERIFY(p.waitForFinished(2000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray content = ReadAll(stopped);
        QVERIFY(content.endsWith("\t\r\n"));
        for (const QByteArray& line : content.split('\n').mid(1, content.count('\n') - 1))
            QCOMPARE(line.count('\t'), 38);
#endif
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
