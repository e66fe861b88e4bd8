// The window's own paths against the bench simulator, run as a separate process so the
// simulator's work does not land on the program's thread: the Modbus RTU receive loop, the scan
// step, the all-settings reopen cycle, the loop test's pace, and a long auto-repeat run.
#include "benches.h"
#include "benchutil.h"
#include "link/protocol.h"

#include "link/commport.h"
#include "link/convertersocket.h"
#include "network/networktest.h"
#include "support/rig.h"
#include "widgets/formtimer.h"
#include "widgets/multilinebox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The real window on the real serial port; its own simulator behind COM1 stays idle, the
// measured lines are mirvel-sim processes behind other names.
std::unique_ptr<Window> realWindow()
{
    return std::make_unique<Window>(QList<SimModuleSettings>{});
}

void benchScan(QVector<BenchRow> &rows)
{
    QStringList arguments{QStringLiteral("--no-converter"), QStringLiteral("--activity"),
                          QStringLiteral("0")};
    for (int id = 0; id < 256; ++id)
        arguments << QStringLiteral("--module")
                  << QStringLiteral("E41:%1:115200:nochk").arg(id, 2, 16, QLatin1Char('0'));
    SimProcess sim(12, arguments);

    // Raw: the same query written and its answer read with the bare system calls.
    const QString device = sim.device();
    QVector<double> raw;
    {
        const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        ::tcsetattr(fd, TCSANOW, &tio);
        char buffer[256];
        for (int i = 0; i < 20; ++i) {
            const QByteArray query =
                QStringLiteral("$%1F\r").arg(i, 2, 16, QLatin1Char('0')).toUpper().toLatin1();
            const double start = nowSeconds();
            (void)!::write(fd, query.constData(), size_t(query.size()));
            QByteArray reply;
            while (!reply.contains('\r') && nowSeconds() - start < 1) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    reply.append(buffer, int(n));
                else
                    ::usleep(200);
            }
            raw << (nowSeconds() - start) * 1000;
        }
        ::close(fd);
    }

    const auto w = realWindow();
    w->w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(11);
    w->w<QComboBox>(QStringLiteral("LISTRATE"))->setCurrentIndex(7);
    w->click(QStringLiteral("Com_Set_Ok"));
    QVector<double> steps;
    QVector<double> gaps;
    double lastStart = 0;
    FormTimer *timer = w->form().findChild<FormTimer *>(QStringLiteral("Timer3"));
    auto original = timer->onTick;
    timer->onTick = [&] {
        const double start = nowSeconds();
        if (lastStart > 0)
            gaps << (start - lastStart) * 1000 - 300;
        lastStart = start;
        original();
        steps << (nowSeconds() - start) * 1000;
    };
    w->click(QStringLiteral("Com_Scan_OK"));
    QElapsedTimer wall;
    wall.start();
    while (steps.size() < 20 && wall.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    w->click(QStringLiteral("Com_Scan_OK"));
    addRow(rows, QStringLiteral("Current-settings scan step at 115200, module answering (median)"),
           median(steps), median(raw), QStringLiteral("ms"), QStringLiteral("(reported)"), true);
    addRow(rows, QStringLiteral("Scan step start beyond the 300 ms tick (median)"), median(gaps), 0,
           QStringLiteral("ms"), QStringLiteral("(reported)"), true);

    // The all-settings step's close, set, open cycle against bare open/tcsetattr/close.
    CommPort &port = w->port();
    port.setPortOpen(false);
    QVector<double> ours;
    QVector<double> bare;
    for (int i = 0; i < 50; ++i) {
        const double start = nowSeconds();
        if (port.portOpen())
            port.setPortOpen(false);
        port.setSettings(i % 2 ? QStringLiteral("  9600,n,8,1") : QStringLiteral("115200,n,8,1"));
        port.setPortOpen(true);
        ours << (nowSeconds() - start) * 1e6;
    }
    port.setPortOpen(false);
    for (int i = 0; i < 50; ++i) {
        const double start = nowSeconds();
        const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, i % 2 ? B9600 : B115200);
        ::tcsetattr(fd, TCSANOW, &tio);
        ::close(fd);
        bare << (nowSeconds() - start) * 1e6;
    }
    addRow(rows, QStringLiteral("All-settings close-set-open cycle (median)"), median(ours),
           median(bare), QStringLiteral("us"), QStringLiteral("ratio <= 2"),
           median(ours) <= 2 * median(bare));
}

