// The TCP/IP page on its controls, a real socket, servers on 127.0.0.1 and the fake clock.
#include "link/convertersocket.h"
#include "link/protocol.h"
#include "link/waits.h"
#include "network/networktest.h"
#include "support/rig.h"
#include "widgets/formtimer.h"
#include "widgets/multilinebox.h"

#include <QtNetwork>
#include <QtWidgets>

namespace {

const QString Linking = QStringLiteral("Linking.............");
constexpr quint32 Step = 60;     // the pause after each loop character, as Link sets the bar
constexpr int VerdictStep = 20;  // a faster pace, so that echoes 30 characters late are in time
const char *const Counts[] = {"sent", "echoed", "wrong", "missing", "extra"};  // the verdict's

struct Page
{
    FakeTime time;
    QWidget r;
    NetworkView v{new QLineEdit(&r),    new QLineEdit(&r),
                  new QLineEdit(&r),    new QPushButton(&r),
                  new QPushButton(&r),  new QPushButton(&r),
                  new QPushButton(&r),  new QLineEdit(&r),
                  new MultiLineBox(&r), new QScrollBar(&r),
                  new QGroupBox(&r),    new QLabel(&r),
                  new QLabel(&r),       new FormTimer(QStringLiteral("Timer_Loop"), &r)};
    WaitContext waits{time, time};
    ConverterSocket socket{time};
    FakeMessageBoxes boxes;
    NetworkTest net{v, socket, waits, boxes};
    QTcpServer server;
    QTcpSocket *far = nullptr;

    Page()
    {
        time.processQtEvents = true;
        v.HScroll1->setRange(0, 500);  // as designed
        v.HScroll1->setEnabled(false);
        QObject::connect(&socket, &ConverterSocket::CloseEvent, [this] { net.Winsock1_Close(); });
        QObject::connect(&socket, &ConverterSocket::DataArrival,
                         [this](qint32 n) { net.Winsock1_DataArrival(n); });
        server.listen(QHostAddress::LocalHost);
        int i = 0;  // as designed; the loop test's own is changed by the page
        for (const char *caption : {"Send", "Clear", "Release", "Loop Test"})
            r.findChildren<QPushButton *>().at(i++)->setText(caption);
    }
    QString status() const { return v.Tcpip_Status->text(); }
    QString sendBox() const { return v.Text_Tcpip_Send->text(); }
    QString receiveBox() const { return v.Text_Tcpip_Receive->text(); }
    bool blanked() const { return sendBox() == " " && receiveBox() == " "; }
    QStringList enabled() const  // the buttons that can be pressed, by caption, and the bar
    {
        QStringList on;
        for (const QPushButton *button : r.findChildren<QPushButton *>())
            if (button->isEnabled())
                on << button->text();
        return v.HScroll1->isEnabled() ? on << "bar" : on;
    }
    int tick() const { return v.Timer_Loop->isEnabled() ? v.Timer_Loop->interval() : 0; }
    bool link(const QString &port)  // true when the server took a connection; {server}: its port
    {
        v.Text_Port->setText(
            QString(port).replace("{server}", QString::number(server.serverPort())));
        v.Text_IP->setText(QStringLiteral("127.0.0.1"));
        net.Com_link_Click();
        return (server.hasPendingConnections() ||
                server.waitForNewConnection(status() == "Network On line!...... " ? 5000 : 0)) &&
               (far = server.nextPendingConnection());
    }
    QByteArray take(qint64 n) const  // at least n bytes at the server, and what came with them
    {
        QByteArray got = far->readAll();
        while (far->waitForReadyRead(got.size() < n ? 5000 : 0))
            got += far->readAll();
        return got;
    }
};

}  // namespace

