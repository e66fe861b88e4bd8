// The platform layer on Linux and its kin: an advisory lock on the device, the driver's own
// write, _exit, the /dev folder, the usual names of USB adapters, the XDG runtime folder, and
// whether a terminal stands behind the standard streams.
#include "platform/os.h"

#include "platform/osdetail.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

class FlockClaim : public Os::PortClaim
{
public:
    explicit FlockClaim(int fd) : m_fd(fd) {}
    ~FlockClaim() override { ::close(m_fd); }

private:
    int m_fd;
};

int g_interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &byte, 1);
}

}  // namespace

const char *Os::name()
{
    return "posix";
}

std::unique_ptr<Os::PortClaim> Os::claimPort(const QString &device, ClaimFailure *failure,
                                             QString *reason)
{
    // A second open of the same device, by another program or by this one, must fail even for
    // root, whom TIOCEXCL does not stop: an advisory lock on the device for as long as the port
    // is open.
    const QByteArray path = QFile::encodeName(device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        *failure = err == EACCES || err == EPERM ? ClaimFailure::Permission : ClaimFailure::Other;
        *reason = QString::fromLocal8Bit(strerror(err));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *failure = ClaimFailure::Busy;
        reason->clear();
        return nullptr;
    }
    *failure = ClaimFailure::None;
    return std::make_unique<FlockClaim>(fd);
}

qint64 Os::writeNow(QSerialPort &port, const QByteArray &bytes)
{
    const ssize_t n = ::write(port.handle(), bytes.constData(), size_t(bytes.size()));
    return n > 0 ? n : 0;
}

bool Os::stillNamed(const QFile &file)
{
    struct stat named = {};
    struct stat written = {};
    return ::stat(QFile::encodeName(file.fileName()).constData(), &named) == 0 &&
           ::fstat(file.handle(), &written) == 0 && named.st_dev == written.st_dev &&
           named.st_ino == written.st_ino;
}

void Os::endProcessNow(int status)
{
    std::fflush(nullptr);
    ::_exit(status);
}

bool Os::Detail::isUsb(const QSerialPortInfo &info)
{
    return info.hasVendorIdentifier() || info.portName().startsWith(QLatin1String("ttyUSB")) ||
           info.portName().startsWith(QLatin1String("ttyACM"));
}

QList<qsizetype> Os::numberPorts(const QList<PortListing> &ports)
{
    // USB adapters first, then the on-board ports, each group in name order: a single USB-RS485
    // adapter is COM1.
    QList<qsizetype> order(ports.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&ports](qsizetype a, qsizetype b) {
        const PortListing &pa = ports.at(a), &pb = ports.at(b);
        return pa.usb != pb.usb ? pa.usb : pa.name < pb.name;
    });
    return order;
}

QString Os::comLinkFolder()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty())
        base =
            QDir::tempPath() + QStringLiteral("/runtime-") + qEnvironmentVariable("USER", "user");
    return base + QStringLiteral("/mirvel");
}

QStringList Os::Detail::deviceFolders()
{
    return {QStringLiteral("/dev")};
}

bool Os::Detail::pollsForDevices()
{
    return false;
}

struct Os::InterruptWatch::Private
{
    QSocketNotifier *notifier = nullptr;
};

Os::InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    // The handler only writes a byte: the rest happens in the event loop, where it is safe.
    if (g_interruptPipe[0] < 0 && ::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    d->notifier = new QSocketNotifier(g_interruptPipe[0], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(g_interruptPipe[0], &byte, 1) > 0) {
        }
        emit interrupted();
    });
}

Os::InterruptWatch::~InterruptWatch()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

bool Os::standardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool Os::standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

struct Os::InputLine::Private
{
    QSocketNotifier *notifier = nullptr;
    QByteArray line;
};

Os::InputLine::InputLine(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n > 0)
            d->line.append(buffer, int(n));
        const qsizetype end = d->line.indexOf('\n');
        if (end < 0 && n > 0)
            return;
        d->notifier->setEnabled(false);
        emit lineRead(QString::fromLocal8Bit(end < 0 ? d->line : d->line.left(end)));
    });
}

Os::InputLine::~InputLine() = default;
