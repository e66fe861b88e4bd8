// The converter link and console of the TCP/IP page: the real window on the fake clock, talking
// to servers on 127.0.0.1.
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "peer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QScrollBar>
#include <QTest>

namespace {

const QString LinkingText = QStringLiteral("Linking.............");
const QString LinkFailText = QStringLiteral("Link Fail !............");
const QString OnLineText = QStringLiteral("Network On line!...... ");
const QString OffLineText = QStringLiteral("Off Line.......");
const QString ClosedByPeerText = QStringLiteral("  --- Link Fail ---");

struct Page
{
    FormHarness h;

    Page() { h.time.processQtEvents = true; }

    Ui::Form1 *ui() const { return h.ui(); }
    ConverterSocket &socket() const { return h.form->network().Winsock1(); }

    void link(quint16 port, const QString &portText = QString())
    {
        ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
        ui()->Text_Port->setText(portText.isNull() ? QString::number(port) : portText);
        h.click(QStringLiteral("Com_link"));
    }

    // Send, Clear, Loop Test and Release, in that order.
    QList<bool> buttons() const
    {
        return {ui()->Com_Tcpip_Send->isEnabled(), ui()->Com_Tcpip_Clear->isEnabled(),
                ui()->Com_loop_Test->isEnabled(), ui()->Com_Tcpip_Stop->isEnabled()};
    }
    void setButtons(bool on) const
    {
        for (QAbstractButton *w : {ui()->Com_Tcpip_Send, ui()->Com_Tcpip_Clear, ui()->Com_loop_Test,
                                   ui()->Com_Tcpip_Stop})
            w->setEnabled(on);
    }
};

const QList<bool> allOn = {true, true, true, true};
const QList<bool> allOff = {false, false, false, false};

}  // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void linkToListeningServer()
    {
        Page page;
        Peer peer;
        page.ui()->Text_Tcpip_Send->setText(QStringLiteral("typed"));
        page.ui()->HScroll1->setValue(200);
        page.setButtons(false);
        QString statusAt500, statusAt1050;
        page.h.time.at(500, [&] { statusAt500 = page.ui()->Tcpip_Status->text(); });
        page.h.time.at(1050, [&] { statusAt1050 = page.ui()->Tcpip_Status->text(); });

        page.link(peer.port());

        QCOMPARE(statusAt500, QStringLiteral("Off Line........."));
        QCOMPARE(statusAt1050, LinkingText);
        QCOMPARE(page.ui()->Tcpip_Status->text(), OnLineText);
        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral("$01M"));
        QCOMPARE(page.ui()->HScroll1->value(), 60);
        QCOMPARE(page.buttons(), allOn);
        QCOMPARE(page.socket().State(), int(ConverterSocket::Connected));
        QTcpSocket *far = peer.accept();
        QVERIFY(far);
        // Link itself sends nothing.
        QCOMPARE(Peer::take(far, 0), QByteArray());
    }

    void failedLinkLeavesTheButtons_data()
    {
        QTest::addColumn<bool>("wasOnLine");
        QTest::newRow("after start-up") << false;
        QTest::newRow("after a standing connection") << true;
    }
    void failedLinkLeavesTheButtons()
    {
        QFETCH(bool, wasOnLine);
        Page page;
        Peer peer;
        page.setButtons(false);
        page.ui()->Com_Tcpip_Stop->setEnabled(true);
        if (wasOnLine)
            page.link(peer.port());
        const QList<bool> before = page.buttons();

        page.link(closedPort());

        QCOMPARE(page.ui()->Tcpip_Status->text(), LinkFailText);
        QCOMPARE(page.buttons(), before);
        QCOMPARE(page.socket().State(), int(ConverterSocket::Error));
        QVERIFY(page.h.boxes.shown.isEmpty());
        // Sending on the failed link puts nothing anywhere and asks nothing.
        page.h.click(QStringLiteral("Com_Tcpip_Send"));
        QVERIFY(page.h.boxes.shown.isEmpty());
    }

    void linkWhileConnectedReconnects()
    {
        Page page;
        Peer first, second;
        page.link(first.port());
        QTcpSocket *old = first.accept();
        QVERIFY(old);

        page.link(second.port());

        QCOMPARE(page.ui()->Tcpip_Status->text(), OnLineText);
        QCOMPARE(page.socket().RemotePort(), qint32(second.port()));
        QTcpSocket *now = second.accept();
        QVERIFY(now);
        if (old->state() == QAbstractSocket::ConnectedState)
            QVERIFY(old->waitForDisconnected(5000));
        // What is sent now goes to the new peer only.
        page.h.click(QStringLiteral("Com_Tcpip_Send"));
        QCOMPARE(Peer::take(now, 5), QByteArray("$01M\r"));
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
        Peer peer;
        page.setButtons(true);
        QTcpSocket *far = nullptr;
        if (linked) {
            page.link(peer.port());
            far = peer.accept();
            QVERIFY(far);
        }

        page.h.click(QStringLiteral("Com_Tcpip_Stop"));

        QCOMPARE(page.ui()->Tcpip_Status->text(), OffLineText);
        QCOMPARE(page.buttons(), (QList<bool>{false, false, false, true}));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
        if (far && far->state() == QAbstractSocket::ConnectedState)
            QVERIFY(far->waitForDisconnected(5000));
    }

    void remoteClose()
    {
        Page page;
        Peer peer;
        page.link(peer.port());
        QTcpSocket *far = peer.accept();
        QVERIFY(far);

        far->close();

        QTRY_COMPARE(page.ui()->Tcpip_Status->text(), ClosedByPeerText);
        QCOMPARE(page.buttons(), (QList<bool>{false, true, false, true}));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
        // A send on the dead link (through the program, as the button is disabled) is quiet.
        page.h.form->network().Com_Tcpip_Send_Click();
        QVERIFY(page.h.boxes.shown.isEmpty());
        QCOMPARE(page.ui()->Tcpip_Status->text(), ClosedByPeerText);
    }

    void dataArrivesWithoutSend()
    {
        Page page;
        Peer peer;
        page.link(peer.port());
        QTcpSocket *far = peer.accept();
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
        Peer peer;
        page.link(peer.port());
        QTcpSocket *far = peer.accept();
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

    void unusablePort_data()
    {
        QTest::addColumn<QString>("portText");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
        QTest::newRow("zero") << "0";
        QTest::newRow("above 65535") << "65536";
        QTest::newRow("negative") << "-1";
        QTest::newRow("trailing letters") << "12x";
    }
    void unusablePort()
    {
        QFETCH(QString, portText);
        Page page;
        Peer peer;
        page.setButtons(false);
        const quint32 start = page.h.time.tickCount();

        page.link(0, portText);

        QCOMPARE(page.ui()->Tcpip_Status->text(), LinkFailText);
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
        QCOMPARE(page.buttons(), allOff);
        // Said at once: no wait for a connection that was never asked for.
        QCOMPARE(page.h.time.tickCount(), start);
    }

    void portWithBlanksIsUsed()
    {
        Page page;
        Peer peer;
        page.link(0, QStringLiteral(" %1 ").arg(peer.port()));
        QCOMPARE(page.ui()->Tcpip_Status->text(), OnLineText);
        QVERIFY(peer.accept());
    }

    void silentHostGivesUp_data()
    {
        QTest::addColumn<int>("limit");
        QTest::newRow("the program's limit") << 0;
        QTest::newRow("a shorter limit") << 2500;
    }
    void silentHostGivesUp()
    {
        QFETCH(int, limit);
        Page page;
        SilentHost silent;
        if (limit > 0)
            page.socket().setConnectLimit(limit);
        const qint32 expected = limit > 0 ? limit : ConverterSocket::DefaultConnectLimitMs;
        int stateMidway = -1;
        page.h.time.at(quint32(expected) - 200, [&] { stateMidway = page.socket().State(); });
        const quint32 start = page.h.time.tickCount();

        page.link(silent.port);

        QVERIFY(stateMidway != ConverterSocket::Connected &&
                stateMidway != ConverterSocket::Error && stateMidway != ConverterSocket::Closed);
        QCOMPARE(page.ui()->Tcpip_Status->text(), LinkFailText);
        QCOMPARE(page.socket().State(), int(ConverterSocket::Error));
        QVERIFY(page.h.time.tickCount() - start >= quint32(expected));
        page.h.click(QStringLiteral("Com_Tcpip_Stop"));
        QCOMPARE(page.socket().State(), int(ConverterSocket::Closed));
    }

    void clicksDuringAWaitingLink_data()
    {
        QTest::addColumn<bool>("relink");
        QTest::addColumn<int>("at");
        QTest::newRow("Release in the first second") << false << 500;
        QTest::newRow("Release while linking") << false << 3000;
        QTest::newRow("a new Link in the first second") << true << 500;
        QTest::newRow("a new Link while linking") << true << 3000;
    }
    void clicksDuringAWaitingLink()
    {
        QFETCH(bool, relink);
        QFETCH(int, at);
        Page page;
        SilentHost silent;
        Peer peer;
        QString statusAfterNested;
        page.h.time.at(quint32(at), [&] {
            if (relink) {
                page.link(peer.port());
            } else {
                page.h.click(QStringLiteral("Com_Tcpip_Stop"));
            }
            statusAfterNested = page.ui()->Tcpip_Status->text();
        });
        const quint32 start = page.h.time.tickCount();

        page.link(silent.port);

        // The outer Link ended with the nested click's outcome and did not wait out its limit.
        QCOMPARE(statusAfterNested, relink ? OnLineText : OffLineText);
        QCOMPARE(page.ui()->Tcpip_Status->text(), statusAfterNested);
        QCOMPARE(page.socket().State(),
                 int(relink ? ConverterSocket::Connected : ConverterSocket::Closed));
        QVERIFY(page.h.time.tickCount() - start < quint32(ConverterSocket::DefaultConnectLimitMs));
    }

    // The console.

    void sendIsTwoSends_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("name query") << "$01M" << QByteArray("$01M");
        QTest::newRow("blanks around") << "   $01M  " << QByteArray("$01M");
        QTest::newRow("inner blank kept") << " #01 00 " << QByteArray("#01 00");
        QTest::newRow("only blanks") << "    " << QByteArray();
    }
    void sendIsTwoSends()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, command);
        Page page;
        Peer peer;
        page.link(peer.port());
        QTcpSocket *far = peer.accept();
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
        Peer peer;
        page.link(peer.port());
        QTcpSocket *far = peer.accept();
        QVERIFY(far);
        page.ui()->Text_Tcpip_Receive->setText(QStringLiteral("!01ABC\r"));

        page.h.click(QStringLiteral("Com_Tcpip_Clear"));

        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
        page.h.click(QStringLiteral("Com_Tcpip_Send"));
        QCOMPARE(Peer::take(far, 1), QByteArray("\r"));
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
