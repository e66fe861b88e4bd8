// Taking up a module (what each model leaves enabled and filled) and writing its configuration,
// on the window with a scripted module.
#include "link/checksum.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "support/formharness.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

QString yes(bool b)
{
    return b ? "true" : "false";
}

// A case: the module's reply to the model query (its address the reply's, else 01), the steps,
// the lines written (without CR) and what is seen afterwards.
struct Case
{
    QString model;
    QStringList steps, lines, after;
};

// The window with row 1 holding the module ("01", "QRD-E41") selected and row 2 " 02 ". Besides
// the model query the module answers channel N with "!01123N5678", the status with "!01ABCDE99"
// and a write with "!01".
struct Bench : FormHarness
{
    QString address, model, writeReply = QStringLiteral("!01\r"), hangUpAfter;
    bool quiet = false;  // nothing but the model query is answered
    struct Seen
    {
        int writes;
        quint32 waited;  // since the last write
    };
    QList<Seen> atBox;

    explicit Bench(const QString &modelReply)
        : address(modelReply.isEmpty() ? "01" : modelReply.mid(1, 2)), model(modelReply)
    {
        port.responder = [this](const QByteArray &written, const QString &) {
            const QString line = QString::fromLatin1(written).chopped(1);
            if (line == hangUpAfter)
                QTimer::singleShot(0, [this] { port.hangUp(); });
            if (line == "$" + address + "F")
                return model.toLatin1();
            if (quiet)
                return QByteArray();
            if (line == "$" + address + "6")
                return QByteArray("!01ABCDE99\r");
            if (line.size() == 4 && line.startsWith("#" + address))
                return ("!01123" + line.mid(3) + "5678\r").toLatin1();
            return line.startsWith('%') ? writeReply.toLatin1() : QByteArray();
        };
        boxes.onShow = [this](const FakeMessageBoxes::Box &) {
            atBox << Seen{int(port.writes.size()),
                          port.writes.isEmpty() ? 0 : time.tickCount() - port.writes.last().at};
        };
        port.setPortOpen(true);
        form->MSFlexGrid1().setTextArray(5, address);
        form->MSFlexGrid1().setTextArray(6, QStringLiteral("QRD-E41"));
        form->MSFlexGrid1().setTextArray(10, QStringLiteral(" 02 "));
        form->MSFlexGrid1().setCurrentCell(1, 0);
        ui()->Com_Configuration->setEnabled(true);
    }

    void run(const QStringList &steps)
    {
        for (const QString &step : steps) {
            const QString key = step.section('=', 0, 0), value = step.section('=', 1);
            if (step == "press") {
                click("Com_Configuration");
            } else if (step == "write" || step == "cancel") {
                boxes.answers = {step == "write" ? MessageBoxes::AnswerOk
                                                 : MessageBoxes::AnswerCancel};
                click("Com_Write");
            } else if (key == "cell") {  // cell=ROW,COL or cell=ROW,COL@MS into the next press
                const int row = value.section(',', 0, 0).toInt();
                const int col = value.section(',', 1).section('@', 0, 0).toInt();
                auto select = [this, row, col] { form->MSFlexGrid1().setCurrentCell(row, col); };
                value.contains('@') ? time.at(value.section('@', 1).toUInt(), select) : select();
            } else if (step == "quiet") {
                quiet = true;
            } else if (key == "reply") {
                writeReply = value;
            } else if (key == "hangUpAfter") {
                hangUpAfter = value;
                time.processQtEvents = true;
            } else if (step == "close") {
                port.setPortOpen(false);
            } else if (step == "show") {
                form->show();
                QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            } else if (step == "scanning") {
                form->Timer1()->setEnabled(true);
                form->Timer3()->setEnabled(true);
            } else if (step == "clear") {
                port.writes.clear();
            } else {  // Widget.property=value
                QObject *o = find<QObject>(key.section('.', 0, 0));
                QVERIFY2(o && o->setProperty(qPrintable(key.section('.', 1)), value),
                         qPrintable(step));
            }
        }
        QCoreApplication::processEvents();  // a port fault is reported from the event loop
    }

