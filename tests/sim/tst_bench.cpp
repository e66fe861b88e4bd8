// The bench on its pseudo-terminal, reached through the program's own serial port and exchange
// (rates and checksums, the configuration write taking effect, faults, a dropped line), and its
// converter on 127.0.0.1 (both modes, one client at a time, its faults).
#include "link/checksum.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/exchange.h"
#include "link/portresolver.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "sim/simbench.h"
#include "support/pty.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

constexpr int kCom = 11;

QString comLink()
{
    return QFileInfo(PortResolver::linkFolder() + QStringLiteral("/COM%1").arg(kCom))
        .symLinkTarget();
}

QByteArray joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &args : spy)
        all += args.at(0).toByteArray();
    return all;
}

}  // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();  // a private runtime folder for the COM links
        WaitContext::install(&clock, &pump);
    }

    void init()
    {
        bench = std::make_unique<SimBench>();
        bench->addModule({SimModel::E41, 0x01, 9600, false});
        bench->addModule({SimModel::E43, 0x02, 19200, true});
        bench->addModule({SimModel::E45, 0x03, 1200, false});
        bench->addModule({SimModel::E47, 0x04, 115200, true});
        bench->addModule({SimModel::E82, 0x05, 9600, false});
        QString error;
        QVERIFY2(bench->startSerial(kCom, true, &error), qPrintable(error));
        tcpPort = bench->startConverter(0, SimConverter::Mode::Bus, &error);
        QVERIFY2(tcpPort != 0, qPrintable(error));
        QCOMPARE(bench->converter()->address(), QHostAddress(QHostAddress::LocalHost));
    }

    void cleanup()
    {
        port.reset();
        bench.reset();
    }

    // Over the pseudo-terminal and through the converter's bus mode alike.
    void answersOnlyAtItsRateAndChecksum_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");  // empty: silence
        const struct
        {
            const char *name;
            int rate;
            bool checksum;
            const char *command, *reply;
        } rows[] = {
            {"E41 name", 9600, false, "$01M", "!01QRD-E41\r"},
            {"E43", 19200, true, "$02F", "!02E432F\r"},
            {"E45", 1200, false, "$03F", "!03E45\r"},
            {"E47", 115200, true, "$04F", "!04E4735\r"},
            {"E82", 9600, false, "$05F", "!05E82M\r"},
            {"E41 at 19200", 19200, false, "$01F", ""},
            {"E43 at 4800", 4800, true, "$02F", ""},
            {"E43 without checksum", 19200, false, "$02F", ""},
            {"E43 wrong checksum", 19200, false, "$02F00", ""},
            {"no such address", 9600, false, "$06F", ""},
            {"not a command", 9600, false, "@01F", ""},
            // A module without checksum takes the two extra characters for a bad command.
            {"E41 with a checksum", 9600, true, "$01F", "?01\r"},
        };
        for (const auto &row : rows)
            QTest::addRow("%s", row.name)
                << row.rate << row.checksum << QString(row.command) << QString(row.reply);
    }
    void answersOnlyAtItsRateAndChecksum()
    {
        QFETCH(int, rate);
        QFETCH(bool, checksum);
        QFETCH(QString, command);
        QFETCH(QString, reply);
        open(rate);
        QCOMPARE(exchange(command, checksum, reply.isEmpty() ? 300 : 1000), reply);

        // The same through the converter in bus mode, sent as the console sends: the command,
        // and its carriage return a little later.
        bench->converter()->setLineRate(rate);
        QTcpSocket client;
        connectClient(client);
        client.write(command.toLatin1() + (checksum ? asciiChecksum(command).toLatin1() : ""));
        QTest::qWait(50);
        client.write("\r");
        QCOMPARE(readAtLeast(client, reply.size()), reply.toLatin1());
    }

    void configurationWriteTakesEffect()
    {
        open(9600);
        // New address 06, 19200 baud, checksum on.
        QCOMPARE(exchange("%0106400740", false), QStringLiteral("!06\r"));
        QCOMPARE(exchange("$01F", false, 300), QString());
        port->setPortOpen(false);
        port->setSettings(QStringLiteral(" 19200,n,8,1"));
        port->setPortOpen(true);
        QCOMPARE(exchange("$06F", false, 300), QString());
        QCOMPARE(exchange("$06F", true), QStringLiteral("!06E41") + asciiChecksum("!06E41") + '\r');
        // And back to no checksum, keeping address and rate.
        QCOMPARE(exchange("%0606400700", true),
                 QStringLiteral("!06") + asciiChecksum("!06") + '\r');
        QCOMPARE(exchange("$06F", false), QStringLiteral("!06E41\r"));
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reply");  // what the exchange gets; null: not checked
        QTest::addColumn<int>("sends");      // how many pieces leave; -1: not checked
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("returns");  // carriage returns among them
        QTest::newRow("silent") << "silent"
                                << "" << 0 << 0 << 0;
        QTest::newRow("delay") << "delay=600"
                               << "" << 1 << 4 << 1;
        QTest::newRow("pieces") << "pieces=2,15"
                                << "!01\r" << 2 << 4 << 1;
        QTest::newRow("garbage") << "garbage=40" << QString() << 1 << 41 << 1;
        QTest::newRow("endless") << "endless=1000" << QString() << -1 << 1000 << 0;
    }
    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reply);
        QFETCH(int, sends);
        QFETCH(int, bytes);
        QFETCH(int, returns);
        open(9600);
        SimFault f;
        QVERIFY(simParseFault(fault, f));
        f.address = 0x01;
        bench->bus().setFault(f);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);

        const QString got = exchange("#011001", false, 300);

        if (!reply.isNull())
            QCOMPARE(got, reply);
        else
            QCOMPARE(got.contains(u'\r'), returns > 0);
        QTRY_VERIFY_WITH_TIMEOUT(joined(sent).size() >= bytes, 5000);
        QVERIFY(!sent.wait(300));  // and then the line is quiet
        const QByteArray all = joined(sent);
        QCOMPARE(all.size(), bytes);
        QCOMPARE(all.count('\r'), returns);
        if (sends >= 0)
            QCOMPARE(sent.size(), sends);
        // A silent module hears nothing, so does nothing; the others act on what they heard.
        QCOMPARE(bench->module(0x01)->outputs(), quint16(f.silent ? 0 : 1));
        QCOMPARE(exchange("$05F", false), QStringLiteral("!05E82M\r"));
        bench->bus().clearFault();
        QCOMPARE(exchange("$01F", false), QStringLiteral("!01E41\r"));
    }

    void droppedLineHangsUpTheProgramsPortAndComesBack()
    {
        QCOMPARE(comLink(), bench->serial()->slavePath());
        open(9600);
        QSignalSpy lost(port.get(), &CommPort::lineLost);
        bench->serial()->dropLine();
        QVERIFY(lost.wait(3000));
        QVERIFY(!port->portOpen());
        QCOMPARE(comLink(), QString());

        QVERIFY(bench->serial()->replug());
        QCOMPARE(comLink(), bench->serial()->slavePath());
        port->setPortOpen(true);
        QCOMPARE(exchange("$01F", false), QStringLiteral("!01E41\r"));
        bench.reset();
        QCOMPARE(comLink(), QString());
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

    void refusesOrNeverAcceptsUntilResumed_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("refuse") << false;
        QTest::newRow("never accept") << true;
    }
    void refusesOrNeverAcceptsUntilResumed()
    {
        QFETCH(bool, silent);
        QString error;
        if (silent)
            QVERIFY2(bench->converter()->neverAccept(&error), qPrintable(error));
        else
            bench->converter()->refuse();
        QTcpSocket client;
        QSignalSpy failed(&client, &QTcpSocket::errorOccurred);
        client.connectToHost(QHostAddress::LocalHost, tcpPort);
        QCOMPARE(failed.wait(silent ? 500 : 2000), !silent);
        QCOMPARE(client.state(),
                 silent ? QAbstractSocket::ConnectingState : QAbstractSocket::UnconnectedState);
        if (!silent)
            QCOMPARE(client.error(), QAbstractSocket::ConnectionRefusedError);
        client.abort();
        QVERIFY(bench->converter()->resume());
        QTcpSocket again;
        connectClient(again);
    }

    void floodsExactlyWhatWasAskedThenHangsUp()
    {
        QTcpSocket client;
        connectClient(client);
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        bench->converter()->flood(100000);
        const QByteArray bytes = readAtLeast(client, 100000);
        QCOMPARE(bytes.size(), 100000);
        QVERIFY(!bytes.contains('\r'));
        QTest::qWait(200);
        QCOMPARE(client.bytesAvailable(), 0);
        bench->converter()->hangUp();
        QVERIFY(gone.wait(2000));
    }

    void theNewestClientWins()
    {
        QTcpSocket first;
        connectClient(first);
        QSignalSpy firstGone(&first, &QTcpSocket::disconnected);
        QTcpSocket second;
        connectClient(second);
        QTRY_COMPARE(firstGone.count(), 1);
        second.write("$01F\r");
        QCOMPARE(readAtLeast(second, 7), QByteArray("!01E41\r"));
    }

