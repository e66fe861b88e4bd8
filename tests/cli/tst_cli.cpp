// mirvel-cli run as a script runs it, the program itself as a process, against the bench simulator
// in this process: every command in both forms, every exit status, an interrupted scan and loop
// test. Counts of the frames the bus heard and the texts that came back, never how long anything
// took. Beside it, its run on the fake clock: every command written and its time-out.
#include "cli/cliargs.h"
#include "cli/clirun.h"
#include "sim/simbench.h"
#include "sim/simwire.h"
#include "support/fakes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>

#include <csignal>
#include <functional>
#include <memory>

namespace {

constexpr int Com = 13;

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

// The document without the keys that carry times; each of them must hold a number.
QJsonValue withoutTimes(const QJsonValue &value)
{
    if (value.isArray()) {
        QJsonArray items;
        for (const QJsonValue &item : value.toArray())
            items.append(withoutTimes(item));
        return items;
    }
    QJsonObject object = value.toObject();
    for (const char *key : {"ms", "chars_per_s"}) {
        if (object.contains(QLatin1String(key)) && !object.take(QLatin1String(key)).isDouble())
            object.insert(QStringLiteral("not a number"), QLatin1String(key));
    }
    return value.isObject() ? QJsonValue(object) : value;
}

// expected, with "*" standing for a number.
bool matchesText(const QString &expected, const QString &actual)
{
    const QString pattern = QRegularExpression::escape(expected).replace(QStringLiteral("\\*"),
                                                                         QStringLiteral("[0-9.]+"));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern))
        .match(actual)
        .hasMatch();
}

}  // namespace

class TestCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimBench> bench;
    QStringList heard;                             // the frames the bus heard
    std::function<void(const QString &)> onHeard;  // the test's own ear
    qint64 running = 0;                            // the process id of the run

    // The bench; setup: "loop", "loop drop", "converter refuses", "E82 on write", "01 silent".
    void makeBench(const QString &setup)
    {
        bench.reset();
        heard.clear();
        onHeard = nullptr;
        bench = std::make_unique<SimBench>();
        const SimModel models[] = {SimModel::E41, SimModel::E43, SimModel::E45, SimModel::E47,
                                   SimModel::E82};
        for (int k = 0; k < 5; ++k)
            bench->addModule({models[k], k + 1, 9600, false});
        bench->addModule({SimModel::E41, 0x06, 9600, true});
        bench->addModule({SimModel::E45, 0x0A, 19200, true});
        QVERIFY(bench->startSerial(Com));
        QVERIFY(bench->startConverter(0, setup.startsWith(QLatin1String("loop"))
                                             ? SimConverter::Mode::Loop
                                             : SimConverter::Mode::Bus) != 0);
        if (setup == QLatin1String("loop drop"))
            bench->converter()->setLoopDrop(100);
        if (setup == QLatin1String("converter refuses"))
            bench->converter()->refuse();
        if (setup == QLatin1String("01 silent")) {
            SimFault silent;
            silent.silent = true;
            silent.address = 1;
            bench->bus().setFault(silent);
        }
        connect(&bench->bus(), &SimBus::heard, this, [this, setup](const QByteArray &frame) {
            heard << QString::fromLatin1(frame);
            // Module 01 answers its identification as an output module and is an analog one by
            // the time the write arrives, which it therefore refuses.
            if (setup == QLatin1String("E82 on write") && frame.startsWith('%'))
                bench->module(1)->setSettings({SimModel::E82, 1, 9600, false});
            if (onHeard)
                onHeard(QString::fromLatin1(frame));
        });
    }

    Outcome cli(QStringList arguments)
    {
        const QString converter = QStringLiteral("127.0.0.1:%1").arg(bench->converter()->port());
        arguments.replaceInStrings(QStringLiteral("%converter"), converter);
        arguments.replaceInStrings(QStringLiteral("%device"), bench->serial()->slavePath());
        QProcess process;
        process.start(
            QStringLiteral(MIRVEL_CLI_PROGRAM),
            QStringList{QStringLiteral("-p"), QStringLiteral("COM%1").arg(Com)} + arguments);
        running = process.processId();
        // The simulator answers from this event loop while the spy waits.
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(120000))
            return {};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void initTestCase() { usePrivateRuntimeDir(); }
    void cleanupTestCase() { bench.reset(); }

    // Each command in its text form and with -j; the count of frames the bus heard per run.
    void commands_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("frames");
        auto add = [](const char *name, const char *setup, const char *arguments, const char *text,
                      const char *json, int frames) {
            QTest::newRow(name) << setup << QString::fromLatin1(arguments).split(u' ')
                                << QString::fromLatin1(text) << QByteArray(json) << frames;
        };
        add("send", "", "send $01M $02F", "!01QRD-E41\n!02E43\n",
            R"([{"command":"$01M","sent":"$01M","reply":"!01QRD-E41"},
                {"command":"$02F","sent":"$02F","reply":"!02E43"}])",
            2);
        add("send with checksum", "", "-c send $06m", "!06QRD-E4145\n",
            R"([{"command":"$06m","sent":"$06MD7","reply":"!06QRD-E4145"}])", 1);
        const char *rows = R"({"asked":2,"modules":[
            {"address":"03","name":"QRD-E45","description":"4 CH DI & DO","baud":9600,"checksum":false},
            {"address":"04","name":"QRD-E47","description":"8 CH DI & DO","baud":9600,"checksum":false}]})";
        const char *rowsText =
            "03  QRD-E45  4 CH DI & DO  9600  Disable\n04  QRD-E47  8 CH DI & DO  9600  Disable\n";
        add("scan", "", "scan --first 03 --last 04", rowsText, rows, 2);
        add("scan, Modbus RTU", "", "scan --rtu --first 03 --last 04", rowsText, rows, 2);
        // Found at the fifth rate, with checksum only: each rate asked without, then with.
        add("scan, all settings", "", "-t 250 scan --all --first 0A --last 0A",
            "0A  QRD-E45  4 CH. DI & DO  19200  Enable\n",
            R"({"asked":1,"modules":[{"address":"0A","name":"QRD-E45",
                "description":"4 CH. DI & DO","baud":19200,"checksum":true}]})",
            10);
        add("info, digital", "", "info 03",
            "03  QRD-E45  4 CH DI & DO\ninput 0  00300\ninput 1  00307\ninput 2  00314\n"
            "input 3  00321\nstatus  00000\noutputs  4\n",
            R"({"address":"03","model":"E45","description":"4 CH DI & DO",
                "inputs":["00300","00307","00314","00321"],"status":"00000","outputs":4})",
            6);
        add("info, analog", "", "info 05",
            "05  QRD-E82  8 CH A.D\nanalog 0  +01.0000\nanalog 1  -02.0000\nanalog 2  +03.0000\n"
            "analog 3  -04.0000\nanalog 4  +05.0000\nanalog 5  -06.0000\nanalog 6  +07.0000\n"
            "analog 7  -08.0000\n",
            R"({"address":"05","model":"E82","description":"8 CH A.D","analog":["+01.0000",
                "-02.0000","+03.0000","-04.0000","+05.0000","-06.0000","+07.0000","-08.0000"]})",
            9);
        add("read, one channel", "", "read 02 10", "A  00270\n",
            R"({"address":"02","channels":{"A":"00270"}})", 1);
        add("read, every channel", "", "read 03", "0  00300\n1  00307\n2  00314\n3  00321\n",
            R"({"address":"03","channels":{"0":"00300","1":"00307","2":"00314","3":"00321"}})", 5);
        add("set", "", "set 01 3 on", "!01\nstatus  00080\n",
            R"({"address":"01","channel":3,"on":true,"reply":"!01","status":"00080"})", 2);
        add("config, digital", "", "config 04 --id 08 --baud 19200 --checksum on --yes",
            "%0408400740  !08  Save Success.....\n",
            R"({"address":"04","command":"%0408400740","accepted":true,"reply":"!08"})", 2);
        add("config, analog", "", "config 05 --range 0A --format 1 --fast --checksum on --yes",
            "%05050A0661  !05  Save Success.....\n",
            R"({"address":"05","command":"%05050A0661","accepted":true,"reply":"!05"})", 2);
        add("send, by device path", "", "-p %device send $01M", "!01QRD-E41\n",
            R"([{"command":"$01M","sent":"$01M","reply":"!01QRD-E41"}])", 1);
        add("console", "", "console %converter $01M", "!01QRD-E41\n",
            R"([{"command":"$01M","received":"!01QRD-E41\r"}])", 1);
        add("loop", "loop", "loop %converter --delay 0",
            "837 sent, 837 echoed, 0 wrong, 0 missing, * chars/s\n",
            R"({"sent":837,"echoed":837,"wrong":0,"missing":0,"extra":0})", 0);
    }
    void commands()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, arguments);
        QJsonParseError error;
        const QJsonDocument expected = QJsonDocument::fromJson(row<QByteArray>("json"), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        for (const bool json : {false, true}) {
            makeBench(setup);  // a write changes the module: a fresh bench for each form
            const Outcome run =
                cli((json ? QStringList{QStringLiteral("-j")} : QStringList()) + arguments);
            QCOMPARE(run.err, QString());  // neither a reason nor, off a terminal, progress
            QCOMPARE(run.status, 0);
            QCOMPARE(heard.size(), row<int>("frames"));
            if (!json) {
                QVERIFY2(matchesText(row<QString>("text"), run.out), qPrintable(run.out));
                continue;
            }
            QVERIFY(run.out.endsWith(u'\n') && run.out.count(u'\n') == 1);  // one document
            const QJsonDocument actual = QJsonDocument::fromJson(run.out.toUtf8());
            const QJsonValue root =
                actual.isArray() ? QJsonValue(actual.array()) : QJsonValue(actual.object());
            const QJsonValue wanted =
                expected.isArray() ? QJsonValue(expected.array()) : QJsonValue(expected.object());
            QCOMPARE(withoutTimes(root), wanted);
        }
    }

    // The statuses other than 0, each with its reason on standard error; a usage error in one
    // line, before anything reaches the line.
    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("frames");
        auto add = [](const char *name, const char *setup, QStringList arguments, int status,
                      const char *reason, int frames) {
            QTest::newRow(name) << setup << arguments << status << reason << frames;
        };
        add("no reply", "01 silent", {"send", "%0101400600"}, 1,
            "%0101400600: no reply within 200 ms", 1);
        add("answered wrong", "", {"set", "02", "1", "on"}, 1, "#021101: answered ?02", 2);
        add("refused configuration", "E82 on write", {"config", "01", "--yes"}, 1,
            "%0101400600: refused, ?01", 2);
        // FF is not the last step: the window's scan asks once more, with no address.
        add("beyond FF", "", {"-t", "20", "scan", "--first", "FE"}, 1, "no module found", 3);
        add("loop with losses", "loop drop", {"loop", "%converter", "--delay", "0"}, 1,
            "what came back differs from what was sent", 0);
        add("unknown command", "", {"frob"}, 2, "unknown command \"frob\"", 0);
        add("bad address", "", {"info", "1G"}, 2, "info: the address takes two hexadecimal", 0);
        add("bad rate", "", {"-b", "9601", "send", "$01M"}, 2, "-b takes 1200, 2400", 0);
        add("bad channel", "", {"set", "01", "16", "on"}, 2, "set: the channel takes a number", 0);
        add("bad option", "", {"scan", "--fast"}, 2, "scan: Unknown option 'fast'.", 0);
        add("option after the command", "", {"send", "$01M", "-c"}, 2,
            "send: \"-c\" is an option; options come before the command", 0);
        add("an address that cannot be written", "", {"config", "01", "--id", "cd", "--yes"}, 2,
            "config: CD cannot be written", 0);
        add("no terminal to ask", "", {"config", "01"}, 2, "give --yes", 0);
        add("one command that cannot be sent", "", {"send", "$01M", "$01\u20AC"}, 2,
            "send: \"$01\u20AC\" cannot be sent", 0);
        add("port missing", "", {"-p", "COM9", "send", "$01M"}, 3, "COM9: no such port", 0);
        add("device missing", "", {"-p", "/nonexistent/tty0", "send", "$01M"}, 3,
            "/nonexistent/tty0", 0);
        add("connection refused", "converter refuses", {"console", "%converter", "$01M"}, 3,
            "127.0.0.1 port", 0);
    }
    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        makeBench(setup);
        // A -p of the row's own comes after the test's, and wins.
        const Outcome run = cli(row<QStringList>("arguments"));
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.startsWith(QStringLiteral("mirvel-cli: ")) &&
                     run.err.contains(row<QString>("reason")),
                 qPrintable(run.err));
        if (status == 2)
            QCOMPARE(run.err.count(u'\n'), 1);
        QCOMPARE(heard.size(), row<int>("frames"));
    }

    // On a silent line every exchange waits its whole time-out, so the fake clock shows each one:
    // the lines written, each with when (ms from the start) and at which rate; then when the run
    // ended. With status 130 the user interrupts the run at "end".
    void silentLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("status");
        auto add = [](const char *name, const char *arguments, QStringList lines, int end,
                      int status = 1) {
            QTest::newRow(name) << QString::fromLatin1(arguments).split(u' ') << lines << end
                                << status;
        };
        add("send", "send $01M", {"$01M@0@9600"}, 200);
        add("send with checksum", "-c send $01m", {"$01MD2@0@9600"}, 200);
        add("scan", "-b 115200 scan --first FE",
            {"$FEF@0@115200", "$FFF@600@115200", "$F@1200@115200"}, 1800);
        const QString request =
            QString::fromLatin1(simWithCrc(QByteArray::fromHex("07460000")).toHex(' '));
        add("scan, Modbus RTU", "scan --rtu --first 07 --last 07", {request + "@100@9600"}, 200);
        QStringList turns;
        int at = 0;
        for (const int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
            turns << QStringLiteral("$00F@%1@%2").arg(at).arg(rate)
                  << QStringLiteral("$00FCA@%1@%2").arg(at + 300).arg(rate);
            at += 800;
        }
        add("scan, all settings", "scan --all --last 00", turns, 6400);
        add("info", "info 01", {"$01F@0@9600"}, 100);
        add("read, one channel", "read 01 10", {"#01A@0@9600"}, 200);
        add("read, every channel", "read 01", {"$01F@0@9600"}, 100);
        add("set", "-b 1200 set 01 12 off", {"#01B400@0@1200", "$016@60@1200"}, 120);
        add("set, own time-out", "-t 30 set 01 0 on", {"#011001@0@9600", "$016@30@9600"}, 60);
        add("config", "config 01 --id 0F --baud 115200 --yes",
            {"$01F@0@9600", "%010F400A00@100@9600"}, 600);
        add("interrupted scan", "scan", {"$00F@0@9600", "$01F@600@9600"}, 700, 130);
    }
    void silentLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, end);
        FakeLink f;
        f.port.setPortOpen(false);
        const CliParse parse = parseCommandLine(QStringList{"mirvel-cli"} + arguments, false);
        QCOMPARE(parse.kind, CliParse::Run);
        CliStreams streams;
        streams.out = [](const QString &) {};
        streams.err = [](const QString &) {};
        const quint32 start = f.time.tickCount();
        if (row<int>("status") == 130)
            f.time.at(quint32(end), [&f] { f.waits.setEnding(true); });
        CliRun run(parse.request, f.port, f.waits, streams);
        QCOMPARE(run.run(), row<int>("status"));
        QStringList lines;
        for (const FakeCommPort::Write &w : f.port.writes) {
            const bool text = w.bytes.endsWith('\r');
            lines << QStringList{text ? QString::fromLatin1(w.bytes.chopped(1))
                                      : QString::fromLatin1(w.bytes.toHex(' ')),
                                 QString::number(w.at - start), settingsRate(w.settings)}
                         .join(u'@');
        }
        QCOMPARE(lines, row<QStringList>("lines"));
        QCOMPARE(qint64(f.time.tickCount() - start), qint64(end));
        QVERIFY(!f.port.portOpen());
    }

    // Ctrl-C while the scan waits at an empty address: it ends there, with what it found.
    void interruptedScan_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("json") << true;
    }
    void interruptedScan()
    {
        QFETCH(bool, json);
        makeBench(QString());
        onHeard = [this](const QString &frame) {
            if (frame == QLatin1String("$07F"))
                ::kill(pid_t(running), SIGINT);
        };
        const Outcome run = cli(json ? QStringList{"-j", "scan"} : QStringList{"scan"});
        QCOMPARE(run.status, 130);
        QVERIFY(heard.size() < 20);  // far short of the 257 asked otherwise
        QStringList found;
        if (json) {
            const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
            for (const QJsonValue &module : document.value(QStringLiteral("modules")).toArray())
                found << module.toObject().value(QStringLiteral("address")).toString();
            QCOMPARE(document.value(QStringLiteral("asked")).toInt(), heard.size());
        } else {
            for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts))
                found << line.section(QStringLiteral("  "), 0, 0);
        }
        QCOMPARE(found, (QStringList{"01", "02", "03", "04", "05"}));
    }

    // Ctrl-C in a loop test: it stops at once and counts what went out.
    void interruptedLoop()
    {
        makeBench(QStringLiteral("loop"));
        qint64 looped = 0;
        connect(bench->converter(), &SimConverter::received, this, [&](const QByteArray &bytes) {
            if (looped < 50 && (looped += bytes.size()) >= 50)
                ::kill(pid_t(running), SIGINT);
        });
        const Outcome run = cli({"-j", "loop", "%converter", "--delay", "5"});
        QCOMPARE(run.status, 130);
        const int sent = QJsonDocument::fromJson(run.out.toUtf8()).object().value("sent").toInt();
        QVERIFY2(sent >= 50 && sent < 837, qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
