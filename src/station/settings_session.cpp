#include "station/settings_session.h"
#include "settings/system_settings_rows.h"

#include <QDir>

SettingsSession::SettingsSession(UsbLink& usb, const SystemStateRecord& ownState, const Clock& clock)
    : usb_(usb), ownState_(ownState), clock_(clock)
{
}

int SettingsSession::ProfileTab() const
{
    return ProfileTabForActiveIndex(record_.ActiveChargeProfile());
}

SettingsView SettingsSession::View() const
{
    return {record_, reference_, Voltage(), ProfileTab()};
}

void SettingsSession::SelectProfile(int tab)
{
    record_.SetActiveChargeProfile(uint8_t(tab));
}

bool SettingsSession::ReadFromDevice()
{
    const bool read = ReadRecordFromDevice();
    TakeAsReference();
    return read;
}

bool SettingsSession::ReadDeviceSettingsInto(SettingsRecord& into)
{
    const bool complete = usb_.ReadSettings(into);
    if (complete)
        backups_.NoteRead(into, RegulatorName());
    return complete;
}

std::optional<SettingsRecord> SettingsSession::KnownDeviceSettings() const
{
    return backups_.LastRead(RegulatorName());
}

void SettingsSession::NoteDeviceHolds(const SettingsRecord& settings)
{
    backups_.NoteRead(settings, RegulatorName());
}

void SettingsSession::BackUp(const QString& operation)
{
    QString failure;
    lastBackupPath_ =
        backups_.Save(operation, RegulatorName(), record_, DateTimeOfDayCount(clock_.Now()), &failure);
    if (lastBackupPath_.isEmpty() && backupFailed_)
        backupFailed_(failure);
}

WriteOutcome SettingsSession::WriteToDevice(const QString& operation, bool versionChangeAllowed)
{
    using R = WriteOutcome::Result;
    WriteOutcome outcome;
    outcome.departures = Check();
    if (!outcome.departures.isEmpty()) {
        outcome.result = R::Implausible;
        return outcome;
    }
    std::optional<SettingsRecord> known = KnownDeviceSettings();
    if (!known) {
        SettingsRecord held;
        if (!ReadDeviceSettingsInto(held)) {
            outcome.result = R::NotRead;
            return outcome;
        }
        known = held;
    }
    const SettingsRecord sent = record_;
    if (known->DeviceVersion() != sent.DeviceVersion() && !versionChangeAllowed) {
        outcome.result = R::VersionDiffers;
        outcome.knownVersion = known->DeviceVersion();
        outcome.newVersion = sent.DeviceVersion();
        return outcome;
    }
    bool taken = false;
    lastBackupPath_.clear();
    usb_.WriteSettings(record_, [&] {
        BackUp(operation);
        taken = true;
    });
    outcome.backupPath = lastBackupPath_;
    // Once the regulator took the first slice, whatever the link said
    // afterwards, only the read-back tells what it now holds.
    if (!taken) {
        outcome.result = R::NotSent;
        return outcome;
    }
    backups_.ForgetRead();
    SettingsRecord held;
    outcome.readBack = ReadDeviceSettingsInto(held);
    if (outcome.readBack && held == sent) {
        outcome.result = R::Confirmed;
        reference_ = sent;
        return outcome;
    }
    outcome.result = R::NotConfirmed;
    if (outcome.readBack)
        outcome.differences = CompareSettings(sent, held, Voltage());
    return outcome;
}

bool SettingsSession::ResetOnDevice()
{
    lastBackupPath_.clear();
    return usb_.ResetSettings([this] {
        BackUp(QStringLiteral("reset"));
        // What the regulator holds afterwards is known from the next read.
        backups_.ForgetRead();
    });
}

SourceOutcome SettingsSession::ReadSettings(const Progress&, const PutOff&)
{
    const bool read = ReadFromDevice();
    return {read, false, usb_.StatusText()};
}

WriteOutcome SettingsSession::WriteSettings(const QString& operation, WriteAllowances allowed, const Progress&,
                                            const PutOff&)
{
    WriteOutcome outcome = WriteToDevice(operation, allowed.versionChange);
    outcome.status = usb_.StatusText();
    return outcome;
}

SourceOutcome SettingsSession::ResetSettings()
{
    const bool reset = ResetOnDevice();
    return {reset, false, usb_.StatusText()};
}

void SettingsSession::Take(const SettingsRecord& record)
{
    record_ = WithDeparturesFixed(record, CheckSettings(record, Voltage()));
    TakeAsReference();
}

FileOutcome SettingsSession::Load(const QString& path)
{
    SettingsRecord loaded;
    const FileOutcome outcome = LoadSettingsFile(path, loaded);
    if (outcome.ok)
        Take(loaded);
    return outcome;
}

QString WriteOutcomeText(const WriteOutcome& outcome, const QString& name, const QString& linkText)
{
    using R = WriteOutcome::Result;
    switch (outcome.result) {
    case R::Confirmed:
        return QStringLiteral("Settings written to %1 and confirmed by reading them back").arg(name);
    case R::Implausible:
        return QStringLiteral("Settings not written: they are not plausible:\n") + DeparturesText(outcome.departures);
    case R::VersionDiffers:
        return QStringLiteral("Settings not written: they are for device version %1, %2 has device version %3")
            .arg(outcome.newVersion)
            .arg(name)
            .arg(outcome.knownVersion);
    case R::NotRead: // the settings it holds could not be read first
    case R::NotSent:
        return QStringLiteral("Settings not written: ") + linkText;
    case R::Unknown:
    case R::PutOff:
        return QStringLiteral("Settings not written");
    case R::Handed:
        return QStringLiteral("Settings sent");
    case R::NotConfirmed:
        break;
    }
    QString text = outcome.readBack
                       ? QStringLiteral("Settings not confirmed: %1 holds other settings than were sent (settings "
                                        "that differ: %2). It may hold a mix of the old and the new settings.")
                             .arg(name)
                             .arg(outcome.differences.size())
                       : QStringLiteral("Settings not confirmed: they could not be read back from %1 (%2). It may "
                                        "hold a mix of the old and the new settings.")
                             .arg(name, linkText);
    for (int i = 0; i < outcome.differences.size() && i < 5; ++i) {
        const SettingsDifference& d = outcome.differences[i];
        text += QStringLiteral("\n%1, %2: sent %3, holds %4").arg(d.section, d.caption, d.ours, d.theirs);
    }
    if (outcome.differences.size() > 5)
        text += QStringLiteral("\n... and %1 more").arg(outcome.differences.size() - 5);
    if (!outcome.backupPath.isEmpty())
        text += QStringLiteral("\nThe settings it held before are in %1").arg(QDir::toNativeSeparators(outcome.backupPath));
    return text;
}
