// The I/O panel, taking up a module and writing its configuration, on a scripted module, no window.
#include "config/moduleconfig.h"
#include "dio/diopanel.h"
#include "link/errors.h"
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

// Clicks on the panel ("DOn"/"DIn" output/input n, "ST" the status button, "shut"/"open" the
// port, "@2": module 02 selected 2 ms into the first exchange), and what the panel shows after.
struct Clicks
{
    const char *name, *steps;
    L lines;                            // line@time-out
    QString status, command, response;  // the status button's caption, the two boxes
    QString on = {}, inputs = {};       // the outputs shown on; each input read: channel=caption
};

// Taking up a model: what it enables (frames CF DI DO, status ST, lists ID BD CS TT DF, write WR),
// its outputs and counters. Then, with choices (lists ID BD CS TT DF), a write: the module's
// answer (null: the operator declines), and what the command, the box and the status then show.
struct TakeUp
{
    const char *name, *model;
    int outputs;
    QString enabled;
    int counters;
    QList<int> choices = {};
    QString answer = {}, command = {}, box = {}, status = {};
};

}  // namespace

Q_DECLARE_METATYPE(Clicks)
Q_DECLARE_METATYPE(TakeUp)

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    void panel_data()
    {
        const QString s = "$016@60", s2 = "$016@200";
        // clang-format off
        addRows<Clicks>({
            {"a flag per button", "DO2 DO5 DO2", {"#011201@60", s, "#011501@60", s, "#011200@60", s},
             "00003", "#011200", ">\r", "5"},
            {"groups 1 and B meet between 7 and 8", "DO7 DO8", {"#011701@60", s, "#01B001@60", s},
             "00002", "#01B001", ">\r", "78"},
            {"address afresh", "@2 DO1", {"#011101@60", "$026@60"}, "00001", "#011101", ">\r", "1"},
            {"input", "DIa", {"#01A@200", s2}, "00001", "#01A", "!01+0A.2345678\r", "", "a=+0A.2345"},
            {"status button", "ST", {s2, s2}, "00002", "$016", "!010000199\r"},
            // Nothing went out: the button shows the channel as it was, and the next click
            // commands what the failed one should have.
            {"send fails: the button goes back", "DO2 shut DO2", {"#011201@60", s}, "00001",
             "#011200", ">\r", "2"},
            {"send fails: the next click the same", "shut DO3 open DO3", {"#011301@60", s},
             "00001", "#011301", ">\r", "3"},
        });
        // clang-format on
    }
    void panel()
    {
        const auto &clicks = row<Clicks>("row");
        Rig r;
        for (const QString &step : QString(clicks.steps).split(u' ')) {
            const int n = step.mid(2).toInt(nullptr, 16);
            try {
                step == "@2"   ? r.f.time.at(2, [&] { r.grid.setCurrentCell(2, 0); })
                : step == "ST" ? r.dio.Com_DIO_Status_Click()
                : step == "shut" || step == "open" ? r.f.port.setPortOpen(step == "open")
                : step.startsWith("DO")            ? r.dio.Com_DO_Click(n)
                                                   : r.dio.Com_DI_Click(n);
            } catch (const CommError &) {  // the window tells of it
            }
        }
        QCOMPARE(r.lines, clicks.lines);
        QCOMPARE(r.status.text(), clicks.status);
        QCOMPARE(r.com.text(), clicks.command);
        QCOMPARE(r.res.text(), clicks.response);
        QString on, inputs;
        for (int n = 0; n < 16; ++n) {
            const QString hex = QString::number(n, 16), input = r.in[n]->text();
            on += r.out[n]->isChecked() ? hex : "";
            inputs += input.isEmpty() ? "" : hex + "=" + input;
        }
        QCOMPARE(on, clicks.on);
        QCOMPARE(inputs, clicks.inputs);
    }

    void configure_data()
    {
        // clang-format off
        addRows<TakeUp>({
            {"E41", "!01E41", 16, "BD CF CS DI DO ID ST WR", 0,
             {5, 3, 0, 0, 0}, "!01", "%0105400600", "Save Success.....    ", "00001"},
            {"E43", "!01E43", 0, "BD CF CS DI ID ST WR", 16},
            {"E45", "!01E45", 4, "BD CF CS DI DO ID ST WR", 4},
            {"E47", "!01E47", 8, "BD CF CS DI DO ID ST WR", 8,
             {1, 7, 2, 5, 2}, "?01", "%0101400A40", "Save Fail........    ", "00001"},
            {"E82", "!01E82M", 0, "BD CF CS DF DI ID TT WR", 8,
             {2, 4, 3, 2, 1}, "", "%01020A0761", "Save Fail........    ", "1"},
            {"E82 without M, declined", "!01E82", 0, "BD CF CS DF DI ID TT WR", 8,
             {2, 4, 3, 2, 1}, QString(), "%0102400740"},
            {"unknown code, Modbus RTU", "!01E99", 0, "CF", 0},
        });
        // clang-format on
    }
    void configure()
    {
        const auto &t = row<TakeUp>("row");
        const bool rtu = QString(t.name).endsWith("RTU");
        const bool analog = t.enabled.contains("TT"), status = t.enabled.contains("ST");
        Rig r;
        r.model = t.model + QStringLiteral("\r");
        r.rtu.setChecked(rtu);
        const std::map<QString, QWidget *> controls{
            {"DI", &r.frameDI}, {"DO", &r.frameDO}, {"CF", &r.frameConfig}, {"ST", &r.status},
            {"ID", &r.ids},     {"BD", &r.bds},     {"CS", &r.css},         {"TT", &r.tts},
            {"DF", &r.dfs},     {"WR", &r.write}};
        for (const auto &[name, control] : controls)  // each starts the other way round
            control->setEnabled(!t.enabled.contains(name));
        r.in[15]->setText("old");
        r.status.setText("old");
        QSignalSpy height(&r.config, &ModuleConfig::heightRequested);
        L atTakingUp;  // the scans stop before anything is asked
        QObject::connect(&r.config, &ModuleConfig::takingUp,
                         [&] { atTakingUp = r.f.boxes.texts() + r.lines; });
        r.config.Com_Configuration_Click();
        L lines{"$01F@100"}, inputs, enabled, shown;
        for (int n = 0; n < t.counters; ++n) {
            lines << QString("#01%1@%2").arg(n, 0, 16).toUpper().arg(analog ? 200 : 60);
            inputs << QString("+0%1.2345").arg(n, 0, 16).toUpper().left(analog ? 8 : 5);
        }
        QCOMPARE(r.lines, lines + (status ? L{"$016@60"} : L{}));
        QCOMPARE(r.status.text(), status ? "00001" : "");
        QVERIFY(r.com.text() == " " && r.res.text().isEmpty());
        for (const auto &[name, control] : controls)
            enabled << (control->isEnabled() ? name : "");
        QCOMPARE(enabled.join(u' ').simplified(), t.enabled);
        QString outs;
        for (int n = 0; n < 16; ++n) {
            outs += QString(r.out[n]->isEnabled() ? "1" : "0") + (r.lab[n]->isEnabled() ? "L" : "");
            if (!r.in[n]->text().isEmpty())
                shown << r.in[n]->text();
        }
        QCOMPARE(shown, inputs);
        QCOMPARE(outs, QString(t.outputs, u'1').leftJustified(16, u'0'));
        QCOMPARE(height.size() == 1 ? height[0][0].toInt() : 0, 10005);
        QCOMPARE(atTakingUp, r.f.boxes.texts());
        QCOMPARE(r.f.boxes.texts(), L(rtu,
                                      "Please Select Communication Protocol ASCII Mode "
                                      "and Turn Switch OFF,ON "));
        for (const FakeMessageBoxes::Box &box : r.f.boxes.shown)
            QCOMPARE(box.title, " MIRVEL Message ");

        if (t.choices.isEmpty())  // no write
            return;
        const bool confirmed = !t.answer.isNull();
        for (int i = 0; i < 5; ++i)
            r.combos[i]->setCurrentIndex(t.choices.at(i));
        r.writeReply = t.answer.isEmpty() ? "" : t.answer + "\r";
        r.lines.clear();
        r.f.boxes.answers = {confirmed ? MessageBoxes::AnswerOk : MessageBoxes::AnswerCancel};
        r.config.Com_Write_Click();
        QCOMPARE(r.lines, L{"$01F@100"} + (confirmed ? L{t.command + "@500"} : L{}));
        QCOMPARE(r.com.text(), t.command);
        QCOMPARE(r.res.text(), confirmed ? r.writeReply : "");
        QCOMPARE(r.status.text(), t.status);
        QCOMPARE(r.f.boxes.texts(), L{"Please Check Command " + t.command + " is Correct ?      "} +
                                        (confirmed ? L{t.box} : L{}));
        for (const FakeMessageBoxes::Box &box : r.f.boxes.shown)
            QCOMPARE(box.title, "Save Configuration to EEprom...");
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
