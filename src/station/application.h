#pragma once
// The program's name: the window's title, and the name under which the
// window, the demo and the command-line tool keep their data (the settings
// backups), so that all of them share one backups folder.
#include <QString>

extern const QString ApplicationTitle;
// The demo's name: its backups stay apart from the real regulator's.
inline QString DemoApplicationName() { return ApplicationTitle + QStringLiteral(" (demo)"); }
