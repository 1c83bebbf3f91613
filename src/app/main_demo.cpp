// The same window attached to a simulated regulator, for a first look at the
// program without hardware.
#include "app/main_form.h"
#include "device/simulated_regulator.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    SimulatedRegulator regulator;
    regulator.GenerateCanTraffic = true;
    QtUserDialogs dialogs;
    TMainFormKrv window(regulator, dialogs);
    dialogs.SetParent(&window);
    window.show();
    return app.exec();
}
