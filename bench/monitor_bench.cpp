// The serial paths again with the "Traffic" window open and recording, with its log to a file on
// and off in turns, what the record costs in memory once it holds as many entries as it keeps, and
// a save of the whole record while the auto-repeat runs.
#include "benches.h"
#include "benchutil.h"

#include "link/commport.h"
#include "link/waits.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficmonitor.h"
#include "support/rig.h"
#include "widgets/formtimer.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QListView>
#include <QRadioButton>
#include <QTemporaryDir>
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

    // Log to file (CSV, every entry written as it comes) on and off in turns, the window open.
    QTemporaryDir dir;
    monitor->chooseFile = [&](TrafficMonitor::FileUse) {
        return dir.filePath(QStringLiteral("bench.csv"));
    };
    auto *logging = monitor->findChild<QCheckBox *>(QStringLiteral("monitorLog"));
    QVector<double> logged;
    QVector<double> unlogged;
    for (int block = 0; block < 20; ++block) {
        logging->setChecked(block % 2 == 0);
        for (int i = 0; i < 30; ++i) {
            QString command = QStringLiteral("$01F");
            const double start = nowSeconds();
            w.form().Response(command, false, 1000);
            (block % 2 == 0 ? logged : unlogged) << (nowSeconds() - start) * 1e6;
        }
    }
    logging->setChecked(false);
    addRow(rows,
           QStringLiteral("Response round trip, pty, instant answer (median), logging to a CSV "
                          "file; baseline not logging") +
               MonitorOpen,
           median(logged), median(unlogged), QStringLiteral("us"), QStringLiteral("ratio <= 1.1"),
           median(logged) <= 1.1 * median(unlogged));

    // Each wait starts with the window settled: what came before is shown, nothing is due.
    spin(2 * TrafficMonitor::RefreshMs);
    const double cpu0 = cpuSeconds();
    const double wall0 = nowSeconds();
    QString silent = QStringLiteral("$99F");
    w.form().Response(silent, false, 2000);
    const double responseCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);

    spin(2 * TrafficMonitor::RefreshMs);
    const double cpu1 = cpuSeconds();
    const double wall1 = nowSeconds();
    Delay(WindowProbe::waits(w.form()), 2000);
    const double delayCpu = (cpuSeconds() - cpu1) / (nowSeconds() - wall1);

    addRow(rows, QStringLiteral("CPU s per s: Delay 2 s") + MonitorOpen, delayCpu, idle,
           QStringLiteral("s/s"), QStringLiteral("<= 0.005"), delayCpu <= 0.005);
    addRow(rows, QStringLiteral("CPU s per s: Response with no reply, 2 s") + MonitorOpen,
           responseCpu, idle, QStringLiteral("s/s"), QStringLiteral("<= 0.005"),
           responseCpu <= 0.005);

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

// The record filled by quick exchanges, then saved whole while the terminal's auto-repeat runs
// at 80 ms: every command sent still gets its reply.
void benchSaveDuringRepeat(QVector<BenchRow> &rows)
{
    PeerPty pty(9);
    Window w{QList<SimModuleSettings>{}};
    TrafficMonitor *monitor = w.form().showTrafficMonitor();
    w.w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(8);
    w.w<QComboBox>(QStringLiteral("LISTRATE"))->setCurrentIndex(7);
    w.click(QStringLiteral("Com_Set_Ok"));
    for (int n = 0; n < TrafficLog::MaxEntries; ++n) {
        QString command = QStringLiteral("$01F");
        w.form().Response(command, false, 1000);
    }
    QTemporaryDir dir;
    monitor->chooseFile = [&](TrafficMonitor::FileUse) {
        return dir.filePath(QStringLiteral("saved.csv"));
    };
    w.setText(QStringLiteral("Text_Send"), QStringLiteral("$01F"));
    int sent = 0;
    int answered = 0;
    FormTimer *timer = w.form().findChild<FormTimer *>(QStringLiteral("Timer_Send"));
    auto original = timer->onTick;
    timer->onTick = [&] {
        original();
        ++sent;
        if (w.text(QStringLiteral("Text_Rec")) == QStringLiteral(" !01E41\r\r\n"))
            ++answered;
    };
    auto *save = monitor->findChild<QAbstractButton *>(QStringLiteral("monitorSave"));
    double saveStart = 0;
    double saveEnd = 0;
    QObject::connect(save, &QAbstractButton::clicked, [&] { saveStart = nowSeconds(); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (saveStart > 0 && saveEnd == 0 && save->isEnabled())
            saveEnd = nowSeconds();
    });
    poll.start(1);
    w.w<QAbstractButton>(QStringLiteral("Check_Auto"))->setChecked(true);
    spin(1000);
    save->click();
    spin(2000);
    w.w<QAbstractButton>(QStringLiteral("Check_Auto"))->setChecked(false);
    addRow(rows,
           QStringLiteral("Save of the %1-entry record (CSV) during an auto-repeat at 80 ms: "
                          "replies received / commands sent")
               .arg(TrafficLog::MaxEntries),
           answered, sent, QStringLiteral("count"), QStringLiteral("none lost"),
           answered == sent && sent > 0 && saveEnd > 0);
    addRow(rows,
           QStringLiteral("Save of the %1-entry record (CSV): click to file written")
               .arg(TrafficLog::MaxEntries),
           (saveEnd - saveStart) * 1000, 0, QStringLiteral("ms"), QStringLiteral("(reported)"),
           saveEnd > 0);
}

}  // namespace

void benchMonitor(QVector<BenchRow> &rows)
{
    const double idle = idleCpu();
    benchMonitorExchange(rows, idle);
    benchReceiveLoop(rows, idle, true);
    benchMonitorStream(rows);
    benchSaveDuringRepeat(rows);
}
