// The command terminal on its own controls and a fake link: the line, the boxes, the repeat.
#include "support/rig.h"
#include "terminal/terminal.h"
#include "widgets/formtimer.h"
#include "widgets/multilinebox.h"

#include <QtWidgets>

using L = QStringList;
const QString Euro = QStringLiteral("$01M\u20AC");  // no single-byte code: cannot be sent
const QString FormatError = QStringLiteral("Data format error !");

struct Page
{
    PageRig f;
    QWidget w;
    TerminalView v{new QLineEdit("$01M", &w),      new QPushButton(&w),  new QLineEdit(&w),
                   new MultiLineBox(&w),           new QPushButton(&w),  new QCheckBox(&w),
                   new QLineEdit("80", &w),        new QRadioButton(&w), new QCheckBox(&w),
                   new FormTimer("Timer_Send", &w)};
    QRadioButton *rtu = new QRadioButton(&w);
    Terminal t{v, f.link, f.boxes};

    Page()
    {
        v.Text_Rec->setMaxLength(2000);
        v.Opt_ASC->setChecked(true);
        v.Timer_Send->setInterval(50);
        v.Timer_Send->onTick = [this] { t.Timer_Send_Timer(); };
    }
};

class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void send_data()
    {
        QTest::addColumn<int>("mode");  // 0 ASCII, 1 ASCII with checksum, 2 Modbus RTU
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<L>("written");
        QTest::addColumn<QString>("chksum");  // Text_Chksum
        QTest::addColumn<QString>("rec");     // Text_Rec
        QTest::addColumn<L>("boxes");
        QTest::addColumn<quint32>("took");  // ms
        const QByteArray e41("!01E41\r"), r1999('!' + QByteArray(1994, 'A') + '\r');
        const QString line("$01M\r"), echo(" !01E41\r\r\n"), echoFill(" " + r1999 + "\r\n");
        const QString frame = QString::fromLatin1(QByteArray::fromHex("01460000E00D"));
        QTest::newRow("plain") << 0 << "$01M" << e41 << L{line} << "" << echo << L{} << 5u;
        // The display sums the text as typed; the line carries the sum of the upper-cased text.
        QTest::newRow("summed") << 1 << "  $01m " << e41 << L{"$01MD2\r"} << "$01mF2" << echo << L{}
                                << 5u;
        QTest::newRow("silent") << 0 << "$01M" << QByteArray() << L{line} << ""
                                << " \r\n"
                                << L{} << 200u;
        QTest::newRow("1999 kept")
            << 0 << "$01M" << r1999 << L{line} << "" << echoFill << L{} << 5u;
        QTest::newRow("2000 emptied") << 0 << "$01M" << 'A' + r1999 << L{line} << ""
                                      << "" << L{} << 5u;
        QTest::newRow("unsendable") << 1 << Euro << e41 << L{} << " "
                                    << " " << L{FormatError} << 0u;
        // The whole frame in one write; its reply is the receive loop's to show.
        QTest::newRow("rtu") << 2 << "1 46 0 0" << e41 << L{frame} << " 01 46 00 00 E0 0D \r\n"
                             << " " << L{} << 0u;
        QTest::newRow("bad token") << 2 << "01 G1" << e41 << L{} << " "
                                   << " " << L{FormatError} << 0u;
    }
    void send()
    {
        Page p;
        (row<int>("mode") == 2 ? p.rtu : p.v.Opt_ASC)->setChecked(true);
        p.v.Check_Chksum->setChecked(row<int>("mode") == 1);
        p.v.Text_Send->setText(row<QString>("typed"));
        p.f.port.responder = [reply = row<QByteArray>("reply")](auto &, auto &) { return reply; };
        const quint32 start = p.f.time.tickCount();
        QList<int> keys{'A', 10, 0, 13};  // Enter sends, as the button does, and is used up
        for (int &key : keys)
            p.t.Text_Send_KeyPress(key);
        QCOMPARE(keys, (QList<int>{'A', 10, 0, 0}));
        QCOMPARE(p.f.port.written(), row<L>("written"));
        QCOMPARE(p.v.Text_Chksum->text(), row<QString>("chksum"));
        QCOMPARE(p.v.Text_Rec->text(), row<QString>("rec"));
        QCOMPARE(p.f.boxes.texts(), row<L>("boxes"));
        QCOMPARE(p.f.time.tickCount() - start, row<quint32>("took"));
        p.t.Com_clr_Click();
        QCOMPARE(p.v.Text_Rec->text(), QStringLiteral(" "));
    }

    // The reply box as the operator sees it, and what can be typed or pasted into it (2000).
    void replyBox()
    {
        Page p;
        MultiLineBox &box = *p.v.Text_Rec;
        box.setText(QStringLiteral("!01\0\x1b\t\x7f\r\nE\r\r\nF\rG"));
        box.flushDisplay();  // control characters made visible, each line end one break
        QCOMPARE(box.toPlainText(), QStringLiteral("!01\u00B7\u00B7\t\u00B7\nE\nF\nG"));
        // An echo streaming in is drawn in pieces, the last piece without a change after it.
        box.setText(QStringLiteral("!"));
        for (const char *piece : {"0", "1", "\r", "\n", "X"}) {
            box.appendText(QString::fromLatin1(piece));
            QTest::qWait(30);
        }
        QTRY_COMPARE(box.toPlainText(), QStringLiteral("!01\nX"));
        box.setText(QString(1997, u'a'));
        box.flushDisplay();
        box.moveCursor(QTextCursor::End);
        QGuiApplication::clipboard()->setText(QStringLiteral("xy"));
        box.paste();
        box.paste();  // a pasted text is cut to the room left
        QTest::keyClicks(&box, QStringLiteral("z"));
        QCOMPARE(box.text().mid(1996), QStringLiteral("axyx"));  // the last four of 2000
        box.selectAll();  // typing over a selection needs no room
        QTest::keyClicks(&box, QStringLiteral("b"));
        QCOMPARE(box.text(), QStringLiteral("b"));
    }

    void autoRepeat()
    {
        Page p;
        auto state = [&p] {  // Check_Auto, Timer_Send, a locked Text_Time: all on, or all off
            return p.v.Check_Auto->isChecked() + p.v.Timer_Send->isEnabled() +
                   !p.v.Text_Time->isEnabled();
        };
        auto check = [&](bool on, const QString &ms) {  // as the window does on every change
            p.v.Text_Time->setText(ms);
            p.v.Check_Auto->setChecked(on);
            p.t.Check_Auto_Click();
            return state() == 3 ? p.v.Timer_Send->interval() : state();  // 0: stopped
        };
        for (const char *refused : {"", "000", "8 0", "2147483648"})
            QCOMPARE(check(true, refused), 0);
        QCOMPARE(p.v.Timer_Send->interval(), 50);                    // never set to a refused value
        QCOMPARE(p.f.boxes.texts().filter("2147483647").size(), 4);  // the message names the bound
        QCOMPARE(p.f.boxes.shown.takeLast().title, QStringLiteral(" System Message "));
        QCOMPARE(check(true, "2147483647"), INT_MAX);
        QCOMPARE(check(false, "x"), 0);
        QCOMPARE(check(true, " 120 "), 120);
        TimerProbe::fire(*p.v.Timer_Send);
        p.v.Text_Send->setText(QStringLiteral("$02M"));  // each tick sends what the box holds
        TimerProbe::fire(*p.v.Timer_Send);
        QCOMPARE(p.f.sent(), (QStringList{"$01M", "$02M"}));
        p.t.onLineLost();  // the window tells of the loss itself; the repeat only stops
        QCOMPARE(state(), 0);
        QCOMPARE(check(true, "80"), 80);
        // A failing send stops the repeat: one message, not one at every tick.
        p.v.Text_Send->setText(Euro);
        TimerProbe::fire(*p.v.Timer_Send);
        QCOMPARE(state(), 0);
        QCOMPARE(p.f.boxes.texts().mid(3), QStringList{FormatError});
        QCOMPARE(p.f.boxes.shown.last().title, QStringLiteral(" Syntax description error "));
    }
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
