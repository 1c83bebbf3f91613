#pragma once
// Scripted dialogs that run a test's hook while a box is "open", before its
// answer goes back: the moment at which a real modal box lets timer ticks run.
#include "rig/scripted_dialogs.h"

#include <functional>

class HookedDialogs : public ScriptedDialogs {
public:
    // Called with the box's caption and text (the prompt for an input box,
    // the title for a file dialog).
    std::function<void(const QString& caption, const QString& text)> WhileOpen;

    void Error(const QString& caption, const QString& text) override
    {
        Hook(caption, text);
        ScriptedDialogs::Error(caption, text);
    }
    bool ConfirmOkCancel(const QString& caption, const QString& text) override
    {
        Hook(caption, text);
        return ScriptedDialogs::ConfirmOkCancel(caption, text);
    }
    bool AskYesCancel(const QString& caption, const QString& text) override
    {
        Hook(caption, text);
        return ScriptedDialogs::AskYesCancel(caption, text);
    }
    std::optional<QString> InputBox(const QString& caption, const QString& prompt, const QString& text,
                                    int maxLength) override
    {
        Hook(caption, prompt);
        return ScriptedDialogs::InputBox(caption, prompt, text, maxLength);
    }
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override
    {
        Hook(options.title, options.title);
        return ScriptedDialogs::SaveFileName(options);
    }

private:
    void Hook(const QString& caption, const QString& text)
    {
        if (WhileOpen)
            WhileOpen(caption, text);
    }
};
