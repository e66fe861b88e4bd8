#include "link/convertersocket.h"

#include "link/checksum.h"
#include "link/clock.h"

ConverterSocket::ConverterSocket(Clock &clock, QObject *parent)
    : QObject(parent), m_clock(clock), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QAbstractSocket::stateChanged, this, &ConverterSocket::socketStateChanged);
    connect(m_socket, &QIODevice::readyRead, this, [this] {
        if (m_state == Connected || m_state == Closing)
            emit DataArrival(qint32(qMin<qint64>(m_socket->bytesAvailable(), INT32_MAX)));
    });
}

ConverterSocket::~ConverterSocket()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

int ConverterSocket::State()
{
    const bool attempting =
        m_state == ResolvingHost || m_state == HostResolved || m_state == Connecting;
    if (attempting && qint32(m_clock.tickCount() - m_connectStart) >= m_connectLimitMs) {
        dropSocket();
        m_state = Error;
        m_errorString = QStringLiteral("no answer within %1 ms").arg(m_connectLimitMs);
    }
    return m_state;
}

void ConverterSocket::Connect()
{
    dropSocket();
    if (m_remotePort < 1 || m_remotePort > 65535) {
        m_state = Error;
        m_errorString = QStringLiteral("no such port: %1").arg(m_remotePort);
        return;
    }
    m_state = ResolvingHost;
    m_connectStart = m_clock.tickCount();
    m_socket->connectToHost(m_remoteHost, quint16(m_remotePort));
}

void ConverterSocket::Close()
{
    dropSocket();
}

void ConverterSocket::dropSocket()
{
    // Whatever the socket reports while it is being taken down belongs to the connection being
    // dropped, not to a loss the page should hear of.
    const bool wasConnected = m_state == Connected;
    m_state = Closed;
    ++m_generation;
    if (wasConnected)
        m_socket->flush();
    m_socket->abort();
}

void ConverterSocket::socketStateChanged(QAbstractSocket::SocketState state)
{
    switch (m_state) {
        case ResolvingHost:
        case HostResolved:
        case Connecting:
            if (state == QAbstractSocket::HostLookupState) {
                m_state = ResolvingHost;
            } else if (state == QAbstractSocket::ConnectingState) {
                m_state = Connecting;
            } else if (state == QAbstractSocket::ConnectedState) {
                m_state = Connected;
                // The loop test sends one character at a time; each goes out as it is sent.
                m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            } else if (state == QAbstractSocket::UnconnectedState) {
                // Refused, unreachable or not found.
                m_state = Error;
                m_errorString = m_socket->errorString();
            }
            break;
        case Connected:
            if (state == QAbstractSocket::ClosingState ||
                state == QAbstractSocket::UnconnectedState) {
                m_state = Closing;
                // Told through the event loop, not from inside the socket's own notification; a
                // Close or Connect in the meantime makes the news stale.
                const quint64 generation = m_generation;
                QMetaObject::invokeMethod(
                    this,
                    [this, generation] {
                        if (generation == m_generation && m_state == Closing)
                            emit CloseEvent();
                    },
                    Qt::QueuedConnection);
            }
            break;
        default:
            // Closed by this side, closing already reported, or in error: nothing more to tell.
            break;
    }
}

void ConverterSocket::SendData(const QString &data)
{
    if (m_state != Connected || data.isEmpty())
        return;
    const QByteArray bytes = lineBytes(data);
    m_socket->write(bytes);
    m_socket->flush();
    emit sent(bytes);
}

QString ConverterSocket::GetData()
{
    const QByteArray bytes = m_socket->readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
    return QString::fromLatin1(bytes);
}

// The socket's meta-object in this file, not among the others of the core, so that a program
// which does not use the socket links no network library.
#include "moc_convertersocket.cpp"
