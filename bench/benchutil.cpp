#include "benchutil.h"

#include <QFile>

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void addRow(QVector<BenchRow> &rows, const QString &what, double ours, double baseline,
            const QString &unit, const QString &target, bool met)
{
    rows.append({what, ours, baseline, unit, target, met});
}
