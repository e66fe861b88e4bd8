#include "scan/modeltable.h"

#include "link/checksum.h"
#include "scan/scangrid.h"

QString addressText(int id)
{
    if (id < 0 || id > 255)
        return QString();
    return QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
}

QString ModelTable(const QString &modelCode, ScanKind kind)
{
    if (modelCode == QLatin1String("E45"))
        return kind == ScanKind::AllSettings ? QStringLiteral("4 CH. DI & DO    ")
                                             : QStringLiteral("4 CH DI & DO     ");
    if (modelCode == QLatin1String("E41"))
        return QStringLiteral("16 CH DO         ");
    if (modelCode == QLatin1String("E43"))
        return QStringLiteral("16 CH DI         ");
    if (modelCode == QLatin1String("E82"))
        return QStringLiteral("8 CH A.D         ");
    if (modelCode == QLatin1String("E47"))
        return QStringLiteral("8 CH DI & DO     ");
    return QStringLiteral("Unkonw The Module");
}

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
    for (int index = 5; index <= 1000; ++index)
        grid.setTextArray(index, QString());
}

QString rtuIdentificationFromDump(const QString &dump)
{
    if (midChars(dump, 14, 1) != QLatin1String("E"))
        return QString();
    return QStringLiteral("!") + midChars(dump, 1, 2) + midChars(dump, 14, 1) +
           midChars(dump, 16, 2);
}

bool fillScanRow(ScanGrid &grid, int k, const QString &reply, ScanKind kind,
                 const QString &baudRate, const QString &checksum)
{
    if (k < 1 || k >= ScanGrid::Rows)
        return false;
    const QString code = midChars(reply, 4, 3);
    const int base = 5 * k;
    grid.setTextArray(base + 0, midChars(reply, 2, 2));
    grid.setTextArray(base + 1, QStringLiteral("QRD-") + code);
    grid.setTextArray(base + 2, ModelTable(code, kind));
    grid.setTextArray(base + 3, baudRate);
    grid.setTextArray(base + 4, checksum);
    return true;
}
