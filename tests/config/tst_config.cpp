// Taking up a module (what each model leaves enabled and filled) and writing its configuration,
// on the window with a scripted module.
#include "config/moduleconfig.h"
#include "dio/diopanel.h"
#include "link/checksum.h"
#include "scan/scangrid.h"
#include "shell/formtimer.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

// One module on the line at address 01 (unless told otherwise), selected in the grid.
struct Bench
{
    FormHarness h;
    QString address = QStringLiteral("01");
    QString modelReply = QStringLiteral("!01E41\r");
    QString statusReply = QStringLiteral("!01ABCDE99\r");
    QString writeReply = QStringLiteral("!01\r");
    // Channel N answers "!01123N5678": characters 4-8 are "123N5", 4-11 "123N5678".
    bool valuesAnswer = true;
    std::function<void(const QString &)> onCommand;

    Bench()
    {
        h.port.responder = [this](const QByteArray &written, const QString &) {
            const QString line = QString::fromLatin1(written).chopped(1);
            if (onCommand)
                onCommand(line);
            QString reply;
            if (line == "$" + address + "F")
                reply = modelReply;
            else if (line == "$" + address + "6")
                reply = statusReply;
            else if (valuesAnswer && line.size() == 4 && line.startsWith("#" + address))
                reply = "!01123" + line.mid(3) + "5678\r";
            else if (line.startsWith(QLatin1Char('%')))
                reply = writeReply;
            return reply.toLatin1();
        };
        h.port.setPortOpen(true);
        h.form->MSFlexGrid1().setTextArray(5, address);
        h.form->MSFlexGrid1().setTextArray(6, QStringLiteral("QRD-E41"));
        h.form->MSFlexGrid1().setCurrentCell(1, 0);
        h.ui()->Com_Configuration->setEnabled(true);
    }

    QStringList lines() const
    {
        QStringList texts = h.port.writtenTexts();
        for (QString &t : texts)
            t.chop(1);
        return texts;
    }
    Ui::Form1 *ui() const { return h.ui(); }
    QString caption(int n) const { return h.find<QPushButton>("Com_DI_D" + hex(n))->text(); }
    bool outputEnabled(int n) const
    {
        return h.find<QWidget>("Com_DO" + hex(n))->isEnabledTo(h.ui()->Frame_DO);
    }
    // Takes up the module, then answers the write's confirmation with the given button.
    void configure() { h.click(QStringLiteral("Com_Configuration")); }
    void write(MessageBoxes::Answer answer = MessageBoxes::AnswerOk)
    {
        h.boxes.answers = {answer};
        h.click(QStringLiteral("Com_Write"));
    }
};

