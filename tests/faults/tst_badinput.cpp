// Every text box that feeds the protocol given texts no operator should type (empty, blanks only,
// 10 000 characters, non-ASCII, control characters), and a current grid cell that holds no
// address: what goes on the line is what the rules make of the text, a text that cannot be sent
// is refused with its message, and the program goes on.
#include "faultbench.h"
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "ui_form1.h"  // named here too, so the window design is generated for this suite

#include <QHostAddress>
#include <QUrl>

using namespace faults;
using M = SimModel;

namespace {

const QString FormatErrorText = QStringLiteral("Data format error !");
const QString LinkFailText = QStringLiteral("Link Fail !............");
const QString OnLineText = QStringLiteral("Network On line!...... ");

QString tenThousand(char c)
{
    return QString(10000, QLatin1Char(c));
}
QString nonAscii()
{
    return QString::fromUtf8("\u20AC\u00FC\u4E2D");  // euro sign, u umlaut, a CJK character
}
QString controls()
{
    return QString::fromLatin1("\x01\x02\t\x1b\x7f");
}

// A host text that neither is a loopback address nor can reach a resolver: the only kind a
// test may hand to Link.
bool staysHere(const QString &host)
{
    const QHostAddress address(host.trimmed());
    if (!address.isNull())
        return address.isLoopback();
    return QUrl::toAce(host).isEmpty();
}

}  // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void terminalSend_data()
    {
        QTest::addColumn<bool>("rtu");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QString>("text");
        // What goes on the line; empty with a "Data format error !" box.
        QTest::addColumn<QByteArray>("written");

        QTest::newRow("ASCII, empty") << false << false << QString() << QByteArray("\r");
        QTest::newRow("ASCII, blanks")
            << false << false << QStringLiteral("     ") << QByteArray("\r");
        QTest::newRow("ASCII, 10 000 characters")
            << false << false << tenThousand('A') << QByteArray(10000, 'A') + '\r';
        QTest::newRow("ASCII, non-ASCII") << false << false << nonAscii() << QByteArray();
        QTest::newRow("ASCII, control characters")
            << false << false << controls() << QByteArray("\x01\x02\t\x1b\x7f\r");

        // The checksum of the empty command is the one digit "0".
        QTest::newRow("checksum, empty") << false << true << QString() << QByteArray("0\r");
        QTest::newRow("checksum, blanks")
            << false << true << QStringLiteral("     ") << QByteArray("0\r");
        // Its sum leaves the range of the checksum's 16-bit register.
        QTest::newRow("checksum, 10 000 characters")
            << false << true << tenThousand('A') << QByteArray();
        QTest::newRow("checksum, non-ASCII") << false << true << nonAscii() << QByteArray();
        // 1 + 2 + 9 + 27 + 127 = 166 = A6.
        QTest::newRow("checksum, control characters") << false << true << controls()
                                                      << QByteArray(
                                                             "\x01\x02\t\x1b\x7f"
                                                             "A6\r");

        // No bytes give the frame FF FF.
        QTest::newRow("RTU, empty") << true << false << QString() << QByteArray("\xFF\xFF");
        QTest::newRow("RTU, blanks")
            << true << false << QStringLiteral("     ") << QByteArray("\xFF\xFF");
        QTest::newRow("RTU, 10 000 characters, one token")
            << true << false << tenThousand('A') << QByteArray();
        // 5000 bytes of 01; their CRC-16/MODBUS is 1BA6, low byte first.
        QTest::newRow("RTU, 10 000 characters, 5000 bytes")
            << true << false << QStringLiteral("1 ").repeated(5000)
            << QByteArray(5000, '\x01') + QByteArray("\xA6\x1B");
        QTest::newRow("RTU, non-ASCII") << true << false << nonAscii() << QByteArray();
        QTest::newRow("RTU, control characters") << true << false << controls() << QByteArray();
    }
    void terminalSend()
    {
        QFETCH(bool, rtu);
        QFETCH(bool, checksum);
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        PtyBench b;
        Ui::Form1 *ui = b.ui();
        b.openAt();
        QVERIFY(b.port.portOpen());
        ui->Check_Chksum->setChecked(checksum);
        b.received.clear();
        b.boxes.shown.clear();

        auto send = [&] {
            ui->Text_Send->setText(text);
            QCOMPARE(ui->Text_Send->text(), text);  // the box keeps what it was given
            ui->Com_send->click();
        };
        if (rtu) {
            QTimer::singleShot(50, b.form.get(), [&] {
                send();
                QTimer::singleShot(500, b.form.get(), [&] { ui->Opt_ASC->setChecked(true); });
            });
            ui->Opt_RTU->setChecked(true);
            ui->Com_Set_Ok->click();  // the receive loop, until ASCII is chosen
        } else {
            send();
        }

        if (written.isEmpty()) {
            QCOMPARE(boxTexts(b.boxes), QStringList{FormatErrorText});
            QTest::qWait(100);
            QCOMPARE(b.received, QByteArray());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(b.received.size(), written.size(), kBound);
            QCOMPARE(b.received, written);
            QVERIFY2(b.boxes.shown.isEmpty(), qPrintable(boxTexts(b.boxes).join(u'|')));
            if (!rtu)  // nobody answered
                QCOMPARE(ui->Text_Rec->text(), QStringLiteral(" \r\n"));
        }

        // The terminal goes on as before.
        ui->Opt_ASC->setChecked(true);
        ui->Check_Chksum->setChecked(false);
        b.answer("$01M", "!01QRD-E41\r");
        ui->Text_Send->setText(QStringLiteral("$01M"));
        ui->Com_send->click();
        QCOMPARE(ui->Text_Rec->text(), QStringLiteral(" !01QRD-E41\r\r\n"));
    }

    void repeatInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks") << QStringLiteral("     ");
        QTest::newRow("10 000 digits") << tenThousand('9');
        QTest::newRow("non-ASCII") << nonAscii();
        QTest::newRow("control characters") << controls();
    }
    void repeatInterval()
    {
        QFETCH(QString, text);
        PtyBench b;
        Ui::Form1 *ui = b.ui();
        b.openAt();
        b.received.clear();
        ui->Text_Time->setText(text);
        ui->Check_Auto->setChecked(true);

        // Refused with its message; no repeat starts.
        QCOMPARE(b.boxes.shown.size(), 1);
        QVERIFY(b.boxes.shown.first().text.startsWith(
            QStringLiteral("The auto-send interval must be a whole number")));
        QVERIFY(!ui->Check_Auto->isChecked());
        QVERIFY(ui->Text_Time->isEnabled());
        QVERIFY(!b.form->Timer_Send()->isEnabled());
        QTest::qWait(300);
        QCOMPARE(b.received, QByteArray());

        // A number then starts it.
        ui->Text_Time->setText(QStringLiteral("80"));
        ui->Check_Auto->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(b.received.count('\r') >= 2, kBound);
        ui->Check_Auto->setChecked(false);
        QCOMPARE(b.boxes.shown.size(), 1);
    }

    void converterAddress_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty") << QString() << LinkFailText;
        QTest::newRow("blanks") << QStringLiteral("     ") << LinkFailText;
        QTest::newRow("words") << QStringLiteral("not a host") << LinkFailText;
        QTest::newRow("10 000 characters") << tenThousand('a') << LinkFailText;
        QTest::newRow("non-ASCII") << nonAscii() + QStringLiteral(" x") << LinkFailText;
        QTest::newRow("control characters") << controls() << LinkFailText;
        // Blanks around a loopback address: the address is read without them.
        QTest::newRow("loopback in blanks") << QStringLiteral("  127.0.0.1  ") << OnLineText;
    }
    void converterAddress()
    {
        QFETCH(QString, host);
        QFETCH(QString, status);
        QVERIFY2(staysHere(host), "a host text that could leave this machine");
        FaultBench b({{M::E41, 0x01, 9600, false}});
        const quint16 port = b.sim.startConverter();
        QVERIFY(port != 0);
        Ui::Form1 *ui = b.ui();
        ui->Text_IP->setText(host);
        ui->Text_Port->setText(QString::number(port));

        ui->Com_link->click();

        QCOMPARE(ui->Tcpip_Status->text(), status);
        const bool online = status == OnLineText;
        QCOMPARE(b.sim.converter()->hasClient(), online);
        QCOMPARE(ui->Com_Tcpip_Send->isEnabled(), online);
        QCOMPARE(ui->Com_loop_Test->isEnabled(), online);
        QVERIFY(b.boxes.shown.isEmpty());
        ui->Com_Tcpip_Stop->click();
    }

    void converterPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty") << QString() << LinkFailText;
        QTest::newRow("blanks") << QStringLiteral("     ") << LinkFailText;
        QTest::newRow("10 000 digits") << tenThousand('1') << LinkFailText;
        QTest::newRow("non-ASCII") << nonAscii() << LinkFailText;
        QTest::newRow("control characters") << controls() << LinkFailText;
        QTest::newRow("zero") << QStringLiteral("0") << LinkFailText;
        QTest::newRow("above 65535") << QStringLiteral("65536") << LinkFailText;
        QTest::newRow("negative") << QStringLiteral("-1") << LinkFailText;
        // %1 stands for the converter's port.
        QTest::newRow("the port in blanks") << QStringLiteral("  %1  ") << OnLineText;
    }
    void converterPort()
    {
        QFETCH(QString, text);
        QFETCH(QString, status);
        FaultBench b({{M::E41, 0x01, 9600, false}});
        const quint16 port = b.sim.startConverter();
        QVERIFY(port != 0);
        Ui::Form1 *ui = b.ui();
        ui->Text_IP->setText(QStringLiteral("127.0.0.1"));
        ui->Text_Port->setText(text.contains(QStringLiteral("%1")) ? text.arg(port) : text);

        ui->Com_link->click();

        QCOMPARE(ui->Tcpip_Status->text(), status);
        const bool online = status == OnLineText;
        QCOMPARE(ui->Com_Tcpip_Send->isEnabled(), online);
        QVERIFY(b.boxes.shown.isEmpty());
        QTest::qWait(50);
        QCOMPARE(b.sim.converter()->hasClient(), online);
        ui->Com_Tcpip_Stop->click();
    }

    void converterConsole_data()
    {
        QTest::addColumn<QString>("text");
        // What reaches the converter; a command that cannot be put in bytes is dropped whole.
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("empty") << QString() << QByteArray("\r");
        QTest::newRow("blanks") << QStringLiteral("     ") << QByteArray("\r");
        QTest::newRow("10 000 characters") << tenThousand('A') << QByteArray(10000, 'A') + '\r';
        QTest::newRow("non-ASCII") << nonAscii() << QByteArray();
        QTest::newRow("control characters") << controls() << QByteArray("\x01\x02\t\x1b\x7f\r");
    }
    void converterConsole()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        // One link serves every row (each Link waits its second).
        if (!m_console) {
            m_console =
                std::make_unique<FaultBench>(QList<SimModuleSettings>{{M::E41, 0x01, 9600, false}});
            const quint16 port = m_console->sim.startConverter();
            QObject::connect(m_console->sim.converter(), &SimConverter::received,
                             [this](const QByteArray &bytes) { m_consoleHeard += bytes; });
            m_console->ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
            m_console->ui()->Text_Port->setText(QString::number(port));
            m_console->ui()->Com_link->click();
        }
        FaultBench &b = *m_console;
        QByteArray &heard = m_consoleHeard;
        heard.clear();
        Ui::Form1 *ui = b.ui();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);

        ui->Text_Tcpip_Send->setText(text);
        ui->Com_Tcpip_Send->click();
        if (sent.isEmpty()) {
            QTest::qWait(200);
            QCOMPARE(heard, QByteArray());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(heard.size(), sent.size(), kBound);
            QCOMPARE(heard, sent);
        }
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
        QVERIFY(b.boxes.shown.isEmpty());

        // The console goes on: a command reaches the module and its answer comes back.
        heard.clear();
        ui->Text_Tcpip_Send->setText(QStringLiteral("$01M"));
        ui->Com_Tcpip_Send->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui->Text_Tcpip_Receive->text(), QStringLiteral(" !01QRD-E41\r"),
                                  kBound);
    }
    void cleanupTestCase() { m_console.reset(); }

    void gridCellWithoutAddress_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("empty cell") << 5 << 0;
        QTest::newRow("module name") << 1 << 1;
        // Begins with two hexadecimal digits, so the module at 96 would be asked.
        QTest::newRow("baud rate") << 1 << 3;
    }
    void gridCellWithoutAddress()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        FaultBench b({{M::E47, 0x00, 9600, false}});
        b.openAt();
        b.scanUpTo(1);
        QCOMPARE(b.form->MSFlexGrid1().textArray(5), QStringLiteral("00"));
        Ui::Form1 *ui = b.ui();
        SimModule *module = b.sim.module(0x00);
        QStringList heard;
        QObject::connect(&b.sim.bus(), &SimBus::heard, [&heard](const QByteArray &frame, int) {
            heard << QString::fromLatin1(frame);
        });
        ScanGrid &grid = b.form->MSFlexGrid1();
        const QString cell = [&] {
            grid.setCurrentCell(row, col);
            return trimSpaces(grid.text());
        }();

        // The panel of the module at 00, then the operator clicks another cell and works on.
        auto panelUp = [&] {
            b.takeUp(1);
            QVERIFY(b.button("Com_DO0")->isEnabled());
            grid.setCurrentCell(row, col);
        };

        panelUp();
        b.button("Com_DO0")->click();
        QCOMPARE(ui->Text_Disp_Com->text(), QStringLiteral("#") + cell + QStringLiteral("1001"));
        QCOMPARE(ui->Text_DSP_Res->text(), QString());
        QCOMPARE(ui->Com_DIO_Status->text(), QString());

        panelUp();
        b.button("Com_DI_D0")->click();
        QCOMPARE(ui->Text_Disp_Com->text(), QStringLiteral("#") + cell + QStringLiteral("0"));
        QCOMPARE(b.button("Com_DI_D0")->text(), QString());

        panelUp();
        ui->Com_DIO_Status->click();
        QCOMPARE(ui->Text_Disp_Com->text(), QStringLiteral("$") + cell + QStringLiteral("6"));
        QCOMPARE(ui->Com_DIO_Status->text(), QString());

        panelUp();
        b.boxes.answers = {MessageBoxes::AnswerOk};
        ui->Com_Write->click();
        // A digital command (no module answered the model query) to whatever the cell holds.
        const QString command = QStringLiteral("%") + cell + QStringLiteral("00400600");
        QCOMPARE(ui->Text_Disp_Com->text(), command);
        QCOMPARE(boxTexts(b.boxes), (QStringList{QStringLiteral("Please Check Command ") + command +
                                                     QStringLiteral(" is Correct ?      "),
                                                 QStringLiteral("Save Fail........    ")}));
        b.boxes.shown.clear();

        // Configuration on that cell: no model, nothing left enabled, no message.
        ui->Com_Configuration->click();
        QVERIFY(!ui->Com_Write->isEnabled());
        QVERIFY(!ui->Config_ID_Combo->isEnabled());
        QVERIFY(!ui->Frame_DO->isEnabled());
        QVERIFY(!ui->Frame_DI->isEnabled());
        QVERIFY(b.boxes.shown.isEmpty());

        // Every one of those commands went out with the cell's text as its address, and the
        // module at 00 was never switched nor reconfigured.
        QVERIFY2(heard.contains(QStringLiteral("$") + cell + QStringLiteral("F")),
                 qPrintable(heard.join(u'|')));
        QCOMPARE(module->outputs(), quint16(0));
        QCOMPARE(module->settings().address, 0);
        QCOMPARE(module->settings().rate, 9600);
    }

private:
    std::unique_ptr<FaultBench> m_console;
    QByteArray m_consoleHeard;
};

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
