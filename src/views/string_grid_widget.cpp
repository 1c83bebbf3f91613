#include "views/string_grid_widget.h"
#include "views/value_format.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QHeaderView>

#include <algorithm>
#include <cstring>
#include <utility>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace {

// Text fields of the settings keep their zero bytes in the cell text, so that
// a cell nobody edited gives back exactly the bytes it was filled from. The
// zeros are neither drawn nor put in the editor; an edit that leaves the
// visible text as it was keeps the cell's original text.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(StringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    // A masked cell shows dots in place of its text until revealed; the
    // editor still edits the text itself.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (grid_->IsMasked(index.row(), index.column()) && !option->text.isEmpty())
            option->text = QString(8, QChar(0x2022));
    }

    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        return QStyledItemDelegate::displayText(WithoutZeros(value.toString()), locale);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setText(WithoutZeros(index.data(Qt::EditRole).toString()));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && line->text() == WithoutZeros(index.data(Qt::EditRole).toString()))
            return;
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    StringGrid* grid_;
};

} // namespace

// An item of a grid. While the grid only shows values, the item's text is
// the grid's shown text of its cell; otherwise it is the item's own.
class GridItem : public QTableWidgetItem {
public:
    GridItem(const StringGrid& grid, int at) : grid_(grid), at_(at) {}

    QVariant data(int role) const override
    {
        if ((role == Qt::DisplayRole || role == Qt::EditRole) && at_ < grid_.shown_.size())
            return grid_.shown_[at_];
        return QTableWidgetItem::data(role);
    }

private:
    const StringGrid& grid_;
    const int at_;
};

StringGrid::StringGrid(int rows, int columns, int fixedRows, int fixedColumns, int columnWidth, int rowHeight,
                       QWidget* parent)
    : QTableWidget(rows, columns, parent), fixedRows_(fixedRows), fixedColumns_(fixedColumns)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setDefaultSectionSize(columnWidth);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setItemDelegate(new CellDelegate(this));
    setTextElideMode(Qt::ElideRight);
    // The design's size is the least; the grid widens with the window (its
    // rows keep their height).
    baseColumnWidth_ = columnWidth;
    setMinimumWidth(columns * columnWidth + 2 * frameWidth() + 1);
    setFixedHeight(rows * rowHeight + 2 * frameWidth() + 1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const QBrush fixedBrush = palette().brush(QPalette::Button);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            auto* item = new GridItem(*this, r * columns + c);
            if (r < fixedRows || c < fixedColumns) {
                item->setBackground(fixedBrush);
                item->setFlags(Qt::ItemIsEnabled);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            setItem(r, c, item);
        }
    }
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* changed) {
        if (changed->column() == referenceColumn_)
            ShowChange(changed->row(), changed->column());
    });
}

void StringGrid::SetCell(int row, int column, const QString& text)
{
    KeepInItems();
    Put(row, column, text);
}

void StringGrid::Put(int row, int column, const QString& text)
{
    QTableWidgetItem* cell = item(row, column);
    if (cell->text() == text)
        return;
    cell->setText(text);
    Fitted(row, column, text);
}

void StringGrid::Fitted(int row, int column, const QString& text)
{
    // A caption cut off at the grid's width stays readable.
    if (row < fixedRows_ || column < fixedColumns_)
        item(row, column)->setToolTip(WithoutZeros(text));
    // A grid out of sight shares its width out when it shows.
    if (!isVisible()) {
        fitOnShow_ = true;
        return;
    }
    // A caption, or a value that no longer fits its column, shares the
    // width out anew.
    if (column < fixedColumns_) {
        FitColumns();
        return;
    }
    // (Shaping a text to measure it is the dearest part of a redraw: a text
    // that fits even in the font's widest characters is not measured.)
    const int room = columnWidth(column) - CellPadding;
    if (MayNotFit(text, room) && fontMetrics().horizontalAdvance(WithoutZeros(text)) > room)
        FitColumns();
}

