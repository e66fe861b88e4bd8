#pragma once

// The far end of the converter connection in tests, on 127.0.0.1 only, and the TCP/IP page of the
// real window on the fake clock.

#include "network/convertersocket.h"
#include "network/networktest.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>

// Reads without running the window's event loop, so no window handler runs while a test looks.
struct Peer
{
    QTcpServer server;

    Peer() { server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server.serverPort(); }

    QTcpSocket *accept()
    {
        if (!server.hasPendingConnections())
            server.waitForNewConnection(5000);
        return server.nextPendingConnection();
    }

    // What arrived until at least n bytes are there (or nothing more comes), and what came along.
    static QByteArray take(QTcpSocket *socket, qint64 n)
    {
        QByteArray got = socket->readAll();
        while (got.size() < n && socket->waitForReadyRead(5000))
            got += socket->readAll();
        while (socket->waitForReadyRead(20))
            got += socket->readAll();
        return got;
    }
};

inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();  // closed when probe goes
}

struct Page
{
    FormHarness h;
    Peer peer;

    Page() { h.time.processQtEvents = true; }
    Ui::Form1 *ui() const { return h.ui(); }
    NetworkTest &network() const { return h.form->network(); }
    ConverterSocket &socket() const { return network().Winsock1(); }
    QString status() const { return ui()->Tcpip_Status->text(); }

    void link(quint16 port) { link(QString::number(port)); }
    void link(const QString &portText)
    {
        ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
        ui()->Text_Port->setText(portText);
        h.click(QStringLiteral("Com_link"));
    }
    // Links to the peer and gives its side of the connection.
    QTcpSocket *linked()
    {
        link(peer.port());
        return peer.accept();
    }

    // Send, Clear, Loop Test and Release, 1 for enabled.
    QString buttons() const
    {
        QString on;
        for (QWidget *w : {ui()->Com_Tcpip_Send, ui()->Com_Tcpip_Clear, ui()->Com_loop_Test,
                           ui()->Com_Tcpip_Stop})
            on += w->isEnabled() ? u'1' : u'0';
        return on;
    }
    void setButtons(const QString &on) const
    {
        QWidget *w[] = {ui()->Com_Tcpip_Send, ui()->Com_Tcpip_Clear, ui()->Com_loop_Test,
                        ui()->Com_Tcpip_Stop};
        for (int i = 0; i < 4; ++i)
            w[i]->setEnabled(on.at(i) == u'1');
    }
};

const QString LinkingText = QStringLiteral("Linking.............");
const QString LinkFailText = QStringLiteral("Link Fail !............");
const QString OnLineText = QStringLiteral("Network On line!...... ");
const QString OffLineText = QStringLiteral("Off Line.......");
const QString ClosedByPeerText = QStringLiteral("  --- Link Fail ---");