private:
    void open(int rate)
    {
        port = std::make_unique<SerialCommPort>();
        port->setCommPort(kCom);
        port->setSettings(QStringLiteral("%1,n,8,1").arg(rate, 6));
        port->setPortOpen(true);
    }

    QString exchange(const QString &command, bool checksum, qint32 timeout = 1000)
    {
        QString text = command;
        return CommandExchange(*port).Response(text, checksum, timeout);
    }

    // The converter runs in this thread: every wait here runs the event loop.
    void connectClient(QTcpSocket &client)
    {
        client.connectToHost(QHostAddress::LocalHost, tcpPort);
        QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
        QTRY_VERIFY(bench->converter()->hasClient());
    }

    // With a count of 0: whatever comes before the line has been quiet for a while.
    static QByteArray readAtLeast(QTcpSocket &client, qsizetype count)
    {
        QByteArray bytes;
        QSignalSpy ready(&client, &QTcpSocket::readyRead);
        for (;;) {
            bytes += client.readAll();
            if ((count > 0 && bytes.size() >= count) || !ready.wait(count > 0 ? 2000 : 300))
                break;
        }
        return bytes + client.readAll();
    }

    SteadyClock clock;
    QtEventPump pump;
    std::unique_ptr<SimBench> bench;
    std::unique_ptr<SerialCommPort> port;
    quint16 tcpPort = 0;
};

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
