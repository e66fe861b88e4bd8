// The serial paths again with the "Traffic" window open and recording, and what the record costs
// in memory once it holds as many entries as it keeps.
#include "benches.h"
#include "benchutil.h"

#include "link/commport.h"
#include "link/waits.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficmonitor.h"
#include "support/rig.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QListView>
#include <QRadioButton>
#include <QTimer>

#include <unistd.h>

namespace {

const QString MonitorOpen = QStringLiteral(", Traffic window open");

// The entries the open "Traffic" window shows: as many as the log keeps, once it is full.
int shownEntries(TrafficMonitor *monitor)
{
    return monitor->findChild<QListView *>()->model()->rowCount();
}

void benchMonitorExchange(QVector<BenchRow> &rows, double idle)
{
    PeerPty pty(9);
    Window w{QList<SimModuleSettings>{}};
    TrafficMonitor *monitor = w.form().showTrafficMonitor();
    CommPort &port = w.port();
    port.setCommPort(9);
    port.setSettings(QStringLiteral("115200,n,8,1"));
    spin(300);
    const auto [ours, raw] =
        roundTrips(pty, port, [&](QString &command) { w.form().Response(command, false, 1000); });
    port.setPortOpen(true);
    addRow(rows, QStringLiteral("Response round trip, pty, instant answer (median)") + MonitorOpen,
           ours, raw, QStringLiteral("us"), QStringLiteral("ratio <= 2"), ours <= 2 * raw);

    const double cpu0 = cpuSeconds();
    const double wall0 = nowSeconds();
    QString silent = QStringLiteral("$99F");
    w.form().Response(silent, false, 2000);
    const double responseCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);

    const double cpu1 = cpuSeconds();
    const double wall1 = nowSeconds();
    Delay(WindowProbe::waits(w.form()), 2000);
    const double delayCpu = (cpuSeconds() - cpu1) / (nowSeconds() - wall1);

    addRow(rows, QStringLiteral("CPU s per s: Delay 2 s") + MonitorOpen, delayCpu, idle,
           QStringLiteral("s/s"), QStringLiteral("<= 0.02"), delayCpu <= 0.02);
    addRow(rows, QStringLiteral("CPU s per s: Response with no reply, 2 s") + MonitorOpen,
           responseCpu, idle, QStringLiteral("s/s"), QStringLiteral("<= 0.02"),
           responseCpu <= 0.02);

    // Exchanges until the record is full, then as many again, so that every entry it holds came
    // after the first figure.
    const long rss0 = residentKiB();
    int exchanges = 0;
    int toFill = 0;
    while (exchanges < 100000) {
        QString command = QStringLiteral("$01F");
        w.form().Response(command, false, 1000);
        ++exchanges;
        if (toFill == 0 && shownEntries(monitor) >= TrafficLog::MaxEntries)
            toFill = exchanges;
        if (toFill > 0 && exchanges >= 2 * toFill)
            break;
    }
    spin(2 * TrafficMonitor::RefreshMs);
    const long rss1 = residentKiB();
    const bool full = shownEntries(monitor) == TrafficLog::MaxEntries;
    addRow(rows,
           QStringLiteral("Resident memory growth, %1-entry record filled twice by exchanges")
                   .arg(TrafficLog::MaxEntries) +
               MonitorOpen,
           (rss1 - rss0) / 1024.0, 0, QStringLiteral("MiB"), QStringLiteral("<= 4 MiB"),
           full && rss1 - rss0 <= 4096);
    port.setPortOpen(false);
}

// A byte stream with no pause into the Modbus RTU receive loop: every read is an entry of the
// largest size kept, and the stream is cut into frames of that size, each noted in hexadecimal.
void benchMonitorStream(QVector<BenchRow> &rows)
{
    PeerPty pty(9);
    Window w{QList<SimModuleSettings>{}};
    TrafficMonitor *monitor = w.form().showTrafficMonitor();
    w.w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(8);
    w.w<QRadioButton>(QStringLiteral("Opt_RTU"))->setChecked(true);

    // First the receive box fills to what it keeps (its text and layout are the box's, not the
    // record's); then the stream goes on until the record is full, and as long again.
    long rss0 = 0;
    long rss1 = 0;
    bool full = false;
    constexpr qint64 Batch = 64 * 1024;
    qint64 toFill = 0;
    bool primed = false;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (pty.pending() > 0)
            return;
        if (!primed) {
            primed = true;
            spin(2 * TrafficMonitor::RefreshMs);
            rss0 = residentKiB();
            pty.stream(Batch);
        } else if (toFill == 0) {
            if (shownEntries(monitor) >= TrafficLog::MaxEntries) {
                toFill = pty.streamed();
                pty.stream(toFill);
            } else {
                pty.stream(Batch);
            }
        } else {
            watch.stop();
            QTimer::singleShot(2 * TrafficMonitor::RefreshMs, [&] {
                rss1 = residentKiB();
                full = shownEntries(monitor) == TrafficLog::MaxEntries;
                w.w<QRadioButton>(QStringLiteral("Opt_ASC"))->setChecked(true);  // ends the loop
            });
        }
    });
    QTimer::singleShot(300, [&] {
        pty.stream(4 * Batch);
        watch.start();
    });
    w.click(QStringLiteral("Com_Set_Ok"));  // returns when the loop ends
    addRow(rows,
           QStringLiteral("Resident memory growth, %1-entry record filled twice by a byte stream "
                          "in Modbus RTU mode")
                   .arg(TrafficLog::MaxEntries) +
               MonitorOpen,
           (rss1 - rss0) / 1024.0, 0, QStringLiteral("MiB"), QStringLiteral("<= 4 MiB"),
           full && rss1 - rss0 <= 4096);
}

}  // namespace

void benchMonitor(QVector<BenchRow> &rows)
{
    const double idle = idleCpu();
    benchMonitorExchange(rows, idle);
    benchReceiveLoop(rows, idle, true);
    benchMonitorStream(rows);
}
