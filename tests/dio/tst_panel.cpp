// The I/O panel, taking up a module and writing its configuration, on a scripted module, no window.
#include "config/moduleconfig.h"
#include "dio/diopanel.h"
#include "link/protocol.h"
#include "support/rig.h"

#include <QSignalSpy>
#include <QtWidgets>

using L = QStringList;

namespace {

// Module 01 in grid row 1 (selected, blanks around it), 02 in row 2. Answers: `model` to the model
// query, the count of status reads, "+0N.2345678" for channel N, `writeReply` to a write, else ">".
struct Rig
{
    PageRig f;
    QWidget root;  // the radio buttons' group
    std::array<QPushButton *, 16> out{}, in{};
    std::array<QLabel *, 16> lab{};
    QPushButton status, write;
    QLineEdit com, res;
    QCheckBox sum;
    QTableWidget table;
    ScanGrid grid{&table};
    QComboBox ids, bds, css, tts, dfs;
    const std::array<QComboBox *, 5> combos{&ids, &bds, &css, &tts, &dfs};
    QGroupBox frameConfig, frameDI, frameDO;
    QRadioButton asc{&root}, rtu{&root};
    DioPanel dio{DioView{makeChannels(), in, &status, &com, &res, &sum, &grid}, f.link};
    ModuleConfig config{ConfigView{&ids, &bds, &css, &tts, &dfs, &write, &frameConfig, &frameDI,
                                   &frameDO, &status, lab, in, out, &com, &res, &rtu, &sum, &grid},
                        f.link, f.boxes};
    L lines;  // line@time-out
    QString model, writeReply;
    int reads = 0;  // of the status
    std::array<QPushButton *, 16> makeChannels()
    {
        for (int n = 0; n < 16; ++n) {
            out[n] = new QPushButton("DO" + QString::number(n, 16), &root);
            out[n]->setCheckable(true);
            in[n] = new QPushButton(&root);
            lab[n] = new QLabel(&root);
        }
        return out;
    }
    Rig()
    {
        for (auto [combo, n] : {std::pair{&ids, 254}, {&bds, 8}, {&css, 4}, {&tts, 6}, {&dfs, 3}})
            combo->addItems(QString(n - 1, u' ').split(u' '));
        grid.setTextArray(5, " 01  ");
        grid.setTextArray(10, "02");
        asc.setChecked(true);
        QObject::connect(&f.link, &CommandLink::exchanged, [this](const ExchangeRecord &r) {
            lines << r.line.chopped(1) + "@" + QString::number(r.timeoutMs);
        });
        f.answer([this](const QString &c) -> QString {
            const QString a = c.mid(1, 2);
            if (c.startsWith(u'$'))
                return c.endsWith(u'F') ? model : "!" + a + QString::asprintf("%05d99\r", ++reads);
            if (c.startsWith(u'%'))
                return writeReply;
            return c.size() == 4 ? "!" + a + "+0" + c.mid(3) + ".2345678\r" : ">\r";
        });
    }
};

}  // namespace

