// The loop test of the TCP/IP page: the window on the fake clock streaming the fixed texts to a
// server on 127.0.0.1 one character at a time, and once through the simulator's loop converter.
#include "peer.h"
#include "shell/formtimer.h"
#include "sim/simbench.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

namespace {

QByteArray patterns(int first, int last)
{
    QByteArray all;
    for (int i = first; i <= last; ++i)
        all += NetworkTest::LoopPatterns()[size_t(i)].toLatin1();
    return all;
}

// The pause after each character at the bar's setting on Link.
constexpr quint32 Step = 60;

struct LoopPage : Page
{
    QTcpSocket *far = linked();

    FormTimer *timer() const { return h.form->Timer_Loop(); }
    void tick() const { timer()->fire(); }
    void toggle() const { h.click(QStringLiteral("Com_loop_Test")); }
    QString sendBox() const { return ui()->Text_Tcpip_Send->text(); }

    // Caption, timer, Send/Clear/Release, and the speed controls.
    QString controls() const
    {
        auto on = [](QWidget *w) { return w->isEnabled() ? '1' : '0'; };
        return ui()->Com_loop_Test->text() + u' ' + QLatin1Char(timer()->isEnabled() ? '1' : '0') +
               QString::number(timer()->interval()) + u' ' + on(ui()->Com_Tcpip_Send) +
               on(ui()->Com_Tcpip_Clear) + on(ui()->Com_Tcpip_Stop) + u' ' + on(ui()->HScroll1) +
               on(ui()->Frame19) + on(ui()->Label27) + on(ui()->Label26);
    }
};

const QString Stopped = QStringLiteral("Loop Test 020 111 0000");

}  // namespace

