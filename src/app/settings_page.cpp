// The "Settings" page's handlers and the calibrations of the "System" menu,
// as the design names them: the editors and the settings commands run in
// SettingsCommands, the calibrations in CalibrationMenu.
#include "app/main_form.h"

#include <QTabWidget>

void TMainFormKrv::SelectSettingsPage()
{
    const QSignalBlocker block(PageControl);
    PageControl->setCurrentWidget(SettingsTabSheet);
}

void TMainFormKrv::UpdateSystemSettingsTable()
{
    editors_.DrawSystemSettings();
}

void TMainFormKrv::StoreSystemSettingsTable()
{
    editors_.StoreSystemSettings();
}

void TMainFormKrv::UpdateChargeProfilesTable()
{
    editors_.DrawChargeProfile();
}

void TMainFormKrv::StoreChargeProfilesTable()
{
    editors_.StoreChargeProfile();
}

void TMainFormKrv::UpdateFieldRpmChart()
{
    editors_.DrawCurve();
}

void TMainFormKrv::StoreFieldRpmChart()
{
    editors_.StoreCurve();
}

void TMainFormKrv::ChargeProfileTabControlChanging()
{
    editors_.ProfileTabChanging();
}

void TMainFormKrv::ChargeProfileTabControlChange()
{
    editors_.ProfileTabChange();
}

void TMainFormKrv::ReadAllSettingsFromSystemClick()
{
    editors_.Read();
}

void TMainFormKrv::WriteAllSettingsToSystemClick()
{
    editors_.Write();
}

void TMainFormKrv::ResetControlBoxSettingsToDefaultValuesClick()
{
    // A stopped polling timer means another device operation is under way.
    if (USBTimer->isActive())
        editors_.Reset();
}

void TMainFormKrv::SaveSettingsToFileClick()
{
    editors_.SaveToFile();
}

void TMainFormKrv::LoadSettingsFromFileClick()
{
    editors_.LoadFromFile();
}

void TMainFormKrv::CalibrateInternalPowerSupplyClick()
{
    RunCalibration(Procedure::PowerSupply);
}

void TMainFormKrv::CalibrateVoltageMeasurementsClick()
{
    RunCalibration(Procedure::Voltage);
}

void TMainFormKrv::CalibrateCurrentMeasurementsClick()
{
    RunCalibration(Procedure::Current);
}

void TMainFormKrv::RunCalibration(Procedure procedure)
{
    // A stopped polling timer means another device operation is under way.
    if (USBTimer->isActive())
        calibration_.Run(procedure);
}
