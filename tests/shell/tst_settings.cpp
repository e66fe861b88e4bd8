// Start-up and the communication settings on the real window over a fake port, clock and message
// boxes: what Form_Load leaves, what OK opens and asks, Default, the options, and the Modbus RTU
// receive loop with what ends it.
#include "link/portresolver.h"
#include "link/waits.h"
#include "scan/scangrid.h"
#include "shell/commsettings.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "support/pty.h"
#include "ui_form1.h"

#include <QFile>
#include <QLabel>
#include <QTest>

namespace {

const QString Warning = QStringLiteral(
    "The Checksum/Baud-Rate has been changed! Check that module's configuation is correct !");
const QString PortError = QStringLiteral("Open Communication Port Error ");

const QStringList StepEight{"Com_send",    "Com_clr",    "Text_Send", "Text_Rec",
                            "Com_Scan_OK", "Check_Auto", "Text_Time"};

QStringList enabledOf(const FormHarness &h, const QStringList &names)
{
    QStringList on;
    for (const QString &name : names) {
        if (h.find(name)->isEnabled())
            on << name;
    }
    return on;
}

// Clicks OK in Modbus RTU mode; the click stays in the receive loop until a scheduled action ends
// it. Should nothing end it, the loop is ended and the test fails rather than hangs.
void okInRtuMode(FormHarness &h, bool *stuck)
{
    *stuck = false;
    h.time.onIdleForever = [&h, stuck] {
        *stuck = true;
        h.ui()->Opt_ASC->setChecked(true);
    };
    h.ui()->Opt_RTU->setChecked(true);
    h.click("Com_Set_Ok");
}

}  // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Port links go to a private runtime folder, never the operator's own.
        TestPty::runtimeDir();
    }

    void formLoad()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        QCOMPARE(ui->LISTCOM->currentIndex(), 0);
        QCOMPARE(ui->LISTRATE->currentIndex(), 3);
        const QStringList locked{"Com_send",        "Com_clr",         "Text_Send",
                                 "Text_Rec",        "Com_Scan_OK",     "Com_Tcpip_Send",
                                 "Com_Tcpip_Clear", "Com_Scan_All",    "Com_Configuration",
                                 "Config_BD_Combo", "Config_ID_Combo", "Config_CS_Combo",
                                 "Com_loop_Test"};
        QCOMPARE(enabledOf(h, locked), QStringList());
        QVERIFY(ui->Com_Tcpip_Stop->isEnabled());
        for (FormTimer *timer : {h.form->Timer1(), h.form->Timer3()}) {
            QCOMPARE(timer->interval(), 0);
            QVERIFY(!timer->isEnabled());
        }
        const QStringList headers{"ID", "Name", "Description", "Baud Rate", "Check Sum"};
        for (int col = 0; col < 5; ++col)
            QCOMPARE(h.form->MSFlexGrid1().textArray(col), headers.at(col));
        QCOMPARE(h.port.opens, 0);
        QVERIFY(h.boxes.shown.isEmpty());
    }

    void settingsString_data()
    {
        QTest::addColumn<int>("comIndex");
        QTest::addColumn<int>("rateIndex");
        QTest::addColumn<QString>("settings");
        QTest::newRow("1200") << 0 << 0 << "  1200,n,8,1";
        QTest::newRow("2400") << 0 << 1 << "  2400,n,8,1";
        QTest::newRow("4800") << 0 << 2 << "  4800,n,8,1";
        QTest::newRow("9600") << 0 << 3 << "  9600,n,8,1";
        QTest::newRow("19200") << 0 << 4 << " 19200,n,8,1";
        QTest::newRow("38400") << 0 << 5 << " 38400,n,8,1";
        QTest::newRow("57600") << 0 << 6 << " 57600,n,8,1";
        QTest::newRow("115200") << 0 << 7 << "115200,n,8,1";
        QTest::newRow("no rate chosen") << 0 << -1 << ",n,8,1";
        QTest::newRow("COM5") << 4 << 3 << "  9600,n,8,1";
        QTest::newRow("COM20") << 19 << 3 << "  9600,n,8,1";
    }
    void settingsString()
    {
        QFETCH(int, comIndex);
        QFETCH(int, rateIndex);
        QFETCH(QString, settings);
        FormHarness h;
        h.ui()->LISTCOM->setCurrentIndex(comIndex);
        h.ui()->LISTRATE->setCurrentIndex(rateIndex);
        h.form->MSFlexGrid1().setTextArray(5, QStringLiteral("left over"));
        h.click("Com_Set_Ok");
        QCOMPARE(h.port.openedWith, QStringList{settings});
        QCOMPARE(h.port.commPort(), comIndex + 1);
        QCOMPARE(h.port.inputMode(), 0);
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01M"));
        QCOMPARE(enabledOf(h, StepEight), StepEight);
        QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        QCOMPARE(h.form->MSFlexGrid1().textArray(5), QString());
        // ASCII mode: the click has returned, nothing is left waiting.
        QCOMPARE(h.time.waits, 0);
    }

    void warning_data()
    {
        QTest::addColumn<int>("rateIndex");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<bool>("warned");
        QTest::newRow("9600 without checksum") << 3 << false << false;
        QTest::newRow("115200 without checksum") << 7 << false << true;
        QTest::newRow("1200 without checksum") << 0 << false << true;
        QTest::newRow("9600 with checksum") << 3 << true << true;
        QTest::newRow("19200 with checksum") << 4 << true << true;
    }
    void warning()
    {
        QFETCH(int, rateIndex);
        QFETCH(bool, checksum);
        QFETCH(bool, warned);
        FormHarness h;
        h.ui()->LISTRATE->setCurrentIndex(rateIndex);
        h.ui()->Check_Chksum->setChecked(checksum);
        h.click("Com_Set_Ok");
        QCOMPARE(h.boxes.shown.size(), warned ? 1 : 0);
        if (warned) {
            const FakeMessageBoxes::Box &box = h.boxes.shown.first();
            QCOMPARE(box.text, Warning);
            QCOMPARE(box.title, QStringLiteral(" System Message "));
            QCOMPARE(box.icon, MessageBoxes::Exclamation);
            QCOMPARE(box.buttons, MessageBoxes::OkCancelHelp);
        }
        // OK keeps the settings as chosen.
        QCOMPARE(h.port.opens, 1);
        QCOMPARE(h.ui()->LISTRATE->currentIndex(), rateIndex);
        QCOMPARE(h.ui()->Check_Chksum->isChecked(), checksum);

        // Asked again at the next OK: no memory of the settings in use.
        h.click("Com_Set_Ok");
        QCOMPARE(h.boxes.shown.size(), warned ? 2 : 0);
    }

    void warningAnswers_data()
    {
        QTest::addColumn<QList<MessageBoxes::Answer>>("answers");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<int>("rateAfter");
        QTest::addColumn<bool>("checksumAfter");
        using A = QList<MessageBoxes::Answer>;
        QTest::newRow("OK") << A{MessageBoxes::AnswerOk} << 1 << 7 << true;
        QTest::newRow("Cancel") << A{MessageBoxes::AnswerCancel} << 1 << 3 << false;
        // Help has no help behind it: the question stays until OK or Cancel.
        QTest::newRow("Help, then OK")
            << A{MessageBoxes::AnswerHelp, MessageBoxes::AnswerOk} << 2 << 7 << true;
        QTest::newRow("Help, then Cancel")
            << A{MessageBoxes::AnswerHelp, MessageBoxes::AnswerCancel} << 2 << 3 << false;
    }
    void warningAnswers()
    {
        QFETCH(QList<MessageBoxes::Answer>, answers);
        QFETCH(int, boxes);
        QFETCH(int, rateAfter);
        QFETCH(bool, checksumAfter);
        FormHarness h;
        h.ui()->LISTRATE->setCurrentIndex(7);
        h.ui()->Check_Chksum->setChecked(true);
        h.boxes.answers = answers;
        h.click("Com_Set_Ok");
        QCOMPARE(h.boxes.shown.size(), boxes);
        for (const FakeMessageBoxes::Box &box : h.boxes.shown)
            QCOMPARE(box.text, Warning);
        QCOMPARE(h.ui()->LISTRATE->currentIndex(), rateAfter);
        QCOMPARE(h.ui()->Check_Chksum->checkState(), checksumAfter ? Qt::Checked : Qt::Unchecked);
        // The rate text was taken before the question: this opening uses it whatever the answer.
        QCOMPARE(h.port.openedWith, QStringList{"115200,n,8,1"});
        QCOMPARE(enabledOf(h, StepEight), StepEight);
    }

    void portThatWillNotOpen_data()
    {
        QTest::addColumn<bool>("openedBefore");
        QTest::addColumn<bool>("rtu");
        QTest::newRow("first OK") << false << false;
        QTest::newRow("first OK, Modbus RTU") << false << true;
        QTest::newRow("after a good open") << true << false;
    }
    void portThatWillNotOpen()
    {
        QFETCH(bool, openedBefore);
        QFETCH(bool, rtu);
        FormHarness h;
        if (openedBefore)
            h.click("Com_Set_Ok");
        h.port.failOpen = true;
        h.ui()->LISTCOM->setCurrentIndex(6);
        h.ui()->Opt_RTU->setChecked(rtu);
        // A failed open must not leave the click in a loop (that would ask for a wait forever).
        h.click("Com_Set_Ok");
        QCOMPARE(h.boxes.shown.size(), 1);
        const FakeMessageBoxes::Box &box = h.boxes.shown.first();
        QCOMPARE(box.text, PortError);
        QCOMPARE(box.title, QStringLiteral(" System Message "));
        QCOMPARE(box.icon, MessageBoxes::Critical);
        QCOMPARE(box.buttons, MessageBoxes::Ok);
        QVERIFY(!h.port.portOpen());
        QCOMPARE(h.port.closes, openedBefore ? 1 : 0);
        // The step-8 controls are as they were: locked before any good open, usable after one.
        QCOMPARE(enabledOf(h, StepEight), openedBefore ? StepEight : QStringList());
        // Why it failed is shown beside the port list.
        QCOMPARE(h.ui()->portInfoLabel->text(), QStringLiteral("COM7: no such port"));
    }

    void defaultWhileOpen()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        ui->LISTCOM->setCurrentIndex(2);
        ui->LISTRATE->setCurrentIndex(7);
        ui->Check_Chksum->setChecked(true);
        h.click("Com_Set_Ok");
        QCOMPARE(h.port.opens, 1);
        ui->LISTCOM->setCurrentIndex(5);
        ui->Text_Port->setText(QStringLiteral("4000"));

        h.click("Com_About");
        QCOMPARE(ui->LISTCOM->currentIndex(), 0);
        QCOMPARE(ui->LISTRATE->currentIndex(), 3);
        QVERIFY(ui->Opt_ASC->isChecked());
        QVERIFY(ui->Check_Chksum->isEnabled());
        QVERIFY(!ui->Check_Chksum->isChecked());
        QCOMPARE(ui->Text_Port->text(), QStringLiteral("1001"));
        const QString address = ui->Text_IP->text();
        QCOMPARE(address, QString::fromLatin1(CommSettings::DefaultConverterAddress));
        QVERIFY(address != QStringLiteral("192.168.1.200"));
        QVERIFY(address.startsWith(QStringLiteral("192.168.")));
        // The port is left alone until the next OK.
        QVERIFY(h.port.portOpen());
        QCOMPARE(h.port.opens, 1);
        QCOMPARE(h.port.closes, 0);
        QCOMPARE(h.port.commPort(), 3);
        QCOMPARE(h.port.settings(), QStringLiteral("115200,n,8,1"));
        QCOMPARE(h.boxes.shown.size(), 1);  // the OK's warning only
    }

    void optionClicks()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        h.click("Com_Set_Ok");
        ui->Check_Chksum->setChecked(true);
        QTest::mouseClick(ui->Opt_RTU, Qt::LeftButton);
        QVERIFY(ui->Opt_RTU->isChecked());
        QVERIFY(!ui->Check_Chksum->isChecked());
        QVERIFY(!ui->Check_Chksum->isEnabled());
        // The port keeps the input mode of the last OK.
        QCOMPARE(h.port.inputMode(), 0);
        QTest::mouseClick(ui->Opt_ASC, Qt::LeftButton);
        QVERIFY(ui->Opt_ASC->isChecked());
        QVERIFY(ui->Check_Chksum->isEnabled());
        QVERIFY(!ui->Check_Chksum->isChecked());
        QCOMPARE(h.port.opens, 1);
    }

    void receiveLoopShowsBytesInHex()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        bool stuck = false;
        QString duringLoop;
        int modeDuringLoop = -1;
        h.time.at(10, [&] {
            modeDuringLoop = h.port.inputMode();
            ui->Text_Rec->setText(QStringLiteral("x"));
            h.port.receive(QByteArray("\x01\x46\x00", 3));
        });
        h.time.at(20, [&] { h.port.receive(QByteArray("\xE0\x0D", 2)); });
        h.time.at(30, [&] {
            duringLoop = ui->Text_Rec->text();
            ui->Opt_ASC->setChecked(true);
        });
        okInRtuMode(h, &stuck);
        QVERIFY(!stuck);
        QCOMPARE(modeDuringLoop, 1);
        QCOMPARE(duringLoop, QStringLiteral("x01 46 00 E0 0D "));
        QCOMPARE(ui->Text_Send->text(), QStringLiteral("1 46 0 0"));
        QVERIFY(!ui->Com_Scan_All->isEnabled());
        QCOMPARE(enabledOf(h, StepEight), StepEight);
        // Choosing ASCII ends the loop; the port stays open in byte mode until the next OK.
        QVERIFY(h.port.portOpen());
        QCOMPARE(h.port.inputMode(), 1);
        // The loop slept between the three events instead of pumping round and round.
        QVERIFY2(h.time.pumps <= 8, qPrintable(QString::number(h.time.pumps)));
        QCOMPARE(ui->Text_Rec->keepLimit(), CommSettings::ReceiveKeepLimit);
    }

    void receiveLoopKeepsTheNewestText()
    {
        FormHarness h;
        bool stuck = false;
        const QByteArray block(4096, char(0x5A));
        for (int i = 0; i < 8; ++i)
            h.time.at(quint32(10 + i), [&] { h.port.receive(block); });
        h.time.at(100, [&] {
            h.port.receive(QByteArray("\x01", 1));
            h.time.at(1, [&] { h.ui()->Opt_ASC->setChecked(true); });
        });
        okInRtuMode(h, &stuck);
        QVERIFY(!stuck);
        const QString text = h.ui()->Text_Rec->text();
        QCOMPARE(text.size(), CommSettings::ReceiveKeepLimit);
        QVERIFY(text.endsWith(QStringLiteral("5A 5A 01 ")));
    }

    void receiveLoopEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("portOpenAfter");
        QTest::addColumn<int>("endRequests");
        QTest::newRow("ASCII chosen") << "ascii" << true << 0;
        QTest::newRow("line hung up") << "hangup" << false << 0;
        QTest::newRow("Exit") << "exit" << false << 1;
        QTest::newRow("close box") << "close" << false << 1;
    }
    void receiveLoopEnds()
    {
        QFETCH(QString, how);
        QFETCH(bool, portOpenAfter);
        QFETCH(int, endRequests);
        FormHarness h;
        bool stuck = false;
        bool portClosedAtEnd = false;
        h.time.at(10, [&] {
            if (how == "ascii")
                h.ui()->Opt_ASC->setChecked(true);
            else if (how == "hangup")
                h.port.hangUp();
            else if (how == "exit")
                h.click("Com_Exit");
            else
                h.form->close();
            portClosedAtEnd = !h.port.portOpen();
        });
        okInRtuMode(h, &stuck);
        QVERIFY(!stuck);
        QCOMPARE(h.port.portOpen(), portOpenAfter);
        QCOMPARE(h.endRequests, endRequests);
        // The program ends only with the port already closed.
        if (endRequests > 0)
            QVERIFY(portClosedAtEnd);
    }

    void secondOkNestsItsOwnLoop()
    {
        FormHarness h;
        bool stuck = false;
        QStringList order;
        h.time.at(10, [&] {
            h.ui()->LISTRATE->setCurrentIndex(4);
            h.time.at(10, [&] { h.port.receive(QByteArray("\xAA", 1)); });
            h.time.at(20, [&] { h.ui()->Opt_ASC->setChecked(true); });
            h.click("Com_Set_Ok");
            order << QStringLiteral("second OK returned");
        });
        okInRtuMode(h, &stuck);
        order << QStringLiteral("first OK returned");
        QVERIFY(!stuck);
        QCOMPARE(order, (QStringList{"second OK returned", "first OK returned"}));
        QCOMPARE(h.port.openedWith, (QStringList{"  9600,n,8,1", " 19200,n,8,1"}));
        QCOMPARE(h.port.closes, 1);
        // The byte was shown once, by the inner loop.
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral("AA "));
    }

    void portListShowsDevices()
    {
        TestPty pty;
        QVERIFY(pty.isValid());
        pty.linkAs(3);
        FormHarness h;
        QComboBox *list = h.ui()->LISTCOM;
        // The list texts stay as designed.
        QCOMPARE(list->itemText(2), QStringLiteral("COM3"));
        // Filled once the window is up.
        QTRY_VERIFY(list->itemData(2, Qt::ToolTipRole).toString().contains(pty.slavePath()));
        QVERIFY(!list->itemData(3, Qt::ToolTipRole).toString().contains(pty.slavePath()));
        QVERIFY(!h.ui()->portInfoLabel->text().contains(pty.slavePath()));
        list->setCurrentIndex(2);
        QVERIFY(h.ui()->portInfoLabel->text().startsWith(QStringLiteral("COM3: ")));
        QVERIFY(h.ui()->portInfoLabel->text().contains(pty.slavePath()));

        // A link placed while the window is open is picked up without any selection change.
        TestPty second;
        second.linkAs(4);
        QTRY_VERIFY(list->itemData(3, Qt::ToolTipRole).toString().contains(second.slavePath()));
        QCOMPARE(list->itemText(3), QStringLiteral("COM4"));
        QFile::remove(PortResolver::linkFolder() + QStringLiteral("/COM3"));
        QFile::remove(PortResolver::linkFolder() + QStringLiteral("/COM4"));
        QTRY_VERIFY(!h.ui()->portInfoLabel->text().contains(pty.slavePath()));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
