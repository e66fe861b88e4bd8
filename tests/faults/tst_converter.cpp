// The converter misbehaving, on 127.0.0.1: it refuses the connection, hangs up in the middle of
// the loop test, never answers the connection, or floods 10 MB. The window stays responsive
// throughout, tells the operator in its status box, keeps its memory bounded, and links again.
#include "faultbench.h"
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "ui_form1.h"  // named here too, so the window design is generated for this suite

#include <QElapsedTimer>

#include <algorithm>

using namespace faults;
using M = SimModel;

namespace {

const QString LinkingText = QStringLiteral("Linking.............");
const QString LinkFailText = QStringLiteral("Link Fail !............");
const QString OnLineText = QStringLiteral("Network On line!...... ");
const QString ClosedByPeerText = QStringLiteral("  --- Link Fail ---");
const QString OffLineText = QStringLiteral("Off Line.......");

struct ConverterBench : FaultBench
{
    quint16 converterPort = 0;

    explicit ConverterBench(SimConverter::Mode mode) : FaultBench({{M::E41, 0x01, 9600, false}})
    {
        converterPort = sim.startConverter(0, mode);
        // Only ever the simulated converter on this machine.
        ui()->Text_IP->setText(QStringLiteral("127.0.0.1"));
        ui()->Text_Port->setText(QString::number(converterPort));
    }
    SimConverter &converter() const { return *sim.converter(); }

    // Runs fn from the event loop after ms, while whatever the test started is still waiting;
    // tells whether it ran and what the status box held then.
    struct Probe
    {
        bool ran = false;
        QString status;
    };
    std::shared_ptr<Probe> probeAfter(int ms, std::function<void()> fn = {})
    {
        auto probe = std::make_shared<Probe>();
        QTimer::singleShot(ms, form.get(), [this, probe, fn] {
            probe->ran = true;
            probe->status = ui()->Tcpip_Status->text();
            if (fn)
                fn();
        });
        return probe;
    }
};

}  // namespace

