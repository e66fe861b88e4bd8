// The window's design-time contents: every named control under its objectName, of its kind, in
// its frame, with its caption or text, list and enabled state; then the window as it opens.
#include "shell/formtimer.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QTest>

namespace {

// A frame's title, a button's, label's or box's text, a list's current entry.
QString shownText(QWidget *w)
{
    for (const char *name : {"title", "text", "currentText"}) {
        if (const QVariant value = w->property(name); value.isValid())
            return value.toString();
    }
    return QString();
}

// The nearest ancestor that is a frame or a page.
QString holder(QWidget *w)
{
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<QGroupBox *>(p) || p->objectName().startsWith(QLatin1String("SSTab1Page")))
            return p->objectName();
    }
    return QString();
}

}  // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        design.setupUi(&designed);
        applyDesignTexts(&designed);
    }

    void control_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QString>("text");  // null: not checked
        QTest::addColumn<bool>("enabled");
        auto row = [](const char *name, const char *kind, const char *parent, const QString &text,
                      bool enabled) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind)
                                << QString::fromLatin1(parent) << text << enabled;
        };
        // clang-format off
    row("Frame15", "QGroupBox", "SSTab1Page0", QStringLiteral("Description"), true);
    row("Label21", "QLabel", "Frame15", QStringLiteral("In the settings menu, be sure to select the ASCII/Modbus protocal , com port number and baud-rate from the drop down menus and selecting your \"Checksum Selects \" Enable or Disable before continuing."), true);
    row("Frame1", "QGroupBox", "SSTab1Page0", QStringLiteral("Communication Configuration"), true);
    row("Com_Exit", "QPushButton", "Frame1", QStringLiteral("Exit"), true);
    row("Com_About", "QPushButton", "Frame1", QStringLiteral("Default"), true);
    row("Com_Set_Ok", "QPushButton", "Frame1", QStringLiteral("OK"), true);
    row("Frame2", "QGroupBox", "Frame1", QStringLiteral("Initial Setting "), true);
    row("Frame22", "QGroupBox", "Frame2", QStringLiteral("Communication Protocal"), true);
    row("Opt_ASC", "QRadioButton", "Frame22", QStringLiteral(""), true);
    row("Label28", "QLabel", "Frame22", QStringLiteral("ASCII"), true);
    row("Opt_RTU", "QRadioButton", "Frame22", QStringLiteral(""), true);
    row("Label29", "QLabel", "Frame22", QStringLiteral("Modbus RTU"), true);
    row("Check_Chksum", "QCheckBox", "Frame22", QStringLiteral(""), true);
    row("Label13", "QLabel", "Frame22", QStringLiteral("ASCII Checksum Enable"), true);
    row("LISTCOM", "QComboBox", "Frame2", QStringLiteral("COM1"), true);
    row("LISTRATE", "QComboBox", "Frame2", QStringLiteral("9600"), true);
    row("Frame5", "QGroupBox", "SSTab1Page1", QStringLiteral("Terminal Command Input"), true);
    row("Frame13", "QGroupBox", "Frame5", QStringLiteral("Checksum "), true);
    row("Text_Chksum", "QLineEdit", "Frame13", QStringLiteral(""), true);
    row("Label17", "QLabel", "Frame13", QStringLiteral("   Command + Checksum"), true);
    row("Text_Send", "QLineEdit", "Frame5", QStringLiteral("$01M"), true);
    row("Label5", "QLabel", "Frame5", QStringLiteral("Send Command"), true);
    row("Text_Rec", "MultiLineBox", "Frame5", QStringLiteral(""), true);
    row("Label6", "QLabel", "Frame5", QStringLiteral("Response"), true);
    row("Com_clr", "QPushButton", "Frame5", QStringLiteral("Clear"), true);
    row("Frame7", "QGroupBox", "Frame5", QStringLiteral("Instruction"), true);
    row("Com_send", "QPushButton", "Frame7", QStringLiteral("Send"), true);
    row("Text_Time", "QLineEdit", "Frame7", QStringLiteral("80"), false);
    row("Label11", "QLabel", "Frame7", QStringLiteral("mS"), true);
    row("Check_Auto", "QCheckBox", "Frame7", QStringLiteral(""), false);
    row("Label12", "QLabel", "Frame7", QStringLiteral("Auto"), true);
    row("Frame16", "QGroupBox", "SSTab1Page1", QStringLiteral("Description"), true);
    row("Label20", "QLabel", "Frame16", QStringLiteral("Send the module's command and get  real time response. If your module's checksum configuation setting is enable, the command checksum will show you the send command status. "), true);
    row("Frame6", "QGroupBox", "SSTab1Page2", QStringLiteral("Scan The Module Status"), true);
    row("Text_Scan_Status", "QLineEdit", "Frame6", QStringLiteral(""), true);
    row("Label7", "QLabel", "Frame6", QStringLiteral("COM Port"), true);
    row("Text_Scan_ID_Status", "QLineEdit", "Frame6", QStringLiteral(""), true);
    row("Label8", "QLabel", "Frame6", QStringLiteral("RS485 ID"), true);
    row("Text_Scan_BD", "QLineEdit", "Frame6", QStringLiteral(""), true);
    row("Label9", "QLabel", "Frame6", QStringLiteral("Baud Rate"), true);
    row("Text_Scan_Checksum_Status", "QLineEdit", "Frame6", QStringLiteral(""), true);
    row("Label10", "QLabel", "Frame6", QStringLiteral("Checksum"), true);
    row("Com_Scan_OK", "QPushButton", "SSTab1Page2", QStringLiteral("Scan"), true);
    row("Com_Scan_All", "QPushButton", "SSTab1Page2", QStringLiteral("Scan Unknown"), true);
    row("MSFlexGrid1", "QTableWidget", "SSTab1Page2", QString(), true);
    row("Frame_DI", "QGroupBox", "SSTab1Page2", QStringLiteral("Analog Value/Digital Input Counter Value"), false);
    row("Com_DIO_Status", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Text_Disp_Com", "QLineEdit", "Frame_DI", QStringLiteral(""), true);
    row("Text_DSP_Res", "QLineEdit", "Frame_DI", QStringLiteral(""), true);
    row("Label16", "QLabel", "Frame_DI", QStringLiteral("Command Line"), false);
    row("Label18", "QLabel", "Frame_DI", QStringLiteral("Response"), true);
    row("Com_DI_D0", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D1", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D2", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D3", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D4", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D5", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D6", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D7", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D8", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_D9", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DA", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DB", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DC", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DD", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DE", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Com_DI_DF", "QPushButton", "Frame_DI", QStringLiteral(""), true);
    row("Lab_D0", "QLabel", "Frame_DI", QStringLiteral("D0"), false);
    row("Lab_D1", "QLabel", "Frame_DI", QStringLiteral("D1"), false);
    row("Lab_D2", "QLabel", "Frame_DI", QStringLiteral("D2"), false);
    row("Lab_D3", "QLabel", "Frame_DI", QStringLiteral("D3"), false);
    row("Lab_D4", "QLabel", "Frame_DI", QStringLiteral("D4"), false);
    row("Lab_D5", "QLabel", "Frame_DI", QStringLiteral("D5"), false);
    row("Lab_D6", "QLabel", "Frame_DI", QStringLiteral("D6"), false);
    row("Lab_D7", "QLabel", "Frame_DI", QStringLiteral("D7"), false);
    row("Lab_D8", "QLabel", "Frame_DI", QStringLiteral("D8"), false);
    row("Lab_D9", "QLabel", "Frame_DI", QStringLiteral("D9"), false);
    row("Lab_DA", "QLabel", "Frame_DI", QStringLiteral("DA"), false);
    row("Lab_DB", "QLabel", "Frame_DI", QStringLiteral("DB"), false);
    row("Lab_DC", "QLabel", "Frame_DI", QStringLiteral("DC"), false);
    row("Lab_DD", "QLabel", "Frame_DI", QStringLiteral("DD"), false);
    row("Lab_DE", "QLabel", "Frame_DI", QStringLiteral("DE"), false);
    row("Lab_DF", "QLabel", "Frame_DI", QStringLiteral("DF"), false);
    row("Label55", "QLabel", "Frame_DI", QStringLiteral("DO/DI Status"), false);
    row("Frame_DO", "QGroupBox", "SSTab1Page2", QStringLiteral("Digital Output Control"), false);
    row("Com_DO0", "QPushButton", "Frame_DO", QStringLiteral("D0"), false);
    row("Com_DO1", "QPushButton", "Frame_DO", QStringLiteral("D1"), false);
    row("Com_DO2", "QPushButton", "Frame_DO", QStringLiteral("D2"), false);
    row("Com_DO3", "QPushButton", "Frame_DO", QStringLiteral("D3"), false);
    row("Com_DO4", "QPushButton", "Frame_DO", QStringLiteral("D4"), false);
    row("Com_DO5", "QPushButton", "Frame_DO", QStringLiteral("D5"), false);
    row("Com_DO6", "QPushButton", "Frame_DO", QStringLiteral("D6"), false);
    row("Com_DO7", "QPushButton", "Frame_DO", QStringLiteral("D7"), false);
    row("Com_DO8", "QPushButton", "Frame_DO", QStringLiteral("DO8"), false);
    row("Com_DO9", "QPushButton", "Frame_DO", QStringLiteral("DO9"), false);
    row("Com_DOA", "QPushButton", "Frame_DO", QStringLiteral("DOA"), false);
    row("Com_DOB", "QPushButton", "Frame_DO", QStringLiteral("DOB"), false);
    row("Com_DOC", "QPushButton", "Frame_DO", QStringLiteral("DOC"), false);
    row("Com_DOD", "QPushButton", "Frame_DO", QStringLiteral("DOD"), false);
    row("Com_DOE", "QPushButton", "Frame_DO", QStringLiteral("DOE"), false);
    row("Com_DOF", "QPushButton", "Frame_DO", QStringLiteral("DOF"), false);
    row("Frame_Config", "QGroupBox", "SSTab1Page2", QStringLiteral("New Module Configuration"), true);
    row("Config_ID_Combo", "QComboBox", "Frame_Config", QStringLiteral("00"), false);
    row("Label1", "QLabel", "Frame_Config", QStringLiteral("Module ID"), true);
    row("Config_BD_Combo", "QComboBox", "Frame_Config", QStringLiteral("9600"), false);
    row("Label2", "QLabel", "Frame_Config", QStringLiteral("Baud_Rate"), true);
    row("Config_CS_Combo", "QComboBox", "Frame_Config", QStringLiteral("Disable/Normal"), false);
    row("Label15", "QLabel", "Frame_Config", QStringLiteral("ASCII Check_Sum/E82 Mode"), true);
    row("Confiog_DF_Combo", "QComboBox", "Frame_Config", QStringLiteral("Option"), false);
    row("Label56", "QLabel", "Frame_Config", QStringLiteral("Data Format"), true);
    row("Combo_E82_TT", "QComboBox", "Frame_Config", QStringLiteral("08(+/-10V)"), false);
    row("Label19", "QLabel", "Frame_Config", QStringLiteral("QRD-E82 Analog Type"), true);
    row("Com_E82_DF", "QComboBox", "Frame_Config", QStringLiteral("Voltage"), false);
    row("Label30", "QLabel", "Frame_Config", QStringLiteral("QRD-E82 Data Format"), true);
    row("Com_Write", "QPushButton", "Frame_Config", QStringLiteral("Write to EEPROM"), false);
    row("Com_Configuration", "QPushButton", "SSTab1Page2", QStringLiteral("Configuration"), false);
    row("Frame4", "QGroupBox", "SSTab1Page3", QStringLiteral("QRD-V7N Ethernet Serial Server Setting"), true);
    row("Text_IP", "QLineEdit", "Frame4", QStringLiteral("192.168.1.200"), true);
    row("Label3", "QLabel", "Frame4", QStringLiteral("IP"), true);
    row("Text_Port", "QLineEdit", "Frame4", QStringLiteral("4000"), true);
    row("Label4", "QLabel", "Frame4", QStringLiteral("Port"), true);
    row("Com_link", "QPushButton", "Frame4", QStringLiteral("Link"), true);
    row("Frame9", "QGroupBox", "SSTab1Page3", QStringLiteral("Send the ASCII command"), true);
    row("Text_Tcpip_Send", "QLineEdit", "Frame9", QStringLiteral("$01M"), true);
    row("Frame14", "QGroupBox", "SSTab1Page3", QStringLiteral("Description"), true);
    row("Label22", "QLabel", "Frame14", QStringLiteral("The function allow QRD-V7N to connect with network, and RS232/422 wire connection for loop test . or send command to QRD-DIO and AIO  to get the response . Notic:QRD-AIO,DIO using  N,8,1 please check QRD-V7N ethernet server's  setting  as same as that. "), true);
    row("Com_Tcpip_Send", "QPushButton", "SSTab1Page3", QStringLiteral("Send Command"), true);
    row("Com_Tcpip_Clear", "QPushButton", "SSTab1Page3", QStringLiteral("Clear"), true);
    row("Com_Tcpip_Stop", "QPushButton", "SSTab1Page3", QStringLiteral("Release IP"), true);
    row("Com_loop_Test", "QPushButton", "SSTab1Page3", QStringLiteral("Loop Test"), true);
    row("Frame12", "QGroupBox", "SSTab1Page3", QStringLiteral("Network Status"), true);
    row("Tcpip_Status", "QLineEdit", "Frame12", QStringLiteral("Off Line........."), true);
    row("Frame10", "QGroupBox", "SSTab1Page3", QStringLiteral("Response"), true);
    row("Text_Tcpip_Receive", "MultiLineBox", "Frame10", QStringLiteral(""), true);
    row("Frame19", "QGroupBox", "SSTab1Page3", QStringLiteral("Loop Adjust"), true);
    row("HScroll1", "QScrollBar", "Frame19", QString(), false);
    row("Label27", "QLabel", "Frame19", QStringLiteral("Fast"), false);
    row("Label26", "QLabel", "Frame19", QStringLiteral("Slow"), false);
    row("Picture1", "QLabel", "SSTab1Page4", QString(), true);
    row("Label24", "QLabel", "SSTab1Page4", QString(), true);
        // clang-format on
    }
    void control()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, holder);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        auto *w = designed.findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QVERIFY2(w->inherits(kind.toLatin1()), w->metaObject()->className());
        QCOMPARE(::holder(w), holder);
        if (!text.isNull())
            QCOMPARE(shownText(w), text);
        QCOMPARE(!w->testAttribute(Qt::WA_ForceDisabled), enabled);
    }

    void lists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("list");
        auto row = [](const char *name, const QStringList &list) {
            QTest::newRow(name) << QString::fromLatin1(name) << list;
        };
        QStringList com;
        for (int i = 1; i <= 20; ++i)
            com << QStringLiteral("COM%1").arg(i);
        QStringList ids;
        for (int id = 0; id < 256; ++id) {
            if (id != 0xCD && id != 0xDD)
                ids << QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
        }
        const QStringList rates{"1200",  "2400",  "4800",  "9600",
                                "19200", "38400", "57600", "115200"};
        row("LISTCOM", com);
        row("LISTRATE", rates);
        row("Config_ID_Combo", ids);
        row("Config_BD_Combo", rates);
        row("Config_CS_Combo", {"Disable/Normal", "Disable/Fast", "Enable/Normal", "Enable/Fast "});
        row("Confiog_DF_Combo", {"Normal (OCT)", "Engineer(HEX)"});
        row("Combo_E82_TT", {"08(+/-10V)", "09(+/-5V)", "0A(+/-2.5V)", "0B(+/-1.25V)",
                             "0C(+/-650mV)", "0D(+/-20mA)"});
        row("Com_E82_DF", {"0 Volatge", "1 Percent", "2 Hex"});
    }
    void lists()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, list);
        auto *combo = designed.findChild<QComboBox *>(name);
        QVERIFY(combo);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, list);
    }

    void pagesOptionsAndBoxes()
    {
        const QStringList captions{"Setting", "Termial", "Scan", "TCP/IP", "Help"};
        QCOMPARE(design.SSTab1->count(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(design.SSTab1->tabText(i), captions.at(i));
            QCOMPARE(design.SSTab1->widget(i)->objectName(), QStringLiteral("SSTab1Page%1").arg(i));
        }
        QVERIFY(design.Opt_ASC->isChecked());
        QVERIFY(!design.Opt_RTU->isChecked());
        QVERIFY(!design.Check_Chksum->isChecked());
        QVERIFY(!design.Check_Auto->isChecked());
        QCOMPARE(design.Text_Rec->maxLength(), 2000);
        QVERIFY(design.HScroll1->minimum() <= 60 && design.HScroll1->maximum() >= 60);
        QCOMPARE(design.HScroll1->orientation(), Qt::Horizontal);
        const QPixmap picture = design.Picture1->pixmap();
        QCOMPARE(picture.size(), QSize(143, 81));
        QCOMPARE(picture.depth(), 32);  // a 24-bit picture, held by Qt as 32-bit
        QVERIFY(!picture.hasAlphaChannel());
    }

    void windowAsItOpens()
    {
        FormHarness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        h.ui()->SSTab1->setCurrentIndex(2);
        const QString title = h.form->windowTitle();
        QCOMPARE(title.size(), 106);
        QCOMPARE(title, QStringLiteral("MIRVEL Test Utility") + QString(71, u' ') +
                            QStringLiteral("2010 Pro Version"));
        // 8910 x 6405 twips of client area; the tab control is taller than the window, so the
        // output and configuration frames start below its lower edge.
        QCOMPARE(h.form->size(), QSize(594, 427));
        QCOMPARE(h.ui()->SSTab1->geometry(), QRect(0, 0, 593, 641));
        auto top = [&](QWidget *w) { return w->mapTo(h.form.get(), QPoint(0, 0)).y(); };
        QVERIFY(top(h.ui()->Frame_DO) >= 427);
        QVERIFY(top(h.ui()->Frame_Config) >= 427);
        QVERIFY(top(h.ui()->Frame_DI) + h.ui()->Frame_DI->height() <= 427);
        const QString family = h.form->font().family();
        QVERIFY2(family == "Arial" || family == "Liberation Sans", qPrintable(family));
    }

    void timersSilentUntilEnabled_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::newRow("Timer_Send") << "Timer_Send" << 50;
        QTest::newRow("Timer1") << "Timer1" << 0;
        QTest::newRow("Timer3") << "Timer3" << 0;
        QTest::newRow("Timer_Loop") << "Timer_Loop" << 0;
    }
    void timersSilentUntilEnabled()
    {
        QFETCH(QString, name);
        QFETCH(int, interval);
        FormHarness h;
        auto *timer = h.form->findChild<FormTimer *>(name);
        QVERIFY(timer);
        QCOMPARE(timer->interval(), interval);
        QVERIFY(!timer->isEnabled());
        int ticks = 0;
        timer->onTick = [&] { ++ticks; };
        QTest::qWait(120);
        QCOMPARE(ticks, 0);
        timer->setInterval(10);
        timer->setEnabled(true);
        QTRY_VERIFY(ticks > 0);
    }

private:
    QWidget designed;
    Ui::Form1 design;
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