QStringList channels(const QString &lead, int count)
{
    QStringList list;
    for (int n = 0; n < count; ++n)
        list << lead + hex(n);
    return list;
}

}  // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void branchState_data()
    {
        QTest::addColumn<QString>("modelReply");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<bool>("frameDI");
        QTest::addColumn<bool>("frameDO");
        QTest::addColumn<int>("outputs");     // Com_DO0 .. outputs-1 enabled
        QTest::addColumn<int>("inputs");      // Com_DI_D0 .. inputs-1 filled
        QTest::addColumn<bool>("analog");     // 8-character values
        QTest::addColumn<QString>("status");  // caption of Com_DIO_Status
        QTest::addColumn<bool>("statusEnabled");
        QTest::addColumn<bool>("configFields");
        QTest::addColumn<bool>("analogFields");

        const QString q = QStringLiteral("$01F");
        const QString s = QStringLiteral("$016");
        QTest::newRow("E41") << "!01E41\r" << QStringList{q, s} << true << true << 16 << 0 << false
                             << "ABCDE" << true << true << false;
        QTest::newRow("E43") << "!01E43\r" << QStringList{q} + channels("#01", 16) + QStringList{s}
                             << true << false << 0 << 16 << false << "ABCDE" << true << true
                             << false;
        QTest::newRow("E45") << "!01E45\r" << QStringList{q} + channels("#01", 4) + QStringList{s}
                             << true << true << 4 << 4 << false << "ABCDE" << true << true << false;
        QTest::newRow("E47") << "!01E47\r" << QStringList{q} + channels("#01", 8) + QStringList{s}
                             << true << true << 8 << 8 << false << "ABCDE" << true << true << false;
        QTest::newRow("E82") << "!01E82M\r" << QStringList{q} + channels("#01", 8) << true << false
                             << 0 << 8 << true << "" << false << true << true;
        QTest::newRow("E43 and more")
            << "!01E43XYZ\r" << QStringList{q} + channels("#01", 16) + QStringList{s} << true
            << false << 0 << 16 << false << "ABCDE" << true << true << false;
        QTest::newRow("lower case") << "!01e41\r" << QStringList{q} << false << false << 0 << 0
                                    << false << "" << false << false << false;
        QTest::newRow("unknown model") << "!01E99\r" << QStringList{q} << false << false << 0 << 0
                                       << false << "" << false << false << false;
        QTest::newRow("silent module") << "" << QStringList{q} << false << false << 0 << 0 << false
                                       << "" << false << false << false;
    }
    void branchState()
    {
        QFETCH(QString, modelReply);
        QFETCH(QStringList, frames);
        QFETCH(bool, frameDI);
        QFETCH(bool, frameDO);
        QFETCH(int, outputs);
        QFETCH(int, inputs);
        QFETCH(bool, analog);
        QFETCH(QString, status);
        QFETCH(bool, statusEnabled);
        QFETCH(bool, configFields);
        QFETCH(bool, analogFields);

        Bench b;
        b.modelReply = modelReply;
        // Whatever an earlier module left must not survive the press.
        for (int n = 0; n < 16; ++n) {
            b.h.find<QPushButton>("Com_DI_D" + hex(n))->setText(QStringLiteral("old"));
            b.h.find<QWidget>("Com_DO" + hex(n))->setEnabled(true);
            b.h.find<QWidget>("Lab_D" + hex(n))->setEnabled(true);
        }
        b.ui()->Com_DIO_Status->setText(QStringLiteral("old"));
        b.ui()->Text_DSP_Res->setText(QStringLiteral("old"));
        b.ui()->Confiog_DF_Combo->setCurrentIndex(1);

        b.configure();

        QCOMPARE(b.lines(), frames);
        QCOMPARE(b.ui()->Frame_DI->isEnabled(), frameDI);
        QCOMPARE(b.ui()->Frame_DO->isEnabled(), frameDO);
        for (int n = 0; n < 16; ++n) {
            QVERIFY2(b.outputEnabled(n) == (n < outputs), qPrintable("Com_DO" + hex(n)));
            const QString value = n >= inputs ? QString()
                                  : analog    ? "123" + hex(n) + "5678"
                                              : "123" + hex(n) + "5";
            QCOMPARE(b.caption(n), value);
            QVERIFY(!b.h.find<QWidget>("Lab_D" + hex(n))->isEnabledTo(b.ui()->Frame_DI));
        }
        QCOMPARE(b.ui()->Com_DIO_Status->text(), status);
        QCOMPARE(b.ui()->Com_DIO_Status->isEnabledTo(b.ui()->Frame_DI), statusEnabled);
        for (QWidget *w : {static_cast<QWidget *>(b.ui()->Config_BD_Combo),
                           static_cast<QWidget *>(b.ui()->Config_ID_Combo),
                           static_cast<QWidget *>(b.ui()->Config_CS_Combo),
                           static_cast<QWidget *>(b.ui()->Com_Write)})
            QVERIFY2(w->isEnabled() == configFields, qPrintable(w->objectName()));
        QCOMPARE(b.ui()->Combo_E82_TT->isEnabled(), analogFields);
        QCOMPARE(b.ui()->Com_E82_DF->isEnabled(), analogFields);
        QVERIFY(b.ui()->Frame_Config->isEnabled());
        QVERIFY(!b.ui()->Confiog_DF_Combo->isEnabled());
        QCOMPARE(b.ui()->Confiog_DF_Combo->currentIndex(), 1);
        QCOMPARE(b.ui()->Text_DSP_Res->text(), QString());
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral(" "));
        QVERIFY(b.h.boxes.shown.isEmpty());
    }

    void timeoutsOfASilentPanel_data()
    {
        // The module gives its model code and nothing else: every other query waits it out.
        QTest::addColumn<QString>("modelReply");
        QTest::addColumn<int>("valueTimeout");
        QTest::newRow("digital") << "!01E43\r" << 60;
        QTest::newRow("analog") << "!01E82\r" << 200;
    }
    void timeoutsOfASilentPanel()
    {
        QFETCH(QString, modelReply);
        QFETCH(int, valueTimeout);
        Bench b;
        b.modelReply = modelReply;
        b.valuesAnswer = false;
        b.statusReply.clear();
        b.configure();
        const auto &w = b.h.port.writes;
        QVERIFY(w.size() >= 3);
        for (int i = 2; i < w.size(); ++i)
            QCOMPARE(int(w.at(i).at - w.at(i - 1).at), valueTimeout);
    }

    void modelQueryWaitsUpTo100ms()
    {
        Bench b;
        b.modelReply.clear();
        b.configure();
        b.configure();
        QCOMPARE(int(b.h.port.writes.at(1).at - b.h.port.writes.at(0).at), 100);
    }

    void windowGrowsAndStays()
    {
        Bench b;
        b.h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(b.h.form.get()));
        b.configure();
        QCOMPARE(b.h.form->heightTwips(), 10005);
        const QWidget *config = b.ui()->Frame_Config;
        QVERIFY(config->mapTo(b.h.form.get(), QPoint(0, config->height())).y() <=
                b.h.form->height());
        b.modelReply.clear();
        b.configure();
        QCOMPARE(b.h.form->heightTwips(), 10005);
    }

    void defaultsReselected()
    {
        Bench b;
        b.configure();
        b.ui()->Config_BD_Combo->setCurrentIndex(7);
        b.ui()->Config_ID_Combo->setCurrentIndex(100);
        b.ui()->Config_CS_Combo->setCurrentIndex(2);
        b.ui()->Combo_E82_TT->setCurrentIndex(4);
        b.ui()->Com_E82_DF->setCurrentIndex(-1);
        b.configure();
        QCOMPARE(b.ui()->Config_BD_Combo->currentIndex(), 3);
        QCOMPARE(b.ui()->Config_BD_Combo->currentText(), QStringLiteral("9600"));
        QCOMPARE(b.ui()->Config_ID_Combo->currentIndex(), 0);
        QCOMPARE(b.ui()->Config_CS_Combo->currentIndex(), 0);
        QCOMPARE(b.ui()->Combo_E82_TT->currentIndex(), 0);
        QCOMPARE(b.ui()->Com_E82_DF->currentIndex(), 0);
        QCOMPARE(b.ui()->Com_E82_DF->currentText(), QStringLiteral("0 Volatge"));
    }

    void stopsBothScanTimers()
    {
        Bench b;
        b.h.form->Timer1()->setInterval(100);
        b.h.form->Timer1()->setEnabled(true);
        b.h.form->Timer3()->setInterval(300);
        b.h.form->Timer3()->setEnabled(true);
        b.configure();
        QVERIFY(!b.h.form->Timer1()->isEnabled());
        QVERIFY(!b.h.form->Timer3()->isEnabled());
    }

    void warnsInModbusRtuModeAndGoesOn()
    {
        Bench b;
        b.ui()->Opt_RTU->setChecked(true);
        int writesAtWarning = -1;
        b.h.boxes.onShow = [&](const FakeMessageBoxes::Box &) {
            writesAtWarning = b.h.port.writes.size();
        };
        b.configure();
        QCOMPARE(b.h.boxes.shown.size(), 1);
        const FakeMessageBoxes::Box box = b.h.boxes.shown.first();
        QCOMPARE(box.text,
                 QStringLiteral(
                     "Please Select Communication Protocol ASCII Mode and Turn Switch OFF,ON "));
        QCOMPARE(box.title, QStringLiteral(" MIRVEL Message "));
        QCOMPARE(box.icon, MessageBoxes::Critical);
        QCOMPARE(box.buttons, MessageBoxes::Ok);
        QCOMPARE(writesAtWarning, 0);
        QCOMPARE(b.lines(), (QStringList{"$01F", "$016"}));
        QVERIFY(b.ui()->Com_Write->isEnabled());
    }

    void cellWithoutAddress_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("query");
        QTest::newRow("module name") << 1 << "$QRD-E41F";
        QTest::newRow("empty cell") << 4 << "$F";
    }
    void cellWithoutAddress()
    {
        QFETCH(int, col);
        QFETCH(QString, query);
        Bench b;
        b.h.form->MSFlexGrid1().setCurrentCell(1, col);
        b.configure();
        QCOMPARE(b.lines(), QStringList{query});
        QVERIFY(!b.ui()->Com_Write->isEnabled());
        QVERIFY(!b.ui()->Frame_DI->isEnabled());
    }

    void addressReadBeforeEveryCommand()
    {
        // Another cell picked while the model query waits: the rest goes to the new address.
        Bench b;
        b.h.form->MSFlexGrid1().setTextArray(10, QStringLiteral(" 02 "));
        b.h.time.at(2, [&] { b.h.form->MSFlexGrid1().setCurrentCell(2, 0); });
        b.configure();
        QCOMPARE(b.lines(), (QStringList{"$01F", "$026"}));
    }

    void checksumOnEveryCommand()
    {
        Bench b;
        b.ui()->Check_Chksum->setChecked(true);
        b.address = QStringLiteral("01");
        b.h.port.responder = [](const QByteArray &written, const QString &) {
            return written.startsWith("$01F") ? QByteArray("!01E45\r") : QByteArray();
        };
        b.configure();
        QStringList expected;
        for (const QString &c : QStringList{"$01F"} + channels("#01", 4) + QStringList{"$016"})
            expected << c + asciiChecksum(c);
        QCOMPARE(b.lines(), expected);
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
            b.h.port.setPortOpen(false);
        else
            b.onCommand = [&](const QString &line) {
                if (line == "#013")
                    QTimer::singleShot(0, [&] { b.h.port.hangUp(); });
            };
        b.h.time.processQtEvents = true;
        b.configure();
        QCoreApplication::processEvents();
        QCOMPARE(b.h.boxes.shown.size(), 1);
        QVERIFY(!b.ui()->Com_Write->isEnabled());
        QVERIFY(!b.ui()->Config_ID_Combo->isEnabled());
        QVERIFY(!b.ui()->Frame_DI->isEnabled());
        for (int n = 0; n < 16; ++n)
            QCOMPARE(b.caption(n), QString());
    }

    // Configuration write.

    void writeCommand_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("modelReply");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("status");  // Com_DIO_Status afterwards

        QTest::newRow("digital, new address 05")
            << "01"
            << "!01E41\r" << 5 << 3 << 0 << 0 << 0 << "%0105400600"
            << "ABCDE";
        QTest::newRow("digital, checksum enabled")
            << "01"
            << "!01E41\r" << 5 << 3 << 2 << 0 << 0 << "%0105400640"
            << "ABCDE";
        QTest::newRow("analog example") << "02"
                                        << "!02E82M\r" << 2 << 4 << 3 << 2 << 1 << "%02020A0761"
                                        << "1";
        QTest::newRow("digital ignores Fast")
            << "01"
            << "!01E47\r" << 1 << 7 << 1 << 5 << 2 << "%0101400A00"
            << "ABCDE";
        QTest::newRow("digital Enable/Fast") << "01"
                                             << "!01E47\r" << 1 << 0 << 3 << 5 << 2 << "%0101400340"
                                             << "ABCDE";
        QTest::newRow("E82 without M is digital")
            << "02"
            << "!02E82\r" << 2 << 4 << 3 << 2 << 1 << "%0202400740"
            << "";
        QTest::newRow("analog, other codes")
            << "03"
            << "!03E82M01\r" << 3 << 0 << 1 << 5 << 2 << "%03030D0322"
            << "2";
        QTest::newRow("analog Disable/Normal")
            << "03"
            << "!03E82M\r" << 0 << 6 << 0 << 4 << 0 << "%03000C0900"
            << "0";
        QTest::newRow("digital, nothing selected")
            << "01"
            << "!01E41\r" << -1 << -1 << -1 << -1 << -1 << "%0100400600"
            << "ABCDE";
        QTest::newRow("analog, nothing selected")
            << "01"
            << "!01E82M\r" << -1 << -1 << -1 << -1 << -1 << "%0100080600"
            << "-1";
    }
    void writeCommand()
    {
        QFETCH(QString, address);
        QFETCH(QString, modelReply);
        QFETCH(int, id);
        QFETCH(int, baud);
        QFETCH(int, mode);
        QFETCH(int, range);
        QFETCH(int, format);
        QFETCH(QString, command);
        QFETCH(QString, status);

        Bench b;
        b.address = address;
        b.modelReply = modelReply;
        b.h.form->MSFlexGrid1().setTextArray(5, address);
        b.configure();
        b.ui()->Combo_E82_TT->setEnabled(true);
        b.ui()->Com_E82_DF->setEnabled(true);
        b.ui()->Config_ID_Combo->setCurrentIndex(id);
        b.ui()->Config_BD_Combo->setCurrentIndex(baud);
        b.ui()->Config_CS_Combo->setCurrentIndex(mode);
        b.ui()->Combo_E82_TT->setCurrentIndex(range);
        b.ui()->Com_E82_DF->setCurrentIndex(format);
        b.h.port.writes.clear();

        b.write();
        QCOMPARE(b.lines(), (QStringList{"$" + address + "F", command}));
        QCOMPARE(b.ui()->Text_Disp_Com->text(), command);
        QCOMPARE(b.ui()->Com_DIO_Status->text(), status);
        QCOMPARE(b.h.boxes.shown.size(), 2);
        const FakeMessageBoxes::Box ask = b.h.boxes.shown.at(0);
        QCOMPARE(ask.text, "Please Check Command " + command + " is Correct ?      ");
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
            const QString shown = b.ui()->Text_Disp_Com->text();
            QVERIFY2(
                shown.mid(3, 2) == ids->itemText(i),
                qPrintable(
                    QStringLiteral("entry %1 \"%2\" gave %3").arg(i).arg(ids->itemText(i), shown)));
        }
    }

    void cancelSendsNothing()
    {
        Bench b;
        b.configure();
        b.ui()->Text_DSP_Res->setText(QStringLiteral("earlier reply"));
        b.h.port.writes.clear();
        b.write(MessageBoxes::AnswerCancel);
        QCOMPARE(b.lines(), QStringList{"$01F"});
        QCOMPARE(b.ui()->Text_Disp_Com->text(), QStringLiteral("%0100400600"));
        QCOMPARE(b.ui()->Text_DSP_Res->text(), QStringLiteral("earlier reply"));
        QCOMPARE(b.h.boxes.shown.size(), 1);
    }

    void writeOutcome_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("accepted") << "!01\r"
                                  << "Save Success.....    ";
        QTest::newRow("accepted with more") << "!xyz\r"
                                            << "Save Success.....    ";
        QTest::newRow("refused") << "?01\r"
                                 << "Save Fail........    ";
        QTest::newRow("no answer") << ""
                                   << "Save Fail........    ";
    }
    void writeOutcome()
    {
        QFETCH(QString, reply);
        QFETCH(QString, message);
        Bench b;
        b.writeReply = reply;
        b.configure();
        b.ui()->Text_DSP_Res->setText(QStringLiteral("earlier reply"));
        quint32 sentAt = 0;
        quint32 toldAt = 0;
        b.h.boxes.onShow = [&](const FakeMessageBoxes::Box &) {
            if (b.h.boxes.shown.size() == 2) {
                sentAt = b.h.port.writes.last().at;
                toldAt = b.h.time.tickCount();
            }
        };
        b.write();
        QCOMPARE(b.ui()->Text_DSP_Res->text(), reply);
        QCOMPARE(b.h.boxes.shown.size(), 2);
        const FakeMessageBoxes::Box told = b.h.boxes.shown.at(1);
        QCOMPARE(told.text, message);
        QCOMPARE(told.title, QStringLiteral("Save Configuration to EEprom..."));
        QCOMPARE(told.icon, MessageBoxes::Exclamation);
        QCOMPARE(told.buttons, MessageBoxes::Ok);
        if (reply.isEmpty())
            QCOMPARE(int(toldAt - sentAt), 500);
    }

    void writeWithChecksum()
    {
        Bench b;
        b.configure();
        b.ui()->Check_Chksum->setChecked(true);
        b.h.port.writes.clear();
        b.write(MessageBoxes::AnswerOk);
        const QString command = QStringLiteral("%0100400600");
        QCOMPARE(b.lines(),
                 (QStringList{"$01F" + asciiChecksum("$01F"), command + asciiChecksum(command)}));
        QCOMPARE(b.ui()->Text_Disp_Com->text(), command);
        QCOMPARE(b.h.boxes.shown.first().text,
                 "Please Check Command " + command + " is Correct ?      ");
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
