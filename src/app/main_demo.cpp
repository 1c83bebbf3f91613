// The same window attached to a simulated regulator, for a first look at the
// program without hardware. "--page settings|can|peer" opens that page first,
// as a user's click would (for screenshots).
#include "app/main_form.h"
#include "device/simulated_regulator.h"

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
    const int at = args.indexOf(QStringLiteral("--page"));
    if (at >= 0 && at + 1 < args.size()) {
        const QString name = args[at + 1];
        QWidget* page = name == QLatin1String("settings") ? window.Ui().SettingsTabSheet
                        : name == QLatin1String("can")    ? window.Ui().CanBusTabSheet
                        : name == QLatin1String("peer")   ? window.Ui().PeerStateTabSheet
                                                          : window.Ui().StateTabSheet;
        QTimer::singleShot(1200, &window, [&window, page] { window.Ui().PageControl->setCurrentWidget(page); });
    }
    return app.exec();
}
