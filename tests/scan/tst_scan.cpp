// The two bus scans, step by step on the fake port and the fake clock.
#include "link/checksum.h"
#include "link/rtuframe.h"
#include "scan/busscan.h"
#include "scan/modeltable.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

namespace {

enum Checksum { PlainOnly, SummedOnly, Either };

struct Module
{
    QString address;
    QString rate;
    Checksum checksum;
    QString code;
};

// Modules that answer the identification query at their own rate, with the checksum they expect.
auto busOf(const QList<Module> &modules)
{
    return [modules](const QByteArray &written, const QString &settings) -> QByteArray {
        const QString command = QString::fromLatin1(written).chopped(1);
        for (const Module &m : modules) {
            if (settingsRate(settings) != m.rate)
                continue;
            const QString query = QStringLiteral("$") + m.address + QStringLiteral("F");
            const bool plain = command == query && m.checksum != SummedOnly;
            const bool summed = command == query + asciiChecksum(query) && m.checksum != PlainOnly;
            if (plain || summed)
                return (QStringLiteral("!") + m.address + m.code + QStringLiteral("\r")).toLatin1();
        }
        return {};
    };
}

// The window with its port open, as after a successful OK in ASCII mode.
struct Bench : FormHarness
{
    explicit Bench(const QString &settings = QStringLiteral("  9600,n,8,1"))
    {
        port.setSettings(settings);
        port.setPortOpen(true);
        ui()->LISTCOM->setCurrentIndex(0);
        ui()->LISTRATE->setCurrentIndex(3);
        ui()->Opt_ASC->setChecked(true);
        ui()->Check_Chksum->setChecked(false);
        ui()->Com_Scan_OK->setEnabled(true);
        ui()->Com_Scan_All->setEnabled(true);
    }
    // Runs the scan's steps until its timer is off; returns how many ran.
    int runOut(FormTimer *timer, int limit = 300)
    {
        int steps = 0;
        while (timer->isEnabled() && steps < limit) {
            timer->fire();
            ++steps;
        }
        return steps;
    }
    QStringList row(int k) const
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << form->MSFlexGrid1().textArray(5 * k + c);
        return cells;
    }
    int shownBoxes()
    {
        QCoreApplication::processEvents();  // the window reports a lost line from the event loop
        return boxes.shown.size();
    }
};

}  // namespace

Q_DECLARE_METATYPE(Module)

