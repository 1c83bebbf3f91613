#pragma once
// A grid of text cells with fixed caption rows and columns, as the state
// pages and the settings editors use them. Cells are only rewritten when
// their text changes, so a refresh every 200 ms costs next to nothing when
// little moves.
#include <QStringList>
#include <QTableWidget>

class StringGrid : public QTableWidget {
    Q_OBJECT
public:
    StringGrid(int rows, int columns, int fixedRows, int fixedColumns, int columnWidth, int rowHeight,
               QWidget* parent = nullptr);

    void SetCell(int row, int column, const QString& text);
    QString Cell(int row, int column) const;
    // Writes all cells from texts given row by row.
    void SetCells(const QStringList& rowMajorTexts);
    // The texts of one column, rows first..last.
    QStringList Column(int column, int firstRow = 0) const;
    void SetEditable(bool editable);
    // Makes a pending cell edit part of the cell text.
    void CommitEdit();

    // The texts that one column held when the values were last taken in
    // (row by row): a cell whose text differs is shown in bold, with the text
    // it replaced as its tooltip. An empty list ends the marking.
    void SetReferenceTexts(int column, const QStringList& rowTexts);
    bool IsMarkedChanged(int row, int column) const;
    // A cell (a password) shown as dots, with an item of the context menu
    // that shows its text.
    void SetMaskedCell(int row, int column, const QString& revealText);
    bool IsMasked(int row, int column) const;
    // Greys the value cells: what they show is no reading.
    void SetDimmed(bool dimmed);
    bool IsDimmed() const { return dimmed_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Ctrl+C copies the cell in focus, as users expect of a grid, before any
    // window-wide shortcut of the same keys.
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr int CellPadding = 10;
    static constexpr int MinValueWidth = 60;
    void ShowChange(int row, int column);
    // Shares the grid's width out among its columns.
    void FitColumns();
    // Whether a value's text may be wider than `room`: a bound from the
    // font's widest character of numbers where the text is one, else from
    // its widest character of all.
    bool MayNotFit(const QString& shown, int room);
    // A cell's text, the columns fitted to it; true when it changed
    // (`known`: it did).
    bool Put(int row, int column, const QString& text, bool known = false);
    void Fill(const QStringList& texts, bool evenHidden);
    // The texts a hidden grid was given, into its items.
    void ApplyPending();

    int fixedRows_;
    int fixedColumns_;
    int baseColumnWidth_ = 0;
    int referenceColumn_ = -1;
    bool dimmed_ = false;
    bool editable_ = false;
    int maskedRow_ = -1;
    int maskedColumn_ = -1;
    bool revealed_ = false;
    QStringList reference_;
    // What the last SetCells gave, while no single cell changed since.
    QStringList lastCells_;
    QStringList pendingCells_;
    bool pending_ = false;
    // The widest character a number is written with, in the font that
    // measured it (0: not measured yet).
    int numberCharWidth_ = 0;
    QFont measuredFont_;
};
