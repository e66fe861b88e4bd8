// The simulated converter on 127.0.0.1: bus mode, loop mode, one client at a time, and its
// faults (refuse, hang up, flood, never accept).
#include "sim/simbench.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        bench = std::make_unique<SimBench>();
        bench->addModule({SimModel::E41, 0x01, 9600, false});
        bench->addModule({SimModel::E43, 0x02, 19200, true});
        QString error;
        port = bench->startConverter(0, SimConverter::Mode::Bus, &error);
        QVERIFY2(port != 0, qPrintable(error));
    }

    void cleanup() { bench.reset(); }

    void listensOnLoopbackOnly()
    {
        QCOMPARE(bench->converter()->address(), QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(bench->converter()->port(), port);
    }

    void busModeCarriesCommandsAtItsRate_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("name at 9600") << 9600 << QByteArray("$01M") << QByteArray("!01QRD-E41\r");
        QTest::newRow("checksummed at 19200")
            << 19200 << QByteArray("$02FCC") << QByteArray("!02E432F\r");
        QTest::newRow("wrong rate") << 19200 << QByteArray("$01M") << QByteArray();
    }
    void busModeCarriesCommandsAtItsRate()
    {
        QFETCH(int, rate);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        bench->converter()->setLineRate(rate);
        QTcpSocket client;
        connectClient(client);
        // As the console sends: the command, and its carriage return a little later.
        client.write(command);
        QTest::qWait(50);
        client.write("\r");
        if (reply.isEmpty()) {
            QTest::qWait(300);
            QCOMPARE(client.bytesAvailable(), 0);
            return;
        }
        QCOMPARE(readAtLeast(client, reply.size()), reply);
    }

    void loopModeEchoesEveryByte()
    {
        bench->converter()->setMode(SimConverter::Mode::Loop);
        QTcpSocket client;
        connectClient(client);
        const QByteArray text("TCP/IP To RS232/422/485 Isolated Converter!$01M\r");
        for (char c : text)
            client.write(&c, 1);
        QCOMPARE(readAtLeast(client, text.size()), text);
    }

    void refuseAndResume()
    {
        bench->converter()->refuse();
        QTcpSocket client;
        QSignalSpy failed(&client, &QTcpSocket::errorOccurred);
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(failed.wait(2000));
        QCOMPARE(client.error(), QAbstractSocket::ConnectionRefusedError);
        QVERIFY(bench->converter()->resume());
        QTcpSocket again;
        connectClient(again);
    }

    void hangUpClosesTheClient()
    {
        QTcpSocket client;
        connectClient(client);
        QTRY_VERIFY(bench->converter()->hasClient());
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        bench->converter()->hangUp();
        QVERIFY(gone.wait(2000));
    }

    void floodSendsExactlyWhatWasAsked()
    {
        QTcpSocket client;
        connectClient(client);
        QTRY_VERIFY(bench->converter()->hasClient());
        bench->converter()->flood(100000);
        const QByteArray bytes = readAtLeast(client, 100000);
        QCOMPARE(bytes.size(), 100000);
        QVERIFY(!bytes.contains('\r'));
        QTest::qWait(200);
        QCOMPARE(client.bytesAvailable(), 0);
    }

    void neverAcceptLeavesTheClientConnecting()
    {
        QString error;
        QVERIFY2(bench->converter()->neverAccept(&error), qPrintable(error));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QTest::qWait(500);
        QCOMPARE(client.state(), QAbstractSocket::ConnectingState);
        client.abort();
        QVERIFY(bench->converter()->resume());
        QTcpSocket again;
        connectClient(again);
    }

    void theNewestClientWins()
    {
        QTcpSocket first;
        connectClient(first);
        QTRY_VERIFY(bench->converter()->hasClient());
        QSignalSpy firstGone(&first, &QTcpSocket::disconnected);
        QTcpSocket second;
        connectClient(second);
        QTRY_COMPARE(firstGone.count(), 1);
        second.write("$01F\r");
        QCOMPARE(readAtLeast(second, 7), QByteArray("!01E41\r"));
    }

private:
    void connectClient(QTcpSocket &client)
    {
        // The converter runs in this thread: every wait here runs the event loop.
        client.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
    }

    static QByteArray readAtLeast(QTcpSocket &client, qsizetype count)
    {
        QByteArray bytes;
        QSignalSpy ready(&client, &QTcpSocket::readyRead);
        for (;;) {
            bytes += client.readAll();
            if (bytes.size() >= count || !ready.wait(2000))
                break;
        }
        return bytes + client.readAll();
    }

    std::unique_ptr<SimBench> bench;
    quint16 port = 0;
};

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
