#include "views/state_page_widget.h"
#include "views/page_parts_widget.h"
#include "views/string_grid_widget.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

StatePage::StatePage(Side side, QWidget* parent)
    : QWidget(parent),
      measured_(new StringGrid(MeasuredValuesRows, MeasuredValuesColumns, 1, 1, 210, 16)),
      system_(new StringGrid(SystemStateRows, StateColumns, 1, 1, 190, 16)),
      regulator_(new StringGrid(RegulatorStateRows, StateColumns, 1, 1, 190, 16)),
      memo_(ReadOnlyMemo()),
      banner_(new NotLiveBanner), values_(new QWidget(this))
{
    Grows(memo_, 410, 316);

    // Spacing as in the design, so that the page fits the design's size.
    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    left->addWidget(PageCaption(QStringLiteral("System State")));
    left->addWidget(system_);
    left->addSpacing(4);
    left->addWidget(PageCaption(QStringLiteral("Regulator State")));
    left->addWidget(regulator_);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(1);
    // The peer page has no caption over its memo; the memo lines up all the same.
    right->addWidget(PageCaption(side == Side::Own ? QStringLiteral("System Messages") : QString()));
    right->addWidget(memo_, 1);
    auto* lower = new QHBoxLayout;
    lower->addLayout(left);
    lower->addSpacing(50);
    lower->addLayout(right, 1);
    // The values below the banner, hidden as one where they are not shared.
    auto* values = new QVBoxLayout(values_);
    values->setContentsMargins(0, 0, 0, 0);
    values->setSpacing(1);
    values->addWidget(PageCaption(QStringLiteral("Measured Values")));
    values->addWidget(measured_);
    values->addSpacing(4);
    values->addLayout(lower, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(1);
    layout->addWidget(banner_);
    layout->addWidget(values_, 1);
}

void StatePage::Draw(const StatePageTexts& texts, int parts)
{
    if (parts & MeasuredPart)
        measured_->SetCells(texts.measured);
    if (parts & SystemPart)
        system_->SetCells(texts.system);
    if (parts & RegulatorPart)
        regulator_->SetCells(texts.regulator);
    // The memo is read-only and written here alone, so the lines it was
    // given last say what it shows without reading its document back.
    if ((parts & MessagesPart) && texts.messages != memoLines_) {
        SetMemoLines(memo_, texts.messages);
        memoLines_ = texts.messages;
    }
}

void StatePage::ShowNotLive(const QString& text, bool valuesHidden)
{
    // The page keeps the records' values whatever happens; when those are no
    // readings, it says so and greys them, or shows none at all when they
    // are not the ones the user looks for.
    banner_->Show(text);
    for (StringGrid* grid : {measured_, system_, regulator_})
        grid->SetDimmed(!text.isEmpty());
    values_->setVisible(!valuesHidden);
}
