#include "scan/modeltable.h"

#include "scan/scangrid.h"

void SetupScanGrid(ScanGrid &grid)
{
    static const int widths[ScanGrid::Cols] = {600, 1300, 3650, 1300, 1200};
    static const char *const headers[ScanGrid::Cols] = {"ID", "Name", "Description", "Baud Rate",
                                                        "Check Sum"};
    for (int c = 0; c < ScanGrid::Cols; ++c)
        grid.setColWidth(c, widths[c]);
    for (int c = 0; c < ScanGrid::Cols; ++c)
        grid.setColAlignment(c, 4);
    for (int c = 0; c < ScanGrid::Cols; ++c)
        grid.setTextArray(c, QString::fromLatin1(headers[c]));
}

void ClearScanGrid(ScanGrid &grid)
{
    for (int index = ScanGrid::Cols; index < ScanGrid::Rows * ScanGrid::Cols; ++index)
        grid.setTextArray(index, QString());
}

bool fillScanRow(ScanGrid &grid, int k, const QString &reply, ScanKind kind,
                 const QString &baudRate, const QString &checksum)
{
    if (k < 1 || k >= ScanGrid::Rows)
        return false;
    const ScanRow row = scanRow(reply, kind, baudRate, checksum);
    const int base = 5 * k;
    grid.setTextArray(base + 0, row.address);
    grid.setTextArray(base + 1, row.name);
    grid.setTextArray(base + 2, row.description);
    grid.setTextArray(base + 3, row.baudRate);
    grid.setTextArray(base + 4, row.checksum);
    return true;
}
