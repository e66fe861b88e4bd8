// The platform layer with Qt alone, for any system Qt runs on: QSerialPort's own open (which
// takes the port for itself) and write, QSerialPortInfo's list, Qt's runtime folder, the
// standard library's exit and signal.
#include "platform/os.h"

#include "platform/osdetail.h"

#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace {

class NoClaim : public Os::PortClaim
{
};

// "COM12" → 12 where the system names its ports so; 0 otherwise.
int comNumber(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^COM([1-9][0-9]*)$"));
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// Names compared with their numbers as numbers: ttyS2 before ttyS10.
bool naturalLess(const QString &a, const QString &b)
{
    static const QRegularExpression trailing(QStringLiteral("^(.*?)([0-9]+)$"));
    const QRegularExpressionMatch ma = trailing.match(a);
    const QRegularExpressionMatch mb = trailing.match(b);
    if (ma.hasMatch() && mb.hasMatch() && ma.captured(1) == mb.captured(1))
        return ma.captured(2).toULongLong() < mb.captured(2).toULongLong();
    return a < b;
}

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

constexpr int InterruptPollMs = 50;

}  // namespace

const char *Os::name()
{
    return "generic";
}

std::unique_ptr<Os::PortClaim> Os::claimPort(const QString &, ClaimFailure *failure, QString *)
{
    // QSerialPort's own open takes the port for this program where the system allows it.
    *failure = ClaimFailure::None;
    return std::make_unique<NoClaim>();
}

qint64 Os::writeNow(QSerialPort &, const QByteArray &)
{
    return 0;
}

bool Os::stillNamed(const QFile &file)
{
    // Qt tells whether the name is still there, not whether it still names this file.
    return QFile::exists(file.fileName());
}

void Os::endProcessNow(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

bool Os::Detail::isUsb(const QSerialPortInfo &info)
{
    // What Qt alone tells of a USB adapter: its maker.
    return info.hasVendorIdentifier();
}

QList<qsizetype> Os::numberPorts(const QList<PortListing> &ports)
{
    // Where the system names its ports COMn, COMn is that port.
    QList<qsizetype> byNumber;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const int number = comNumber(ports.at(i).name);
        if (number > 0 && number <= 256) {
            while (byNumber.size() < number)
                byNumber << -1;
            byNumber[number - 1] = i;
        }
    }
    if (!byNumber.isEmpty())
        return byNumber;
    // Elsewhere the adapters that tell their maker come first, then the rest, in name order.
    QList<qsizetype> order(ports.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&ports](qsizetype a, qsizetype b) {
        const PortListing &pa = ports.at(a), &pb = ports.at(b);
        return pa.usb != pb.usb ? pa.usb : naturalLess(pa.name, pb.name);
    });
    return order;
}

QString Os::comLinkFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/mirvel");
}

QStringList Os::Detail::deviceFolders()
{
    return {};
}

bool Os::Detail::pollsForDevices()
{
    return true;
}

struct Os::InterruptWatch::Private
{
    QTimer poll;
};

Os::InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    // A signal handler may only set a flag; the event loop looks at it a few times a second.
    g_interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    d->poll.setInterval(InterruptPollMs);
    connect(&d->poll, &QTimer::timeout, this, [this] {
        if (g_interrupted) {
            g_interrupted = 0;
            emit interrupted();
        }
    });
    d->poll.start();
}

Os::InterruptWatch::~InterruptWatch()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool Os::standardInputIsTerminal()
{
    return false;
}

bool Os::standardErrorIsTerminal()
{
    return false;
}

struct Os::InputLine::Private
{
};

Os::InputLine::InputLine(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    // Qt alone cannot watch standard input: the line is read at the first pass of the event loop,
    // and that read blocks. Nothing asks here in practice, since no terminal is known.
    QTimer::singleShot(0, this, [this] {
        QTextStream in(stdin);
        emit lineRead(in.readLine());
    });
}

Os::InputLine::~InputLine() = default;