class TestNetwork : public QObject
{
    Q_OBJECT

private slots:
    void link_data()
    {
        QTest::addColumn<QString>("port");  // {server} listens, {closed} refuses, {silent} hangs
        QTest::addColumn<int>("end");       // after the Link: 1 Release, 2 the server hangs up
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("enabled");
        using L = QStringList;
        QTest::newRow("listening") << " {server} " << 0 << "Network On line!...... "
                                   << L{"Send", "Clear", "Release", "Loop Test"};
        QTest::newRow("Release") << "{server}" << 1 << "Off Line......." << L{"Release"};
        QTest::newRow("hung up") << "{server}" << 2 << "  --- Link Fail ---"
                                 << L{"Clear", "Release"};
        for (const char *port : {"{closed}", "{silent}", "", "{server}x", "0", "65536"})
            QTest::addRow("port \"%s\"", port)
                << port << 0 << "Link Fail !............" << L{"Release"};
    }
    void link()
    {
        Page p;
        SimBench other;
        const QString otherPort = QString::number(other.startConverter());
        const QString port = row<QString>("port");
        if (port == "{closed}")
            other.converter()->refuse();
        else
            QVERIFY(other.converter()->neverAccept());
        p.v.Text_Tcpip_Send->setText(QStringLiteral("typed"));
        p.v.Tcpip_Status->setText(QStringLiteral("idle"));
        for (QWidget *w : {p.v.Com_Tcpip_Send, p.v.Com_Tcpip_Clear, p.v.Com_loop_Test})
            w->setEnabled(false);
        const quint32 limit = ConverterSocket::DefaultConnectLimitMs, start = p.time.tickCount();
        QStringList seen;  // the status just before Link's wait ends, after it, before the limit
        for (quint32 at : {999u, 1050u, limit - 100})
            p.time.at(at, [&] { seen << p.status(); });
        const bool up =
            p.link(QString(port).replace(QRegularExpression("{closed}|{silent}"), otherPort));
        const quint32 took = p.time.tickCount() - start;
        QCOMPARE(p.sendBox(), up ? "$01M" : "typed");
        QCOMPARE(p.v.HScroll1->value(), up ? 60 : 0);
        if (const int end = row<int>("end"))
            end == 1 ? p.net.Com_Tcpip_Stop_Click() : p.far->close();
        QTRY_COMPARE(p.status(), row<QString>("status"));
        QCOMPARE(p.enabled(), row<QStringList>("enabled"));
        if (port.trimmed().endsWith(u'}'))
            QCOMPARE(seen.mid(0, 2), (QStringList{QStringLiteral("idle"), Linking}));
        else
            QCOMPARE(took, 0u);    // said at once, nothing asked of the network
        if (port == "{silent}") {  // given up at the limit, on the program's clock
            QCOMPARE(seen.last(), Linking);
            QCOMPARE(took, limit);
        }
    }

    void console()
    {
        Page p;
        QVERIFY(p.link("{server}"));
        p.v.Text_Tcpip_Send->setText(QStringLiteral("  $01M "));
        p.v.Text_Tcpip_Receive->setText(QStringLiteral("old"));
        QByteArray meanwhile;
        p.time.at(25, [&] { meanwhile = p.take(4); });
        const quint32 start = p.time.tickCount();
        p.net.Com_Tcpip_Send_Click();
        // The trimmed command, then 50 ms later its carriage return, as two sends.
        QCOMPARE(meanwhile, QByteArray("$01M"));
        QCOMPARE(p.time.tickCount() - start, 50u);
        QCOMPARE(p.take(1), QByteArray("\r"));
        p.far->write("!01\r\n\x01\x7f\xff");  // appended, with or without a Send
        QTRY_COMPARE(p.receiveBox(), QString::fromLatin1(" !01\r\n\x01\x7f\xff"));
        QCOMPARE(p.sendBox(), QStringLiteral("  $01M "));
        p.net.Com_Tcpip_Clear_Click();
        QVERIFY(p.blanked());
        // A command the line cannot carry is refused whole, carriage return and all, and told.
        for (const char *command : {"$01M\u20AC", "$02M"}) {
            p.v.Text_Tcpip_Send->setText(QString::fromUtf8(command));
            p.net.Com_Tcpip_Send_Click();
        }
        QCOMPARE(p.take(5), QByteArray("$02M\r"));
        QCOMPARE(p.boxes.texts(), QStringList{"Data format error !"});  // as the terminal's
        QCOMPARE(p.boxes.shown[0].title, QStringLiteral(" Syntax description error "));
        QVERIFY(p.boxes.shown[0].icon == MessageBoxes::Exclamation &&
                p.boxes.shown[0].buttons == MessageBoxes::Ok);
    }

    void loopTest()
    {
        const auto &texts = LoopPatterns();
        const QByteArray all = QStringList(texts.begin(), texts.end()).join(QString()).toLatin1();
        Page p;
        QVERIFY(p.link("{server}"));
        p.net.Com_loop_Test_Click();
        QCOMPARE(p.enabled(), (QStringList{"Stop Loop", "bar"}));
        QCOMPARE(p.tick(), 20);
        // Stopped eight characters into text 5 (texts 0 to 4 hold 125): text 5 is finished.
        QString during5;
        p.time.at((125 + 8) * Step + 10, [&] { during5 = p.sendBox(); });
        p.time.at((125 + 8) * Step + 10, [&] { p.net.Com_loop_Test_Click(); });
        p.net.Timer_Loop_Timer();
        QCOMPARE(during5, texts[5]);
        QCOMPARE(p.enabled(), (QStringList{"Send", "Clear", "Release", "Loop Test"}));
        QVERIFY(p.tick() == 0 && p.blanked());
        QCOMPARE(p.take(151), all.left(151));
        // Started again: text 6 to the last, then the boxes blank.
        p.net.Com_loop_Test_Click();
        p.net.Timer_Loop_Timer();
        QCOMPARE(p.take(837 - 151), all.mid(151));
        QVERIFY(p.blanked());
        // The next pass starts at text 0. The bar is read after every character: moved to 10
        // in the fourth character's pause (which keeps its 60 ms), the fifth goes out at 240.
        QList<QByteArray> sent;
        p.time.at(3 * Step + 30, [&] { sent << p.take(0); });
        p.time.at(3 * Step + 30, [&] { p.v.HScroll1->setValue(10); });
        p.time.at(4 * Step + 25, [&] { sent << p.take(0); });
        p.time.at(4 * Step + 30, [&] { p.far->close(); });
        p.net.Timer_Loop_Timer();
        QCOMPARE(sent, (QList<QByteArray>{"0123", "456"}));
        QCOMPARE(p.enabled(), (QStringList{"Clear", "Release"}));  // the loss stopped it
        QVERIFY(p.v.Com_loop_Test->text() == "Loop Test" && p.tick() == 0);
        QTRY_COMPARE(p.status(), QStringLiteral("  --- Link Fail ---"));
    }