class TestPanel : public QObject
{
    Q_OBJECT
    static QTestData &add(const char *name) { return QTest::newRow(name); }

private slots:
    // Steps: "DOn"/"DIn" click output/input n, "ST" the status button; "@2" selects module 02 2 ms
    // into the first exchange. Seen: status caption|command|response|outputs on|input captions.
    void panel_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<L>("lines");
        QTest::addColumn<QString>("seen");
        const QString s = "$016@60", s2 = "$016@200";
        add("a flag per button") << "DO2 DO5 DO2"
                                 << L{"#011201@60", s, "#011501@60", s, "#011200@60", s}
                                 << "00003|#011200|>\r|5";
        add("group B") << "DO8 DOf" << L{"#01B001@60", s, "#01B701@60", s}
                       << "00002|#01B701|>\r|8f";
        add("address afresh") << "@2 DO1" << L{"#011101@60", "$026@60"} << "00001|#011101|>\r|1";
        add("input") << "DIa" << L{"#01A@200", s2} << "00001|#01A|!01+0A.2345678\r|a=+0A.2345";
        add("status button") << "ST" << L{s2, s2} << "00002|$016|!010000199\r|";
    }
    void panel()
    {
        Rig r;
        for (const QString &step : row<QString>("steps").split(u' ')) {
            const int n = step.mid(2).toInt(nullptr, 16);
            step == "@2"            ? r.f.time.at(2, [&] { r.grid.setCurrentCell(2, 0); })
            : step == "ST"          ? r.dio.Com_DIO_Status_Click()
            : step.startsWith("DO") ? r.dio.Com_DO_Click(n)
                                    : r.dio.Com_DI_Click(n);
        }
        QCOMPARE(r.lines, row<L>("lines"));
        QString seen = r.status.text() + "|" + r.com.text() + "|" + r.res.text() + "|";
        for (int n = 0; n < 16; ++n) {
            const QString hex = QString::number(n, 16), input = r.in[n]->text();
            seen += (r.out[n]->isChecked() ? hex : "") + (input.isEmpty() ? "" : hex + "=" + input);
        }
        QCOMPARE(seen, row<QString>("seen"));
    }

    // Taking up each model: what it asks, enables (frames CF DI DO, status ST, lists ID BD CS TT
    // DF, write WR), fills. Write: list indexes|answer ("cancel": declined)|command|box|status.
    void configure_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<int>("counters");
        QTest::addColumn<QString>("write");
        add("E41") << "!01E41" << 16 << "BD CF CS DI DO ID ST WR" << 0
                   << "5 3 0 0 0|!01|%0105400600|Save Success.....    |00001";
        add("E43") << "!01E43" << 0 << "BD CF CS DI ID ST WR" << 16 << "";
        add("E45") << "!01E45" << 4 << "BD CF CS DI DO ID ST WR" << 4 << "";
        add("E47") << "!01E47" << 8 << "BD CF CS DI DO ID ST WR" << 8
                   << "1 7 2 5 2|?01|%0101400A40|Save Fail........    |00001";
        add("E82") << "!01E82M" << 0 << "BD CF CS DF DI ID TT WR" << 8
                   << "2 4 3 2 1||%01020A0761|Save Fail........    |1";
        add("E82 without M") << "!01E82" << 0 << "BD CF CS DF DI ID TT WR" << 8
                             << "2 4 3 2 1|cancel|%0102400740||";
        add("unknown code, Modbus RTU") << "!01E99" << 0 << "CF" << 0 << "";
    }
    void configure()
    {
        QFETCH(QString, enabled);
        const bool rtu = QString(QTest::currentDataTag()).endsWith("RTU");
        const bool analog = enabled.contains("TT"), status = enabled.contains("ST");
        Rig r;
        r.model = row<QString>("model") + "\r";
        r.rtu.setChecked(rtu);
        const std::map<QString, QWidget *> controls{
            {"DI", &r.frameDI}, {"DO", &r.frameDO}, {"CF", &r.frameConfig}, {"ST", &r.status},
            {"ID", &r.ids},     {"BD", &r.bds},     {"CS", &r.css},         {"TT", &r.tts},
            {"DF", &r.dfs},     {"WR", &r.write}};
        for (const auto &[name, control] : controls)  // each starts the other way round
            control->setEnabled(!enabled.contains(name));
        r.in[15]->setText("old");
        r.status.setText("old");
        QSignalSpy height(&r.config, &ModuleConfig::heightRequested);
        L atTakingUp;  // the scans stop before anything is asked
        QObject::connect(&r.config, &ModuleConfig::takingUp,
                         [&] { atTakingUp = r.f.boxes.texts() + r.lines; });
        r.config.Com_Configuration_Click();
        L lines{"$01F@100"}, inputs;
        for (int n = 0; n < row<int>("counters"); ++n) {
            lines << QString("#01%1@%2").arg(n, 0, 16).toUpper().arg(analog ? 200 : 60);
            inputs << QString("+0%1.2345").arg(n, 0, 16).toUpper().left(analog ? 8 : 5);
        }
        QCOMPARE(r.lines, lines + (status ? L{"$016@60"} : L{}));
        QString outs, seen = r.status.text() + "|" + r.com.text() + "|" + r.res.text() + "|";
        for (const auto &[name, control] : controls)
            seen += control->isEnabled() ? name + " " : "";
        for (int n = 0; n < 16; ++n) {
            outs += QString(r.out[n]->isEnabled() ? "1" : "0") + (r.lab[n]->isEnabled() ? "L" : "");
            seen += r.in[n]->text().isEmpty() ? "" : r.in[n]->text() + " ";
        }
        QCOMPARE(seen, (status ? "00001| ||" : "| ||") + enabled + " " + (inputs << "").join(u' '));
        QCOMPARE(outs, QString(row<int>("outputs"), u'1').leftJustified(16, u'0'));
        QCOMPARE(height.size() == 1 ? height[0][0].toInt() : 0, 10005);
        QCOMPARE(atTakingUp, r.f.boxes.texts());
        for (const FakeMessageBoxes::Box &box : r.f.boxes.shown)  // as many as rtu
            QCOMPARE(box.text + "|" + box.title,
                     "Please Select Communication Protocol ASCII Mode "
                     "and Turn Switch OFF,ON | MIRVEL Message ");
        QCOMPARE(r.f.boxes.shown.size(), int(rtu));

        const L write = row<QString>("write").split(u'|');
        if (write.size() < 5)  // no write
            return;
        const bool confirmed = write[1] != "cancel";
        for (int i = 0; i < 5; ++i)
            r.combos[i]->setCurrentIndex(write[0].section(u' ', i, i).toInt());
        r.writeReply = write[1].isEmpty() ? "" : write[1] + "\r";
        r.lines.clear();
        r.f.boxes.shown.clear();
        r.f.boxes.answers = {confirmed ? MessageBoxes::AnswerOk : MessageBoxes::AnswerCancel};
        r.config.Com_Write_Click();
        QCOMPARE(r.lines, L{"$01F@100"} + (confirmed ? L{write[2] + "@500"} : L{}));
        QCOMPARE(r.com.text() + "|" + r.res.text() + "|" + r.status.text(),
                 write[2] + "|" + (confirmed ? r.writeReply : "") + "|" + write[4]);
        QCOMPARE(r.f.boxes.texts(), L{"Please Check Command " + write[2] + " is Correct ?      "} +
                                        (confirmed ? L{write[3]} : L{}));
        for (const FakeMessageBoxes::Box &box : r.f.boxes.shown)
            QCOMPARE(box.title, "Save Configuration to EEprom...");
    }

    void codes()
    {
        auto codes = [](QString (*code)(int), std::initializer_list<int> indexes) {
            L list;
            std::transform(indexes.begin(), indexes.end(), std::back_inserter(list), code);
            return list.join(u' ');
        };
        QCOMPARE(codes(baudRateCode, {-1, 0, 3, 6, 7}), "06 03 06 09 0A");
        QCOMPARE(codes(moduleIdCode, {-1, 0, 204, 205, 219, 220, 253}),
                 "00 00 CC CE DC DE FF");  // without CD and DD
        QCOMPARE(codes(digitalModeDigit, {-1, 0, 1, 2, 3}), "0 0 0 4 4");
        QCOMPARE(codes(analogModeDigit, {-1, 0, 1, 2, 3}), "0 0 2 4 6");
        QCOMPARE(codes(rangeCode, {-1, 0, 2, 5}), "08 08 0A 0D");
        QCOMPARE(codes(formatDigit, {-1, 0, 1, 2}), "0 0 1 2");
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
