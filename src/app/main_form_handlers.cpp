// The design's handlers of the main window that forward to a page, to the
// station or to the command classes beside the window, in one place. The
// window's timers and its set-up are in main_form.cpp.
#include "app/main_form.h"
#include "canbus/can_page_widget.h"
#include "canbus/n2k_decode.h"
#include "logging/data_log.h"

#include <QAction>
#include <QCoreApplication>
#include <QTabWidget>
#include <QTimer>

// --- The "Settings" page and the calibrations of the "System" menu: the editors
// and the settings commands run in SettingsCommands, the calibrations in
// CalibrationCommands.

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

// --- The "CAN bus" page: frames fetched by the polling cycle and the commands
// of the memo's popup menu.

void TMainFormKrv::CanOutputStep()
{
    // Lines come only from an answered fetch, whose frames the slots hold.
    const QStringList lines = station_.Usb().FetchCanLines(canPage_->InHex());
    if (!lines.isEmpty())
        canPage_->AppendLines(lines, N2kLinesForFetch(station_.Usb().CanFrame(0), station_.Usb().CanFrame(1)));
}

void TMainFormKrv::PauseCanWatchClick()
{
    canPage_->TogglePause();
}

void TMainFormKrv::ClearAllLinesClick()
{
    canPage_->ClearLines();
}

void TMainFormKrv::CopyToClipboardClick()
{
    canPage_->CopyLines();
}

// --- The data log switch and the line it writes once a second.

bool TMainFormKrv::WriteLogLine()
{
    return station_.AppendLogLine();
}

void TMainFormKrv::EnableDataLoggingToFileClick()
{
    // The click has flipped the check mark; the station's mode decides.
    ShowModes();
    TimerPause pause{&usbTimer_};
    QCoreApplication::processEvents();
    if (station_.IsLogging()) {
        station_.SetLogging(false);
    } else {
        const QString proposed = station_.LogFileName().isEmpty() ? QStringLiteral("Log.txt") : station_.LogFileName();
        const std::optional<QString> path = dialogs_.SaveFileName(
            {QStringLiteral("Log Data To File"), QStringLiteral("Text Files|*.txt"), QStringLiteral("txt"), proposed,
             false});
        if (path) {
            station_.SetLogFileName(*path);
            station_.SetLogging(true);
        }
    }
}

// --- The remote support session: the 2 s tick in the client and the support
// role, chat, the relay domain and the role switches. The messages and the
// exchange are the station's; this decides when, and shows what came.

void TMainFormKrv::INETTimerTimer()
{
    // A tick that comes while an exchange still waits for the relay leaves
    // it to that one.
    if (station_.Relay().IsExchangeInProgress())
        return;
    TimerPause pause{&inetTimer_};
    SendChatMessage->setEnabled(station_.IsSharing() || station_.IsRemoteConnection());
    remote_.Tick();
}

void TMainFormKrv::ShareDataWithSupportClick()
{
    station_.SetSharing(!station_.IsSharing());
}

void TMainFormKrv::RemoteViaInternetToProvideSupportClick()
{
    station_.SetConnection(Connection::Remote);
}

void TMainFormKrv::SendChatMessageClick()
{
    support_.SendChat();
}

void TMainFormKrv::SupportDomainNameClick()
{
    support_.ChooseDomain();
}