class TestConverter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void refused()
    {
        ConverterBench b(SimConverter::Mode::Bus);
        Ui::Form1 *ui = b.ui();
        b.converter().refuse();
        // The operator clicks Clear on the terminal page while Link waits.
        auto probe = b.probeAfter(200, [ui] { ui->Com_clr->click(); });

        ui->Com_link->click();

        QVERIFY(probe->ran);
        QVERIFY(probe->status != LinkFailText);  // handled while Link was still waiting
        QCOMPARE(ui->Tcpip_Status->text(), LinkFailText);
        QVERIFY(!ui->Com_Tcpip_Send->isEnabled());
        QVERIFY(!ui->Com_loop_Test->isEnabled());
        QVERIFY(b.boxes.shown.isEmpty());

        QVERIFY(b.converter().resume());
        ui->Com_link->click();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
    }

    void neverAnswers_data()
    {
        QTest::addColumn<bool>("release");
        QTest::newRow("given up") << false;
        QTest::newRow("released meanwhile") << true;
    }
    void neverAnswers()
    {
        QFETCH(bool, release);
        ConverterBench b(SimConverter::Mode::Bus);
        Ui::Form1 *ui = b.ui();
        QString error;
        QVERIFY2(b.converter().neverAccept(&error), qPrintable(error));
        // The attempt is given up after a bound of its own; shortened here.
        b.form->network().Winsock1().setConnectLimit(5000);
        auto probe = b.probeAfter(1500, [ui, release] {
            if (release)
                ui->Com_Tcpip_Stop->click();
        });
        QElapsedTimer clock;
        clock.start();

        ui->Com_link->click();

        QVERIFY(probe->ran);
        QCOMPARE(probe->status, LinkingText);
        QCOMPARE(ui->Tcpip_Status->text(), release ? OffLineText : LinkFailText);
        // Not the system's own connect time-out of minutes.
        QVERIFY2(clock.elapsed() < kBound, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!ui->Com_Tcpip_Send->isEnabled());
        QVERIFY(b.boxes.shown.isEmpty());
        QCOMPARE(b.form->network().Winsock1().State() == ConverterSocket::Connected, false);

        QVERIFY(b.converter().resume());
        ui->Com_link->click();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
    }

    void hangsUpDuringLoopTest()
    {
        ConverterBench b(SimConverter::Mode::Loop);
        Ui::Form1 *ui = b.ui();
        ui->Com_link->click();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
        int echoed = 0;
        bool hungUp = false;
        QObject::connect(&b.converter(), &SimConverter::received, [&](const QByteArray &bytes) {
            echoed += int(bytes.size());
            if (echoed >= 10 && !hungUp) {
                hungUp = true;
                QTimer::singleShot(0, [&b] { b.converter().hangUp(); });
            }
        });

        ui->Com_loop_Test->click();
        QCOMPARE(ui->Com_loop_Test->text(), QStringLiteral("Stop Loop"));

        // The pass notices the lost connection at its next character and ends.
        QTRY_VERIFY_WITH_TIMEOUT(hungUp && !b.form->Timer_Loop()->inTick(), kBound);
        QTRY_COMPARE_WITH_TIMEOUT(ui->Tcpip_Status->text(), ClosedByPeerText, kBound);
        QVERIFY(!b.form->Timer_Loop()->isEnabled());
        QCOMPARE(ui->Com_loop_Test->text(), QStringLiteral("Loop Test"));
        QVERIFY(!ui->Com_loop_Test->isEnabled());
        QVERIFY(!ui->Com_Tcpip_Send->isEnabled());
        QVERIFY(ui->Com_Tcpip_Stop->isEnabled());
        // Streamed into nothing no further, and nothing keeps running.
        const int echoedThen = echoed;
        const double cpu = cpuWhileIdle(kIdleWallMs);
        QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QStringLiteral("%1 s of CPU").arg(cpu)));
        QCOMPARE(echoed, echoedThen);
        QVERIFY(echoed < 21);  // not the whole first text
        QVERIFY(b.boxes.shown.isEmpty());

        // Linked again, the test runs again, from the text that broke off.
        ui->Com_link->click();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
        QVERIFY(ui->Com_loop_Test->isEnabled());
        echoed = 0;
        QString firstText;
        auto probe = b.probeAfter(300, [&] {
            firstText = ui->Text_Tcpip_Send->text();
            ui->Com_loop_Test->click();  // stop: the pass ends with its text
        });
        ui->Com_loop_Test->click();
        QTRY_VERIFY_WITH_TIMEOUT(probe->ran && !b.form->Timer_Loop()->inTick(), kBound);
        QCOMPARE(firstText, NetworkTest::LoopPatterns()[0]);
        QTRY_COMPARE_WITH_TIMEOUT(echoed, 21, kBound);
    }

    void floodOfTenMegabytes()
    {
        ConverterBench b(SimConverter::Mode::Bus);
        Ui::Form1 *ui = b.ui();
        ui->Com_link->click();
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);
        qint64 received = 0;
        constexpr qint64 flood = 10 << 20;
        constexpr qint64 underWay = 1 << 20;
        // Posted once the flood is under way: a timer, and the operator's click on Clear. Both
        // must come through while the flood still pours in.
        qint64 receivedAtTimer = -1;
        qint64 receivedAtClick = -1;
        QObject::connect(ui->Com_Tcpip_Clear, &QPushButton::clicked,
                         [&] { receivedAtClick = received; });
        QObject::connect(&b.form->network().Winsock1(), &ConverterSocket::DataArrival,
                         [&](qint32 bytes) {
                             const bool post = received < underWay;
                             received += bytes;
                             if (post && received >= underWay) {
                                 QTimer::singleShot(0, [&] { receivedAtTimer = received; });
                                 QTimer::singleShot(0, ui->Com_Tcpip_Clear, &QPushButton::click);
                             }
                         });
        const qint64 rssBefore = rssBytes();
        b.converter().flood(int(flood));

        QTRY_VERIFY_WITH_TIMEOUT(received == flood, kBound * 3);
        QVERIFY2(receivedAtTimer >= underWay && receivedAtTimer < flood,
                 qPrintable(QString::number(receivedAtTimer)));
        QVERIFY2(receivedAtClick >= underWay && receivedAtClick < flood,
                 qPrintable(QString::number(receivedAtClick)));
        QCOMPARE(ui->Text_Tcpip_Send->text(), QStringLiteral(" "));  // the Clear did its work

        // The box keeps the newest part; the rest is gone, not held.
        const QString kept = ui->Text_Tcpip_Receive->text();
        QCOMPARE(kept.size(), NetworkTest::ReceiveKeepLimit);
        QVERIFY(std::all_of(kept.cbegin(), kept.cend(),
                            [](QChar c) { return c >= u'A' && c <= u'Z'; }));
        // The simulator's own send buffer holds the flood for a while; the window adds little.
        const qint64 growth = rssBytes() - rssBefore;
        QVERIFY2(growth < 48 << 20, qPrintable(QString::number(growth)));
        QCOMPARE(ui->Tcpip_Status->text(), OnLineText);

        // And the console works as before.
        ui->Text_Tcpip_Send->setText(QStringLiteral("$01M"));
        ui->Com_Tcpip_Send->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui->Text_Tcpip_Receive->text(), QStringLiteral(" !01QRD-E41\r"),
                                  kBound);
        QVERIFY(b.boxes.shown.isEmpty());
    }
};

QTEST_MAIN(TestConverter)
#include "tst_converter.moc"