    // What "KEY=value" in a case's list compares against.
    QString seen(const QString &key) const
    {
        static const char *icons[] = {"Critical", "Exclamation", "Information", "Question"};
        static const char *buttons[] = {"Ok", "OkCancel", "OkCancelHelp"};
        const QString name = key.section('.', 0, 0), prop = key.section('.', 1);
        if (key == "boxes")
            return QString::number(boxes.shown.size());
        if (name.startsWith("box") && boxes.shown.size() > name.mid(3).toInt()) {
            const int i = name.mid(3).toInt();
            const FakeMessageBoxes::Box &b = boxes.shown.at(i);
            return prop == "writes" ? QString::number(atBox.at(i).writes)
                   : prop == "waited"
                       ? QString::number(atBox.at(i).waited)
                       : b.text + "|" + b.title + "|" + icons[b.icon] + "|" + buttons[b.buttons];
        }
        if (key.startsWith("gap")) {
            const int i = key.mid(3).toInt();
            return QString::number(port.writes.at(i).at - port.writes.at(i - 1).at);
        }
        if (key == "height")
            return QString::number(form->heightTwips());
        if (key == "fits") {  // the whole configuration frame in view
            const QWidget *f = ui()->Frame_Config;
            return yes(f->mapTo(form.get(), QPoint(0, f->height())).y() <= form->height());
        }
        if (key == "scanning")
            return yes(form->Timer1()->isEnabled() || form->Timer3()->isEnabled());
        const QWidget *w = find(name);
        if (!w)
            return "no such widget";
        if (prop == "own")  // enabled in its own right, whatever its frame
            return yes(w->isEnabledTo(w->parentWidget()));
        return w->property(qPrintable(prop)).toString();
    }
};

// What the press leaves per model: the frames, the outputs enabled, the inputs filled (8
// characters when analog, else 5), Com_DIO_Status's caption (read, and the button enabled, when
// there is one), the config fields, the analog fields.
void branch(const char *name, const QString &model, bool frameDI, bool frameDO, int outputs,
            int inputs, const QString &status, bool configFields, bool analog)
{
    Case c{model, {}, {"$01F"}, {}};
    for (int n = 0; n < 16; ++n) {
        const QString in = "Com_DI_D" + hex(n), out = "Com_DO" + hex(n), lab = "Lab_D" + hex(n);
        // Whatever an earlier module left must not survive the press.
        c.steps << in + ".text=old" << out + ".enabled=true" << lab + ".enabled=true";
        c.after << out + ".own=" + yes(n < outputs) << lab + ".own=false"
                << in + ".text=" +
                       (n >= inputs ? QString()
                        : analog    ? "123" + hex(n) + "5678"
                                    : "123" + hex(n) + "5");
        if (n < inputs)
            c.lines << "#01" + hex(n);
    }
    if (!status.isEmpty())
        c.lines << "$016";
    c.steps << "Com_DIO_Status.text=old"
            << "Text_DSP_Res.text=old"
            << "Confiog_DF_Combo.currentIndex=1"
            << "press";
    c.after << "Frame_DI.enabled=" + yes(frameDI) << "Frame_DO.enabled=" + yes(frameDO)
            << "Com_DIO_Status.text=" + status << "Com_DIO_Status.own=" + yes(!status.isEmpty());
    for (const char *field : {"Config_BD_Combo", "Config_ID_Combo", "Config_CS_Combo", "Com_Write"})
        c.after << QString(field) + ".enabled=" + yes(configFields);
    c.after << "Combo_E82_TT.enabled=" + yes(analog) << "Com_E82_DF.enabled=" + yes(analog)
            << "Frame_Config.enabled=true"
            << "Confiog_DF_Combo.enabled=false"
            << "Confiog_DF_Combo.currentIndex=1"
            << "Text_DSP_Res.text="
            << "Text_Disp_Com.text= "
            << "height=10005"
            << "boxes=0";
    QTest::newRow(name) << c;
}

const QString WriteTitle = "|Save Configuration to EEprom...|Exclamation|";

