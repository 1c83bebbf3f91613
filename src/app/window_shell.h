#pragma once
// The part of the main window that the command classes beside it may use:
// the page control, the status bar, the message panel and the notice, and
// the drawing of the state pages. The commands depend on this, never on
// the window class.
#include <QString>
#include <QStringList>

// What the commands beside the window show through it.
class WindowShell {
public:
    // The "Settings" page in front, not counting as the user's page change.
    virtual void SelectSettingsPage() = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void ShowMessagePanel(const QString& text) = 0;
    // A notice that stays until the user dismisses it: a headline and the
    // rows it concerns (what a remote write changed).
    virtual void ShowNotice(const QString& headline, const QStringList& rows) = 0;
    // The status bar's connection indicator and the pages' not-live lines.
    virtual void ShowConnection() = 0;
    // Both state pages from the station's texts, refreshing none.
    virtual void DrawStatePages() = 0;

protected:
    ~WindowShell() = default;
};
