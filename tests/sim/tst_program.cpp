// The program mirvel-sim as an operator runs it: its command line, what it prints, COMn linked
// while it runs and released when it is stopped, and the program's exchange against it.
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
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

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

    void malformedCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown model") << QStringList{"--module", "E99:01:9600"};
        QTest::newRow("module without rate") << QStringList{"--module", "E41:01"};
        QTest::newRow("com 0") << QStringList{"--com", "0"};
        QTest::newRow("com 21") << QStringList{"--com", "21"};
        QTest::newRow("com not a number") << QStringList{"--com", "one"};
        QTest::newRow("port too big") << QStringList{"--converter", "70000"};
        QTest::newRow("odd converter rate") << QStringList{"--converter-rate", "1234"};
        QTest::newRow("port and none") << QStringList{"--converter", "5", "--no-converter"};
        QTest::newRow("unknown fault") << QStringList{"--fault", "melt"};
        QTest::newRow("fault address") << QStringList{"--fault", "silent", "--fault-address", "1G"};
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("stray argument") << QStringList{"E41:01:9600"};
        QTest::newRow("option without value") << QStringList{"--module"};
    }
    void malformedCommandLine()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(err.startsWith(QLatin1String("mirvel-sim: ")), qPrintable(err));
        QVERIFY(err.contains(QLatin1String("Usage: mirvel-sim")));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void helpIsNotAnError()
    {
        QProcess process;
        process.start(program, {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput().contains("--module MODEL:ADDR:RATE"));
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
        QVERIFY2(banner.contains(QLatin1String("E41 at 01, 9600 baud, checksum off")),
                 qPrintable(banner));
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
        client.close();

        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void defaultBenchListsEveryModule()
    {
        QProcess process;
        process.start(program, {"--com", "8", "--no-converter"});
        const QString banner = readBanner(process);
        QCOMPARE(banner.count(QLatin1String(" baud, checksum ")),
                 SimBench::defaultModules().size());
        QVERIFY(!banner.contains(QLatin1String("converter:")));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

    void doesNotTakeANameInUse()
    {
        SimBench running;
        QVERIFY(running.startSerial(12));
        QProcess process;
        process.start(program, {"--com", "12", "--no-converter"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("--com"));
        QCOMPARE(QFileInfo(PortResolver::linkFolder() + QStringLiteral("/COM12")).symLinkTarget(),
                 running.serial()->slavePath());
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
