#include "app/settings_commands.h"
#include "app/device_operation.h"
#include "app/user_dialogs.h"
#include "settings/charge_profile_rows.h"
#include "settings/settings_page_widget.h"
#include "settings/system_settings_rows.h"
#include "views/number_text.h"
#include "views/value_format.h"

#include <QApplication>
#include <QDir>

SettingsCommands::SettingsCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs,
                                   RelayDeferral& deferral, PausableTimer& usb,
                                   PausableTimer& inet, WindowShell& shell)
    : station_(station), settings_(settings), dialogs_(dialogs), deferral_(deferral), usb_(usb),
      inet_(inet), shell_(shell)
{
}

SettingsCommands::~SettingsCommands()
{
    // The page outlives the commands while the window takes down its
    // widgets, and an editor that loses its focus then still commits.
    for (const QMetaObject::Connection& link : pageLinks_)
        QObject::disconnect(link);
}

void SettingsCommands::SetPage(SettingsPage* page)
{
    page_ = page;
    // A change of tab by the user first takes the grids into the profile
    // being left, then makes the new tab the active profile.
    pageLinks_[0] = QObject::connect(page_, &SettingsPage::cellEdited, page_,
                     [this](bool profileGrid, int row, const QString& typed) { CellEdited(profileGrid, row, typed); });
    pageLinks_[1] = QObject::connect(page_, &SettingsPage::profileTabChosen, page_, [this](int tab) {
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

void SettingsCommands::Read(bool toFront)
{
    if (toFront)
        shell_.SelectSettingsPage();
    DeviceOperation operation{&usb_, &inet_};
    page_->CancelDrag();
    QCoreApplication::processEvents();
    if (SettingsSource* source = station_.SettingsSourceInUse()) {
        const SourceOutcome read =
            source->ReadSettings(ShowWaiting(QStringLiteral("Waiting for the customer's settings...")),
                                 PutOffWhileBusy(source, [this, toFront] { Read(toFront); }));
        if (!read.status.isEmpty())
            shell_.SetStatusText(read.status);
    }
    ShowAsReference();
}

SettingsSource::PutOff SettingsCommands::PutOffWhileBusy(SettingsSource* source, std::function<void()> again)
{
    // Run again later only while the same source is in use.
    return [this, source, again = std::move(again)] {
        return deferral_.WhileBusy(*source, [this, source, again] {
            if (station_.SettingsSourceInUse() == source)
                again();
        });
    };
}

void SettingsCommands::Write()
{
    WriteSettingsAs(QStringLiteral("write"));
}

bool SettingsCommands::WriteSettingsAs(const QString& operation, bool typed)
{
    using R = WriteOutcome::Result;
    DeviceOperation held{&usb_, &inet_};
    if (typed)
        StoreEditors();
    SettingsSource* source = station_.SettingsSourceInUse();
    if (!source)
        return false;
    const QString name = QString::fromLatin1(station_.OwnState().RegulatorName());
    const SettingsSource::Progress progress = ShowWaiting(QStringLiteral("Sending the settings to the customer..."));
    const SettingsSource::PutOff putOff =
        PutOffWhileBusy(source, [this, operation, typed] { WriteSettingsAs(operation, typed); });
    WriteAllowances allowed;
    WriteOutcome outcome = source->WriteSettings(operation, allowed, progress, putOff);
    if (outcome.result == R::VersionDiffers) {
        const bool go = DeviceOperation::Asking([&] {
            return dialogs_.WarnYesCancel(
                QStringLiteral("Write Settings"),
                QStringLiteral("These settings are for device version %1, but %2 has device version %3.\rWrite them "
                               "to %2 all the same?")
                    .arg(outcome.newVersion)
                    .arg(name.isEmpty() ? QStringLiteral("the regulator") : name)
                    .arg(outcome.knownVersion));
        });
        if (!go) {
            shell_.ShowMessagePanel(QStringLiteral(" Settings not written"));
            return false;
        }
        allowed.versionChange = true;
        outcome = source->WriteSettings(operation, allowed, progress, putOff);
    }
    if (outcome.result == R::Unknown) {
        // Before the customer's settings came, the editors hold none of
        // theirs (zeros at first): such a write is sent only when asked for.
        if (!DeviceOperation::Asking([this] {
                return dialogs_.WarnYesCancel(QStringLiteral("Write Settings"),
                                              QStringLiteral("The customer's settings have not arrived yet, so the "
                                                             "editors do not show them.\rSend these settings to the "
                                                             "customer's regulator all the same?"));
            }))
            return false;
        allowed.unknownTarget = true;
        outcome = source->WriteSettings(operation, allowed, progress, putOff);
    }
    if (!outcome.status.isEmpty())
        shell_.SetStatusText(outcome.status);
    // Put off, or handed to the relay: the customer's program confirms it.
    if (outcome.result == R::PutOff || outcome.result == R::Handed)
        return false;
    if (outcome.ok()) {
        // The regulator holds what was written: cells now differ from that.
        page_->MarkChanged(settings_.View());
        // A backup that failed has said so in the panel, and support's
        // notice of new settings tells the owner what came: those stay.
        if (!outcome.backupPath.isEmpty() && operation != QLatin1String("support-write"))
            shell_.ShowMessagePanel(QStringLiteral(" Settings written to ") + name);
        return true;
    }
    ShowWriteFailure(outcome, name);
    return false;
}

RelayLink::WaitProgress SettingsCommands::ShowWaiting(const QString& what)
{
    return [this, what](double seconds) {
        shell_.SetStatusText(QStringLiteral("%1 %2 s").arg(what).arg(int(seconds)));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
}

void SettingsCommands::ShowWriteFailure(const WriteOutcome& outcome, const QString& name)
{
    // The next poll replaces the status text at once; a write that did not
    // get through must not pass unseen.
    const QString text = WriteOutcomeText(outcome, name, station_.Usb().StatusText());
    shell_.ShowMessagePanel(QLatin1Char(' ') + text.section(QLatin1Char('\n'), 0, 0));
    if (outcome.result != WriteOutcome::Result::Implausible && outcome.result != WriteOutcome::Result::NotConfirmed)
        return;
    DeviceOperation::Asking([&] {
        dialogs_.Error(QStringLiteral("Write Settings"),
                       outcome.backupPath.isEmpty()
                           ? text
                           : text + QStringLiteral("\r\"Restore Settings From Backup...\" writes them back."));
    });
}

void SettingsCommands::Reset()
{
    shell_.SelectSettingsPage();
    DeviceOperation operation{&usb_};
    if (SettingsSource* source = station_.SettingsSourceInUse()) {
        const SourceOutcome reset = source->ResetSettings();
        if (!reset.status.isEmpty())
            shell_.SetStatusText(reset.status);
    }
    DelaySeconds(1, station_.Time());
    operation.End();
    Read();
}

bool SettingsCommands::SaveToFile()
{
    const std::optional<QString> path =
        dialogs_.SaveFileName({QStringLiteral("Save Settings To File"), SettingsFileFilter, SettingsFileSuffix, {}, false});
    if (!path)
        return false;
    StoreEditors();
    const FileOutcome outcome = SaveSettingsFile(*path, settings_.Record());
    if (!outcome.ok)
        ShowFailure(outcome.message);
    else
        savedRecord_ = settings_.Record();
    return outcome.ok;
}

bool SettingsCommands::HasUnwrittenEdits()
{
    // Compared as the editors would write either record, so that a record
    // the editors merely show differently (limits, rounding) is no change.
    const SettingsRecord editors = EditorsRecord();
    return editors != SettingsAsPageWrites(settings_.Reference(), settings_.Voltage())
           && !(savedRecord_ && editors == *savedRecord_);
}

bool SettingsCommands::MayClose()
{
    if (!HasUnwrittenEdits())
        return true;
    switch (dialogs_.AskSaveDiscardCancel(
        QStringLiteral("Exit"), QStringLiteral("The Settings page holds changes that were not written to the "
                                               "regulator.\rSave them to a settings file before the program ends?"))) {
    case UserDialogs::SaveChoice::Save:
        return SaveToFile();
    case UserDialogs::SaveChoice::Discard:
        return true;
    case UserDialogs::SaveChoice::Cancel:
        break;
    }
    return false;
}

void SettingsCommands::CellEdited(bool profileGrid, int row, const QString& typed)
{
    // The grid holds the edit already; the editor is still closing, so its
    // texts are read as they stand rather than committed once more.
    const int tab = settings_.ProfileTab();
    const uint16_t voltage = settings_.Voltage();
    SettingsRecord editors = settings_.Record();
    QStringList shownTexts;
    if (profileGrid) {
        ChargeProfile profile = editors.Profile(tab);
        StoreChargeProfileTexts(page_->EditorTexts(true), voltage, profile);
        shownTexts = ChargeProfileTexts(profile, voltage);
    } else {
        StoreSystemSettingsTexts(page_->EditorTexts(false), tab, voltage, editors);
        shownTexts = SystemSettingsTexts(editors, voltage);
    }
    const QString shown = shownTexts.value(row);
    if (shown == typed)
        return;
    page_->SetEditorCell(profileGrid, row, shown);
    // Only a change of value is worth a word: "14.4" shown as "14.40" is not.
    const std::optional<double> a = ParseReal(typed);
    const std::optional<double> b = ParseReal(shown);
    if ((a && b && *a == *b) || WithoutZeros(shown) == typed)
        return;
    const QString caption = (profileGrid ? ChargeProfileCaptions() : SystemSettingsCaptions()).value(row);
    shell_.ShowMessagePanel(QStringLiteral(" %1: \"%2\" will be written as %3")
                                .arg(caption, typed, WithoutZeros(shown)));
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
    SettingsRecord loaded;
    const FileOutcome outcome = LoadSettingsFile(*path, loaded);
    if (!outcome.ok) {
        ShowFailure(SettingsLoadFailureText(outcome, *path));
        return;
    }
    if (!AskToTakeImplausible(dialogs_, QStringLiteral("Load Settings From File"),
                              QStringLiteral("The file \"%1\"").arg(QDir::toNativeSeparators(*path)),
                              CheckSettings(loaded, settings_.Voltage())))
        return;
    settings_.Take(loaded);
    shell_.SelectSettingsPage();
    DrawSettings();
}
