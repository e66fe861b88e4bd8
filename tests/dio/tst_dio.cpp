// The output switches, channel reads and status read of the I/O panel, on the window with a
// scripted port.
#include "dio/diopanel.h"
#include "link/checksum.h"
#include "scan/scangrid.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QHash>
#include <QPushButton>

namespace {

QString hex(int n)
{
    return QString::number(n, 16).toUpper();
}

// The window with one module at address 01 selected and the whole panel usable.
struct Panel
{
    FormHarness h;
    QHash<QString, QString> replies;  // command as written, carriage return dropped -> reply

    Panel()
    {
        h.port.responder = [this](const QByteArray &written, const QString &) {
            return replies.value(QString::fromLatin1(written).chopped(1)).toLatin1();
        };
        h.port.setPortOpen(true);
        h.form->MSFlexGrid1().setTextArray(5, QStringLiteral("01"));
        h.form->MSFlexGrid1().setCurrentCell(1, 0);
        h.ui()->Frame_DI->setEnabled(true);
        h.ui()->Frame_DO->setEnabled(true);
        for (int n = 0; n < 16; ++n)
            h.find<QWidget>("Com_DO" + hex(n))->setEnabled(true);
    }

    QStringList lines() const
    {
        QStringList texts = h.port.writtenTexts();
        for (QString &t : texts)
            t.chop(1);
        return texts;
    }
    QString status() const { return h.ui()->Com_DIO_Status->text(); }
};

}  // namespace

