// The loop test of the TCP/IP page: the window on the fake clock streaming the fixed texts to a
// server on 127.0.0.1, one character at a time.
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "peer.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

namespace {

QByteArray patterns(int first, int last)
{
    QByteArray all;
    for (int i = first; i <= last; ++i)
        all += NetworkTest::LoopPatterns()[size_t(i)].toLatin1();
    return all;
}

// Characters 0..n-1 of a pass that starts at text 0 go out at 60 ms steps.
constexpr quint32 Step = 60;

struct LoopPage
{
    FormHarness h;
    Peer peer;
    QTcpSocket *far = nullptr;

    explicit LoopPage(bool echo = false)
    {
        h.time.processQtEvents = true;
        peer.echo = echo;
        ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
        ui()->Text_Port->setText(QString::number(peer.port()));
        h.click(QStringLiteral("Com_link"));
        far = peer.accept();
    }
    Ui::Form1 *ui() const { return h.ui(); }
    NetworkTest &network() const { return h.form->network(); }
    FormTimer *timer() const { return h.form->Timer_Loop(); }
    // One tick of Timer_Loop, run at once.
    void tick() const { timer()->fire(); }
    void toggle() const { h.click(QStringLiteral("Com_loop_Test")); }

    // What a stop or start click leaves: caption, timer, Send/Clear/Release, the speed controls.
    QString controls() const
    {
        auto on = [](QWidget *w) { return w->isEnabled() ? '1' : '0'; };
        return ui()->Com_loop_Test->text() + u' ' + QLatin1Char(timer()->isEnabled() ? '1' : '0') +
               QString::number(timer()->interval()) + u' ' + on(ui()->Com_Tcpip_Send) +
               on(ui()->Com_Tcpip_Clear) + on(ui()->Com_Tcpip_Stop) + u' ' + on(ui()->HScroll1) +
               on(ui()->Frame19) + on(ui()->Label27) + on(ui()->Label26);
    }
};

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
        QCOMPARE(table[0], QStringLiteral("012345678901234567890"));
        QCOMPARE(table[1], QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
        QCOMPARE(table[2], QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        QString letters;
        for (int i = 3; i <= 28; ++i) {
            QCOMPARE(table[size_t(i)], QString(26, table[size_t(i)].at(0)));
            letters += table[size_t(i)].at(0);
        }
        QCOMPARE(letters, QStringLiteral("ABCDEFGHIJKLNMOPQRSTUVWXYZ"));
        QCOMPARE(table[15], QString(26, u'N'));
        QCOMPARE(table[16], QString(26, u'M'));
        QCOMPARE(table[29], QStringLiteral("This is loop test ! "));
        QCOMPARE(table[30], QStringLiteral("TCP/IP To RS232/422/485 Isolated Converter!"));
        QCOMPARE(table[31].size(), 25);
        QVERIFY(table[31].startsWith(QStringLiteral("~!@#$%^&*()_+=-':;}{?><|")));
        QCOMPARE(table[31].back(), u'\\');
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
        QCOMPARE(page.controls(), QStringLiteral("Loop Test 020 111 0000"));
        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
    }

    void firstPassAndWrap()
    {
        LoopPage page;
        QVERIFY(page.far);
        page.toggle();
        QString sendDuringText0, sendDuringText30;
        page.h.time.at(5 * Step + 10,
                       [&] { sendDuringText0 = page.ui()->Text_Tcpip_Send->text(); });
        page.h.time.at(800 * Step + 10,
                       [&] { sendDuringText30 = page.ui()->Text_Tcpip_Send->text(); });

        page.tick();

        QCOMPARE(sendDuringText0, QStringLiteral("012345678901234567890"));
        QCOMPARE(sendDuringText30, QStringLiteral("TCP/IP To RS232/422/485 Isolated Converter!"));
        QCOMPARE(Peer::take(page.far, 837), patterns(0, 31));
        QCOMPARE(page.ui()->Text_Tcpip_Send->text(), QStringLiteral(" "));
        QCOMPARE(page.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" "));
        QCOMPARE(page.network().patternIndex(), qint16(0));

        // The next pass starts again at text 0.
        page.h.time.at(Step, [&] { page.toggle(); });
        page.tick();
        QCOMPARE(Peer::take(page.far, 21), patterns(0, 0));
    }

    void echoFillsTheReceiveBoxPerText()
    {
        LoopPage page(true);
        QVERIFY(page.far);
        page.toggle();
        // Five characters into text 1, the box holds the blank and the echo of those five only.
        QString receiveInText1;
        page.h.time.at((21 + 4) * Step + 10, [&] {
            QElapsedTimer patience;
            patience.start();
            while (page.ui()->Text_Tcpip_Receive->text().size() < 6 && patience.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            receiveInText1 = page.ui()->Text_Tcpip_Receive->text();
        });
        page.h.time.at((21 + 10) * Step, [&] { page.toggle(); });

        page.tick();

        QCOMPARE(receiveInText1, QStringLiteral(" ABCDE"));
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
            sendAfterStop = page.ui()->Text_Tcpip_Send->text();
        });

        page.tick();

        QCOMPARE(controlsAfterStop, QStringLiteral("Loop Test 020 111 0000"));
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

    void lostConnectionStopsTheTest_data()
    {
        QTest::addColumn<int>("delay");
        QTest::newRow("at the link's pace") << 60;
        QTest::newRow("no pause at all") << 0;
    }
    void lostConnectionStopsTheTest()
    {
        QFETCH(int, delay);
        LoopPage page;
        QVERIFY(page.far);
        page.ui()->HScroll1->setValue(delay);
        page.toggle();
        // The far end goes away after the third character (or before the first, with no pause);
        // the loss reaches the window through the event loop while the pass runs.
        int closesSeen = 0;
        QObject::connect(&page.network().Winsock1(), &ConverterSocket::CloseEvent,
                         &page.network().Winsock1(), [&] { ++closesSeen; });
        QTcpSocket *far = page.far;
        if (delay > 0)
            page.h.time.at(2 * Step + 10, [far] { far->close(); });
        else
            far->close();

        page.tick();
        // The pass may notice the loss before the socket's Close event has been handled.
        QTRY_COMPARE(closesSeen, 1);
        QCOMPARE(page.ui()->Tcpip_Status->text(), QStringLiteral("  --- Link Fail ---"));
        QCOMPARE(page.ui()->Com_loop_Test->text(), QStringLiteral("Loop Test"));
        QVERIFY(!page.timer()->isEnabled());
        QVERIFY(!page.ui()->Com_Tcpip_Send->isEnabled());
        QVERIFY(!page.ui()->Com_loop_Test->isEnabled());
        QVERIFY(page.ui()->Com_Tcpip_Clear->isEnabled());
        QVERIFY(page.ui()->Com_Tcpip_Stop->isEnabled());
        QVERIFY(page.h.boxes.shown.isEmpty());
        // The pass ended inside text 0, which is sent whole at the next start.
        QCOMPARE(page.network().patternIndex(), qint16(0));
        // A tick that still falls due sends nothing and ends at once.
        const quint32 before = page.h.time.tickCount();
        page.tick();
        QCOMPARE(page.h.time.tickCount(), before);
    }
};

QTEST_MAIN(TestLoopTest)
#include "tst_looptest.moc"
