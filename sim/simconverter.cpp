#include "sim/simconverter.h"

#include "sim/simbus.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

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
    const auto fail = [&](const char *what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        closeStuckListener();
        return false;
    };
    if (m_port == 0) {
        errno = EINVAL;
        return fail("no port yet");
    }
    refuse();

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    m_stuckListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_stuckListener < 0)
        return fail("socket");
    const int on = 1;
    ::setsockopt(m_stuckListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(m_stuckListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return fail("bind");
    // A queue of length zero holds one connection; ours fills it, and later attempts get no
    // answer to their handshake because nobody ever accepts.
    if (::listen(m_stuckListener, 0) != 0)
        return fail("listen");
    m_stuckFiller = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_stuckFiller < 0)
        return fail("socket");
    if (::connect(m_stuckFiller, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS)
        return fail("connect");
    pollfd pfd{m_stuckFiller, POLLOUT, 0};
    if (::poll(&pfd, 1, 2000) != 1)
        return fail("connect");
    int soError = 0;
    socklen_t length = sizeof soError;
    ::getsockopt(m_stuckFiller, SOL_SOCKET, SO_ERROR, &soError, &length);
    if (soError != 0) {
        errno = soError;
        return fail("connect");
    }
    return true;
}

void SimConverter::closeStuckListener()
{
    if (m_stuckFiller >= 0)
        ::close(m_stuckFiller);
    if (m_stuckListener >= 0)
        ::close(m_stuckListener);
    m_stuckFiller = -1;
    m_stuckListener = -1;
}
