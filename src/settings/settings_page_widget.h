#pragma once
// The "Settings" page of the main window: the system settings grid, the tabs
// of the eight charge profiles over the grid of the selected one, and the
// field/RPM chart. It draws a settings record (cells that differ from the
// reference record are marked) and takes what the user typed back into one;
// it holds no settings of its own.
#include "settings/settings_page_rows.h"

#include <QWidget>

class FieldRpmChart;
class NotLiveBanner;
class QTabBar;
class StringGrid;


class SettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPage(QWidget* parent = nullptr);

    void DrawSystemSettings(const SettingsView& view);
    void DrawChargeProfile(const SettingsView& view);
    void DrawCurve(const SettingsView& view);
    void Draw(const SettingsView& view);
    // Marks the cells and points that differ from the reference.
    void MarkChanged(const SettingsView& view);
    // What the user typed, into `record`: the system settings, the profile of
    // tab `tab`, the curve.
    void StoreSystemSettings(int tab, uint16_t voltage, SettingsRecord& record);
    void StoreChargeProfile(int tab, uint16_t voltage, SettingsRecord& record);
    void StoreCurve(SettingsRecord& record);
    // `record` as the editors describe it (`record` itself is not touched).
    SettingsRecord EditorsRecord(SettingsRecord record, int tab, uint16_t voltage);
    // A point the user is dragging stays where it is.
    void CancelDrag();
    // The value cells' texts as they stand (an open editor's text not taken).
    QStringList EditorTexts(bool profileGrid) const;
    // Replaces the text of a value cell (what an edit will be written as).
    void SetEditorCell(bool profileGrid, int row, const QString& text);
    void ShowNotLive(const QString& text);

    StringGrid* SystemSettingsTable() const { return system_; }
    QTabBar* ChargeProfileTabControl() const { return tabs_; }
    StringGrid* ChargeProfilesTable() const { return profile_; }
    FieldRpmChart* FieldRpmChartView() const { return chart_; }

signals:
    // The user chose the profile tab `tab`. The tab bar still shows the tab
    // being left until the next draw selects the new one.
    void profileTabChosen(int tab);
    // The user finished editing a value cell of the system settings grid or
    // (profileGrid) the profile grid, leaving this text in it.
    void cellEdited(bool profileGrid, int row, const QString& typed);

private:
    void SelectTab(int tab);

    StringGrid* system_;
    QTabBar* tabs_;
    StringGrid* profile_;
    FieldRpmChart* chart_;
    NotLiveBanner* banner_;
    int shownTab_ = 0;
};
