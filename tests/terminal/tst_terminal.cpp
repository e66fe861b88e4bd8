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

const QString FormatError = QStringLiteral("Data format error !");

void verifyFormatErrorBox(const FakeMessageBoxes &boxes)
{
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown.first().text, FormatError);
    QCOMPARE(boxes.shown.first().title, QStringLiteral(" Syntax description error "));
    QCOMPARE(boxes.shown.first().icon, MessageBoxes::Exclamation);
    QCOMPARE(boxes.shown.first().buttons, MessageBoxes::Ok);
}

void answerWith(FormHarness &h, const QByteArray &reply)
{
    h.port.responder = [reply](const QByteArray &, const QString &) { return reply; };
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

QList<quint32> gaps(const FakeCommPort &port)
{
    QList<quint32> out;
    for (int i = 1; i < port.writes.size(); ++i)
        out << port.writes.at(i).at - port.writes.at(i - 1).at;
    return out;
}

struct AsciiCase
{
    QString typed;
    bool checksum;
    QByteArray reply;
    QByteArray written;  // empty: refused with the format error
    QString shownCommand;
    QString shownReply;
    bool open = true;
};

enum Stop { Unchecked, PortGone, BadText };

struct RepeatCase
{
    QByteArray reply;
    quint32 minGap, maxGap;  // between two sends
    Stop stop;
    int formatErrors;
};

}  // namespace

Q_DECLARE_METATYPE(AsciiCase)
Q_DECLARE_METATYPE(RepeatCase)