    void verdict_data()
    {
        QTest::addColumn<QString>("text");   // sent one character every VerdictStep ms
        QTest::addColumn<QString>("fault");  // what the line does to the character at `at`
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("delay");  // ms from each send to what comes back for it
        for (const char *count : Counts)
            QTest::addColumn<int>(count);
        // 0-9, A-Z, a-z, then runs of A, B, C and D. The line garbles as the simulator does, the
        // lowest bit flipped: D in A-Z, or the last B of its run, then equals the next character.
        const auto &texts = LoopPatterns();
        const QString seven = QStringList(texts.begin(), texts.begin() + 7).join(QString());
        const struct
        {
            const char *name, *fault;
            int at, echoed, wrong, missing, extra;
        } lines[] = {
            {"clean", "", -1, 177, 0, 0, 0},
            {"M dropped", "drop", 33, 176, 0, 1, 0},
            {"last A of its run dropped", "drop", 98, 176, 0, 1, 0},
            {"last character dropped", "drop", 176, 176, 0, 1, 0},
            {"A garbled", "garble", 80, 176, 1, 0, 0},
            {"D garbled to E", "garble", 24, 176, 1, 0, 0},
            {"last B of its run garbled to C", "garble", 124, 176, 1, 0, 0},
            {"~ inserted after N", "insert", 34, 177, 0, 0, 1},
            {"last B of its run echoed twice", "twice", 124, 177, 0, 0, 1},
            // Read as two garbles, not as a drop and an insertion, which explain it as well.
            {"D and E swapped", "swap", 24, 175, 2, 0, 0},
        };
        for (const auto &l : lines) {
            for (int late : {0, 30})
                QTest::addRow("%s, %d outstanding", l.name, qMax(late, 1))
                    << seven << l.fault << l.at << late * VerdictStep << 177 << l.echoed << l.wrong
                    << l.missing << l.extra;
        }
        QTest::newRow("back at the limit")
            << seven << QString() << -1 << 1000 << 177 << 177 << 0 << 0 << 0;
        QTest::newRow("back past the limit")
            << seven.left(1) << QString() << -1 << 1001 << 1 << 0 << 0 << 1 << 1;
    }
    void verdict()
    {
        const QString text = row<QString>("text"), fault = row<QString>("fault");
        const int delay = row<int>("delay"), at = row<int>("at");
        QStringList backs;  // what comes back for each character, `delay` ms after it was sent
        for (int k = 0; k < text.size(); ++k) {
            const QString c = text.mid(k, 1);
            if (fault == "swap" && (k == at || k == at + 1))
                backs << text.mid(2 * at + 1 - k, 1);
            else if (k != at)
                backs << c;
            else
                backs << (fault == "drop"     ? QString()
                          : fault == "garble" ? QString(QChar(c[0].unicode() ^ 1))
                          : fault == "insert" ? c + '~'
                                              : c + c);
        }
        LoopVerdict verdict;  // given the sends and the returns in time order, a send first
        for (int sent = 0, back = 0; back < text.size();) {
            const quint32 sendAt = sent * VerdictStep, backAt = back * VerdictStep + delay;
            if (sent < text.size() && sendAt <= backAt)
                verdict.sent(text[sent++], sendAt);
            else
                verdict.received(backs[back++], backAt);
        }
        // A quick line ends as the page's wait for the last echoes runs out, the others as the
        // limit of the last character back passes: either way every reading is taken.
        if (delay == 0)
            verdict.lose();
        else
            verdict.expire((text.size() - 1) * VerdictStep + delay + LoopVerdict::EchoLimitMs + 1);
        QVERIFY(!verdict.outstanding());
        QList<int> expected;
        for (const char *count : Counts)
            expected << row<int>(count);
        QCOMPARE((QList<int>{verdict.sentCount(), verdict.echoed(), verdict.wrong(),
                             verdict.missing(), verdict.extra()}),
                 expected);
    }
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
