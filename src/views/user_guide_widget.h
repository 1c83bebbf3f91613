#pragma once
// The user guide inside the program: a Markdown file shown rendered, with
// its pictures (paths relative to the file) scaled down to the window's
// width, its links within the guide followed, and links to the web opened
// in the browser.
#include <QTextBrowser>

class UserGuideView : public QTextBrowser {
    Q_OBJECT
public:
    explicit UserGuideView(QWidget* parent = nullptr);

    // Shows the guide at `path`; false when it cannot be read.
    // Links to a heading ("#3-connecting-the-regulator") scroll to it.
    bool Open(const QString& path);
    // Pictures the guide names that could not be loaded (checked by tests
    // and by the window's status line).
    QStringList MissingPictures() const { return missing_; }

    QVariant loadResource(int type, const QUrl& name) override;
    // The anchor a heading's link names, as Markdown viewers on the web make
    // it: "## 12. Getting help" is "#12-getting-help".
    static QString HeadingAnchor(const QString& heading);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Gives every heading its anchor, so that the contents' links lead there.
    void NameHeadings();

    int pictureWidth_ = 0;
    QStringList missing_;
};

// The window that holds the guide; one per main window, raised when asked
// for again.
class UserGuideWindow : public QWidget {
    Q_OBJECT
public:
    explicit UserGuideWindow(QWidget* parent = nullptr);
    bool Open(const QString& path);
    UserGuideView* View() const { return view_; }

private:
    UserGuideView* view_;
};
