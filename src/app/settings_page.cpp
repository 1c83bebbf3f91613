// The "Settings" page of the main window: the three editors and the commands
// of the "System" menu that move settings between the regulator, the relay,
// the editors and files.
#include "app/main_form.h"
#include "settings/settings_page_rows.h"
#include "records/settings_file.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/system_settings_rows.h"
#include "views/string_grid_widget.h"

#include <QAbstractItemDelegate>
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

// A rebuild replaces every cell text. An editor still open over a cell would
// keep the user's typed text and put it back into the cell with the next
// store, so the edit that the rebuild dropped would reach the regulator after
// all. The editor is closed first without taking its text, as Escape does.
void DropOpenEditor(StringGrid* grid)
{
    if (QWidget* editor = grid->indexWidget(grid->currentIndex()))
        emit grid->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

} // namespace

void TMainFormKrv::SelectProfileTabFromRecord()
{
    selectedProfileTab_ = ProfileTabForActiveIndex(station_.Settings.ActiveChargeProfile());
    const QSignalBlocker block(ChargeProfileTabControl);
    ChargeProfileTabControl->setCurrentIndex(selectedProfileTab_);
}

void TMainFormKrv::UpdateSystemSettingsTable()
{
    DropOpenEditor(SystemSettingsTable);
    SelectProfileTabFromRecord();
    const QStringList captions = SystemSettingsCaptions();
    const QStringList texts = SystemSettingsTexts(station_.Settings, station_.OwnState.DetectedSystemVoltage());
    for (int r = 0; r < SystemSettingsRowCount; ++r) {
        SystemSettingsTable->SetCell(r, 0, captions[r]);
        SystemSettingsTable->SetCell(r, 1, texts[r]);
    }
    SystemSettingsTable->SetReferenceTexts(
        1, SystemSettingsTexts(reference_, station_.OwnState.DetectedSystemVoltage()));
}

void TMainFormKrv::StoreSystemSettingsTable()
{
    SystemSettingsTable->CommitEdit();
    StoreSystemSettingsTexts(SystemSettingsTable->Column(1), selectedProfileTab_,
                             station_.OwnState.DetectedSystemVoltage(), station_.Settings);
}

void TMainFormKrv::UpdateChargeProfilesTable()
{
    DropOpenEditor(ChargeProfilesTable);
    const QStringList captions = ChargeProfileCaptions();
    const QStringList texts =
        ChargeProfileTexts(station_.Settings.Profile(selectedProfileTab_), station_.OwnState.DetectedSystemVoltage());
    for (int r = 0; r < ChargeProfileRowCount; ++r) {
        ChargeProfilesTable->SetCell(r, 0, captions[r]);
        ChargeProfilesTable->SetCell(r, 1, texts[r]);
    }
    ChargeProfilesTable->SetReferenceTexts(
        1, ChargeProfileTexts(reference_.Profile(selectedProfileTab_), station_.OwnState.DetectedSystemVoltage()));
}

void TMainFormKrv::StoreChargeProfilesTable()
{
    ChargeProfilesTable->CommitEdit();
    ChargeProfile profile = station_.Settings.Profile(selectedProfileTab_);
    StoreChargeProfileTexts(ChargeProfilesTable->Column(1), station_.OwnState.DetectedSystemVoltage(), profile);
    station_.Settings.SetProfile(selectedProfileTab_, profile);
}

void TMainFormKrv::UpdateFieldRpmChart()
{
    FieldRpmChartView->SetPoints(CurvePointsFromRecord(station_.Settings.Curve()));
    FieldRpmChartView->SetReferencePoints(CurvePointsFromRecord(reference_.Curve()));
}

void TMainFormKrv::MarkChangedSettings()
{
    const uint16_t voltage = station_.OwnState.DetectedSystemVoltage();
    SystemSettingsTable->SetReferenceTexts(1, SystemSettingsTexts(reference_, voltage));
    ChargeProfilesTable->SetReferenceTexts(1, ChargeProfileTexts(reference_.Profile(selectedProfileTab_), voltage));
    FieldRpmChartView->SetReferencePoints(CurvePointsFromRecord(reference_.Curve()));
}

