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

private:
    int fixedRows_;
    int fixedColumns_;
};
