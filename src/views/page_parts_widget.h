#pragma once
// The pieces the main window's pages are made of: bold captions, read-only
// memos, widgets that grow with the window, pages that scroll where the
// window is smaller than they are, and the line that says a page's values are
// no live readings.
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>

QLabel* PageCaption(const QString& text);
// Text in a warm tone that reads on light and dark backgrounds alike.
inline QString WarningStyleSheet() { return QStringLiteral("color: #d9480f; font-weight: bold;"); }
QPlainTextEdit* ReadOnlyMemo(QWidget* parent = nullptr);
// At least this size, and all the room the layout gives.
void Grows(QWidget* widget, int minimumWidth, int minimumHeight);
// A page keeps at least the sizes of the program's design and grows with the
// window; where the window is smaller, the page scrolls.
QScrollArea* Scrolled(QWidget* content);

// A warm-toned line above a page's values, hidden while it has no text.
class NotLiveBanner : public QLabel {
    Q_OBJECT
public:
    explicit NotLiveBanner(QWidget* parent = nullptr);
    void Show(const QString& text);
};

// A label's text and tip, in a warm tone while `warning`; only what changed
// is set (a style sheet set polishes the label again).
void ShowIndicator(QLabel* label, const QString& text, const QString& tip, bool warning);

// The strip under the pages that shows a message for a few seconds: bold
// black on yellow, hidden at first.
QLabel* NewMessagePanel(QWidget* parent);

// Sets a memo's lines, leaving it alone (scroll position, selection) when
// they are what it shows.
void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines);