// The list indexes of id, baud, mode, range and format (-1: nothing selected).
void write(const char *name, const QString &model, const QList<int> &fields, bool checksum,
           const QString &command, const QString &status)
{
    Case c{model, {"press", "Combo_E82_TT.enabled=true", "Com_E82_DF.enabled=true"}, {}, {}};
    const char *combos[] = {"Config_ID_Combo", "Config_BD_Combo", "Config_CS_Combo", "Combo_E82_TT",
                            "Com_E82_DF"};
    for (int i = 0; i < 5; ++i)
        c.steps << QString(combos[i]) + ".currentIndex=" + QString::number(fields.at(i));
    c.steps << "Check_Chksum.checked=" + yes(checksum) << "clear"
            << "write";
    for (const QString &line : {"$" + model.mid(1, 2) + "F", command})
        c.lines << (checksum ? line + asciiChecksum(line) : line);
    c.after << "Text_Disp_Com.text=" + command << "Com_DIO_Status.text=" + status << "boxes=2"
            << "box0=Please Check Command " + command + " is Correct ?      " + WriteTitle +
                   "OkCancel";
    QTest::newRow(name) << c;
}

// The module's answer to the write and the message then shown (none: the write is cancelled).
void outcome(const char *name, const QString &reply, const QString &message)
{
    const QString command = "%0100400600";
    Case c{"!01E41\r", {"reply=" + reply, "press", "Text_DSP_Res.text=earlier reply", "clear"}};
    c.steps << (message.isEmpty() ? "cancel" : "write");
    c.lines << "$01F";
    c.after << "Text_Disp_Com.text=" + command;
    if (message.isEmpty()) {
        c.after << "Text_DSP_Res.text=earlier reply"
                << "boxes=1";
    } else {
        c.lines << command;
        c.after << "Text_DSP_Res.text=" + reply << "boxes=2"
                << "box1=" + message + WriteTitle + "Ok";
        if (reply.isEmpty())
            c.after << "box1.waited=500";
    }
    QTest::newRow(name) << c;
}

}  // namespace

