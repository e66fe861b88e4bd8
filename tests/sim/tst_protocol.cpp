// What the simulated modules answer, command by command and model by model, and how a line turns
// the bytes it hears into frames.
#include "link/checksum.h"
#include "link/rtuframe.h"
#include "sim/simbench.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(SimModel)

namespace {

SimModule make(SimModel model, int address, bool checksum = false, int rate = 9600)
{
    SimModuleSettings s;
    s.model = model;
    s.address = address;
    s.rate = rate;
    s.checksum = checksum;
    return SimModule(s);
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

QByteArray rtuRequest(const QString &text)
{
    RtuFramer framer;
    framer.BuildRtuFrame(text);
    return framer.RtuFrame;
}

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

        struct Row
        {
            const char *name;
            SimModel model;
            int address;
            const char *command;
            const char *reply;
        };
        const Row rows[] = {
            {"E41 identification", SimModel::E41, 0x01, "$01F", "!01E41"},
            {"E41 name", SimModel::E41, 0x01, "$01M", "!01QRD-E41"},
            {"E41 status", SimModel::E41, 0x01, "$016", "!01000000"},
            {"E41 configuration", SimModel::E41, 0x01, "$012", "!01400600"},
            {"E41 output on", SimModel::E41, 0x01, "#011301", "!01"},
            {"E41 output 15 off", SimModel::E41, 0x01, "#01B700", "!01"},
            {"E41 has no inputs", SimModel::E41, 0x01, "#010", "?01"},
            {"E41 bad state", SimModel::E41, 0x01, "#011302", "?01"},
            {"E41 bad group", SimModel::E41, 0x01, "#012301", "?01"},
            {"E43 identification", SimModel::E43, 0x02, "$02F", "!02E43"},
            {"E43 counter 0", SimModel::E43, 0x02, "#020", "!0200200"},
            {"E43 counter F", SimModel::E43, 0x02, "#02F", "!0200305"},
            {"E43 has no outputs", SimModel::E43, 0x02, "#021001", "?02"},
            {"E43 status", SimModel::E43, 0x02, "$026", "!02000000"},
            {"E45 identification", SimModel::E45, 0x03, "$03F", "!03E45"},
            {"E45 counter 3", SimModel::E45, 0x03, "#033", "!0300321"},
            {"E45 no counter 4", SimModel::E45, 0x03, "#034", "?03"},
            {"E45 output 3", SimModel::E45, 0x03, "#031301", "!03"},
            {"E45 no output 4", SimModel::E45, 0x03, "#031401", "?03"},
            {"E47 identification", SimModel::E47, 0x04, "$04F", "!04E47"},
            {"E47 counter 7", SimModel::E47, 0x04, "#047", "!0400449"},
            {"E47 no counter 8", SimModel::E47, 0x04, "#048", "?04"},
            {"E47 output 7", SimModel::E47, 0x04, "#041701", "!04"},
            {"E47 no output 8", SimModel::E47, 0x04, "#04B001", "?04"},
            {"E82 identification", SimModel::E82, 0x05, "$05F", "!05E82M"},
            {"E82 name", SimModel::E82, 0x05, "$05M", "!05QRD-E82"},
            {"E82 channel 0", SimModel::E82, 0x05, "#050", "!05+01.0000"},
            {"E82 channel 1", SimModel::E82, 0x05, "#051", "!05-02.0000"},
            {"E82 channel 7", SimModel::E82, 0x05, "#057", "!05-08.0000"},
            {"E82 no channel 8", SimModel::E82, 0x05, "#058", "?05"},
            {"E82 has no status", SimModel::E82, 0x05, "$056", "?05"},
            {"E82 configuration", SimModel::E82, 0x05, "$052", "!05080600"},
            {"E82 has no outputs", SimModel::E82, 0x05, "#051001", "?05"},
            {"unknown command", SimModel::E41, 0x01, "$01X", "?01"},
            {"no command", SimModel::E41, 0x01, "$01", "?01"},
            {"lower-case command", SimModel::E41, 0x01, "$01f", "?01"},
            {"lower-case address", SimModel::E47, 0xAB, "$abF", "!ABE47"},
            {"address FF", SimModel::E43, 0xFF, "$FFF", "!FFE43"},
        };
        for (const Row &row : rows) {
            QTest::addRow("%s", row.name)
                << row.model << row.address << QByteArray(row.command) << QByteArray(row.reply);
            // The configuration read reports the checksum setting itself, so it has rows of its
            // own.
            if (QByteArray(row.command).endsWith("2") && row.command[0] == '$')
                continue;
            QTest::addRow("%s, checksum", row.name)
                << row.model << row.address << QByteArray(row.command) << QByteArray(row.reply);
        }
        QTest::addRow("E41 configuration, checksum")
            << SimModel::E41 << 0x01 << QByteArray("$012") << QByteArray("!01400640");
        QTest::addRow("E82 configuration, checksum")
            << SimModel::E82 << 0x05 << QByteArray("$052") << QByteArray("!05080640");
    }
    void everyCommandOfEveryModel()
    {
        QFETCH(SimModel, model);
        QFETCH(int, address);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        const bool checksum = QByteArray(QTest::currentDataTag()).endsWith("checksum");
        SimModule module = make(model, address, checksum);
        // A checksummed module wants the command's checksum and puts one on its own reply.
        QCOMPARE(ask(module, checksum ? withChecksum(command) : command),
                 (checksum ? withChecksum(reply) : reply) + '\r');
    }

