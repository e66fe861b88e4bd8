#include "sim/simconverter.h"

#include "sim/simbus.h"
#include "sim/simsystem.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

SimConverter::SimConverter(SimBus &bus, QObject *parent)
    : QObject(parent), m_line(new SimLine(bus, this)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimConverter::onNewConnection);
    connect(m_line, &SimLine::transmit, this, [this](const QByteArray &bytes) {
        if (m_client)
            m_client->write(bytes);
    });
}

SimConverter::~SimConverter()
{
    closeStuckListener();
    if (m_client)
        m_client->abort();
}

bool SimConverter::listen(quint16 port, QString *error)
{
    closeStuckListener();
    if (m_server->isListening())
        m_server->close();
    // The loopback address and nothing else: this converter is never reachable from outside.
    if (!m_server->listen(QHostAddress(QHostAddress::LocalHost), port)) {
        if (error)
            *error = m_server->errorString();
        return false;
    }
    Q_ASSERT(m_server->serverAddress().isLoopback());
    if (!m_server->serverAddress().isLoopback()) {
        m_server->close();
        if (error)
            *error = QStringLiteral("the converter listens on 127.0.0.1 only");
        return false;
    }
    m_port = m_server->serverPort();
    return true;
}

QHostAddress SimConverter::address() const
{
    return m_server->serverAddress();
}

bool SimConverter::isListening() const
{
    return m_server->isListening();
}

bool SimConverter::hasClient() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void SimConverter::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // One client at a time, and the newest wins: a program that links again while its old
        // connection is still being torn down gets the new one.
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
            m_line->reset();
        }
        m_client = socket;
        m_loopCount = 0;
        connect(socket, &QTcpSocket::readyRead, this, &SimConverter::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            if (m_client == socket) {
                m_client = nullptr;
                m_line->reset();
                emit clientGone();
            }
        });
        emit clientConnected();
    }
}

void SimConverter::onReadyRead()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    if (bytes.isEmpty())
        return;
    emit received(bytes);
    if (m_mode == Mode::Loop)
        m_client->write(loopBack(bytes));
    else
        m_line->receive(bytes, m_rate);
}

QByteArray SimConverter::loopBack(const QByteArray &bytes)
{
    QByteArray back;
    back.reserve(bytes.size());
    for (char c : bytes) {
        ++m_loopCount;
        if (m_loopDrop > 0 && m_loopCount % m_loopDrop == 0)
            continue;
        if (m_loopCorrupt > 0 && m_loopCount % m_loopCorrupt == 0) {
            // Another printable character. Where flipping the lowest bit leaves the printable
            // range (a control character, "~"), "#": a byte whose flip is not printable is never
            // "#" itself.
            const char flipped = char(c ^ 0x01);
            c = flipped >= 0x20 && flipped <= 0x7E ? flipped : '#';
        }
        back += c;
    }
    return back;
}

void SimConverter::refuse()
{
    closeStuckListener();
    m_server->close();
}

bool SimConverter::resume(QString *error)
{
    return listen(m_port, error);
}

void SimConverter::hangUp()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void SimConverter::flood(int count)
{
    if (!m_client)
        return;
    QByteArray chunk;
    for (int i = 0; i < 1024; ++i)
        chunk.append(char('A' + i % 26));
    while (count > 0) {
        const int n = qMin(count, int(chunk.size()));
        m_client->write(chunk.constData(), n);
        count -= n;
    }
}

bool SimConverter::neverAccept(QString *error)
{
    // The server lets go of the port, for the listener that takes its place.
    refuse();
    const std::optional<SimSystem::StuckListener> stuck =
        SimSystem::openStuckListener(m_port, error);
    if (!stuck)
        return false;
    m_stuck = *stuck;
    return true;
}

void SimConverter::closeStuckListener()
{
    SimSystem::closeStuckListener(m_stuck);
}
