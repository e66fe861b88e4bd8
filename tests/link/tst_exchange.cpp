// The ASCII checksum (through what reaches the line), the command exchange and the wait, on a fake
// port and a fake clock.
#include "link/checksum.h"
#include "link/errors.h"
#include "link/exchange.h"
#include "link/waits.h"
#include "support/fakes.h"

#include <QTest>

enum Refusal { Sent, BadText, ClosedPort };
Q_DECLARE_METATYPE(Refusal)

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        exchange.reset();
        port.reset();
        time = std::make_unique<FakeTime>();
        port = std::make_unique<FakeCommPort>(time.get());
        exchange = std::make_unique<CommandExchange>(*port);
        WaitContext::install(time.get(), time.get());
        port->setPortOpen(true);
    }

    void written_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("withSum");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("callerAfter");
        auto row = [](const char *name, const QString &command, bool withSum, const char *line,
                      const QString &after) {
            QTest::newRow(name) << command << withSum << Sent << QByteArray(line) << after;
        };
        row("with checksum", "$01M", true, "$01MD2\r", "$01MD2");
        row("without checksum", "$01M", false, "$01M\r", "$01M");
        row("lower case and blanks, with checksum", " $01m ", true, "$01MD2\r", "$01MD2");
        row("lower case and blanks, without checksum", " $01m ", false, "$01m\r", " $01m ");
        row("empty with checksum", "", true, "0\r", "0");
        row("empty without checksum", "", false, "\r", "");
        row("sum's low byte, leading zero kept", "!!!!!!!!", true, "!!!!!!!!08\r", "!!!!!!!!08");
        const QString e = QString::fromLatin1("\351");  // a Latin-1 letter, sent as one byte
        row("Latin-1 letter", e, true, "\351E9\r", e + "E9");
        const QString tooLong(400, u'Z');
        const QString euro = QString::fromUtf8("$01M\u20AC");
        QTest::newRow("sum above 32767") << tooLong << true << BadText << QByteArray() << tooLong;
        QTest::newRow("character without a byte")
            << euro << true << BadText << QByteArray() << euro;
        QTest::newRow("closed port") << "$01M" << true << ClosedPort << QByteArray() << "$01M";
    }
    void written()
    {
        QFETCH(QString, command);
        QFETCH(bool, withSum);
        QFETCH(Refusal, refusal);
        QFETCH(QByteArray, line);
        QFETCH(QString, callerAfter);
        QString sendData = command;
        if (refusal == BadText) {
            QVERIFY_THROWS_EXCEPTION(FormatError, asciiChecksum(command));
            QVERIFY_THROWS_EXCEPTION(FormatError, exchange->Response(sendData, withSum, 50));
        } else if (refusal == ClosedPort) {
            port->setPortOpen(false);
            QVERIFY_THROWS_EXCEPTION(CommError, exchange->Response(sendData, withSum, 50));
        } else {
            exchange->Response(sendData, withSum, 50);
        }
        QCOMPARE(port->writes.size(), line.isEmpty() ? 0 : 1);
        if (!line.isEmpty())
            QCOMPARE(port->writes.first().bytes, line);
        QCOMPARE(sendData, callerAfter);
    }

    void reply_data()
    {
        QTest::addColumn<QByteArray>("before");  // waiting before the call
        // Arriving 10 ms apart; a null piece: the line hangs up instead.
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("reply");
        using P = QList<QByteArray>;
        const QByteArray none;
        QTest::newRow("two pieces joined") << none << P{"!01", "E41\r"} << "!01E41\r";
        QTest::newRow("first piece ends in a blank") << none << P{"!01 ", "E41\r"} << "!01E41\r";
        QTest::newRow("leading blanks dropped") << none << P{"   !01E41\r"} << "!01E41\r";
        QTest::newRow("text after the carriage return kept") << none << P{"!01\rXY"} << "!01\rXY";
        QTest::newRow("no reply") << none << P{} << "";
        QTest::newRow("input waiting before the call dropped")
            << QByteArray("!01late\r") << P{} << "";
        QTest::newRow("line lost during the wait") << none << P{QByteArray()} << "";
        QTest::newRow("endless reply bounded")
            << none << P(19, QByteArray(4096, 'x')) << QString(64 * 1024, u'x');
    }
    void reply()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, reply);
        port->receive(before);
        for (int i = 0; i < pieces.size(); ++i)
            time->at(quint32(10 * (i + 1)), [this, piece = pieces.at(i)] {
                piece.isNull() ? port->hangUp() : port->receive(piece);
            });
        const quint32 start = time->tickCount();
        QString cmd = QStringLiteral("$01F");
        QCOMPARE(exchange->Response(cmd, false, 200), reply);
        // Without a carriage return the whole time-out passes, on the fake clock.
        if (reply.contains(u'\r'))
            QVERIFY(time->tickCount() - start < 200u);
        else
            QCOMPARE(time->tickCount() - start, 200u);
    }

    void replyArrivingWhileEventsArePumpedIsNotMissed()
    {
        port->responder = [](const QByteArray &, const QString &) { return QByteArray("!01\r"); };
        port->replyDelay = 0;
        QString cmd = QStringLiteral("$01M");
        const quint32 start = time->tickCount();
        QCOMPARE(exchange->Response(cmd, false, 200), QStringLiteral("!01\r"));
        QCOMPARE(time->tickCount() - start, 0u);
    }

    // Both waits last exactly their time on the tick counter, across its wrap too; with 0 or less
    // they pump once and return without blocking.
    void waits_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<int>("ms");
        QTest::newRow("just before the wrap") << quint32(0xFFFFFFFFu - 20) << 100;
        QTest::newRow("at the wrap") << quint32(0xFFFFFFFFu) << 100;
        QTest::newRow("zero") << quint32(5000) << 0;
        QTest::newRow("negative") << quint32(5000) << -5;
    }
    void waits()
    {
        QFETCH(quint32, start);
        QFETCH(int, ms);
        time->set(start);
        const quint32 elapsed = quint32(qMax(ms, 0));
        QString cmd = QStringLiteral("$01M");
        const int waits = time->waits;
        int pumps = time->pumps;
        exchange->Response(cmd, false, ms);
        QCOMPARE(time->tickCount() - start, elapsed);
        QVERIFY(time->pumps > pumps);

        time->set(start);
        pumps = time->pumps;
        Delay(ms);
        QCOMPARE(time->tickCount() - start, elapsed);
        if (ms <= 0) {
            QCOMPARE(time->pumps, pumps + 1);
            QCOMPARE(time->waits, waits);
        }
    }

private:
    std::unique_ptr<FakeTime> time;
    std::unique_ptr<FakeCommPort> port;
    std::unique_ptr<CommandExchange> exchange;
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
