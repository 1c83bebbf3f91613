#pragma once
// What the commands beside the main window's own handlers ask of it: its
// settings editors (what they hold, the read and the write they run, a new
// drawing), its error box, and a snapshot shown as a dropped one.
#include "records/settings_record.h"

#include <QString>

class SettingsEditorsHost {
public:
    // The record the editors describe as they stand.
    virtual SettingsRecord EditorsRecord() = 0;
    // "Read Settings", as chosen from the menu.
    virtual void ReadSettings() = 0;
    // A write whose backup is named after the operation, of what the user
    // typed (or of the record as it stands); true when the regulator
    // confirmed every part of it.
    virtual bool WriteSettingsAs(const QString& operation, bool typed) = 0;
    // The editors drawn from the record, cells that differ from the
    // reference marked.
    virtual void DrawSettings() = 0;
    virtual void ShowFailure(const QString& message) = 0;
    // A snapshot file, as if dropped onto the "System State" page.
    virtual void ShowSnapshot(const QString& path) = 0;

protected:
    ~SettingsEditorsHost() = default;
};
