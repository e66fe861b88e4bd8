#include "sim/simserialport.h"

#include "sim/simbus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

constexpr qsizetype kMaxQueued = 1 << 20;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

QString simLinkFolder()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        // Without a runtime folder, one per user under the temporary folder, so that two users
        // of one machine do not meet in each other's links.
        const QString user = qEnvironmentVariable("USER", QStringLiteral("user"));
        base = QDir::tempPath() + QStringLiteral("/runtime-") + user;
    }
    return base + QStringLiteral("/mirvel");
}

SimSerialPort::SimSerialPort(SimBus &bus, QObject *parent)
    : QObject(parent), m_line(new SimLine(bus, this)), m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });
    connect(m_line, &SimLine::transmit, this, &SimSerialPort::writeMaster);
}

SimSerialPort::~SimSerialPort()
{
    unlink();
    closeAll();
}

bool SimSerialPort::open(QString *error)
{
    closeAll();
    int master = -1;
    int slave = -1;
    char name[256] = {0};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError("openpty");
        return false;
    }
    // A raw line: nothing echoed or translated until the program sets its own mode.
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    m_master = master;
    m_keepSlave = slave;
    m_slavePath = QString::fromLocal8Bit(name);
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimSerialPort::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimSerialPort::flushOutput);
    return true;
}

QString SimSerialPort::linkPath() const
{
    return m_com > 0 ? simLinkFolder() + QStringLiteral("/COM%1").arg(m_com) : QString();
}

bool SimSerialPort::linkAs(int number, bool replace, QString *error)
{
    const QString folder = simLinkFolder();
    const QString link = folder + QStringLiteral("/COM%1").arg(number);
    if (!isOpen()) {
        if (error)
            *error = QStringLiteral("no pseudo-terminal to link");
        return false;
    }
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QFileInfo existing(link);
    if (existing.isSymLink() || existing.exists()) {
        const QString target = existing.isSymLink() ? existing.symLinkTarget() : link;
        if (!replace && QFileInfo::exists(target) && target != m_slavePath) {
            if (error)
                *error = QStringLiteral("%1 already points to %2").arg(link, target);
            return false;
        }
        QFile::remove(link);
    }
    if (!QFile::link(m_slavePath, link)) {
        if (error)
            *error = QStringLiteral("cannot create the link %1").arg(link);
        return false;
    }
    if (m_com > 0 && m_com != number)
        unlink();
    m_com = number;
    return true;
}

void SimSerialPort::unlink()
{
    if (m_com <= 0)
        return;
    // Only our own link: someone may have pointed the name elsewhere meanwhile.
    const QFileInfo info(linkPath());
    if (info.isSymLink() && info.symLinkTarget() == m_slavePath)
        QFile::remove(linkPath());
}

int SimSerialPort::rateOfSpeed(unsigned speed)
{
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

int SimSerialPort::lineRate() const
{
    termios tio{};
    if (m_master < 0 || ::tcgetattr(m_master, &tio) != 0)
        return 0;
    return rateOfSpeed(::cfgetospeed(&tio));
}

void SimSerialPort::readMaster()
{
    QByteArray data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // EIO: nobody holds the slave open. Look again a little later instead of spinning on a
        // descriptor that stays readable.
        m_readNotifier->setEnabled(false);
        m_retry->start(50);
        break;
    }
    if (!data.isEmpty()) {
        emit received(data);
        m_line->receive(data, lineRate());
    }
}

void SimSerialPort::writeMaster(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    emit sent(bytes);
    // Nobody reading: a real line loses what no one listens to, so the queue stays bounded.
    if (m_out.size() + bytes.size() > kMaxQueued)
        return;
    m_out += bytes;
    flushOutput();
}

void SimSerialPort::flushOutput()
{
    while (!m_out.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_out.clear();
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

void SimSerialPort::closeAll()
{
    m_line->reset();
    m_retry->stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_out.clear();
    if (m_master >= 0)
        ::close(m_master);
    if (m_keepSlave >= 0)
        ::close(m_keepSlave);
    m_master = -1;
    m_keepSlave = -1;
}

void SimSerialPort::dropLine()
{
    unlink();
    closeAll();
}

bool SimSerialPort::replug(QString *error)
{
    const int number = m_com;
    if (!open(error))
        return false;
    return number <= 0 || linkAs(number, true, error);
}
