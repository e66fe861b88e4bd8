// The simulator judged with nothing of the program: outside vectors, libmodbus, mirvel-sim itself.
#include "sim/simbench.h"
#include "sim/simwire.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#ifdef MIRVEL_HAVE_LIBMODBUS
#include <modbus.h>
#endif

namespace {

// A set-up (a module, a fault or a converter mode), a rate, commands and the reply; RTU in hex.
struct Row
{
    const char *name, *setup;
    int rate;
    const char *commands, *reply;
};

QByteArray joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &args : spy)
        all += args.at(0).toByteArray();
    return all;
}

// The reply to the last of the blank-separated commands; "" for none. RTU frames are in hex.
QByteArray ask(SimBus &bus, const QByteArray &commands, int rate)
{
    const bool rtu = commands.at(0) == '0';
    std::optional<SimBus::Answer> answer;
    for (const QByteArray &c : commands.split(' '))
        answer = rtu ? bus.answerRtu(QByteArray::fromHex(c), rate) : bus.answerAscii(c, rate);
    const QByteArray reply = answer ? answer->reply.bytes : QByteArray();
    return rtu ? reply.toHex().toUpper() : reply;
}

}  // namespace

Q_DECLARE_METATYPE(Row)

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        bench = std::make_unique<SimBench>();
        bench->addModule({SimModel::E41, 0x01, 9600, false});
        bench->addModule({SimModel::E43, 0x02, 19200, false});
        QVERIFY(bench->startSerial(11) && bench->startConverter() != 0);
    }

    void checksumAndCrc_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("checksum");
        QTest::addColumn<QByteArray>("crc");  // low byte first
        const char *rows[][4] = {
            {"$01M", "2430314D", "D2", "DF7E"},
            {"read register", "010300000001", "05", "840A"},
            {"identification", "01460000", "47", "E00D"},
            {"nothing", "", "00", "FFFF"},
            {"E82 reply", "054600020E82", "DD", "AC40"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QByteArray::fromHex(row[1]) << QByteArray(row[2])
                                  << QByteArray(row[3]);
    }
    void checksumAndCrc()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, checksum);
        QFETCH(QByteArray, crc);
        QCOMPARE(simAsciiChecksum(data), checksum);
        QCOMPARE(simWithCrc(data).mid(data.size()).toHex().toUpper(), crc);
#ifdef MIRVEL_HAVE_LIBMODBUS
        if (data.size() < 2)
            return;  // libmodbus frames no fewer bytes; it frames the rest on the simulator's line
        SimBus bus;
        SimSerialPort line(bus);
        QVERIFY(line.open());
        QSignalSpy heard(&line, &SimSerialPort::received);
        modbus_t *ctx = modbus_new_rtu(qPrintable(line.slavePath()), 9600, 'N', 8, 1);
        QVERIFY(ctx && modbus_connect(ctx) == 0);
        modbus_send_raw_request(ctx, reinterpret_cast<const uint8_t *>(data.data()), data.size());
        QTRY_COMPARE(joined(heard).size(), data.size() + 2);
        modbus_close(ctx);
        modbus_free(ctx);
        QCOMPARE(joined(heard), simWithCrc(data));