class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestPty::runtimeDir();  // port links go to a private folder, never the operator's own
    }

    void ascii_data()
    {
        QTest::addColumn<AsciiCase>("c");
        const QByteArray name("!01E41\r");
        const QString euro = QString::fromUtf8("$01M\u20AC");
        const QByteArray filler(1994, 'A');  // shown: a blank, "!", filler, CR, then CR LF
        auto row = [](const char *tag, const AsciiCase &c) { QTest::newRow(tag) << c; };
        row("no checksum", {"$01M", false, name, "$01M\r", "", " !01E41\r\r\n"});
        row("checksum", {"$01M", true, name, "$01MD2\r", "$01MD2", " !01E41\r\r\n"});
        // The display sums the text as typed, the line gets the sum of the upper-cased text.
        row("lower case and blanks",
            {"  $01m ", true, name, "$01MD2\r", "$01mF2", " !01E41\r\r\n"});
        row("no module answering", {"$01M", false, "", "$01M\r", "", " \r\n"});
        row("reply without its carriage return", {"$01M", false, "!01", "$01M\r", "", " !01\r\n"});
        row("1999 characters kept",
            {"$01M", false, "!" + filler + "\r", "$01M\r", "", " !" + filler + "\r\r\n"});
        row("2000 characters empty the box",
            {"$01M", false, "!A" + filler + "\r", "$01M\r", "", ""});
        row("cannot be sent, checksum", {euro, true, name, "", " ", " "});
        row("cannot be sent, no checksum", {euro, false, name, "", "", " "});
        row("port not open", {"$01M", false, name, "", "", " ", false});
    }
    void ascii()
    {
        QFETCH(AsciiCase, c);
        FormHarness h;
        h.ui()->Check_Chksum->setChecked(c.checksum);
        if (c.open)
            h.click("Com_Set_Ok");
        h.boxes.shown.clear();  // the checksum's warning
        h.ui()->Text_Send->setText(c.typed);
        answerWith(h, c.reply);
        const quint32 start = h.time.tickCount();
        if (c.open)
            h.click("Com_send");
        else  // the button is locked until a good open; the handler still copes
            h.form->terminal().Com_send_Click();
        if (c.written.isEmpty()) {
            QVERIFY(h.port.writes.isEmpty());
            verifyFormatErrorBox(h.boxes);
        } else {
            QCOMPARE(h.port.writes.size(), 1);
            QCOMPARE(h.port.writes.first().bytes, c.written);
            QVERIFY(h.boxes.shown.isEmpty());
            // Silence (or a reply that never ends) is waited for 200 ms, no more.
            if (!c.reply.endsWith('\r'))
                QCOMPARE(h.time.tickCount() - start, 200u);
        }
        QCOMPARE(h.ui()->Text_Chksum->text(), c.shownCommand);
        QCOMPARE(h.ui()->Text_Rec->text(), c.shownReply);
        QCOMPARE(h.ui()->Text_Send->text(), c.typed);  // only the copy sent got the checksum
    }

    void rtu_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("frame");  // empty: refused with the format error
        QTest::addColumn<QString>("shownCommand");
        QTest::newRow("terminal default")
            << "1 46 0 0" << QByteArray::fromHex("01460000E00D") << " 01 46 00 00 E0 0D \r\n";
        QTest::newRow("empty") << "" << QByteArray::fromHex("FFFF") << " FF FF \r\n";
        QTest::newRow("not hexadecimal") << "01 G1" << QByteArray() << " ";
    }
    void rtu()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, frame);
        QFETCH(QString, shownCommand);
        FormHarness h;
        h.time.onIdleForever = [&h] { h.ui()->Opt_ASC->setChecked(true); };
        answerWith(h, QByteArray::fromHex("014603453431"));
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
            verifyFormatErrorBox(h.boxes);
            QCOMPARE(recAfterReply, QStringLiteral(" "));
        } else {
            // The whole frame in one write, then the reply shown by the receive loop.
            QCOMPARE(h.port.writes.size(), 1);
            QCOMPARE(h.port.writes.first().bytes.toHex(' '), frame.toHex(' '));
            QVERIFY(h.boxes.shown.isEmpty());
            QCOMPARE(recAfterReply, QStringLiteral(" 01 46 03 45 34 31 "));
        }
    }

    void enterSendsAndClearEmpties()
    {
        FormHarness h;
        h.click("Com_Set_Ok");
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_Return);
        QCOMPARE(h.port.writtenTexts(), QStringList{"$01M\r"});
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01M"));  // Enter inserts nothing
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_Enter);
        QTest::keyClick(h.ui()->Text_Send, Qt::Key_X);  // typed as usual, sends nothing
        QCOMPARE(h.ui()->Text_Send->text(), QStringLiteral("$01Mx"));
        QCOMPARE(h.port.writes.size(), 2);
        int key = 13;
        h.form->terminal().Text_Send_KeyPress(key);
        QCOMPARE(key, 0);
        key = 'A';
        h.form->terminal().Text_Send_KeyPress(key);
        QCOMPARE(key, int('A'));
        QCOMPARE(h.port.writes.size(), 3);

        h.ui()->Text_Rec->setText(QStringLiteral("a reply\r\r\n"));
        h.click("Com_clr");
        QCOMPARE(h.ui()->Text_Rec->text(), QStringLiteral(" "));
        QCOMPARE(h.port.writes.size(), 3);
    }

    void autoRepeat_data()
    {
        QTest::addColumn<RepeatCase>("c");
        const QByteArray reply("!01\r");
        // An answering module gets one send per tick; while a send waits its 200 ms for a silent
        // one, ticks do not pile up: one send per wait, not per tick.
        QTest::newRow("answering, unchecked") << RepeatCase{reply, 80, 80, Unchecked, 0};
        QTest::newRow("silent, unchecked") << RepeatCase{QByteArray(), 200, 280, Unchecked, 0};
        // A lost line is told by the window itself (once); the repeat only stops with it.
        QTest::newRow("port gone") << RepeatCase{reply, 80, 80, PortGone, 0};
        QTest::newRow("text that cannot be sent") << RepeatCase{reply, 80, 80, BadText, 1};
    }
    void autoRepeat()
    {
        QFETCH(RepeatCase, c);
        FormHarness h;
        FakeTicks ticks(h);
        h.click("Com_Set_Ok");
        answerWith(h, c.reply);
        h.ui()->Check_Auto->setChecked(true);
        QVERIFY(!h.ui()->Text_Time->isEnabled());
        QCOMPARE(h.form->Timer_Send()->interval(), 80);
        ticks.runFor(2400);
        const QList<quint32> between = gaps(h.port);
        QVERIFY(between.size() >= int(2400 / c.maxGap) - 1);
        for (quint32 gap : between)
            QVERIFY2(gap >= c.minGap && gap <= c.maxGap, qPrintable(QString::number(gap)));
        if (c.stop == Unchecked) {
            // Each tick sends what the box holds at that moment.
            h.ui()->Text_Send->setText(QStringLiteral("$02M"));
            ticks.runFor(c.maxGap);
            QCOMPARE(h.port.writtenTexts().last(), QStringLiteral("$02M\r"));
            h.ui()->Check_Auto->setChecked(false);
        } else if (c.stop == PortGone) {
            h.port.hangUp();
        } else {
            h.ui()->Text_Send->setText(QString::fromUtf8("$01M\u20AC"));
        }
        const int sent = int(h.port.writes.size());
        ticks.runFor(2000);
        QCOMPARE(h.port.writes.size(), sent);
        QVERIFY(!h.ui()->Check_Auto->isChecked());
        QVERIFY(!h.form->Timer_Send()->isEnabled());
        QVERIFY(h.ui()->Text_Time->isEnabled());
        int shown = 0;  // one message, not one per tick
        for (const FakeMessageBoxes::Box &box : h.boxes.shown)
            shown += box.text == FormatError ? 1 : 0;
        QCOMPARE(shown, c.formatErrors);
    }

    void repeatInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");  // -1: refused
        QTest::newRow("blanks around") << " 120 " << 120;
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("zero") << "000" << -1;
        QTest::newRow("blank inside") << "8 0" << -1;
        QTest::newRow("too large") << "2147483648" << -1;
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
            QVERIFY(timer->isEnabled() && h.ui()->Check_Auto->isChecked());
            QVERIFY(h.boxes.shown.isEmpty());
            return;
        }
        QCOMPARE(h.boxes.shown.size(), 1);
        const FakeMessageBoxes::Box &box = h.boxes.shown.first();
        QVERIFY(box.text.contains(QStringLiteral("whole number")));
        QCOMPARE(box.title, QStringLiteral(" System Message "));
        QCOMPARE(box.icon, MessageBoxes::Exclamation);
        QVERIFY(!h.ui()->Check_Auto->isChecked());
        QVERIFY(h.ui()->Text_Time->isEnabled());
        QVERIFY(!timer->isEnabled());
        QCOMPARE(timer->interval(), 50);  // never set to 0 or to a refused value
        ticks.runFor(1000);
        QVERIFY(h.port.writes.isEmpty());
        QCOMPARE(h.boxes.shown.size(), 1);
    }
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
