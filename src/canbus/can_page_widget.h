#pragma once
// The "CAN bus" page of the main window: the raw frames the polling cycle
// fetched, one line each, in hex or decimal, and the memo's popup menu
// ("Pause", "Clear", "Copy to Clipboard"). Beside the memo a second pane
// holds the NMEA 2000 decoding of each line, on the same row: both keep the
// same number of lines and scroll together. The menu's actions are the
// window's to connect; the page does what they stand for.
#include <QWidget>

class NotLiveBanner;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;

class CanPage : public QWidget {
    Q_OBJECT
public:
    explicit CanPage(QWidget* parent = nullptr);

    // Whether the next cycle should fetch frames for the page, and in which
    // form ("View in Hex").
    bool IsPaused() const;
    bool InHex() const;
    // Adds lines at the end, each with its decoding beside it (one per
    // line; a missing one shows as "-"); both panes keep only the newest
    // (their block limit), oldest first out.
    void AppendLines(const QStringList& lines, const QStringList& decodings);
    void TogglePause();
    void ClearLines();
    // All lines to the clipboard (the raw lines only, as listed), the view
    // back at the first.
    void CopyLines();
    // Why no frames are listed here (empty: they are), the lines hidden
    // meanwhile.
    void ShowNotShared(const QString& text);

    QPlainTextEdit* CanMemo() const { return memo_; }
    QPlainTextEdit* CanDecodedMemo() const { return decoded_; }
    QCheckBox* CanViewHexCheckBox() const { return hex_; }
    QLabel* CanPausedLabel() const { return paused_; }
    QMenu* CanRxMemoPopupMenu() const { return menu_; }
    QAction* PauseCanWatch() const { return pause_; }
    QAction* ClearAllLines() const { return clear_; }
    QAction* CopyToClipboard() const { return copy_; }

private:
    // The line under the cursor of either pane, marked in both.
    void MarkLine(int line);

    QCheckBox* hex_;
    QPlainTextEdit* memo_;
    QPlainTextEdit* decoded_;
    QSplitter* panes_;
    QLabel* paused_;
    QMenu* menu_;
    QAction* pause_;
    QAction* clear_;
    QAction* copy_;
    NotLiveBanner* notShared_;
};
