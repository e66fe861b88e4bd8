// mirvel-cli beside the window and beside a bare Qt program: a current-settings scan of 257
// addresses on one simulator bench, and the start-up to the first byte on the line.
#include "benches.h"
#include "benchutil.h"

#include "support/rig.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QProcess>
#include <QPushButton>

namespace {

constexpr int ScanCom = 15;
constexpr int StartupCom = 16;
constexpr int StartupTurns = 31;

// From the start of the process to the first byte the peer reads from it, in milliseconds.
double firstByteMs(PeerPty &peer, const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    peer.armFirstRead();
    const double start = nowSeconds();
    process.start();
    process.waitForFinished(10000);
    const double at = peer.firstReadAt();
    return at > 0 ? (at - start) * 1000 : -1;
}

void benchStartupToFirstByte(QVector<BenchRow> &rows)
{
    PeerPty peer(StartupCom);
    const QString cli = QStringLiteral(MIRVEL_CLI_PROGRAM);
    const QStringList cliArguments{QStringLiteral("-p"), QStringLiteral("COM%1").arg(StartupCom),
                                   QStringLiteral("-q"), QStringLiteral("send"),
                                   QStringLiteral("$01F")};
    // The two take turns, each first every other turn, so that load from others on the machine
    // falls on both alike; the serial library's lock file, synced to disk at every open, makes
    // single runs swing by milliseconds.
    QVector<double> ours;
    QVector<double> bare;
    for (int i = 0; i < StartupTurns; ++i) {
        if (i % 2)
            ours << firstByteMs(peer, cli, cliArguments);
        bare << firstByteMs(peer, QStringLiteral(MIRVEL_BARE_PORT_PROGRAM), {peer.slavePath()});
        if (i % 2 == 0)
            ours << firstByteMs(peer, cli, cliArguments);
    }
    const bool all = !ours.contains(-1) && !bare.contains(-1);
    addRow(rows,
           QStringLiteral("mirvel-cli start-up to its first byte written (median of %1)")
               .arg(StartupTurns),
           median(ours), median(bare), QStringLiteral("ms"),
           QStringLiteral("ratio <= 1.2 (baseline: bare QCoreApplication opening the port)"),
           all && median(ours) <= 1.2 * median(bare));
}

void benchScanAgainstWindow(QVector<BenchRow> &rows)
{
    QStringList arguments{QStringLiteral("--no-converter"), QStringLiteral("--activity"),
                          QStringLiteral("0")};
    for (int id = 0; id < 256; ++id)
        arguments << QStringLiteral("--module")
                  << QStringLiteral("E41:%1:115200:nochk").arg(id, 2, 16, QLatin1Char('0'));
    SimProcess sim(ScanCom, arguments);

    // The tool first, as a script runs it; the simulator is a process of its own.
    QProcess cli;
    cli.setProgram(QStringLiteral(MIRVEL_CLI_PROGRAM));
    cli.setArguments({QStringLiteral("-p"), QStringLiteral("COM%1").arg(ScanCom),
                      QStringLiteral("-b"), QStringLiteral("115200"), QStringLiteral("-q"),
                      QStringLiteral("scan")});
    const double cliStart = nowSeconds();
    cli.start();
    cli.waitForFinished(600000);
    const double cliSeconds = nowSeconds() - cliStart;
    const qsizetype cliFound = cli.readAllStandardOutput().count('\n');

    // The window's Scan on the same bench, until its progress says the last address is done.
    Window w{QList<SimModuleSettings>{}};
    w.w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(ScanCom - 1);
    w.w<QComboBox>(QStringLiteral("LISTRATE"))->setCurrentIndex(7);
    w.click(QStringLiteral("Com_Set_Ok"));
    auto *scan = w.w<QPushButton>(QStringLiteral("Com_Scan_OK"));
    const double windowStart = nowSeconds();
    w.click(QStringLiteral("Com_Scan_OK"));
    while (!scan->toolTip().startsWith(QStringLiteral("Scan: 257 of 257")) &&
           nowSeconds() - windowStart < 600)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double windowSeconds = nowSeconds() - windowStart;
    const bool windowFoundAll = scan->toolTip().endsWith(QStringLiteral("256 module(s) found"));
    w.click(QStringLiteral("Com_Scan_OK"));

    addRow(rows,
           QStringLiteral("Current-settings scan of 257 addresses, 256 modules at 115200: "
                          "mirvel-cli (baseline: the window)"),
           cliSeconds, windowSeconds, QStringLiteral("s"),
           QStringLiteral("no longer than the window, both find 256"),
           cliSeconds <= windowSeconds && cliFound == 256 && windowFoundAll);
}

}  // namespace

void benchCli(QVector<BenchRow> &rows)
{
    benchStartupToFirstByte(rows);
    benchScanAgainstWindow(rows);
}
