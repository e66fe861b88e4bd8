#pragma once

#include <QString>

class QTableWidget;

// The grid of found modules: 255 rows (row 0 the fixed header row), 5 columns, cells addressed by
// row-major index (row x 5 + column). Over a QTableWidget whose horizontal header is row 0.
class ScanGrid
{
public:
    static constexpr int Rows = 255;
    static constexpr int Cols = 5;
    static constexpr int TwipsPerPixel = 15;

    explicit ScanGrid(QTableWidget *table);

    void setColWidth(int col, int twips);
    int colWidth(int col) const;  // twips
    // 4: centred horizontally and vertically.
    void setColAlignment(int col, int alignment);
    int colAlignment(int col) const;

    // Sets one cell's text; an index beyond the last cell (1274) has no cell and does nothing.
    void setTextArray(int index, const QString &text);
    QString textArray(int index) const;

    // The text of the current cell, blanks included.
    QString text() const;
    // The module the pages below the grid talk to: the current cell's text without its
    // surrounding blanks. Read anew for every command, since the operator may pick another cell
    // while an exchange waits.
    QString selectedAddress() const;
    int row() const;
    int col() const;
    // Makes a cell current, as the operator's click does.
    void setCurrentCell(int row, int col);

    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table;
    int m_alignment[Cols] = {0, 0, 0, 0, 0};
    int m_widthTwips[Cols] = {0, 0, 0, 0, 0};
};