class TestDio : public QObject
{
    Q_OBJECT

private slots:
    void outputCommandByChannel_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("on");
        QTest::addColumn<QString>("off");
        const char *suffixes[16] = {"10", "11", "12", "13", "14", "15", "16", "17",
                                    "B0", "B1", "B2", "B3", "B4", "B5", "B6", "B7"};
        for (int n = 0; n < 16; ++n) {
            const QString s = QString::fromLatin1(suffixes[n]);
            QTest::newRow(qPrintable("Com_DO" + hex(n))) << n << "#01" + s + "01"
                                                         << "#01" + s + "00";
        }
    }
    void outputCommandByChannel()
    {
        // First click switches on, second off; each shows its command and reply, then the status.
        QFETCH(int, channel);
        QFETCH(QString, on);
        QFETCH(QString, off);
        Panel p;
        p.replies[on] = QStringLiteral(">\r");
        p.replies[off] = QStringLiteral("?01\r");
        p.replies[QStringLiteral("$016")] = QStringLiteral("!01FF0000\r");
        auto *button = p.h.find<QPushButton>("Com_DO" + hex(channel));
        const QString caption = button->text();

        p.h.click(button->objectName());
        QCOMPARE(p.lines(), (QStringList{on, "$016"}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), on);
        QCOMPARE(p.h.ui()->Text_DSP_Res->text(), QStringLiteral(">\r"));
        QCOMPARE(p.status(), QStringLiteral("FF000"));
        QVERIFY(button->isChecked());
        QVERIFY(p.h.form->dio().outputOn(channel));

        p.h.click(button->objectName());
        QCOMPARE(p.lines(), (QStringList{on, "$016", off, "$016"}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), off);
        QCOMPARE(p.h.ui()->Text_DSP_Res->text(), QStringLiteral("?01\r"));
        QVERIFY(!button->isChecked());
        QCOMPARE(button->text(), caption);
    }

    void eachOutputKeepsItsOwnFlag()
    {
        Panel p;
        p.h.click("Com_DO2");
        p.h.click("Com_DO5");
        p.h.click("Com_DO2");
        QCOMPARE(p.lines(), (QStringList{"#011201", "$016", "#011501", "$016", "#011200", "$016"}));
        QVERIFY(!p.h.ui()->Com_DO2->isChecked());
        QVERIFY(p.h.ui()->Com_DO5->isChecked());
    }

    void flagOutlivesAnotherModuleSelection()
    {
        // The flag follows the button, not the module: an output left on for module 01 is
        // switched off by the next click, even with module 02 selected.
        Panel p;
        p.h.click("Com_DO0");
        p.h.form->MSFlexGrid1().setTextArray(10, QStringLiteral("02"));
        p.h.form->MSFlexGrid1().setCurrentCell(2, 0);
        p.h.click("Com_DO0");
        QCOMPARE(p.lines().mid(2), (QStringList{"#021000", "$026"}));
    }

    void addressIsTrimmed()
    {
        Panel p;
        p.h.form->MSFlexGrid1().setTextArray(5, QStringLiteral("  01 "));
        p.h.click("Com_DO0");
        QCOMPARE(p.lines(), (QStringList{"#011001", "$016"}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), QStringLiteral("#011001"));
    }

    void checksumOnBothCommands()
    {
        Panel p;
        p.h.ui()->Check_Chksum->setChecked(true);
        p.h.click("Com_DO0");
        QCOMPARE(p.lines(), (QStringList{"#011001" + asciiChecksum("#011001"),
                                         "$016" + asciiChecksum("$016")}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), QStringLiteral("#011001"));
    }

    void statusCaption_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("caption");
        QTest::newRow("nine characters") << "!01A5B6C7"
                                         << "A5B6C";
        QTest::newRow("nine characters and CR") << "!01A5B6C7\r"
                                                << "A5B6C";
        QTest::newRow("five characters") << "!01AB"
                                         << "AB";
        QTest::newRow("five characters and CR") << "!01AB\r"
                                                << "AB\r";
        QTest::newRow("three characters") << "!01"
                                          << "";
        QTest::newRow("nothing") << ""
                                 << "";
    }
    void statusCaption()
    {
        QFETCH(QString, reply);
        QFETCH(QString, caption);
        Panel p;
        p.h.ui()->Com_DIO_Status->setText(QStringLiteral("old"));
        p.replies[QStringLiteral("$016")] = reply;
        p.h.click("Com_DO7");
        QCOMPARE(p.status(), caption);
    }

    void addressReadAgainForTheStatus()
    {
        // The operator picks another cell while the set-output exchange waits.
        Panel p;
        p.h.form->MSFlexGrid1().setTextArray(10, QStringLiteral("02"));
        p.h.time.at(2, [&] { p.h.form->MSFlexGrid1().setCurrentCell(2, 0); });
        p.h.click("Com_DO1");
        QCOMPARE(p.lines(), (QStringList{"#011101", "$026"}));
    }

    void closedPortLeavesTheFlag()
    {
        // Nothing reached the module, so the next click must still switch the channel on.
        Panel p;
        p.h.port.setPortOpen(false);
        p.h.click("Com_DO3");
        QCoreApplication::processEvents();
        QCOMPARE(p.h.boxes.shown.size(), 1);
        QVERIFY(!p.h.ui()->Com_DO3->isChecked());
        QVERIFY(!p.h.form->dio().outputOn(3));
        p.h.port.setPortOpen(true);
        p.h.click("Com_DO3");
        QCOMPARE(p.lines(), (QStringList{"#011301", "$016"}));
        QVERIFY(p.h.ui()->Com_DO3->isChecked());
    }

    void readCommandByChannel_data()
    {
        QTest::addColumn<int>("channel");
        for (int n = 0; n < 16; ++n)
            QTest::newRow(qPrintable("Com_DI_D" + hex(n))) << n;
    }
    void readCommandByChannel()
    {
        QFETCH(int, channel);
        Panel p;
        const QString command = "#01" + hex(channel);
        p.replies[command] = QStringLiteral("!01+01.2345678\r");
        p.replies[QStringLiteral("$016")] = QStringLiteral("!0100FF00\r");
        p.h.click("Com_DI_D" + hex(channel));
        QCOMPARE(p.lines(), (QStringList{command, "$016"}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), command);
        QCOMPARE(p.h.ui()->Text_DSP_Res->text(), QStringLiteral("!01+01.2345678\r"));
        QCOMPARE(p.h.find<QPushButton>("Com_DI_D" + hex(channel))->text(),
                 QStringLiteral("+01.2345"));
        QCOMPARE(p.status(), QStringLiteral("00FF0"));
    }

    void readCaption_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("caption");
        QTest::newRow("eleven characters") << "!0112345678\r"
                                           << "12345678";
        QTest::newRow("five-digit counter") << "!0100042\r"
                                            << "00042\r";
        QTest::newRow("three characters") << "!01\r"
                                          << "\r";
        QTest::newRow("nothing") << ""
                                 << "";
    }
    void readCaption()
    {
        QFETCH(QString, reply);
        QFETCH(QString, caption);
        Panel p;
        p.h.ui()->Com_DI_D7->setText(QStringLiteral("old"));
        p.replies[QStringLiteral("#017")] = reply;
        p.h.click("Com_DI_D7");
        QCOMPARE(p.h.ui()->Com_DI_D7->text(), caption);
        QCOMPARE(p.h.port.writtenTexts(), (QStringList{"#017\r", "$016\r"}));
    }

    void readsAddressAgainForTheStatus()
    {
        Panel p;
        p.h.form->MSFlexGrid1().setTextArray(10, QStringLiteral("02"));
        p.h.time.at(2, [&] { p.h.form->MSFlexGrid1().setCurrentCell(2, 0); });
        p.h.click("Com_DI_D0");
        QCOMPARE(p.lines(), (QStringList{"#010", "$026"}));
    }

    void statusButtonSendsTwice()
    {
        // The outputs change between the two reads: the box shows the first, the caption the
        // second.
        Panel p;
        int reads = 0;
        p.h.port.responder = [&](const QByteArray &written, const QString &) {
            if (written != "$016\r")
                return QByteArray();
            return ++reads == 1 ? QByteArray("!0100010000\r") : QByteArray("!0100030000\r");
        };
        p.h.click("Com_DIO_Status");
        QCOMPARE(p.lines(), (QStringList{"$016", "$016"}));
        QCOMPARE(p.h.ui()->Text_Disp_Com->text(), QStringLiteral("$016"));
        QCOMPARE(p.h.ui()->Text_DSP_Res->text(), QStringLiteral("!0100010000\r"));
        QCOMPARE(p.status(), QStringLiteral("00030"));
    }
};

QTEST_MAIN(TestDio)
#include "tst_dio.moc"
