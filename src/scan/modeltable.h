#pragma once

#include <QString>

class ScanGrid;

// Which scan found a module: the two scans describe one model differently.
enum class ScanKind { AllSettings, CurrentSettings };

// The two-digit upper-case hexadecimal address text of an ID: "09", "0A", "FF"; empty outside
// 0 to 255.
QString addressText(int id);

// The 17-character description of a model code ("Unkonw The Module" for anything unknown).
QString ModelTable(const QString &modelCode, ScanKind kind);

// Widths, alignment and header texts of the grid, once at start-up.
void SetupScanGrid(ScanGrid &grid);
// Blanks the cells with index 5 to 1000 (rows 1 to 199 and the first cell of row 200).
void ClearScanGrid(ScanGrid &grid);

// The identification answer picked out of the receive loop's hexadecimal dump (blanks trimmed),
// in the form of an ASCII identification reply: "!" + the first byte's two digits + the fifth
// byte's low digit + the sixth byte's two digits, when that low digit is the model letter "E";
// empty otherwise.
QString rtuIdentificationFromDump(const QString &dump);

// Writes grid row k from an identification reply: address (reply characters 2-3), "QRD-" and the
// model code (4-6), its description, the baud rate text and the checksum text. A row above 254
// has no cells: nothing is written and false comes back.
bool fillScanRow(ScanGrid &grid, int k, const QString &reply, ScanKind kind,
                 const QString &baudRate, const QString &checksum);
