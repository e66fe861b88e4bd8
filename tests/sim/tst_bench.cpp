// The bench on its pseudo-terminal, reached the way the window reaches it: the program's own
// serial port and command exchange. Faults on demand, the configuration write taking effect, and
// the Modbus RTU reply checked against libmodbus as an outside peer.
#include "link/checksum.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/exchange.h"
#include "link/portresolver.h"
#include "link/rtuframe.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "sim/simbench.h"
#include "support/pty.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#ifdef MIRVEL_HAVE_LIBMODBUS
#include <fcntl.h>
#include <modbus.h>
#include <unistd.h>
#endif

namespace {

constexpr int kCom = 11;

QString linkOf(int com)
{
    return PortResolver::linkFolder() + QStringLiteral("/COM%1").arg(com);
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
    }

    void cleanup()
    {
        port.reset();
        bench.reset();
    }

    void linksItsLineAsTheComNumberAndRemovesTheLink()
    {
        const QFileInfo link(linkOf(kCom));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), bench->serial()->slavePath());
        QCOMPARE(PortResolver::resolve(kCom).device, bench->serial()->slavePath());
        bench.reset();
        QVERIFY(!QFileInfo(linkOf(kCom)).isSymLink());
    }

    void nameReplyOverTheProgramsExchange()
    {
        open(9600);
        QCOMPARE(exchange("$01M", false), QStringLiteral("!01QRD-E41\r"));
        QCOMPARE(bench->serial()->lineRate(), 9600);
    }

    void everyModelAnswersAtItsRateAndChecksum_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::newRow("E41") << 9600 << false << "$01F"
                             << "!01E41\r";
        QTest::newRow("E43") << 19200 << true << "$02F"
                             << "!02E432F\r";
        QTest::newRow("E45") << 1200 << false << "$03F"
                             << "!03E45\r";
        QTest::newRow("E47") << 115200 << true << "$04F"
                             << "!04E4735\r";
        QTest::newRow("E82") << 9600 << false << "$05F"
                             << "!05E82M\r";
        QTest::newRow("E82 value") << 9600 << false << "#052"
                                   << "!05+03.0000\r";
        QTest::newRow("E43 counter") << 19200 << true << "#02A"
                                     << "!02002707C\r";
        QTest::newRow("E45 output") << 1200 << false << "#031201"
                                    << "!03\r";
    }
    void everyModelAnswersAtItsRateAndChecksum()
    {
        QFETCH(int, rate);
        QFETCH(bool, checksum);
        QFETCH(QString, command);
        QFETCH(QString, reply);
        open(rate);
        QCOMPARE(exchange(command, checksum), reply);
    }

    void silentAtTheWrongRateOrChecksum_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("checksum");
        QTest::newRow("E41 at 19200") << 19200 << "$01F" << false;
        QTest::newRow("E41 at 4800") << 4800 << "$01F" << false;
        QTest::newRow("E43 without checksum") << 19200 << "$02F" << false;
        QTest::newRow("E43 wrong checksum") << 19200 << "$02F00" << false;
        QTest::newRow("E43 at 9600") << 9600 << "$02F" << true;
        QTest::newRow("E41 is addressed with a checksum") << 9600 << "$01F" << true;
    }
    void silentAtTheWrongRateOrChecksum()
    {
        QFETCH(int, rate);
        QFETCH(QString, command);
        QFETCH(bool, checksum);
        open(rate);
        const QString reply = exchange(command, checksum, 300);
        // A module without checksum takes the two extra characters for a bad command.
        if (QByteArray(QTest::currentDataTag()).contains("E41 is addressed"))
            QCOMPARE(reply, QStringLiteral("?01\r"));
        else
            QCOMPARE(reply, QString());
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
        QCOMPARE(bench->module(0x06)->settings().rate, 19200);
    }

    void outputSwitchShowsInTheStatus()
    {
        open(9600);
        QCOMPARE(exchange("#011301", false), QStringLiteral("!01\r"));
        QCOMPARE(exchange("#01B401", false), QStringLiteral("!01\r"));
        QCOMPARE(exchange("$016", false), QStringLiteral("!01100800\r"));
        QCOMPARE(bench->module(0x01)->outputs(), quint16(0x1008));
    }

    void silenceFault()
    {
        open(9600);
        SimFault fault;
        fault.silent = true;
        fault.address = 0x01;
        bench->bus().setFault(fault);
        QCOMPARE(exchange("$01F", false, 300), QString());
        QCOMPARE(exchange("#011001", false, 300), QString());
        QCOMPARE(bench->module(0x01)->outputs(), quint16(0));  // nothing heard, nothing done
        QCOMPARE(exchange("$05F", false), QStringLiteral("!05E82M\r"));
        bench->bus().clearFault();
        QCOMPARE(exchange("$01F", false), QStringLiteral("!01E41\r"));
    }

    void delayFault()
    {
        open(9600);
        SimFault fault;
        fault.delayMs = 600;
        bench->bus().setFault(fault);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);
        QCOMPARE(exchange("$01F", false, 100), QString());
        QVERIFY(sent.wait(3000));
        QCOMPARE(sent.at(0).at(0).toByteArray(), QByteArray("!01E41\r"));
        // The late reply is thrown away by the next exchange, which waits long enough for its own.
        QCOMPARE(exchange("$01M", false, 3000), QStringLiteral("!01QRD-E41\r"));
    }

    void piecesFault()
    {
        open(9600);
        SimFault fault;
        fault.pieceSize = 2;
        fault.pieceGapMs = 15;
        bench->bus().setFault(fault);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);
        QCOMPARE(exchange("$01M", false, 2000), QStringLiteral("!01QRD-E41\r"));
        QCOMPARE(sent.size(), 6);  // eleven bytes, two at a time
        QCOMPARE(sent.at(0).at(0).toByteArray(), QByteArray("!0"));
    }

    void garbageFault()
    {
        open(9600);
        SimFault fault;
        fault.garbageBytes = 40;
        bench->bus().setFault(fault);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);
        const QString reply = exchange("$01F", false, 2000);
        QVERIFY(reply.endsWith(u'\r'));
        QVERIFY(reply != QStringLiteral("!01E41\r"));
        QCOMPARE(sent.size(), 1);
        const QByteArray bytes = sent.at(0).at(0).toByteArray();
        QCOMPARE(bytes.size(), 41);
        QCOMPARE(bytes.count('\r'), 1);
    }

    void endlessFault()
    {
        open(115200);
        SimFault fault;
        fault.endlessBytes = 3000;
        fault.address = 0x04;
        bench->bus().setFault(fault);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);
        const QString reply = exchange("$04F", true, 100);
        QVERIFY(!reply.contains(u'\r'));
        // The stream ends by itself once its bound is reached, and never holds a carriage return.
        QByteArray all;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                all.clear();
                for (const QList<QVariant> &args : sent)
                    all += args.at(0).toByteArray();
                return all.size() >= 3000;
            }(),
            10000);
        QCOMPARE(all.size(), 3000);
        QVERIFY(!all.contains('\r'));
        QVERIFY(!sent.wait(300));
    }

    void droppedLineHangsUpTheProgramsPortAndComesBack()
    {
        open(9600);
        QSignalSpy lost(port.get(), &CommPort::lineLost);
        bench->serial()->dropLine();
        QVERIFY(lost.wait(3000));
        QVERIFY(!port->portOpen());
        QVERIFY(!QFileInfo(linkOf(kCom)).isSymLink());
        QVERIFY(!bench->serial()->isOpen());

        QVERIFY(bench->serial()->replug());
        QCOMPARE(QFileInfo(linkOf(kCom)).symLinkTarget(), bench->serial()->slavePath());
        port->setPortOpen(true);
        QCOMPARE(exchange("$01F", false), QStringLiteral("!01E41\r"));
    }

    void portClosedAndReopenedKeepsTheLine()
    {
        open(9600);
        QCOMPARE(exchange("$01F", false), QStringLiteral("!01E41\r"));
        port->setPortOpen(false);
        QTest::qWait(50);  // the master side sees nobody for a moment
        port->setPortOpen(true);
        QCOMPARE(exchange("$05F", false), QStringLiteral("!05E82M\r"));
    }

