// The utility, talking to a regulator on USB. "--version" and "--help" are
// answered before the QApplication exists, so they need no display.
#include "app/main_form.h"
#include "device/hid_backend.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

const char HelpText[] =
    "Usage: krova-utility [OPTION]...\n"
    "Service utility for the K-ROVA X alternator field regulator: talks to one\n"
    "regulator over USB, shows its live state and that of its CAN peer, edits,\n"
    "saves and loads its settings and runs its calibrations.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n"
    "Without a regulator: krova-utility-demo.\n";

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("krova-utility " KROVA_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    // The icon the package installs; the desktop file name is what ties the
    // window to its menu entry (and so its icon) on Wayland.
    QApplication::setDesktopFileName(QStringLiteral("example.krova.Utility"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("krova-utility")));
    std::unique_ptr<HidBackend> backend = CreateHidapiBackend();
    QtUserDialogs dialogs;
    TMainFormKrv window(*backend, dialogs);
    dialogs.SetParent(&window);
    window.show();
    return app.exec();
}
