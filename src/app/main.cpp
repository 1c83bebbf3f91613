// The utility, talking to a regulator on USB.
#include "app/main_form.h"
#include "device/hid_backend.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    QtUserDialogs dialogs;
    TMainFormKrv window(*backend, dialogs);
    dialogs.SetParent(&window);
    window.show();
    return app.exec();
}
