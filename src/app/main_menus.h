#pragma once
// The main window's menu bar as the design lays it out: the "System",
// "Options" and "Help" menus with their items, separators, check marks, the
// radio look of sharing and logging, and the keys. Each item lands in its
// named component; what it does is the window's to connect.
#include "app/main_form_ui.h"

class QMainWindow;

void BuildMainMenus(QMainWindow* window, MainFormUi& ui);
