// End to end on the simulator's line and converter, real clock: what only the whole chain shows.
#include "scan/modeltable.h"
#include "support/rig.h"

#include <QtWidgets>

using M = SimModel;

namespace {

constexpr int Bound = 60000;  // only keeps a broken run from hanging the suite

QStringList gridRow(const Window &w, int k)
{
    QStringList cells;
    for (int c = 0; c < ScanGrid::Cols; ++c)
        cells << WindowProbe::grid(w.form()).textArray(ScanGrid::Cols * k + c);
    return cells;
}

void scanUntilRow(const Window &w, int k)
{
    w.click("Com_Scan_OK");
    QTRY_VERIFY_WITH_TIMEOUT(!gridRow(w, k).first().isEmpty(), Bound);
    w.click("Com_Scan_OK");
}

}  // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void configurationWrittenAndFoundAgain()
    {
        Window w({{M::E47, 0x00, 9600, false}});
        w.open();
        scanUntilRow(w, 1);
        w.select(1);
        w.click("Com_Configuration");
        w.w<QComboBox>("Config_ID_Combo")->setCurrentIndex(1);  // 01
        w.w<QComboBox>("Config_BD_Combo")->setCurrentIndex(7);  // 115200
        w.w<QComboBox>("Config_CS_Combo")->setCurrentIndex(2);  // checksum
        w.click("Com_Write");
        QCOMPARE(w.boxes.texts().value(1), QStringLiteral("Save Success.....    "));
        w.w<QCheckBox>("Check_Chksum")->setChecked(true);  // the new settings, then a rescan
        w.open(7);
        scanUntilRow(w, 1);
        QCOMPARE(gridRow(w, 1),
                 (QStringList{"01", "QRD-E47", ModelTable("E47", ScanKind::CurrentSettings),
                              "115200", "Enable"}));
    }

    void converterPage()
    {
        Window w({{M::E41, 0x01, 9600, false}});
        w.setText("Text_IP", QStringLiteral("127.0.0.1"));
        w.setText("Text_Port", QString::number(w.sim->startConverter()));
        w.click("Com_link");
        QCOMPARE(w.text("Tcpip_Status"), QStringLiteral("Network On line!...... "));
        w.click("Com_Tcpip_Send");  // "$01M", as Link left it
        QTRY_COMPARE(w.text("Text_Tcpip_Receive"), QStringLiteral(" !01QRD-E41\r"));
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
