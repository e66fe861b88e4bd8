// The converter link and console of the TCP/IP page: the real window on the fake clock, talking
// to servers on 127.0.0.1, and once end to end through the simulator's converter.
#include "peer.h"
#include "sim/simbench.h"

#include <QTest>

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void linkToListeningServer()
    {
        Page page;
        page.ui()->Text_Tcpip_Send->setText(QStringLiteral("typed"));
        page.ui()->HScroll1->setValue(200);
        page.setButtons("0000");
        QString statusAt500, statusAt1050;
        page.h.time.at(500, [&] { statusAt500 = page.status(); });
        page.h.time.at(1050, [&] { statusAt1050 = page.status(); });

        QTcpSocket *far = page.linked();

        QCOMPARE(statusAt500, QStringLiteral("Off Line........."));
        QCOMPARE(statusAt1050, LinkingText);
        QCOMPARE(page.status(), OnLineText);
        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral("$01M"));
        QCOMPARE(page.ui()->HScroll1->value(), 60);
        QCOMPARE(page.buttons(), QStringLiteral("1111"));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Connected));
        QVERIFY(far);
        QCOMPARE(Peer::take(far, 0), QByteArray());  // Link itself sends nothing
    }

    // Where Link leads from where it starts; {peer} is a listening server, {closed} a closed port.
    void linkOutcome_data()
    {
        QTest::addColumn<bool>("wasOnLine");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("buttons");  // Send, Clear, Loop Test, Release
        QTest::addColumn<int>("state");
        const int on = ConverterSocket::Connected, error = ConverterSocket::Error,
                  closed = ConverterSocket::Closed;
        QTest::newRow("while connected: reconnects")
            << true << "{peer}" << OnLineText << "1111" << on;
        QTest::newRow("port with blanks") << false << " {peer} " << OnLineText << "1111" << on;
        // A failed Link leaves the buttons as they were.
        QTest::newRow("refused") << false << "{closed}" << LinkFailText << "0001" << error;
        QTest::newRow("refused after a standing connection")
            << true << "{closed}" << LinkFailText << "1111" << error;
        QTest::newRow("empty port") << false << "" << LinkFailText << "0001" << closed;
        QTest::newRow("letters") << false << "abc" << LinkFailText << "0001" << closed;
        QTest::newRow("zero") << false << "0" << LinkFailText << "0001" << closed;
        QTest::newRow("above 65535") << false << "65536" << LinkFailText << "0001" << closed;
        QTest::newRow("trailing letters") << false << "{peer}x" << LinkFailText << "0001" << closed;
    }
    void linkOutcome()
    {
        QFETCH(bool, wasOnLine);
        QFETCH(QString, portText);
        QFETCH(QString, status);
        QFETCH(QString, buttons);
        QFETCH(int, state);
        Page page;
        Peer before;
        page.setButtons("0001");
        if (wasOnLine)
            page.link(before.port());
        QTcpSocket *old = wasOnLine ? before.accept() : nullptr;
        const quint32 start = page.h.time.tickCount();

        page.link(portText.replace(QStringLiteral("{peer}"), QString::number(page.peer.port()))
                      .replace(QStringLiteral("{closed}"), QString::number(closedPort())));

        QCOMPARE(page.status(), status);
        QCOMPARE(page.buttons(), buttons);
        QCOMPARE(page.socket().State(), state);
        if (state == ConverterSocket::Closed)
            QCOMPARE(page.h.time.tickCount(), start);  // said at once, no connection asked for
        if (old && old->state() == QAbstractSocket::ConnectedState)
            QVERIFY(old->waitForDisconnected(5000));
        // What is sent now goes to the new peer only, or nowhere, and asks nothing.
        QTcpSocket *far = state == ConverterSocket::Connected ? page.peer.accept() : nullptr;
        QCOMPARE(bool(far), state == ConverterSocket::Connected);
        page.h.click(QStringLiteral("Com_Tcpip_Send"));
        if (far)
            QCOMPARE(Peer::take(far, 5), QByteArray("$01M\r"));
        QVERIFY(page.h.boxes.shown.isEmpty());
    }

    void release_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::newRow("before any link") << false;
        QTest::newRow("a standing connection") << true;
    }
    void release()
    {
        QFETCH(bool, linked);
        Page page;
        page.setButtons("1111");
        QTcpSocket *far = linked ? page.linked() : nullptr;
        QCOMPARE(bool(far), linked);

        page.h.click(QStringLiteral("Com_Tcpip_Stop"));

        QCOMPARE(page.status(), OffLineText);
        QCOMPARE(page.buttons(), QStringLiteral("0001"));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
        if (far && far->state() == QAbstractSocket::ConnectedState)
            QVERIFY(far->waitForDisconnected(5000));
    }

    void remoteClose()
    {
        Page page;
        QTcpSocket *far = page.linked();
        QVERIFY(far);

        far->close();

        QTRY_COMPARE(page.status(), ClosedByPeerText);
        // Send and Loop Test are disabled: nothing can be sent on the dead link.
        QCOMPARE(page.buttons(), QStringLiteral("0101"));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
        // Sent all the same (by the program itself), it is quiet.
        page.network().Com_Tcpip_Send_Click();
        QVERIFY(page.h.boxes.shown.isEmpty());
        QCOMPARE(page.status(), ClosedByPeerText);
    }

    void dataArrivesWithoutSend()
    {
        Page page;
        QTcpSocket *far = page.linked();
        QVERIFY(far);
        page.ui()->Text_Tcpip_Receive->setText(QStringLiteral("kept"));
        QByteArray bytes("!01\r\n");
        for (int b = 1; b < 256; ++b)
            bytes.append(char(b));

        far->write(bytes.left(3));
        far->flush();
        QTRY_COMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral("kept!01"));
        far->write(bytes.mid(3));
        far->flush();

        QTRY_COMPARE(page.ui()->Text_Tcpip_Receive->text(),
                     QStringLiteral("kept") + QString::fromLatin1(bytes));
    }

    void floodKeepsTheNewest()
    {
        Page page;
        QTcpSocket *far = page.linked();
        QVERIFY(far);
        QByteArray flood;
        for (int i = 0; i < 3 * NetworkTest::ReceiveKeepLimit / 10 + 7; ++i)
            flood += QByteArray::number(1000000000 + i);

        far->write(flood);
        far->flush();

        const QString tail = QString::fromLatin1(flood.right(NetworkTest::ReceiveKeepLimit));
        QTRY_COMPARE(page.ui()->Text_Tcpip_Receive->text().right(20), tail.right(20));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), tail);
    }

    // A host that never answers: given up after a bound, and clicks still come through.
    void silentHost_data()
    {
        QTest::addColumn<int>("click");  // 0: none, 1: Release, 2: Link to a listening server
        QTest::addColumn<int>("at");
        QTest::newRow("given up") << 0 << 0;
        QTest::newRow("Release in the first second") << 1 << 500;
        QTest::newRow("a new Link in the first second") << 2 << 500;
        QTest::newRow("a new Link while linking") << 2 << 3000;
    }
    void silentHost()
    {
        QFETCH(int, click);
        QFETCH(int, at);
        Page page;
        SimBench silent;
        const quint16 port = silent.startConverter();
        QVERIFY(silent.converter()->neverAccept());
        const quint32 limit = ConverterSocket::DefaultConnectLimitMs;
        QString statusThen;
        int stateThen = -1;
        page.h.time.at(click ? quint32(at) : limit - 200, [&] {
            if (click == 1)
                page.h.click(QStringLiteral("Com_Tcpip_Stop"));
            else if (click == 2)
                page.link(page.peer.port());
            statusThen = page.status();
            stateThen = page.socket().State();
        });
        const quint32 start = page.h.time.tickCount();

        page.link(port);

        const QString outcome[] = {LinkFailText, OffLineText, OnLineText};
        const int state[] = {ConverterSocket::Error, ConverterSocket::Closed,
                             ConverterSocket::Connected};
        QCOMPARE(page.status(), outcome[click]);
        QCOMPARE(page.socket().State(), state[click]);
        if (click) {
            // The outer Link ends with the nested click's outcome, without waiting out its limit.
            QCOMPARE(statusThen, outcome[click]);
            QVERIFY(page.h.time.tickCount() - start < limit);
        } else {
            QVERIFY(stateThen != ConverterSocket::Connected &&
                    stateThen != ConverterSocket::Error && stateThen != ConverterSocket::Closed);
            QVERIFY(page.h.time.tickCount() - start >= limit);
        }
    }

    void sendIsTwoSends_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("name query") << "$01M" << QByteArray("$01M");
        QTest::newRow("blanks around") << "   $01M  " << QByteArray("$01M");
        QTest::newRow("only blanks") << "    " << QByteArray();
    }
    void sendIsTwoSends()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, command);
        Page page;
        QTcpSocket *far = page.linked();
        QVERIFY(far);
        QObject::connect(far, &QIODevice::readyRead, far, [far] {
            if (far->peek(64).endsWith('\r')) {
                far->write("!01ABC\r");
                far->flush();
            }
        });
        page.ui()->Text_Tcpip_Send->setText(typed);
        page.ui()->Text_Tcpip_Receive->setText(QStringLiteral("old"));
        QByteArray firstPiece;
        QString receiveMeanwhile;
        page.h.time.at(25, [&] {
            receiveMeanwhile = page.ui()->Text_Tcpip_Receive->text();
            firstPiece = Peer::take(far, command.size());
        });

        page.h.click(QStringLiteral("Com_Tcpip_Send"));

        QCOMPARE(receiveMeanwhile, QStringLiteral(" "));
        QCOMPARE(firstPiece, command);
        QCOMPARE(Peer::take(far, 1), QByteArray("\r"));
        QTRY_COMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" !01ABC\r"));
    }

    void clear()
    {
        Page page;
        QVERIFY(page.linked());
        page.ui()->Text_Tcpip_Send->setText(QStringLiteral("$01M"));
        page.ui()->Text_Tcpip_Receive->setText(QStringLiteral("!01ABC\r"));

        page.h.click(QStringLiteral("Com_Tcpip_Clear"));

        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
    }

    void nameQueryThroughTheSimulatedConverter()
    {
        SimBench bench;
        bench.addModule({SimModel::E41, 0x01, 9600, false});
        Page page;
        page.link(bench.startConverter(0, SimConverter::Mode::Bus));
        QCOMPARE(page.status(), OnLineText);

        page.h.click(QStringLiteral("Com_Tcpip_Send"));

        QTRY_COMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" !01QRD-E41\r"));
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
