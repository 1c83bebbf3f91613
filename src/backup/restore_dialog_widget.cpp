#include "backup/restore_dialog_widget.h"

#include "compare/settings_compare_widget.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

QString BackupEntryText(const SettingsBackups::Entry& entry)
{
    QString operation = entry.operation;
    operation.replace(QLatin1Char('-'), QLatin1Char(' '));
    return entry.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(", before a ") + operation
           + (entry.read ? QString() : QStringLiteral(" (the settings the program held, not a read)"));
}

RestoreBackupDialog::RestoreBackupDialog(const QList<SettingsBackups::Entry>& backups, const QString& regulator,
                                         std::function<QList<SettingsDifference>(const QString&)> differences,
                                         QWidget* parent)
    : QDialog(parent), backups_(backups), differences_(std::move(differences)), list_(new QListWidget)
{
    setObjectName(QStringLiteral("RestoreBackupDialog"));
    setWindowTitle(QStringLiteral("Restore Settings From Backup"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(backups.isEmpty()
                                     ? QStringLiteral("There is no backup of the settings of %1 yet.").arg(regulator)
                                     : QStringLiteral("Backups of the settings of %1, newest first:").arg(regulator)));
    for (const SettingsBackups::Entry& entry : backups)
        list_->addItem(BackupEntryText(entry));
    list_->setMaximumHeight(8 * fontMetrics().height());
    layout->addWidget(list_);
    layout->addWidget(new QLabel(QStringLiteral("Where the backup differs from the settings the regulator holds now:")));
    view_ = new QVBoxLayout;
    layout->addLayout(view_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* restore = buttons->addButton(QStringLiteral("Restore"), QDialogButtonBox::ActionRole);
    restore->setObjectName(QStringLiteral("Restore"));
    restore->setEnabled(!backups.isEmpty());
    connect(restore, &QPushButton::clicked, this, [this] {
        if (!SelectedPath().isEmpty())
            emit restoreRequested(SelectedPath());
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(list_, &QListWidget::currentRowChanged, this, [this] { ShowDifferences(); });
    if (!backups.isEmpty())
        list_->setCurrentRow(0);
    resize(720, 460);
}

int RestoreBackupDialog::Count() const
{
    return list_->count();
}

void RestoreBackupDialog::Select(int index)
{
    list_->setCurrentRow(index);
}

QString RestoreBackupDialog::SelectedPath() const
{
    const int row = list_->currentRow();
    return row >= 0 && row < backups_.size() ? backups_[row].path : QString();
}

void RestoreBackupDialog::ShowDifferences()
{
    delete shown_;
    const QList<SettingsDifference> differences = differences_(SelectedPath());
    differencesText_ = ::DifferencesText(differences, QStringLiteral("Regulator"), QStringLiteral("Backup"));
    shown_ = NewDifferencesView(differences, QStringLiteral("Regulator"), QStringLiteral("Backup"));
    view_->addWidget(shown_);
}