Q_DECLARE_METATYPE(Case)

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void window_data()
    {
        QTest::addColumn<Case>("c");
        auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };

        branch("E41", "!01E41\r", true, true, 16, 0, "ABCDE", true, false);
        branch("E43", "!01E43\r", true, false, 0, 16, "ABCDE", true, false);
        branch("E45", "!01E45\r", true, true, 4, 4, "ABCDE", true, false);
        branch("E47", "!01E47\r", true, true, 8, 8, "ABCDE", true, false);
        branch("E82", "!01E82M\r", true, false, 0, 8, "", true, true);
        branch("anything else", "!01E99\r", false, false, 0, 0, "", false, false);
        branch("silent module", "", false, false, 0, 0, "", false, false);

        // A module that gives nothing but its model code: each later query waits out its time.
        Case digital{"!01E43\r", {"quiet", "press"}, {"$01F"}, {}};
        Case analog{"!01E82\r", {"quiet", "press"}, {"$01F"}, {}};
        for (int n = 0; n < 16; ++n) {
            digital.lines << "#01" + hex(n);
            if (n < 8)
                analog.lines << "#01" + hex(n);
        }
        digital.lines << "$016";
        for (int i = 2; i < digital.lines.size(); ++i)  // the first gap is the model's answer
            digital.after << "gap" + QString::number(i) + "=60";
        for (int i = 2; i < analog.lines.size(); ++i)
            analog.after << "gap" + QString::number(i) + "=200";
        row("digital values wait 60 ms", digital);
        row("analog values wait 200 ms", analog);
        row("model query waits 100 ms", {"", {"press", "press"}, {"$01F", "$01F"}, {"gap1=100"}});

        row("window grows, scans stop, defaults, warning",
            {"!01E41\r",
             {"show", "scanning", "Config_BD_Combo.currentIndex=7",
              "Config_ID_Combo.currentIndex=100", "Config_CS_Combo.currentIndex=2",
              "Combo_E82_TT.currentIndex=4", "Com_E82_DF.currentIndex=-1", "Opt_RTU.checked=true",
              "press"},
             {"$01F", "$016"},
             {"height=10005", "fits=true", "scanning=false", "Config_BD_Combo.currentText=9600",
              "Config_ID_Combo.currentIndex=0", "Config_CS_Combo.currentIndex=0",
              "Combo_E82_TT.currentIndex=0", "Com_E82_DF.currentIndex=0", "boxes=1",
              "box0=Please Select Communication Protocol ASCII Mode and Turn Switch OFF,ON "
              "| MIRVEL Message |Critical|Ok",
              "box0.writes=0", "Com_Write.enabled=true"}});

        // The address is the current cell's text, read afresh before every command.
        row("cell holding a name",
            {"!01E41\r", {"cell=1,1", "press"}, {"$QRD-E41F"}, {"Com_Write.enabled=false"}});
        row("empty cell", {"!01E41\r", {"cell=1,4", "press"}, {"$F"}, {"Com_Write.enabled=false"}});
        row("another cell picked meanwhile",
            {"!01E41\r", {"cell=2,0@2", "press"}, {"$01F", "$026"}, {"Com_Write.enabled=true"}});

        // A port fault part-way leaves no half-filled panel and no write button.
        QStringList unidentified{"boxes=1", "Com_Write.enabled=false",
                                 "Config_ID_Combo.enabled=false", "Frame_DI.enabled=false"};
        for (int n = 0; n < 16; ++n)
            unidentified << "Com_DI_D" + hex(n) + ".text=";
        row("port closed", {"!01E43\r", {"close", "press"}, {}, unidentified});
        row("line lost among the counters", {"!01E43\r",
                                             {"hangUpAfter=#013", "press"},
                                             {"$01F", "#010", "#011", "#012", "#013"},
                                             unidentified});

        write("new address 05", "!01E41\r", {5, 3, 0, 0, 0}, false, "%0105400600", "ABCDE");
        write("checksum enabled", "!01E41\r", {5, 3, 2, 0, 0}, false, "%0105400640", "ABCDE");
        write("digital, no Fast", "!01E47\r", {1, 7, 1, 5, 2}, false, "%0101400A00", "ABCDE");
        write("analog", "!02E82M\r", {2, 4, 3, 2, 1}, false, "%02020A0761", "1");
        write("E82 without M", "!02E82\r", {2, 4, 3, 2, 1}, false, "%0202400740", "");
        write("digital, -1 rows", "!01E41\r", {-1, -1, -1, -1, -1}, false, "%0100400600", "ABCDE");
        write("analog, -1 rows", "!01E82M\r", {-1, -1, -1, -1, -1}, false, "%0100080600", "-1");
        write("with checksum", "!01E41\r", {5, 3, 0, 0, 0}, true, "%0105400600", "ABCDE");

        outcome("accepted", "!01\r", "Save Success.....    ");
        outcome("accepted with more", "!xyz\r", "Save Success.....    ");
        outcome("refused", "?01\r", "Save Fail........    ");
        outcome("no answer", "", "Save Fail........    ");
        outcome("cancelled: nothing sent", "!01\r", "");
    }
    void window()
    {
        QFETCH(Case, c);
        Bench b(c.model);
        b.run(c.steps);
        QStringList written = b.port.writtenTexts();
        for (QString &w : written)
            w.chop(1);
        QCOMPARE(written, c.lines);
        for (const QString &a : c.after)
            QCOMPARE(a.section('=', 0, 0) + "=" + b.seen(a.section('=', 0, 0)), a);
    }

    void everyIdGivesItsOwnDigits()
    {
        Bench b("!01E41\r");
        b.run({"press"});
        QComboBox *ids = b.ui()->Config_ID_Combo;
        QCOMPARE(ids->count(), 254);
        for (int i = 0; i < ids->count(); ++i) {
            ids->setCurrentIndex(i);
            b.run({"cancel"});
            QCOMPARE(b.ui()->Text_Disp_Com->text().mid(3, 2) + " at " + QString::number(i),
                     ids->itemText(i) + " at " + QString::number(i));
        }
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
