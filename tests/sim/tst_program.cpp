// mirvel-sim as an operator runs it: its command line, what it prints, COMn linked while it runs
// and released when it is stopped, and the window's exchange against it.
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/exchange.h"
#include "link/portresolver.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "sim/simbench.h"
#include "support/pty.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <csignal>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();
        WaitContext::install(&clock, &pump);
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/mirvel-sim");
        if (!QFileInfo(program).isExecutable())
            QSKIP("mirvel-sim is not built next to the tests");
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unknown model") << QStringList{"--module", "E99:01:9600"} << 2;
        QTest::newRow("com 21") << QStringList{"--com", "21"} << 2;
        QTest::newRow("port too big") << QStringList{"--converter", "70000"} << 2;
        QTest::newRow("fault without value") << QStringList{"--fault", "delay"} << 2;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2;
        QTest::newRow("option without value") << QStringList{"--module"} << 2;
        QTest::newRow("COM name in use") << QStringList{"--com", "12", "--no-converter"} << 1;
        QTest::newRow("help") << QStringList{"--help"} << 0;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        SimBench running;
        QVERIFY(running.startSerial(12));
        QProcess process;
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        // Help goes to the output; a mistake is named on the error stream only.
        QVERIFY2(exitCode == 0 ? out.contains(QLatin1String("--module MODEL:ADDR:RATE"))
                               : err.startsWith(QLatin1String("mirvel-sim: ")) && out.isEmpty(),
                 qPrintable(out + err));
        QCOMPARE(err.contains(QLatin1String("Usage: mirvel-sim")), exitCode == 2);
        QCOMPARE(QFileInfo(PortResolver::linkFolder() + QStringLiteral("/COM12")).symLinkTarget(),
                 running.serial()->slavePath());
    }

    void servesItsBenchUntilStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void servesItsBenchUntilStopped()
    {
        QFETCH(int, signal);
        QProcess process;
        process.start(
            program, {"--module", "E41:01:9600:nochk", "--module", "E82:05:19200:chk", "--com", "9",
                      "--converter", "0", "--converter-rate", "19200", "--activity", "0"});
        const QString banner = readBanner(process);
        const QString link = PortResolver::linkFolder() + QStringLiteral("/COM9");
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(banner.contains(
            QStringLiteral("serial: COM9 -> %1").arg(QFileInfo(link).symLinkTarget())));
        const QRegularExpressionMatch converter =
            QRegularExpression(QStringLiteral("converter: 127\\.0\\.0\\.1:(\\d+), bus mode"))
                .match(banner);
        QVERIFY2(converter.hasMatch(), qPrintable(banner));

        // The window's own serial port and exchange, on the program's pseudo-terminal.
        SerialCommPort port;
        port.setCommPort(9);
        port.setSettings(QStringLiteral("  9600,n,8,1"));
        port.setPortOpen(true);
        QString command = QStringLiteral("$01F");
        QCOMPARE(CommandExchange(port).Response(command, false, 1000), QStringLiteral("!01E41\r"));
        port.setPortOpen(false);

        // The converter's serial side at 19200 reaches the checksummed analog module.
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(converter.captured(1).toUInt()));
        QVERIFY(client.waitForConnected(3000));
        client.write("$05FCF\r");
        QByteArray reply;
        while (!reply.contains('\r') && client.waitForReadyRead(3000))
            reply += client.readAll();
        QCOMPARE(reply, QByteArray("!05E82M82\r"));

        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void defaultBenchHasEveryModelAndQuickModulesAt9600()
    {
        const QList<SimModuleSettings> modules = SimBench::defaultModules();
        // Several of every model at several rates, some checksummed, and a quick scan at 9600
        // finds modules among the first addresses.
        QSet<int> addresses, rates;
        QMap<SimModel, int> perModel;
        int checksummed = 0, quick = 0;
        for (const SimModuleSettings &s : modules) {
            addresses << s.address;
            rates << s.rate;
            ++perModel[s.model];
            checksummed += s.checksum;
            quick += s.rate == 9600 && !s.checksum && s.address < 0x08;
        }
        QCOMPARE(addresses.size(), modules.size());
        QCOMPARE(perModel.size(), 5);
        QVERIFY(*std::min_element(perModel.begin(), perModel.end()) >= 2);
        QVERIFY(rates.size() >= 5 && checksummed > 0 && quick >= 5);

        QProcess process;
        process.start(program, {"--com", "8", "--no-converter"});
        const QString banner = readBanner(process);
        for (const SimModuleSettings &s : modules)
            QVERIFY2(banner.contains(simDescribeModule(s)), qPrintable(banner));
        QVERIFY(!banner.contains(QLatin1String("converter:")));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

private:
    // Everything the program prints before it starts serving.
    static QString readBanner(QProcess &process)
    {
        QByteArray out;
        while (!out.contains("Ctrl-C ends the simulator.") && process.waitForReadyRead(5000))
            out += process.readAllStandardOutput();
        return QString::fromLocal8Bit(out);
    }

    SteadyClock clock;
    QtEventPump pump;
    QString program;
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
