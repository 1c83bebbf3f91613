#pragma once
// A grid of text cells with fixed caption rows and columns, as the state
// pages and the settings editors use them. A grid that only shows values
// (the state pages, given all their texts five times a second) keeps those
// texts in one list that its items answer from, so a refresh costs a
// comparison per cell and one repaint, whatever moves.
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
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class GridItem;
    static constexpr int CellPadding = 10;
    static constexpr int MinValueWidth = 60;
    void ShowChange(int row, int column);
    // Shares the grid's width out among its columns.
    void FitColumns();
    // Whether a value's text may be wider than `room`: a bound from the
    // font's widest character of numbers where the text is one, else from
    // its widest character of all.
    bool MayNotFit(const QString& text, int room);
    static constexpr const char* NumberChars = "0123456789+-.,:% ";
    // A cell's text into its item, the columns fitted to it.
    void Put(int row, int column, const QString& text);
    // After a cell's text changed: a caption's tooltip, and the columns
    // shared out anew where the text may not fit.
    void Fitted(int row, int column, const QString& text);
    // The shown texts into the items, for an edit or a single cell's change.
    void KeepInItems();

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
    // What the last SetCells gave, every cell row by row, while no single
    // cell changed since and no edit began; the items show these texts.
    QStringList shown_;
    // The widest character a number is written with, and the widest of all,
    // in the grid's font (0: not measured yet).
    int numberCharWidth_ = 0;
    int anyCharWidth_ = 0;
    // Texts changed while the grid was out of sight: the columns are fitted
    // when it shows.
    bool fitOnShow_ = false;
};