bool StringGrid::MayNotFit(const QString& text, int room)
{
    if (numberCharWidth_ == 0) {
        const QFontMetrics metrics = fontMetrics();
        anyCharWidth_ = metrics.maxWidth();
        numberCharWidth_ = 1;
        for (const char* c = NumberChars; *c; ++c)
            numberCharWidth_ = std::max(numberCharWidth_, metrics.horizontalAdvance(QLatin1Char(*c)));
    }
    // Most cells hold numbers, whose widest character is far narrower than
    // the font's widest of all.
    const bool number = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 128 && c.unicode() != 0 && std::strchr(NumberChars, char(c.unicode())) != nullptr;
    });
    return int(text.size()) * (number ? numberCharWidth_ : anyCharWidth_) > room;
}

QString StringGrid::Cell(int row, int column) const
{
    return item(row, column)->text();
}

void StringGrid::SetCells(const QStringList& texts)
{
    const int columns = columnCount();
    const int cells = rowCount() * columns;
    const int count = std::min(int(texts.size()), cells);
    if (referenceColumn_ >= 0 || editable_) {
        for (int i = 0; i < count; ++i)
            SetCell(i / columns, i % columns, texts[i]);
        return;
    }
    // A grid that only shows values keeps its texts in one list, which its
    // items answer with: a changed text is one assignment, and the grid
    // repaints once for all its changes instead of signalling each through
    // the model (no edit and no reference marking listen to those). A grid
    // on a page behind another keeps its texts the same way; it paints them
    // when it shows.
    if (shown_.isEmpty()) {
        QStringList fromItems;
        fromItems.reserve(cells);
        for (int i = 0; i < cells; ++i)
            fromItems << item(i / columns, i % columns)->text();
        shown_ = std::move(fromItems);
    }
    // The cells that changed, as the corners of the rectangle around them.
    int first = -1;
    int last = -1;
    int left = columns;
    int right = -1;
    {
        const QSignalBlocker quiet(model());
        for (int i = 0; i < count; ++i) {
            if (std::as_const(shown_)[i] == texts[i])
                continue;
            // Copied cell by cell, so that the caller's list stays its own
            // and is not copied whole when it changes next.
            shown_[i] = texts[i];
            Fitted(i / columns, i % columns, texts[i]);
            if (first < 0)
                first = i / columns;
            last = i / columns;
            left = std::min(left, i % columns);
            right = std::max(right, i % columns);
        }
    }
    // Only the rectangle around the changed cells is painted again: the
    // captions, drawn the same every time, mostly lie outside it.
    if (first >= 0 && isVisible())
        viewport()->update(visualRect(model()->index(first, left)) | visualRect(model()->index(last, right)));
}

void StringGrid::KeepInItems()
{
    if (shown_.isEmpty())
        return;
    const QStringList texts = std::exchange(shown_, {});
    const QSignalBlocker quiet(model());
    const int columns = columnCount();
    for (int i = 0; i < texts.size(); ++i)
        item(i / columns, i % columns)->setText(texts[i]);
}

QStringList StringGrid::Column(int column, int firstRow) const
{
    QStringList texts;
    for (int r = firstRow; r < rowCount(); ++r)
        texts << Cell(r, column);
    return texts;
}