// The floor under the loop test's CPU: a bare Qt program that writes a character to the converter
// every 60 ms and reads its echo, for 20 s.
double bareLoopCpu(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return -1;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { socket.readAll(); });
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        socket.write("A");
        socket.flush();
    });
    const double cpu0 = cpuSeconds();
    const double start = nowSeconds();
    pace.start(60);
    QEventLoop loop;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuSeconds() - cpu0) / (nowSeconds() - start);
}

void benchLoopTest(QVector<BenchRow> &rows)
{
    const quint16 port = freePort();
    SimProcess sim(
        13, {QStringLiteral("--module"), QStringLiteral("E41:01:9600:nochk"),
             QStringLiteral("--converter"), QString::number(port), QStringLiteral("--loop")});
    const double bare = bareLoopCpu(port);
    const auto w = realWindow();
    // As the operator runs it: the window shown on the page of the test, the echo box drawn.
    w->w<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
    w->form().show();
    w->setText(QStringLiteral("Text_IP"), QStringLiteral("127.0.0.1"));
    w->setText(QStringLiteral("Text_Port"), QString::number(port));
    w->click(QStringLiteral("Com_link"));
    ConverterSocket &socket = WindowProbe::socket(w->form());
    const auto &patterns = LoopPatterns();
    const QString full = [&] {
        QString all;
        for (const QString &text : patterns)
            all += text;
        return all;
    }();

    // A pass ends when the last text gives way in the send box.
    auto *sendBox = w->w<QLineEdit>(QStringLiteral("Text_Tcpip_Send"));
    double passEnd = 0;
    QString shown = sendBox->text();
    QObject::connect(sendBox, &QLineEdit::textChanged, [&](const QString &text) {
        if (shown == patterns.back() && text != shown && passEnd == 0)
            passEnd = nowSeconds();
        shown = text;
    });

    // 60 first: the fresh window starts its first pass at text 0.
    for (int delay : {60, 0, 10}) {
        // Characters sent in a fixed stretch of time, counted by the echo that comes back.
        qint64 echoed = 0;
        auto connection = QObject::connect(&socket, &ConverterSocket::DataArrival,
                                           [&](qint32 bytes) { echoed += bytes; });
        const double cpu0 = cpuSeconds();
        w->click(QStringLiteral("Com_loop_Test"));
        w->w<QScrollBar>(QStringLiteral("HScroll1"))->setValue(delay);
        const double start = nowSeconds();
        double end = 0;
        if (delay == 60) {
            // A whole pass over the 32 texts, from text 0.
            passEnd = 0;
            while (passEnd == 0 && nowSeconds() - start < 120)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            end = passEnd > 0 ? passEnd : nowSeconds();
        } else {
            spin(3000);
            end = nowSeconds();
        }
        const double seconds = end - start;
        const double cpu = (cpuSeconds() - cpu0) / (nowSeconds() - start);
        w->click(QStringLiteral("Com_loop_Test"));
        spin(300);
        QObject::disconnect(connection);
        addRow(rows, QStringLiteral("Loop test pace at delay %1 ms").arg(delay), echoed / seconds,
               delay ? 1000.0 / delay : 0, QStringLiteral("chars/s"),
               QStringLiteral("(reported; baseline = 1000/delay)"), true);
        if (delay == 60) {
            addRow(rows,
                   QStringLiteral("Loop test: one %1-character pass at 60 ms").arg(full.size()),
                   seconds, full.size() * 0.060, QStringLiteral("s"),
                   QStringLiteral("about 50.2 s"), seconds >= 50.2 && seconds < 53);
            addRow(rows, QStringLiteral("CPU s per s: loop test running at 60 ms"), cpu, bare,
                   QStringLiteral("s/s"),
                   QStringLiteral("<= 0.005 (baseline: a bare Qt socket at that pace)"),
                   cpu <= 0.005);
        }
    }
}

void benchSoak(QVector<BenchRow> &rows)
{
    const int seconds = qEnvironmentVariableIntValue("MIRVEL_SOAK_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("MIRVEL_SOAK_SECONDS")
                            : 180;
    SimProcess sim(14, {QStringLiteral("--module"), QStringLiteral("E41:01:9600:nochk"),
                        QStringLiteral("--no-converter")});
    const auto w = realWindow();
    w->w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(13);
    w->click(QStringLiteral("Com_Set_Ok"));
    w->setText(QStringLiteral("Text_Send"), QStringLiteral("$01M"));
    int sent = 0;
    int answered = 0;
    FormTimer *timer = w->form().findChild<FormTimer *>(QStringLiteral("Timer_Send"));
    auto original = timer->onTick;
    timer->onTick = [&] {
        original();
        ++sent;
        if (w->text(QStringLiteral("Text_Rec")) == QStringLiteral(" !01QRD-E41\r\r\n"))
            ++answered;
    };
    spin(500);
    const long rss0 = residentKiB();
    w->w<QAbstractButton>(QStringLiteral("Check_Auto"))->setChecked(true);
    spin(seconds * 1000);
    w->w<QAbstractButton>(QStringLiteral("Check_Auto"))->setChecked(false);
    const long rss1 = residentKiB();
    addRow(rows,
           QStringLiteral("Auto-repeat at 80 ms for %1 s: replies received / commands sent")
               .arg(seconds),
           answered, sent, QStringLiteral("count"), QStringLiteral("none lost"),
           answered == sent && sent > 0);
    addRow(rows, QStringLiteral("Auto-repeat run: resident memory growth"), (rss1 - rss0) / 1024.0,
           0, QStringLiteral("MiB"), QStringLiteral("< 1 MiB"), rss1 - rss0 < 1024);
}

}  // namespace

