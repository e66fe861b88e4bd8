#pragma once

#include "link/protocol.h"

#include <QString>

class ScanGrid;

// Widths, alignment and header texts of the grid, once at start-up.
void SetupScanGrid(ScanGrid &grid);
// Blanks every result row, 1 to 254 (cells 5 to 1274), and keeps the header. Blanking only up to
// cell 1000 would leave rows 200 to 254 of an earlier, larger scan showing modules the new scan
// never found, and row 200 a model without its address.
void ClearScanGrid(ScanGrid &grid);

// Writes grid row k from an identification reply: address (reply characters 2-3), "QRD-" and the
// model code (4-6), its description, the baud rate text and the checksum text. A row above 254
// has no cells: nothing is written and false comes back.
bool fillScanRow(ScanGrid &grid, int k, const QString &reply, ScanKind kind,
                 const QString &baudRate, const QString &checksum);
