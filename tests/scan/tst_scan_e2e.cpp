// Both scans end to end: the real window on the real serial port, over the bench simulator's
// pseudo-terminal linked as COM1, with the real clock and event loop.
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
#include <QTimer>

#include <memory>

namespace {

// Generous bounds for the waits below; they only keep a broken scan from hanging the suite.
constexpr int kScanBound = 60000;

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
        // The port as a successful OK at COM1, 9600, ASCII leaves it.
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

    Ui::Form1 *ui() const { return form->ui(); }
    QStringList row(int k) const
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << form->MSFlexGrid1().textArray(5 * k + c);
        return cells;
    }
    QList<QStringList> rows() const
    {
        QList<QStringList> found;
        for (int k = 1; !row(k).first().isEmpty(); ++k)
            found << row(k);
        return found;
    }
};

using M = SimModel;

}  // namespace

class TestScanEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void currentSettingsFindsWhatAnswersAt9600_data()
    {
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QList<QStringList>>("expected");
        QTest::newRow("without checksum")
            << false
            << QList<QStringList>{{"01", "QRD-E41", "16 CH DO         ", "9600", "Disable"},
                                  {"02", "QRD-E43", "16 CH DI         ", "9600", "Disable"},
                                  {"03", "QRD-E45", "4 CH DI & DO     ", "9600", "Disable"},
                                  {"04", "QRD-E47", "8 CH DI & DO     ", "9600", "Disable"},
                                  {"05", "QRD-E82", "8 CH A.D         ", "9600", "Disable"},
                                  {"07", "QRD-E45", "4 CH DI & DO     ", "9600", "Disable"}};
        QTest::newRow("with checksum")
            << true << QList<QStringList>{{"06", "QRD-E41", "16 CH DO         ", "9600", "Enable"}};
    }
    void currentSettingsFindsWhatAnswersAt9600()
    {
        QFETCH(bool, checksum);
        QFETCH(QList<QStringList>, expected);
        RealBench b(SimBench::defaultModules());
        b.ui()->Check_Chksum->setChecked(checksum);
        b.ui()->Com_Scan_OK->click();
        // The default bench keeps its 9600 modules below 08; the scan is stopped past them.
        QTRY_VERIFY_WITH_TIMEOUT(b.form->scan().currentPosition().NextId >= 9, kScanBound);
        b.ui()->Com_Scan_OK->click();
        QCOMPARE(b.ui()->Com_Scan_OK->text(), QStringLiteral("Scan"));
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
        QCOMPARE(b.rows(),
                 (QList<QStringList>{{"00", "QRD-E41", "16 CH DO         ", "19200", "Enable"},
                                     {"01", "QRD-E43", "16 CH DI         ", "1200", "Disable"},
                                     {"02", "QRD-E47", "8 CH DI & DO     ", "115200", "Enable"}}));
        // Back at the chosen rate, on the line as well.
        QVERIFY(b.port.portOpen());
        QCOMPARE(b.port.settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(b.sim.serial()->lineRate(), 9600);
        QVERIFY(b.boxes.shown.isEmpty());
    }

    void unpluggedMidScan_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::newRow("current settings") << false;
        QTest::newRow("all settings") << true;
    }
    void unpluggedMidScan()
    {
        QFETCH(bool, allSettings);
        RealBench b({{M::E41, 0x00, allSettings ? 1200 : 9600, false}});
        QPushButton *button = allSettings ? b.ui()->Com_Scan_All : b.ui()->Com_Scan_OK;
        auto idle = [&] {
            return allSettings ? b.form->scan().allIdle() : b.form->scan().currentIdle();
        };
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            (allSettings ? b.form->scan().allPosition() : b.form->scan().currentPosition())
                    .NextId >= 1,
            kScanBound);
        // Within the next step's wait.
        QTimer::singleShot(150, [&] { b.sim.serial()->dropLine(); });
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kScanBound);
        QTRY_COMPARE(b.boxes.shown.size(), 1);
        QTest::qWait(1500);  // a few more ticks' worth: the scan stays stopped, no more boxes
        QCOMPARE(b.boxes.shown.size(), 1);
        QVERIFY(!(allSettings ? b.form->Timer1() : b.form->Timer3())->isEnabled());
        QCOMPARE(button->text(),
                 allSettings ? QStringLiteral("Scan Unknow Setting") : QStringLiteral("Scan"));
        QCOMPARE(b.row(1).first(), QStringLiteral("00"));  // found before the line went
        QVERIFY(b.ui()->Com_Scan_OK->isEnabled());
        QVERIFY(b.ui()->Com_Scan_All->isEnabled());
    }
};

QTEST_MAIN(TestScanEndToEnd)
#include "tst_scan_e2e.moc"