class TestLoopTest : public QObject
{
    Q_OBJECT

private slots:
    void patternTable()
    {
        const auto &table = NetworkTest::LoopPatterns();
        QCOMPARE(table.size(), size_t(32));
        QCOMPARE(patterns(0, 31).size(), 837);
        QString firsts;
        for (int i = 3; i <= 28; ++i) {
            QCOMPARE(table[size_t(i)], QString(26, table[size_t(i)].at(0)));
            firsts += table[size_t(i)].at(0);
        }
        QCOMPARE(firsts, QStringLiteral("ABCDEFGHIJKLNMOPQRSTUVWXYZ"));  // N before M
        QCOMPARE(table[1], QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
        QCOMPARE(table[2], QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        QCOMPARE(table[29], QStringLiteral("This is loop test ! "));
        QCOMPARE(table[30], QStringLiteral("TCP/IP To RS232/422/485 Isolated Converter!"));
        QCOMPARE(table[31], QStringLiteral("~!@#$%^&*()_+=-':;}{?><|\\"));
    }

    void startAndStopClicks()
    {
        LoopPage page;
        QVERIFY(page.far);
        QCOMPARE(page.controls(), QStringLiteral("Loop Test 00 111 0100"));

        page.toggle();
        QCOMPARE(page.controls(), QStringLiteral("Stop Loop 120 000 1111"));
        page.ui()->Text_Tcpip_Send->setText(QStringLiteral("x"));
        page.ui()->Text_Tcpip_Receive->setText(QStringLiteral("y"));

        page.toggle();
        QCOMPARE(page.controls(), Stopped);
        QCOMPARE(page.sendBox(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
    }

    void firstPassAndWrap()
    {
        LoopPage page;
        QVERIFY(page.far);
        page.toggle();
        QString sendDuringText0, sendDuringText30;
        page.h.time.at(5 * Step + 10, [&] { sendDuringText0 = page.sendBox(); });
        page.h.time.at(800 * Step + 10, [&] { sendDuringText30 = page.sendBox(); });

        page.tick();

        QCOMPARE(sendDuringText0, QStringLiteral("012345678901234567890"));
        QCOMPARE(sendDuringText30, QStringLiteral("TCP/IP To RS232/422/485 Isolated Converter!"));
        QCOMPARE(Peer::take(page.far, 837), patterns(0, 31));
        QCOMPARE(page.sendBox(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
        QCOMPARE(page.network().patternIndex(), qint16(0));

        // The next pass starts again at text 0.
        page.h.time.at(Step, [&] { page.toggle(); });
        page.tick();
        QCOMPARE(Peer::take(page.far, 21), patterns(0, 0));
    }

    void stopDuringText5ThenRestart()
    {
        LoopPage page;
        QVERIFY(page.far);
        page.toggle();
        QString controlsAfterStop, sendAfterStop;
        // Eight characters into text 5 (texts 0 to 4 hold 125 characters).
        page.h.time.at((125 + 8) * Step + 10, [&] {
            page.toggle();
            controlsAfterStop = page.controls();
            sendAfterStop = page.sendBox();
        });

        page.tick();

        QCOMPARE(controlsAfterStop, Stopped);
        QCOMPARE(sendAfterStop, QStringLiteral(" "));
        QCOMPARE(Peer::take(page.far, 151), patterns(0, 5));
        QCOMPARE(page.network().patternIndex(), qint16(6));

        page.toggle();
        page.h.time.at(Step, [&] { page.toggle(); });
        page.tick();
        QCOMPARE(Peer::take(page.far, 26), QByteArray(26, 'D'));
        QCOMPARE(page.network().patternIndex(), qint16(7));
    }

    void barTakesEffectAtTheNextCharacter()
    {
        LoopPage page;
        QVERIFY(page.far);
        page.toggle();
        // Characters go out at 0, 60, 120, 180; the bar moves to 10 during the pause after the
        // fourth, which keeps its 60 ms; from the fifth (at 240) on the pause is 10 ms.
        QList<int> sentBy;
        auto count = [&] { sentBy << int(Peer::take(page.far, 0).size()); };
        page.h.time.at(3 * Step + 30, [&] {
            count();
            page.ui()->HScroll1->setValue(10);
        });
        page.h.time.at(4 * Step - 5, count);
        page.h.time.at(4 * Step + 5, count);
        page.h.time.at(4 * Step + 15, count);
        page.h.time.at(4 * Step + 25, [&] {
            count();
            page.toggle();
        });

        page.tick();

        QCOMPARE(sentBy, (QList<int>{4, 0, 1, 1, 1}));
        QCOMPARE(Peer::take(page.far, 21 - 7), patterns(0, 0).mid(7));
    }

    void lostConnectionWithoutPauseStopsTheTest()
    {
        LoopPage page;
        QVERIFY(page.far);
        page.ui()->HScroll1->setValue(0);
        page.toggle();
        page.far->close();

        page.tick();

        // The pass may notice the loss before the socket's Close event has been handled.
        QTRY_COMPARE(page.status(), ClosedByPeerText);
        QCOMPARE(page.ui()->Com_loop_Test->text(), QStringLiteral("Loop Test"));
        QVERIFY(!page.timer()->isEnabled());
        QCOMPARE(page.buttons(), QStringLiteral("0101"));
        QVERIFY(page.h.boxes.shown.isEmpty());
        QCOMPARE(page.network().patternIndex(), qint16(0));  // text 0 is sent whole next time
        // A tick that still falls due sends nothing and ends at once.
        const quint32 before = page.h.time.tickCount();
        page.tick();
        QCOMPARE(page.h.time.tickCount(), before);
    }

    void fullPassEchoedByTheSimulatedConverter()
    {
        SimBench bench;
        Page page;
        page.link(bench.startConverter(0, SimConverter::Mode::Loop));
        QCOMPARE(page.status(), OnLineText);
        Ui::Form1 *ui = page.ui();
        // Just before each text's last pause ends, its echo is in the box, after the blank.
        QStringList echoes, expected;
        quint32 end = 0;
        for (const QString &text : NetworkTest::LoopPatterns()) {
            end += quint32(text.size()) * Step;
            expected << u' ' + text;
            page.h.time.at(end - 5, [&echoes, ui, text] {
                QDeadlineTimer patience(5000);
                while (ui->Text_Tcpip_Receive->text() != u' ' + text && !patience.hasExpired())
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                echoes << ui->Text_Tcpip_Receive->text();
            });
        }
        page.h.click(QStringLiteral("Com_loop_Test"));

        page.h.form->Timer_Loop()->fire();

        QCOMPARE(echoes, expected);
        QCOMPARE(page.network().patternIndex(), qint16(0));
    }
};

QTEST_MAIN(TestLoopTest)
#include "tst_looptest.moc"
