// The same window attached to a simulated regulator, for a first look at the
// program without hardware. "--page settings|can|peer" opens that page first,
// as a user's click would, and "--trends" the Trends window (for screenshots).
// "--log FILE" logs the values to FILE once a second, as "Enable Data Logging
// to File" does; "--open-log FILE" shows a data log in the log viewer.
#include "app/main_form.h"
#include "device/simulated_regulator.h"
#include "trends/log_viewer_widget.h"

#include <QApplication>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A name of its own, so that the demo's settings backups stay apart
    // from the real regulator's.
    QApplication::setApplicationName(ApplicationTitle + QStringLiteral(" (demo)"));
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
        QTimer::singleShot(1500, &window, [&window] { window.TrendsClick(); });
    if (const QString log = option("--log"); !log.isEmpty()) {
        window.Core().LogFileName = log;
        window.SetEnableDataLogging(true);
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
