#include "support/pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

QTemporaryDir &TestPty::runtimeDir()
{
    static QTemporaryDir dir;
    static bool set = [] {
        qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
        QDir(dir.path()).mkpath(QStringLiteral("mirvel"));
        return true;
    }();
    (void)set;
    return dir;
}

TestPty::TestPty()
{
    int slave = -1;
    char name[256] = {0};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    m_slave = QString::fromLocal8Bit(name);
    // Raw line on the slave so nothing is echoed or translated.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    // Keeping one slave descriptor open lets the master survive the program's close and reopen.
    m_keepSlave = slave;
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

TestPty::~TestPty()
{
    closeMaster();
    if (m_keepSlave >= 0)
        ::close(m_keepSlave);
}

void TestPty::linkAs(int number)
{
    const QString folder = runtimeDir().path() + QStringLiteral("/mirvel");
    const QString link = folder + QStringLiteral("/COM%1").arg(number);
    QFile::remove(link);
    QFile::link(m_slave, link);
}

int speedToRate(unsigned speed)
{
    switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return -1;
    }
}

int TestPty::lineRate() const
{
    termios tio{};
    if (::tcgetattr(m_master, &tio) != 0)
        return -1;
    return speedToRate(::cfgetospeed(&tio));
}

QByteArray TestPty::readMaster(int timeoutMs)
{
    QByteArray data;
    pollfd pfd{m_master, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0)
        return data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        data.append(buffer, int(n));
    }
    return data;
}

QByteArray TestPty::readLine(int timeoutMs)
{
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (!data.contains('\r') && timer.elapsed() < timeoutMs)
        data += readMaster(int(qMax<qint64>(1, timeoutMs - timer.elapsed())));
    return data;
}

void TestPty::writeMaster(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EAGAIN) {
            pollfd pfd{m_master, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
            continue;
        }
        if (n <= 0)
            break;
        done += n;
    }
}

void TestPty::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    // With the master gone the slave is hung up; our own slave descriptor is no longer needed.
    if (m_keepSlave >= 0) {
        ::close(m_keepSlave);
        m_keepSlave = -1;
    }
}
