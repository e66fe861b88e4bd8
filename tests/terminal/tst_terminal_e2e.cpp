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

#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

class TestTerminalE2E : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        pty = std::make_unique<TestPty>();
        QVERIFY(pty->isValid());
        pty->linkAs(1);
        received.clear();
        // The peer answers `answer` once it has read `request`.
        peer = std::make_unique<QSocketNotifier>(pty->master(), QSocketNotifier::Read);
        connect(peer.get(), &QSocketNotifier::activated, this, [this] {
            received += pty->readMaster(0);
            if (received == request)
                pty->writeMaster(answer);
        });
        boxes.shown.clear();
        Platform platform;
        platform.port = &port;
        platform.clock = &clock;
        platform.pump = &pump;
        platform.boxes = &boxes;
        platform.endProgram = [] {};
        form = std::make_unique<Form1>(platform);
    }

    void cleanup()
    {
        form.reset();
        peer.reset();
        pty.reset();
    }

    void asciiCommandAndReply()
    {
        Ui::Form1 *ui = form->ui();
        request = "$01M\r";
        answer = "!01E41\r";
        ui->LISTRATE->setCurrentIndex(5);
        ui->Com_Set_Ok->click();
        QCOMPARE(boxes.shown.size(), 1);  // 38400 asks for confirmation; the fake answers OK
        QVERIFY(port.portOpen());
        QCOMPARE(pty->lineRate(), 38400);
        ui->Com_send->click();
        QCOMPARE(received, request);
        QCOMPARE(ui->Text_Rec->text(), QStringLiteral(" !01E41\r\r\n"));
        QCOMPARE(boxes.shown.size(), 1);
    }

    void modbusRtuFrameAndReply()
    {
        Ui::Form1 *ui = form->ui();
        request = QByteArray::fromHex("01460000E00D");
        answer = QByteArray::fromHex("0146034534318F2B");
        int rateInLoop = -1;
        QString sendTextInLoop;
        bool sawAnswer = false;
        QTimer watch;
        int looks = 0;
        QTimer::singleShot(50, form.get(), [&] {
            rateInLoop = pty->lineRate();
            sendTextInLoop = ui->Text_Send->text();
            ui->Com_send->click();
            // Looks until the answer shows or about five seconds have gone; then ASCII ends the
            // loop either way.
            connect(&watch, &QTimer::timeout, form.get(), [&] {
                sawAnswer = ui->Text_Rec->text() == QStringLiteral(" 01 46 03 45 34 31 8F 2B ");
                if (sawAnswer || ++looks > 250) {
                    watch.stop();
                    ui->Opt_ASC->setChecked(true);
                }
            });
            watch.start(20);
        });
        ui->Opt_RTU->setChecked(true);
        ui->Com_Set_Ok->click();  // returns once ASCII is chosen
        QVERIFY(boxes.shown.isEmpty());
        QCOMPARE(rateInLoop, 9600);
        QCOMPARE(sendTextInLoop, QStringLiteral("1 46 0 0"));
        QCOMPARE(received.toHex(' '), request.toHex(' '));
        QCOMPARE(ui->Text_Chksum->text(), QStringLiteral(" 01 46 00 00 E0 0D \r\n"));
        QVERIFY2(sawAnswer, qPrintable(ui->Text_Rec->text()));
        QVERIFY(port.portOpen());
    }

private:
    SerialCommPort port;
    SteadyClock clock;
    QtEventPump pump;
    FakeMessageBoxes boxes;
    QByteArray request, answer, received;
    std::unique_ptr<TestPty> pty;
    std::unique_ptr<QSocketNotifier> peer;
    std::unique_ptr<Form1> form;
};

QTEST_MAIN(TestTerminalE2E)
#include "tst_terminal_e2e.moc"
