#include "station/settings_session.h"
#include "settings/system_settings_rows.h"

SettingsSession::SettingsSession(Station& station) : station_(station), reference_(station.Settings()) {}

int SettingsSession::ProfileTab() const
{
    return ProfileTabForActiveIndex(station_.settings_.ActiveChargeProfile());
}

SettingsView SettingsSession::View() const
{
    return {station_.settings_, reference_, Voltage(), ProfileTab()};
}

void SettingsSession::SelectProfile(int tab)
{
    station_.settings_.SetActiveChargeProfile(uint8_t(tab));
}

bool SettingsSession::ReadFromDevice()
{
    const bool read = station_.ReadSettingsFromDevice();
    TakeAsReference();
    return read;
}

bool SettingsSession::WriteToDevice(const QString& operation)
{
    const bool written = station_.WriteSettingsToDevice(operation);
    if (written)
        TakeAsReference();
    return written;
}

FileOutcome SettingsSession::Load(const QString& path)
{
    const FileOutcome outcome = LoadSettingsFile(path, station_.settings_);
    if (outcome.ok)
        TakeAsReference();
    return outcome;
}

void SettingsSession::TakeSnapshot(const SnapshotRecord& snapshot)
{
    station_.TakeSnapshot(snapshot);
    TakeAsReference();
}
