// The bus scans through their view, on a scripted bus behind the fake port, without a window.
#include "scan/busscan.h"
#include "scan/modeltable.h"
#include "sim/simwire.h"
#include "support/rig.h"
#include "widgets/multilinebox.h"

#include <QtWidgets>

namespace {

using L = QStringList;
const QString Idle[] = {"Scan", "Scan Unknow Setting"};  // the buttons' captions between scans
const L None(ScanGrid::Cols);                            // a blank row of the grid

// The identification query of an ID; the 257th step's "$F" for 256.
QString query(int id, bool summed)
{
    const QString q = id > 255 ? QStringLiteral("$F") : QString::asprintf("$%02XF", id);
    return summed ? q + QString::fromLatin1(simAsciiChecksum(q.toLatin1())) : q;
}

struct Rig
{
    PageRig f;
    QWidget root;  // the radio buttons' group
    QPushButton ok, all, config;
    QLineEdit port, id, bd, cs, send;
    QTableWidget table;
    ScanGrid grid{&table};
    MultiLineBox rec;
    QComboBox com, rate;
    QRadioButton asc{&root}, rtu{&root};
    QCheckBox sum;
    FormTimer t1{"Timer1"}, t3{"Timer3"};
    QProgressBar bar;
    BusScan scan{ScanView{&ok, &all, &config, &port, &id, &bd, &cs, &grid, &send, &rec, &com, &rate,
                          &asc, &sum, &t1, &t3, &bar},
                 f.link, f.boxes};
    QStringList traffic;  // exchanges as line@settings@time-out, other writes in hexadecimal
    // Answers by query@rate: 01 at 9600, 0A at 9600 wanting the checksum, 05 at 19200.
    QMap<QString, QByteArray> bus{{query(1, false) + "@9600", "!01E45\r"},
                                  {query(10, true) + "@9600", "!0AE41\r"},
                                  {query(5, false) + "@19200", "!05E41\r"}};

    Rig()
    {
        for (const char *r : ScanBaudRates)
            rate.addItem(QString::fromLatin1(r));
        rate.setCurrentIndex(3);
        asc.setChecked(true);
        SetupScanGrid(grid);
        t1.onTick = [this] { scan.Timer1_Timer(); };
        t3.onTick = [this] { scan.Timer3_Timer(); };
        QObject::connect(&f.port, &CommPort::sent,
                         [this](const QByteArray &bytes) { traffic << bytes.toHex(); });
        QObject::connect(&f.link, &CommandLink::exchanged, [this](const ExchangeRecord &r) {
            traffic.last() =
                r.line.chopped(1) + "@" + f.port.settings() + "@" + QString::number(r.timeoutMs);
        });
        QObject::connect(&f.port, &CommPort::lineLost, [this] { scan.onLineLost(); });
        f.port.responder = [this](const QByteArray &written, const QString &settings) {
            return bus.value(written.chopped(1) + "@" + settingsRate(settings));
        };
    }
    FormTimer &timer(bool a) { return a ? t1 : t3; }
    void click(bool a) { a ? scan.Com_Scan_All_Click() : scan.Com_Scan_OK_Click(); }
    QStringList row(int k) const
    {
        QStringList cells;
        for (int c = 0; c < ScanGrid::Cols; ++c)
            cells << grid.textArray(ScanGrid::Cols * k + c);
        return cells;
    }
    // The scan's caption, its timer, and "alone" while the other scan's button is disabled.
    QString state(bool a)
    {
        return (a ? all : ok).text() + (timer(a).isEnabled() ? " on" : " off") +
               ((a ? ok : all).isEnabled() ? "" : " alone");
    }
};

}  // namespace

