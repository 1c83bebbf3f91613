#pragma once
// The commands added to the "System" and "Help" menus around the settings:
// the editors compared with a settings file, the service report, the folder
// of the automatic backups and a backup restored, a snapshot opened, and
// the program's own information.
#include "app/settings_editors_host.h"
#include "station/settings_session.h"
#include "station/station.h"
#include "views/user_guide_widget.h"

#include <QPointer>

#include <functional>

class QWidget;
class UserDialogs;

class ServiceCommands {
public:
    // `showSnapshot` shows a snapshot file as if dropped onto the "System
    // State" page.
    ServiceCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs, SettingsEditorsHost& host,
                QWidget* window, std::function<void(const QString&)> showSnapshot);

    void CompareWithFile();
    void SaveReport();
    void OpenBackupsFolder();
    // A backup back onto the regulator, through the normal write.
    void RestoreFromBackup();
    void OpenSnapshot();
    void About();
    // The user guide in a window of its own, raised when open already.
    void UserGuide();
    UserGuideWindow* GuideWindow() const { return guide_; }

private:
    Station& station_;
    SettingsSession& settings_;
    UserDialogs& dialogs_;
    SettingsEditorsHost& host_;
    QWidget* window_;
    std::function<void(const QString&)> showSnapshot_;
    QPointer<UserGuideWindow> guide_;
};
