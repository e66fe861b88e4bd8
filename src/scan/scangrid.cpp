#include "scan/scangrid.h"

#include "link/checksum.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

Qt::Alignment qtAlignment(int alignment)
{
    // The grid's alignment codes: 0-2 left, 3-5 centre, 6-8 right; top, middle, bottom in turn.
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (alignment >= 3 && alignment <= 5)
        horizontal = Qt::AlignHCenter;
    else if (alignment >= 6 && alignment <= 8)
        horizontal = Qt::AlignRight;
    Qt::Alignment vertical = Qt::AlignVCenter;
    if (alignment >= 0 && alignment <= 8) {
        const int v = alignment % 3;
        vertical = v == 0 ? Qt::AlignTop : (v == 1 ? Qt::AlignVCenter : Qt::AlignBottom);
    }
    return horizontal | vertical;
}

}  // namespace

ScanGrid::ScanGrid(QTableWidget *table) : m_table(table)
{
    // The row header is hidden and the row height set before the rows exist: the table then never
    // measures the row numbers of a header that is not shown.
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(18);
    m_table->setColumnCount(Cols);
    m_table->setRowCount(Rows - 1);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < Cols; ++c)
        m_table->setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    m_table->setCurrentCell(0, 0);
}

void ScanGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= Cols)
        return;
    m_widthTwips[col] = twips;
    m_table->setColumnWidth(col, (twips + TwipsPerPixel / 2) / TwipsPerPixel);
}

int ScanGrid::colWidth(int col) const
{
    if (col < 0 || col >= Cols)
        return 0;
    return m_widthTwips[col] ? m_widthTwips[col] : m_table->columnWidth(col) * TwipsPerPixel;
}

void ScanGrid::setColAlignment(int col, int alignment)
{
    if (col < 0 || col >= Cols)
        return;
    m_alignment[col] = alignment;
    const Qt::Alignment align = qtAlignment(alignment);
    m_table->horizontalHeaderItem(col)->setTextAlignment(align);
    for (int r = 0; r < m_table->rowCount(); ++r) {
        if (QTableWidgetItem *item = m_table->item(r, col))
            item->setTextAlignment(align);
    }
}

int ScanGrid::colAlignment(int col) const
{
    return (col >= 0 && col < Cols) ? m_alignment[col] : 0;
}

void ScanGrid::setTextArray(int index, const QString &text)
{
    if (index < 0 || index >= Rows * Cols)
        return;
    const int row = index / Cols;
    const int col = index % Cols;
    if (row == 0) {
        m_table->horizontalHeaderItem(col)->setText(text);
        return;
    }
    QTableWidgetItem *item = m_table->item(row - 1, col);
    if (!item) {
        if (text.isEmpty())
            return;
        item = new QTableWidgetItem;
        item->setTextAlignment(qtAlignment(m_alignment[col]));
        m_table->setItem(row - 1, col, item);
    }
    item->setText(text);
}

QString ScanGrid::textArray(int index) const
{
    if (index < 0 || index >= Rows * Cols)
        return QString();
    const int row = index / Cols;
    const int col = index % Cols;
    if (row == 0)
        return m_table->horizontalHeaderItem(col)->text();
    const QTableWidgetItem *item = m_table->item(row - 1, col);
    return item ? item->text() : QString();
}

QString ScanGrid::text() const
{
    return textArray(row() * Cols + col());
}

QString ScanGrid::selectedAddress() const
{
    return trimSpaces(text());
}

int ScanGrid::row() const
{
    return m_table->currentRow() < 0 ? 1 : m_table->currentRow() + 1;
}

int ScanGrid::col() const
{
    return m_table->currentColumn() < 0 ? 0 : m_table->currentColumn();
}

void ScanGrid::setCurrentCell(int row, int col)
{
    if (row < 1 || row >= Rows || col < 0 || col >= Cols)
        return;
    m_table->setCurrentCell(row - 1, col);
}
