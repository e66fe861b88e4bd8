// The command terminal on the real window over a fake port and clock, in both protocol modes:
// what goes on the line, what the boxes show, Enter, Clear, and the auto-repeat on fake time.
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "support/pty.h"
#include "terminal/terminal.h"
#include "ui_form1.h"

#include <QTest>

namespace {

using Bytes = QList<QByteArray>;

int boxesWithText(const FakeMessageBoxes &boxes, const QString &text)
{
    int n = 0;
    for (const FakeMessageBoxes::Box &box : boxes.shown)
        n += box.text == text ? 1 : 0;
    return n;
}

void verifyFormatErrorBox(const FakeMessageBoxes::Box &box)
{
    QCOMPARE(box.text, QStringLiteral("Data format error !"));
    QCOMPARE(box.title, QStringLiteral(" Syntax description error "));
    QCOMPARE(box.icon, MessageBoxes::Exclamation);
    QCOMPARE(box.buttons, MessageBoxes::Ok);
}

// Stands in for Timer_Send's own clock on fake time: a tick falls due every interval, and a tick
// that comes while the previous one's send is still waiting is skipped by the timer itself.
struct FakeTicks
{
    FormHarness &h;
    std::function<void()> tick;

    explicit FakeTicks(FormHarness &harness) : h(harness)
    {
        tick = [this] {
            FormTimer *timer = h.form->Timer_Send();
            h.time.at(quint32(qMax(1, timer->interval())), tick);
            if (timer->isEnabled() && timer->interval() > 0)
                timer->fire();
        };
        h.time.at(quint32(qMax(1, h.form->Timer_Send()->interval())), tick);
    }

    void runFor(quint32 ms)
    {
        const quint32 end = h.time.tickCount() + ms;
        while (qint32(end - h.time.tickCount()) > 0)
            h.time.waitForEvents(qint64(end - h.time.tickCount()));
    }
};

QList<quint32> gaps(const FakeCommPort &port, int from = 0)
{
    QList<quint32> out;
    for (int i = from + 1; i < port.writes.size(); ++i)
        out << port.writes.at(i).at - port.writes.at(i - 1).at;
    return out;
}

}  // namespace

