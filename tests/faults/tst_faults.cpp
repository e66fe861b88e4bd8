// Faults, from an unplugged adapter to a misbehaving converter, end as the operator expects.
#include "link/convertersocket.h"
#include "network/networktest.h"
#include "shell/commsettings.h"
#include "support/rig.h"
#include "widgets/formtimer.h"

#include <QtWidgets>

namespace {

constexpr int Bound = 20000;  // only keeps a broken case from hanging the suite
const QString Lost = QStringLiteral("The communication");  // a lost line's box

QString send(const Window &w, const QString &command)
{
    w.setText("Text_Send", command);
    w.click("Com_send");
    return w.text("Text_Rec");
}

enum Fault { Unplug, Junk, Stream, Held, Input, Cell, Storm, Converter };

}  // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void onTheSimulator_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("button");    // what sets the work going
        QTest::addColumn<QByteArray>("heard");  // unplugged: the line goes when this is heard
        QTest::addColumn<QString>("boxes");
        const auto add = [](const char *n, Fault f, const char *b, QByteArray h, QString x) {
            QTest::newRow(n) << int(f) << b << h << x;
        };
        add("unplugged: terminal send", Unplug, "Com_send", "$00M", Lost);
        add("unplugged: auto-repeat", Unplug, "Check_Auto", "$00M", Lost);
        add("unplugged: current scan", Unplug, "Com_Scan_OK", "$01F", Lost);
        add("unplugged: all-settings scan", Unplug, "Com_Scan_All", "$00FCA", Lost);
        add("unplugged: RTU receive loop", Unplug, "Opt_RTU", QByteArray::fromHex("0046"), Lost);
        add("unplugged: module take-up", Unplug, "Com_Configuration", "#000", Lost);
        add("unplugged: output click", Unplug, "Com_DO0", "#001001", Lost);
        add("unplugged: write", Unplug, "Com_Write", "%0",
            "Please Check|" + Lost + "|Save Fail........");
        add("garbage in single bytes", Junk, "", "", "");
        add("stream into the RTU receive loop", Stream, "", "", "The Checksum/Baud-Rate");
        add("port held by another program", Held, "", "", "Open Communication");
        add("bad Modbus token and interval", Input, "", "", "Data format|The auto-send");
        add("grid cell without an address", Cell, "Com_DO0", "", "");
        add("button storm during a scan", Storm, "Com_Scan_OK", "", "");
        add("button storm during a write", Storm, "Com_Write", "", "");
        add("converter misbehaving", Converter, "", "", "");
    }
    void onTheSimulator()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, heard);
        Window w({{SimModel::E47, 0x00, 9600, false},
                  {SimModel::E47, 0x01, 115200, false},
                  {SimModel::E41, 0x02, 9600, false}});
        w.open();
        const auto boxes = [&w] {  // the first two words of each box shown
            QStringList words;
            for (const QString &text : w.boxes.texts())
                words << text.section(u' ', 0, 1);
            return words.join(u'|');
        };
        const auto timersOn = [&w] {
            QString on;
            for (const char *name : {"Timer_Send", "Timer1", "Timer3", "Timer_Loop"})
                on += w.w<FormTimer>(name)->isEnabled() ? '1' : '0';
            return on;
        };
        WindowProbe::grid(w.form()).setTextArray(ScanGrid::Cols, "00");  // as a scan leaves it
        w.w<QPushButton>("Com_Configuration")->setEnabled(true);
        w.select(1);
        const bool panel = button == "Com_DO0" || button == "Com_Write";
        if (panel)
            w.click("Com_Configuration");
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(w.sim->startConverter()));
        SimConverter &converter = *w.sim->converter();
        QTimer::singleShot(Bound, &w.form(), [&] { w.click("Opt_ASC"); });  // ends a hung loop
        w.setText("Text_Time", "80");
        bool dropped = heard.isEmpty();
        QObject::connect(&w.sim->bus(), &SimBus::heard, [&](const QByteArray &frame) {
            if (frame.startsWith(heard) && !std::exchange(dropped, true))
                QTimer::singleShot(0, [&w] { w.sim->serial()->dropLine(); });
        });
        QString atLoss;  // just after the window heard of it
        QObject::connect(&w.port(), &CommPort::lineLost, [&] { atLoss = timersOn(); });
        SimFault simFault;
        qint64 got = 0, gotAtProbe = -1;  // what a stream or a flood brought
        const auto count = [&](qint64 bytes) {
            if (std::exchange(got, got + bytes) == 0)  // a timer armed as it begins
                QTimer::singleShot(0, [&] { gotAtProbe = got; });
            if (simFault.endlessBytes && got >= simFault.endlessBytes)
                w.click("Opt_ASC");
            if (converter.mode() == SimConverter::Mode::Loop && got >= 10)  // ten echoed
                QTimer::singleShot(0, &converter, &SimConverter::hangUp);
        };
        QObject::connect(&w.port(), &CommPort::received,
                         [&](const QByteArray &b) { count(b.size()); });
        QObject::connect(&WindowProbe::socket(w.form()), &ConverterSocket::DataArrival, count);
        SerialCommPort other;                    // COM1 at 9600
        QHash<FormTimer *, int> depth, deepest;  // a tick falling due inside its own is skipped
        for (FormTimer *t : w.form().findChildren<FormTimer *>())
            t->onTick = [t, &depth, &deepest, inner = t->onTick] {
                deepest[t] = qMax(deepest[t], ++depth[t]);
                inner();
                --depth[t];
            };
        switch (row<int>("fault")) {
            case Unplug:
                if (button == "Opt_RTU") {
                    QTimer::singleShot(0, &w.form(), [&] { send(w, "0 46 0 0"); });
                    w.open(3, true);  // the receive loop, until it ends
                    QVERIFY(w.w<QRadioButton>("Opt_RTU")->isChecked());  // ended by the loss
                } else {
                    w.setText("Text_Send", "$00M");
                    w.click(button);
                }
                QTRY_VERIFY_WITH_TIMEOUT(boxes().contains(Lost), Bound);
                QCOMPARE(atLoss, QStringLiteral("0000"));  // no repeat or scan outlives the line
                QCOMPARE(w.w<QPushButton>("Com_Write")->isEnabled(), panel);  // nothing half up
                QVERIFY(w.sim->serial()->replug());
                break;
            case Junk:  // binary, in single bytes, then a carriage return: shown as it came
                simFault.garbageBytes = 60;
                simFault.pieceSize = 1;
                w.sim->bus().setFault(simFault);
                QVERIFY(!send(w, "$00M").contains("QRD") && w.text("Text_Rec").count('\r') == 2);
                break;
            case Stream:  // the probe fires while it pours in for seconds at the line rate
                simFault.endlessBytes = 25000;
                w.sim->bus().setFault(simFault);
                QTimer::singleShot(0, &w.form(), [&] { w.click("Com_send"); });  // "1 46 0 0"
                w.open(7, true);  // the receive loop, until ASCII is chosen
                QVERIFY(gotAtProbe > 0 && gotAtProbe < got && got == simFault.endlessBytes);
                QCOMPARE(w.text("Text_Rec").size(), CommSettings::ReceiveKeepLimit);  // newest
                break;
            case Held:  // the other program keeps it; once it lets go, OK works
                w.port().setPortOpen(false);
                other.setPortOpen(true);
                w.open();
                QVERIFY(!w.port().portOpen() && other.portOpen());
                other.setPortOpen(false);
                break;
            case Input:  // a malformed Modbus token: nothing goes out; an interval: no repeat
                w.click("Opt_RTU");
                send(w, "1 G1 0");
                QCOMPARE(w.text("Text_Chksum"), QStringLiteral(" "));
                w.setText("Text_Time", "8O");
                w.click("Check_Auto");
                break;
            case Cell:  // the panel of the module at 00, then a cell without address
                w.select(5);
                w.click("Com_DO0");
                w.click("Com_Configuration");  // no model answers: nothing left enabled
                QVERIFY(!w.w<QPushButton>("Com_Write")->isEnabled());
                break;
            case Storm: {
                const auto buttons = w.form().findChildren<QPushButton *>();  // but Exit and Link
                int left = int(buttons.size());
                for (int i = 0; i < left; ++i)
                    QTimer::singleShot(10 + 15 * i, &w.form(), [&, b = buttons.at(i)] {
                        --left;  // each lands inside the waits of what runs, as do the ticks due
                        if (b->isEnabled() &&
                            !b->objectName().contains(QRegularExpression("Exit|link")))
                            b->click();
                        for (FormTimer *t : w.form().findChildren<FormTimer *>())
                            if (t->isEnabled())
                                TimerProbe::fire(*t);
                    });
                w.setText("Text_Send", "$05M");  // nobody answers: each repeat outlasts its tick
                w.click("Check_Auto");
                w.click(button);
                QTRY_VERIFY_WITH_TIMEOUT(left == 0, Bound);
                w.click("Check_Auto");
                for (const char *scan : {"Com_Scan_OK", "Com_Scan_All"})
                    if (w.text(scan) == QLatin1String("Stop"))
                        w.click(scan);
                const QStringList texts = w.boxes.texts();  // every write asked and told
                QCOMPARE(texts.filter("Please Check").size(), texts.filter("Save ").size());
                w.boxes.shown.clear();
                break;
            }
            case Converter:  // refusing, then never answering: given up each time
                converter.refuse();
                w.click("Com_link");
                QCOMPARE(w.text("Tcpip_Status"), QStringLiteral("Link Fail !............"));
                QVERIFY(converter.neverAccept());
                WindowProbe::socket(w.form()).setConnectLimit(1500);  // shortened here
                w.click("Com_link");
                QCOMPARE(w.text("Tcpip_Status"), QStringLiteral("Link Fail !............"));
                QVERIFY(converter.resume());  // linked again, it floods 10 MB: the probe fires
                w.click("Com_link");          // meanwhile, the box keeps the newest 64 KiB
                converter.flood(10 << 20);
                QTRY_COMPARE_WITH_TIMEOUT(got, qint64(10 << 20), Bound);
                QVERIFY(gotAtProbe > 0 && gotAtProbe < got);
                QCOMPARE(w.text("Text_Tcpip_Receive").size(), NetworkTest::ReceiveKeepLimit);
                converter.setMode(SimConverter::Mode::Loop);  // it hangs up in the loop test:
                got = 0;
                w.click("Com_loop_Test");
                QTRY_COMPARE(w.text("Tcpip_Status"), QStringLiteral("  --- Link Fail ---"));
                QVERIFY(got < 21);  // the pass stopped within the first text
                break;
        }
        QCOMPARE(boxes(), row<QString>("boxes"));
        QCOMPARE(timersOn(), QStringLiteral("0000"));  // nothing left running
        QCOMPARE(QList<int>(deepest.cbegin(), deepest.cend()), QList<int>(deepest.size(), 1));
        w.boxes.shown.clear();
        w.sim->bus().clearFault();
        w.open();  // the window works on, and tells of the next loss once
        QCOMPARE(send(w, "$00M") + boxes(), QStringLiteral(" !00QRD-E47\r\r\n"));
        w.sim->serial()->dropLine();
        QTRY_COMPARE(boxes(), Lost);
        w.tick("Timer3");  // a scan step on the dead port: told no second time until reopened
        QCoreApplication::processEvents();
        QCOMPARE(boxes(), Lost);
    }
    void repliesOnFakes()
    {
        Window w;
        w.open();
        const QByteArray nuls("!0\0\0E47\0\r", 9);  // kept as they came
        w.fakePort->responder = [&](const QByteArray &, const QString &) { return nuls; };
        QCOMPARE(send(w, "$00M"), u' ' + QString::fromLatin1(nuls) + "\r\n");
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