    void silence_data()
    {
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<int>("lineRate");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("wrong rate") << false << 19200 << QByteArray("$01F");
        QTest::newRow("wrong rate, checksum") << true << 4800 << withChecksum("$01F");
        QTest::newRow("missing checksum") << true << 9600 << QByteArray("$01F");
        QTest::newRow("wrong checksum") << true << 9600 << QByteArray("$01FD8");
        QTest::newRow("checksum of another command") << true << 9600 << QByteArray("$01FD2");
        QTest::newRow("another address") << false << 9600 << QByteArray("$02F");
        QTest::newRow("not hexadecimal") << false << 9600 << QByteArray("$0GF");
        QTest::newRow("unknown lead") << false << 9600 << QByteArray("@01F");
    }
    void silence()
    {
        QFETCH(bool, checksum);
        QFETCH(int, lineRate);
        QFETCH(QByteArray, command);
        SimModule module = make(SimModel::E41, 0x01, checksum);
        QCOMPARE(ask(module, command, lineRate), QByteArray("<silent>"));
    }

    void outputsShowInTheStatus_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<QList<QByteArray>>("switches");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("E41 channels 3 and 12")
            << SimModel::E41 << QList<QByteArray>{"#011301", "#01B401"}
            << QByteArray("!01100800\r");
        QTest::newRow("E41 on then off")
            << SimModel::E41 << QList<QByteArray>{"#011001", "#011101", "#011000"}
            << QByteArray("!01000200\r");
        QTest::newRow("E45 channel 3")
            << SimModel::E45 << QList<QByteArray>{"#011301"} << QByteArray("!01080000\r");
        QTest::newRow("E47 channels 0 and 7")
            << SimModel::E47 << QList<QByteArray>{"#011001", "#011701"}
            << QByteArray("!01810000\r");
    }
    void outputsShowInTheStatus()
    {
        QFETCH(SimModel, model);
        QFETCH(QList<QByteArray>, switches);
        QFETCH(QByteArray, status);
        SimModule module = make(model, 0x01);
        for (const QByteArray &command : switches)
            QCOMPARE(ask(module, command), QByteArray("!01\r"));
        QCOMPARE(ask(module, "$016"), status);
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
        // Two rising edges from 65534: the five-digit counter wraps at 65536.
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
        QTest::newRow("10 V negative full") << 0x08 << 0 << -1.0 << QByteArray("-10.0000");
        QTest::newRow("5 V") << 0x09 << 0 << 0.5 << QByteArray("+2.50000");
        QTest::newRow("2.5 V") << 0x0A << 0 << -0.5 << QByteArray("-1.25000");
        QTest::newRow("1.25 V") << 0x0B << 0 << 1.0 << QByteArray("+1.25000");
        QTest::newRow("650 mV") << 0x0C << 0 << 0.5 << QByteArray("+325.000");
        QTest::newRow("20 mA") << 0x0D << 0 << 0.5 << QByteArray("+10.0000");
        QTest::newRow("percent") << 0x08 << 1 << 0.5 << QByteArray("+050.000");
        QTest::newRow("percent full") << 0x0D << 1 << -1.0 << QByteArray("-100.000");
        QTest::newRow("hex half") << 0x08 << 2 << 0.5 << QByteArray("4000");
        QTest::newRow("hex full") << 0x09 << 2 << 1.0 << QByteArray("7FFF");
        QTest::newRow("hex negative") << 0x08 << 2 << -1.0 << QByteArray("8001");
        QTest::newRow("clamped") << 0x08 << 0 << 3.0 << QByteArray("+10.0000");
    }
    void analogValueInRangeAndFormat()
    {
        QFETCH(int, range);
        QFETCH(int, format);
        QFETCH(double, fraction);
        QFETCH(QByteArray, field);
        SimModuleSettings s{SimModel::E82, 0x07, 9600, false, range, format};
        SimModule module(s);
        module.setAnalog(3, fraction);
        QCOMPARE(ask(module, "#073"), "!07" + field + '\r');
    }

    void configurationWrite_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("fast");
        QTest::newRow("new address")
            << SimModel::E41 << QByteArray("%0105400600") << QByteArray("!05") << 0x05 << 9600
            << false << 8 << 0 << false;
        QTest::newRow("checksum on")
            << SimModel::E43 << QByteArray("%0105400640") << QByteArray("!05") << 0x05 << 9600
            << true << 8 << 0 << false;
        QTest::newRow("115200, FF")
            << SimModel::E45 << QByteArray("%01FF400A00") << QByteArray("!FF") << 0xFF << 115200
            << false << 8 << 0 << false;
        QTest::newRow("1200, 00") << SimModel::E47 << QByteArray("%0100400300") << QByteArray("!00")
                                  << 0x00 << 1200 << false << 8 << 0 << false;
        QTest::newRow("analog everything")
            << SimModel::E82 << QByteArray("%01010A0761") << QByteArray("!01") << 0x01 << 19200
            << true << 0x0A << 1 << true;
        QTest::newRow("analog fast only")
            << SimModel::E82 << QByteArray("%01200D0522") << QByteArray("!20") << 0x20 << 4800
            << false << 0x0D << 2 << true;
    }
    void configurationWrite()
    {
        QFETCH(SimModel, model);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        SimModule module = make(model, 0x01);
        const std::optional<SimReply> answer = module.answer(command, 9600);
        QVERIFY(answer);
        QCOMPARE(answer->bytes, reply + '\r');
        QVERIFY(answer->reconfigure);
        // The module itself changes only once its reply has left (the line does that).
        QCOMPARE(module.settings().address, 0x01);
        const SimModuleSettings next = *answer->reconfigure;
        QTEST(next.address, "address");
        QTEST(next.rate, "rate");
        QTEST(next.checksum, "checksum");
        if (model == SimModel::E82) {
            QTEST(next.range, "range");
            QTEST(next.format, "format");
            QTEST(next.fast, "fast");
        }
    }

    void malformedConfigurationIsRefused_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("unknown baud code") << SimModel::E41 << QByteArray("%0105400B00");
        QTest::newRow("short") << SimModel::E41 << QByteArray("%01054006");
        QTest::newRow("digital type 41") << SimModel::E43 << QByteArray("%0105410600");
        QTest::newRow("digital format") << SimModel::E47 << QByteArray("%0105400601");
        QTest::newRow("analog with type 40") << SimModel::E82 << QByteArray("%0101400600");
        QTest::newRow("analog range 0E") << SimModel::E82 << QByteArray("%01010E0600");
        QTest::newRow("analog format 3") << SimModel::E82 << QByteArray("%0101080603");
    }
    void malformedConfigurationIsRefused()
    {
        QFETCH(SimModel, model);
        QFETCH(QByteArray, command);
        SimModule module = make(model, 0x01);
        const std::optional<SimReply> answer = module.answer(command, 9600);
        QVERIFY(answer);
        QCOMPARE(answer->bytes, QByteArray("?01\r"));
        QVERIFY(!answer->reconfigure);
    }

    void rtuIdentificationReadsAsTheScanExpects_data()
    {
        QTest::addColumn<SimModel>("model");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("scanReply");
        QTest::newRow("E41") << SimModel::E41 << "01 46 00  00"
                             << "!01E41";
        QTest::newRow("E43") << SimModel::E43 << "1 46 0 0"
                             << "!01E43";
        QTest::newRow("E45") << SimModel::E45 << "01 46 00  00"
                             << "!01E45";
        QTest::newRow("E47") << SimModel::E47 << "01 46 00  00"
                             << "!01E47";
        QTest::newRow("E82") << SimModel::E82 << "01 46 00  00"
                             << "!01E82";
    }
    void rtuIdentificationReadsAsTheScanExpects()
    {
        QFETCH(SimModel, model);
        QFETCH(QString, request);
        QFETCH(QString, scanReply);
        SimModule module = make(model, 0x01);
        const std::optional<SimReply> answer = module.answerRtu(rtuRequest(request), 9600);
        QVERIFY(answer);
        const QByteArray reply = answer->bytes;
        QCOMPARE(reply.size(), 8);
        QCOMPARE(RtuFramer::crcOf(reply.left(6)), reply.mid(6));
        // The scan's reading of the receive box's hexadecimal dump.
        const QString dump = trimSpaces(hexDump(reply));
        QCOMPARE(midChars(dump, 14, 1), QStringLiteral("E"));
        QCOMPARE("!" + midChars(dump, 1, 2) + midChars(dump, 14, 1) + midChars(dump, 16, 2),
                 scanReply);
    }

    void rtuSilence_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("lineRate");
        QByteArray badCrc = rtuRequest(QStringLiteral("01 46 00 00"));
        badCrc[5] = char(badCrc.at(5) ^ 0x01);
        QTest::newRow("wrong rate") << rtuRequest(QStringLiteral("01 46 00 00")) << 19200;
        QTest::newRow("another address") << rtuRequest(QStringLiteral("02 46 00 00")) << 9600;
        QTest::newRow("wrong CRC") << badCrc << 9600;
        QTest::newRow("another function") << rtuRequest(QStringLiteral("01 03 00 00")) << 9600;
    }
    void rtuSilence()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, lineRate);
        SimModule module = make(SimModel::E41, 0x01);
        QVERIFY(!module.answerRtu(frame, lineRate));
    }

    // The line: frames out of the bytes as they come, in whatever pieces.
    void lineFramesWhatItHears_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("whole") << QList<QByteArray>{"$01F\r"} << QByteArray("!01E41\r");
        QTest::newRow("pieces") << QList<QByteArray>{"$0", "1", "F", "\r"}
                                << QByteArray("!01E41\r");
        QTest::newRow("noise before the lead")
            << QList<QByteArray>{QByteArray("\x01\xff zz", 5), "$01F\r"} << QByteArray("!01E41\r");
        QTest::newRow("half a command, then a new one")
            << QList<QByteArray>{"$02", "$01F\r"} << QByteArray("!01E41\r");
        QTest::newRow("overlong noise, then a command")
            << QList<QByteArray>{QByteArray(2000, 'x'), "$01F\r"} << QByteArray("!01E41\r");
        const QByteArray rtu = rtuRequest(QStringLiteral("01 46 00 00"));
        QTest::newRow("rtu in pieces") << QList<QByteArray>{rtu.left(3), rtu.mid(3)}
                                       << QByteArray::fromHex("0146 0002 0E41") +
                                              RtuFramer::crcOf(QByteArray::fromHex("014600020E41"));
        QTest::newRow("rtu after ascii noise")
            << QList<QByteArray>{"$01", rtu}
            << QByteArray::fromHex("0146 0002 0E41") +
                   RtuFramer::crcOf(QByteArray::fromHex("014600020E41"));
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

    void configurationTakesEffectOnceTheReplyHasLeft()
    {
        SimBus bus;
        SimModule &module = bus.addModule({SimModel::E41, 0x01, 9600, false});
        SimLine line(bus);
        QSignalSpy sent(&line, &SimLine::transmit);
        QSignalSpy heard(&bus, &SimBus::heard);
        line.receive("%0105400740\r", 9600);
        QCOMPARE(heard.size(), 1);
        QCOMPARE(module.settings().address, 0x01);
        QVERIFY(sent.wait(2000));
        QCOMPARE(sent.at(0).at(0).toByteArray(), QByteArray("!05\r"));
        QTRY_COMPARE(module.settings().address, 0x05);
        QCOMPARE(module.settings().rate, 19200);
        QVERIFY(module.settings().checksum);
        QCOMPARE(bus.module(0x05), &module);
        QCOMPARE(bus.module(0x01), nullptr);
    }

    void parsesModuleDescriptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("described");
        QTest::newRow("plain") << "E41:01:9600:nochk" << true
                               << "E41 at 01, 9600 baud, checksum off";
        QTest::newRow("no checksum field")
            << "e43:1f:1200" << true << "E43 at 1F, 1200 baud, checksum off";
        QTest::newRow("analog") << "E82:0A:38400:chk:09:1" << true
                                << "E82 at 0A, 38400 baud, checksum on, range 09, format 1";
        QTest::newRow("unknown model") << "E42:01:9600" << false << "";
        QTest::newRow("address not hex") << "E41:XY:9600" << false << "";
        QTest::newRow("odd rate") << "E41:01:9601" << false << "";
        QTest::newRow("range on digital") << "E41:01:9600:chk:08" << false << "";
        QTest::newRow("range 0E") << "E82:01:9600:chk:0E" << false << "";
        QTest::newRow("format 3") << "E82:01:9600:chk:08:3" << false << "";
    }
    void parsesModuleDescriptions()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, described);
        QString error;
        const std::optional<SimModuleSettings> settings = simParseModule(text, &error);
        QCOMPARE(bool(settings), valid);
        if (valid)
            QCOMPARE(simDescribeModule(*settings), described);
        else
            QVERIFY(error.contains(text));
    }

    void parsesFaults_data()
    {
        QTest::addColumn<QStringList>("specs");
        QTest::addColumn<bool>("valid");
        QTest::newRow("silent") << QStringList{"silent"} << true;
        QTest::newRow("delay and pieces") << QStringList{"delay=200", "pieces=2,10"} << true;
        QTest::newRow("garbage") << QStringList{"garbage=30"} << true;
        QTest::newRow("endless") << QStringList{"endless=5000"} << true;
        QTest::newRow("delay without value") << QStringList{"delay"} << false;
        QTest::newRow("unknown") << QStringList{"melt"} << false;
    }
    void parsesFaults()
    {
        QFETCH(QStringList, specs);
        QFETCH(bool, valid);
        SimFault fault;
        bool ok = true;
        for (const QString &spec : specs)
            ok = ok && simParseFault(spec, fault);
        QCOMPARE(ok, valid);
        if (valid)
            QVERIFY(fault.active());
        if (specs.size() == 2 && valid) {
            QCOMPARE(fault.delayMs, 200);
            QCOMPARE(fault.pieceSize, 2);
            QCOMPARE(fault.pieceGapMs, 10);
        }
    }

    void defaultBenchHasEveryModelAndQuickModulesAt9600()
    {
        const QList<SimModuleSettings> modules = SimBench::defaultModules();
        QSet<int> addresses;
        QMap<SimModel, int> perModel;
        QSet<int> rates;
        bool someChecksum = false;
        int quick = 0;
        for (const SimModuleSettings &s : modules) {
            addresses << s.address;
            ++perModel[s.model];
            rates << s.rate;
            someChecksum = someChecksum || s.checksum;
            if (s.rate == 9600 && !s.checksum && s.address < 0x08)
                ++quick;
        }
        QCOMPARE(addresses.size(), modules.size());
        QCOMPARE(perModel.size(), 5);
        for (int count : perModel)
            QVERIFY(count >= 2);
        QVERIFY(rates.size() >= 5);
        QVERIFY(someChecksum);
        QVERIFY(quick >= 5);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
