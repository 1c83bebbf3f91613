// krova-cli: what the window does with a regulator, for scripts and for a
// computer without a screen. See HelpText below.
#include "cli/cli_commands.h"
#include "device/simulated_regulator.h"
#include "station/application.h"

#include <QCoreApplication>
#include <QMap>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#define KROVA_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KROVA_ISATTY(fd) isatty(fd)
#endif

namespace {

const char HelpText[] =
    "Usage: krova-cli [--demo] COMMAND [ARGUMENT]... [OPTION]...\n"
    "The K-ROVA X regulator on USB without the window: its state, a data log,\n"
    "its settings.\n"
    "\n"
    "Commands:\n"
    "  list                          the regulators found on USB (path, manufacturer, product)\n"
    "  state [--peer] [--json]       one poll: the System State page (or the peer's)\n"
    "  log FILE [--seconds N]        append one line a second to the data log FILE until\n"
    "                                N seconds have passed, or Ctrl+C / SIGTERM\n"
    "  settings read FILE.krv        save the regulator's settings to a settings file\n"
    "  settings write FILE.krv [--yes] [--any-size]\n"
    "                                show what changes, ask, back up the settings the\n"
    "                                regulator holds, and write the file's settings;\n"
    "                                --any-size takes the first 540 bytes of a longer file\n"
    "  settings reset [--yes]        back up, then reset the settings to their defaults\n"
    "  settings restore FILE.krv|--last [--yes]\n"
    "                                as write, for a backup: the file given, or the newest\n"
    "                                backup of the connected regulator\n"
    "  settings show FILE.krv [--json] [--voltage 12|24]\n"
    "                                the settings as the Settings page shows them\n"
    "  settings diff A.krv B.krv [--voltage 12|24]\n"
    "                                the settings in which two files differ\n"
    "\n"
    "Options:\n"
    "  --force      take settings that are not plausible as the Settings page would\n"
    "               store them, and write settings of another device version\n"
    "  --demo       a simulated regulator instead of the one on USB\n"
    "  --demo-unplug-after N\n"
    "               with --demo: the simulated regulator goes away after N requests\n"
    "  --help       show this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 no regulator, it does not answer, or a write it did not\n"
    "confirm by reading it back (settings diff: the files differ), 2 bad usage or a\n"
    "bad file (also settings that are not plausible). Without a terminal, settings\n"
    "write, restore and reset need --yes.\n";

// What each command takes, said when it is given the wrong arguments.
const struct {
    const char* words;
    const char* usage;
} CommandUsage[] = {
    {"list", "list"},
    {"state", "state [--peer] [--json]"},
    {"log", "log FILE [--seconds N]"},
    {"settings read", "settings read FILE.krv"},
    {"settings write", "settings write FILE.krv [--yes] [--any-size]"},
    {"settings reset", "settings reset [--yes]"},
    {"settings restore", "settings restore FILE.krv|--last [--yes]"},
    {"settings show", "settings show FILE.krv [--json] [--voltage 12|24]"},
    {"settings diff", "settings diff A.krv B.krv [--voltage 12|24]"},
};

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int)
{
    stopRequested = true;
}

#ifdef Q_OS_WIN
// Ctrl+C, Ctrl+Break, closing the console window, logging off and shutting
// down all end a log after a whole line.
BOOL WINAPI ConsoleControl(DWORD)
{
    stopRequested = true;
    return TRUE;
}
#endif

