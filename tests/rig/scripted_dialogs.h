#pragma once
// UserDialogs for tests: records every box with its exact text and answers
// from a script. A box that finds no scripted answer fails the test instead
// of hanging it.
#include "app/user_dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

struct ShownDialog {
    enum Kind { Error, OkCancel, YesCancel, WarningYesCancel, Input, SaveFile, OpenFile, InfoWithCopy, SaveDiscardCancel } kind;
    QString caption;
    QString text;      // message, or the input box's prompt
    QString proposed;  // input box's proposed text; what the Copy button copies
    FileDialogOptions file;
};

class ScriptedDialogs : public UserDialogs {
public:
    // Answers, taken in order by the boxes that ask something.
    void AnswerOk() { answers_.push_back(QStringLiteral("ok")); }
    void AnswerCancel() { answers_.push_back(std::nullopt); }
    void AnswerYes() { answers_.push_back(QStringLiteral("yes")); }
    void AnswerText(const QString& text) { answers_.push_back(text); }
    void AnswerFile(const QString& path) { answers_.push_back(path); }
    void AnswerSave() { answers_.push_back(QStringLiteral("save")); }
    void AnswerDiscard() { answers_.push_back(QStringLiteral("discard")); }

    std::vector<ShownDialog> Shown;
    bool Unscripted = false; // a box asked with no answer left
    int PendingAnswers() const { return int(answers_.size()); }
    QStringList ErrorTexts() const;

    void Error(const QString& caption, const QString& text) override;
    bool ConfirmOkCancel(const QString& caption, const QString& text) override;
    bool AskYesCancel(const QString& caption, const QString& text) override;
    bool WarnYesCancel(const QString& caption, const QString& text) override;
    std::optional<QString> InputBox(const QString& caption, const QString& prompt, const QString& text,
                                    int maxLength) override;
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override;
    std::optional<QString> OpenFileName(const FileDialogOptions& options) override;
    // Needs no answer: it only informs.
    void InformWithCopy(const QString& caption, const QString& text, const QString& copyText) override;
    SaveChoice AskSaveDiscardCancel(const QString& caption, const QString& text) override;

private:
    std::optional<QString> Next();
    std::deque<std::optional<QString>> answers_;
};
