// The serial exchange against the bare system calls, and what waiting costs.
#include "benchutil.h"
#include "benches.h"

#include "link/clock.h"
#include "link/eventpump.h"
#include "link/exchange.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "support/pty.h"

#include <QByteArray>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A module that answers every line at once, on its own thread, so only the program's side of the
// round trip is measured.
class InstantPeer
{
public:
    explicit InstantPeer(int master) : m_master(master), m_thread([this] { run(); }) {}
    ~InstantPeer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    void run()
    {
        QByteArray line;
        char buffer[256];
        while (!m_stop) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            line.append(buffer, int(n));
            while (line.contains('\r')) {
                const QByteArray command = line.left(line.indexOf('\r'));
                line.remove(0, line.indexOf('\r') + 1);
                // Only module 01 is on this line.
                if (command != "$01F")
                    continue;
                const char reply[] = "!01E41\r";
                (void)!::write(m_master, reply, sizeof reply - 1);
            }
        }
    }

    int m_master;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

double rawRoundTrip(const QString &slave)
{
    const int fd = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    QVector<double> times;
    char buffer[256];
    for (int i = 0; i < 300; ++i) {
        const double start = nowSeconds();
        (void)!::write(fd, "$01F\r", 5);
        QByteArray reply;
        while (!reply.contains('\r')) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                reply.append(buffer, int(n));
        }
        times << (nowSeconds() - start) * 1e6;
    }
    ::close(fd);
    return median(times);
}

}  // namespace

void benchLink(QVector<BenchRow> &rows)
{
    TestPty::runtimeDir();
    SteadyClock clock;
    QtEventPump pump;
    WaitContext::install(&clock, &pump);

    TestPty pty;
    pty.linkAs(9);
    {
        InstantPeer peer(pty.master());
        const double raw = rawRoundTrip(pty.slavePath());

        SerialCommPort port;
        port.setCommPort(9);
        port.setSettings(QStringLiteral("115200,n,8,1"));
        port.setPortOpen(true);
        CommandExchange exchange(port);
        QVector<double> times;
        for (int i = 0; i < 300; ++i) {
            QString command = QStringLiteral("$01F");
            const double start = nowSeconds();
            exchange.Response(command, false, 1000);
            times << (nowSeconds() - start) * 1e6;
        }
        const double ours = median(times);
        addRow(rows, QStringLiteral("Response round trip, pty, instant answer (median)"), ours, raw,
               QStringLiteral("us"), QStringLiteral("ratio <= 2"), ours <= 2 * raw);

        // Nothing answers "$99F": the exchange waits its whole time-out.
        const double cpu0 = cpuSeconds();
        const double wall0 = nowSeconds();
        QString silent = QStringLiteral("$99F");
        exchange.Response(silent, false, 2000);
        const double responseCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);
        port.setPortOpen(false);

        const double cpu1 = cpuSeconds();
        const double wall1 = nowSeconds();
        Delay(2000);
        const double delayCpu = (cpuSeconds() - cpu1) / (nowSeconds() - wall1);

        const double cpu2 = cpuSeconds();
        const double wall2 = nowSeconds();
        ::usleep(2000000);
        const double idle = (cpuSeconds() - cpu2) / (nowSeconds() - wall2);

        addRow(rows, QStringLiteral("CPU s per s: Delay 2 s"), delayCpu, idle,
               QStringLiteral("s/s"), QStringLiteral("<= 0.02"), delayCpu <= 0.02);
        addRow(rows, QStringLiteral("CPU s per s: Response with no reply, 2 s"), responseCpu, idle,
               QStringLiteral("s/s"), QStringLiteral("<= 0.02"), responseCpu <= 0.02);
    }
}
