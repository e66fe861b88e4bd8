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

namespace {

std::unique_ptr<SerialCommPort> portAt(int number, const QString &settings = "  9600,n,8,1")
{
    auto port = std::make_unique<SerialCommPort>();
    port->setCommPort(number);
    port->setSettings(settings);
    return port;
}

}  // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();
        WaitContext::install(&clock, &pump);
    }

    void opensAtTheRateAndJoinsATwoPieceReply()
    {
        TestPty pty;
        QVERIFY(pty.isValid());
        pty.linkAs(3);
        auto port = portAt(3, QStringLiteral("115200,n,8,1"));  // padded rates: the end-to-end runs
        port->setPortOpen(true);
        QVERIFY(port->portOpen());
        QCOMPARE(port->device(), pty.slavePath());
        QCOMPARE(pty.lineRate(), 115200);
        // The module answers the first command it reads in two pieces, 30 ms apart.
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
        CommandExchange exchange(*port);
        QString command = QStringLiteral("$01F");
        QCOMPARE(exchange.Response(command, false, 1000), QStringLiteral("!01E41\r"));
        QCOMPARE(received, QByteArray("$01F\r"));
        port->setPortOpen(false);
        QVERIFY(!port->portOpen());
    }

    void openFails_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("held");
        QTest::newRow("nothing behind COM19") << 19 << "  9600,n,8,1" << false;
        QTest::newRow("no rate in the settings") << 6 << ",n,8,1" << false;
        QTest::newRow("held by another port") << 6 << "  9600,n,8,1" << true;
    }
    void openFails()
    {
        QFETCH(int, number);
        QFETCH(QString, settings);
        QFETCH(bool, held);
        TestPty pty;
        pty.linkAs(6);
        // A link to a device that is gone must not be taken for a port either.
        QFile::link(QStringLiteral("/dev/pts/nonexistent"),
                    PortResolver::linkFolder() + QStringLiteral("/COM19"));
        auto holder = portAt(6);
        if (held)
            holder->setPortOpen(true);
        auto port = portAt(number, settings);
        QVERIFY_THROWS_EXCEPTION(CommError, port->setPortOpen(true));
        QVERIFY(!port->portOpen());
        if (held) {
            holder->setPortOpen(false);
            port->setPortOpen(true);  // free again once the other lets go
            QVERIFY(port->portOpen());
        }
    }

    void hangUpIsReportedOnceAndThePortCloses()
    {
        auto pty = std::make_unique<TestPty>();
        pty->linkAs(7);
        auto port = portAt(7);
        port->setPortOpen(true);
        QSignalSpy lost(port.get(), &CommPort::lineLost);
        pty->closeMaster();
        QTRY_VERIFY(!port->portOpen());
        // Give a spinning notifier every chance to report again.
        for (int i = 0; i < 200; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1);
        QVERIFY_THROWS_EXCEPTION(CommError, port->input());
        // A new line behind the same name opens again.
        pty = std::make_unique<TestPty>();
        pty->linkAs(7);
        port->setPortOpen(true);
        QVERIFY(port->portOpen());
    }

private:
    SteadyClock clock;
    QtEventPump pump;
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
