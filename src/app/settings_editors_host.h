#pragma once
// What the other command classes of the main window ask of the settings
// commands: what the editors hold, the read and the write they run, a new
// drawing, and the error box. They see the settings commands only through
// this, so that no command class depends on another.
#include "records/settings_record.h"

#include <QString>

class SettingsEditorsHost {
public:
    // The record the editors describe as they stand.
    virtual SettingsRecord EditorsRecord() = 0;
    // "Read Settings" as chosen from the menu (`toFront`: the page comes
    // forward; not for a read that support asked for on the owner's side).
    virtual void ReadSettings(bool toFront) = 0;
    // A write whose backup is named after the operation, of what the user
    // typed (or of the record as it stands); true when the regulator
    // confirmed every part of it.
    virtual bool WriteSettingsAs(const QString& operation, bool typed) = 0;
    // The editors drawn from the record, cells that differ from the
    // reference marked.
    virtual void DrawSettings() = 0;
    // The settings as they now stand are the reference: drawn, no cell marked.
    virtual void ShowAsReference() = 0;
    virtual void ShowFailure(const QString& message) = 0;

protected:
    ~SettingsEditorsHost() = default;
};