#endif
    }

    void answers_data()
    {
        addRows({
            {"identification, address in lower case", "E41:AB:9600", 9600, "$abF", "!ABE41\r"},
            {"analog identification", "E82:05:9600", 9600, "$05F", "!05E82M\r"},
            {"name, checksum in lower case", "E43:0A:19200:chk", 19200, "$0AMe2", "!0AQRD-E4352\r"},
            {"wrong checksum", "E43:0A:19200:chk", 19200, "$0AFDC", ""},
            {"checksum to a module without", "E41:01:9600", 9600, "$01FCB", "?01\r"},
            {"another rate", "E41:01:9600", 19200, "$01F", ""},
            {"16 outputs", "E41:01:9600", 9600, "#011301 #01B401 $016", "!01100800\r"},
            {"8 outputs", "E47:04:1200", 1200, "#041001 #041701 #041700 $046", "!04010000\r"},
            {"output the model lacks", "E45:03:9600", 9600, "#031401", "?03\r"},
            {"counter", "E45:03:9600", 9600, "#033", "!0300321\r"},
            {"analog, millivolts", "E82:07:9600:nochk:0C:0", 9600, "#073", "!07-260.000\r"},
            {"configuration read", "E82:05:9600:chk:09:1", 9600, "$052BB", "!05090641BA\r"},
            {"unknown configuration", "E41:01:9600", 9600, "%0105400B00", "?01\r"},
            {"rtu E82, checksum on", "E82:05:4800:chk", 4800, "05460000E13D", "054600020E82AC40"},
            {"rtu, wrong CRC", "E41:01:9600", 9600, "01460000E00C", ""},
        });
    }
    void answers()
    {
        QFETCH(Row, row);
        SimBus bus;
        bus.addModule(simParseModule(QString::fromLatin1(row.setup)).value());
        QCOMPARE(ask(bus, row.commands, row.rate), QByteArray(row.reply));
    }

    void configurationWriteTakesEffect()
    {
        SimBus bus;
        bus.addModule({SimModel::E41, 0x01, 9600, false});
        SimLine line(bus);
        QSignalSpy sent(&line, &SimLine::transmit);
        line.receive("%0106400740\r", 9600);  // 06, 19200, checksum: replied at the old settings
        QTRY_COMPARE(joined(sent), QByteArray("!06\r"));
        QTRY_VERIFY(bus.module(0x06));
        QCOMPARE(ask(bus, "$01F", 9600) + ask(bus, "$06F", 19200), QByteArray());
        QCOMPARE(ask(bus, "$06FD0", 19200), QByteArray("!06E4131\r"));
    }

    // Module 01 is hit; at 19200 it is a module with checksum. Null reply: random bytes.
    void faults_data()
    {
        addRows({
            {"silent", "silent", 9600, "#011001\r", ""},
            {"delay", "delay=3000", 9600, "#011001\r", "!01\r"},
            {"pieces", "pieces=2,0", 9600, "#011001\r", "!01\r"},
            {"garbage", "garbage=40", 9600, "#011001\r", nullptr},
            {"endless", "endless=1000", 9600, "#011001\r", nullptr},
            {"badsum", "badsum", 9600, "#011001\r", "!0183\r"},
            {"badsum, checksum on", "badsum", 19200, "#01100146\r", "!0183\r"},
            {"badcrc", "badcrc", 9600, "01460000E00D", "014600020E411295"},
            {"exception", "exception=0B", 9600, "01460000E00D", "01C60B3267"},
        });
    }
    void faults()
    {
        QFETCH(Row, row);
        SimBus bus;
        SimModule &plain = bus.addModule({SimModel::E41, 0x01, 9600, false});
        SimModule &summed = bus.addModule({SimModel::E47, 0x01, 19200, true});
        bus.addModule({SimModel::E43, 0x02, 9600, false});
        SimFault f;
        QVERIFY(simParseFault(QString::fromLatin1(row.setup), f));
        f.address = 0x01;
        bus.setFault(f);
        SimLine line(bus), other(bus);
        QSignalSpy sent(&line, &SimLine::transmit), elsewhere(&other, &SimLine::transmit);
        const bool rtu = row.commands[0] != '#';
        line.receive(rtu ? QByteArray::fromHex(row.commands) : QByteArray(row.commands), row.rate);
        other.receive("$02F\r", 9600);  // asked later, answered first when 01's reply is held
        QVERIFY(elsewhere.wait(2500) && (f.delayMs == 0 || sent.isEmpty()));
        const QByteArray reply = rtu ? QByteArray::fromHex(row.reply) : QByteArray(row.reply);
        const int random = f.garbageBytes + (f.garbageBytes > 0) + f.endlessBytes;
        QTRY_COMPARE_WITH_TIMEOUT(joined(sent).size(), row.reply ? reply.size() : random, 9000);
        const QByteArray all = joined(sent);  // garbage ends in its only CR, a stream has none
        QVERIFY(row.reply ? all == reply
                          : all.count('\r') + all.endsWith('\r') == 2 * (f.garbageBytes > 0));
        QVERIFY(f.pieceSize == 0 || sent.size() == 2);
        // A silent module heard nothing; the others act on what they heard.
        QCOMPARE((row.rate == 9600 ? plain : summed).outputs(), quint16(!rtu && !f.silent));
        sent.clear();  // replies leave in order: nothing of module 01's is to come after this
        line.receive("$02F\r", 9600);
        QTRY_COMPARE(joined(sent), QByteArray("!02E43\r"));
    }

    void linkFolderFallsBackOnTheTemporaryFolder()
    {
        const QByteArray user = qgetenv("USER");
        qputenv("XDG_RUNTIME_DIR", "");  // empty counts as unset
        qputenv("USER", "ann");
        const QString withUser = simLinkFolder();
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("USER");
        const QString withoutUser = simLinkFolder();
        user.isNull() ? qunsetenv("USER") : qputenv("USER", user);  // init() resets the rest
        QCOMPARE(withUser, QDir::tempPath() + "/runtime-ann/mirvel");
        QCOMPARE(withoutUser, QDir::tempPath() + "/runtime-user/mirvel");
    }

    // The converter set up as the command line does; "|" parts what reaches it at once.
    void converter_data()
    {
        addRows({
            {"bus, at its rate", "bus", 19200, "$01F\r$0|2F\r", "!02E43\r"},
            {"drop every third", "loop-drop=3", 19200, "01234|56789", "0134679"},
            {"corrupt every third", "loop-corrupt=3", 19200, "01~3|45~7\r", "01#344~7#"},
        });
    }
    void converter()
    {
        QFETCH(Row, row);
        const QList<QByteArray> setup = QByteArray(row.setup).split('=');
        SimConverter &converter = *bench->converter();
        converter.setMode(setup[0] == "bus" ? SimConverter::Mode::Bus : SimConverter::Mode::Loop);
        converter.setLineRate(row.rate);
        converter.setLoopDrop(setup[0] == "loop-drop" ? setup[1].toInt() : 0);
        converter.setLoopCorrupt(setup[0] == "loop-corrupt" ? setup[1].toInt() : 0);
        QTcpSocket client;
        connectClient(client);
        QSignalSpy heard(&converter, &SimConverter::received);
        for (const QByteArray &piece : QByteArray(row.commands).split('|')) {
            client.write(piece);
            QTRY_COMPARE(heard.isEmpty() ? QByteArray() : heard.last().at(0).toByteArray(), piece);
        }
        QByteArray got;
        QTRY_COMPARE((got += client.readAll()), QByteArray(row.reply));
    }

    void converterRefusesOrNeverAcceptsUntilResumed()
    {
        SimConverter &converter = *bench->converter();
        QTcpSocket client;
        converter.refuse();
        client.connectToHost(QHostAddress::LocalHost, converter.port());
        QTRY_COMPARE(client.error(), QAbstractSocket::ConnectionRefusedError);
        QVERIFY(converter.resume() && converter.neverAccept());
        client.connectToHost(QHostAddress::LocalHost, converter.port());
        QVERIFY(!client.waitForConnected(500));
        QCOMPARE(client.error(), QAbstractSocket::SocketTimeoutError);  // no answer, no refusal
        QVERIFY(converter.resume());
        connectClient(client);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2;
        QTest::newRow("COM link taken") << QStringList{"--com", "11", "--no-converter"} << 1;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QProcess help, process;
        help.start(QStringLiteral(MIRVEL_SIM_PROGRAM), {QStringLiteral("--help")});
        process.start(QStringLiteral(MIRVEL_SIM_PROGRAM), arguments);
        QVERIFY(help.waitForFinished(10000) && process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), status);
        const QByteArray usage = help.readAllStandardOutput(), err = process.readAllStandardError();
        QVERIFY(usage.startsWith("Usage: ") && usage.contains("--loop-corrupt <n>"));
        // Help on the output; otherwise a reason, and the usage after a malformed command line.
        QCOMPARE(process.readAllStandardOutput(), status == 0 ? usage : QByteArray());
        QCOMPARE(err.startsWith("mirvel-sim: ") && err.endsWith("\n\n" + usage), status == 2);
    }

    // Each signal that ends the program ends it cleanly, with its link removed.
    void programAnswersAtItsRateUntilSignalled_data()
    {
        QTest::addColumn<int>("endSignal");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void programAnswersAtItsRateUntilSignalled()
    {
        QFETCH(int, endSignal);
        QProcess process;
        const QString options("--com 9 --converter 0 --module E43:02:19200 --module E41:01:9600");
        process.start(QStringLiteral(MIRVEL_SIM_PROGRAM), options.split(u' '));
        QVERIFY(process.waitForReadyRead(5000));
        const QString link = runtime.path() + QStringLiteral("/mirvel/COM9");
        QSerialPort port(link);
        QVERIFY(port.open(QIODevice::ReadWrite));
        // The port's rate picks the module: replies leave in order, a wrong one would come first.
        for (const auto &[rate, expected] :
             {std::pair(9600, "!01QRD-E41\r"), std::pair(19200, "!02E43\r")}) {
            port.setBaudRate(rate);
            port.write("$02F\r$01M\r");
            QByteArray reply;
            while (!reply.contains('\r') && port.waitForReadyRead(3000))
                reply += port.readAll();
            QCOMPARE(reply, QByteArray(expected));
        }
        ::kill(pid_t(process.processId()), endSignal);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

private:
    static void addRows(std::initializer_list<Row> rows)
    {
        QTest::addColumn<Row>("row");
        for (const Row &row : rows)
            QTest::newRow(row.name) << row;
    }
    void connectClient(QTcpSocket &client)
    {
        client.connectToHost(QHostAddress::LocalHost, bench->converter()->port());
        QTRY_VERIFY(client.state() == QAbstractSocket::ConnectedState &&
                    bench->converter()->hasClient());
    }

    QTemporaryDir runtime;
    std::unique_ptr<SimBench> bench;
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
