#pragma once

#include "sim/simsystem.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;
class SimBus;
class SimLine;

// The Ethernet-to-serial converter: a TCP server on 127.0.0.1 only, one client at a time. In bus
// mode the client's bytes go onto the simulated bus at the converter's line rate and the replies
// come back; in loop mode every byte comes straight back, as with the serial side wired to itself.
class SimConverter : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Bus, Loop };

    explicit SimConverter(SimBus &bus, QObject *parent = nullptr);
    ~SimConverter() override;

    // Listens on 127.0.0.1:port (0: any free port). False, with the reason, when that fails.
    bool listen(quint16 port, QString *error = nullptr);
    quint16 port() const { return m_port; }
    // The address listened on: always 127.0.0.1.
    QHostAddress address() const;
    bool isListening() const;

    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }
    // The rate of the converter's serial side; modules at other rates do not hear it.
    void setLineRate(int rate) { m_rate = rate; }
    int lineRate() const { return m_rate; }

    bool hasClient() const;

    // Loop-mode faults, counted over the bytes the present client has sent, from 1: every Nth
    // byte is lost, or comes back as another printable character. 0 switches them off.
    void setLoopDrop(int every) { m_loopDrop = qMax(0, every); }
    int loopDrop() const { return m_loopDrop; }
    void setLoopCorrupt(int every) { m_loopCorrupt = qMax(0, every); }
    int loopCorrupt() const { return m_loopCorrupt; }

    // Faults on demand.
    // Stops listening: a connection attempt is refused until resume().
    void refuse();
    // Listening again on the same port, accepting as before.
    bool resume(QString *error = nullptr);
    // Closes the present client's connection from this side.
    void hangUp();
    // Sends count bytes of printable text without carriage return to the present client.
    void flood(int count);
    // A listener that never accepts: its queue is full, so a connection attempt hangs in the
    // handshake until the client gives up. resume() ends it.
    bool neverAccept(QString *error = nullptr);

signals:
    void clientConnected();
    void clientGone();
    // Bytes a client sent.
    void received(const QByteArray &bytes);

private:
    void onNewConnection();
    void onReadyRead();
    void closeStuckListener();
    QByteArray loopBack(const QByteArray &bytes);

    SimLine *m_line;
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
    quint16 m_port = 0;
    Mode m_mode = Mode::Bus;
    int m_rate = 9600;
    int m_loopDrop = 0;
    int m_loopCorrupt = 0;
    qint64 m_loopCount = 0;  // bytes the present client has sent
    SimSystem::StuckListener m_stuck;
};