class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void allSettingsOnAnEmptyLine()
    {
        Bench h;
        h.click("Com_Scan_All");  // the first click starts
        QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Stop"));
        QVERIFY(h.form->Timer1()->isEnabled());
        QCOMPARE(h.form->Timer1()->interval(), 100);
        QVERIFY(!h.ui()->Com_Scan_OK->isEnabled());
        QVERIFY(!h.ui()->Com_Configuration->isEnabled());

        QCOMPARE(h.runOut(h.form->Timer1()), 257);
        QCOMPARE(h.port.writes.size(), 256 * 8 * 2);
        const auto &w = h.port.writes;
        QCOMPARE(w.first().bytes, QByteArray("$00F\r"));
        QCOMPARE(w.first().settings, QStringLiteral("1200,n,8,1"));
        QCOMPARE(w.at(1).bytes, QByteArray("$00FCA\r"));
        QCOMPARE(w.at(1).at - w.at(0).at, 300u);  // the plain query's time-out
        QCOMPARE(w.at(2).at - w.at(1).at, 500u);  // the summed query's time-out
        QCOMPARE(w.at(2).settings, QStringLiteral("2400,n,8,1"));
        QCOMPARE(w.last().bytes, QByteArray("$FFFF6\r"));
        QCOMPARE(w.last().settings, QStringLiteral("115200,n,8,1"));
        // Finished: the caption stays, the port stays at the last rate tried.
        QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Stop"));
        QVERIFY(!h.form->Timer1()->isEnabled());
        QCOMPARE(h.port.settings(), QStringLiteral("115200,n,8,1"));

        // The click that leaves it reopens at the chosen rate; a new start begins at 00.
        h.ui()->LISTRATE->setCurrentIndex(4);
        h.click("Com_Scan_All");
        QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Scan Unknow Setting"));
        QVERIFY(h.port.portOpen());
        QCOMPARE(h.port.settings(), QStringLiteral("19200,n,8,1"));
        QVERIFY(h.ui()->Com_Scan_OK->isEnabled());
        h.click("Com_Scan_All");
        h.port.writes.clear();
        h.form->Timer1()->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
    }

    void allSettingsFindsRateAndChecksum_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<int>("writesForIt");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<QStringList>("row");
        QTest::newRow("05 at 19200, checksum only")
            << Module{"05", "19200", SummedOnly, "E41"} << 4 * 2 + 2 << 4
            << QStringList{"05", "QRD-E41", "16 CH DO         ", "19200", "Enable"};
        QTest::newRow("answers either way: recorded without")
            << Module{"05", "9600", Either, "E45"} << 3 * 2 + 1 << 3
            << QStringList{"05", "QRD-E45", "4 CH. DI & DO    ", "9600", "Disable"};
        QTest::newRow("plain at 115200")
            << Module{"05", "115200", PlainOnly, "E82"} << 7 * 2 + 1 << 7
            << QStringList{"05", "QRD-E82", "8 CH A.D         ", "115200", "Disable"};
    }
    void allSettingsFindsRateAndChecksum()
    {
        QFETCH(Module, module);
        QFETCH(int, writesForIt);
        QFETCH(int, baudIndex);
        QFETCH(QStringList, row);
        Bench h;
        int baudIndexAtAnswer = -1;
        auto bus = busOf({module});
        h.port.responder = [&](const QByteArray &written, const QString &settings) {
            const QByteArray reply = bus(written, settings);
            if (!reply.isEmpty())
                baudIndexAtAnswer = h.form->scan().allPosition().BaudIndex;
            return reply;
        };
        h.click("Com_Scan_All");
        for (int id = 0; id < 5; ++id)
            h.form->Timer1()->fire();
        h.port.writes.clear();
        h.form->Timer1()->fire();
        QCOMPARE(h.port.writes.size(), writesForIt);
        QCOMPARE(baudIndexAtAnswer, baudIndex);
        QCOMPARE(h.row(1), row);
        QCOMPARE(h.form->scan().allPosition().FoundCount, qint16(1));
        QCOMPARE(h.form->scan().allPosition().BaudIndex, qint16(0));
    }

    void stopBetweenStepsRestartsAt00IntoRow1_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::newRow("all settings") << true;
        QTest::newRow("current settings") << false;
    }
    void stopBetweenStepsRestartsAt00IntoRow1()
    {
        QFETCH(bool, allSettings);
        Bench h;
        h.port.responder = busOf({{"01", "9600", Either, "E43"}, {"02", "9600", Either, "E47"}});
        const QString button = allSettings ? "Com_Scan_All" : "Com_Scan_OK";
        FormTimer *timer = allSettings ? h.form->Timer1() : h.form->Timer3();
        h.click(button);
        for (int i = 0; i < 3; ++i)
            timer->fire();
        QCOMPARE(h.row(2).first(), QStringLiteral("02"));
        h.ui()->LISTRATE->setCurrentIndex(5);
        h.click(button);
        QVERIFY(!timer->isEnabled());
        // Only the all-settings scan puts the port back at the chosen rate.
        QCOMPARE(h.port.settings(), QString(allSettings ? "38400,n,8,1" : "  9600,n,8,1"));
        h.ui()->LISTRATE->setCurrentIndex(3);
        if (allSettings)
            h.port.setSettings(QStringLiteral("  9600,n,8,1"));
        h.click(button);
        QVERIFY(h.row(2).first().isEmpty());  // the grid was blanked
        h.port.writes.clear();
        timer->fire();
        timer->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
        QCOMPARE(h.row(1).first(), QStringLiteral("01"));
        QVERIFY(h.row(2).first().isEmpty());
    }

    void stopInTheMiddleOfAStep_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::addColumn<bool>("moduleAnswersLastExchange");
        QTest::newRow("all settings, nothing found") << true << false;
        QTest::newRow("all settings, found by the last exchange") << true << true;
        QTest::newRow("current settings, nothing found") << false << false;
        QTest::newRow("current settings, found by the last exchange") << false << true;
    }
    void stopInTheMiddleOfAStep()
    {
        QFETCH(bool, allSettings);
        QFETCH(bool, moduleAnswersLastExchange);
        Bench h;
        if (moduleAnswersLastExchange)
            h.port.responder = busOf({{"00", allSettings ? "1200" : "9600", SummedOnly, "E41"}});
        h.ui()->Check_Chksum->setChecked(!allSettings);
        h.port.replyDelay = 350;
        h.ui()->LISTRATE->setCurrentIndex(6);
        const QString button = allSettings ? "Com_Scan_All" : "Com_Scan_OK";
        FormTimer *timer = allSettings ? h.form->Timer1() : h.form->Timer3();
        h.click(button);
        // All settings: during the summed query of the first turn; current: during its query.
        h.time.at(allSettings ? 320 : 20, [&] { h.click(button); });
        timer->fire();

        QCOMPARE(h.port.writes.size(), allSettings ? 2 : 1);  // the turn in progress, no more
        QCOMPARE(h.row(1).first(), QString(moduleAnswersLastExchange ? "00" : ""));
        QCOMPARE(allSettings ? h.form->scan().allIdle() : h.form->scan().currentIdle(), true);
        const ScanPosition &p =
            allSettings ? h.form->scan().allPosition() : h.form->scan().currentPosition();
        QCOMPARE(p.NextId, qint16(0));
        QCOMPARE(p.FoundCount, qint16(0));
        QCOMPARE(p.CellCounter, qint16(0));
        if (allSettings) {
            QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Scan Unknow Setting"));
            QCOMPARE(h.port.settings(), QStringLiteral("57600,n,8,1"));  // before the step returned
            QVERIFY(h.port.portOpen());
        } else {
            QCOMPARE(h.ui()->Com_Scan_OK->text(), QStringLiteral("Scan"));
            QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        }
    }

    void stopAndStartDuringOneStepRestartsAt00_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::newRow("all settings") << true;
        QTest::newRow("current settings") << false;
    }
    void stopAndStartDuringOneStepRestartsAt00()
    {
        QFETCH(bool, allSettings);
        Bench h;
        h.port.responder = busOf({{"00", allSettings ? "4800" : "9600", Either, "E41"}});
        h.port.replyDelay = allSettings ? 5 : 350;
        const QString button = allSettings ? "Com_Scan_All" : "Com_Scan_OK";
        FormTimer *timer = allSettings ? h.form->Timer1() : h.form->Timer3();
        h.click(button);
        h.time.at(20, [&] { h.click(button); });   // Stop
        h.time.at(200, [&] { h.click(button); });  // and start again, both within the step
        timer->fire();
        QCOMPARE(h.port.writes.size(), 1);  // the outlived step asked no further
        QVERIFY(h.row(1).first().isEmpty());
        h.port.writes.clear();
        timer->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
        QCOMPARE(h.row(1), (QStringList{"00", "QRD-E41", ModelTable("E41", ScanKind::AllSettings),
                                        allSettings ? "4800" : "9600", "Disable"}));
    }

    void currentSettingsSendsEveryAddressThenTheEmptyOne()
    {
        Bench h;
        h.click("Com_Scan_OK");  // the first click starts
        QCOMPARE(h.ui()->Com_Scan_OK->text(), QStringLiteral("Stop"));
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" "));
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral(" "));
        QCOMPARE(h.form->Timer3()->interval(), 300);
        QVERIFY(h.ui()->Com_Configuration->isEnabled());
        QVERIFY(!h.ui()->Com_Scan_All->isEnabled());

        QCOMPARE(h.runOut(h.form->Timer3()), 258);
        QStringList expected;
        for (int id = 0; id < 256; ++id)
            expected << QStringLiteral("$%1F\r").arg(id, 2, 16, QLatin1Char('0')).toUpper();
        expected << QStringLiteral("$F\r");
        QCOMPARE(h.port.writtenTexts(), expected);
        QCOMPARE(h.port.writes.at(1).at - h.port.writes.at(0).at, 600u);
        QVERIFY(h.ui()->Text_Scan_ID_Status->text().isEmpty());
        // Finished, then the click that leaves it.
        QCOMPARE(h.ui()->Com_Scan_OK->text(), QStringLiteral("Stop"));
        QVERIFY(!h.ui()->Com_Scan_All->isEnabled());
        h.click("Com_Scan_OK");
        QCOMPARE(h.ui()->Com_Scan_OK->text(), QStringLiteral("Scan"));
        QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        QCOMPARE(h.form->scan().currentPosition().NextId, qint16(0));
    }

    void checksumBoxTickedDuringTheScan()
    {
        Bench h;
        h.port.responder = busOf({{"01", "9600", Either, "E45"}});
        h.click("Com_Scan_OK");
        h.form->Timer3()->fire();
        h.ui()->Check_Chksum->setChecked(true);
        h.form->Timer3()->fire();
        QCOMPARE(h.port.writtenTexts(), (QStringList{"$00F\r", "$01FCB\r"}));
        QCOMPARE(h.row(1), (QStringList{"01", "QRD-E45", "4 CH DI & DO     ", "9600", "Disable"}));
    }

    void statusBoxesAtTheStart_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("rate");
        QTest::newRow("19200 in full") << false << " 19200,n,8,1"
                                       << "19200";
        QTest::newRow("9600") << true << "  9600,n,8,1"
                              << "9600";
        QTest::newRow("115200") << false << "115200,n,8,1"
                                << "115200";
    }
    void statusBoxesAtTheStart()
    {
        QFETCH(bool, allSettings);
        QFETCH(QString, settings);
        QFETCH(QString, rate);
        Bench h(settings);
        h.ui()->LISTCOM->setCurrentIndex(4);
        h.ui()->Check_Chksum->setChecked(true);
        h.click(allSettings ? "Com_Scan_All" : "Com_Scan_OK");
        QCOMPARE(h.ui()->Text_Scan_Status->text(), QStringLiteral("5"));
        QCOMPARE(h.ui()->Text_Scan_ID_Status->text(), QStringLiteral("00"));
        QCOMPARE(h.ui()->Text_Scan_BD->text(), rate);
        QCOMPARE(h.ui()->Text_Scan_Checksum_Status->text(), QStringLiteral("Enable"));
    }

    void modbusRtuAnswerIsRowOfTheNextStep_data()
    {
        QTest::addColumn<int>("answeringId");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("address");
        QTest::newRow("07, written by the step for 08") << 7 << "07 46 00 00 0E 41 12 34 "
                                                        << "07";
        QTest::newRow("FF, by the last step") << 255 << "FF 46 00 00 0E 47 12 34 "
                                              << "FF";
    }
    void modbusRtuAnswerIsRowOfTheNextStep()
    {
        QFETCH(int, answeringId);
        QFETCH(QString, answer);
        QFETCH(QString, address);
        Bench h;
        h.ui()->Opt_RTU->setChecked(true);
        h.click("Com_Scan_OK");
        for (int id = 0; id <= answeringId; ++id)
            h.form->Timer3()->fire();
        QVERIFY(h.row(1).first().isEmpty());
        h.ui()->Text_Rec->appendText(answer);  // what the receive loop shows between two steps
        const quint32 stepStart = h.time.tickCount();
        h.form->Timer3()->fire();
        const QString sent = answeringId == 255 ? " 46 00  00" : "08 46 00  00";
        QCOMPARE(h.ui()->Text_Send->text(), sent);
        RtuFramer framer;
        framer.BuildRtuFrame(sent);
        QCOMPARE(h.port.writes.last().bytes, framer.RtuFrame);
        QCOMPARE(h.port.writes.last().at - stepStart, 100u);
        QCOMPARE(h.row(1),
                 (QStringList{address, answeringId == 255 ? "QRD-E47" : "QRD-E41",
                              answeringId == 255 ? "8 CH DI & DO     " : "16 CH DO         ",
                              "9600", "Disable"}));
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" "));
    }

    void modbusRtuSendTextSpoiledDuringThePause()
    {
        Bench h;
        h.ui()->Opt_RTU->setChecked(true);
        h.click("Com_Scan_OK");
        h.time.at(50, [&] { h.ui()->Text_Send->setText(QStringLiteral("zz")); });
        h.form->Timer3()->fire();
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.form->scan().currentPosition().NextId, qint16(1));
        QVERIFY(h.form->Timer3()->isEnabled());
    }

    void moreModulesThanRows()
    {
        Bench h;
        h.port.responder = [](const QByteArray &written, const QString &) {
            return written.size() == 5 ? "!" + written.mid(1, 2) + "E43\r" : QByteArray();
        };
        h.port.replyDelay = 1;
        h.click("Com_Scan_OK");
        h.runOut(h.form->Timer3());
        QCOMPARE(h.form->scan().currentPosition().FoundCount, qint16(256));
        QCOMPARE(h.row(254).first(), QStringLiteral("FD"));
        QVERIFY(h.form->MSFlexGrid1().table()->toolTip().contains(QLatin1String("2 more")));
        h.click("Com_Scan_OK");
        h.click("Com_Scan_OK");
        QVERIFY(h.form->MSFlexGrid1().table()->toolTip().isEmpty());
    }

    void portCannotBeOpened_data()
    {
        QTest::addColumn<bool>("atReset");
        QTest::addColumn<bool>("stopDuringStep");
        QTest::newRow("at a scan rate") << false << false;
        QTest::newRow("at the chosen rate, Stop between steps") << true << false;
        QTest::newRow("at the chosen rate, Stop during a step") << true << true;
    }
    void portCannotBeOpened()
    {
        QFETCH(bool, atReset);
        QFETCH(bool, stopDuringStep);
        Bench h;
        h.click("Com_Scan_All");
        if (atReset) {
            h.form->Timer1()->fire();
            if (stopDuringStep) {
                // Unplugged during the first turn, Stop clicked: only the reset opens again.
                h.time.at(10, [&] { h.port.failOpen = true; });
                h.time.at(20, [&] { h.click("Com_Scan_All"); });
                h.form->Timer1()->fire();
            } else {
                h.port.failOpen = true;
                h.click("Com_Scan_All");
            }
        } else {
            h.port.failOpen = true;
            h.form->Timer1()->fire();
            QVERIFY(h.port.writes.isEmpty());
        }
        QCOMPARE(h.shownBoxes(), 1);
        QCOMPARE(h.boxes.shown.first().text, QStringLiteral("Open Communication Port Error "));
        QCOMPARE(h.boxes.shown.first().title, QStringLiteral(" System Message "));
        QVERIFY(!h.form->Timer1()->isEnabled());
        QVERIFY(h.form->scan().allIdle());
        QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Scan Unknow Setting"));
        QVERIFY(h.ui()->Com_Scan_OK->isEnabled());
        QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        // Once the port can be opened again, a new scan works from 00.
        h.port.failOpen = false;
        h.port.writes.clear();
        h.click("Com_Scan_All");
        h.form->Timer1()->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
    }

    void listRateOutsideTheList()
    {
        Bench h;
        h.click("Com_Scan_All");
        h.form->Timer1()->fire();
        h.ui()->LISTRATE->setCurrentIndex(-1);
        h.click("Com_Scan_All");
        QCOMPARE(h.port.openedWith.last(), QStringLiteral("9600,n,8,1"));
    }

    void lineLostMidScan_data()
    {
        QTest::addColumn<bool>("allSettings");
        QTest::addColumn<bool>("betweenSteps");
        QTest::addColumn<int>("lostAt");
        QTest::newRow("all settings, during the plain query") << true << false << 100;
        QTest::newRow("all settings, during the summed query") << true << false << 400;
        QTest::newRow("current settings, during a step") << false << false << 100;
        QTest::newRow("current settings, between steps") << false << true << 0;
    }
    void lineLostMidScan()
    {
        QFETCH(bool, allSettings);
        QFETCH(bool, betweenSteps);
        QFETCH(int, lostAt);
        Bench h;
        FormTimer *timer = allSettings ? h.form->Timer1() : h.form->Timer3();
        h.click(allSettings ? "Com_Scan_All" : "Com_Scan_OK");
        timer->fire();
        int opensAtLoss = -1;
        auto unplug = [&] {
            h.port.failOpen = true;  // it will not open again
            if (betweenSteps)
                h.port.setPortOpen(false);  // gone without a word from the port
            else
                h.port.hangUp();
            opensAtLoss = h.port.opens;
        };
        if (betweenSteps)
            unplug();
        else
            h.time.at(quint32(lostAt), unplug);
        for (int i = 0; i < 3; ++i) {
            if (timer->isEnabled())
                timer->fire();
        }
        QCOMPARE(h.shownBoxes(), 1);
        QCOMPARE(h.port.opens, opensAtLoss);  // nothing tried to reopen a port that has gone
        QVERIFY(!timer->isEnabled());
        if (allSettings) {
            QVERIFY(h.form->scan().allIdle());
            QCOMPARE(h.ui()->Com_Scan_All->text(), QStringLiteral("Scan Unknow Setting"));
            QVERIFY(h.ui()->Com_Scan_OK->isEnabled());
        } else {
            QVERIFY(h.form->scan().currentIdle());
            QCOMPARE(h.ui()->Com_Scan_OK->text(), QStringLiteral("Scan"));
            QVERIFY(h.ui()->Com_Scan_All->isEnabled());
        }
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
