// What the operator sees beyond the five pages: the traffic monitor's entries for each kind of
// exchange, the loop test's verdict, the scans' progress and the command history.
#include "link/commandhistory.h"
#include "monitor/trafficmonitor.h"
#include "network/convertersocket.h"
#include "scan/busscan.h"
#include "support/rig.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

namespace {

// The "Traffic" window, opened as F2 opens it the first time.
TrafficMonitor *monitor(Window &w)
{
    auto *found = w.form().findChild<TrafficMonitor *>();
    return found ? found : w.form().showTrafficMonitor();
}

// The monitor's lines, as Copy gives them.
QStringList monitorLines(Window &w)
{
    return monitor(w)->copiedText().split(u'\n', Qt::SkipEmptyParts);
}

// Each expected piece appears in the lines in this order (several may share a line).
void verifyInOrder(const QStringList &lines, const QStringList &expected)
{
    qsizetype at = 0;
    qsizetype from = 0;
    for (const QString &piece : expected) {
        while (at < lines.size() && !lines.at(at).mid(from).contains(piece)) {
            ++at;
            from = 0;
        }
        QVERIFY2(at < lines.size(), qPrintable(piece + QStringLiteral(" not found in order in:\n") +
                                               lines.join(u'\n')));
        from = lines.at(at).indexOf(piece, from) + piece.size();
    }
}

void press(QWidget *box, Qt::Key key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &event);
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
        QTest::newRow("good reply")
            << false << QString()
            << QStringList{"out $01M<CR>", "in  !01QRD-E41<CR>", "$01M: reply after"};
        QTest::newRow("checksum ok")
            << true << QString() << QStringList{"out $01MD2<CR>", "reply after", "checksum ok"};
        QTest::newRow("checksum wrong") << true << "badsum" << QStringList{"checksum wrong"};
        QTest::newRow("no reply") << false << "silent"
                                  << QStringList{"out $01M<CR>", "no reply within 200 ms"};
    }
    void asciiExchanges()
    {
        Window w({{SimModel::E41, 0x01, 9600, row<bool>("moduleChecksum")}});
        SimFault fault;
        if (!row<QString>("fault").isEmpty())
            QVERIFY(simParseFault(row<QString>("fault"), fault));
        w.sim->bus().setFault(fault);
        w.w<QCheckBox>("Check_Chksum")->setChecked(row<bool>("moduleChecksum"));
        w.open();
        w.click("Com_send");
        verifyInOrder(monitorLines(w), row<QStringList>("expected"));
    }

    void modbusFrames_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("good") << QString() << "frame 01 46 00 02 0E 41 ";
        QTest::newRow("bad crc") << "badcrc"
                                 << "CRC wrong";
        QTest::newRow("exception") << "exception=2"
                                   << "CRC ok, exception 02 to function 46";
    }
    void modbusFrames()
    {
        Window w({{SimModel::E41, 0x01, 9600, false}});
        SimFault fault;
        if (!row<QString>("fault").isEmpty())
            QVERIFY(simParseFault(row<QString>("fault"), fault));
        w.sim->bus().setFault(fault);
        QStringList lines;
        // OK stays in the receive loop, which reads the line: the send and the looks happen
        // between its passes, and choosing ASCII ends it.
        QTimer::singleShot(0, [&] { w.click("Com_send"); });
        QTimer look;
        int looks = 0;
        connect(&look, &QTimer::timeout, [&] {
            lines = monitorLines(w);
            if (lines.join(u'\n').contains("frame ") || ++looks > 100)
                w.w<QRadioButton>("Opt_ASC")->setChecked(true);
        });
        look.start(50);
        w.open(3, true);
        verifyInOrder(lines, {"out <01>F<00><00><E0><CR>", "in  ", row<QString>("verdict")});
        if (row<QString>("fault").isEmpty())
            QVERIFY(lines.join(u'\n').contains("CRC ok"));
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
        verifyInOrder(monitorLines(w),
                      {channel + "    out $01M", "out <CR>", "in  !01QRD-E41<CR>"});
    }

    void loopVerdict_data()
    {
        QTest::addColumn<int>("drop");
        QTest::addColumn<int>("corrupt");
        QTest::addColumn<QString>("counts");
        QTest::newRow("clean") << 0 << 0 << "837 sent, 837 echoed, 0 wrong, 0 missing, ";
        QTest::newRow("every 100th dropped")
            << 100 << 0 << "837 sent, 829 echoed, 0 wrong, 8 missing";
        QTest::newRow("every 100th garbled")
            << 0 << 100 << "837 sent, 829 echoed, 8 wrong, 0 missing";
    }
    void loopVerdict()
    {
        Window w(QList<SimModuleSettings>{});
        const quint16 port = w.sim->startConverter(0, SimConverter::Mode::Loop);
        w.sim->converter()->setLoopDrop(row<int>("drop"));
        w.sim->converter()->setLoopCorrupt(row<int>("corrupt"));
        w.setText("Text_IP", "127.0.0.1");
        w.setText("Text_Port", QString::number(port));
        w.click("Com_link");
        w.click("Com_loop_Test");
        w.w<QScrollBar>("HScroll1")->setValue(5);
        auto *loop = w.w<QPushButton>("Com_loop_Test");
        // Stopped during the last text: the pass ends with it, one whole pass of 837 characters.
        connect(w.w<QLineEdit>("Text_Tcpip_Send"), &QLineEdit::textChanged, loop,
                [loop](const QString &text) {
                    if (text.startsWith(u'~'))
                        loop->click();
                });
        QTRY_VERIFY_WITH_TIMEOUT(monitorLines(w).join(u'\n').contains("loop test: "), 60000);
        verifyInOrder(monitorLines(w), {"loop test: " + row<QString>("counts")});
        QVERIFY(loop->toolTip().startsWith(row<QString>("counts")));
        QVERIFY(monitor(w)->status().contains(row<QString>("counts")));
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
        // 00: every try times out; 01: answers the first, 5 ms after it.
        const qint64 left = (8 * (300 + 500) + 5) * (256 - 2) / 2;
        QCOMPARE(w.w<QPushButton>("Com_Scan_All")->toolTip(),
                 QStringLiteral("Scan Unknown: 2 of 256 addresses, 1 module(s) found, about %1 min "
                                "%2 s left")
                     .arg(left / 60000)
                     .arg(left / 1000 % 60, 2, 10, QLatin1Char('0')));
        QCOMPARE(bar->maximum(), 256);
    }

    void commandHistory()
    {
        QLineEdit box;
        CommandHistory history(&box);
        for (int n = 1; n <= CommandHistory::MaxCommands + 5; ++n)
            history.record(QStringLiteral("$%1M").arg(n));
        history.record(QStringLiteral("$55M"));  // a repeat of the newest is kept once
        box.setText(QStringLiteral("draft"));
        press(&box, Qt::Key_Up);
        QCOMPARE(box.text(), QStringLiteral("$55M"));
        press(&box, Qt::Key_Up);
        QCOMPARE(box.text(), QStringLiteral("$54M"));
        for (int n = 0; n < 60; ++n)
            press(&box, Qt::Key_Up);
        QCOMPARE(box.text(), QStringLiteral("$6M"));  // the oldest of the last 50
        for (int n = 0; n < 60; ++n)
            press(&box, Qt::Key_Down);
        QCOMPARE(box.text(), QStringLiteral("draft"));

        // The terminal's box keeps what was sent from it.
        Window w;
        w.open();
        for (const char *command : {"$01M", "$02M"}) {
            w.setText("Text_Send", command);
            w.click("Com_send");
        }
        press(w.w("Text_Send"), Qt::Key_Up);
        press(w.w("Text_Send"), Qt::Key_Up);
        QCOMPARE(w.text("Text_Send"), QStringLiteral("$01M"));
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
