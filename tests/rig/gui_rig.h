#pragma once
// One main window wired to a simulated regulator, scripted dialogs and a
// clock that tests move by hand. The timers are stopped: tests call the
// handlers themselves.
#include "app/main_form.h"
#include "device/simulated_regulator.h"
#include "rig/hooked_dialogs.h"
#include "views/string_grid_widget.h"

#include <QTemporaryDir>

#include <memory>

struct GuiRig {
    // The link's waits for answers pass at once (real time still runs).
    SkippingLinkClock linkClock;
    SimulatedRegulator sim{linkClock};
    HookedDialogs dialogs;
    // Every reading moves the clock on by 0.3 s, so waits end after a few
    // readings instead of real seconds.
    ManualClock clock{46363.5, 0.3 * OneSecond};
    // The automatic settings backups of this window go here.
    QTemporaryDir backups;
    std::unique_ptr<TMainFormKrv> window;

    // Pass LinkClock::Steady() for a regulator that takes real time to answer.
    explicit GuiRig(bool animate = false, LinkClock* regulatorClock = nullptr);
    ~GuiRig();

    TMainFormKrv& W() { return *window; }
    // Polls until the link is open and both records were read once.
    void Connect();
    void StopTimers();
    // Lets the time pass in which an overdue answer could still arrive, so
    // that the next request goes out.
    void LetLinkSettle() { linkClock.SleepMs(3 * HidSession::CommitReadTimeLimitMs); }
    // Cell texts of a grid, row by row.
    static QStringList Cells(const StringGrid* grid);
    static QStringList MemoLines(const QPlainTextEdit* memo);
};
