// What the operator sees beyond the five pages: the traffic monitor's entries for each kind of
// exchange, the loop test's verdict, the scans' progress and the command history.
#include "monitor/trafficmonitor.h"
#include "support/rig.h"
#include "widgets/commandhistory.h"

#include <QtWidgets>

namespace {

// The "Traffic" window, opened as F2 opens it the first time.
TrafficMonitor *monitor(Window &w)
{
    auto *found = w.form().findChild<TrafficMonitor *>();
    return found ? found : w.form().showTrafficMonitor();
}

// Each expected piece appears in the monitor's lines, as Copy gives them, in this order.
void verifyInOrder(Window &w, const QStringList &expected)
{
    const QString text = monitor(w)->copiedText();
    qsizetype at = 0;
    for (const QString &piece : expected) {
        at = text.indexOf(piece, at);
        QVERIFY2(at >= 0, qPrintable(piece + " not found in order in:\n" + text));
        at += piece.size();
    }
}

void setFault(Window &w, const QString &spec)
{
    SimFault fault;
    QVERIFY(spec.isEmpty() || simParseFault(spec, fault));
    w.sim->bus().setFault(fault);
}

// The terminal's box after key presses.
QString press(Window &w, Qt::Key key, int times)
{
    for (int n = 0; n < times; ++n) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(w.w("Text_Send"), &event);
    }
    return w.text("Text_Send");
}

}  // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    void asciiExchanges_data()
    {
        QTest::addColumn<bool>("moduleChecksum");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("expected");
        using L = QStringList;
        QTest::newRow("good reply")
            << false << "" << L{"out $01M<CR>", "in  !01QRD-E41<CR>", "$01M: reply after"};
        QTest::newRow("checksum ok")
            << true << "" << L{"out $01MD2<CR>", "reply after", "checksum ok"};
        QTest::newRow("checksum wrong") << true << "badsum" << L{"checksum wrong"};
        QTest::newRow("no reply") << false << "silent"
                                  << L{"out $01M<CR>", "no reply within 200 ms"};
    }
    void asciiExchanges()
    {
        Window w({{SimModel::E41, 0x01, 9600, row<bool>("moduleChecksum")}});
        setFault(w, row<QString>("fault"));
        w.w<QCheckBox>("Check_Chksum")->setChecked(row<bool>("moduleChecksum"));
        w.open();
        w.click("Com_send");
        verifyInOrder(w, row<QStringList>("expected"));
    }

    void modbusFrames_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("verdict");
        QTest::newRow("good") << QString() << QStringList{"frame 01 46 00 02 0E 41 ", "CRC ok"};
        QTest::newRow("bad crc") << "badcrc" << QStringList{"CRC wrong"};
        QTest::newRow("exception")
            << "exception=2" << QStringList{"CRC ok, exception 02 to function 46"};
    }
    void modbusFrames()
    {
        Window w({{SimModel::E41, 0x01, 9600, false}});
        setFault(w, row<QString>("fault"));
        // OK stays in the receive loop, which reads the line: the send and the looks happen
        // between its passes, and choosing ASCII ends it.
        QTimer::singleShot(0, [&] { w.click("Com_send"); });
        QTimer look;
        int looks = 0;
        connect(&look, &QTimer::timeout, [&] {
            if (monitor(w)->copiedText().contains("frame ") || ++looks > 100)
                w.w<QRadioButton>("Opt_ASC")->setChecked(true);
        });
        look.start(50);
        w.open(3, true);
        verifyInOrder(
            w, QStringList{"out <01>F<00><00><E0><CR>", "in  "} + row<QStringList>("verdict"));
    }

    void tcpSendAndEcho()
    {
        Window w({{SimModel::E41, 0x01, 9600, false}});
        const quint16 port = w.sim->startConverter();
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(port));
        w.click("Com_link");
        w.click("Com_Tcpip_Send");
        QTRY_COMPARE_WITH_TIMEOUT(w.text("Text_Tcpip_Receive"), QStringLiteral(" !01QRD-E41\r"),
                                  5000);
        const QString channel = QStringLiteral("TCP 127.0.0.1:%1").arg(port);
        verifyInOrder(w, {channel + "    out $01M", "out <CR>", "in  !01QRD-E41<CR>"});
    }

    void loopVerdict()
    {
        // A clean loop, whose counts are the same on any machine; how a faulty line is read is
        // the network suite's.
        const QString counts = QStringLiteral("837 sent, 837 echoed, 0 wrong, 0 missing, ");
        Window w(QList<SimModuleSettings>{});
        const quint16 port = w.sim->startConverter(0, SimConverter::Mode::Loop);
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(port));
        w.click("Com_link");
        w.click("Com_loop_Test");
        w.w<QScrollBar>("HScroll1")->setValue(1);
        auto *loop = w.w<QPushButton>("Com_loop_Test");
        // Stopped during the last text: the pass ends with it, one whole pass of 837 characters.
        connect(w.w<QLineEdit>("Text_Tcpip_Send"), &QLineEdit::textChanged, loop,
                [loop](const QString &text) {
                    if (text.startsWith(u'~'))
                        loop->click();
                });
        QTRY_VERIFY_WITH_TIMEOUT(monitor(w)->copiedText().contains("loop test: "), 60000);
        verifyInOrder(w, {"loop test: " + counts});
        QVERIFY(loop->toolTip().startsWith(counts));
        QVERIFY(monitor(w)->status().contains(counts));
    }

    void scanProgress()
    {
        Window w;
        w.fakePort->responder = [](const QByteArray &written, const QString &) {
            return written == "$01F\r" ? QByteArray("!01E41\r") : QByteArray();
        };
        w.open();
        auto *bar = w.w<QProgressBar>("scanProgress");
        w.click("Com_Scan_OK");
        for (int step = 0; step < 3; ++step)
            w.tick("Timer3");
        QCOMPARE(monitor(w)->status(),
                 QStringLiteral("Scan: 3 of 257 addresses, 1 module(s) found"));
        QCOMPARE(w.w<QPushButton>("Com_Scan_OK")->toolTip(), monitor(w)->status());
        QCOMPARE(bar->value() * 1000 / bar->maximum(), 3 * 1000 / 257);
        w.click("Com_Scan_OK");
        QCOMPARE(monitor(w)->status(), QString());

        // Nothing answers: each address tries eight rates, 300 ms plain and 500 ms summed.
        w.click("Com_Scan_All");
        w.tick("Timer1");
        w.tick("Timer1");
        // 00: every try times out; 01 answers the first 5 ms after it: (8 * 800 + 5) * 254 / 2 ms.
        QCOMPARE(w.w<QPushButton>("Com_Scan_All")->toolTip(),
                 "Scan Unknown: 2 of 256 addresses, 1 module(s) found, about 13 min 33 s left");
        QCOMPARE(bar->maximum(), 256);
    }

    void commandHistory()
    {
        Window w;  // the terminal's box keeps the last 50 commands sent from it
        w.open();
        for (int n = 1; n <= CommandHistory::MaxCommands + 6; ++n) {  // $55M twice: kept once
            w.setText("Text_Send", QStringLiteral("$%1M").arg(qMin(n, 55)));
            w.click("Com_send");
        }
        w.setText("Text_Send", "draft");
        QCOMPARE(press(w, Qt::Key_Up, 1), QStringLiteral("$55M"));
        QCOMPARE(press(w, Qt::Key_Up, 1), QStringLiteral("$54M"));
        QCOMPARE(press(w, Qt::Key_Up, 60), QStringLiteral("$6M"));  // the oldest of the last 50
        QCOMPARE(press(w, Qt::Key_Down, 60), QStringLiteral("draft"));
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
