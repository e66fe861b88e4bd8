#pragma once
// What the fault suites share: the real window on the real serial port over the bench
// simulator's pseudo-terminal linked as COM1, the real clock and event loop, and message boxes
// that are recorded instead of shown (a modal box would stop the suite). Also the resource
// probes the suites check the program against: CPU time and resident memory of this process.
#include "link/checksum.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "shell/multilinebox.h"
#include "sim/simbench.h"
#include "support/fakes.h"
#include "support/pty.h"
#include "ui_form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace faults {

// Only keeps a broken case from hanging the suite; no case is meant to come near it.
constexpr int kBound = 20000;

inline double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory now, in bytes. Under AddressSanitizer freed memory sits in quarantine and
// every allocation has shadow memory, so resident memory says nothing about the program's own
// bounds there: the plain build checks them, and this reads as constant.
inline qint64 rssBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
#endif
}

// The CPU time the process spends while the event loop runs on its own for ms milliseconds of
// real time, as it does when the program sits and waits for the operator. A loop that spins
// costs about ms / 1000 seconds; an idle one next to nothing.
inline double cpuWhileIdle(int ms)
{
    const double before = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return cpuSeconds() - before;
}

// Far below a spinning core (which would use about the whole wall time), and generous enough
// for a loaded machine.
constexpr int kIdleWallMs = 2000;
constexpr double kIdleCpuLimit = 0.2;

inline QString linkFaultPrefix()
{
    return QStringLiteral("The communication port is not open");
}

inline int boxesWith(const FakeMessageBoxes &boxes, const QString &prefix)
{
    int n = 0;
    for (const FakeMessageBoxes::Box &box : boxes.shown) {
        if (box.text.startsWith(prefix))
            ++n;
    }
    return n;
}

inline QStringList boxTexts(const FakeMessageBoxes &boxes)
{
    QStringList texts;
    for (const FakeMessageBoxes::Box &box : boxes.shown)
        texts << box.text;
    return texts;
}

// The real event pump, counting how deeply the waits that use it are nested at most.
struct CountingPump : QtEventPump
{
    int depth = 0;
    int maxDepth = 0;

    void pumpOnce() override
    {
        Nest nest(*this);
        QtEventPump::pumpOnce();
    }
    void waitForEvents(qint64 maxMs) override
    {
        Nest nest(*this);
        QtEventPump::waitForEvents(maxMs);
    }

private:
    struct Nest
    {
        CountingPump &pump;
        explicit Nest(CountingPump &p) : pump(p)
        {
            pump.maxDepth = qMax(pump.maxDepth, ++pump.depth);
        }
        ~Nest() { --pump.depth; }
    };
};

// The real window on the real serial port, clock and (counting) event pump, with message boxes
// recorded. The line behind COM1 belongs to the bench that derives from it, which makes the
// window once that line exists and drops it before the line goes.
struct Window
{
    SerialCommPort port;
    SteadyClock clock;
    CountingPump pump;
    FakeMessageBoxes boxes;
    std::unique_ptr<Form1> form;

    void makeWindow()
    {
        Platform platform;
        platform.port = &port;
        platform.clock = &clock;
        platform.pump = &pump;
        platform.boxes = &boxes;
        platform.endProgram = [] {};
        form = std::make_unique<Form1>(platform);
    }

    Ui::Form1 *ui() const { return form->ui(); }
    QPushButton *button(const QString &name) const { return form->findChild<QPushButton *>(name); }
    int linkFaults() const { return boxesWith(boxes, linkFaultPrefix()); }

    // The operator's way: COM1 and a rate on the Setting page, ASCII, then OK.
    void openAt(int rateIndex = 3)
    {
        ui()->LISTCOM->setCurrentIndex(0);
        ui()->LISTRATE->setCurrentIndex(rateIndex);
        ui()->Opt_ASC->setChecked(true);
        ui()->Com_Set_Ok->click();
    }

    // One terminal Send of the command; what Text_Rec shows afterwards.
    QString send(const QString &command)
    {
        ui()->Opt_ASC->setChecked(true);
        ui()->Text_Send->setText(command);
        ui()->Com_send->click();
        return ui()->Text_Rec->text();
    }

    // Scans at the present settings until every address below stopBefore has been asked.
    void scanUpTo(int stopBefore)
    {
        ui()->Com_Scan_OK->click();
        QTRY_VERIFY_WITH_TIMEOUT(form->scan().currentPosition().NextId >= stopBefore, kBound);
        ui()->Com_Scan_OK->click();
    }

    // The operator clicks a cell of the grid (row 1 is the first module found) and presses
    // Configuration.
    void takeUp(int row, int col = 0)
    {
        form->MSFlexGrid1().setCurrentCell(row, col);
        ui()->Com_Configuration->click();
    }
};

// The window over the bench simulator's pseudo-terminal.
struct FaultBench : Window
{
    SimBench sim;

    explicit FaultBench(const QList<SimModuleSettings> &modules)
    {
        for (const SimModuleSettings &m : modules)
            sim.addModule(m);
        QString error;
        if (!sim.startSerial(1, true, &error))
            qFatal("no pseudo-terminal: %s", qPrintable(error));
        makeWindow();
    }
    ~FaultBench() { form.reset(); }

    // Calls fn (from the event loop, so never inside the simulator's own handler) once the
    // simulator has heard the nth frame that starts with prefix.
    void onHeard(const QByteArray &prefix, int nth, std::function<void()> fn)
    {
        auto count = std::make_shared<int>(0);
        QObject::connect(&sim.bus(), &SimBus::heard, &sim,
                         [count, prefix, nth, fn](const QByteArray &frame, int) {
                             if (frame.startsWith(prefix) && ++*count == nth)
                                 QTimer::singleShot(0, fn);
                         });
    }
};

// The window over a bare pseudo-terminal whose other side the test plays byte for byte: for
// replies no simulated module would give.
struct PtyBench : Window
{
    TestPty pty;
    QByteArray received;  // everything the program wrote
    // Called with everything written so far, after each piece the program writes.
    std::function<void(PtyBench &)> onData;
    std::unique_ptr<QSocketNotifier> notifier;

    PtyBench()
    {
        if (!pty.isValid())
            qFatal("no pseudo-terminal");
        pty.linkAs(1);
        notifier = std::make_unique<QSocketNotifier>(pty.master(), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            received += pty.readMaster(0);
            if (onData)
                onData(*this);
        });
        makeWindow();
    }
    ~PtyBench()
    {
        form.reset();
        notifier.reset();
    }

    // Answers every command line that ends with the given text.
    void answer(const QByteArray &command, const QByteArray &reply)
    {
        onData = [command, reply](PtyBench &b) {
            if (b.received.endsWith(command + '\r'))
                b.pty.writeMaster(reply);
        };
    }
};

}  // namespace faults
