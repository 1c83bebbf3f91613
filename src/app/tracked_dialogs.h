#pragma once
// The window's boxes, counted while they are open. A modal box runs its own
// event loop, so timers and deferred commands fire inside it; they look here
// to know that the user has a box in front of them.
#include "app/user_dialogs.h"

class TrackedDialogs : public UserDialogs {
    // Runs one box, counted as open while it runs.
    template <typename Box>
    auto Track(Box box)
    {
        struct Open {
            int& count;
            explicit Open(int& c) : count(c) { ++count; }
            ~Open() { --count; }
        } open(open_);
        return box();
    }

public:
    explicit TrackedDialogs(UserDialogs& inner) : inner_(inner) {}

    bool IsBoxOpen() const { return open_ > 0; }

    void Error(const QString& caption, const QString& text) override
    {
        return Track([&] { inner_.Error(caption, text); });
    }
    bool ConfirmOkCancel(const QString& caption, const QString& text) override
    {
        return Track([&] { return inner_.ConfirmOkCancel(caption, text); });
    }
    bool AskYesCancel(const QString& caption, const QString& text) override
    {
        return Track([&] { return inner_.AskYesCancel(caption, text); });
    }
    bool WarnYesCancel(const QString& caption, const QString& text) override
    {
        return Track([&] { return inner_.WarnYesCancel(caption, text); });
    }
    std::optional<QString> InputBox(const QString& caption, const QString& prompt, const QString& text,
                                    int maxLength) override
    {
        return Track([&] { return inner_.InputBox(caption, prompt, text, maxLength); });
    }
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override
    {
        return Track([&] { return inner_.SaveFileName(options); });
    }
    void InformWithCopy(const QString& caption, const QString& text, const QString& copyText) override
    {
        Track([&] { inner_.InformWithCopy(caption, text, copyText); });
    }
    std::optional<QString> OpenFileName(const FileDialogOptions& options) override
    {
        return Track([&] { return inner_.OpenFileName(options); });
    }
    SaveChoice AskSaveDiscardCancel(const QString& caption, const QString& text) override
    {
        return Track([&] { return inner_.AskSaveDiscardCancel(caption, text); });
    }

private:
    UserDialogs& inner_;
    int open_ = 0;
};
