// The same window attached to a simulated regulator, for a first look at the
// program without hardware. "--page settings|can|peer" opens that page first,
// as a user's click would, and "--trends" the Trends window (for screenshots).
// "--log FILE" logs the values to FILE once a second, as "Enable Data Logging
// to File" does; "--open-log FILE" shows a data log in the log viewer.
// "--share DOMAIN" and "--remote DOMAIN" start a remote support session on
// that relay as the customer or as the technician, "--join" opens the box in
// which a customer enters the session code and "--chat" the Chat window (for
// the README's pictures).
// "--version" and "--help" are answered before the QApplication exists, so
// they need no display.
#include "app/main_form.h"
#include "device/simulated_regulator.h"
#include "trends/log_viewer_widget.h"

#include <QApplication>
#include <QIcon>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

const char HelpText[] =
    "Usage: krova-utility-demo [OPTION]...\n"
    "The K-ROVA X Utility attached to a simulated regulator, which runs like a\n"
    "regulator on a running engine: every page works without hardware.\n"
    "\n"
    "  --page PAGE      show PAGE first: settings, can or peer\n"
    "  --trends         open the Trends window\n"
    "  --guide          open the user guide (F1)\n"
    "  --restore        open \"Restore Settings From Backup...\"\n"
    "  --log FILE       log the values to FILE once a second, as \"Enable Data\n"
    "                   Logging to File\" does\n"
    "  --open-log FILE  show the data log FILE in the log viewer\n"
    "  --share DOMAIN   share the data with support through the relay DOMAIN\n"
    "  --remote DOMAIN  show the regulator of a customer who shares through DOMAIN\n"
    "  --join           open \"Support Domain Name...\", where a customer enters the\n"
    "                   session code\n"
    "  --chat           open the Chat window\n"
    "  --help           show this help and exit\n"
    "  --version        print the version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::fputs("krova-utility-demo " KROVA_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
        // The value of an option is never read as an option itself.
        for (const char* valued : {"--page", "--log", "--open-log", "--share", "--remote"})
            if (std::strcmp(arg, valued) == 0)
                ++i;
    }
    QApplication app(argc, argv);
    // A name of its own, so that the demo's settings backups stay apart
    // from the real regulator's.
    QApplication::setApplicationName(DemoApplicationName());
    QApplication::setDesktopFileName(QStringLiteral("example.krova.UtilityDemo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("krova-utility")));
    SimulatedRegulator regulator;
    regulator.GenerateCanTraffic = true;
    regulator.RecordRequests = false;
    QtUserDialogs dialogs;
    TMainFormKrv window(regulator, dialogs);
    window.SetDemoMode(true);
    dialogs.SetParent(&window);
    window.show();

    const QStringList args = app.arguments();
    const auto option = [&args](const char* name) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
    };
    if (const QString name = option("--page"); !name.isEmpty()) {
        QWidget* page = name == QLatin1String("settings") ? window.Ui().SettingsTabSheet
                        : name == QLatin1String("can")    ? window.Ui().CanBusTabSheet
                        : name == QLatin1String("peer")   ? window.Ui().PeerStateTabSheet
                                                          : window.Ui().StateTabSheet;
        QTimer::singleShot(1200, &window, [&window, page] { window.Ui().PageControl->setCurrentWidget(page); });
    }
    // "--trends" opens the Trends window at once (for screenshots); its plots
    // fill at the usual pace of one sample a second.
    if (args.contains(QStringLiteral("--trends")))
        QTimer::singleShot(1500, &window, [&window] { window.Ui().Trends->trigger(); });
    if (args.contains(QStringLiteral("--join")))
        QTimer::singleShot(1500, &window, [&window] { window.Ui().SupportDomainName->trigger(); });
    if (args.contains(QStringLiteral("--chat")))
        QTimer::singleShot(1500, &window, [&window] { window.Ui().ChatLog->trigger(); });
    if (args.contains(QStringLiteral("--guide")))
        QTimer::singleShot(1500, &window, [&window] { window.Ui().UserGuide->trigger(); });
    if (args.contains(QStringLiteral("--restore")))
        QTimer::singleShot(1500, &window, [&window] { window.Ui().RestoreSettingsFromBackup->trigger(); });
    if (const QString log = option("--log"); !log.isEmpty()) {
        window.Core().SetLogFileName(log);
        window.Core().SetLogging(true);
    }
    if (const QString domain = option("--share"); !domain.isEmpty()) {
        window.Core().Relay().SetDomain(domain);
        window.Core().SetSharing(true);
    }
    if (const QString domain = option("--remote"); !domain.isEmpty()) {
        window.Core().Relay().SetDomain(domain);
        window.RemoteViaInternetToProvideSupportClick();
    }
    if (const QString log = option("--open-log"); !log.isEmpty()) {
        auto* viewer = new DataLogViewer(&window);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        QString failure;
        if (!viewer->Open(log, &failure)) {
            qWarning("%s", qPrintable(failure));
            return 1;
        }
        viewer->show();
    }
    return app.exec();
}