void TMainFormKrv::ShowSettingsAsReference()
{
    // The reference first: the editors mark what differs from it as they
    // are drawn.
    reference_ = station_.Settings;
    UpdateSystemSettingsTable();
    UpdateChargeProfilesTable();
    UpdateFieldRpmChart();
}

SettingsRecord TMainFormKrv::EditorsRecord()
{
    SystemSettingsTable->CommitEdit();
    ChargeProfilesTable->CommitEdit();
    return SettingsFromPageTexts(station_.Settings, selectedProfileTab_, SystemSettingsTable->Column(1),
                                 ChargeProfilesTable->Column(1), FieldRpmChartView->Points(),
                                 station_.OwnState.DetectedSystemVoltage());
}

void TMainFormKrv::StoreFieldRpmChart()
{
    station_.Settings.SetCurve(CurveFromPoints(FieldRpmChartView->Points()));
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
    station_.Settings.SetActiveChargeProfile(uint8_t(selectedProfileTab_));
    UpdateSystemSettingsTable();
    UpdateChargeProfilesTable();
}

void TMainFormKrv::ReadAllSettingsFromSystemClick()
{
    SelectPage(PageControl, SettingsTabSheet);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TimerPause pause{&usbTimer_, &inetTimer_};
    FieldRpmChartView->CancelDrag();
    QCoreApplication::processEvents();
    if (station_.IsUsbConnection()) {
        station_.ReadSettingsFromDevice();
        SetStatusText(station_.LinkStatusText());
    }
    if (station_.IsRemoteConnection()) {
        const bool deferred = DeferWhileRelayBusy([this] {
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

bool TMainFormKrv::WriteSettingsAs(const QString& operation)
{
    TimerPause pause{&usbTimer_, &inetTimer_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StoreSystemSettingsTable();
    StoreChargeProfilesTable();
    StoreFieldRpmChart();
    bool written = false;
    if (station_.IsUsbConnection()) {
        written = station_.WriteSettingsToDevice(operation);
        SetStatusText(station_.LinkStatusText());
        if (written) {
            // The regulator holds what was written: cells now differ from that.
            reference_ = station_.Settings;
            MarkChangedSettings();
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
        const bool deferred = DeferWhileRelayBusy([this, operation] {
            if (station_.IsRemoteConnection())
                WriteSettingsAs(operation);
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
    station_.ResetSettingsOnDevice();
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
    StoreSystemSettingsTable();
    StoreChargeProfilesTable();
    StoreFieldRpmChart();
    const FileOutcome outcome = SaveSettingsFile(*path, station_.Settings);
    if (!outcome.ok)
        ShowFailure(outcome.message);
}

void TMainFormKrv::LoadSettingsFromFileClick()
{
    const std::optional<QString> path =
        dialogs_.OpenFileName({QStringLiteral("Load Settings From File"), SettingsFileFilter, SettingsFileSuffix, {}, true});
    if (!path)
        return;
    // A file longer than a settings file is most likely none (a README
    // renamed): its first 540 bytes load only when the user says so. Shorter
    // ones fail below as they always did.
    const qint64 size = QFileInfo(*path).size();
    if (size > qint64(SettingsRecord::Size)
        && !dialogs_.WarnYesCancel(QStringLiteral("Load Settings From File"),
                                  QStringLiteral("The file \"%1\" has %2 bytes, but a settings file has %3 bytes.\r"
                                                 "Load its first %3 bytes as settings?")
                                      .arg(QDir::toNativeSeparators(*path))
                                      .arg(size)
                                      .arg(SettingsRecord::Size)))
        return;
    const FileOutcome outcome = LoadSettingsFile(*path, station_.Settings);
    if (!outcome.ok) {
        // The reader's own words first; then what was wrong with this file.
        ShowFailure(size >= 0 && size < qint64(SettingsRecord::Size) && QFileInfo(*path).isFile()
                        ? QStringLiteral("%1. The file \"%2\" has %3 bytes; a settings file has %4 bytes.")
                              .arg(outcome.message, QDir::toNativeSeparators(*path))
                              .arg(size)
                              .arg(SettingsRecord::Size)
                        : outcome.message);
        return;
    }
    SelectPage(PageControl, SettingsTabSheet);
    ShowSettingsAsReference();
}
