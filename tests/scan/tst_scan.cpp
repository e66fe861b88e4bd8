// The two bus scans, step by step on the fake port and the fake clock.
#include "link/checksum.h"
#include "link/rtuframe.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "support/formharness.h"

#include <QTableWidget>

namespace {

enum Checksum { PlainOnly, SummedOnly, Either };

struct Module
{
    QString address, rate;
    Checksum checksum;
    QString code;
};

const QStringList Rates{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

// The window with its port open as after OK at COM1, 9600, ASCII, driving one of the two scans.
struct Bench : FormHarness
{
    bool all;

    explicit Bench(bool allSettings, const QString &settings = QStringLiteral("  9600,n,8,1"))
        : all(allSettings)
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
    // Modules that answer the identification query at their rate, with the checksum they expect.
    void bus(const QList<Module> &modules)
    {
        port.responder = [modules](const QByteArray &written, const QString &settings) {
            const QString command = QString::fromLatin1(written).chopped(1);
            for (const Module &m : modules) {
                const QString query = "$" + m.address + "F";
                if (settingsRate(settings) == m.rate &&
                    ((command == query && m.checksum != SummedOnly) ||
                     (command == query + asciiChecksum(query) && m.checksum != PlainOnly)))
                    return ("!" + m.address + m.code + "\r").toLatin1();
            }
            return QByteArray();
        };
    }
    QAbstractButton *button() const { return all ? ui()->Com_Scan_All : ui()->Com_Scan_OK; }
    QAbstractButton *other() const { return all ? ui()->Com_Scan_OK : ui()->Com_Scan_All; }
    QString idleCaption() const { return all ? "Scan Unknow Setting" : "Scan"; }
    FormTimer *timer() const { return all ? form->Timer1() : form->Timer3(); }
    const ScanPosition &position() const
    {
        return all ? form->scan().allPosition() : form->scan().currentPosition();
    }
    bool idle() const { return all ? form->scan().allIdle() : form->scan().currentIdle(); }
    void press() { button()->click(); }
    // Runs steps until the timer is off (or the limit); returns how many ran.
    int run(int limit = 300)
    {
        int steps = 0;
        for (; timer()->isEnabled() && steps < limit; ++steps)
            timer()->fire();
        return steps;
    }
    QStringList row(int k) const
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << form->MSFlexGrid1().textArray(5 * k + c);
        return cells;
    }
    int shownBoxes() const
    {
        QCoreApplication::processEvents();  // the window reports a lost line from the event loop
        return boxes.shown.size();
    }
    // Stopped cleanly: idle, its caption back, the other scan's button usable again.
    void verifyStopped() const
    {
        QVERIFY(idle());
        QVERIFY(!timer()->isEnabled());
        QCOMPARE(button()->text(), idleCaption());
        QVERIFY(other()->isEnabled());
    }
};

}  // namespace

Q_DECLARE_METATYPE(Module)