class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Port links go to a private runtime folder, never the operator's own.
        TestPty::runtimeDir();
    }

    void ascii_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("checksum");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QString>("shownCommand");
        QTest::addColumn<QString>("shownReply");
        const QByteArray name("!01E41\r");
        QTest::newRow("no checksum") << "$01M" << false << name << QByteArray("$01M\r") << ""
                                     << " !01E41\r\r\n";
        QTest::newRow("checksum") << "$01M" << true << name << QByteArray("$01MD2\r") << "$01MD2"
                                  << " !01E41\r\r\n";
        // The display sums the text as typed, the line gets the sum of the upper-cased text.
        QTest::newRow("lower case with checksum")
            << "$01m" << true << name << QByteArray("$01MD2\r") << "$01mF2"
            << " !01E41\r\r\n";
        QTest::newRow("blanks around, checksum")
            << "  $01m " << true << name << QByteArray("$01MD2\r") << "$01mF2"
            << " !01E41\r\r\n";
        QTest::newRow("blanks around, no checksum")
            << " $01M  " << false << name << QByteArray("$01M\r") << ""
            << " !01E41\r\r\n";
        QTest::newRow("no module answering")
            << "$01M" << false << QByteArray() << QByteArray("$01M\r") << ""
            << " \r\n";
        QTest::newRow("reply without its carriage return")
            << "$01M" << false << QByteArray("!01") << QByteArray("$01M\r") << ""
            << " !01\r\n";
    }
    void ascii()
    {
        QFETCH(QString, typed);
        QFETCH(bool, checksum);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, written);
        QFETCH(QString, shownCommand);
        QFETCH(QString, shownReply);
        FormHarness h;
        h.ui()->Check_Chksum->setChecked(checksum);
        h.click("Com_Set_Ok");
        h.ui()->Text_Send->setText(typed);
        h.port.responder = [reply](const QByteArray &, const QString &) { return reply; };
        const quint32 start = h.time.tickCount();
        h.click("Com_send");
        QCOMPARE(h.port.writes.size(), 1);
        QCOMPARE(h.port.writes.first().bytes, written);
        QCOMPARE(h.ui()->Text_Chksum->text(), shownCommand);
        QCOMPARE(h.ui()->Text_Rec->text(), shownReply);
        // The box keeps what was typed; only the copy sent got the checksum.
        QCOMPARE(h.ui()->Text_Send->text(), typed);
        // Silence (or a reply that never ends) is waited for 200 ms, no more.
        if (!reply.endsWith('\r'))
            QCOMPARE(h.time.tickCount() - start, 200u);
    }

    void longReplyEmptiesTheBox_data()
    {
        QTest::addColumn<int>("filler");
        QTest::addColumn<bool>("kept");
        // Shown text: a blank, "!" + filler + CR, then CR LF.
        QTest::newRow("1999 characters") << 1994 << true;
        QTest::newRow("2000 characters") << 1995 << false;
        QTest::newRow("longer") << 2500 << false;
    }
    void longReplyEmptiesTheBox()
    {
        QFETCH(int, filler);
        QFETCH(bool, kept);
        FormHarness h;
        h.click("Com_Set_Ok");
        const QByteArray reply = "!" + QByteArray(filler, 'A') + "\r";
        h.port.responder = [reply](const QByteArray &, const QString &) { return reply; };
        h.click("Com_send");
        QCOMPARE(h.ui()->Text_Rec->text().size(), kept ? filler + 5 : 0);
    }

    void rtu_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("shownCommand");
        QTest::newRow("terminal default")
            << "1 46 0 0" << QByteArray::fromHex("01460000E00D") << " 01 46 00 00 E0 0D \r\n";
        QTest::newRow("empty") << "" << QByteArray::fromHex("FFFF") << " FF FF \r\n";
        QTest::newRow("not hexadecimal") << "01 G1" << QByteArray() << " ";
        QTest::newRow("above FF") << "01 100" << QByteArray() << " ";
    }
    void rtu()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, frame);
        QFETCH(QString, shownCommand);
        FormHarness h;
        h.time.onIdleForever = [&h] { h.ui()->Opt_ASC->setChecked(true); };
        const QByteArray answer = QByteArray::fromHex("014603453431");
        h.port.responder = [answer](const QByteArray &, const QString &) { return answer; };
        QString recAfterReply;
        h.time.at(10, [&] {
            h.ui()->Text_Rec->setText(QStringLiteral("old dump"));
            h.ui()->Text_Send->setText(typed);
            h.click("Com_send");
        });
        h.time.at(50, [&] {
            recAfterReply = h.ui()->Text_Rec->text();
            h.ui()->Opt_ASC->setChecked(true);
        });
        h.ui()->Opt_RTU->setChecked(true);
        h.click("Com_Set_Ok");

        QCOMPARE(h.ui()->Text_Chksum->text(), shownCommand);
        if (frame.isEmpty()) {
            QVERIFY(h.port.writes.isEmpty());
            QCOMPARE(h.boxes.shown.size(), 1);
            verifyFormatErrorBox(h.boxes.shown.first());
            QCOMPARE(recAfterReply, QStringLiteral(" "));
        } else {
            // The whole frame in one write, then the reply shown by the receive loop.
            QCOMPARE(h.port.writes.size(), 1);
            QCOMPARE(h.port.writes.first().bytes.toHex(' '), frame.toHex(' '));
            QVERIFY(h.boxes.shown.isEmpty());
            QCOMPARE(recAfterReply, QStringLiteral(" 01 46 03 45 34 31 "));
        }
    }

    void asciiCommandThatCannotBeSent_data()
    {
        QTest::addColumn<bool>("checksum");
        QTest::newRow("with checksum") << true;
        QTest::newRow("without checksum") << false;
    }
    void asciiCommandThatCannotBeSent()
    {
        QFETCH(bool, checksum);
        FormHarness h;
        h.ui()->Check_Chksum->setChecked(checksum);
        h.click("Com_Set_Ok");
        h.boxes.shown.clear();
        h.ui()->Text_Send->setText(QString::fromUtf8("$01M\u20AC"));
        h.click("Com_send");
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.boxes.shown.size(), 1);
        verifyFormatErrorBox(h.boxes.shown.first());
    }

    void sendOnAClosedPort()
    {
        FormHarness h;
        h.form->terminal().Com_send_Click();
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.boxes.shown.size(), 1);
        verifyFormatErrorBox(h.boxes.shown.first());
    }

    void enterSends()
    {
        FormHarness h;
        h.click("Com_Set_Ok");
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_Return);
        QCOMPARE(h.port.writtenTexts(), QStringList{"$01M\r"});
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01M"));
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_Enter);
        QCOMPARE(h.port.writes.size(), 2);
        // Any other key is typed as usual and sends nothing.
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_X);
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01Mx"));
        QCOMPARE(h.port.writes.size(), 2);

        int key = 13;
        h.form->terminal().Text_Send_KeyPress(key);
        QCOMPARE(key, 0);
        QCOMPARE(h.port.writes.size(), 3);
        key = 'A';
        h.form->terminal().Text_Send_KeyPress(key);
        QCOMPARE(key, int('A'));
        QCOMPARE(h.port.writes.size(), 3);
    }

    void clear()
    {
        FormHarness h;
        h.click("Com_Set_Ok");
        h.ui()->Text_Rec->setText(QStringLiteral("a reply\r\r\n"));
        h.click("Com_clr");
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" "));
        QVERIFY(h.port.writes.isEmpty());
    }

    void autoRepeatStartsAndStops()
    {
        FormHarness h;
        FakeTicks ticks(h);
        h.click("Com_Set_Ok");
        h.port.responder = [](const QByteArray &, const QString &) { return QByteArray("!01\r"); };
        h.ui()->Check_Auto->setChecked(true);
        QVERIFY(!h.ui()->Text_Time->isEnabled());
        QCOMPARE(h.form->Timer_Send()->interval(), 80);
        QVERIFY(h.form->Timer_Send()->isEnabled());
        ticks.runFor(800);
        // An answering module: one send per tick.
        QCOMPARE(h.port.writes.size(), 10);
        for (quint32 gap : gaps(h.port))
            QCOMPARE(gap, 80u);
        // Each tick sends what the box holds at that moment.
        h.ui()->Text_Send->setText(QStringLiteral("$02M"));
        ticks.runFor(80);
        QCOMPARE(h.port.writtenTexts().last(), QStringLiteral("$02M\r"));

        h.ui()->Check_Auto->setChecked(false);
        QVERIFY(h.ui()->Text_Time->isEnabled());
        QVERIFY(!h.form->Timer_Send()->isEnabled());
        const int sent = int(h.port.writes.size());
        ticks.runFor(800);
        QCOMPARE(h.port.writes.size(), sent);
    }

    void autoRepeatWithNoModuleAnswering()
    {
        FormHarness h;
        FakeTicks ticks(h);
        h.click("Com_Set_Ok");
        h.ui()->Check_Auto->setChecked(true);
        ticks.runFor(2400);
        // Ticks do not pile up while a send waits its 200 ms: one send per wait, not per tick.
        const QList<quint32> between = gaps(h.port);
        QVERIFY(between.size() >= 7 && between.size() <= 11);
        for (quint32 gap : between)
            QVERIFY2(gap >= 200 && gap <= 280, qPrintable(QString::number(gap)));
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" \r\n"));
        QVERIFY(h.boxes.shown.isEmpty());
    }

    void repeatInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");  // -1: refused
        QTest::newRow("design value") << "80" << 80;
        QTest::newRow("blanks around") << " 120 " << 120;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("blank") << "  " << -1;
        QTest::newRow("zero") << "0" << -1;
        QTest::newRow("zeros") << "000" << -1;
        QTest::newRow("negative") << "-5" << -1;
        QTest::newRow("plus sign") << "+5" << -1;
        QTest::newRow("decimal") << "1.5" << -1;
        QTest::newRow("words") << "abc" << -1;
        QTest::newRow("blank inside") << "8 0" << -1;
        QTest::newRow("too large") << "2147483648" << -1;
        QTest::newRow("far too large") << "99999999999999999999" << -1;
        QTest::newRow("other digits") << QString::fromUtf8("\u0668\u0660") << -1;
    }
    void repeatInterval()
    {
        QFETCH(QString, text);
        QFETCH(int, interval);
        FormHarness h;
        FakeTicks ticks(h);
        h.click("Com_Set_Ok");
        h.ui()->Text_Time->setText(text);
        h.ui()->Check_Auto->setChecked(true);
        FormTimer *timer = h.form->Timer_Send();
        if (interval > 0) {
            QCOMPARE(timer->interval(), interval);
            QVERIFY(timer->isEnabled());
            QVERIFY(h.ui()->Check_Auto->isChecked());
            QVERIFY(h.boxes.shown.isEmpty());
            return;
        }
        QCOMPARE(h.boxes.shown.size(), 1);
        const FakeMessageBoxes::Box &box = h.boxes.shown.first();
        QVERIFY(box.text.contains(QStringLiteral("whole number")));
        QCOMPARE(box.title, QStringLiteral(" System Message "));
        QCOMPARE(box.icon, MessageBoxes::Exclamation);
        QCOMPARE(box.buttons, MessageBoxes::Ok);
        QVERIFY(!h.ui()->Check_Auto->isChecked());
        QVERIFY(h.ui()->Text_Time->isEnabled());
        QVERIFY(!timer->isEnabled());
        QCOMPARE(timer->interval(), 50);  // never set to 0 or to a refused value
        ticks.runFor(1000);
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.boxes.shown.size(), 1);
    }

    void autoRepeatStopsOnAFailingSend_data()
    {
        QTest::addColumn<bool>("hangUp");
        QTest::newRow("port gone") << true;
        QTest::newRow("text that cannot be sent") << false;
    }
    void autoRepeatStopsOnAFailingSend()
    {
        QFETCH(bool, hangUp);
        FormHarness h;
        FakeTicks ticks(h);
        h.click("Com_Set_Ok");
        h.port.responder = [](const QByteArray &, const QString &) { return QByteArray("!01\r"); };
        h.ui()->Check_Auto->setChecked(true);
        ticks.runFor(400);
        const int sent = int(h.port.writes.size());
        QVERIFY(sent > 0);
        if (hangUp)
            h.port.hangUp();
        else
            h.ui()->Text_Send->setText(QString::fromUtf8("$01M\u20AC"));
        ticks.runFor(2000);
        QCOMPARE(h.port.writes.size(), sent);
        // One message, not one per tick.
        QCOMPARE(boxesWithText(h.boxes, QStringLiteral("Data format error !")), 1);
        QVERIFY(!h.ui()->Check_Auto->isChecked());
        QVERIFY(!h.form->Timer_Send()->isEnabled());
        QVERIFY(h.ui()->Text_Time->isEnabled());
    }
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
