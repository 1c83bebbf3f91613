// The "Settings" page of the main window: the three editors and the commands
// of the "System" menu that move settings between the regulator, the relay,
// the editors and files.
#include "app/main_form.h"
#include "settings/settings_page_widget.h"

#include <QDir>
#include <QFileInfo>
#include <QApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

namespace {

// Brings a page to the front without it counting as the user's page change.
void SelectPage(QTabWidget* pages, QWidget* page)
{
    const QSignalBlocker block(pages);
    pages->setCurrentWidget(page);
}

} // namespace

void TMainFormKrv::UpdateSystemSettingsTable()
{
    settingsPage_->DrawSystemSettings(settings_.View());
}

void TMainFormKrv::StoreSystemSettingsTable()
{
    settings_.Store([this](SettingsRecord& record) {
        settingsPage_->StoreSystemSettings(settings_.ProfileTab(), settings_.Voltage(), record);
    });
}

void TMainFormKrv::UpdateChargeProfilesTable()
{
    settingsPage_->DrawChargeProfile(settings_.View());
}

void TMainFormKrv::StoreChargeProfilesTable()
{
    settings_.Store([this](SettingsRecord& record) {
        settingsPage_->StoreChargeProfile(settings_.ProfileTab(), settings_.Voltage(), record);
    });
}

void TMainFormKrv::UpdateFieldRpmChart()
{
    settingsPage_->DrawCurve(settings_.View());
}

void TMainFormKrv::StoreFieldRpmChart()
{
    settings_.Store([this](SettingsRecord& record) { settingsPage_->StoreCurve(record); });
}

void TMainFormKrv::DrawSettings()
{
    settingsPage_->Draw(settings_.View());
}

void TMainFormKrv::ShowSettingsAsReference()
{
    // The reference first: the editors mark what differs from it as they
    // are drawn.
    settings_.TakeAsReference();
    DrawSettings();
}

void TMainFormKrv::StoreSettingsEditors()
{
    StoreSystemSettingsTable();
    StoreChargeProfilesTable();
    StoreFieldRpmChart();
}

SettingsRecord TMainFormKrv::EditorsRecord()
{
    return settingsPage_->EditorsRecord(settings_.Record(), settings_.ProfileTab(), settings_.Voltage());
}

void TMainFormKrv::ChargeProfileTabControlChanging()
{
    // The tab change rebuilds both grids from the record: what the user typed
    // into either of them and did not write yet goes into the record first.
    StoreSystemSettingsTable();
    StoreChargeProfilesTable();
}

void TMainFormKrv::ChargeProfileTabControlChange()
{
    UpdateSystemSettingsTable();
    UpdateChargeProfilesTable();
}

void TMainFormKrv::ReadAllSettingsFromSystemClick()
{
    SelectPage(PageControl, SettingsTabSheet);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TimerPause pause{&usbTimer_, &inetTimer_};
    settingsPage_->CancelDrag();
    QCoreApplication::processEvents();
    if (station_.IsUsbConnection()) {
        settings_.ReadFromDevice();
        SetStatusText(station_.LinkStatusText());
    }
    if (station_.IsRemoteConnection()) {
        const bool deferred = deferral_.WhileBusy([this] {
            if (station_.IsRemoteConnection())
                ReadAllSettingsFromSystemClick();
        });
        if (!deferred) {
            station_.RequestClientSettings();
            SetStatusText(station_.SupportStatusText());
        }
    }
    ShowSettingsAsReference();
    pause.End();
    QApplication::restoreOverrideCursor();
}

void TMainFormKrv::WriteAllSettingsToSystemClick()
{
    WriteSettingsAs(QStringLiteral("write"));
}

bool TMainFormKrv::WriteSettingsAs(const QString& operation, bool typed)
{
    TimerPause pause{&usbTimer_, &inetTimer_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (typed)
        StoreSettingsEditors();
    bool written = false;
    if (station_.IsUsbConnection()) {
        written = settings_.WriteToDevice(operation);
        SetStatusText(station_.LinkStatusText());
        if (written) {
            // The regulator holds what was written: cells now differ from that.
            settingsPage_->MarkChanged(settings_.View());
        } else {
            // The next poll replaces the status text at once; a write that
            // did not get through must not pass unseen.
            ShowMessagePanel(QStringLiteral(" Settings not written: ") + station_.LinkStatusText());
        }
    }
    if (station_.IsRemoteConnection()) {
        // Before the customer's settings came, the editors hold none of
        // theirs (zeros at first): such a write is sent only when asked for.
        if (!remote_.ClientSettingsArrived()
            && !dialogs_.WarnYesCancel(QStringLiteral("Write Settings"),
                                       QStringLiteral("The customer's settings have not arrived yet, so the editors "
                                                      "do not show them.\rSend these settings to the customer's "
                                                      "regulator all the same?"))) {
            QApplication::restoreOverrideCursor();
            return false;
        }
        const bool deferred = deferral_.WhileBusy([this, operation, typed] {
            if (station_.IsRemoteConnection())
                WriteSettingsAs(operation, typed);
        });
        if (!deferred) {
            station_.SendSettingsToClient();
            SetStatusText(station_.SupportStatusText());
        }
    }
    QApplication::restoreOverrideCursor();
    return written;
}

void TMainFormKrv::ResetControlBoxSettingsToDefaultValuesClick()
{
    // A stopped polling timer means another device operation is under way.
    if (!USBTimer->isActive())
        return;
    SelectPage(PageControl, SettingsTabSheet);
    TimerPause pause{&usbTimer_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    settings_.ResetOnDevice();
    SetStatusText(station_.LinkStatusText());
    DelaySeconds(1, station_.Time());
    QApplication::restoreOverrideCursor();
    pause.End();
    ReadAllSettingsFromSystemClick();
}

void TMainFormKrv::SaveSettingsToFileClick()
{
    const std::optional<QString> path =
        dialogs_.SaveFileName({QStringLiteral("Save Settings To File"), SettingsFileFilter, SettingsFileSuffix, {}, false});
    if (!path)
        return;
    StoreSettingsEditors();
    const FileOutcome outcome = SaveSettingsFile(*path, settings_.Record());
    if (!outcome.ok)
        ShowFailure(outcome.message);
}

void TMainFormKrv::LoadSettingsFromFileClick()
{
    const std::optional<QString> path =
        dialogs_.OpenFileName({QStringLiteral("Load Settings From File"), SettingsFileFilter, SettingsFileSuffix, {}, true});
    if (!path)
        return;
    // Shorter files fail below as they always did.
    const QString oversize = OversizeSettingsFileQuestion(*path);
    if (!oversize.isEmpty() && !dialogs_.WarnYesCancel(QStringLiteral("Load Settings From File"), oversize))
        return;
    const FileOutcome outcome = settings_.Load(*path);
    if (!outcome.ok) {
        ShowFailure(SettingsLoadFailureText(outcome, *path));
        return;
    }
    SelectPage(PageControl, SettingsTabSheet);
    DrawSettings();
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
