#pragma once
// The trends and the data log viewer of the "Options" menu: windows of their
// own beside the main window. The trends are fed once a second from what the
// window's update has anyway, whether or not their window is open.
#include "station/station.h"
#include "trends/trend_buffer.h"

#include <QPointer>

class QWidget;
class TrendsWindow;
class UserDialogs;

class TrendsCommands {
public:
    TrendsCommands(Station& station, UserDialogs& dialogs, QWidget* window);

    // Once a second: the records as they are now. A record that has not come
    // again since the last update is no reading: the trends get a gap, not
    // the last values over again.
    void Update();
    void ShowTrends();
    void OpenDataLog();
    const TrendBuffer& Values() const { return trends_; }

private:
    Station& station_;
    UserDialogs& dialogs_;
    QWidget* window_;
    TrendBuffer trends_;
    double start_;
    // Cleared by Qt when the window closes (it deletes itself on close).
    QPointer<TrendsWindow> trendsWindow_;
};
