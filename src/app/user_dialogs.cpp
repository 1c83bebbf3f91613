#include "app/user_dialogs.h"
#include "settings/settings_check.h"
#include "station/application.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// Message texts may separate sentences with a lone carriage return.
QString BoxText(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogOptions& o, QFileDialog::AcceptMode mode,
                                     QString& lastFolder)
{
    if (lastFolder.isEmpty())
        lastFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog dialog(o.over ? o.over : parent, o.title, lastFolder, QtFileFilter(o.filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(o.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(o.defaultSuffix);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // An existing log or settings file is taken without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!o.initialName.isEmpty())
        dialog.selectFile(o.initialName);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    lastFolder = dialog.directory().absolutePath();
    if (!chosen)
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtFileFilter(const QString& filter)
{
    const int bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return filter;
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
}

namespace {

// Room for the whole caption in the title bar: a box is only as wide as its
// text and buttons, and a window system cuts a longer title short.
int TitleWidth(const QWidget& box, const QString& caption)
{
    QFont title = box.font();
    title.setBold(true);
    return QFontMetrics(title).horizontalAdvance(caption) + 140;
}

int RunBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, caption, BoxText(text), buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(box, caption), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}

} // namespace

void QtUserDialogs::Error(const QString& caption, const QString& text)
{
    RunBox(parent_, QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

bool QtUserDialogs::ConfirmOkCancel(const QString& caption, const QString& text)
{
    return RunBox(parent_, QMessageBox::Information, caption, text, QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok;
}

bool QtUserDialogs::AskYesCancel(const QString& caption, const QString& text)
{
    return RunBox(parent_, QMessageBox::Information, caption, text, QMessageBox::Yes | QMessageBox::Cancel)
        == QMessageBox::Yes;
}

bool QtUserDialogs::WarnYesCancel(const QString& caption, const QString& text)
{
    // A warning asks before something that may do harm: Enter declines.
    return RunBox(parent_, QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::Cancel,
                  QMessageBox::Cancel)
        == QMessageBox::Yes;
}

std::optional<QString> QtUserDialogs::InputBox(const QString& caption, const QString& prompt, const QString& text,
                                               int maxLength)
{
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(caption);
    dialog.setMinimumWidth(TitleWidth(dialog, caption));
    dialog.setLabelText(prompt);
    dialog.setTextValue(text);
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtUserDialogs::SaveFileName(const FileDialogOptions& options)
{
    return RunFileDialog(parent_, options, QFileDialog::AcceptSave, lastFolder_);
}

std::optional<QString> QtUserDialogs::OpenFileName(const FileDialogOptions& options)
{
    return RunFileDialog(parent_, options, QFileDialog::AcceptOpen, lastFolder_);
}

void QtUserDialogs::InformWithCopy(const QString& caption, const QString& text, const QString& copyText)
{
    QMessageBox box(QMessageBox::Information, caption, BoxText(text), QMessageBox::Ok, parent_);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* copy = box.addButton(QStringLiteral("Copy"), QMessageBox::ActionRole);
    // A button of the action role would close the box: it copies instead.
    copy->disconnect();
    QObject::connect(copy, &QPushButton::clicked, &box, [copyText] { QGuiApplication::clipboard()->setText(copyText); });
    box.exec();
}

void ShowFailure(UserDialogs& dialogs, const QString& message)
{
    QString text = message;
    if (text.isEmpty() || (text.back() != QLatin1Char('.') && text.back().unicode() > '.'))
        text += QLatin1Char('.');
    dialogs.Error(ApplicationTitle, text);
}

UserDialogs::SaveChoice QtUserDialogs::AskSaveDiscardCancel(const QString& caption, const QString& text)
{
    switch (RunBox(parent_, QMessageBox::Warning, caption, text,
                   QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel)) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

bool AskToTakeImplausible(UserDialogs& dialogs, const QString& caption, const QString& source,
                          const QList<SettingsDeparture>& departures)
{
    if (departures.isEmpty())
        return true;
    return dialogs.WarnYesCancel(caption, ImplausibleSettingsText(source, departures)
                                              + QStringLiteral("\rTake them as the editors would store them?"));
}
