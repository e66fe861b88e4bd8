// End to end on the simulator's line and converter, real clock: what only the whole chain shows.
#include "link/convertersocket.h"
#include "link/rtuframe.h"
#include "network/networktest.h"
#include "scan/busscan.h"
#include "scan/modeltable.h"
#include "sim/simwire.h"
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
    void allSettingsScanFindsEveryRate()
    {
        // A module at each rate, every other with checksum; stopped at the first empty address.
        QList<SimModuleSettings> modules;
        for (int k = 0; k < 8; ++k)
            modules.append({M(k % 4), k, QByteArray(ScanBaudRates[k]).toInt(), k % 2 == 1});
        Window w(modules);
        w.open(4);  // 19200 (the rate warning is answered OK)
        QObject::connect(&w.sim->bus(), &SimBus::heard, [&w](const QByteArray &frame) {
            if (frame == "$08F")
                QTimer::singleShot(0, [&w] { w.click("Com_Scan_All"); });
        });
        w.click("Com_Scan_All");
        QTRY_VERIFY_WITH_TIMEOUT(w.text("Com_Scan_All") == "Scan Unknow Setting", Bound);
        for (int k = 0; k < 8; ++k) {
            const QString model = simModelCode(M(k % 4));
            QCOMPARE(gridRow(w, k + 1),
                     (QStringList{addressText(k), "QRD-" + model,
                                  ModelTable(model, ScanKind::AllSettings), ScanBaudRates[k],
                                  k % 2 ? "Enable" : "Disable"}));
        }
        QCOMPARE(w.sim->serial()->lineRate(), 19200);  // back at the rate of the list
        QCOMPARE(w.boxes.shown.size(), 1);             // the rate warning only
    }

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

    void terminalBothModes()
    {
        Window w({{M::E41, 0x01, 9600, false}});
        w.open();
        w.setText("Text_Send", QStringLiteral("$01M"));
        w.click("Com_send");
        QCOMPARE(w.text("Text_Rec"), QStringLiteral(" !01QRD-E41\r\r\n"));
        // Modbus RTU: the receive loop shows the hex dump; ASCII ends it once the dump is there.
        const QString dump = u' ' + hexDump(simWithCrc(QByteArray::fromHex("014600020E41")));
        QTimer::singleShot(0, &w.form(), [&w] { w.click("Com_send"); });
        auto ascii = [&w] { w.w<QRadioButton>("Opt_ASC")->setChecked(true); };
        QObject::connect(w.w<QPlainTextEdit>("Text_Rec"), &QPlainTextEdit::textChanged, [&] {
            if (w.text("Text_Rec") == dump)
                ascii();
        });
        QTimer::singleShot(Bound, &w.form(), ascii);
        w.open(3, true);
        QCOMPARE(w.text("Text_Rec"), dump);
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
        // Looped back: stopped during the last text, one whole pass of the texts is echoed.
        w.sim->converter()->setMode(SimConverter::Mode::Loop);
        const auto &texts = LoopPatterns();
        QByteArray echoed;
        QObject::connect(&WindowProbe::socket(w.form()), &ConverterSocket::DataArrival,
                         [&](qint32 n) {  // after the window has appended it
                             echoed += w.text("Text_Tcpip_Receive").right(n).toLatin1();
                         });
        QObject::connect(w.w<QLineEdit>("Text_Tcpip_Send"), &QLineEdit::textChanged,
                         [&](const QString &text) {
                             if (text == texts[31])
                                 QTimer::singleShot(0, [&w] { w.click("Com_loop_Test"); });
                         });
        w.w<QScrollBar>("HScroll1")->setValue(1);
        w.click("Com_loop_Test");
        const QByteArray all = QStringList(texts.begin(), texts.end()).join(QString()).toLatin1();
        QTRY_COMPARE_WITH_TIMEOUT(echoed, all, Bound);
    }
};

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
