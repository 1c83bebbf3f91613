#include "app/settings_commands.h"
#include "app/user_dialogs.h"
#include "settings/settings_page_widget.h"

#include <QApplication>

SettingsCommands::SettingsCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs,
                                   RemoteSession& remote, RelayDeferral& deferral, PausableTimer& usb,
                                   PausableTimer& inet, WindowShell& shell)
    : station_(station), settings_(settings), dialogs_(dialogs), remote_(remote), deferral_(deferral), usb_(usb),
      inet_(inet), shell_(shell)
{
}

void SettingsCommands::SetPage(SettingsPage* page)
{
    page_ = page;
    // A change of tab by the user first takes the grids into the profile
    // being left, then makes the new tab the active profile.
    QObject::connect(page_, &SettingsPage::profileTabChosen, page_, [this](int tab) {
        ProfileTabChanging();
        settings_.SelectProfile(tab);
        ProfileTabChange();
    });
}

void SettingsCommands::ShowFailure(const QString& message)
{
    ::ShowFailure(dialogs_, message);
}

void SettingsCommands::DrawSystemSettings()
{
    page_->DrawSystemSettings(settings_.View());
}

void SettingsCommands::StoreSystemSettings()
{
    settings_.Store([this](SettingsRecord& record) {
        page_->StoreSystemSettings(settings_.ProfileTab(), settings_.Voltage(), record);
    });
}

void SettingsCommands::DrawChargeProfile()
{
    page_->DrawChargeProfile(settings_.View());
}

void SettingsCommands::StoreChargeProfile()
{
    settings_.Store([this](SettingsRecord& record) {
        page_->StoreChargeProfile(settings_.ProfileTab(), settings_.Voltage(), record);
    });
}

void SettingsCommands::DrawCurve()
{
    page_->DrawCurve(settings_.View());
}

void SettingsCommands::StoreCurve()
{
    settings_.Store([this](SettingsRecord& record) { page_->StoreCurve(record); });
}

void SettingsCommands::DrawSettings()
{
    page_->Draw(settings_.View());
}

void SettingsCommands::ShowAsReference()
{
    // The reference first: the editors mark what differs from it as they
    // are drawn.
    settings_.TakeAsReference();
    DrawSettings();
}

void SettingsCommands::StoreEditors()
{
    StoreSystemSettings();
    StoreChargeProfile();
    StoreCurve();
}

SettingsRecord SettingsCommands::EditorsRecord()
{
    return page_->EditorsRecord(settings_.Record(), settings_.ProfileTab(), settings_.Voltage());
}

void SettingsCommands::ProfileTabChanging()
{
    // The tab change rebuilds both grids from the record: what the user typed
    // into either of them and did not write yet goes into the record first.
    StoreSystemSettings();
    StoreChargeProfile();
}

void SettingsCommands::ProfileTabChange()
{
    DrawSystemSettings();
    DrawChargeProfile();
}

void SettingsCommands::Read()
{
    shell_.SelectSettingsPage();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TimerPause pause{&usb_, &inet_};
    page_->CancelDrag();
    QCoreApplication::processEvents();
    if (station_.IsUsbConnection()) {
        settings_.ReadFromDevice();
        shell_.SetStatusText(station_.LinkStatusText());
    }
    if (station_.IsRemoteConnection()) {
        const bool deferred = deferral_.WhileBusy([this] {
            if (station_.IsRemoteConnection())
                Read();
        });
        if (!deferred) {
            station_.RequestClientSettings();
            shell_.SetStatusText(station_.SupportStatusText());
        }
    }
    ShowAsReference();
    pause.End();
    QApplication::restoreOverrideCursor();
}

void SettingsCommands::Write()
{
    WriteSettingsAs(QStringLiteral("write"));
}

bool SettingsCommands::WriteSettingsAs(const QString& operation, bool typed)
{
    TimerPause pause{&usb_, &inet_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (typed)
        StoreEditors();
    bool written = false;
    if (station_.IsUsbConnection()) {
        written = settings_.WriteToDevice(operation);
        shell_.SetStatusText(station_.LinkStatusText());
        if (written) {
            // The regulator holds what was written: cells now differ from that.
            page_->MarkChanged(settings_.View());
        } else {
            // The next poll replaces the status text at once; a write that
            // did not get through must not pass unseen.
            shell_.ShowMessagePanel(QStringLiteral(" Settings not written: ") + station_.LinkStatusText());
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
            shell_.SetStatusText(station_.SupportStatusText());
        }
    }
    QApplication::restoreOverrideCursor();
    return written;
}

void SettingsCommands::Reset()
{
    shell_.SelectSettingsPage();
    TimerPause pause{&usb_};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    settings_.ResetOnDevice();
    shell_.SetStatusText(station_.LinkStatusText());
    DelaySeconds(1, station_.Time());
    QApplication::restoreOverrideCursor();
    pause.End();
    Read();
}

void SettingsCommands::SaveToFile()
{
    const std::optional<QString> path =
        dialogs_.SaveFileName({QStringLiteral("Save Settings To File"), SettingsFileFilter, SettingsFileSuffix, {}, false});
    if (!path)
        return;
    StoreEditors();
    const FileOutcome outcome = SaveSettingsFile(*path, settings_.Record());
    if (!outcome.ok)
        ShowFailure(outcome.message);
}

void SettingsCommands::LoadFromFile()
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
    shell_.SelectSettingsPage();
    DrawSettings();
}
