#include "sim/simserialport.h"

#include "sim/simbus.h"
#include "sim/simsystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

namespace {

constexpr qsizetype kMaxQueued = 1 << 20;

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
    const std::optional<SimSystem::PseudoTerminal> pty = SimSystem::openPseudoTerminal(error);
    if (!pty)
        return false;
    m_master = pty->master;
    m_keepSlave = pty->slave;
    m_slavePath = pty->slavePath;
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

int SimSerialPort::lineRate() const
{
    return SimSystem::pseudoTerminalRate(m_master);
}

void SimSerialPort::readMaster()
{
    QByteArray data;
    if (!SimSystem::readAvailable(m_master, data)) {
        // Nobody holds the slave open. Look again a little later instead of spinning on a
        // descriptor that stays readable.
        m_readNotifier->setEnabled(false);
        m_retry->start(50);
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
    if (m_master >= 0) {
        switch (SimSystem::writeAvailable(m_master, m_out)) {
            case SimSystem::WriteResult::Done:
                break;
            case SimSystem::WriteResult::WouldBlock:
                m_writeNotifier->setEnabled(true);
                return;
            case SimSystem::WriteResult::Failed:
                m_out.clear();
                break;
        }
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
    SimSystem::closeDescriptor(m_master);
    SimSystem::closeDescriptor(m_keepSlave);
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
