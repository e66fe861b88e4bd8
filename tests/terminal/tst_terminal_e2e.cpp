// The real window over a real serial port on a pseudo-terminal linked as COM1, with a small peer
// in the test playing the module: OK opens the line at the chosen rate, Send gets the peer's
// reply, and in Modbus RTU mode the frame arrives whole and the answer shows as hexadecimal.
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "shell/form1.h"
#include "shell/multilinebox.h"
#include "support/fakes.h"
#include "support/pty.h"
#include "ui_form1.h"

#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Answers what the program writes on the master side of the pseudo-terminal.
struct Peer
{
    TestPty &pty;
    QByteArray received;
    std::function<void(Peer &)> onData;
    QSocketNotifier notifier;

    explicit Peer(TestPty &p) : pty(p), notifier(p.master(), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] {
            received += pty.readMaster(0);
            if (onData)
                onData(*this);
        });
    }
};

}  // namespace

class TestTerminalE2E : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        pty = std::make_unique<TestPty>();
        QVERIFY(pty->isValid());
        pty->linkAs(1);
        peer = std::make_unique<Peer>(*pty);
        Platform platform;
        platform.port = &port;
        platform.clock = &clock;
        platform.pump = &pump;
        platform.boxes = &boxes;
        platform.endProgram = [this] { ++endRequests; };
        form = std::make_unique<Form1>(platform);
    }

    void cleanup()
    {
        form.reset();
        peer.reset();
        pty.reset();
        boxes.shown.clear();
    }

    void asciiCommandAndReply()
    {
        Ui::Form1 *ui = form->ui();
        peer->onData = [](Peer &p) {
            if (p.received.endsWith("$01M\r"))
                p.pty.writeMaster("!01E41\r");
        };
        ui->LISTRATE->setCurrentIndex(5);
        ui->Com_Set_Ok->click();
        // 38400 asks for confirmation; the fake answers OK.
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY(port.portOpen());
        QCOMPARE(pty->lineRate(), 38400);

        ui->Com_send->click();
        QCOMPARE(peer->received, QByteArray("$01M\r"));
        QCOMPARE(ui->Text_Rec->text(), QStringLiteral(" !01E41\r\r\n"));
        QCOMPARE(boxes.shown.size(), 1);
    }

    void modbusRtuFrameAndReply()
    {
        Ui::Form1 *ui = form->ui();
        const QByteArray request = QByteArray::fromHex("01460000E00D");
        const QByteArray answer = QByteArray::fromHex("0146034534318F2B");
        peer->onData = [&](Peer &p) {
            if (p.received == request)
                p.pty.writeMaster(answer);
        };

        int rateInLoop = -1;
        QString sendTextInLoop;
        bool sawAnswer = false;
        QTimer watch;
        int looks = 0;
        QTimer::singleShot(50, form.get(), [&] {
            rateInLoop = pty->lineRate();
            sendTextInLoop = ui->Text_Send->text();
            ui->Com_send->click();
            // Looks until the answer shows or about five seconds have gone; then ASCII ends
            // the loop either way.
            watch.setInterval(20);
            QObject::connect(&watch, &QTimer::timeout, form.get(), [&] {
                sawAnswer = ui->Text_Rec->text() == QStringLiteral(" 01 46 03 45 34 31 8F 2B ");
                if (sawAnswer || ++looks > 250) {
                    watch.stop();
                    ui->Opt_ASC->setChecked(true);
                }
            });
            watch.start();
        });
        ui->Opt_RTU->setChecked(true);
        ui->Com_Set_Ok->click();  // returns once ASCII is chosen

        QVERIFY(boxes.shown.isEmpty());
        QCOMPARE(rateInLoop, 9600);
        QCOMPARE(sendTextInLoop, QStringLiteral("1 46 0 0"));
        QCOMPARE(peer->received.toHex(' '), request.toHex(' '));
        QCOMPARE(ui->Text_Chksum->text(), QStringLiteral(" 01 46 00 00 E0 0D \r\n"));
        QVERIFY2(sawAnswer, qPrintable(ui->Text_Rec->text()));
        QVERIFY(port.portOpen());
    }

private:
    SerialCommPort port;
    SteadyClock clock;
    QtEventPump pump;
    FakeMessageBoxes boxes;
    int endRequests = 0;
    std::unique_ptr<TestPty> pty;
    std::unique_ptr<Peer> peer;
    std::unique_ptr<Form1> form;
};

QTEST_MAIN(TestTerminalE2E)
#include "tst_terminal_e2e.moc"