class TestScan : public QObject
{
    Q_OBJECT
    static QTestData &add(const char *name) { return QTest::newRow(name); }

private slots:
    // A whole scan, the stop, and a new start into row 1. In Modbus RTU the answers reach Text_Rec
    // from the receive loop, and Text_Send is spoiled in the pause before the step for 10.
    void wholeScan_data()
    {
        // The grid's rows 1 to 3 at the end; "every address" with checksum.
        QTest::addColumn<QList<L>>("found");
        add("current") << QList<L>{
            {"01", "QRD-E45", "4 CH DI & DO     ", "9600", "Disable"}, None, None};
        add("RTU") << QList<L>{{"07", "QRD-E41", "16 CH DO         ", "9600", "Disable"},
                               {"FF", "QRD-E47", "8 CH DI & DO     ", "9600", "Disable"},
                               None};
        add("every address") << QList<L>{{"00", "QRD-E82", "8 CH A.D         ", "9600", "Enable"},
                                         {"01", "QRD-e41", "Unkonw The Module", "9600", "Enable"},
                                         {"02", "QRD-E43", "16 CH DI         ", "9600", "Enable"}};
        add("all") << QList<L>{{"01", "QRD-E45", "4 CH. DI & DO    ", "9600", "Disable"},
                               {"05", "QRD-E41", "16 CH DO         ", "19200", "Disable"},
                               {"0A", "QRD-E41", "16 CH DO         ", "9600", "Enable"}};
    }
    void wholeScan()
    {
        QFETCH(QList<L>, found);
        const QString mode = QTest::currentDataTag();  // the row's name
        const bool all = mode == "all", rtu = mode == "RTU", crowded = mode == "every address";
        Rig r;
        if (rtu) {
            r.rtu.setChecked(true);
            const QMap<char, QString> dumps{{7, "07 46 00 00 0E 41 12 34 "},
                                            {'\xFF', "FF 46 00 00 0E 47 12 34 "}};
            r.f.port.responder = [&r, dumps](const QByteArray &frame, const QString &) {
                if (frame.at(0) == 0x0F)
                    r.f.time.at(50, [&r] { r.send.setText(QStringLiteral("zz")); });
                r.rec.appendText(dumps.value(frame.at(0)));
                return QByteArray();
            };
        }
        // Crowded: the first three with a model code, the rest with their address only.
        const QByteArray tails[] = {"E82M-x\r", "e41\r", "E43\r"};
        for (int id = 0; crowded && id < 256; ++id)
            r.bus[query(id, true) + "@9600"] =
                "!" + query(id, false).mid(1, 2).toLatin1() + (id < 3 ? tails[id] : "");
        // A start blanks every result row, those past 200 of an earlier, crowded scan too.
        const L header = r.row(0);
        for (int i = ScanGrid::Cols; i < ScanGrid::Rows * ScanGrid::Cols; ++i)
            r.grid.setTextArray(i, QStringLiteral("x"));
        r.sum.setChecked(crowded || all);
        r.click(all);
        QCOMPARE(r.state(all), QStringLiteral("Stop on alone"));
        QCOMPARE(r.timer(all).interval(), all ? 100 : 300);
        QCOMPARE(r.row(0), header);
        for (int k = 1; k < ScanGrid::Rows; ++k)
            QVERIFY2(r.row(k) == None, qPrintable(QString::number(k)));
        const qsizetype opens = r.f.port.openedWith.size();
        const quint32 start = r.f.time.tickCount();
        int ticks = 0;
        for (; r.timer(all).isEnabled() && ticks < 300; ++ticks)
            TimerProbe::fire(r.timer(all));
        QCOMPARE(ticks, all ? 257 : 258);
        QStringList expected, opened;
        for (int id = 0; id <= 256; ++id) {
            if (rtu && id != 0x10)  // address, then function 46 and two zeros
                expected << simWithCrc(QByteArray(id < 256, char(id)).append("F\0\0", 3)).toHex();
            else if (!rtu && !all)  // the 257th step asks "$F"
                expected << query(id, crowded) + "@9600,n,8,1@600";
            for (int b = 0; all && id < 256 && b < 8; ++b) {
                opened << QString::fromLatin1(ScanBaudRates[b]) + ",n,8,1";
                expected << query(id, false) + "@" + opened.last() + "@300";
                if ((id == 0x01 && b == 3) || (id == 0x05 && b == 4))
                    break;
                expected << query(id, true) + "@" + opened.last() + "@500";
                if (id == 0x0A && b == 3)
                    break;
            }
        }
        QCOMPARE(r.traffic, expected);
        QCOMPARE(r.f.port.openedWith.mid(opens), opened);
        QCOMPARE(r.f.port.writes.first().at - start, rtu ? 100u : 0u);
        QCOMPARE((QList<L>{r.row(1), r.row(2), r.row(3)}), found);
        QCOMPARE(r.table.toolTip().contains(" 2 more"), crowded);  // FE, FF: no rows
        if (rtu) {
            QCOMPARE(r.send.text(), QStringLiteral(" 46 00  00"));
            QCOMPARE(r.rec.text(), QStringLiteral(" "));
        }
        QCOMPARE(r.state(all), QStringLiteral("Stop off alone"));
        // Stopped with another rate chosen: the all-settings scan's port returns to it.
        r.rate.setCurrentIndex(4);
        const quint32 stop = r.f.time.tickCount();
        r.click(all);
        QCOMPARE(r.f.time.tickCount() - stop, 100u);
        QCOMPARE(r.state(all), Idle[all] + " off" + (rtu ? " alone" : ""));
        QCOMPARE(r.f.port.openedWith.last(), all ? "19200,n,8,1" : "9600,n,8,1");
        r.click(all);
        r.traffic.clear();
        while (r.row(1) == None)
            TimerProbe::fire(r.timer(all));
        QCOMPARE(r.traffic.first(), expected.first());
        QCOMPARE((QList<L>{r.row(1), r.row(2)}), (QList<L>{found[0], None}));
    }

