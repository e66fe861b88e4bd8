// The window's own paths against the bench simulator, run as a separate process so the
// simulator's work does not land on the program's thread: the Modbus RTU receive loop, the scan
// step, the all-settings reopen cycle, the loop test's pace, and a long auto-repeat run.
#include "benchutil.h"
#include "benches.h"

#include "link/clock.h"
#include "link/eventpump.h"
#include "link/portresolver.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "shell/form1.h"
#include "link/formtimer.h"
#include "support/fakes.h"
#include "support/pty.h"
#include "support/realwindow.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// mirvel-sim beside this program's build folder.
QString simProgram()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/mirvel-sim"))
        .absoluteFilePath();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class SimProcess
{
public:
    SimProcess(int com, const QStringList &arguments)
    {
        TestPty::runtimeDir();
        m_link = PortResolver::linkFolder() + QStringLiteral("/COM%1").arg(com);
        QFile::remove(m_link);
        m_process.setProgram(simProgram());
        m_process.setArguments(QStringList{QStringLiteral("--com"), QString::number(com)} + arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        m_process.waitForStarted();
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(m_link) && timer.elapsed() < 5000)
            ::usleep(10000);
        ::usleep(100000);
    }
    ~SimProcess()
    {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

private:
    QString m_link;
    QProcess m_process;
};

using Window = RealWindow;

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

void benchReceiveLoop(QVector<BenchRow> &rows, double idle)
{
    SimProcess sim(11, {QStringLiteral("--module"), QStringLiteral("E41:01:9600:nochk"),
                        QStringLiteral("--no-converter"), QStringLiteral("--activity"),
                        QStringLiteral("0")});
    Window w;
    w.ui()->LISTCOM->setCurrentIndex(10);
    w.ui()->Opt_RTU->setChecked(true);
    double loopCpu = -1;
    QVector<double> latencies;
    QTimer::singleShot(200, [&] {
        const double cpu0 = cpuSeconds();
        const double wall0 = nowSeconds();
        QTimer::singleShot(2000, [&, cpu0, wall0] {
            loopCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);
            // The time from a frame sent to its answer shown in hexadecimal. The answer is shown
            // by the receive loop, so each round returns to it and a 1 ms timer watches the box.
            auto *watch = new QTimer;
            watch->setInterval(1);
            watch->setTimerType(Qt::PreciseTimer);
            auto sendOne = std::make_shared<std::function<void()>>();
            auto start = std::make_shared<double>(0);
            *sendOne = [&, watch, start] {
                w.ui()->Text_Rec->setText(QString());
                w.ui()->Text_Send->setText(QStringLiteral("1 46 0 0"));
                *start = nowSeconds();
                w.ui()->Com_send->click();
                watch->start();
            };
            QObject::connect(watch, &QTimer::timeout, [&, watch, sendOne, start] {
                const bool shown = w.ui()->Text_Rec->text().contains(QStringLiteral("0E 41"));
                if (!shown && nowSeconds() - *start < 1)
                    return;
                watch->stop();
                latencies << (nowSeconds() - *start) * 1000;
                if (latencies.size() < 30) {
                    QTimer::singleShot(5, *sendOne);
                } else {
                    watch->deleteLater();
                    w.ui()->Opt_ASC->setChecked(true);  // ends the loop
                }
            });
            (*sendOne)();
        });
    });
    w.ui()->Com_Set_Ok->click();  // returns when the loop ends
    addRow(rows, QStringLiteral("CPU s per s: Modbus RTU receive loop, 2 s with nothing arriving"),
           loopCpu, idle, QStringLiteral("s/s"), QStringLiteral("<= 0.02"), loopCpu >= 0 && loopCpu <= 0.02);
    // Baseline: the simulator's own reply time, the 8-byte answer's line time at 9600 baud and
    // its 2 ms turnaround.
    const double lineMs = 8 * 10 * 1000.0 / 9600 + 2;
    const double latency = median(latencies);
    addRow(rows, QStringLiteral("Modbus RTU frame sent to its answer shown in hex (median)"),
           latency, lineMs, QStringLiteral("ms"), QStringLiteral("(reported; baseline = reply time)"),
           true);
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
    const QString device = QFileInfo(PortResolver::linkFolder() + QStringLiteral("/COM12")).symLinkTarget();
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
            const QByteArray query = QStringLiteral("$%1F\r").arg(i, 2, 16, QLatin1Char('0')).toUpper().toLatin1();
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

    Window w;
    w.ui()->LISTCOM->setCurrentIndex(11);
    w.ui()->LISTRATE->setCurrentIndex(7);
    w.ui()->Com_Set_Ok->click();
    QVector<double> steps;
    QVector<double> gaps;
    double lastStart = 0;
    FormTimer *timer = w.form->Timer3();
    auto original = timer->onTick;
    timer->onTick = [&] {
        const double start = nowSeconds();
        if (lastStart > 0)
            gaps << (start - lastStart) * 1000 - 300;
        lastStart = start;
        original();
        steps << (nowSeconds() - start) * 1000;
    };
    w.ui()->Com_Scan_OK->click();
    QElapsedTimer wall;
    wall.start();
    while (steps.size() < 20 && wall.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    w.ui()->Com_Scan_OK->click();
    addRow(rows, QStringLiteral("Current-settings scan step at 115200, module answering (median)"),
           median(steps), median(raw), QStringLiteral("ms"), QStringLiteral("(reported)"), true);
    addRow(rows, QStringLiteral("Scan step start beyond the 300 ms tick (median)"), median(gaps), 0,
           QStringLiteral("ms"), QStringLiteral("(reported)"), true);

    // The all-settings step's close, set, open cycle against bare open/tcsetattr/close.
    w.port.setPortOpen(false);
    QVector<double> ours;
    QVector<double> bare;
    for (int i = 0; i < 50; ++i) {
        const double start = nowSeconds();
        if (w.port.portOpen())
            w.port.setPortOpen(false);
        w.port.setSettings(i % 2 ? QStringLiteral("  9600,n,8,1") : QStringLiteral("115200,n,8,1"));
        w.port.setPortOpen(true);
        ours << (nowSeconds() - start) * 1e6;
    }
    w.port.setPortOpen(false);
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

void benchLoopTest(QVector<BenchRow> &rows, double idle)
{
    const quint16 port = freePort();
    SimProcess sim(13, {QStringLiteral("--module"), QStringLiteral("E41:01:9600:nochk"),
                        QStringLiteral("--converter"), QString::number(port),
                        QStringLiteral("--loop")});
    Window w;
    w.ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
    w.ui()->Text_Port->setText(QString::number(port));
    w.ui()->Com_link->click();
    NetworkTest &network = w.form->network();

    const QString full = [] {
        QString all;
        for (const QString &text : NetworkTest::LoopPatterns())
            all += text;
        return all;
    }();
    // 60 first: the fresh window starts its first pass at text 0.
    for (int delay : {60, 0, 10}) {
        // Characters sent in a fixed stretch of time, counted by the echo that comes back.
        qint64 echoed = 0;
        auto connection = QObject::connect(&network.Winsock1(), &ConverterSocket::DataArrival,
                                           [&](qint32 bytes) { echoed += bytes; });
        const double cpu0 = cpuSeconds();
        w.ui()->Com_loop_Test->click();
        w.ui()->HScroll1->setValue(delay);
        const double start = nowSeconds();
        const int stretch = delay == 60 ? 0 : 3000;
        if (delay == 60) {
            // A whole pass over the 32 texts: from text 0 until the index wraps back to 0.
            while (network.patternIndex() == 0 && nowSeconds() - start < 10)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            while (network.patternIndex() != 0 && nowSeconds() - start < 120)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        } else {
            spin(stretch);
        }
        const double seconds = nowSeconds() - start;
        const double cpu = (cpuSeconds() - cpu0) / seconds;
        w.ui()->Com_loop_Test->click();
        spin(300);
        QObject::disconnect(connection);
        addRow(rows, QStringLiteral("Loop test pace at delay %1 ms").arg(delay), echoed / seconds,
               delay ? 1000.0 / delay : 0, QStringLiteral("chars/s"),
               QStringLiteral("(reported; baseline = 1000/delay)"), true);
        if (delay == 60) {
            addRow(rows, QStringLiteral("Loop test: one 837-character pass at 60 ms"), seconds,
                   full.size() * 0.060, QStringLiteral("s"), QStringLiteral("about 50.2 s"),
                   seconds >= 50.2 && seconds < 53);
            addRow(rows, QStringLiteral("CPU s per s: loop test running at 60 ms"), cpu, idle,
                   QStringLiteral("s/s"), QStringLiteral("<= 0.02"), cpu <= 0.02);
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
    Window w;
    w.ui()->LISTCOM->setCurrentIndex(13);
    w.ui()->Com_Set_Ok->click();
    w.ui()->Text_Send->setText(QStringLiteral("$01M"));
    int sent = 0;
    int answered = 0;
    FormTimer *timer = w.form->Timer_Send();
    auto original = timer->onTick;
    timer->onTick = [&] {
        original();
        ++sent;
        if (w.ui()->Text_Rec->text() == QStringLiteral(" !01QRD-E41\r\r\n"))
            ++answered;
    };
    spin(500);
    const long rss0 = residentKiB();
    w.ui()->Check_Auto->setChecked(true);
    spin(seconds * 1000);
    w.ui()->Check_Auto->setChecked(false);
    const long rss1 = residentKiB();
    addRow(rows, QStringLiteral("Auto-repeat at 80 ms for %1 s: replies received / commands sent").arg(seconds),
           answered, sent, QStringLiteral("count"), QStringLiteral("none lost"), answered == sent && sent > 0);
    addRow(rows, QStringLiteral("Auto-repeat run: resident memory growth"), (rss1 - rss0) / 1024.0, 0,
           QStringLiteral("MiB"), QStringLiteral("< 1 MiB"), rss1 - rss0 < 1024);
}

double idleCpu()
{
    const double cpu = cpuSeconds();
    const double wall = nowSeconds();
    ::usleep(1000000);
    return (cpuSeconds() - cpu) / (nowSeconds() - wall);
}

}  // namespace

void benchWindow(QVector<BenchRow> &rows)
{
    const double idle = idleCpu();
    benchReceiveLoop(rows, idle);
    benchScan(rows);
}

void benchLoop(QVector<BenchRow> &rows)
{
    benchLoopTest(rows, idleCpu());
}

void benchAutoRepeat(QVector<BenchRow> &rows)
{
    benchSoak(rows);
}
