// Prints the benchmark table: each figure of the program beside a baseline measured in the same
// run on the same machine. Run through scripts/bench (release build), not by the tests.
#include "benches.h"

#include <QApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--startup-child") == 0)
        return startupChild(argc, argv);
    QApplication app(argc, argv);
    const QStringList only = app.arguments().mid(1);

    const QList<QPair<QString, std::function<void(QVector<BenchRow> &)>>> sections{
        {QStringLiteral("link"), benchLink},     {QStringLiteral("startup"), benchStartup},
        {QStringLiteral("window"), benchWindow}, {QStringLiteral("monitor"), benchMonitor},
        {QStringLiteral("loop"), benchLoop},     {QStringLiteral("soak"), benchAutoRepeat},
        {QStringLiteral("cli"), benchCli},
    };

    QVector<BenchRow> rows;
    for (const auto &section : sections) {
        if (only.isEmpty() || only.contains(section.first))
            section.second(rows);
    }

    QTextStream out(stdout);
    out << QStringLiteral("| measurement | MIRVEL | baseline | unit | ratio | target | met |\n");
    out << QStringLiteral("|---|---|---|---|---|---|---|\n");
    int missed = 0;
    for (const BenchRow &row : rows) {
        const QString ratio = row.baseline > 0 ? QString::number(row.ours / row.baseline, 'f', 2)
                                               : QStringLiteral("-");
        out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |\n")
                   .arg(row.what, QString::number(row.ours, 'g', 4),
                        QString::number(row.baseline, 'g', 4), row.unit, ratio, row.target,
                        row.met ? QStringLiteral("yes") : QStringLiteral("no"));
        missed += row.met ? 0 : 1;
    }
    out.flush();
    return missed ? 1 : 0;
}
