// Taking up a module (what each model leaves enabled and filled) and writing its configuration,
// on the window with a scripted module.
#include "link/checksum.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "support/formharness.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

namespace {

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

// One module at address 01 (unless told otherwise) in row 1, selected in the grid. Channel N
// answers "!01123N5678": characters 4-8 are "123N5", 4-11 "123N5678".
struct Bench : FormHarness
{
    QString address = QStringLiteral("01");
    QString modelReply = QStringLiteral("!01E41\r");
    QString writeReply = QStringLiteral("!01\r");
    bool onlyModel = false;  // the module answers nothing but the model query

    Bench()
    {
        port.responder = [this](const QByteArray &written, const QString &) {
            const QString line = QString::fromLatin1(written).chopped(1);
            if (line == "$" + address + "F")
                return modelReply.toLatin1();
            if (onlyModel)
                return QByteArray();
            if (line == "$" + address + "6")
                return QByteArray("!01ABCDE99\r");
            if (line.size() == 4 && line.startsWith("#" + address))
                return ("!01123" + line.mid(3) + "5678\r").toLatin1();
            return line.startsWith('%') ? writeReply.toLatin1() : QByteArray();
        };
        port.setPortOpen(true);
        form->MSFlexGrid1().setTextArray(5, address);
        form->MSFlexGrid1().setTextArray(6, QStringLiteral("QRD-E41"));
        form->MSFlexGrid1().setCurrentCell(1, 0);
        ui()->Com_Configuration->setEnabled(true);
    }
    QStringList lines() const
    {
        QStringList texts = port.writtenTexts();
        for (QString &t : texts)
            t.chop(1);
        return texts;
    }
    QString caption(int n) const { return find<QPushButton>("Com_DI_D" + hex(n))->text(); }
    void configure() { click(QStringLiteral("Com_Configuration")); }
    void write(MessageBoxes::Answer answer = MessageBoxes::AnswerOk)
    {
        boxes.answers = {answer};
        click(QStringLiteral("Com_Write"));
    }
};

// What the press leaves per model: the frames enabled, the outputs Com_DO0.. enabled, the inputs
// Com_DI_D0.. filled (8 characters when analog, else 5), Com_DIO_Status's caption (the status is
// read, and the button enabled, when there is one), the config fields, the analog fields.
struct Branch
{
    QString modelReply;
    bool frameDI, frameDO;
    int outputs, inputs;
    QString status;
    bool configFields, analog;
};

// The list indexes of id, baud, mode, range and format (-1: nothing selected); the model's reply
// also gives the address; Com_DIO_Status afterwards.
struct Write
{
    QString modelReply;
    QList<int> fields;
    bool checksum;
    QString command, status;
};

}  // namespace

