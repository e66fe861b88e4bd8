// Start-up and the communication settings on the real window over a fake port, clock and message
// boxes: what Form_Load leaves, what OK opens and asks, Default, the options, and the Modbus RTU
// receive loop with what ends it.
#include "link/portresolver.h"
#include "scan/scangrid.h"
#include "shell/commsettings.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "support/pty.h"
#include "ui_form1.h"

#include <QTest>

namespace {

const QString Warning = QStringLiteral(
    "The Checksum/Baud-Rate has been changed! Check that module's configuation is correct !");

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

void verifyBox(const FakeMessageBoxes::Box &box, const QString &text, MessageBoxes::Icon icon,
               MessageBoxes::Buttons buttons)
{
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, QStringLiteral(" System Message "));
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.buttons, buttons);
}

// Clicks OK in Modbus RTU mode; the click stays in the receive loop until a scheduled action ends
// it. Should nothing end it, the loop is ended and the test fails rather than hangs.
void okInRtuMode(FormHarness &h)
{
    h.time.onIdleForever = [&h] {
        QTest::qFail("the receive loop was never ended", __FILE__, __LINE__);
        h.ui()->Opt_ASC->setChecked(true);
    };
    h.ui()->Opt_RTU->setChecked(true);
    h.click("Com_Set_Ok");
}

struct OkCase
{
    int comIndex;
    int rateIndex;
    bool checksum;
    QList<MessageBoxes::Answer> answers;  // to the warning; OK once they run out
    QString settings;                     // the port is opened with
    int boxes;
    int rateAfter;
    bool checksumAfter;
    int boxesAtNextOk;  // asked again: no memory of the settings in use
};

}  // namespace

