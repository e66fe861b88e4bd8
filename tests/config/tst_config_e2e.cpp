// Taking up modules, switching outputs and writing a configuration end to end: the real window on
// the real serial port over the bench simulator's pseudo-terminal linked as COM1, real clock and
// event loop.
#include "dio/diopanel.h"
#include "link/checksum.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "sim/simbench.h"
#include "support/fakes.h"
#include "support/realwindow.h"
#include "support/pty.h"
#include "ui_form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {

// Only keeps a broken scan from hanging the suite.
constexpr int kScanBound = 60000;

using M = SimModel;

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

// The window over the simulator's line, linked as COM1.
struct RealBench : RealWindow
{
    SimBench sim;

    explicit RealBench(const QList<SimModuleSettings> &modules)
    {
        for (const SimModuleSettings &m : modules)
            sim.addModule(m);
        QString error;
        if (!sim.startSerial(1, true, &error))
            qFatal("no pseudo-terminal: %s", qPrintable(error));
        openAt(3);
    }
    ~RealBench() { form.reset(); }

    Ui::Form1 *ui() const { return form->ui(); }

    // The operator's way: COM1 and a rate on the Setting page, then OK.
    void openAt(int rateIndex)
    {
        ui()->LISTCOM->setCurrentIndex(0);
        ui()->LISTRATE->setCurrentIndex(rateIndex);
        ui()->Com_Set_Ok->click();
    }

    // Scans at the present settings until every address below stopBefore has been asked.
    void scanUpTo(int stopBefore)
    {
        ui()->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->scan().currentPosition().NextId >= stopBefore, kScanBound);
        ui()->Com_Scan_OK->click();
    }

    QStringList row(int k) const
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << form->MSFlexGrid1().textArray(5 * k + c);
        return cells;
    }
    // The grid row of an address, 0 when the scan did not list it.
    int rowOf(const QString &address) const
    {
        for (int k = 1; k < ScanGrid::Rows && !row(k).first().isEmpty(); ++k) {
            if (row(k).first() == address)
                return k;
        }
        return 0;
    }
    // The operator clicks the address cell of the module's row and presses Configuration.
    void takeUp(const QString &address)
    {
        const int k = rowOf(address);
        QVERIFY2(k > 0, qPrintable("not in the grid: " + address));
        form->MSFlexGrid1().setCurrentCell(k, 0);
        QVERIFY(ui()->Com_Configuration->isEnabled());
        ui()->Com_Configuration->click();
    }
    QString caption(int n) const
    {
        return form->findChild<QPushButton *>("Com_DI_D" + hex(n))->text();
    }
    QPushButton *output(int n) const { return form->findChild<QPushButton *>("Com_DO" + hex(n)); }
};

}  // namespace

class TestConfigEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void eachModelAfterAScan()
    {
        RealBench b({{M::E41, 0x01, 9600, false},
                     {M::E43, 0x02, 9600, false},
                     {M::E45, 0x03, 9600, false},
                     {M::E47, 0x04, 9600, false},
                     {M::E82, 0x05, 9600, false}});
        for (int n = 0; n < 16; ++n)
            b.sim.module(0x02)->setCounter(n, quint16(100 * n + 7));
        b.sim.module(0x03)->setCounter(2, 4242);
        b.sim.module(0x04)->setCounter(7, 65535);
        b.sim.module(0x03)->setOutput(1, true);
        b.sim.module(0x01)->setOutput(15, true);
        for (int n = 0; n < 8; ++n)
            b.sim.module(0x05)->setAnalog(n, 0.1 * n - 0.35);
        b.scanUpTo(7);

        b.takeUp("01");
        QVERIFY(b.ui()->Frame_DO->isEnabled());
        QVERIFY(b.output(15)->isEnabled());
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("80000"));
        QVERIFY(b.ui()->Com_Write->isEnabled());

        b.takeUp("02");
        QVERIFY(!b.ui()->Frame_DO->isEnabled());
        for (int n = 0; n < 16; ++n)
            QCOMPARE(b.caption(n), QString::number(100 * n + 7).rightJustified(5, u'0'));
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("00000"));

        b.takeUp("03");
        QVERIFY(b.output(3)->isEnabled());
        QVERIFY(!b.output(4)->isEnabled());
        QCOMPARE(b.caption(2), QStringLiteral("04242"));
        QCOMPARE(b.caption(4), QString());
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("02000"));

        b.takeUp("04");
        QVERIFY(b.output(7)->isEnabled());
        QVERIFY(!b.output(8)->isEnabled());
        QCOMPARE(b.caption(7), QStringLiteral("65535"));
        QCOMPARE(b.caption(8), QString());

        b.takeUp("05");
        QVERIFY(!b.ui()->Frame_DO->isEnabled());
        QVERIFY(b.ui()->Combo_E82_TT->isEnabled());
        for (int n = 0; n < 8; ++n) {
            const QString reply =
                "!05" + QString::fromLatin1(b.sim.module(0x05)->analogField(n)) + "\r";
            QCOMPARE(b.caption(n), midChars(reply, 4, 8));
            QVERIFY(!b.caption(n).isEmpty());
        }
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QString());
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void outputOnAndStatusBack()
    {
        RealBench b({{M::E47, 0x04, 9600, false}});
        b.scanUpTo(5);
        b.takeUp("04");
        b.output(3)->click();
        QCOMPARE(b.sim.module(0x04)->outputs(), quint16(0x08));
        QVERIFY(b.output(3)->isChecked());
        QCOMPARE(b.ui()->Text_DSP_Res->text(), QStringLiteral("!04\r"));
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("08000"));

        // A machine changes an input; the status button reads it back.
        b.sim.module(0x04)->setInput(0, true);
        b.ui()->Com_DIO_Status->click();
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("08010"));

        b.output(3)->click();
        QCOMPARE(b.sim.module(0x04)->outputs(), quint16(0));
        QVERIFY(!b.output(3)->isChecked());
    }

    void newAddressRateAndChecksumFoundByARescan()
    {
        RealBench b({{M::E47, 0x01, 9600, false}, {M::E41, 0x02, 9600, false}});
        b.scanUpTo(3);
        b.takeUp("01");
        b.ui()->Config_ID_Combo->setCurrentIndex(0x0B);
        b.ui()->Config_BD_Combo->setCurrentIndex(7);  // 115200
        b.ui()->Config_CS_Combo->setCurrentIndex(2);  // Enable/Normal
        b.boxes.answers = {MessageBoxes::AnswerOk};
        b.ui()->Com_Write->click();
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral("%010B400A40"));
        QCOMPARE(b.boxes.shown.size(), 2);
        QCOMPARE(b.boxes.shown.at(1).text, QStringLiteral("Save Success.....    "));
        QCOMPARE(b.ui()->Text_DSP_Res->text(), QStringLiteral("!0B\r"));

        // The operator changes the settings to the module's new ones and scans again.
        b.openAt(7);
        QCOMPARE(b.sim.serial()->lineRate(), 115200);
        b.ui()->Check_Chksum->setChecked(true);
        b.scanUpTo(0x0C);
        QCOMPARE(b.rowOf("01"), 0);
        QCOMPARE(b.rowOf("02"), 0);  // still at 9600 without checksum
        const int k = b.rowOf("0B");
        QVERIFY(k > 0);
        QCOMPARE(b.row(k), (QStringList{"0B", "QRD-E47", "8 CH DI & DO     ", "115200", "Enable"}));
    }

    void analogRangeAndFormatWritten()
    {
        RealBench b({{M::E82, 0x05, 9600, false}});
        b.scanUpTo(6);
        b.takeUp("05");
        b.ui()->Config_ID_Combo->setCurrentIndex(5);
        b.ui()->Combo_E82_TT->setCurrentIndex(2);  // 0A(+/-2.5V)
        b.ui()->Com_E82_DF->setCurrentIndex(1);    // 1 Percent
        b.ui()->Config_CS_Combo->setCurrentIndex(1);
        b.boxes.answers = {MessageBoxes::AnswerOk};
        b.ui()->Com_Write->click();
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral("%05050A0621"));
        QCOMPARE(b.boxes.shown.at(1).text, QStringLiteral("Save Success.....    "));
        const SimModuleSettings now = b.sim.module(0x05)->settings();
        QCOMPARE(now.range, 0x0A);
        QCOMPARE(now.format, 1);
        QVERIFY(now.fast);
        QCOMPARE(now.rate, 9600);
    }
};

QTEST_MAIN(TestConfigEndToEnd)
#include "tst_config_e2e.moc"
