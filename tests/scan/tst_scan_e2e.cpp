// Both scans end to end: the real window on the real serial port, over the bench simulator's
// pseudo-terminal linked as COM1, with the real clock and event loop.
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "sim/simbench.h"
#include "support/pty.h"
#include "support/realwindow.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using M = SimModel;
using Rows = QList<QStringList>;

// The window over the simulator's line, its port as a successful OK at COM1, 9600, ASCII leaves it.
struct RealBench : SimWindow
{
    explicit RealBench(const QList<SimModuleSettings> &modules) : SimWindow(modules)
    {
        port.setCommPort(1);
        port.setSettings(QStringLiteral("  9600,n,8,1"));
        port.setPortOpen(true);
        ui()->LISTCOM->setCurrentIndex(0);
        ui()->LISTRATE->setCurrentIndex(3);
        ui()->Opt_ASC->setChecked(true);
        ui()->Com_Scan_OK->setEnabled(true);
        ui()->Com_Scan_All->setEnabled(true);
    }
    ~RealBench() { form.reset(); }

    // The rows found, up to the first empty one.
    Rows rows() const
    {
        Rows found;
        for (int k = 1; !form->MSFlexGrid1().textArray(5 * k).isEmpty(); ++k) {
            QStringList cells;
            for (int c = 0; c < 5; ++c)
                cells << form->MSFlexGrid1().textArray(5 * k + c);
            found << cells;
        }
        return found;
    }
};

// Only keeps a broken scan from hanging the suite.
constexpr int kScanBound = 60000;

}  // namespace

class TestScanEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    // The default bench keeps its 9600 modules below 08; the scan is stopped past them.
    void currentSettingsFindsWhatAnswersAt9600_data()
    {
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<Rows>("expected");
        const QString d = "Disable";
        QTest::newRow("without checksum")
            << false
            << Rows{{"01", "QRD-E41", "16 CH DO         ", "9600", d},
                    {"02", "QRD-E43", "16 CH DI         ", "9600", d},
                    {"03", "QRD-E45", "4 CH DI & DO     ", "9600", d},
                    {"04", "QRD-E47", "8 CH DI & DO     ", "9600", d},
                    {"05", "QRD-E82", "8 CH A.D         ", "9600", d},
                    {"07", "QRD-E45", "4 CH DI & DO     ", "9600", d}};
        QTest::newRow("with checksum")
            << true << Rows{{"06", "QRD-E41", "16 CH DO         ", "9600", "Enable"}};
    }
    void currentSettingsFindsWhatAnswersAt9600()
    {
        QFETCH(bool, checksum);
        QFETCH(Rows, expected);
        RealBench b(SimBench::defaultModules());
        b.ui()->Check_Chksum->setChecked(checksum);
        b.ui()->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().currentPosition().NextId >= 9, kScanBound);
        b.ui()->Com_Scan_OK->click();
        QVERIFY(!b.form->Timer3()->isEnabled());
        QCOMPARE(b.rows(), expected);
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void allSettingsFindsEachWithItsRateAndChecksum()
    {
        RealBench b({{M::E41, 0x00, 19200, true},
                     {M::E43, 0x01, 1200, false},
                     {M::E47, 0x02, 115200, true}});
        b.ui()->Com_Scan_All->click();
        QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().allPosition().FoundCount >= 3, kScanBound);
        b.ui()->Com_Scan_All->click();
        QCOMPARE(b.rows(), (Rows{{"00", "QRD-E41", "16 CH DO         ", "19200", "Enable"},
                                 {"01", "QRD-E43", "16 CH DI         ", "1200", "Disable"},
                                 {"02", "QRD-E47", "8 CH DI & DO     ", "115200", "Enable"}}));
        // Back at the chosen rate, on the line as well.
        QCOMPARE(b.port.settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(b.sim.serial()->lineRate(), 9600);
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void unpluggedMidScan_data()
    {
        QTest::addColumn<bool>("all");
        QTest::newRow("current settings") << false;
        QTest::newRow("all settings") << true;
    }
    void unpluggedMidScan()
    {
        QFETCH(bool, all);
        RealBench b({{M::E41, 0x00, all ? 1200 : 9600, false}});
        QPushButton *button = all ? b.ui()->Com_Scan_All : b.ui()->Com_Scan_OK;
        const BusScan &scan = b.form->scan();
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT((all ? scan.allPosition() : scan.currentPosition()).NextId >= 1,
                                 kScanBound);
        QTimer::singleShot(150, [&] { b.sim.serial()->dropLine(); });  // within the next step
        QTRY_VERIFY_WITH_TIMEOUT(all ? scan.allIdle() : scan.currentIdle(), kScanBound);
        QTRY_COMPARE(b.boxes.shown.size(), 1);
        QTest::qWait(1500);  // a few more ticks' worth: the scan stays stopped, no more boxes
        QCOMPARE(b.boxes.shown.size(), 1);
        QVERIFY(!(all ? b.form->Timer1() : b.form->Timer3())->isEnabled());
        QCOMPARE(button->text(), QString(all ? "Scan Unknow Setting" : "Scan"));
        QCOMPARE(b.rows().value(0).value(0), QStringLiteral("00"));  // found before the line went
        QVERIFY(b.ui()->Com_Scan_OK->isEnabled() && b.ui()->Com_Scan_All->isEnabled());
    }
};

QTEST_MAIN(TestScanEndToEnd)
#include "tst_scan_e2e.moc"
