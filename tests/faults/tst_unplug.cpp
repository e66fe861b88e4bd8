// The adapter unplugged in the middle of every kind of work on the serial line, and a port that
// another program holds: the operator hears of it once, the program sits idle on the dead port
// without burning a core, and a new OK on a working port brings everything back.
#include "faultbench.h"
#include "ui_form1.h"  // named here too, so the window design is generated for this suite

using namespace faults;
using M = SimModel;

namespace {

enum class During {
    Idle,
    TerminalSend,
    AutoRepeat,
    RtuReceiveLoop,
    CurrentScan,
    AllScan,
    ModuleTakeUp,
    OutputClick,
    ConfigWrite,
};

}  // namespace

Q_DECLARE_METATYPE(During)

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void unplugged_data()
    {
        QTest::addColumn<During>("during");
        // The boxes that belong to the work itself, besides the one about the lost line.
        QTest::addColumn<QStringList>("ownBoxes");
        QTest::newRow("sitting idle") << During::Idle << QStringList();
        QTest::newRow("terminal send") << During::TerminalSend << QStringList();
        QTest::newRow("auto-repeat") << During::AutoRepeat << QStringList();
        QTest::newRow("Modbus RTU receive loop") << During::RtuReceiveLoop << QStringList();
        QTest::newRow("current-settings scan") << During::CurrentScan << QStringList();
        QTest::newRow("all-settings scan") << During::AllScan << QStringList();
        QTest::newRow("module take-up") << During::ModuleTakeUp << QStringList();
        QTest::newRow("output click") << During::OutputClick << QStringList();
        // The write asks first and then reports that no answer came, as for a silent module.
        QTest::newRow("configuration write")
            << During::ConfigWrite
            << QStringList{QStringLiteral("Please Check Command %0000400600 is Correct ?      "),
                           QStringLiteral("Save Fail........    ")};
    }
    void unplugged()
    {
        QFETCH(During, during);
        QFETCH(QStringList, ownBoxes);
        FaultBench b({{M::E41, 0x00, 9600, false}, {M::E43, 0x01, 1200, false}});
        b.openAt(3);
        QVERIFY(b.port.portOpen());
        Ui::Form1 *ui = b.ui();
        auto unplug = [&b] { b.sim.serial()->dropLine(); };

        switch (during) {
            case During::Idle:
                unplug();
                break;
            case During::TerminalSend: {
                // The reply would come after the line is gone.
                SimFault slow;
                slow.delayMs = 150;
                b.sim.bus().setFault(slow);
                b.onHeard("$00M", 1, unplug);
                QCOMPARE(b.send(QStringLiteral("$00M")), QStringLiteral(" \r\n"));
                b.sim.bus().clearFault();
                break;
            }
            case During::AutoRepeat:
                ui->Text_Send->setText(QStringLiteral("$00M"));
                ui->Text_Time->setText(QStringLiteral("80"));
                b.onHeard("$00M", 3, unplug);
                ui->Check_Auto->setChecked(true);
                QTRY_VERIFY_WITH_TIMEOUT(!b.port.portOpen(), kBound);
                QTRY_VERIFY_WITH_TIMEOUT(!b.form->Timer_Send()->isEnabled(), kBound);
                QVERIFY(!ui->Check_Auto->isChecked());
                QVERIFY(ui->Text_Time->isEnabled());
                break;
            case During::RtuReceiveLoop: {
                bool hung = false;
                QString firstAnswer;
                // Inside the loop: one frame answered, the second one's answer never comes.
                QTimer::singleShot(50, b.form.get(), [&] {
                    ui->Text_Send->setText(QStringLiteral("0 46 0 0"));
                    ui->Com_send->click();
                });
                QTimer::singleShot(600, b.form.get(), [&] {
                    firstAnswer = ui->Text_Rec->text();
                    ui->Com_send->click();
                });
                b.onHeard(QByteArray::fromHex("0046"), 2, unplug);
                QTimer::singleShot(kBound, b.form.get(), [&] {
                    hung = b.port.portOpen() || ui->Opt_RTU->isChecked();
                    ui->Opt_ASC->setChecked(true);
                });
                ui->Opt_RTU->setChecked(true);
                ui->Com_Set_Ok->click();  // returns once the loop has ended
                QVERIFY2(!hung, "the receive loop outlived its port");
                QVERIFY2(firstAnswer.contains(QStringLiteral("00 46 00 02 0E 41 ")),
                         qPrintable(firstAnswer));
                ui->Opt_ASC->setChecked(true);
                break;
            }
            case During::CurrentScan:
                b.onHeard("$01F", 1, unplug);
                ui->Com_Scan_OK->click();
                QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().currentIdle(), kBound);
                QCOMPARE(b.form->MSFlexGrid1().textArray(5), QStringLiteral("00"));
                QCOMPARE(ui->Com_Scan_OK->text(), QStringLiteral("Scan"));
                break;
            case During::AllScan:
                // During the search of address 00, at the first rate tried.
                b.onHeard("$00F", 2, unplug);
                ui->Com_Scan_All->click();
                QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().allIdle(), kBound);
                QCOMPARE(ui->Com_Scan_All->text(), QStringLiteral("Scan Unknow Setting"));
                QVERIFY(ui->Com_Scan_OK->isEnabled());
                break;
            case During::ModuleTakeUp:
                b.scanUpTo(1);
                b.onHeard("$00F", 1, unplug);
                b.takeUp(1);
                // Left as for a module that never answered: nothing half enabled.
                QVERIFY(!ui->Com_Write->isEnabled());
                QVERIFY(!ui->Frame_DO->isEnabled());
                QVERIFY(!b.button("Com_DO0")->isEnabled());
                break;
            case During::OutputClick:
                b.scanUpTo(1);
                b.takeUp(1);
                QVERIFY(b.button("Com_DO0")->isEnabled());
                b.onHeard("#001001", 1, unplug);
                b.button("Com_DO0")->click();
                QCOMPARE(ui->Text_Disp_Com->text(), QStringLiteral("#001001"));
                break;
            case During::ConfigWrite:
                b.scanUpTo(1);
                b.takeUp(1);
                QVERIFY(ui->Com_Write->isEnabled());
                b.boxes.answers = {MessageBoxes::AnswerOk};
                b.onHeard("%00", 1, unplug);
                ui->Com_Write->click();
                break;
        }

        QTRY_COMPARE_WITH_TIMEOUT(b.linkFaults(), 1, kBound);
        QVERIFY(!b.port.portOpen());
        // The window sits on the dead port: no loop may keep polling it.
        const double cpu = cpuWhileIdle(kIdleWallMs);
        QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QStringLiteral("%1 s of CPU").arg(cpu)));
        // One box for the lost line, not one per tick or per exchange.
        QCOMPARE(b.linkFaults(), 1);
        QStringList others = boxTexts(b.boxes);
        others.removeIf([](const QString &t) { return t.startsWith(linkFaultPrefix()); });
        QCOMPARE(others, ownBoxes);
        for (FormTimer *timer : {b.form->Timer_Send(), b.form->Timer1(), b.form->Timer3()})
            QVERIFY2(!timer->isEnabled(), qPrintable(timer->objectName()));

        // The adapter is plugged in again and the operator presses OK.
        QString error;
        QVERIFY2(b.sim.serial()->replug(&error), qPrintable(error));
        b.boxes.shown.clear();
        b.openAt(3);
        QVERIFY(b.port.portOpen());
        QCOMPARE(b.send(QStringLiteral("$00M")), QStringLiteral(" !00QRD-E41\r\r\n"));
        QVERIFY2(b.boxes.shown.isEmpty(), qPrintable(boxTexts(b.boxes).join(u'|')));
        // And a second loss is told again, once.
        b.sim.serial()->dropLine();
        QTRY_COMPARE_WITH_TIMEOUT(b.linkFaults(), 1, kBound);
    }

    void portHeldByAnotherProgram()
    {
        FaultBench b({{M::E41, 0x00, 9600, false}});
        SerialCommPort other;
        other.setCommPort(1);
        other.setSettings(QStringLiteral("9600,n,8,1"));
        other.setPortOpen(true);
        QVERIFY(other.portOpen());

        Ui::Form1 *ui = b.ui();
        const QList<QWidget *> step8{ui->Com_send,    ui->Com_clr,    ui->Text_Send, ui->Text_Rec,
                                     ui->Com_Scan_OK, ui->Check_Auto, ui->Text_Time};
        QList<bool> before;
        for (QWidget *w : step8)
            before << w->isEnabled();

        ui->Com_Set_Ok->click();

        QCOMPARE(b.boxes.shown.size(), 1);
        QCOMPARE(b.boxes.shown.first().text, QStringLiteral("Open Communication Port Error "));
        QCOMPARE(b.boxes.shown.first().title, QStringLiteral(" System Message "));
        QCOMPARE(b.boxes.shown.first().icon, MessageBoxes::Critical);
        QVERIFY(!b.port.portOpen());
        for (int i = 0; i < step8.size(); ++i)
            QCOMPARE(step8.at(i)->isEnabled(), before.at(i));
        QVERIFY(!ui->Com_Configuration->isEnabled());
        QVERIFY(ui->Text_Rec->text().isEmpty());
        // The other program keeps its port and its line.
        QVERIFY(other.portOpen());
        QCOMPARE(b.sim.serial()->lineRate(), 9600);

        // Once it lets go, the same OK works.
        other.setPortOpen(false);
        b.boxes.shown.clear();
        ui->Com_Set_Ok->click();
        QVERIFY(b.port.portOpen());
        QVERIFY(b.boxes.shown.isEmpty());
        QCOMPARE(b.send(QStringLiteral("$00M")), QStringLiteral(" !00QRD-E41\r\r\n"));
    }
};

QTEST_MAIN(TestUnplug)
#include "tst_unplug.moc"