// Text for the terminal, a pipe or a file: UTF-8, which holds every
// character. A Windows console is written in its own characters instead
// (its code page is not the system's).
void Print(FILE* stream, const QString& text)
{
#ifdef Q_OS_WIN
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const QString lines = QString(text).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        DWORD written = 0;
        WriteConsoleW(handle, lines.utf16(), DWORD(lines.size()), &written, nullptr);
        return;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The arguments of a command, with its options taken out.
struct Arguments {
    QStringList words;
    QStringList flags;   // --json, --peer, --yes
    QMap<QString, QString> values; // --seconds N, --voltage V
};

int BadUsage(const QString& text)
{
    Print(stderr, QStringLiteral("krova-cli: %1\nTry \"krova-cli --help\".\n").arg(text));
    return CliBadUsage;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help"))) {
        Print(stdout, QString::fromLatin1(HelpText));
        return CliOk;
    }
    if (args.contains(QStringLiteral("--version"))) {
        Print(stdout, QStringLiteral("krova-cli " KROVA_VERSION "\n"));
        return CliOk;
    }

    Arguments a;
    static const QStringList flags = {QStringLiteral("--json"), QStringLiteral("--peer"), QStringLiteral("--yes"),
                                      QStringLiteral("--demo"), QStringLiteral("--any-size"), QStringLiteral("--last"),
                                      QStringLiteral("--force")};
    static const QStringList valued = {QStringLiteral("--seconds"), QStringLiteral("--voltage"),
                                       QStringLiteral("--demo-unplug-after")};
    for (int i = 0; i < args.size(); ++i) {
        const QString& w = args[i];
        if (flags.contains(w)) {
            a.flags << w;
        } else if (valued.contains(w)) {
            if (i + 1 >= args.size())
                return BadUsage(QStringLiteral("%1 needs a value").arg(w));
            a.values.insert(w, args[++i]);
        } else if (w.startsWith(QLatin1String("--"))) {
            return BadUsage(QStringLiteral("unknown option %1").arg(w));
        } else {
            a.words << w;
        }
    }
    const auto number = [&a](const QString& option, int low, int high) -> std::optional<int> {
        bool ok = false;
        const int n = a.values.value(option).toInt(&ok);
        return ok && n >= low && n <= high ? std::optional<int>(n) : std::nullopt;
    };
    std::optional<int> seconds;
    if (a.values.contains(QStringLiteral("--seconds")) && !(seconds = number(QStringLiteral("--seconds"), 1, INT_MAX)))
        return BadUsage(QStringLiteral("--seconds takes a whole number of seconds, 1 or more"));
    uint16_t voltage = 12;
    if (a.values.contains(QStringLiteral("--voltage"))) {
        const std::optional<int> v = number(QStringLiteral("--voltage"), 12, 24);
        if (!v || (*v != 12 && *v != 24))
            return BadUsage(QStringLiteral("--voltage takes 12 or 24"));
        voltage = uint16_t(*v);
    }
    const bool demo = a.flags.contains(QStringLiteral("--demo"));
    std::optional<int> unplugAfter;
    if (a.values.contains(QStringLiteral("--demo-unplug-after"))
        && (!demo || !(unplugAfter = number(QStringLiteral("--demo-unplug-after"), 0, INT_MAX))))
        return BadUsage(QStringLiteral("--demo-unplug-after takes a number of requests, with --demo"));

    // The same data folder (settings backups) as the window, or the demo's.
    QCoreApplication::setApplicationName(demo ? DemoApplicationName() : ApplicationTitle);
    std::unique_ptr<HidBackend> backend;
    if (demo) {
        auto simulated = std::make_unique<SimulatedRegulator>();
        simulated->RecordRequests = false;
        if (unplugAfter)
            simulated->UnplugAfterExchanges = *unplugAfter;
        backend = std::move(simulated);
    } else {
        backend = CreateHidapiBackend();
    }

    const bool terminal = KROVA_ISATTY(0) != 0;
    CliConsole console;
    console.out = [](const QString& text) { Print(stdout, text); };
    console.err = [](const QString& text) { Print(stderr, text.endsWith(QLatin1Char('\n')) ? text : text + '\n'); };
    console.ask = [terminal]() -> std::optional<QString> {
        std::string line;
        if (!terminal || !std::getline(std::cin, line))
            return std::nullopt;
        return QString::fromLocal8Bit(line.c_str());
    };
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
#endif
    CliCommands commands(*backend, console, stopRequested);
    commands.SetForce(a.flags.contains(QStringLiteral("--force")));

    const QStringList& w = a.words;
    const auto expect = [&w](int count) { return w.size() == count; };
    const QString command = w.value(0);
    const QString sub = w.value(1);
    const bool json = a.flags.contains(QStringLiteral("--json"));
    const bool yes = a.flags.contains(QStringLiteral("--yes"));
    if (command == QLatin1String("list") && expect(1))
        return commands.List();
    if (command == QLatin1String("state") && expect(1))
        return commands.State(a.flags.contains(QStringLiteral("--peer")), json);
    if (command == QLatin1String("log") && expect(2))
        return commands.Log(w[1], seconds);
    if (command == QLatin1String("settings")) {
        if (sub == QLatin1String("read") && expect(3))
            return commands.SettingsRead(w[2]);
        if (sub == QLatin1String("write") && expect(3))
            return commands.SettingsWrite(w[2], yes, a.flags.contains(QStringLiteral("--any-size")));
        if (sub == QLatin1String("reset") && expect(2))
            return commands.SettingsReset(yes);
        if (sub == QLatin1String("show") && expect(3))
            return commands.SettingsShow(w[2], json, voltage);
        if (sub == QLatin1String("diff") && expect(4))
            return commands.SettingsDiff(w[2], w[3], voltage);
        const bool last = a.flags.contains(QStringLiteral("--last"));
        if (sub == QLatin1String("restore") && (last ? expect(2) : expect(3)))
            return commands.SettingsRestore(last ? std::nullopt : std::optional<QString>(w[2]), yes);
    }
    if (command.isEmpty())
        return BadUsage(QStringLiteral("no command given"));
    // A known command with the wrong arguments: what it takes.
    for (const auto& known : CommandUsage) {
        const QStringList words = QString::fromLatin1(known.words).split(QLatin1Char(' '));
        if (w.mid(0, words.size()) == words)
            return BadUsage(QStringLiteral("usage: krova-cli %1").arg(QLatin1String(known.usage)));
    }
    return BadUsage(QStringLiteral("unknown command or wrong arguments: %1").arg(w.join(QLatin1Char(' '))));
}