void StringGrid::SetEditable(bool editable)
{
    KeepInItems();
    editable_ = editable;
    for (int r = fixedRows_; r < rowCount(); ++r)
        for (int c = fixedColumns_; c < columnCount(); ++c) {
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (editable)
                flags |= Qt::ItemIsEditable;
            item(r, c)->setFlags(flags);
        }
    setEditTriggers(editable ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
}

void StringGrid::CommitEdit()
{
    if (state() == QAbstractItemView::EditingState) {
        QWidget* editor = indexWidget(currentIndex());
        if (!editor)
            editor = focusWidget();
        if (editor) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
}

void StringGrid::SetReferenceTexts(int column, const QStringList& rowTexts)
{
    KeepInItems();
    const int previous = referenceColumn_;
    referenceColumn_ = rowTexts.isEmpty() ? -1 : column;
    reference_ = rowTexts;
    for (int r = 0; r < rowCount(); ++r) {
        if (previous >= 0 && previous != referenceColumn_)
            ShowChange(r, previous);
        if (referenceColumn_ >= 0)
            ShowChange(r, referenceColumn_);
    }
}

bool StringGrid::IsMarkedChanged(int row, int column) const
{
    return item(row, column)->data(Qt::FontRole).isValid();
}

void StringGrid::ShowChange(int row, int column)
{
    QTableWidgetItem* cell = item(row, column);
    const bool changed = column == referenceColumn_ && row < reference_.size() && cell->text() != reference_[row];
    // Bold in the grid's own font; an unmarked cell has no font of its own.
    if (cell->data(Qt::FontRole).isValid() != changed) {
        QFont bold = font();
        bold.setBold(true);
        cell->setData(Qt::FontRole, changed ? QVariant(bold) : QVariant());
    }
    const QString tip = changed ? QStringLiteral("Was: ") + WithoutZeros(reference_[row]) : QString();
    if (cell->toolTip() != tip)
        cell->setToolTip(tip);
}

void StringGrid::SetMaskedCell(int row, int column, const QString& revealText)
{
    maskedRow_ = row;
    maskedColumn_ = column;
    // A way to read it: the grid's context menu shows or hides it.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* reveal = new QAction(revealText, this);
    reveal->setCheckable(true);
    connect(reveal, &QAction::toggled, this, [this](bool on) {
        revealed_ = on;
        viewport()->update();
    });
    addAction(reveal);
}

bool StringGrid::IsMasked(int row, int column) const
{
    return !revealed_ && row == maskedRow_ && column == maskedColumn_;
}

void StringGrid::SetDimmed(bool dimmed)
{
    if (dimmed_ == dimmed)
        return;
    dimmed_ = dimmed;
    QPalette p = palette();
    p.setColor(QPalette::Text, QApplication::palette().color(dimmed ? QPalette::Disabled : QPalette::Active,
                                                               QPalette::Text));
    setPalette(p);
}

bool StringGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)
        && currentIndex().isValid()) {
        event->accept();
        return true;
    }
    return QTableWidget::event(event);
}

void StringGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) && currentIndex().isValid()) {
        const int row = currentIndex().row();
        const int column = currentIndex().column();
        // A masked cell is copied as it is shown.
        QGuiApplication::clipboard()->setText(IsMasked(row, column) ? QString() : WithoutZeros(Cell(row, column)));
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void StringGrid::showEvent(QShowEvent* event)
{
    QTableWidget::showEvent(event);
    if (std::exchange(fitOnShow_, false))
        FitColumns();
}

void StringGrid::changeEvent(QEvent* event)
{
    // Widths are measured anew in another font or style.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        numberCharWidth_ = 0;
    QTableWidget::changeEvent(event);
}

void StringGrid::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    FitColumns();
}

void StringGrid::FitColumns()
{
    const int columns = columnCount();
    const int total = viewport()->width();
    if (total <= 0 || columns == 0)
        return;
    QList<int> needed(columns, 0);
    const QFontMetrics metrics = fontMetrics();
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rowCount(); ++r)
            needed[c] = std::max(needed[c], metrics.horizontalAdvance(WithoutZeros(Cell(r, c))) + CellPadding);
    // The value columns take what their texts need (within the design's
    // width), the caption columns the rest, so that whole captions show
    // where the room is there; what is left over widens the values.
    QList<int> widths(columns, 0);
    int values = 0;
    for (int c = fixedColumns_; c < columns; ++c) {
        widths[c] = std::clamp(needed[c], std::min(MinValueWidth, baseColumnWidth_), baseColumnWidth_);
        values += widths[c];
    }
    const int captionColumns = std::min(fixedColumns_, columns);
    int captionNeed = 0;
    for (int c = 0; c < captionColumns; ++c)
        captionNeed += std::max(needed[c], MinValueWidth);
    int room = total - values;
    if (captionColumns == 0) {
        room = total;
    } else if (room >= captionNeed) {
        for (int c = 0; c < captionColumns; ++c)
            widths[c] = std::max(needed[c], MinValueWidth);
        room -= captionNeed;
    } else {
        for (int c = 0; c < captionColumns; ++c)
            widths[c] = std::max(room / captionColumns, MinValueWidth);
        room = 0;
    }
    const int spreadOver = columns - captionColumns > 0 ? columns - captionColumns : columns;
    const int first = columns - spreadOver;
    for (int c = first; c < columns && room > 0; ++c)
        widths[c] += room / spreadOver + (c - first < room % spreadOver ? 1 : 0);
    for (int c = 0; c < columns; ++c)
        if (columnWidth(c) != widths[c])
            setColumnWidth(c, widths[c]);
}
