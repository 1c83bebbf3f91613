#pragma once
// The program's name: the window's title, and the name under which the
// window, the demo and the command-line tool keep their data (the settings
// backups), so that all of them share one backups folder.
#include <QString>

extern const QString ApplicationTitle;
// The demo's name: its backups stay apart from the real regulator's.
inline QString DemoApplicationName() { return ApplicationTitle + QStringLiteral(" (demo)"); }
// The title with the program's version, as the report and "About" name it.
QString ApplicationTitleAndVersion();
// The text of "About": version, copyright, what the program is built with
// and, on Linux, where the regulator's udev rule goes.
QString AboutText();
// The user guide (user-guide.md, with its pictures in guide/ beside it) as
// installed beside the programs (Windows), in the package's data folder
// (Linux), or in a source checkout; empty when there is none.
QString UserGuidePath(const QString& programsFolder);