// The Modbus RTU receive loop idle for 2 s, then the time from a frame sent to its answer shown
// in hexadecimal; with the "Traffic" window open when monitor is true.
void benchReceiveLoop(QVector<BenchRow> &rows, double idle, bool monitor)
{
    SimProcess sim(
        11, {QStringLiteral("--module"), QStringLiteral("E41:01:9600:nochk"),
             QStringLiteral("--no-converter"), QStringLiteral("--activity"), QStringLiteral("0")});
    const auto w = realWindow();
    if (monitor)
        w->form().showTrafficMonitor();
    w->w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(10);
    w->w<QRadioButton>(QStringLiteral("Opt_RTU"))->setChecked(true);
    auto *rec = w->w<MultiLineBox>(QStringLiteral("Text_Rec"));
    double loopCpu = -1;
    QVector<double> latencies;
    QTimer::singleShot(200, [&] {
        const double cpu0 = cpuSeconds();
        const double wall0 = nowSeconds();
        QTimer::singleShot(2000, [&, cpu0, wall0] {
            loopCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);
            if (monitor) {
                w->w<QRadioButton>(QStringLiteral("Opt_ASC"))->setChecked(true);  // ends the loop
                return;
            }
            // The answer is shown by the receive loop, so each round returns to it and a 1 ms
            // timer watches the box.
            auto *watch = new QTimer;
            watch->setInterval(1);
            watch->setTimerType(Qt::PreciseTimer);
            auto sendOne = std::make_shared<std::function<void()>>();
            auto start = std::make_shared<double>(0);
            *sendOne = [&, watch, start] {
                rec->setText(QString());
                w->setText(QStringLiteral("Text_Send"), QStringLiteral("1 46 0 0"));
                *start = nowSeconds();
                w->click(QStringLiteral("Com_send"));
                watch->start();
            };
            QObject::connect(watch, &QTimer::timeout, [&, watch, sendOne, start] {
                const bool shown = rec->text().contains(QStringLiteral("0E 41"));
                if (!shown && nowSeconds() - *start < 1)
                    return;
                watch->stop();
                latencies << (nowSeconds() - *start) * 1000;
                if (latencies.size() < 30) {
                    QTimer::singleShot(5, *sendOne);
                } else {
                    watch->deleteLater();
                    w->w<QRadioButton>(QStringLiteral("Opt_ASC"))->setChecked(true);
                }
            });
            (*sendOne)();
        });
    });
    w->click(QStringLiteral("Com_Set_Ok"));  // returns when the loop ends
    const QString suffix = monitor ? QStringLiteral(", Traffic window open") : QString();
    addRow(
        rows,
        QStringLiteral("CPU s per s: Modbus RTU receive loop, 2 s with nothing arriving") + suffix,
        loopCpu, idle, QStringLiteral("s/s"),
        monitor ? QStringLiteral("<= 0.005") : QStringLiteral("<= 0.02"),
        loopCpu >= 0 && loopCpu <= (monitor ? 0.005 : 0.02));
    if (monitor)
        return;
    // Baseline: the simulator's own reply time, the 8-byte answer's line time at 9600 baud and
    // its 2 ms turnaround.
    const double lineMs = 8 * 10 * 1000.0 / 9600 + 2;
    addRow(rows, QStringLiteral("Modbus RTU frame sent to its answer shown in hex (median)"),
           median(latencies), lineMs, QStringLiteral("ms"),
           QStringLiteral("(reported; baseline = reply time)"), true);
}

void benchWindow(QVector<BenchRow> &rows)
{
    benchReceiveLoop(rows, idleCpu(), false);
    benchScan(rows);
}

void benchLoop(QVector<BenchRow> &rows)
{
    benchLoopTest(rows);
}

void benchAutoRepeat(QVector<BenchRow> &rows)
{
    benchSoak(rows);
}
