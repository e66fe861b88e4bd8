// The real window on fakes: names, design-time facts, settings, the receive loop, a lost line.
#include "link/convertersocket.h"
#include "link/protocol.h"
#include "shell/commsettings.h"
#include "support/rig.h"
#include "widgets/multilinebox.h"

#include <QtWidgets>

Q_DECLARE_METATYPE(Form1::Build)

const QString AsciiCommand = QStringLiteral("$01M");  // the terminal's text, designed and after OK
const QString Warning = QStringLiteral(
    "The Checksum/Baud-Rate has been changed! Check that module's configuation is correct !");
// What OK unlocks; Form_Load locks these and the scan, configuration and converter controls.
const QStringList Unlocked{"Com_send",    "Com_clr",    "Text_Send", "Text_Rec",
                           "Com_Scan_OK", "Check_Auto", "Text_Time"};

// Whether the other pages were there when the window was first painted.
struct FirstPaint : QObject
{
    bool painted = false, pagesThen = false;
    bool eventFilter(QObject *form, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !std::exchange(painted, true))
            pagesThen = form->findChild<QWidget *>("Text_IP");
        return false;
    }
};

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // As built for the tests, and as the program builds it: the other pages after the first
    // paint, or before an event other than showing and painting, which then finds them ready.
    void designAsTheCodeNeedsIt_data()
    {
        QTest::addColumn<Form1::Build>("build");
        QTest::addColumn<bool>("clickFirst");  // Default, before anything is shown
        QTest::newRow("whole") << Form1::Build::Whole << false;
        QTest::newRow("pages after the first paint") << Form1::Build::PagesAfterFirstPaint << false;
        QTest::newRow("a click before it") << Form1::Build::PagesAfterFirstPaint << true;
    }
    void designAsTheCodeNeedsIt()
    {
        Window win(row<Form1::Build>("build"));
        if (row<Form1::Build>("build") == Form1::Build::PagesAfterFirstPaint) {
            QVERIFY(!win.form().findChild<QWidget *>("Text_IP"));
            if (row<bool>("clickFirst")) {
                QTest::mouseClick(win.w("Com_About"), Qt::LeftButton);
                QCOMPARE(win.text("Text_IP"), CommSettings::DefaultConverterAddress);
            } else {
                FirstPaint first;
                win.form().installEventFilter(&first);
                win.form().show();
                QTRY_VERIFY(first.painted && win.form().findChild<QWidget *>("Text_IP"));
                QVERIFY(!first.pagesThen);  // drawn quickly, with the first page only
            }
        }
        // The code reaches controls as members; the tests and the operator's tools, by name.
        for (const char *name :
             {"Com_DO0", "Com_DOF", "Com_DI_D0", "Com_DI_DF", "Lab_D0", "Lab_DF"})
            QCOMPARE(win.form().findChildren<QWidget *>(name).size(), 1);
        QCOMPARE(win.text("Text_Send"), AsciiCommand);
        QCOMPARE(win.text("Text_Time"), QStringLiteral("80"));  // a repeat interval as it stands
        const auto *ids = win.w<QComboBox>("Config_ID_Combo");
        QCOMPARE(ids->itemText(205), QStringLiteral("CE"));  // no CD, nor DD
        for (int i = 0; i < 254; ++i)                        // each address written as it is shown
            QCOMPARE(moduleIdCode(i), ids->itemText(i));
        const auto *bar = win.w<QScrollBar>("HScroll1");
        QVERIFY(bar->minimum() <= 60 && 60 <= bar->maximum());  // the loop delay Link sets
        QCOMPARE(win.w<MultiLineBox>("Text_Rec")->maxLength(), 2000);
        QVERIFY(win.w<QRadioButton>("Opt_ASC")->isChecked());
        for (const QString &name :
             Unlocked + QStringList{"Com_Scan_All", "Com_Configuration", "Config_BD_Combo",
                                    "Config_ID_Combo", "Config_CS_Combo", "Com_Tcpip_Send",
                                    "Com_Tcpip_Clear", "Com_loop_Test"})
            QVERIFY2(!win.w(name)->isEnabled(), qPrintable(name));
        QVERIFY(win.w("Com_Tcpip_Stop")->isEnabled());
        for (const FormTimer *timer : win.form().findChildren<FormTimer *>())  // silent for now
            QVERIFY2(!timer->isEnabled(), qPrintable(timer->objectName()));
    }

    void settings()
    {
        Window win;
        auto *sum = win.w<QCheckBox>("Check_Chksum");
        win.setText("Text_Send", QString());
        QStringList padded;  // the list's rate, blank-padded to six characters
        for (int i = 0; i < 8; ++i) {
            win.open(i);
            padded << QStringLiteral("%1,n,8,1").arg(win.w<QComboBox>("LISTRATE")->itemText(i), 6);
        }
        QCOMPARE(win.fakePort->openedWith, padded);
        QCOMPARE(win.boxes.texts(), QStringList(7, Warning));  // at every rate but 9600
        QCOMPARE(win.text("Text_Send"), AsciiCommand);
        QVERIFY(win.w("Com_Scan_All")->isEnabled() && win.port().inputMode() == 0);
        for (const QString &name : Unlocked)
            QVERIFY2(win.w(name)->isEnabled(), qPrintable(name));
        QTest::keyClick(win.w("Text_Send"), Qt::Key_Return);  // Enter sends, as Send does
        QTest::keyClick(win.w("Text_Send"), Qt::Key_Enter);
        QCOMPARE(win.fakePort->written(), QStringList(2, AsciiCommand + '\r'));
        // Cancel: 9600 without checksum, yet opens at the rate taken before; Help asks again.
        win.boxes.shown.clear();
        sum->setChecked(true);
        win.boxes.answers = {MessageBoxes::AnswerHelp, MessageBoxes::AnswerCancel};
        win.open(7);
        QCOMPARE(win.fakePort->openedWith.last(), padded.last());
        QVERIFY(win.text("LISTRATE") == "9600" && !sum->isChecked());
        sum->setChecked(true);
        win.open(3);  // the checksum alone asks too
        QCOMPARE(win.boxes.texts(), QStringList(3, Warning));
        for (const FakeMessageBoxes::Box &box : win.boxes.shown)
            QVERIFY(box.title == " System Message " && box.buttons == MessageBoxes::OkCancelHelp);
        // Default writes the texts and leaves the port and the converter alone.
        win.w<QComboBox>("LISTCOM")->setCurrentIndex(5);
        win.w<QComboBox>("LISTRATE")->setCurrentIndex(7);
        win.click("Opt_RTU");
        sum->setChecked(true);
        win.setText("Text_IP", QStringLiteral("127.0.0.1"));
        win.setText("Text_Port", QStringLiteral("1"));
        win.click("Com_About");
        QCOMPARE(win.text("LISTCOM"), QStringLiteral("COM1"));
        QCOMPARE(win.text("LISTRATE"), QStringLiteral("9600"));
        QVERIFY(win.w<QRadioButton>("Opt_ASC")->isChecked() && sum->isEnabled() &&
                !sum->isChecked());
        QCOMPARE(win.text("Text_IP"), CommSettings::DefaultConverterAddress);
        QCOMPARE(win.text("Text_Port"), QStringLiteral("1001"));
        QCOMPARE(WindowProbe::socket(win.form()).State(), int(ConverterSocket::Closed));
        QVERIFY(win.port().portOpen() && win.fakePort->openedWith.size() == 10);
        // A lost line is told once, until the port has been open again.
        win.boxes.shown.clear();
        win.w<QCheckBox>("Check_Auto")->setChecked(true);
        win.fakePort->hangUp();
        QVERIFY(!win.w<QCheckBox>("Check_Auto")->isChecked());  // the repeat ends with the line
        const QString told = "The communication port is not open: " + win.text("portInfoLabel");
        win.w("Com_Configuration")->setEnabled(true);  // as a scan that finds a module does
        win.click("Com_Configuration");                // meets the closed port: already told
        QCOMPARE(win.form().heightTwips(), 10005);     // and grows the window
        QCoreApplication::processEvents();             // the window tells from its event loop
        QCOMPARE(win.boxes.texts(), QStringList{told});
        win.open();
        win.fakePort->hangUp();
        QCoreApplication::processEvents();
        QCOMPARE(win.boxes.texts(), QStringList(2, told));
        // A port that will not open: the box says so, the label beside the list says why.
        win.boxes.shown.clear();
        win.fakePort->failOpen = true;
        win.w<QComboBox>("LISTCOM")->setCurrentIndex(6);
        QCOMPARE(win.text("portInfoLabel"), QStringLiteral("COM7: no device"));  // as chosen
        win.click("Com_Set_Ok");
        QCOMPARE(win.boxes.texts(), QStringList{"Open Communication Port Error "});
        QCOMPARE(win.boxes.shown[0].title, QStringLiteral(" System Message "));
        QVERIFY(!win.port().portOpen() && win.port().commPort() == 7);
        QCOMPARE(win.text("portInfoLabel"), QStringLiteral("COM7: no such port"));  // the fake's
    }

    void receiveLoop_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("ASCII chosen") << "Opt_ASC";
        QTest::newRow("line lost") << "hang up";
        QTest::newRow("Exit") << "Com_Exit";
        QTest::newRow("close box") << "close";
    }
    void receiveLoop()
    {
        QFETCH(QString, end);
        Window win;
        auto *sum = win.w<QCheckBox>("Check_Chksum");
        sum->setChecked(true);
        win.setText("Text_Rec", QStringLiteral("x"));
        QString shown;
        win.time->at(10, [&] { win.fakePort->receive(QByteArray::fromHex("0146")); });
        win.time->at(20, [&] { shown = win.text("Text_Rec"); });
        const QByteArray flood(CommSettings::ReceiveKeepLimit / 3 + 1, 0x5A);
        win.time->at(25, [&] { win.fakePort->receive(flood); });
        win.time->at(30, [&] { win.fakePort->receive(QByteArray::fromHex("01")); });
        win.time->at(40, [&] {
            end == "close"     ? void(win.form().close())
            : end == "hang up" ? win.fakePort->hangUp()
                               : win.click(end);
        });
        win.open(3, true);  // stays in the receive loop until ended
        QCOMPARE(shown, QStringLiteral("x01 46 "));
        QCOMPARE(win.text("Text_Rec").size(), CommSettings::ReceiveKeepLimit);  // the newest only
        QVERIFY(win.text("Text_Rec").endsWith(QStringLiteral("5A 5A 01 ")));
        QCOMPARE(win.text("Text_Send"), QStringLiteral("1 46 0 0"));
        QVERIFY(!win.w("Com_Scan_All")->isEnabled() && win.port().inputMode() == 1);
        QVERIFY(!sum->isChecked());  // a frame carries its own CRC; ASCII lets the box be used
        QCOMPARE(sum->isEnabled(), end == "Opt_ASC");
        QCOMPARE(win.port().portOpen(), end == "Opt_ASC");
        QCOMPARE(win.endRequests, int(end == "Com_Exit" || end == "close"));  // the program ends
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
