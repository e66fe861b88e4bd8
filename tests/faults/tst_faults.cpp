// The window on the simulator's line and converter: faults, from an unplugged adapter to a flooding
// converter, end as the operator expects.
#include "link/convertersocket.h"
#include "network/networktest.h"
#include "shell/commsettings.h"
#include "support/rig.h"
#include "widgets/formtimer.h"

#include <QtWidgets>

namespace {

constexpr int Bound = 20000;  // only keeps a broken case from hanging the suite
const QString Lost = QStringLiteral("The communication");  // a lost line's box
using L = QStringList;

// The window on the simulator's line, opened at 9600: module 00 (E47) in grid row 1, selected,
// 01 at 115200, 02 (E41), and the converter on 127.0.0.1. Counts what streams and floods bring,
// and watches every timer's ticks for one nested in another.
struct Bench
{
    Window w{{{SimModel::E47, 0x00, 9600, false},
              {SimModel::E47, 0x01, 115200, false},
              {SimModel::E41, 0x02, 9600, false}}};
    SimFault fault;
    qint64 got = 0, gotAtProbe = -1;  // in all; when a timer armed as it began fired
    QHash<FormTimer *, int> depth, deepest;

    Bench()
    {
        w.open();
        WindowProbe::grid(w.form()).setTextArray(ScanGrid::Cols, "00");  // as a scan leaves it
        w.w<QPushButton>("Com_Configuration")->setEnabled(true);
        w.select(1);
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(w.sim->startConverter()));
        w.setText("Text_Time", "80");
        QTimer::singleShot(Bound, &w.form(), [this] { w.click("Opt_ASC"); });  // ends a hung loop
        const auto count = [this](qint64 bytes) {
            if (std::exchange(got, got + bytes) == 0)
                QTimer::singleShot(0, &w.form(), [this] { gotAtProbe = got; });
            if (fault.endlessBytes && got >= fault.endlessBytes)
                w.click("Opt_ASC");
        };
        QObject::connect(&w.port(), &CommPort::received,
                         [count](const QByteArray &bytes) { count(bytes.size()); });
        QObject::connect(&WindowProbe::socket(w.form()), &ConverterSocket::DataArrival, count);
        for (FormTimer *t : w.form().findChildren<FormTimer *>())
            t->onTick = [this, t, inner = t->onTick] {
                deepest[t] = qMax(deepest[t], ++depth[t]);
                inner();
                --depth[t];
            };
    }
    // The module at 00 taken up; asked again while a busy machine keeps its answer to the model
    // query past that query's time-out.
    void takeUp() const
    {
        for (int tries = 0; tries < 20 && !w.w<QPushButton>("Com_Write")->isEnabled(); ++tries)
            w.click("Com_Configuration");
    }
    QString send(const QString &command) const
    {
        w.setText("Text_Send", command);
        w.click("Com_send");
        return w.text("Text_Rec");
    }
    L boxes() const  // the first two words of each box shown
    {
        L words;
        for (const QString &text : w.boxes.texts())
            words << text.section(u' ', 0, 1);
        return words;
    }
    L running() const
    {
        L on;
        for (const char *name : {"Timer_Send", "Timer1", "Timer3", "Timer_Loop"})
            if (w.w<FormTimer>(name)->isEnabled())
                on << name;
        return on;
    }
};

}  // namespace

class TestFaults : public QObject
{
    Q_OBJECT
    std::unique_ptr<Bench> m_bench;
    Bench &start() { return *(m_bench = std::make_unique<Bench>()); }

private slots:
    // After each fault nothing runs on, no tick has nested in its own, and the window works on
    // and tells of the next loss once.
    void cleanup()
    {
        const std::unique_ptr<Bench> b = std::move(m_bench);
        if (!b || QTest::currentTestFailed())
            return;
        QCOMPARE(b->running(), L());
        QCOMPARE(QList<int>(b->deepest.cbegin(), b->deepest.cend()),
                 QList<int>(b->deepest.size(), 1));
        b->w.boxes.shown.clear();
        b->w.sim->bus().clearFault();
        b->w.open();
        const QString answered = QStringLiteral(" !00QRD-E47\r\r\n");
        QString reply;  // asked again while a busy machine keeps the answer past the time-out
        for (int tries = 0; tries < 20 && reply != answered; ++tries)
            reply = b->send("$00M");
        QCOMPARE(reply, answered);
        QCOMPARE(b->boxes(), L());
        b->w.sim->serial()->dropLine();
        QTRY_COMPARE(b->boxes(), L{Lost});
        b->w.tick("Timer3");  // a scan step on the dead port: told no second time until reopened
        QCoreApplication::processEvents();
        QCOMPARE(b->boxes(), L{Lost});
    }

