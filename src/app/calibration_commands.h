#pragma once
// The three calibrations of the "System" menu: the boxes around the
// arithmetic of calibration/, on the station's records, through the
// window's settings read and write.
#include "app/settings_editors_host.h"
#include "calibration/calibration.h"
#include "station/settings_session.h"
#include "station/station.h"

class UserDialogs;

class CalibrationCommands {
public:
    CalibrationCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs, SettingsEditorsHost& host);

    // Reads the settings, asks what the procedure needs, and on success
    // offers to write the new factors ("calibration-write").
    void Run(Procedure procedure);

private:
    Station& station_;
    SettingsSession& settings_;
    UserDialogs& dialogs_;
    SettingsEditorsHost& host_;
};
