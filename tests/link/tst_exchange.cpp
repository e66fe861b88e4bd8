// The ASCII checksum, the command exchange and the wait, on a fake port and a fake clock.
#include "link/checksum.h"
#include "link/errors.h"
#include "link/exchange.h"
#include "link/waits.h"
#include "support/fakes.h"

#include <QTest>

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_exchange.reset();
        time = std::make_unique<FakeTime>();
        port = std::make_unique<FakeCommPort>(time.get());
        WaitContext::install(time.get(), time.get());
        port->setPortOpen(true);
    }

    void checksum_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("sum");
        QTest::newRow("name query") << "$01M" << "D2";
        QTest::newRow("empty command") << "" << "0";
        QTest::newRow("one blank") << " " << "20";
        QTest::newRow("low byte only") << "$01F" << "CB";
        QTest::newRow("leading zero of the low byte kept") << "!!!!!!!!" << "08";
        QTest::newRow("Latin-1 letter") << QString::fromLatin1("\xE9") << "E9";
    }
    void checksum()
    {
        QFETCH(QString, command);
        QFETCH(QString, sum);
        QCOMPARE(asciiChecksum(command), sum);
    }

    void checksumRefusesWhatCannotBeSent_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("sum above 32767") << QString(400, u'Z');
        QTest::newRow("character without a byte") << QString::fromUtf8("$01M\u20AC");
    }
    void checksumRefusesWhatCannotBeSent()
    {
        QFETCH(QString, command);
        QVERIFY_THROWS_EXCEPTION(FormatError, asciiChecksum(command));
        // And nothing reaches the line.
        QString sent = command;
        QVERIFY_THROWS_EXCEPTION(FormatError, exchange().Response(sent, true, 100));
        QVERIFY(port->writes.isEmpty());
        QCOMPARE(sent, command);
    }

    void written_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("withSum");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("callerAfter");
        QTest::newRow("with checksum") << "$01M" << true << QByteArray("$01MD2\r") << "$01MD2";
        QTest::newRow("without checksum") << "$01M" << false << QByteArray("$01M\r") << "$01M";
        QTest::newRow("lower case and blanks, with checksum")
            << " $01m " << true << QByteArray("$01MD2\r") << "$01MD2";
        QTest::newRow("lower case and blanks, without checksum")
            << " $01m " << false << QByteArray("$01m\r") << " $01m ";
        QTest::newRow("empty with checksum") << "" << true << QByteArray("0\r") << "0";
        QTest::newRow("empty without checksum") << "" << false << QByteArray("\r") << "";
    }
    void written()
    {
        QFETCH(QString, command);
        QFETCH(bool, withSum);
        QFETCH(QByteArray, line);
        QFETCH(QString, callerAfter);
        QString sendData = command;
        exchange().Response(sendData, withSum, 50);
        QCOMPARE(port->writes.size(), 1);
        QCOMPARE(port->writes.first().bytes, line);
        QCOMPARE(sendData, callerAfter);
    }

    void reply_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");  // arriving 10 ms apart
        QTest::addColumn<QString>("reply");
        QTest::newRow("one piece") << QList<QByteArray>{"!01E41\r"} << "!01E41\r";
        QTest::newRow("two pieces joined") << QList<QByteArray>{"!01", "E41\r"} << "!01E41\r";
        QTest::newRow("first piece ends in a blank")
            << QList<QByteArray>{"!01 ", "E41\r"} << "!01E41\r";
        QTest::newRow("leading blanks dropped") << QList<QByteArray>{"   !01E41\r"} << "!01E41\r";
        QTest::newRow("text after the carriage return kept")
            << QList<QByteArray>{"!01\rXY"} << "!01\rXY";
        QTest::newRow("no reply") << QList<QByteArray>{} << "";
    }
    void reply()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, reply);
        for (int i = 0; i < pieces.size(); ++i) {
            const QByteArray piece = pieces.at(i);
            time->at(quint32(10 * (i + 1)), [this, piece] { port->receive(piece); });
        }
        const quint32 start = time->tickCount();
        QString cmd = QStringLiteral("$01F");
        QCOMPARE(exchange().Response(cmd, false, 200), reply);
        if (pieces.isEmpty())
            QCOMPARE(time->tickCount() - start, 200u);  // the whole time-out, on the fake clock
        else
            QVERIFY(time->tickCount() - start < 200u);
    }

    void endlessReplyIsBoundedAndEndsAtTheTimeOut()
    {
        // 1 MB without a carriage return, arriving in 4 KB pieces.
        for (int i = 0; i < 256; ++i)
            time->at(quint32(1 + i % 150), [this] { port->receive(QByteArray(4096, 'x')); });
        QString cmd = QStringLiteral("$01M");
        const quint32 start = time->tickCount();
        const QString reply = exchange().Response(cmd, false, 200);
        QCOMPARE(time->tickCount() - start, 200u);
        QCOMPARE(reply.size(), 64 * 1024);
    }

    void replyArrivingWhileEventsArePumpedIsNotMissed()
    {
        // The reply reaches the port during the pump that follows the first read: the exchange
        // must read again instead of sleeping until its time-out.
        port->responder = [](const QByteArray &, const QString &) { return QByteArray("!01\r"); };
        port->replyDelay = 0;
        QString cmd = QStringLiteral("$01M");
        const quint32 start = time->tickCount();
        QCOMPARE(exchange().Response(cmd, false, 200), QStringLiteral("!01\r"));
        QCOMPARE(time->tickCount() - start, 0u);
    }

    void inputWaitingBeforeTheCallIsDropped()
    {
        port->receive("!01late\r");
        QString cmd = QStringLiteral("$01M");
        QCOMPARE(exchange().Response(cmd, false, 100), QString());
    }

    void portReadAtLeastOnce_data()
    {
        QTest::addColumn<int>("timeout");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -5;
    }
    void portReadAtLeastOnce()
    {
        QFETCH(int, timeout);
        port->responder = [](const QByteArray &, const QString &) { return QByteArray("!01\r"); };
        port->replyDelay = 0;
        QString cmd = QStringLiteral("$01M");
        // The reply is scheduled "now": the single read after the first pump finds nothing yet,
        // but the read happens and the exchange returns without blocking.
        const int waitsBefore = time->waits;
        exchange().Response(cmd, false, timeout);
        QCOMPARE(time->waits, waitsBefore);
        QVERIFY(time->pumps >= 1);
    }

    void wrapNeitherEndsNorLengthens_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::newRow("just before the wrap") << quint32(0xFFFFFFFFu - 20);
        QTest::newRow("at the wrap") << quint32(0xFFFFFFFFu);
        QTest::newRow("far from it") << quint32(5000);
    }
    void wrapNeitherEndsNorLengthens()
    {
        QFETCH(quint32, start);
        time->set(start);
        QString cmd = QStringLiteral("$01M");
        quint64 before = time->tickCount();
        exchange().Response(cmd, false, 100);
        QCOMPARE(quint32(time->tickCount() - quint32(before)), 100u);

        before = time->tickCount();
        Delay(100);
        QCOMPARE(quint32(time->tickCount() - quint32(before)), 100u);
    }

    void delayPumpsAtLeastOnce()
    {
        const int pumps = time->pumps;
        Delay(0);
        QCOMPARE(time->pumps, pumps + 1);
        Delay(-3);
        QCOMPARE(time->pumps, pumps + 2);
    }

    void closedPortThrowsAndWritesNothing()
    {
        port->setPortOpen(false);
        QString cmd = QStringLiteral("$01M");
        QVERIFY_THROWS_EXCEPTION(CommError, exchange().Response(cmd, true, 100));
        QVERIFY(port->writes.isEmpty());
    }

    void portLostDuringTheWaitReadsAsSilence()
    {
        time->at(20, [this] { port->hangUp(); });
        QString cmd = QStringLiteral("$01M");
        QCOMPARE(exchange().Response(cmd, false, 100), QString());
    }

private:
    CommandExchange &exchange()
    {
        if (!m_exchange)
            m_exchange = std::make_unique<CommandExchange>(*port);
        return *m_exchange;
    }

    std::unique_ptr<FakeTime> time;
    std::unique_ptr<FakeCommPort> port;
    std::unique_ptr<CommandExchange> m_exchange;
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