    // A scan ended from outside; a new start begins at 00. Steps: "tick" the scan's timer,
    // "stop" its button, "fail" the port's next opens, "lose" the line; "x@ms": ms into the next.
    void ended_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("exchanges");
        QTest::addColumn<QString>("lastOpen");  // the settings of the last open
        QTest::addColumn<bool>("open");         // the port at the end
        add("Stop amid the summed query") << "stop@320 tick" << 2 << "57600,n,8,1" << true;
        add("port fails at a scan rate") << "fail tick" << 0 << "9600,n,8,1" << false;
        add("port fails on Stop") << "tick fail stop" << 16 << "115200,n,8,1" << false;
        add("line lost, all") << "tick lose@100 tick" << 17 << "1200,n,8,1" << false;
        add("line lost, current") << "tick lose@2 tick" << 2 << "9600,n,8,1" << false;
    }
    void ended()
    {
        const bool all = !QString(QTest::currentDataTag()).endsWith("current");
        QFETCH(QString, steps);
        QFETCH(int, exchanges);
        Rig r;
        r.rate.setCurrentIndex(6);
        r.click(all);
        for (const QString &step : steps.split(u' ')) {
            auto act = [&, what = step.section(u'@', 0, 0)] {
                if (what == "tick" || what == "stop")
                    what == "tick" ? TimerProbe::fire(r.timer(all)) : r.click(all);
                else
                    what == "fail" ? void(r.f.port.failOpen = true) : r.f.port.hangUp();
            };
            step.contains(u'@') ? r.f.time.at(step.section(u'@', 1).toUInt(), act) : act();
        }
        QCOMPARE(r.traffic.size(), exchanges);
        QCOMPARE(r.state(all), Idle[all] + " off");
        QCOMPARE(r.f.port.openedWith.last(), row<QString>("lastOpen"));
        QCOMPARE(r.f.port.portOpen(), row<bool>("open"));
        QCOMPARE(r.f.boxes.texts(),
                 QStringList(steps.contains("fail"), "Open Communication Port Error "));
        r.f.port.failOpen = false;
        r.f.port.setPortOpen(false);
        r.f.port.setPortOpen(true);
        r.click(all);
        TimerProbe::fire(r.timer(all));
        QCOMPARE(r.traffic.at(exchanges),
                 query(0, false) + (all ? "@1200,n,8,1@300" : "@9600,n,8,1@600"));
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
