#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

class Clock;

// The TCP client socket the converter page talks through: one connection at a time to
// RemoteHost:RemotePort. Its State follows the numbering the page's logic expects (0 closed,
// 7 connected, 9 error, the others in between), and it tells of the other side closing
// (CloseEvent) and of waiting bytes (DataArrival) through the window's event loop.
class ConverterSocket : public QObject
{
    Q_OBJECT
public:
    enum StateValue : int {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9,
    };

    static constexpr qint32 DefaultConnectLimitMs = 10000;

    // The connection attempt's time limit runs on clock.
    explicit ConverterSocket(Clock &clock, QObject *parent = nullptr);
    ~ConverterSocket() override;

    int State();

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    qint32 RemotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }

    // Starts connecting to RemoteHost:RemotePort; whatever connection there was is dropped first.
    // A port outside 1 to 65535 goes straight to the error state.
    void Connect();
    // Drops the connection (or the attempt, or the error) and returns to state 0.
    void Close();
    // Puts the text on the connection as it stands, one byte per character, and hands it to the
    // system at once. On a connection that is not open nothing is sent. Throws FormatError for a
    // character with no single-byte code.
    void SendData(const QString &data);
    // Every byte waiting, one character per byte.
    QString GetData();
    // Why the socket went to state 9, in the system's words ("Connection refused").
    QString errorString() const { return m_errorString; }

    // How long a connection attempt may take before it is given up and reported as state 9,
    // measured on the program's clock (a host that never answers would otherwise keep the socket
    // connecting for minutes).
    void setConnectLimit(qint32 ms) { m_connectLimitMs = ms; }
    qint32 connectLimit() const { return m_connectLimitMs; }

signals:
    // The other side closed the connection, or it was lost.
    void CloseEvent();
    // Bytes are waiting to be fetched with GetData.
    void DataArrival(qint32 bytesTotal);
    // Bytes put on the connection, and bytes fetched from it.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);

private:
    void socketStateChanged(QAbstractSocket::SocketState state);
    void dropSocket();
    Clock &m_clock;
    QTcpSocket *m_socket = nullptr;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    int m_state = Closed;
    qint32 m_connectLimitMs = DefaultConnectLimitMs;
    quint32 m_connectStart = 0;
    quint64 m_generation = 0;  // counts the connections dropped by this side
    QString m_errorString;
};
