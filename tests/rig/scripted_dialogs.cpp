#include "rig/scripted_dialogs.h"

#include <QTest>

std::optional<QString> ScriptedDialogs::Next()
{
    if (answers_.empty()) {
        Unscripted = true;
        QTest::qFail("a dialog was shown that the test did not script", __FILE__, __LINE__);
        return std::nullopt;
    }
    std::optional<QString> answer = answers_.front();
    answers_.pop_front();
    return answer;
}

QStringList ScriptedDialogs::ErrorTexts() const
{
    QStringList texts;
    for (const ShownDialog& d : Shown)
        if (d.kind == ShownDialog::Error)
            texts << d.text;
    return texts;
}

void ScriptedDialogs::Error(const QString& caption, const QString& text)
{
    Shown.push_back({ShownDialog::Error, caption, text, {}, {}});
}

bool ScriptedDialogs::ConfirmOkCancel(const QString& caption, const QString& text)
{
    Shown.push_back({ShownDialog::OkCancel, caption, text, {}, {}});
    return Next().has_value();
}

bool ScriptedDialogs::AskYesCancel(const QString& caption, const QString& text)
{
    Shown.push_back({ShownDialog::YesCancel, caption, text, {}, {}});
    return Next().has_value();
}

bool ScriptedDialogs::WarnYesCancel(const QString& caption, const QString& text)
{
    Shown.push_back({ShownDialog::WarningYesCancel, caption, text, {}, {}});
    return Next().has_value();
}

std::optional<QString> ScriptedDialogs::InputBox(const QString& caption, const QString& prompt, const QString& text,
                                                 int maxLength)
{
    Shown.push_back({ShownDialog::Input, caption, prompt, text, {}});
    std::optional<QString> answer = Next();
    if (answer)
        return answer->left(maxLength);
    return answer;
}

std::optional<QString> ScriptedDialogs::SaveFileName(const FileDialogOptions& options)
{
    Shown.push_back({ShownDialog::SaveFile, options.title, {}, options.initialName, options});
    return Next();
}

std::optional<QString> ScriptedDialogs::OpenFileName(const FileDialogOptions& options)
{
    Shown.push_back({ShownDialog::OpenFile, options.title, {}, options.initialName, options});
    return Next();
}

void ScriptedDialogs::InformWithCopy(const QString& caption, const QString& text, const QString& copyText)
{
    Shown.push_back({ShownDialog::InfoWithCopy, caption, text, copyText, {}});
}

UserDialogs::SaveChoice ScriptedDialogs::AskSaveDiscardCancel(const QString& caption, const QString& text)
{
    Shown.push_back({ShownDialog::SaveDiscardCancel, caption, text, {}, {}});
    const std::optional<QString> answer = Next();
    if (answer == QStringLiteral("save"))
        return SaveChoice::Save;
    return answer == QStringLiteral("discard") ? SaveChoice::Discard : SaveChoice::Cancel;
}
