// The TCP/IP page end to end against the bench simulator's converter on 127.0.0.1: in bus mode a
// command reaches a module and its reply comes back; in loop mode the loop test's characters come
// back as they were sent.
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "sim/simbench.h"
#include "support/formharness.h"
#include "ui_form1.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

namespace {

struct Bench
{
    SimBench bench;
    FormHarness h;
    quint16 port = 0;

    explicit Bench(SimConverter::Mode mode)
    {
        bench.addModule({SimModel::E41, 0x01, 9600, false});
        port = bench.startConverter(0, mode);
        h.time.processQtEvents = true;
        h.ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
        h.ui()->Text_Port->setText(QString::number(port));
        h.click(QStringLiteral("Com_link"));
    }
};

// Runs the window's events until the receive box holds the text (or a few seconds have passed),
// then tells what it holds.
QString receiveOnceItHolds(Ui::Form1 *ui, const QString &expected)
{
    QDeadlineTimer patience(5000);
    while (ui->Text_Tcpip_Receive->text() != expected && !patience.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return ui->Text_Tcpip_Receive->text();
}

}  // namespace

class TestNetworkEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void busModeNameQuery()
    {
        Bench b(SimConverter::Mode::Bus);
        QVERIFY(b.port != 0);
        QCOMPARE(b.h.ui()->Tcpip_Status->text(), QStringLiteral("Network On line!...... "));
        QCOMPARE(b.h.ui()->Text_Tcpip_Send->text(), QStringLiteral("$01M"));

        b.h.click(QStringLiteral("Com_Tcpip_Send"));

        QTRY_COMPARE(b.h.ui()->Text_Tcpip_Receive->text(), QStringLiteral(" !01QRD-E41\r"));
    }

    void loopModeFullPassComesBack()
    {
        Bench b(SimConverter::Mode::Loop);
        QVERIFY(b.port != 0);
        Ui::Form1 *ui = b.h.ui();
        const auto &texts = NetworkTest::LoopPatterns();
        // Just before each text's last pause ends, its echo is in the box, after the blank.
        QStringList echoes;
        quint32 end = 0;
        for (const QString &text : texts) {
            end += quint32(text.size()) * 60;
            b.h.time.at(end - 5, [&echoes, ui, text] {
                echoes << receiveOnceItHolds(ui, QStringLiteral(" ") + text);
            });
        }
        b.h.click(QStringLiteral("Com_loop_Test"));

        b.h.form->Timer_Loop()->fire();

        QCOMPARE(echoes.size(), 32);
        for (size_t i = 0; i < texts.size(); ++i)
            QCOMPARE(echoes.at(qsizetype(i)), QStringLiteral(" ") + texts[i]);
        QCOMPARE(b.h.form->network().patternIndex(), qint16(0));
    }
};

QTEST_MAIN(TestNetworkEndToEnd)
#include "tst_network_e2e.moc"
