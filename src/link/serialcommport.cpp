#include "link/serialcommport.h"

#include "link/errors.h"
#include "link/portresolver.h"

#include "platform/os.h"

#include <QFileInfo>

namespace {

// What the port holds of input nobody has read yet. Every exchange drops unread input before it
// writes, and both the exchange and the Modbus RTU receive loop read as it comes, so only a
// device that streams while nothing reads ever fills it; beyond this the line is left unread
// rather than buffered without end.
constexpr qint64 ReadBufferLimit = 64 * 1024;

}  // namespace

SerialCommPort::SerialCommPort(QObject *parent) : CommPort(parent)
{
    m_port.setReadBufferSize(ReadBufferLimit);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialCommPort::onError);
    connect(&m_port, &QSerialPort::readyRead, this, &CommPort::dataArrived);
}

SerialCommPort::~SerialCommPort()
{
    closePort();
}

namespace {

QString permissionHint(const QString &device)
{
    const QFileInfo info(device);
    const QString group = info.group();
    if (group.isEmpty())
        return QStringLiteral("Permission denied on %1.").arg(device);
    return QStringLiteral(
               "Permission denied on %1: the user must join the group \"%2\" "
               "(then log in again).")
        .arg(device, group);
}

}  // namespace

void SerialCommPort::openPort()
{
    if (m_port.isOpen())
        throw CommError(QStringLiteral("The port is already open"));

    bool rateOk = false;
    const int rate = settingsRate(m_settings).toInt(&rateOk);
    if (!rateOk || rate <= 0 || m_settings.section(u',', 1).trimmed().toLower() != "n,8,1")
        throw CommError(QStringLiteral("Invalid port settings \"%1\"").arg(m_settings));

    const PortTarget target = m_devicePath.isEmpty() ? PortResolver::resolve(m_number)
                                                     : PortTarget{m_devicePath, m_devicePath};
    if (target.device.isEmpty())
        throw CommError(QStringLiteral("COM%1: no such port").arg(m_number));

    Os::ClaimFailure failure = Os::ClaimFailure::None;
    QString reason;
    m_claim = Os::claimPort(target.device, &failure, &reason);
    if (!m_claim) {
        if (failure == Os::ClaimFailure::Permission)
            throw CommError(permissionHint(target.device));
        if (failure == Os::ClaimFailure::Busy)
            throw CommError(QStringLiteral("%1 is in use by another program").arg(target.device));
        throw CommError(QStringLiteral("%1: %2").arg(target.device, reason));
    }

    m_device = target.device;
    m_port.setPortName(target.device);
    m_port.setBaudRate(rate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QFileInfo file(target.device);
        const QString why = error != QSerialPort::PermissionError
                                ? QStringLiteral("%1: %2").arg(target.device, m_port.errorString())
                            : file.exists() && !file.isWritable()
                                ? permissionHint(target.device)
                                : QStringLiteral("%1 is in use or not allowed: %2")
                                      .arg(target.device, m_port.errorString());
        m_port.clearError();
        m_claim.reset();
        throw CommError(why);
    }
}

void SerialCommPort::closePort()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    m_claim.reset();
}

void SerialCommPort::onError(QSerialPort::SerialPortError error)
{
    if (!m_port.isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    const QString reason = QStringLiteral("%1: %2").arg(m_port.portName(), m_port.errorString());
    closePort();
    emit lineLost(reason);
}

void SerialCommPort::requireOpen() const
{
    if (!m_port.isOpen())
        throw CommError(QStringLiteral("The port is not open"));
}

void SerialCommPort::clearInput()
{
    requireOpen();
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
}

void SerialCommPort::writeBytes(const QByteArray &bytes)
{
    requireOpen();
    // Straight to the driver when nothing waits in the port's own buffer: a write through that
    // buffer wakes the event loop twice, which costs a command's round trip more than the write
    // itself. What the driver does not take at once, or an error, goes the port's own way, which
    // reports it as before.
    qint64 written = 0;
    if (m_port.bytesToWrite() == 0)
        written = Os::writeNow(m_port, bytes);
    if (written == bytes.size())
        return;
    const QByteArray rest = bytes.mid(written);
    if (m_port.write(rest) != rest.size())
        throw CommError(QStringLiteral("%1: %2").arg(m_port.portName(), m_port.errorString()));
    // Hand the bytes to the driver now rather than on the next pass of the event loop, so a
    // close that follows the write cannot drop them.
    if (m_port.isOpen())
        m_port.flush();
}

QByteArray SerialCommPort::readBytes()
{
    requireOpen();
    return m_port.readAll();
}
