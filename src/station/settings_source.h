#pragma once
// What the settings commands need of the regulator the program talks to,
// whichever way it is reached: read its settings, write the record to it,
// reset it, each with its outcome. The regulator on USB and a customer's
// regulator through the support relay each answer these in their own way.
#include "compare/settings_compare.h"
#include "settings/settings_check.h"

#include <QString>

#include <functional>

// How a write of the settings ended: on USB, confirmed by the read-back or
// why not; through the relay, handed to it (the customer's program confirms
// it with a later answer) or why not.
struct WriteOutcome {
    enum class Result {
        Confirmed,      // sent, read back, and the regulator holds exactly what was sent
        Implausible,    // nothing sent: the record fails the settings check
        VersionDiffers, // nothing sent: another device version than the regulator's, not confirmed by the user
        NotRead,        // nothing sent: what the regulator holds could not be read first
        NotSent,        // the link failed before the regulator took the first slice
        NotConfirmed,   // sent, but the read-back failed or differs
        Unknown,        // nothing sent: what the other side holds has not arrived, not confirmed by the user
        PutOff,         // nothing sent yet: the relay is busy, the write runs again once it is free
        Handed,         // the relay took the settings (`relayTook`) or not
    };
    Result result = Result::NotSent;
    QList<SettingsDeparture> departures; // Implausible
    int knownVersion = -1;               // VersionDiffers: the regulator's
    int newVersion = -1;                 // VersionDiffers: the record's
    bool readBack = false;               // NotConfirmed: whether the read-back came whole
    QList<SettingsDifference> differences; // NotConfirmed: what was sent against what it holds
    QString backupPath;                  // where the replaced settings went ("" when none was saved)
    bool relayTook = false;              // Handed: whether the relay answered
    QString status;                      // for the status bar, "" to leave it as it is
    bool ok() const { return result == Result::Confirmed; }
    // Whether slices went out, so that the regulator may hold other settings
    // than before.
    bool sent() const { return result == Result::Confirmed || result == Result::NotConfirmed; }
};

// The outcome as one line for the status bar, the message panel and the
// command-line tool; `name` is the regulator's.
QString WriteOutcomeText(const WriteOutcome& outcome, const QString& name, const QString& linkText);

// What a read or a reset did: whether it got through, and the status bar's
// text afterwards ("" to leave it as it is).
struct SourceOutcome {
    bool ok = false;
    bool putOff = false;
    QString status;
};

// What the user allowed after being asked.
struct WriteAllowances {
    bool versionChange = false; // settings of another device version than the regulator's
    bool unknownTarget = false; // settings sent before what the other side holds arrived
};

class SettingsSource {
public:
    // Called with the seconds since the start while a step waits.
    using Progress = std::function<void(double seconds)>;
    // Asked just before anything goes out: true when the step must run later
    // (it has been scheduled again) instead of now.
    using PutOff = std::function<bool()>;

    virtual ~SettingsSource() = default;
    virtual SourceOutcome ReadSettings(const Progress& progress, const PutOff& putOff) = 0;
    virtual WriteOutcome WriteSettings(const QString& operation, WriteAllowances allowed, const Progress& progress,
                                       const PutOff& putOff) = 0;
    virtual SourceOutcome ResetSettings() = 0;
    // Whether a step now would find the link busy with another one.
    virtual bool Busy() const = 0;
};
