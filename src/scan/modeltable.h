#pragma once

#include "link/protocol.h"

#include <QString>

class ScanGrid;

// Widths, alignment and header texts of the grid, once at start-up.
void SetupScanGrid(ScanGrid &grid);
// Blanks the cells with index 5 to 1000 (rows 1 to 199 and the first cell of row 200).
void ClearScanGrid(ScanGrid &grid);

// Writes grid row k from an identification reply: address (reply characters 2-3), "QRD-" and the
// model code (4-6), its description, the baud rate text and the checksum text. A row above 254
// has no cells: nothing is written and false comes back.
bool fillScanRow(ScanGrid &grid, int k, const QString &reply, ScanKind kind,
                 const QString &baudRate, const QString &checksum);