class TestScan : public QObject
{
    Q_OBJECT

private slots:
    // Started at the port's settings (the checksum box ticked for the all-settings scan, which
    // asks both ways regardless), on an empty line, and run to the end.
    void emptyLine_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("settings");
        QTest::newRow("all settings") << true << "115200,n,8,1";
        QTest::newRow("current settings, 19200 in full") << false << " 19200,n,8,1";
    }
    void emptyLine()
    {
        QFETCH(bool, all);
        QFETCH(QString, settings);
        Bench h(all, settings);
        h.ui()->LISTCOM->setCurrentIndex(4);
        h.ui()->Check_Chksum->setChecked(all);
        h.press();  // the first click starts
        QCOMPARE(h.button()->text(), QStringLiteral("Stop"));
        QCOMPARE(h.timer()->interval(), all ? 100 : 300);
        QVERIFY(!h.other()->isEnabled());
        QCOMPARE(h.ui()->Com_Configuration->isEnabled(), !all);
        QCOMPARE(h.ui()->Text_Scan_Status->text(), QStringLiteral("5"));
        QCOMPARE(h.ui()->Text_Scan_ID_Status->text(), QStringLiteral("00"));
        QCOMPARE(h.ui()->Text_Scan_BD->text(), settings.section(',', 0, 0).trimmed());
        QCOMPARE(h.ui()->Text_Scan_Checksum_Status->text(), QString(all ? "Enable" : "Disable"));

        QCOMPARE(h.run(), all ? 257 : 258);
        QStringList expected, sent;
        for (int id = 0; id < 256; ++id) {
            const QString q = QStringLiteral("$%1F").arg(id, 2, 16, QLatin1Char('0')).toUpper();
            if (!all)
                expected << q + "\r@" + settings;
            for (const QString &rate : all ? Rates : QStringList())
                expected << q + "\r@" + rate + ",n,8,1"
                         << q + asciiChecksum(q) + "\r@" + rate + ",n,8,1";
        }
        if (!all)
            expected << "$F\r@" + settings;
        for (const FakeCommPort::Write &w : h.port.writes)
            sent << QString::fromLatin1(w.bytes) + "@" + w.settings;
        QCOMPARE(sent, expected);
        const auto &w = h.port.writes;
        QCOMPARE(w.at(1).at - w.at(0).at, all ? 300u : 600u);
        if (all)
            QCOMPARE(w.at(2).at - w.at(1).at, 500u);

        // Finished: the caption stays; the click that leaves it (all settings: back at the rate
        // chosen), and a new start begins at 00.
        QCOMPARE(h.button()->text(), QStringLiteral("Stop"));
        QVERIFY(!h.timer()->isEnabled());
        QVERIFY(!h.other()->isEnabled());
        h.ui()->LISTRATE->setCurrentIndex(4);
        h.press();
        h.verifyStopped();
        QCOMPARE(h.port.settings(), all ? "19200,n,8,1" : settings);
        QVERIFY(h.port.portOpen());
        h.press();
        h.port.writes.clear();
        h.timer()->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
    }

    // The module at 05 is asked in the sixth step; the writes of that step up to its answer.
    void allSettingsFindsRateAndChecksum_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<int>("writes");
        QTest::addColumn<QStringList>("row");
        QTest::newRow("19200, checksum only")
            << Module{"05", "19200", SummedOnly, "E41"} << 4 * 2 + 2
            << QStringList{"05", "QRD-E41", "16 CH DO         ", "19200", "Enable"};
        QTest::newRow("answers either way: without")
            << Module{"05", "9600", Either, "E45"} << 3 * 2 + 1
            << QStringList{"05", "QRD-E45", "4 CH. DI & DO    ", "9600", "Disable"};
    }
    void allSettingsFindsRateAndChecksum()
    {
        QFETCH(Module, module);
        QFETCH(int, writes);
        QFETCH(QStringList, row);
        Bench h(true);
        h.bus({module});
        int baudIndexAtAnswer = -1;
        h.port.responder = [&, inner = h.port.responder](const QByteArray &w, const QString &s) {
            const QByteArray reply = inner(w, s);
            if (!reply.isEmpty())
                baudIndexAtAnswer = h.position().BaudIndex;
            return reply;
        };
        h.press();
        h.run(5);
        h.port.writes.clear();
        h.timer()->fire();
        QCOMPARE(h.port.writes.size(), writes);
        QCOMPARE(baudIndexAtAnswer, Rates.indexOf(module.rate));
        QCOMPARE(h.row(1), row);
        QCOMPARE(h.position().FoundCount, qint16(1));
        QCOMPARE(h.position().BaudIndex, qint16(0));
    }

    // Stopped between steps with a rate chosen (-1: none, which reopens at 9600).
    void stopBetweenStepsRestartsAt00IntoRow1_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("listRate");
        QTest::addColumn<QString>("settings");  // the port's afterwards
        QTest::newRow("all settings") << true << 5 << "38400,n,8,1";
        QTest::newRow("all settings, no rate chosen") << true << -1 << "9600,n,8,1";
        QTest::newRow("current settings: the port stays") << false << 5 << "  9600,n,8,1";
    }
    void stopBetweenStepsRestartsAt00IntoRow1()
    {
        QFETCH(bool, all);
        QFETCH(int, listRate);
        QFETCH(QString, settings);
        Bench h(all);
        h.bus({{"01", "9600", Either, "E43"}, {"02", "9600", Either, "E47"}});
        h.press();
        h.run(3);
        QCOMPARE(h.row(2).first(), QStringLiteral("02"));
        h.ui()->LISTRATE->setCurrentIndex(listRate);
        h.press();
        h.verifyStopped();
        QCOMPARE(h.port.settings(), settings);
        QVERIFY(h.port.portOpen());
        h.port.setSettings(QStringLiteral("  9600,n,8,1"));
        h.press();
        QVERIFY(h.row(2).first().isEmpty());  // the grid was blanked
        h.port.writes.clear();
        h.run(2);
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
        QCOMPARE(h.row(1).first(), QStringLiteral("01"));
        QVERIFY(h.row(2).first().isEmpty());
    }

    // Stop clicked while a step waits, 20 ms in (all settings: 320 ms, in the summed query of the
    // first turn); with restart, clicked again at 200 ms, within the same step. The module at 00
    // (if any) answers the exchange in progress: only with checksum, which the current-settings
    // scan sends; on restart either way, at once.
    void stopInTheMiddleOfAStep_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<bool>("restart");
        QTest::newRow("all, nothing found") << true << "" << false;
        QTest::newRow("all, found by the last exchange") << true << "1200" << false;
        QTest::newRow("all, stopped and started") << true << "4800" << true;
        QTest::newRow("current, nothing found") << false << "" << false;
        QTest::newRow("current, found by the last exchange") << false << "9600" << false;
        QTest::newRow("current, stopped and started") << false << "9600" << true;
    }
    void stopInTheMiddleOfAStep()
    {
        QFETCH(bool, all);
        QFETCH(QString, rate);
        QFETCH(bool, restart);
        Bench h(all);
        if (!rate.isEmpty())
            h.bus({{"00", rate, restart ? Either : SummedOnly, "E41"}});
        h.ui()->Check_Chksum->setChecked(!all && !restart);
        h.port.replyDelay = all && restart ? 5 : 350;
        h.ui()->LISTRATE->setCurrentIndex(6);
        h.press();
        h.time.at(all && !restart ? 320 : 20, [&] { h.press(); });
        if (restart)
            h.time.at(200, [&] { h.press(); });
        h.timer()->fire();

        QCOMPARE(h.port.writes.size(), all && !restart ? 2 : 1);  // the step in progress, no more
        if (restart) {
            // The outlived step left the grid and the positions to the new scan.
            QVERIFY(h.row(1).first().isEmpty());
            h.port.writes.clear();
            h.timer()->fire();
            QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
            QCOMPARE(h.row(1),
                     (QStringList{"00", "QRD-E41", "16 CH DO         ", rate, "Disable"}));
            return;
        }
        QCOMPARE(h.row(1).first(), QString(rate.isEmpty() ? "" : "00"));
        h.verifyStopped();
        QCOMPARE(h.position().NextId, qint16(0));
        QCOMPARE(h.position().FoundCount, qint16(0));
        QCOMPARE(h.position().CellCounter, qint16(0));
        if (all)  // reopened at the chosen rate before the step returned
            QCOMPARE(h.port.settings(), QStringLiteral("57600,n,8,1"));
    }

    void checksumBoxTickedDuringTheScan()
    {
        Bench h(false);
        h.bus({{"01", "9600", Either, "E45"}});
        h.press();
        h.timer()->fire();
        h.ui()->Check_Chksum->setChecked(true);
        h.timer()->fire();
        QCOMPARE(h.port.writtenTexts(), (QStringList{"$00F\r", "$01FCB\r"}));
        QCOMPARE(h.row(1), (QStringList{"01", "QRD-E45", "4 CH DI & DO     ", "9600", "Disable"}));
    }

    // The answer that the receive loop shows between two steps is picked up by the next step.
    void modbusRtuAnswerIsRowOfTheNextStep_data()
    {
        QTest::addColumn<int>("answeringId");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("sent");  // Text_Send of the step that picks it up
        QTest::addColumn<QStringList>("row");
        QTest::newRow("07, by the step for 08")
            << 7 << "07 46 00 00 0E 41 12 34 "
            << "08 46 00  00"
            << QStringList{"07", "QRD-E41", "16 CH DO         ", "9600", "Disable"};
        QTest::newRow("FF, by the last step")
            << 255 << "FF 46 00 00 0E 47 12 34 "
            << " 46 00  00" << QStringList{"FF", "QRD-E47", "8 CH DI & DO     ", "9600", "Disable"};
    }
    void modbusRtuAnswerIsRowOfTheNextStep()
    {
        QFETCH(int, answeringId);
        QFETCH(QString, answer);
        QFETCH(QString, sent);
        QFETCH(QStringList, row);
        Bench h(false);
        h.ui()->Opt_RTU->setChecked(true);
        h.press();
        h.run(answeringId + 1);
        QVERIFY(h.row(1).first().isEmpty());
        h.ui()->Text_Rec->appendText(answer);
        const quint32 stepStart = h.time.tickCount();
        h.timer()->fire();
        QCOMPARE(h.ui()->Text_Send->text(), sent);
        RtuFramer framer;
        framer.BuildRtuFrame(sent);
        QCOMPARE(h.port.writes.last().bytes, framer.RtuFrame);
        QCOMPARE(h.port.writes.last().at - stepStart, 100u);
        QCOMPARE(h.row(1), row);
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" "));
    }

    void modbusRtuSendTextSpoiledDuringThePause()
    {
        Bench h(false);
        h.ui()->Opt_RTU->setChecked(true);
        h.press();
        h.time.at(50, [&] { h.ui()->Text_Send->setText(QStringLiteral("zz")); });
        h.timer()->fire();
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.position().NextId, qint16(1));
        QVERIFY(h.timer()->isEnabled());
    }

    void moreModulesThanRows()
    {
        Bench h(false);
        h.port.responder = [](const QByteArray &written, const QString &) {
            return written.size() == 5 ? "!" + written.mid(1, 2) + "E43\r" : QByteArray();
        };
        h.port.replyDelay = 1;
        h.press();
        h.run();
        QCOMPARE(h.position().FoundCount, qint16(256));
        QCOMPARE(h.row(254).first(), QStringLiteral("FD"));
        QVERIFY(h.form->MSFlexGrid1().table()->toolTip().contains(QLatin1String("2 more")));
        h.press();
        h.press();
        QVERIFY(h.form->MSFlexGrid1().table()->toolTip().isEmpty());
    }

    // The port does not open again: at a scan rate, or at the chosen rate when Stop resets.
    void portCannotBeOpened_data()
    {
        QTest::addColumn<int>("when");
        QTest::newRow("at a scan rate") << 0;
        QTest::newRow("at the chosen rate, Stop between steps") << 1;
        QTest::newRow("at the chosen rate, Stop during a step") << 2;
    }
    void portCannotBeOpened()
    {
        QFETCH(int, when);
        Bench h(true);
        h.press();
        if (when > 0)
            h.timer()->fire();
        if (when == 2) {
            h.time.at(10, [&] { h.port.failOpen = true; });
            h.time.at(20, [&] { h.press(); });
            h.timer()->fire();
        } else {
            h.port.failOpen = true;
            when == 0 ? h.timer()->fire() : h.press();
            QCOMPARE(h.port.writes.size(), when == 0 ? 0 : 16);
        }
        QCOMPARE(h.shownBoxes(), 1);
        QCOMPARE(h.boxes.shown.first().text, QStringLiteral("Open Communication Port Error "));
        QCOMPARE(h.boxes.shown.first().title, QStringLiteral(" System Message "));
        h.verifyStopped();
        // Once the port can be opened again, a new scan works from 00.
        h.port.failOpen = false;
        h.port.writes.clear();
        h.press();
        h.timer()->fire();
        QCOMPARE(h.port.writes.first().bytes, QByteArray("$00F\r"));
    }

    void lineLostMidScan_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("lostAt");  // ms into the second step, -1: between steps, unreported
        QTest::newRow("all settings, during the plain query") << true << 100;
        QTest::newRow("current settings, during a step") << false << 100;
        QTest::newRow("current settings, between steps") << false << -1;
    }
    void lineLostMidScan()
    {
        QFETCH(bool, all);
        QFETCH(int, lostAt);
        Bench h(all);
        h.press();
        h.timer()->fire();
        int opensAtLoss = -1;
        auto unplug = [&] {
            h.port.failOpen = true;  // it will not open again
            lostAt < 0 ? h.port.setPortOpen(false) : h.port.hangUp();
            opensAtLoss = h.port.opens;
        };
        lostAt < 0 ? unplug() : h.time.at(quint32(lostAt), unplug);
        h.run(3);
        QCOMPARE(h.shownBoxes(), 1);
        QCOMPARE(h.port.opens, opensAtLoss);  // nothing tried to reopen a port that has gone
        h.verifyStopped();
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
