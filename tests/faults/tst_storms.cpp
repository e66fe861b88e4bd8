// Button storms: the operator clicks every enabled button, one after the other, while a scan and
// while a configuration write wait for their replies. Every click runs nested inside the wait it
// lands in; nothing may crash, no timer's tick may run inside its own previous tick, and nothing
// may nest deeper than the clicks and the ticks themselves.
#include "faultbench.h"
#include "network/convertersocket.h"
#include "network/networktest.h"
#include "ui_form1.h"  // named here too, so the window design is generated for this suite

#include <algorithm>
#include <map>

using namespace faults;
using M = SimModel;

namespace {

// Watches every handler the storm can reach: the storm's own clicks and the four timers' ticks.
struct NestingWatch
{
    int handlers = 0;     // handlers on the stack now
    int maxHandlers = 0;  // most at once
    std::map<QString, int> inTick;
    std::map<QString, int> maxSelf;  // a timer's most ticks on the stack at once
    std::map<QString, int> ticks;

    struct Enter
    {
        NestingWatch &watch;
        explicit Enter(NestingWatch &w) : watch(w)
        {
            watch.maxHandlers = qMax(watch.maxHandlers, ++watch.handlers);
        }
        ~Enter() { --watch.handlers; }
    };

    void watchTimer(FormTimer *timer)
    {
        const QString name = timer->objectName();
        std::function<void()> inner = timer->onTick;
        timer->onTick = [this, name, inner] {
            Enter enter(*this);
            ++ticks[name];
            maxSelf[name] = qMax(maxSelf[name], ++inTick[name]);
            inner();
            --inTick[name];
        };
    }
};

// Schedules count clicks, step ms apart from first ms on, on the window's buttons in turn (by
// name, so every run is the same); a button that is disabled when its turn comes is not clicked.
// Exit would end the program, and Link would connect to whatever Text_IP holds (the Default
// button puts the converter's private address there): those two are left out.
struct Storm
{
    QList<QPushButton *> buttons;
    int fired = 0;
    int skipped = 0;
    int due = 0;
    QStringList clicked;

    Storm(Form1 &form, NestingWatch &watch, int first, int step, int count) : due(count)
    {
        for (QPushButton *b : form.findChildren<QPushButton *>()) {
            if (b->objectName() != QLatin1String("Com_Exit") &&
                b->objectName() != QLatin1String("Com_link"))
                buttons << b;
        }
        std::sort(buttons.begin(), buttons.end(),
                  [](QPushButton *a, QPushButton *b) { return a->objectName() < b->objectName(); });
        for (int i = 0; i < count; ++i) {
            QPushButton *button = buttons.at(i % buttons.size());
            QTimer::singleShot(first + i * step, &form, [this, button, &watch] {
                --due;
                if (!button->isEnabled()) {
                    ++skipped;
                    return;
                }
                ++fired;
                clicked << button->objectName();
                NestingWatch::Enter enter(watch);
                button->click();
            });
        }
        // At the end the operator stops whatever the storm set going, from inside the waits
        // still running, so they end with their present step.
        ++due;
        QTimer::singleShot(first + count * step, &form, [this, &form, &watch] {
            --due;
            NestingWatch::Enter enter(watch);
            Ui::Form1 *ui = form.ui();
            if (!form.scan().allIdle())
                ui->Com_Scan_All->click();
            if (!form.scan().currentIdle())
                ui->Com_Scan_OK->click();
            if (ui->Check_Auto->isChecked())
                ui->Check_Auto->setChecked(false);
        });
    }
    bool over() const { return due == 0; }
};

struct StormBench : FaultBench
{
    NestingWatch watch;

    StormBench() : FaultBench({{M::E41, 0x00, 9600, false}, {M::E47, 0x02, 9600, false}})
    {
        for (FormTimer *t :
             {form->Timer_Send(), form->Timer1(), form->Timer3(), form->Timer_Loop()})
            watch.watchTimer(t);
        openAt();
    }

