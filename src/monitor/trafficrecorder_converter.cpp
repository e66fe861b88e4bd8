// The converter connection's part of the recorder: the one part that needs the network library.
#include "monitor/trafficrecorder.h"

#include "link/convertersocket.h"

void TrafficRecorder::watchConverter(ConverterSocket &socket)
{
    m_socket = &socket;
    connect(&socket, &ConverterSocket::sent, this,
            [this](const QByteArray &bytes) { add(tcpChannel(), TrafficEntry::Out, bytes); });
    connect(&socket, &ConverterSocket::received, this,
            [this](const QByteArray &bytes) { add(tcpChannel(), TrafficEntry::In, bytes); });
}

QString TrafficRecorder::tcpChannel() const
{
    if (!m_socket)
        return QString();
    const QString host = m_socket->RemoteHost();
    const qint32 port = m_socket->RemotePort();
    if (host != m_namedHost || port != m_namedRemotePort || m_tcpChannel.isNull()) {
        m_namedHost = host;
        m_namedRemotePort = port;
        m_tcpChannel = QStringLiteral("TCP %1:%2").arg(host).arg(port);
    }
    return m_tcpChannel;
}
