// Taking up modules, switching outputs and writing a configuration end to end: the real window on
// the real serial port over the bench simulator's pseudo-terminal linked as COM1.
#include "link/checksum.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "sim/simbench.h"
#include "support/pty.h"
#include "support/realwindow.h"

#include <QPushButton>
#include <QTest>

namespace {

using M = SimModel;

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

struct RealBench : SimWindow
{
    explicit RealBench(const QList<SimModuleSettings> &modules) : SimWindow(modules) { openAt(3); }
    ~RealBench() { form.reset(); }

    // The operator's way: COM1 and a rate on the Setting page, then OK.
    void openAt(int rateIndex)
    {
        ui()->LISTCOM->setCurrentIndex(0);
        ui()->LISTRATE->setCurrentIndex(rateIndex);
        ui()->Com_Set_Ok->click();
    }
    // Scans at the present settings until every address below stopBefore has been asked (the
    // bound only keeps a broken scan from hanging the suite).
    void scanUpTo(int stopBefore)
    {
        ui()->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->scan().currentPosition().NextId >= stopBefore, 60000);
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
        b.sim.module(0x01)->setOutput(15, true);
        for (int n = 0; n < 16; ++n)
            b.sim.module(0x02)->setCounter(n, quint16(100 * n + 7));
        b.sim.module(0x03)->setOutput(1, true);
        b.sim.module(0x03)->setCounter(2, 4242);
        b.sim.module(0x04)->setCounter(7, 65535);
        for (int n = 0; n < 8; ++n)
            b.sim.module(0x05)->setAnalog(n, 0.1 * n - 0.35);
        b.scanUpTo(7);

        // Per module: outputs enabled, inputs filled, one counter's caption, Com_DIO_Status.
        const QList<std::tuple<QString, int, int, int, QString, QString>> expected{
            {"01", 16, 0, 0, "", "80000"},
            {"02", 0, 16, 15, "01507", "00000"},
            {"03", 4, 4, 2, "04242", "02000"},
            {"04", 8, 8, 7, "65535", "00000"},
        };
        for (const auto &[address, outputs, inputs, channel, caption, status] : expected) {
            b.takeUp(address);
            for (int n = 0; n < 16; ++n) {
                QCOMPARE(b.output(n)->isEnabled(), n < outputs);
                QCOMPARE(b.caption(n).isEmpty(), n >= inputs);
            }
            QCOMPARE(b.caption(channel), caption);
            QCOMPARE(b.ui()->Com_DIO_Status->text(), status);
        }
        b.takeUp("05");
        QVERIFY(b.ui()->Combo_E82_TT->isEnabled());
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QString());
        for (int n = 0; n < 8; ++n) {
            const QString field = QString::fromLatin1(b.sim.module(0x05)->analogField(n));
            QCOMPARE(b.caption(n), midChars("!05" + field + "\r", 4, 8));
            QVERIFY(!b.caption(n).isEmpty());
        }
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
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("08000"));
        // A machine changes an input; the status button reads it back.
        b.sim.module(0x04)->setInput(0, true);
        b.ui()->Com_DIO_Status->click();
        QCOMPARE(b.ui()->Com_DIO_Status->text(), QStringLiteral("08010"));
        b.output(3)->click();
        QCOMPARE(b.sim.module(0x04)->outputs(), quint16(0));
    }

    void newAddressRateAndChecksumFoundByARescan()
    {
        RealBench b({{M::E47, 0x01, 9600, false}, {M::E41, 0x02, 9600, false}});
        b.scanUpTo(3);
        b.takeUp("01");
        b.ui()->Config_ID_Combo->setCurrentIndex(0x0B);
        b.ui()->Config_BD_Combo->setCurrentIndex(7);  // 115200
        b.ui()->Config_CS_Combo->setCurrentIndex(2);  // Enable/Normal
        b.ui()->Com_Write->click();
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral("%010B400A40"));
        QCOMPARE(b.boxes.shown.size(), 2);
        QCOMPARE(b.boxes.shown.at(1).text, QStringLiteral("Save Success.....    "));

        // The operator changes the settings to the module's new ones and scans again.
        b.openAt(7);
        b.ui()->Check_Chksum->setChecked(true);
        b.scanUpTo(0x0C);
        QCOMPARE(b.rowOf("01"), 0);
        QCOMPARE(b.rowOf("02"), 0);  // still at 9600 without checksum
        QVERIFY(b.rowOf("0B") > 0);
        QCOMPARE(b.row(b.rowOf("0B")),
                 (QStringList{"0B", "QRD-E47", "8 CH DI & DO     ", "115200", "Enable"}));
    }
};

QTEST_MAIN(TestConfigEndToEnd)
#include "tst_config_e2e.moc"