    // After the storm: every handler returned (the storm's events ran inside the wait that
    // watched for its end, so they have all unwound) and nothing left running.
    void settle()
    {
        QCOMPARE(watch.handlers, 0);
        QVERIFY(form->scan().allIdle());
        QVERIFY(form->scan().currentIdle());
        for (FormTimer *t : {form->Timer_Send(), form->Timer1(), form->Timer3()})
            QVERIFY2(!t->isEnabled(), qPrintable(t->objectName()));
    }

    // ownClicks: the clicks of the test itself that were on the stack during the storm.
    void verifyNesting(const Storm &storm, int ownClicks)
    {
        QVERIFY2(storm.fired > 0, "no click landed");
        for (const auto &[name, most] : watch.maxSelf)
            QVERIFY2(most == 1, qPrintable(QStringLiteral("%1 ran inside itself").arg(name)));
        // The storm's clicks and at most one tick of each timer: nothing else stacks up.
        // (and the final stop).
        QVERIFY2(watch.maxHandlers <= storm.fired + 1 + ownClicks + 4,
                 qPrintable(QStringLiteral("%1 deep").arg(watch.maxHandlers)));
        // A wait belongs to a handler: no wait stacks on another without a handler between.
        QVERIFY2(pump.maxDepth <= watch.maxHandlers,
                 qPrintable(QStringLiteral("waits %1 deep, handlers %2")
                                .arg(pump.maxDepth)
                                .arg(watch.maxHandlers)));
    }

    // The window works on as before: a Send at the settings' rate gets its reply.
    void verifyWorking()
    {
        ui()->LISTRATE->setCurrentIndex(3);
        ui()->Check_Chksum->setChecked(false);
        openAt(3);
        QVERIFY(port.portOpen());
        QCOMPARE(send(QStringLiteral("$02M")), QStringLiteral(" !02QRD-E47\r\r\n"));
        QCOMPARE(linkFaults(), 0);
        // No connection was ever attempted: Link was never pressed.
        QCOMPARE(form->network().Winsock1().RemoteHost(), QString());
        const double cpu = cpuWhileIdle(kIdleWallMs);
        QVERIFY2(cpu < kIdleCpuLimit, qPrintable(QStringLiteral("%1 s of CPU").arg(cpu)));
    }
};

}  // namespace

class TestStorms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestPty::runtimeDir(); }

    void duringAScan()
    {
        StormBench b;
        // Address 01 is silent: the storm breaks loose while its step waits 600 ms, and goes
        // on through whatever the clicks make of the scan.
        std::unique_ptr<Storm> storm;
        b.onHeard("$01F", 1, [&] {
            QVERIFY(b.form->Timer3()->inTick());
            storm = std::make_unique<Storm>(*b.form, b.watch, 0, 40, 2 * 50);
        });
        b.ui()->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(storm && storm->over(), kBound * 2);
        b.settle();
        b.verifyNesting(*storm, 0);
        b.verifyWorking();
    }

    void duringAConfigurationWrite()
    {
        StormBench b;
        b.scanUpTo(1);
        b.takeUp(1);
        QVERIFY(b.ui()->Com_Write->isEnabled());
        // From the model query to the end of the write's 500 ms wait, and on past it.
        Storm storm(*b.form, b.watch, 10, 15, 60);
        {
            NestingWatch::Enter enter(b.watch);
            b.ui()->Com_Write->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(storm.over(), kBound * 2);
        b.settle();
        QVERIFY(storm.clicked.contains(QStringLiteral("Com_Write")));
        b.verifyNesting(storm, 1);
        // Each write, nested or not, asked first and reported its result.
        const int asked = boxesWith(b.boxes, QStringLiteral("Please Check Command "));
        const int told = boxesWith(b.boxes, QStringLiteral("Save "));
        QVERIFY(asked >= 2);
        QCOMPARE(told, asked);
        b.verifyWorking();
    }
};

QTEST_MAIN(TestStorms)
#include "tst_storms.moc"
