#include "settings/settings_page_widget.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/settings_page_rows.h"
#include "settings/system_settings_rows.h"
#include "views/page_parts_widget.h"
#include "views/string_grid_widget.h"

#include <QAbstractItemDelegate>
#include <QHBoxLayout>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

// A rebuild replaces every cell text. An editor still open over a cell would
// keep the user's typed text and put it back into the cell with the next
// store, so the edit that the rebuild dropped would reach the regulator after
// all. The editor is closed first without taking its text, as Escape does.
void DropOpenEditor(StringGrid* grid)
{
    if (QWidget* editor = grid->indexWidget(grid->currentIndex()))
        emit grid->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void SetColumn(StringGrid* grid, const QStringList& captions, const QStringList& texts)
{
    for (int r = 0; r < captions.size(); ++r) {
        grid->SetCell(r, 0, captions[r]);
        grid->SetCell(r, 1, texts[r]);
    }
}

} // namespace

SettingsPage::SettingsPage(QWidget* parent)
    : QWidget(parent),
      system_(new StringGrid(SystemSettingsRowCount, 2, 0, 1, 210, 16, this)),
      tabs_(new QTabBar(this)),
      profile_(new StringGrid(ChargeProfileRowCount, 2, 0, 1, 206, 16, this)),
      chart_(new FieldRpmChart(this)),
      banner_(new NotLiveBanner(this))
{
    QFont gridFont = system_->font();
    gridFont.setPixelSize(11);
    system_->setFont(gridFont);
    system_->SetEditable(true);
    system_->SetMaskedCell(WifiPasswordRow, 1, QStringLiteral("Show Wi-Fi Password"));
    // A little narrower than the design's two 210-pixel columns at the least
    // (its values are short), so that the eight profile tabs beside it show
    // whole at the window's design size.
    system_->setMinimumWidth(400);
    const QStringList captions = SystemSettingsCaptions();
    for (int r = 0; r < SystemSettingsRowCount; ++r)
        system_->SetCell(r, 0, captions[r]);

    tabs_->setMinimumSize(417, 25);
    tabs_->setShape(QTabBar::RoundedNorth);
    tabs_->setExpanding(false);
    // Where the column is narrower than the eight tabs, arrows reach the rest.
    tabs_->setUsesScrollButtons(true);
    tabs_->setElideMode(Qt::ElideNone);
    tabs_->setDocumentMode(true);
    tabs_->setDrawBase(false);
    QFont tabFont = gridFont;
    tabFont.setPixelSize(9);
    tabs_->setFont(tabFont);
    // Flat, tight tabs drawn like buttons, so that all eight captions fit.
    tabs_->setStyleSheet(QStringLiteral(
        "QTabBar::tab { padding: 4px 1px; margin: 0px; border: 1px solid palette(mid);"
        " background: palette(button); }"
        "QTabBar::tab:selected { background: palette(base); border-color: palette(dark); }"));
    for (const QString& caption : ChargeProfileTabCaptions())
        tabs_->addTab(caption);
    // All eight tabs are room the column must give.
    tabs_->setMinimumWidth(std::max(417, tabs_->sizeHint().width()));
    // A click on a tab is only a wish until the grid's typed values went into
    // the profile being left: the tab bar goes back to that tab, and the draw
    // that follows the choice selects the new one.
    // An edit the user committed (the cell holds its text by then, as the
    // grid takes the editor's data before this is told).
    for (StringGrid* grid : {system_, profile_}) {
        connect(grid->itemDelegate(), &QAbstractItemDelegate::commitData, this, [this, grid] {
            const int row = grid->currentRow();
            emit cellEdited(grid == profile_, row, grid->Cell(row, 1));
        });
    }
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        SelectTab(shownTab_);
        emit profileTabChosen(index);
    });

    QFont small = profile_->font();
    small.setPixelSize(9);
    profile_->setFont(small);
    profile_->SetEditable(true);
    const QStringList profileCaptions = ChargeProfileCaptions();
    for (int r = 0; r < ChargeProfileRowCount; ++r)
        profile_->SetCell(r, 0, profileCaptions[r]);

    Grows(chart_, 417, 369);

    auto* right = new QVBoxLayout;
    right->setSpacing(3);
    right->addWidget(tabs_);
    right->addWidget(profile_);
    right->addSpacing(12);
    right->addWidget(chart_, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(system_);
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(7);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 7, 6, 8);
    layout->addWidget(banner_);
    layout->addLayout(columns, 1);
}

void SettingsPage::SelectTab(int tab)
{
    shownTab_ = tab;
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(tab);
}

void SettingsPage::DrawSystemSettings(const SettingsView& view)
{
    DropOpenEditor(system_);
    SelectTab(view.tab);
    SetColumn(system_, SystemSettingsCaptions(), SystemSettingsTexts(view.record, view.voltage));
    system_->SetReferenceTexts(1, SystemSettingsTexts(view.reference, view.voltage));
}

void SettingsPage::DrawChargeProfile(const SettingsView& view)
{
    DropOpenEditor(profile_);
    SetColumn(profile_, ChargeProfileCaptions(), ChargeProfileTexts(view.record.Profile(view.tab), view.voltage));
    profile_->SetReferenceTexts(1, ChargeProfileTexts(view.reference.Profile(view.tab), view.voltage));
}

void SettingsPage::DrawCurve(const SettingsView& view)
{
    chart_->SetPoints(CurvePointsFromRecord(view.record.Curve()));
    chart_->SetReferencePoints(CurvePointsFromRecord(view.reference.Curve()));
}

void SettingsPage::Draw(const SettingsView& view)
{
    DrawSystemSettings(view);
    DrawChargeProfile(view);
    DrawCurve(view);
}

void SettingsPage::MarkChanged(const SettingsView& view)
{
    system_->SetReferenceTexts(1, SystemSettingsTexts(view.reference, view.voltage));
    profile_->SetReferenceTexts(1, ChargeProfileTexts(view.reference.Profile(view.tab), view.voltage));
    chart_->SetReferencePoints(CurvePointsFromRecord(view.reference.Curve()));
}

void SettingsPage::StoreSystemSettings(int tab, uint16_t voltage, SettingsRecord& record)
{
    system_->CommitEdit();
    StoreSystemSettingsTexts(system_->Column(1), tab, voltage, record);
}

void SettingsPage::StoreChargeProfile(int tab, uint16_t voltage, SettingsRecord& record)
{
    profile_->CommitEdit();
    ChargeProfile profile = record.Profile(tab);
    StoreChargeProfileTexts(profile_->Column(1), voltage, profile);
    record.SetProfile(tab, profile);
}

void SettingsPage::StoreCurve(SettingsRecord& record)
{
    record.SetCurve(CurveFromPoints(chart_->Points()));
}

SettingsRecord SettingsPage::EditorsRecord(SettingsRecord record, int tab, uint16_t voltage)
{
    system_->CommitEdit();
    profile_->CommitEdit();
    return SettingsFromPageTexts(std::move(record), tab, system_->Column(1), profile_->Column(1), chart_->Points(),
                                 voltage);
}

QStringList SettingsPage::EditorTexts(bool profileGrid) const
{
    return (profileGrid ? profile_ : system_)->Column(1);
}

void SettingsPage::SetEditorCell(bool profileGrid, int row, const QString& text)
{
    (profileGrid ? profile_ : system_)->SetCell(row, 1, text);
}

void SettingsPage::CancelDrag()
{
    chart_->CancelDrag();
}

void SettingsPage::ShowNotLive(const QString& text)
{
    banner_->Show(text);
}