Q_DECLARE_METATYPE(OkCase)

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();  // port links go to a private folder, never the operator's own
    }

    void formLoad()
    {
        FormHarness h;
        QCOMPARE(h.ui()->LISTCOM->currentIndex(), 0);
        QCOMPARE(h.ui()->LISTRATE->currentIndex(), 3);
        const QStringList locked{"Com_send",        "Com_clr",         "Text_Send",
                                 "Text_Rec",        "Com_Scan_OK",     "Com_Tcpip_Send",
                                 "Com_Tcpip_Clear", "Com_Scan_All",    "Com_Configuration",
                                 "Config_BD_Combo", "Config_ID_Combo", "Config_CS_Combo",
                                 "Com_loop_Test"};
        QCOMPARE(enabledOf(h, locked), QStringList());
        QVERIFY(h.ui()->Com_Tcpip_Stop->isEnabled());
        QVERIFY(!h.form->Timer1()->isEnabled() && !h.form->Timer3()->isEnabled());
        QCOMPARE(h.form->MSFlexGrid1().textArray(4), QStringLiteral("Check Sum"));
        QCOMPARE(h.port.opens, 0);
        QVERIFY(h.boxes.shown.isEmpty());
    }

    void ok_data()
    {
        QTest::addColumn<OkCase>("c");
        const auto ok = MessageBoxes::AnswerOk, cancel = MessageBoxes::AnswerCancel,
                   help = MessageBoxes::AnswerHelp;
        auto row = [](const char *tag, const OkCase &c) { QTest::newRow(tag) << c; };
        row("1200", {0, 0, false, {}, "  1200,n,8,1", 1, 0, false, 1});
        row("2400", {0, 1, false, {}, "  2400,n,8,1", 1, 1, false, 1});
        row("4800", {0, 2, false, {}, "  4800,n,8,1", 1, 2, false, 1});
        row("9600", {0, 3, false, {}, "  9600,n,8,1", 0, 3, false, 0});
        row("19200", {0, 4, false, {}, " 19200,n,8,1", 1, 4, false, 1});
        row("38400", {0, 5, false, {}, " 38400,n,8,1", 1, 5, false, 1});
        row("57600", {0, 6, false, {}, " 57600,n,8,1", 1, 6, false, 1});
        row("115200", {0, 7, false, {ok}, "115200,n,8,1", 1, 7, false, 1});
        row("no rate chosen", {0, -1, false, {}, ",n,8,1", 1, -1, false, 1});
        row("COM20", {19, 3, false, {}, "  9600,n,8,1", 0, 3, false, 0});
        row("9600 with checksum", {0, 3, true, {ok}, "  9600,n,8,1", 1, 3, true, 1});
        // The rate text is taken before the question: Cancel still opens with it.
        row("Cancel", {0, 7, true, {cancel}, "115200,n,8,1", 1, 3, false, 0});
        // Help has no help behind it: the question stays until OK or Cancel.
        row("Help, then OK", {0, 7, true, {help, ok}, "115200,n,8,1", 2, 7, true, 1});
    }
    void ok()
    {
        QFETCH(OkCase, c);
        FormHarness h;
        h.ui()->LISTCOM->setCurrentIndex(c.comIndex);
        h.ui()->LISTRATE->setCurrentIndex(c.rateIndex);
        h.ui()->Check_Chksum->setChecked(c.checksum);
        h.boxes.answers = c.answers;
        h.form->MSFlexGrid1().setTextArray(5, QStringLiteral("left over"));
        h.click("Com_Set_Ok");
        QCOMPARE(h.port.openedWith, QStringList{c.settings});
        QCOMPARE(h.port.commPort(), c.comIndex + 1);
        QCOMPARE(h.port.inputMode(), 0);
        QCOMPARE(h.boxes.shown.size(), c.boxes);
        for (const FakeMessageBoxes::Box &box : h.boxes.shown)
            verifyBox(box, Warning, MessageBoxes::Exclamation, MessageBoxes::OkCancelHelp);
        QCOMPARE(h.ui()->LISTRATE->currentIndex(), c.rateAfter);
        QCOMPARE(h.ui()->Check_Chksum->checkState(), c.checksumAfter ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01M"));
        QCOMPARE(enabledOf(h, StepEight), StepEight);
        QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        QCOMPARE(h.form->MSFlexGrid1().textArray(5), QString());
        QCOMPARE(h.time.waits, 0);  // ASCII mode: the click has returned, nothing left waiting
        h.click("Com_Set_Ok");
        QCOMPARE(h.boxes.shown.size(), c.boxes + c.boxesAtNextOk);
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
        h.click("Com_Set_Ok");  // a failed open must not leave the click in a loop
        QCOMPARE(h.boxes.shown.size(), 1);
        verifyBox(h.boxes.shown.first(), QStringLiteral("Open Communication Port Error "),
                  MessageBoxes::Critical, MessageBoxes::Ok);
        QVERIFY(!h.port.portOpen());
        QCOMPARE(h.port.closes, openedBefore ? 1 : 0);
        // The step-8 controls are as they were: locked before any good open, usable after one.
        QCOMPARE(enabledOf(h, StepEight), openedBefore ? StepEight : QStringList());
        QCOMPARE(h.ui()->portInfoLabel->text(), QStringLiteral("COM7: no such port"));
    }

    void optionsThenDefaultWhileOpen()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        ui->LISTCOM->setCurrentIndex(2);
        ui->LISTRATE->setCurrentIndex(7);
        h.click("Com_Set_Ok");
        ui->Check_Chksum->setChecked(true);
        QTest::mouseClick(ui->Opt_RTU, Qt::LeftButton);
        QVERIFY(ui->Opt_RTU->isChecked());
        QVERIFY(!ui->Check_Chksum->isChecked() && !ui->Check_Chksum->isEnabled());
        QCOMPARE(h.port.inputMode(), 0);  // the port keeps the input mode of the last OK
        QTest::mouseClick(ui->Opt_ASC, Qt::LeftButton);
        QVERIFY(ui->Opt_ASC->isChecked());
        QVERIFY(!ui->Check_Chksum->isChecked() && ui->Check_Chksum->isEnabled());

        ui->Check_Chksum->setChecked(true);
        QTest::mouseClick(ui->Opt_RTU, Qt::LeftButton);
        ui->LISTCOM->setCurrentIndex(5);
        h.click("Com_About");
        QCOMPARE(ui->LISTCOM->currentIndex(), 0);
        QCOMPARE(ui->LISTRATE->currentIndex(), 3);
        QVERIFY(ui->Opt_ASC->isChecked());
        QVERIFY(ui->Check_Chksum->isEnabled() && !ui->Check_Chksum->isChecked());
        QCOMPARE(ui->Text_Port->text(), QStringLiteral("1001"));
        // A private address, not the design-time one.
        QVERIFY(ui->Text_IP->text() != QStringLiteral("192.168.1.200"));
        QVERIFY(ui->Text_IP->text().startsWith(QStringLiteral("192.168.")));
        // The port is left alone until the next OK.
        QVERIFY(h.port.portOpen());
        QCOMPARE(h.port.opens, 1);
        QCOMPARE(h.port.closes, 0);
        QCOMPARE(h.port.commPort(), 3);
        QCOMPARE(h.port.settings(), QStringLiteral("115200,n,8,1"));
        QCOMPARE(h.boxes.shown.size(), 1);  // the OK's warning only
    }

    void receiveLoopShowsBytesInHexAndKeepsTheNewest()
    {
        FormHarness h;
        Ui::Form1 *ui = h.ui();
        QString duringLoop;
        int modeDuringLoop = -1;
        int pumps = 0;
        h.time.at(10, [&] {
            modeDuringLoop = h.port.inputMode();
            ui->Text_Rec->setText(QStringLiteral("x"));
            h.port.receive(QByteArray("\x01\x46\x00", 3));
        });
        h.time.at(20, [&] { h.port.receive(QByteArray("\xE0\x0D", 2)); });
        h.time.at(30, [&] {
            duringLoop = ui->Text_Rec->text();
            pumps = h.time.pumps;
            for (int i = 0; i < 8; ++i)
                h.port.receive(QByteArray(4096, char(0x5A)));
        });
        h.time.at(40, [&] {
            h.port.receive(QByteArray("\x01", 1));
            h.time.at(1, [&] { ui->Opt_ASC->setChecked(true); });
        });
        okInRtuMode(h);
        QCOMPARE(modeDuringLoop, 1);
        QCOMPARE(duringLoop, QStringLiteral("x01 46 00 E0 0D "));
        // The loop slept between the three events instead of pumping round and round.
        QVERIFY2(pumps <= 8, qPrintable(QString::number(pumps)));
        // Endless input keeps only the newest text.
        QCOMPARE(ui->Text_Rec->text().size(), CommSettings::ReceiveKeepLimit);
        QVERIFY(ui->Text_Rec->text().endsWith(QStringLiteral("5A 5A 01 ")));
        QCOMPARE(ui->Text_Send->text(), QStringLiteral("1 46 0 0"));
        QVERIFY(!ui->Com_Scan_All->isEnabled());
        QCOMPARE(enabledOf(h, StepEight), StepEight);
        // Choosing ASCII ends the loop; the port stays open in byte mode until the next OK.
        QVERIFY(h.port.portOpen());
        QCOMPARE(h.port.inputMode(), 1);
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
        okInRtuMode(h);
        QCOMPARE(h.port.portOpen(), portOpenAfter);
        QCOMPARE(h.endRequests, endRequests);
        if (endRequests > 0)
            QVERIFY(portClosedAtEnd);  // the program ends only with the port already closed
    }

    void secondOkNestsItsOwnLoop()
    {
        FormHarness h;
        const quint32 start = h.time.tickCount();
        quint32 innerReturned = 0;
        h.time.at(10, [&] {
            h.ui()->LISTRATE->setCurrentIndex(4);
            h.time.at(10, [&] { h.port.receive(QByteArray("\xAA", 1)); });
            h.time.at(20, [&] { h.ui()->Opt_ASC->setChecked(true); });
            h.click("Com_Set_Ok");
            innerReturned = h.time.tickCount() - start;
        });
        okInRtuMode(h);
        QCOMPARE(innerReturned, 30u);  // the second OK stayed in its loop until ASCII was chosen
        QCOMPARE(h.port.openedWith, (QStringList{"  9600,n,8,1", " 19200,n,8,1"}));
        QCOMPARE(h.port.closes, 1);
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral("AA "));  // shown once, by the inner loop
    }

    void portListShowsDevices()
    {
        TestPty pty;
        QVERIFY(pty.isValid());
        pty.linkAs(3);
        FormHarness h;
        QComboBox *list = h.ui()->LISTCOM;
        auto tip = [list](int i) { return list->itemData(i, Qt::ToolTipRole).toString(); };
        QCOMPARE(list->itemText(2), QStringLiteral("COM3"));  // the list texts stay as designed
        QTRY_VERIFY(tip(2).contains(pty.slavePath()));        // filled once the window is up
        QVERIFY(!tip(3).contains(pty.slavePath()));
        QVERIFY(!h.ui()->portInfoLabel->text().contains(pty.slavePath()));
        list->setCurrentIndex(2);
        QVERIFY(h.ui()->portInfoLabel->text().startsWith(QStringLiteral("COM3: ")));
        QVERIFY(h.ui()->portInfoLabel->text().contains(pty.slavePath()));
        // A link placed or removed while the window is open is picked up without a selection
        // change.
        TestPty second;
        second.linkAs(4);
        QTRY_VERIFY(tip(3).contains(second.slavePath()));
        QCOMPARE(list->itemText(3), QStringLiteral("COM4"));
        QFile::remove(PortResolver::linkFolder() + QStringLiteral("/COM3"));
        QTRY_VERIFY(!h.ui()->portInfoLabel->text().contains(pty.slavePath()));
        QFile::remove(PortResolver::linkFolder() + QStringLiteral("/COM4"));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
