#pragma once
// Every message box, input box and file dialog of the program goes through
// this interface, so that tests can script the answers and read back exactly
// what the user would have been shown.
#include <QString>

#include <optional>

class QWidget;

// Input boxes take at most this many characters.
constexpr int InputBoxMaxLength = 255;

struct FileDialogOptions {
    QString title;
    QString filter;        // "Description|*.ext", one entry
    QString defaultSuffix; // without the dot
    QString initialName;   // proposed file name, may be empty
    bool mustExist = false;
    QWidget* over = nullptr; // the window it belongs to (default: the main window)
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // Error box with an OK button.
    virtual void Error(const QString& caption, const QString& text) = 0;
    // Information box with OK and Cancel: true for OK.
    virtual bool ConfirmOkCancel(const QString& caption, const QString& text) = 0;
    // Information box with Yes and Cancel: true for Yes.
    virtual bool AskYesCancel(const QString& caption, const QString& text) = 0;
    // Warning box with Yes and Cancel: true for Yes.
    virtual bool WarnYesCancel(const QString& caption, const QString& text) = 0;
    // Text input box; no value when cancelled.
    virtual std::optional<QString> InputBox(const QString& caption, const QString& prompt, const QString& text,
                                            int maxLength) = 0;
    virtual std::optional<QString> SaveFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> OpenFileName(const FileDialogOptions& options) = 0;
    // Information box with OK and a "Copy" button that puts `copyText` on
    // the clipboard (and leaves the box open).
    virtual void InformWithCopy(const QString& caption, const QString& text, const QString& copyText) = 0;
    // Warning box with Save, Discard and Cancel (Enter: Cancel).
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice AskSaveDiscardCancel(const QString& caption, const QString& text) = 0;
};

// Qt's own dialogs, parented to the given window.
class QtUserDialogs : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Error(const QString& caption, const QString& text) override;
    bool ConfirmOkCancel(const QString& caption, const QString& text) override;
    bool AskYesCancel(const QString& caption, const QString& text) override;
    bool WarnYesCancel(const QString& caption, const QString& text) override;
    std::optional<QString> InputBox(const QString& caption, const QString& prompt, const QString& text,
                                    int maxLength) override;
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override;
    std::optional<QString> OpenFileName(const FileDialogOptions& options) override;
    void InformWithCopy(const QString& caption, const QString& text, const QString& copyText) override;
    SaveChoice AskSaveDiscardCancel(const QString& caption, const QString& text) override;

private:
    QWidget* parent_;
    // Where the last file dialog was left; the user's documents at first.
    QString lastFolder_;
};

// A failure no operation catches: its message in an error box captioned
// with the application title, with a full stop added where it lacks one.
void ShowFailure(UserDialogs& dialogs, const QString& message);

// "Description|*.ext" as Qt writes a filter: "Description (*.ext)".
QString QtFileFilter(const QString& filter);

// Settings that fail the settings check are taken only when the user says so
// (Enter declines): true when there are no departures or the user chose Yes.
struct SettingsDeparture;
bool AskToTakeImplausible(UserDialogs& dialogs, const QString& caption, const QString& source,
                          const QList<SettingsDeparture>& departures);
