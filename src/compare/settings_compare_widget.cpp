#include "compare/settings_compare_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

QWidget* NewDifferencesView(const QList<SettingsDifference>& differences, const QString& oursTitle,
                            const QString& theirsTitle)
{
    if (differences.isEmpty()) {
        auto* none = new QLabel(QStringLiteral("No differences"));
        none->setObjectName(QStringLiteral("NoDifferences"));
        return none;
    }
    auto* table = new QTableWidget(int(differences.size()), 4);
    table->setObjectName(QStringLiteral("Differences"));
    table->setHorizontalHeaderLabels({QStringLiteral("Section"), QStringLiteral("Setting"), oursTitle, theirsTitle});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < differences.size(); ++r) {
        const SettingsDifference& d = differences[r];
        const QString cells[] = {d.section, d.caption, d.ours, d.theirs};
        for (int c = 0; c < 4; ++c)
            table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

SettingsCompareDialog::SettingsCompareDialog(const QList<SettingsDifference>& differences, const QString& filePath,
                                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CompareSettingsDialog"));
    setWindowTitle(QStringLiteral("Compare Settings With File"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QString fileName = QFileInfo(filePath).fileName();
    text_ = DifferencesText(differences, QStringLiteral("Editors"), fileName);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The editors as they stand, compared with %1:").arg(filePath)));
    layout->addWidget(NewDifferencesView(differences, QStringLiteral("Editors"), fileName));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* copy = buttons->addButton(QStringLiteral("Copy List"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyDifferences"));
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(text_); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // A list needs room; "No differences" only what it says.
    if (differences.isEmpty())
        adjustSize();
    else
        resize(760, 480);
}
