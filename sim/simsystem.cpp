#include "sim/simsystem.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace SimSystem {

namespace {

int g_signalPipe[2] = {-1, -1};

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

int rateOfSpeed(speed_t speed)
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

void onEndSignal(int)
{
    // Only what is safe in a signal handler: the event loop does the rest.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

std::optional<PseudoTerminal> openPseudoTerminal(QString *error)
{
    PseudoTerminal pty;
    char name[256] = {0};
    if (::openpty(&pty.master, &pty.slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError("openpty");
        return std::nullopt;
    }
    // A raw line: nothing echoed or translated until the program sets its own mode.
    termios tio{};
    ::tcgetattr(pty.slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(pty.slave, TCSANOW, &tio);
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    ::fcntl(pty.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(pty.slave, F_SETFD, FD_CLOEXEC);
    pty.slavePath = QString::fromLocal8Bit(name);
    return pty;
}

int pseudoTerminalRate(int master)
{
    termios tio{};
    if (master < 0 || ::tcgetattr(master, &tio) != 0)
        return 0;
    return rateOfSpeed(::cfgetospeed(&tio));
}

bool readAvailable(int descriptor, QByteArray &data)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(descriptor, buffer, sizeof buffer);
        if (n > 0)
            data.append(buffer, qsizetype(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return n < 0 && errno == EAGAIN;
    }
}

WriteResult writeAvailable(int descriptor, QByteArray &bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(descriptor, bytes.constData(), size_t(bytes.size()));
        if (n > 0)
            bytes.remove(0, qsizetype(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            return WriteResult::WouldBlock;
        else
            return WriteResult::Failed;
    }
    return WriteResult::Done;
}

void closeDescriptor(int &descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

std::optional<StuckListener> openStuckListener(quint16 port, QString *error)
{
    StuckListener stuck;
    const auto fail = [&](const char *what) {
        if (error)
            *error = systemError(what);
        closeStuckListener(stuck);
        return std::nullopt;
    };
    if (port == 0) {
        errno = EINVAL;
        return fail("no port yet");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    stuck.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (stuck.listener < 0)
        return fail("socket");
    const int on = 1;
    ::setsockopt(stuck.listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(stuck.listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return fail("bind");
    // A queue of length zero holds one connection; ours fills it, and later attempts get no
    // answer to their handshake because nobody ever accepts.
    if (::listen(stuck.listener, 0) != 0)
        return fail("listen");
    stuck.filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (stuck.filler < 0)
        return fail("socket");
    if (::connect(stuck.filler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS)
        return fail("connect");
    pollfd pfd{stuck.filler, POLLOUT, 0};
    if (::poll(&pfd, 1, 2000) != 1)
        return fail("connect");
    int soError = 0;
    socklen_t length = sizeof soError;
    ::getsockopt(stuck.filler, SOL_SOCKET, SO_ERROR, &soError, &length);
    if (soError != 0) {
        errno = soError;
        return fail("connect");
    }
    return stuck;
}

void closeStuckListener(StuckListener &stuck)
{
    closeDescriptor(stuck.filler);
    closeDescriptor(stuck.listener);
}

int catchEndSignals(QString *error)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = systemError("pipe");
        return -1;
    }
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    return g_signalPipe[0];
}

void drainEndSignals(int descriptor)
{
    char byte;
    while (::read(descriptor, &byte, 1) > 0) {
    }
}

}  // namespace SimSystem