    // The adapter unplugged in the middle of the work: the line goes when `heard` reaches it.
    void unplugged_data()
    {
        QTest::addColumn<QString>("button");  // what sets the work going
        QTest::addColumn<QByteArray>("heard");
        QTest::addColumn<L>("told");  // the first two words of each box
        QTest::newRow("terminal send") << "Com_send" << QByteArray("$00M") << L{Lost};
        QTest::newRow("auto-repeat") << "Check_Auto" << QByteArray("$00M") << L{Lost};
        QTest::newRow("current scan") << "Com_Scan_OK" << QByteArray("$01F") << L{Lost};
        QTest::newRow("all-settings scan") << "Com_Scan_All" << QByteArray("$00FCA") << L{Lost};
        QTest::newRow("RTU receive loop") << "Opt_RTU" << QByteArray::fromHex("0046") << L{Lost};
        QTest::newRow("module take-up") << "Com_Configuration" << QByteArray("#000") << L{Lost};
        QTest::newRow("output click") << "Com_DO0" << QByteArray("#001001") << L{Lost};
        QTest::newRow("write") << "Com_Write" << QByteArray("%0")
                               << L{"Please Check", Lost, "Save Fail........"};
    }
    void unplugged()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, heard);
        Bench &b = start();
        const bool panel = button == "Com_DO0" || button == "Com_Write";
        if (panel)
            b.takeUp();
        QObject here;  // what is connected below ends with this function
        bool dropped = false;
        QObject::connect(&b.w.sim->bus(), &SimBus::heard, &here, [&](const QByteArray &frame) {
            if (frame.startsWith(heard) && !std::exchange(dropped, true))
                QTimer::singleShot(0, &here, [&b] { b.w.sim->serial()->dropLine(); });
        });
        L atLoss{"not lost"};  // the timers on just after the window heard of it
        QObject::connect(&b.w.port(), &CommPort::lineLost, &here, [&] { atLoss = b.running(); });
        if (button == "Opt_RTU") {
            QTimer::singleShot(0, &here, [&b] { b.send("0 46 0 0"); });
            b.w.open(3, true);  // the receive loop, until it ends
            QVERIFY(b.w.w<QRadioButton>("Opt_RTU")->isChecked());  // ended by the loss
        } else {
            b.w.setText("Text_Send", "$00M");
            b.w.click(button);
            // A take-up whose model answer came too late asks for no counter: clicked again.
            for (int tries = 0; button == "Com_Configuration" && !dropped && tries < 20; ++tries)
                b.w.click(button);
        }
        QTRY_VERIFY_WITH_TIMEOUT(b.boxes().contains(Lost), Bound);
        QCOMPARE(atLoss, L());  // no repeat or scan outlives the line
        QCOMPARE(b.w.w<QPushButton>("Com_Write")->isEnabled(), panel);  // nothing half up
        QVERIFY(b.w.sim->serial()->replug());
        QCOMPARE(b.boxes(), row<L>("told"));
    }

    // A stream into the Modbus RTU receive loop for seconds at the line rate: the probe fires
    // while it pours in, and the box keeps the newest part.
    void streamIntoTheReceiveLoop()
    {
        Bench &b = start();
        b.fault.endlessBytes = 25000;
        b.w.sim->bus().setFault(b.fault);
        QTimer::singleShot(0, &b.w.form(), [&b] { b.w.click("Com_send"); });  // "1 46 0 0"
        b.w.open(7, true);  // the receive loop, until ASCII is chosen
        QVERIFY(b.gotAtProbe > 0 && b.gotAtProbe < b.got && b.got == b.fault.endlessBytes);
        QCOMPARE(b.w.text("Text_Rec").size(), CommSettings::ReceiveKeepLimit);
        QCOMPARE(b.boxes(), L{"The Checksum/Baud-Rate"});
    }

    // With the module at 00 taken up, cells that name no module: an empty one, and one holding
    // a character the line cannot carry, which no handler looks for and the window tells.
    void gridCellsThatNameNoModule()
    {
        Bench &b = start();
        b.takeUp();
        b.w.select(5);
        b.w.click("Com_DO0");
        WindowProbe::grid(b.w.form()).setTextArray(2 * ScanGrid::Cols, "\u20AC1");
        b.w.select(2);
        b.w.click("Com_DO1");
        QVERIFY(!b.w.w<QPushButton>("Com_DO1")->isChecked());  // as it was: nothing went out
        b.w.click("Com_Configuration");  // no model answers: nothing left enabled
        QVERIFY(!b.w.w<QPushButton>("Com_Write")->isEnabled());
        QCOMPARE(b.boxes(), (L{"Data format", "Data format"}));
    }

    // Every button pressed in turn, each inside the waits of what runs, with the ticks due.
    void buttonStorm_data()
    {
        QTest::addColumn<QString>("button");  // what runs meanwhile
        QTest::newRow("during a scan") << "Com_Scan_OK";
        QTest::newRow("during a write") << "Com_Write";
    }
    void buttonStorm()
    {
        QFETCH(QString, button);
        Bench &b = start();
        if (button == "Com_Write")
            b.takeUp();
        const auto buttons = b.w.form().findChildren<QPushButton *>();
        int left = int(buttons.size());
        QObject here;
        for (int i = 0; i < left; ++i)
            QTimer::singleShot(10 + 15 * i, &here, [&, pressed = buttons.at(i)] {
                --left;
                if (pressed->isEnabled() &&  // but Exit and Link
                    !pressed->objectName().contains(QRegularExpression("Exit|link")))
                    pressed->click();
                for (FormTimer *t : b.w.form().findChildren<FormTimer *>())
                    if (t->isEnabled())
                        TimerProbe::fire(*t);
            });
        b.w.setText("Text_Send", "$05M");  // nobody answers: each repeat outlasts its tick
        b.w.click("Check_Auto");
        b.w.click(button);
        QTRY_VERIFY_WITH_TIMEOUT(left == 0, Bound);
        b.w.click("Check_Auto");
        for (const char *scan : {"Com_Scan_OK", "Com_Scan_All"})
            if (b.w.text(scan) == QLatin1String("Stop"))
                b.w.click(scan);
        const L texts = b.w.boxes.texts();  // every write asked and told
        QCOMPARE(texts.filter("Please Check").size(), texts.filter("Save ").size());
    }

    // The converter page over the simulator's converter: a flood leaves the window responsive
    // and the box with the newest 64 KiB; then a command reaches the module at 00 through it.
    void converterFloods()
    {
        Bench &b = start();
        b.w.click("Com_link");
        b.w.sim->converter()->flood(10 << 20);
        QTRY_COMPARE_WITH_TIMEOUT(b.got, qint64(10 << 20), Bound);
        QVERIFY(b.gotAtProbe > 0 && b.gotAtProbe < b.got);
        QCOMPARE(b.w.text("Text_Tcpip_Receive").size(), NetworkTest::ReceiveKeepLimit);
        b.w.setText("Text_Tcpip_Send", "$00M");
        b.w.click("Com_Tcpip_Send");
        QTRY_COMPARE(b.w.text("Text_Tcpip_Receive"), QStringLiteral(" !00QRD-E47\r"));
        QCOMPARE(b.boxes(), L());
    }

    void repliesOnFakes()
    {
        Window w;
        w.open();
        const QByteArray nuls("!0\0\0E47\0\r", 9);  // kept as they came
        w.fakePort->responder = [&](const QByteArray &, const QString &) { return nuls; };
        w.click("Com_send");  // "$01M"
        QCOMPARE(w.text("Text_Rec"), u' ' + QString::fromLatin1(nuls) + "\r\n");
        // A reply without end: the exchange ends at its time-out with the first 64 KiB.
        w.fakePort->responder = [&w](const QByteArray &, const QString &) {
            for (quint32 ms = 1; ms <= 256; ++ms)
                w.time->at(ms, [&w] { w.fakePort->receive(QByteArray(4096, 'x')); });
            return QByteArray();
        };
        const quint32 start = w.time->tickCount();
        QString name = QStringLiteral("$00M"), model = QStringLiteral("$00F");
        QCOMPARE(w.form().Response(name, false, 200), QString(64 * 1024, u'x'));
        QCOMPARE(w.time->tickCount() - start, 200u);
        w.time->advance(1000);
        // A late reply: dropped if it came before the next command, taken if during its wait.
        w.fakePort->responder = [](const QByteArray &line, const QString &) { return line; };
        w.fakePort->replyDelay = 600;
        QStringList replies;
        for (quint32 pause : {600u, 0u}) {
            replies << w.form().Response(name, false, 100);
            w.time->advance(pause);
            replies << w.form().Response(model, false, 2000);
        }
        QCOMPARE(replies, (QStringList{"", "$00F\r", "", "$00M\r"}));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