#ifdef MIRVEL_HAVE_LIBMODBUS
    // libmodbus frames the request with its own CRC, the module must accept it; and libmodbus,
    // framing the reply's data bytes, must arrive at the CRC the module sent.
    void rtuIdentificationAgainstLibmodbus_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("scanReply");
        QTest::newRow("E41") << 0x01 << 9600 << "!01E41";
        QTest::newRow("E47") << 0x04 << 115200 << "!04E47";
        QTest::newRow("E82") << 0x05 << 9600 << "!05E82";
    }
    void rtuIdentificationAgainstLibmodbus()
    {
        QFETCH(int, address);
        QFETCH(int, rate);
        QFETCH(QString, scanReply);
        modbus_t *ctx = modbus_new_rtu(qPrintable(bench->serial()->slavePath()), rate, 'N', 8, 1);
        QVERIFY(ctx);
        QVERIFY(modbus_connect(ctx) == 0);
        const int fd = modbus_get_socket(ctx);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

        const uint8_t request[] = {uint8_t(address), 0x46, 0x00, 0x00};
        QVERIFY(modbus_send_raw_request(ctx, request, 4) == 6);
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                char buffer[64];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    reply.append(buffer, n);
                return reply.size() >= 8;
            }(),
            3000);
        modbus_close(ctx);
        modbus_free(ctx);

        QCOMPARE(reply.size(), 8);
        QCOMPARE(RtuFramer::crcOf(reply.left(6)), reply.mid(6));
        QCOMPARE(libmodbusCrc(reply.left(6)), reply.mid(6));
        const QString dump = trimSpaces(hexDump(reply));
        QCOMPARE("!" + midChars(dump, 1, 2) + midChars(dump, 14, 1) + midChars(dump, 16, 2),
                 scanReply);
    }

    void libmodbusRequestAtTheWrongRateGetsNothing()
    {
        modbus_t *ctx = modbus_new_rtu(qPrintable(bench->serial()->slavePath()), 19200, 'N', 8, 1);
        QVERIFY(ctx && modbus_connect(ctx) == 0);
        const uint8_t request[] = {0x01, 0x46, 0x00, 0x00};
        QSignalSpy heard(&bench->bus(), &SimBus::heard);
        QSignalSpy sent(bench->serial(), &SimSerialPort::sent);
        QVERIFY(modbus_send_raw_request(ctx, request, 4) == 6);
        QVERIFY(heard.wait(2000));
        QCOMPARE(heard.at(0).at(1).toInt(), 19200);
        QVERIFY(!sent.wait(200));
        modbus_close(ctx);
        modbus_free(ctx);
    }
#endif

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

#ifdef MIRVEL_HAVE_LIBMODBUS
    // The CRC libmodbus puts on a frame of these bytes: it frames them on a line of its own.
    static QByteArray libmodbusCrc(const QByteArray &data)
    {
        TestPty line;
        modbus_t *ctx = modbus_new_rtu(qPrintable(line.slavePath()), 9600, 'N', 8, 1);
        if (!ctx || modbus_connect(ctx) != 0)
            return QByteArray("no libmodbus line");
        modbus_send_raw_request(ctx, reinterpret_cast<const uint8_t *>(data.constData()),
                                int(data.size()));
        QByteArray framed;
        while (framed.size() < data.size() + 2) {
            const QByteArray more = line.readMaster(1000);
            if (more.isEmpty())
                break;
            framed += more;
        }
        modbus_close(ctx);
        modbus_free(ctx);
        return framed.left(data.size()) == data ? framed.mid(data.size()) : QByteArray("mangled");
    }
#endif

    SteadyClock clock;
    QtEventPump pump;
    std::unique_ptr<SimBench> bench;
    std::unique_ptr<SerialCommPort> port;
};

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
