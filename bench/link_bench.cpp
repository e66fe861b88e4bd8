// The serial exchange against the bare system calls, and what waiting costs.
#include "benches.h"
#include "benchutil.h"

#include "link/clock.h"
#include "link/commandlink.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "link/waits.h"

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// "$01F" written and its answer read with the bare system calls on the pseudo-terminal's slave;
// the times in microseconds.
QVector<double> rawRoundTrips(const QString &slave, int count)
{
    const int fd = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    QVector<double> times;
    char buffer[256];
    for (int i = 0; i < count; ++i) {
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
    return times;
}

}  // namespace

QPair<double, double> roundTrips(PeerPty &pty, CommPort &port,
                                 const std::function<void(QString &)> &exchange)
{
    QVector<double> ours;
    QVector<double> raw;
    for (int block = 0; block < 10; ++block) {
        raw << rawRoundTrips(pty.slavePath(), 30);
        port.setPortOpen(true);
        for (int i = 0; i < 30; ++i) {
            QString command = QStringLiteral("$01F");
            const double start = nowSeconds();
            exchange(command);
            ours << (nowSeconds() - start) * 1e6;
        }
        port.setPortOpen(false);
    }
    return {median(ours), median(raw)};
}

void benchLink(QVector<BenchRow> &rows)
{
    SteadyClock clock;
    QtEventPump pump;
    WaitContext waits(clock, pump);

    PeerPty pty(9);
    SerialCommPort port;
    port.setCommPort(9);
    port.setSettings(QStringLiteral("115200,n,8,1"));
    CommandLink link(port, waits);
    const auto [ours, raw] =
        roundTrips(pty, port, [&](QString &command) { link.Response(command, false, 1000); });
    addRow(rows, QStringLiteral("Response round trip, pty, instant answer (median)"), ours, raw,
           QStringLiteral("us"), QStringLiteral("ratio <= 1.5"), ours <= 1.5 * raw);

    // Nothing answers "$99F": the exchange waits its whole time-out.
    port.setPortOpen(true);
    const double cpu0 = cpuSeconds();
    const double wall0 = nowSeconds();
    QString silent = QStringLiteral("$99F");
    link.Response(silent, false, 2000);
    const double responseCpu = (cpuSeconds() - cpu0) / (nowSeconds() - wall0);
    port.setPortOpen(false);

    const double cpu1 = cpuSeconds();
    const double wall1 = nowSeconds();
    link.Delay(2000);
    const double delayCpu = (cpuSeconds() - cpu1) / (nowSeconds() - wall1);

    const double cpu2 = cpuSeconds();
    const double wall2 = nowSeconds();
    ::usleep(2000000);
    const double idle = (cpuSeconds() - cpu2) / (nowSeconds() - wall2);

    addRow(rows, QStringLiteral("CPU s per s: Delay 2 s"), delayCpu, idle, QStringLiteral("s/s"),
           QStringLiteral("<= 0.02"), delayCpu <= 0.02);
    addRow(rows, QStringLiteral("CPU s per s: Response with no reply, 2 s"), responseCpu, idle,
           QStringLiteral("s/s"), QStringLiteral("<= 0.02"), responseCpu <= 0.02);
}
