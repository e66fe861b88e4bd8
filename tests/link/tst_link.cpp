// The core, without a widget: checksum, Modbus RTU frames, the exchange and the waits on the fake
// clock, the real serial port on the simulator's pseudo-terminal, and the COMn convention both
// sides share.
#include "link/checksum.h"
#include "link/errors.h"
#include "link/portresolver.h"
#include "link/rtuframe.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "platform/os.h"
#include "sim/simbench.h"
#include "sim/simwire.h"
#include "support/fakes.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

// What the text under the lists tells of a COM name: what it stands for (COM3 is pinned by a
// link in `folder` to {pin}, a file, read-only where the hint is expected) and why it does not
// open (null: not tried), with XDG_RUNTIME_DIR set to `runtime`.
struct PortText
{
    const char *name, *runtime, *folder;
    int com;
    QString settings, device, refused = {};
};
Q_DECLARE_METATYPE(PortText)

class TestLink : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;

private slots:
    void initTestCase()
    {
        usePrivateRuntimeDir();
        // Where the link folder falls back on: the temporary folder, for the user ann.
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
        qputenv("USER", "ann");
    }

    void written_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QByteArray>("line");  // null: refused, nothing written
        QTest::addColumn<QString>("after");    // the caller's string after the call
        QTest::newRow("summed") << "$01M" << true << QByteArray("$01MD2\r") << "$01MD2";
        QTest::newRow("plain") << "$01M" << false << QByteArray("$01M\r") << "$01M";
        QTest::newRow("summed, lower case, blanks")
            << " $01m " << true << QByteArray("$01MD2\r") << "$01MD2";
        QTest::newRow("plain, lower case, blanks")
            << " $01m " << false << QByteArray("$01m\r") << " $01m ";
        QTest::newRow("empty, summed") << "" << true << QByteArray("0\r") << "0";
        QTest::newRow("empty, plain") << "" << false << QByteArray("\r") << "";
        QTest::newRow("sum above FF") << "%zzz" << true << QByteArray("%ZZZ33\r") << "%ZZZ33";
        QTest::newRow("no single-byte code") << "$01\u20AC" << true << QByteArray() << "$01\u20AC";
        QTest::newRow("sum beyond 16 bits")
            << QString(400, u'z') << true << QByteArray() << QString(400, u'z');
    }
    void written()
    {
        QFETCH(QString, command);
        QFETCH(bool, checksum);
        QFETCH(QByteArray, line);
        FakeLink f;
        f.port.receive("!99 stale\r");
        f.answer([](const QString &) { return QStringLiteral("!01\r"); });
        if (line.isNull())
            QVERIFY_THROWS_EXCEPTION(FormatError, f.link.Response(command, checksum, 60));
        else
            QCOMPARE(f.link.Response(command, checksum, 60), QStringLiteral("!01\r"));
        QCOMPARE(f.port.written(), line.isNull() ? QStringList() : QStringList{line});
        QCOMPARE(command, row<QString>("after"));
        // The module's own rule, worked out by the simulator, agrees with the line written.
        if (checksum && command.size() > 2 && !line.isNull())
            QCOMPARE(simAsciiChecksum(command.chopped(2).toLatin1()), command.right(2).toLatin1());
        f.port.setPortOpen(false);
        QVERIFY_THROWS_EXCEPTION(CommError, f.link.Response(command = "$01M", false, 60));
        QCOMPARE(f.port.writes.size(), line.isNull() ? 0 : 1);
    }

    void reply_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");  // arriving 5 ms apart, the first at once
        QTest::addColumn<QString>("reply");
        QTest::addColumn<quint32>("took");
        using L = QList<QByteArray>;
        // The first piece comes in during the pump, after the read: the wait must not sleep on it.
        QTest::newRow("whole") << L{"!01E41\r"} << "!01E41\r" << 0u;
        QTest::newRow("two pieces") << L{"!01", "E41\r"} << "!01E41\r" << 5u;
        QTest::newRow("blank ending a piece") << L{"!01 ", "E41\r"} << "!01E41\r" << 5u;
        QTest::newRow("leading blanks") << L{"   !01\r"} << "!01\r" << 0u;
        QTest::newRow("after the return") << L{"!01\rXY"} << "!01\rXY" << 0u;
        QTest::newRow("nothing") << L{} << "" << 200u;
        QTest::newRow("no return") << L{"!01"} << "!01" << 200u;
    }
    void reply()
    {
        QFETCH(QList<QByteArray>, pieces);
        FakeLink f;
        f.time.advance(0xFFFFFFFFu - 1000 - 100);  // the tick counter wraps during the wait
        for (int i = 0; i < pieces.size(); ++i)
            f.time.at(quint32(5 * i), [&f, piece = pieces.at(i)] { f.port.receive(piece); });
        QSignalSpy spy(&f.link, &CommandLink::exchanged);
        const quint32 start = f.time.tickCount();
        QString command = QStringLiteral("$01F");
        QCOMPARE(f.link.Response(command, false, 200), row<QString>("reply"));
        QCOMPARE(f.time.tickCount() - start, row<quint32>("took"));
        const auto record = spy.at(0).at(0).value<ExchangeRecord>();
        QCOMPARE(record.answered, row<QString>("reply").contains(u'\r'));
        QCOMPARE(record.elapsedMs, row<quint32>("took"));
    }

    void delays_data()
    {
        QTest::addColumn<qint32>("ms");
        for (qint32 ms : {0, -5, 100})
            QTest::addRow("%d", ms) << ms;
    }
    void delays()
    {
        FakeLink f;
        f.time.advance(0xFFFFFFFFu - 1000 - 50);
        int ran = 0;
        f.time.at(0, [&ran] { ++ran; });  // events run at least once, even for no wait at all
        const quint32 start = f.time.tickCount();
        const qint32 ms = row<qint32>("ms");
        f.link.Delay(ms);
        QCOMPARE(ran, 1);
        QCOMPARE(qint32(f.time.tickCount() - start), qMax(ms, 0));
    }

    void frame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("data");  // null: refused
        QTest::newRow("default") << "1 46 0 0" << QByteArray::fromHex("01460000");
        QTest::newRow("empty") << "" << QByteArray("");
        QTest::newRow("blanks") << "   " << QByteArray("");
        QTest::newRow("many blanks") << "  01   46  " << QByteArray::fromHex("0146");
        QTest::newRow("cases") << "ff FF 0FF" << QByteArray::fromHex("FFFFFF");
        for (const char *bad : {"100", "G1", "0x1", "+1", "1\t2", "1,2"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << QByteArray();
    }
    void frame()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, data);
        if (data.isNull())
            QVERIFY_THROWS_EXCEPTION(FormatError, BuildRtuFrame(text));
        else
            QCOMPARE(BuildRtuFrame(text).toHex(' '), simWithCrc(data).toHex(' '));
    }

    void crcAgreesWithTheSimulator()
    {
        QCOMPARE(BuildRtuFrame(QStringLiteral("01 03 00 00 00 01")).toHex(), "010300000001840a");
        QRandomGenerator random(7);
        for (int n = 0; n < 200; ++n) {
            QByteArray data;
            for (int i = random.bounded(40); i > 0; --i)
                data += char(random.bounded(256));
            QCOMPARE(BuildRtuFrame(QString::fromLatin1(data.toHex(' '))), simWithCrc(data));
        }
        QCOMPARE(hexDump(QByteArray::fromHex("01A0FF")), QStringLiteral("01 A0 FF "));
        QCOMPARE(settingsRate(QStringLiteral("  9600,n,8,1")), QStringLiteral("9600"));
    }

    // The system's ports as the names COM1, COM2, … take them; "usb:" marks an adapter.
    void portOrder_data()
    {
        QTest::addColumn<QStringList>("listed");  // in the system's order
        QTest::addColumn<QStringList>("names");   // the ports behind COM1, COM2, …; "" none
        using L = QStringList;
        QTest::newRow("USB adapters first") << L{"ttyS1", "usb:ttyUSB1", "ttyS0", "usb:ttyACM0"}
                                            << L{"ttyACM0", "ttyUSB1", "ttyS0", "ttyS1"};
        QTest::newRow("named COMn")
            << L{"COM3", "usb:COM1"}
            << (QByteArray(Os::name()) == "generic" ? L{"COM1", "", "COM3"} : L{"COM1", "COM3"});
    }
    void portOrder()
    {
        QList<Os::PortListing> listed;
        for (const QString &port : row<QStringList>("listed"))
            listed.append({port.section(u':', -1), port.startsWith("usb:")});
        QStringList names;
        for (const qsizetype index : Os::numberPorts(listed))
            names << (index < 0 ? QString() : listed.at(index).name);
        QCOMPARE(names, row<QStringList>("names"));
    }

    void portTexts_data()
    {
        const char *fallback =
            QByteArray(Os::name()) == "generic" ? "{qt}/mirvel" : "{tmp}/runtime-ann/mirvel";
        const QString pinned = "{pin} (pinned in {folder})", plain = "9600,n,8,1";
        // clang-format off
        addRows<PortText>({
            {"pinned", "{xdg}", "{xdg}/mirvel", 3, plain, pinned},
            {"pinned, runtime folder unset", "", fallback, 3, plain, pinned},
            {"missing", "{xdg}", "{xdg}/mirvel", 20, plain, "no device", "COM20: no such port"},
            {"not permitted", "{xdg}", "{xdg}/mirvel", 3, plain, pinned, "Permission denied on "
             "{pin}: the user must join the group \"{group}\" (then log in again)."},
            {"bad settings", "{xdg}", "{xdg}/mirvel", 20, ",n,8,1", "no device",
             "Invalid port settings \",n,8,1\""},
        });
        // clang-format on
    }
    void portTexts()
    {
        const auto &p = row<PortText>("row");
        const bool locked = p.refused.startsWith("Permission");
        QFile pin(m_tmp.filePath(locked ? "locked" : "device"));
        QVERIFY(pin.open(QIODevice::WriteOnly));
        pin.close();
        if (locked && pin.setPermissions(QFile::ReadOwner) && QFileInfo(pin).isWritable()) {
            // QSKIP with its reason alone is not pedantic C++17.
            QTest::qSkip("Run as root, who may open a file without write permission for writing",
                         __FILE__, __LINE__);
            return;
        }
        const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([xdg] { qputenv("XDG_RUNTIME_DIR", xdg); });
        const auto expand = [&](QString text) {
            const QString qt = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
            text.replace("{folder}", p.folder).replace("{pin}", pin.fileName());
            text.replace("{group}", QFileInfo(pin).group()).replace("{tmp}", m_tmp.path());
            return text.replace("{xdg}", xdg).replace("{qt}", qt);
        };
        qputenv("XDG_RUNTIME_DIR", expand(p.runtime).toLocal8Bit());  // "": as good as unset
        const QString link = expand("{folder}/COM3");
        QFile::remove(link);
        QVERIFY(QDir().mkpath(QFileInfo(link).path()) && pin.link(link));
        QCOMPARE(PortResolver::resolve(p.com).description, expand(p.device));
        if (p.refused.isNull())
            return;
        SerialCommPort port;
        port.setCommPort(p.com);
        port.setSettings(p.settings);
        try {
            port.setPortOpen(true);
            QFAIL("opened");
        } catch (const CommError &error) {
            QCOMPARE(error.message(), expand(p.refused));
        }
    }

    void serialPortOnThePseudoTerminal()
    {
        // The core on its own: a plain QCoreApplication, and no widget linked into this suite.
        QCOMPARE(QCoreApplication::instance()->metaObject()->className(), "QCoreApplication");
        // The program finds the link the simulator made, and talks to it at the rate it chose.
        SimBench bench;
        bench.addModule({SimModel::E41, 0x01, 19200, false});
        QVERIFY(bench.startSerial(7));
        QCOMPARE(PortResolver::resolve(7).device, bench.serial()->slavePath());

        SerialCommPort port;
        port.setCommPort(7);
        port.setSettings(QStringLiteral(" 19200,n,8,1"));
        port.setPortOpen(true);
        QCOMPARE(bench.serial()->lineRate(), 19200);
        SerialCommPort second;
        second.setCommPort(7);
        QVERIFY_THROWS_EXCEPTION(CommError, second.setPortOpen(true));  // held by the first

        SteadyClock clock;
        QtEventPump pump;
        WaitContext waits(clock, pump);
        CommandLink link(port, waits);
        SimFault pieces;
        QVERIFY(simParseFault(QStringLiteral("pieces=3,20"), pieces));
        bench.bus().setFault(pieces);
        QCOMPARE(link.ask(QStringLiteral("$01M"), false, 10000), QStringLiteral("!01QRD-E41\r"));

        QSignalSpy lost(&port, &CommPort::lineLost);
        bench.serial()->dropLine();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!port.portOpen());
        QTest::qWait(100);
        QCOMPARE(lost.size(), 1);
    }
};

Q_DECLARE_METATYPE(ExchangeRecord)

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
