// The serial port over QSerialPort on a pseudo-terminal: settings on the line, a reply in two
// pieces, a busy or missing port, and a far end that hangs up.
#include "link/clock.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/exchange.h"
#include "link/portresolver.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "support/pty.h"

#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();
        WaitContext::install(&clock, &pump);
    }

    void opensAtTheChosenRate_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("rate");
        QTest::newRow("padded 9600") << "  9600,n,8,1" << 9600;
        QTest::newRow("padded 1200") << "  1200,n,8,1" << 1200;
        QTest::newRow("115200") << "115200,n,8,1" << 115200;
    }
    void opensAtTheChosenRate()
    {
        QFETCH(QString, settings);
        QFETCH(int, rate);
        TestPty pty;
        QVERIFY(pty.isValid());
        pty.linkAs(3);
        SerialCommPort port;
        port.setCommPort(3);
        port.setSettings(settings);
        port.setPortOpen(true);
        QVERIFY(port.portOpen());
        QCOMPARE(port.device(), pty.slavePath());
        QCOMPARE(pty.lineRate(), rate);
        port.setPortOpen(false);
        QVERIFY(!port.portOpen());
    }

    void replyInTwoPiecesComesBackJoined()
    {
        TestPty pty;
        pty.linkAs(4);
        SerialCommPort port;
        port.setCommPort(4);
        port.setSettings(QStringLiteral("  9600,n,8,1"));
        port.setPortOpen(true);

        // The module: answers the first command it reads in two pieces, 30 ms apart.
        QByteArray received;
        QSocketNotifier notifier(pty.master(), QSocketNotifier::Read);
        connect(&notifier, &QSocketNotifier::activated, this, [&] {
            received += pty.readMaster(0);
            if (received.endsWith('\r')) {
                notifier.setEnabled(false);
                pty.writeMaster("!01");
                QTimer::singleShot(30, this, [&] { pty.writeMaster("E41\r"); });
            }
        });

        CommandExchange exchange(port);
        QString command = QStringLiteral("$01F");
        const QString reply = exchange.Response(command, false, 1000);
        QCOMPARE(received, QByteArray("$01F\r"));
        QCOMPARE(reply, QStringLiteral("!01E41\r"));
    }

    void secondOpenOfTheSameDeviceFails()
    {
        TestPty pty;
        pty.linkAs(5);
        SerialCommPort first;
        first.setCommPort(5);
        first.setPortOpen(true);
        SerialCommPort second;
        second.setCommPort(5);
        QVERIFY_THROWS_EXCEPTION(CommError, second.setPortOpen(true));
        QVERIFY(!second.portOpen());
        first.setPortOpen(false);
        second.setPortOpen(true);  // free again once the first lets go
        QVERIFY(second.portOpen());
    }

    void missingPortOrBadSettingsFail_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("settings");
        QTest::newRow("nothing behind COM19") << 19 << "  9600,n,8,1";
        QTest::newRow("no rate in the settings") << 6 << ",n,8,1";
    }
    void missingPortOrBadSettingsFail()
    {
        QFETCH(int, number);
        QFETCH(QString, settings);
        TestPty pty;
        pty.linkAs(6);
        // A link to a device that is gone must not be taken for a port either.
        QFile::link(QStringLiteral("/dev/pts/nonexistent"),
                    PortResolver::linkFolder() + QStringLiteral("/COM19"));
        SerialCommPort port;
        port.setCommPort(number);
        port.setSettings(settings);
        QVERIFY_THROWS_EXCEPTION(CommError, port.setPortOpen(true));
        QVERIFY(!port.portOpen());
    }

    void hangUpIsReportedOnceAndThePortCloses()
    {
        auto pty = std::make_unique<TestPty>();
        pty->linkAs(7);
        SerialCommPort port;
        port.setCommPort(7);
        port.setPortOpen(true);
        QSignalSpy lost(&port, &CommPort::lineLost);

        pty->closeMaster();
        QTRY_VERIFY(!port.portOpen());
        // Give a spinning notifier every chance to report again.
        for (int i = 0; i < 200; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1);
        QVERIFY_THROWS_EXCEPTION(CommError, port.input());

        // A new line behind the same name opens again.
        pty = std::make_unique<TestPty>();
        pty->linkAs(7);
        port.setPortOpen(true);
        QVERIFY(port.portOpen());
    }

private:
    SteadyClock clock;
    QtEventPump pump;
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