Q_DECLARE_METATYPE(Branch)
Q_DECLARE_METATYPE(Write)

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void branchState_data()
    {
        QTest::addColumn<Branch>("row");
        QTest::newRow("E41") << Branch{"!01E41\r", true, true, 16, 0, "ABCDE", true, false};
        QTest::newRow("E43") << Branch{"!01E43\r", true, false, 0, 16, "ABCDE", true, false};
        QTest::newRow("E45") << Branch{"!01E45\r", true, true, 4, 4, "ABCDE", true, false};
        QTest::newRow("E47") << Branch{"!01E47\r", true, true, 8, 8, "ABCDE", true, false};
        QTest::newRow("E82") << Branch{"!01E82M\r", true, false, 0, 8, "", true, true};
        QTest::newRow("anything else") << Branch{"!01E99\r", false, false, 0, 0, "", false, false};
        QTest::newRow("silent module") << Branch{"", false, false, 0, 0, "", false, false};
    }
    void branchState()
    {
        QFETCH(Branch, row);
        const auto &[modelReply, frameDI, frameDO, outputs, inputs, status, configFields, analog] =
            row;
        Bench b;
        b.modelReply = modelReply;
        // Whatever an earlier module left must not survive the press.
        for (int n = 0; n < 16; ++n) {
            b.find<QPushButton>("Com_DI_D" + hex(n))->setText(QStringLiteral("old"));
            b.find("Com_DO" + hex(n))->setEnabled(true);
            b.find("Lab_D" + hex(n))->setEnabled(true);
        }
        b.ui()->Com_DIO_Status->setText(QStringLiteral("old"));
        b.ui()->Text_DSP_Res->setText(QStringLiteral("old"));
        b.ui()->Confiog_DF_Combo->setCurrentIndex(1);

        b.configure();
        QStringList lines{"$01F"};
        for (int n = 0; n < inputs; ++n)
            lines << "#01" + hex(n);
        QCOMPARE(b.lines(), status.isEmpty() ? lines : lines << "$016");
        QCOMPARE(b.ui()->Frame_DI->isEnabled(), frameDI);
        QCOMPARE(b.ui()->Frame_DO->isEnabled(), frameDO);
        for (int n = 0; n < 16; ++n) {
            QVERIFY2(b.find("Com_DO" + hex(n))->isEnabledTo(b.ui()->Frame_DO) == (n < outputs),
                     qPrintable(hex(n)));
            QCOMPARE(b.caption(n), n >= inputs ? QString()
                                   : analog    ? "123" + hex(n) + "5678"
                                               : "123" + hex(n) + "5");
            QVERIFY(!b.find("Lab_D" + hex(n))->isEnabledTo(b.ui()->Frame_DI));
        }
        QCOMPARE(b.ui()->Com_DIO_Status->text(), status);
        QCOMPARE(b.ui()->Com_DIO_Status->isEnabledTo(b.ui()->Frame_DI), !status.isEmpty());
        for (QWidget *w :
             std::initializer_list<QWidget *>{b.ui()->Config_BD_Combo, b.ui()->Config_ID_Combo,
                                              b.ui()->Config_CS_Combo, b.ui()->Com_Write})
            QVERIFY2(w->isEnabled() == configFields, qPrintable(w->objectName()));
        QCOMPARE(b.ui()->Combo_E82_TT->isEnabled(), analog);
        QCOMPARE(b.ui()->Com_E82_DF->isEnabled(), analog);
        QVERIFY(b.ui()->Frame_Config->isEnabled());
        QVERIFY(!b.ui()->Confiog_DF_Combo->isEnabled());
        QCOMPARE(b.ui()->Confiog_DF_Combo->currentIndex(), 1);
        QCOMPARE(b.ui()->Text_DSP_Res->text(), QString());
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral(" "));
        QVERIFY(b.boxes.shown.isEmpty());
    }

    // A module that gives nothing but its model code: each later query waits out its time.
    void timeouts_data()
    {
        QTest::addColumn<QString>("modelReply");
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("from");  // the first write whose distance to the one before counts
        QTest::addColumn<int>("timeout");
        QTest::newRow("model query") << "" << 2 << 1 << 100;
        QTest::newRow("digital") << "!01E43\r" << 1 << 2 << 60;
        QTest::newRow("analog") << "!01E82\r" << 1 << 2 << 200;
    }
    void timeouts()
    {
        QFETCH(QString, modelReply);
        QFETCH(int, presses);
        QFETCH(int, from);
        QFETCH(int, timeout);
        Bench b;
        b.modelReply = modelReply;
        b.onlyModel = true;
        for (int i = 0; i < presses; ++i)
            b.configure();
        const auto &w = b.port.writes;
        QVERIFY(w.size() > from);
        for (int i = from; i < w.size(); ++i)
            QCOMPARE(int(w.at(i).at - w.at(i - 1).at), timeout);
    }

    // Whatever the model: the window grows for good, the scans stop, the defaults come back, and
    // in Modbus RTU mode a warning comes first without stopping the rest.
    void everyPress()
    {
        Bench b;
        b.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.form.get()));
        b.form->Timer1()->setEnabled(true);
        b.form->Timer3()->setEnabled(true);
        QComboBox *combos[] = {b.ui()->Config_BD_Combo, b.ui()->Config_ID_Combo,
                               b.ui()->Config_CS_Combo, b.ui()->Combo_E82_TT, b.ui()->Com_E82_DF};
        for (QComboBox *c : combos)
            c->setCurrentIndex(c->count() - 1);
        b.ui()->Opt_RTU->setChecked(true);
        int writesAtWarning = -1;
        b.boxes.onShow = [&](const FakeMessageBoxes::Box &) {
            writesAtWarning = b.port.writes.size();
        };
        b.configure();

        QCOMPARE(b.form->heightTwips(), 10005);
        const QWidget *config = b.ui()->Frame_Config;
        QVERIFY(config->mapTo(b.form.get(), QPoint(0, config->height())).y() <= b.form->height());
        QVERIFY(!b.form->Timer1()->isEnabled());
        QVERIFY(!b.form->Timer3()->isEnabled());
        QCOMPARE(b.ui()->Config_BD_Combo->currentText(), QStringLiteral("9600"));
        for (QComboBox *c : combos)
            QCOMPARE(c->currentIndex(), c == b.ui()->Config_BD_Combo ? 3 : 0);
        QCOMPARE(b.boxes.shown.size(), 1);
        const FakeMessageBoxes::Box box = b.boxes.shown.first();
        QCOMPARE(box.text,
                 QStringLiteral(
                     "Please Select Communication Protocol ASCII Mode and Turn Switch OFF,ON "));
        QCOMPARE(box.title, QStringLiteral(" MIRVEL Message "));
        QCOMPARE(box.icon, MessageBoxes::Critical);
        QCOMPARE(writesAtWarning, 0);
        QCOMPARE(b.lines(), (QStringList{"$01F", "$016"}));
        QVERIFY(b.ui()->Com_Write->isEnabled());

        b.modelReply.clear();
        b.ui()->Opt_ASC->setChecked(true);
        b.configure();
        QCOMPARE(b.form->heightTwips(), 10005);
    }

    void currentCell_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("switchAt");  // ms into the model query, -1: no switch
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("module name") << 1 << -1 << QStringList{"$QRD-E41F"};
        QTest::newRow("empty cell") << 4 << -1 << QStringList{"$F"};
        QTest::newRow("another cell picked meanwhile") << 0 << 2 << QStringList{"$01F", "$026"};
    }
    void currentCell()
    {
        QFETCH(int, col);
        QFETCH(int, switchAt);
        QFETCH(QStringList, lines);
        Bench b;
        b.form->MSFlexGrid1().setTextArray(10, QStringLiteral(" 02 "));
        b.form->MSFlexGrid1().setCurrentCell(1, col);
        if (switchAt >= 0)
            b.time.at(quint32(switchAt), [&] { b.form->MSFlexGrid1().setCurrentCell(2, 0); });
        b.configure();
        QCOMPARE(b.lines(), lines);
        QCOMPARE(b.ui()->Com_Write->isEnabled(), switchAt >= 0);
    }

    void portFaultLeavesNoHalfPanel_data()
    {
        QTest::addColumn<bool>("closedAtStart");
        QTest::newRow("port closed") << true;
        QTest::newRow("line lost among the counters") << false;
    }
    void portFaultLeavesNoHalfPanel()
    {
        QFETCH(bool, closedAtStart);
        Bench b;
        b.modelReply = QStringLiteral("!01E43\r");
        if (closedAtStart)
            b.port.setPortOpen(false);
        else
            b.port.responder = [&, inner = b.port.responder](const QByteArray &w,
                                                             const QString &s) {
                if (w == "#013\r")
                    QTimer::singleShot(0, [&] { b.port.hangUp(); });
                return inner(w, s);
            };
        b.time.processQtEvents = true;
        b.configure();
        QCoreApplication::processEvents();
        QCOMPARE(b.boxes.shown.size(), 1);
        QVERIFY(!b.ui()->Com_Write->isEnabled());
        QVERIFY(!b.ui()->Config_ID_Combo->isEnabled());
        QVERIFY(!b.ui()->Frame_DI->isEnabled());
        for (int n = 0; n < 16; ++n)
            QCOMPARE(b.caption(n), QString());
    }

    void writeCommand_data()
    {
        QTest::addColumn<Write>("row");
        const QString d = "ABCDE";
        QTest::newRow("new address 05")
            << Write{"!01E41\r", {5, 3, 0, 0, 0}, false, "%0105400600", d};
        QTest::newRow("checksum enabled")
            << Write{"!01E41\r", {5, 3, 2, 0, 0}, false, "%0105400640", d};
        QTest::newRow("digital, no Fast")
            << Write{"!01E47\r", {1, 7, 1, 5, 2}, false, "%0101400A00", d};
        QTest::newRow("analog") << Write{"!02E82M\r", {2, 4, 3, 2, 1}, false, "%02020A0761", "1"};
        QTest::newRow("E82 without M")
            << Write{"!02E82\r", {2, 4, 3, 2, 1}, false, "%0202400740", ""};
        QTest::newRow("digital, -1 rows")
            << Write{"!01E41\r", {-1, -1, -1, -1, -1}, false, "%0100400600", d};
        QTest::newRow("analog, -1 rows")
            << Write{"!01E82M\r", {-1, -1, -1, -1, -1}, false, "%0100080600", "-1"};
        QTest::newRow("with checksum")
            << Write{"!01E41\r", {5, 3, 0, 0, 0}, true, "%0105400600", d};
    }
    void writeCommand()
    {
        QFETCH(Write, row);
        Bench b;
        b.modelReply = row.modelReply;
        b.address = row.modelReply.mid(1, 2);
        b.form->MSFlexGrid1().setTextArray(5, b.address);
        b.configure();
        b.ui()->Combo_E82_TT->setEnabled(true);
        b.ui()->Com_E82_DF->setEnabled(true);
        QComboBox *combos[] = {b.ui()->Config_ID_Combo, b.ui()->Config_BD_Combo,
                               b.ui()->Config_CS_Combo, b.ui()->Combo_E82_TT, b.ui()->Com_E82_DF};
        for (int i = 0; i < 5; ++i)
            combos[i]->setCurrentIndex(row.fields.at(i));
        b.ui()->Check_Chksum->setChecked(row.checksum);
        b.port.writes.clear();

        b.write();
        auto sent = [&](const QString &c) { return row.checksum ? c + asciiChecksum(c) : c; };
        QCOMPARE(b.lines(), (QStringList{sent("$" + b.address + "F"), sent(row.command)}));
        QCOMPARE(b.ui()->Text_Disp_Com->text(), row.command);
        QCOMPARE(b.ui()->Com_DIO_Status->text(), row.status);
        QCOMPARE(b.boxes.shown.size(), 2);
        const FakeMessageBoxes::Box ask = b.boxes.shown.at(0);
        QCOMPARE(ask.text, "Please Check Command " + row.command + " is Correct ?      ");
        QCOMPARE(ask.title, QStringLiteral("Save Configuration to EEprom..."));
        QCOMPARE(ask.icon, MessageBoxes::Exclamation);
        QCOMPARE(ask.buttons, MessageBoxes::OkCancel);
    }

    void everyIdGivesItsOwnDigits()
    {
        Bench b;
        b.configure();
        QComboBox *ids = b.ui()->Config_ID_Combo;
        QCOMPARE(ids->count(), 254);
        for (int i = 0; i < ids->count(); ++i) {
            ids->setCurrentIndex(i);
            b.write(MessageBoxes::AnswerCancel);
            QCOMPARE(b.ui()->Text_Disp_Com->text().mid(3, 2) + " at " + QString::number(i),
                     ids->itemText(i) + " at " + QString::number(i));
        }
    }

    void writeOutcome_data()
    {
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("message");  // empty: no second box
        const QString success = "Save Success.....    ", fail = "Save Fail........    ";
        QTest::newRow("accepted") << true << QString("!01\r") << success;
        QTest::newRow("accepted with more") << true << QString("!xyz\r") << success;
        QTest::newRow("refused") << true << QString("?01\r") << fail;
        QTest::newRow("no answer") << true << QString() << fail;
        QTest::newRow("cancelled: nothing sent") << false << QString("!01\r") << QString();
    }
    void writeOutcome()
    {
        QFETCH(bool, confirmed);
        QFETCH(QString, reply);
        QFETCH(QString, message);
        Bench b;
        b.writeReply = reply;
        b.configure();
        b.ui()->Text_DSP_Res->setText(QStringLiteral("earlier reply"));
        b.port.writes.clear();
        quint32 waited = 0;
        b.boxes.onShow = [&](const FakeMessageBoxes::Box &) {
            if (b.boxes.shown.size() == 2)
                waited = b.time.tickCount() - b.port.writes.last().at;
        };
        b.write(confirmed ? MessageBoxes::AnswerOk : MessageBoxes::AnswerCancel);
        QCOMPARE(b.lines(),
                 QStringList{"$01F"} + (confirmed ? QStringList{"%0100400600"} : QStringList()));
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral("%0100400600"));
        QCOMPARE(b.ui()->Text_DSP_Res->text(), confirmed ? reply : "earlier reply");
        QCOMPARE(b.boxes.shown.size(), confirmed ? 2 : 1);
        if (!confirmed)
            return;
        const FakeMessageBoxes::Box told = b.boxes.shown.at(1);
        QCOMPARE(told.text, message);
        QCOMPARE(told.title, QStringLiteral("Save Configuration to EEprom..."));
        QCOMPARE(told.buttons, MessageBoxes::Ok);
        if (reply.isEmpty())
            QCOMPARE(waited, 500u);
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
