#include "benchutil.h"

#include "link/portresolver.h"
#include "support/rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

double idleCpu()
{
    const double cpu = cpuSeconds();
    const double wall = nowSeconds();
    ::usleep(1000000);
    return (cpuSeconds() - cpu) / (nowSeconds() - wall);
}

namespace {

// mirvel-sim beside this program's build folder.
QString simProgram()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/mirvel-sim"))
        .absoluteFilePath();
}

}  // namespace

SimProcess::SimProcess(int com, const QStringList &arguments)
{
    // The child inherits the private runtime folder through the environment.
    usePrivateRuntimeDir();
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

SimProcess::~SimProcess()
{
    m_process.terminate();
    m_process.waitForFinished(3000);
}

QString SimProcess::device() const
{
    return QFileInfo(m_link).symLinkTarget();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

PeerPty::PeerPty(int com)
{
    usePrivateRuntimeDir();
    int slave = -1;
    char name[256] = {0};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        qFatal("no pseudo-terminal");
    m_slave = QString::fromLocal8Bit(name);
    // Nothing echoed or translated on the program's side.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    // The master survives the program closing and reopening the port.
    m_keepSlave = slave;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_link = PortResolver::linkFolder() + QStringLiteral("/COM%1").arg(com);
    QFile::remove(m_link);
    QFile::link(m_slave, m_link);
    m_thread = std::thread([this] { run(); });
}

PeerPty::~PeerPty()
{
    m_stop = true;
    m_thread.join();
    QFile::remove(m_link);
    ::close(m_master);
    ::close(m_keepSlave);
}

void PeerPty::run()
{
    QByteArray line;
    char buffer[4096];
    char filler[4096];
    for (size_t i = 0; i < sizeof filler; ++i)
        filler[i] = char('0' + i % 64);
    while (!m_stop) {
        const bool streaming = m_toStream > 0;
        pollfd pfd{m_master, short(POLLIN | (streaming ? POLLOUT : 0)), 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        if (pfd.revents & POLLOUT) {
            const qint64 n = ::write(m_master, filler, size_t(qMin<qint64>(m_toStream, 4096)));
            if (n > 0) {
                m_toStream -= n;
                m_streamed += n;
            }
        }
        if (!(pfd.revents & POLLIN))
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        if (m_firstRead == 0)
            m_firstRead = nowSeconds();
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
        // What the line heard without a carriage return is noise beyond a bound.
        if (line.size() > 4096)
            line.clear();
    }
}
