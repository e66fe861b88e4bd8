// What the simulated modules answer, model by model, and how a line frames the bytes it hears.
// The RTU reply is also checked against libmodbus, as an outside peer.
#include "link/checksum.h"
#include "link/rtuframe.h"
#include "sim/simbench.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QTest>

#ifdef MIRVEL_HAVE_LIBMODBUS
#include <modbus.h>
#endif

Q_DECLARE_METATYPE(SimModel)
Q_DECLARE_METATYPE(SimModuleSettings)

namespace {

SimModule make(SimModel model, int address, bool checksum = false)
{
    return SimModule({model, address, 9600, checksum});
}

QByteArray ask(SimModule &module, const QByteArray &command, int rate = 9600)
{
    const std::optional<SimReply> reply = module.answer(command, rate);
    return reply ? reply->bytes : QByteArray("<silent>");
}

QByteArray withChecksum(const QByteArray &text)
{
    return text + asciiChecksum(QString::fromLatin1(text)).toLatin1();
}

QByteArray rtuRequest(const char *text)
{
    RtuFramer framer;
    framer.BuildRtuFrame(QString::fromLatin1(text));
    return framer.RtuFrame;
}

#ifdef MIRVEL_HAVE_LIBMODBUS
// The CRC libmodbus puts on a frame of these bytes, sent on a line of its own.
QByteArray libmodbusCrc(const QByteArray &data)
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

}  // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandOfEveryModel_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");  // without checksum and carriage return
        QTest::addColumn<bool>("checksum");
        struct Row
        {
            const char *name;
            SimModel model;
            int address;
            const char *command, *reply;
        };
        const Row rows[] = {
            {"E41 identification", SimModel::E41, 0x01, "$01F", "!01E41"},
            {"E41 name", SimModel::E41, 0x01, "$01M", "!01QRD-E41"},
            {"E41 status", SimModel::E41, 0x01, "$016", "!01000000"},
            {"E41 has no inputs", SimModel::E41, 0x01, "#010", "?01"},
            {"E41 bad group", SimModel::E41, 0x01, "#012301", "?01"},
            {"E43 identification", SimModel::E43, 0x02, "$02F", "!02E43"},
            {"E43 counter F", SimModel::E43, 0x02, "#02F", "!0200305"},
            {"E43 has no outputs", SimModel::E43, 0x02, "#021001", "?02"},
            {"E45 identification", SimModel::E45, 0x03, "$03F", "!03E45"},
            {"E45 counter 3", SimModel::E45, 0x03, "#033", "!0300321"},
            {"E45 no counter 4", SimModel::E45, 0x03, "#034", "?03"},
            {"E45 no output 4", SimModel::E45, 0x03, "#031401", "?03"},
            {"E47 identification", SimModel::E47, 0x04, "$04F", "!04E47"},
            {"E47 counter 7", SimModel::E47, 0x04, "#047", "!0400449"},
            {"E47 no counter 8", SimModel::E47, 0x04, "#048", "?04"},
            {"E47 no output 8", SimModel::E47, 0x04, "#04B001", "?04"},
            {"E82 identification", SimModel::E82, 0x05, "$05F", "!05E82M"},
            {"E82 channel 0", SimModel::E82, 0x05, "#050", "!05+01.0000"},
            {"E82 no channel 8", SimModel::E82, 0x05, "#058", "?05"},
            {"E82 has no status", SimModel::E82, 0x05, "$056", "?05"},
            {"E82 has no outputs", SimModel::E82, 0x05, "#051001", "?05"},
            {"unknown command", SimModel::E41, 0x01, "$01X", "?01"},
            {"lower-case address", SimModel::E47, 0xAB, "$abF", "!ABE47"},
            // Switched outputs show in the status.
            {"E41 on, and on then off", SimModel::E41, 0x01, "#011301 #01B401 #011101 #011100 $016",
             "!01100800"},
            {"E45 channel 3", SimModel::E45, 0x03, "#031301 $036", "!03080000"},
            {"E47 channels 0 and 7", SimModel::E47, 0x04, "#041001 #041701 $046", "!04810000"},
        };
        for (const Row &row : rows) {
            for (bool checksum : {false, true})
                QTest::addRow("%s%s", row.name, checksum ? ", checksum" : "")
                    << row.model << row.address << QByteArray(row.command) << QByteArray(row.reply)
                    << checksum;
        }
        // The configuration read reports the checksum setting itself.
        QTest::addRow("E41 configuration")
            << SimModel::E41 << 0x01 << QByteArray("$012") << QByteArray("!01400600") << false;
        QTest::addRow("E82 configuration, checksum")
            << SimModel::E82 << 0x05 << QByteArray("$052") << QByteArray("!05080640") << true;
    }
    void everyCommandOfEveryModel()
    {
        QFETCH(SimModel, model);
        QFETCH(int, address);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(bool, checksum);
        SimModule module = make(model, address, checksum);
        // Blanks part commands sent one after the other: each but the last is taken.
        QByteArray last;
        for (const QByteArray &one : command.split(' ')) {
            QVERIFY2(last.isEmpty() || last.startsWith('!'), last.constData());
            last = ask(module, checksum ? withChecksum(one) : one);
        }
        QCOMPARE(last, (checksum ? withChecksum(reply) : reply) + '\r');
    }

    void rtuSilence_data()
    {
        QTest::addColumn<int>("lineRate");
        QTest::addColumn<QByteArray>("frame");
        QByteArray badCrc = rtuRequest("01 46 00 00");
        badCrc[5] = char(badCrc.at(5) ^ 0x01);
        QTest::newRow("wrong rate") << 19200 << rtuRequest("01 46 00 00");
        QTest::newRow("another address") << 9600 << rtuRequest("02 46 00 00");
        QTest::newRow("wrong CRC") << 9600 << badCrc;
        QTest::newRow("another function") << 9600 << rtuRequest("01 03 00 00");
    }
    void rtuSilence()
    {
        QFETCH(int, lineRate);
        QFETCH(QByteArray, frame);
        SimModule module = make(SimModel::E41, 0x01);
        QVERIFY(!module.answerRtu(frame, lineRate));
    }

    void inputsCountRisingEdges()
    {
        SimModule module = make(SimModel::E47, 0x04);
        module.setCounter(2, 65534);
        module.setInput(2, true);
        QCOMPARE(ask(module, "$046"), QByteArray("!04000400\r"));
        module.setInput(2, true);  // still on: no edge
        module.setInput(2, false);
        module.setInput(2, true);
        // The five-digit counter wraps at 65536.
        QCOMPARE(ask(module, "#042"), QByteArray("!0400000\r"));
        module.setInput(9, true);  // the E47 has no input 9
        QCOMPARE(module.inputs(), quint16(0x0004));
    }

    void analogValueInRangeAndFormat_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("10 V") << 0x08 << 0 << 0.75 << QByteArray("+07.5000");
        QTest::newRow("650 mV") << 0x0C << 0 << 0.5 << QByteArray("+325.000");
        QTest::newRow("percent full") << 0x0D << 1 << -1.0 << QByteArray("-100.000");
        QTest::newRow("hex negative") << 0x08 << 2 << -1.0 << QByteArray("8001");
        QTest::newRow("clamped") << 0x08 << 0 << 3.0 << QByteArray("+10.0000");
    }
    void analogValueInRangeAndFormat()
    {
        QFETCH(int, range);
        QFETCH(int, format);
        QFETCH(double, fraction);
        QFETCH(QByteArray, field);
        SimModule module({SimModel::E82, 0x07, 9600, false, range, format});
        module.setAnalog(3, fraction);
        QCOMPARE(ask(module, "#073"), "!07" + field + '\r');
    }

    void configurationWrite_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<SimModuleSettings>("next");  // for a refused command: the module as it is
        using M = SimModel;
        const struct
        {
            const char *name, *command, *reply;
            SimModuleSettings next;
        } rows[] = {
            {"address, checksum on", "%0105400640", "!05", {M::E43, 0x05, 9600, true}},
            {"115200, FF", "%01FF400A00", "!FF", {M::E45, 0xFF, 115200, false}},
            {"analog everything", "%01010A0761", "!01", {M::E82, 0x01, 19200, true, 0x0A, 1, true}},
            {"analog fast only", "%01200D0522", "!20", {M::E82, 0x20, 4800, false, 0x0D, 2, true}},
            {"unknown baud code", "%0105400B00", "?01", {M::E41, 0x01}},
            {"short", "%01054006", "?01", {M::E41, 0x01}},
            {"digital format", "%0105400601", "?01", {M::E47, 0x01}},
            {"analog with type 40", "%0101400600", "?01", {M::E82, 0x01}},
            {"analog range 0E", "%01010E0600", "?01", {M::E82, 0x01}},
        };
        for (const auto &row : rows)
            QTest::addRow("%s", row.name)
                << QByteArray(row.command) << QByteArray(row.reply) << row.next;
    }
    void configurationWrite()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(SimModuleSettings, next);
        SimModule module = make(next.model, 0x01);
        const std::optional<SimReply> answer = module.answer(command, 9600);
        QVERIFY(answer);
        QCOMPARE(answer->bytes, reply + '\r');
        // The module changes only once its reply has left, which the line takes care of.
        QCOMPARE(module.settings().address, 0x01);
        QCOMPARE(answer->reconfigure.has_value(), reply.startsWith('!'));
        QVERIFY(answer->reconfigure.value_or(module.settings()) == next);
    }

    void rtuIdentificationReadsAsTheScanExpects_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<QString>("scanReply");
        QTest::newRow("E41") << SimModel::E41 << QStringLiteral("!01E41");
        QTest::newRow("E43") << SimModel::E43 << QStringLiteral("!01E43");
        QTest::newRow("E45") << SimModel::E45 << QStringLiteral("!01E45");
        QTest::newRow("E47") << SimModel::E47 << QStringLiteral("!01E47");
        QTest::newRow("E82") << SimModel::E82 << QStringLiteral("!01E82");
    }
    void rtuIdentificationReadsAsTheScanExpects()
    {
        QFETCH(SimModel, model);
        QFETCH(QString, scanReply);
        SimModule module = make(model, 0x01);
        QByteArray request = rtuRequest("1 46 0 0");
#ifdef MIRVEL_HAVE_LIBMODBUS
        // An outside check: libmodbus frames the same request, and the reply's CRC, alike.
        request = request.left(4) + libmodbusCrc(request.left(4));
#endif
        const std::optional<SimReply> answer = module.answerRtu(request, 9600);
        QVERIFY(answer);
        const QByteArray reply = answer->bytes;
        QCOMPARE(reply.size(), 8);
        QCOMPARE(RtuFramer::crcOf(reply.left(6)), reply.mid(6));
#ifdef MIRVEL_HAVE_LIBMODBUS
        QCOMPARE(libmodbusCrc(reply.left(6)), reply.mid(6));
#endif
        // The scan's reading of the receive box's hexadecimal dump.
        const QString dump = trimSpaces(hexDump(reply));
        QCOMPARE("!" + midChars(dump, 1, 2) + midChars(dump, 14, 1) + midChars(dump, 16, 2),
                 scanReply);
    }

    void lineFramesWhatItHears_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray ascii("!01E41\r");
        QTest::newRow("pieces") << QList<QByteArray>{"$0", "1", "F", "\r"} << ascii;
        QTest::newRow("noise before the lead")
            << QList<QByteArray>{QByteArray("\x01\xff zz", 5), "$01F\r"} << ascii;
        QTest::newRow("half a command, then a new one")
            << QList<QByteArray>{"$02", "$01F\r"} << ascii;
        QTest::newRow("overlong noise, then a command")
            << QList<QByteArray>{QByteArray(2000, 'x'), "$01F\r"} << ascii;
        const QByteArray rtu = rtuRequest("01 46 00 00");
        const QByteArray rtuReply = QByteArray::fromHex("014600020E41");
        QTest::newRow("rtu in pieces after ascii noise")
            << QList<QByteArray>{"$01", rtu.left(3), rtu.mid(3)}
            << rtuReply + RtuFramer::crcOf(rtuReply);
        QTest::newRow("no lead") << QList<QByteArray>{"01F\r"} << QByteArray();
    }
    void lineFramesWhatItHears()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QByteArray, reply);
        SimBus bus;
        bus.addModule({SimModel::E41, 0x01, 9600, false});
        SimLine line(bus);
        QSignalSpy sent(&line, &SimLine::transmit);
        for (const QByteArray &piece : pieces)
            line.receive(piece, 9600);
        if (reply.isEmpty()) {
            QVERIFY(!sent.wait(100));
            return;
        }
        QVERIFY(sent.wait(2000));
        QCOMPARE(sent.takeFirst().at(0).toByteArray(), reply);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
