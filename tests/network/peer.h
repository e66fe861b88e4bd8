#pragma once

// The far end of the converter connection in tests: a server on 127.0.0.1 that takes the
// connections the window makes, and a listener that never answers.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

// Reads from the peer's side without running the window's event loop, so no window handler
// (timer tick, socket event) runs while a test looks at what arrived.
struct Peer
{
    QTcpServer server;
    bool echo = false;

    Peer() { server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server.serverPort(); }

    // The next connection the window made (waits for it if it has not been taken in yet).
    QTcpSocket *accept()
    {
        if (!server.hasPendingConnections())
            server.waitForNewConnection(5000);
        QTcpSocket *socket = server.nextPendingConnection();
        if (socket && echo) {
            QObject::connect(socket, &QIODevice::readyRead, socket, [socket] {
                socket->write(socket->readAll());
                socket->flush();
            });
        }
        return socket;
    }

    // Everything that arrived on the connection until at least n bytes are there (or nothing more
    // comes), together with whatever was sent with them.
    static QByteArray take(QTcpSocket *socket, qint64 n)
    {
        QByteArray got = socket->readAll();
        while (got.size() < n && socket->waitForReadyRead(5000))
            got += socket->readAll();
        // Anything sent beyond n is already on its way over the loopback.
        while (socket->waitForReadyRead(20))
            got += socket->readAll();
        return got;
    }
};

// A port on 127.0.0.1 where nothing listens: connecting to it is refused.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A listener on 127.0.0.1 whose accept queue is full and is never served: a further connection
// attempt gets no answer at all, as from a host that is switched off.
struct SilentHost
{
    int listener = -1;
    std::vector<int> fillers;
    quint16 port = 0;

    SilentHost()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 0);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 2; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
            ::fcntl(filler, F_SETFL, O_NONBLOCK);
            ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
            fillers.push_back(filler);
        }
    }
    ~SilentHost()
    {
        for (int filler : fillers)
            ::close(filler);
        ::close(listener);
    }
};
