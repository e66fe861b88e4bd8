#pragma once
// The fixtures every suite shares: the command link on fakes (subsystems without a window), and
// the whole window on fakes or on the bench simulator's real pseudo-terminal.

#include "link/commandlink.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "link/waits.h"
#include "scan/scangrid.h"
#include "shell/form1.h"
#include "sim/simbench.h"
#include "support/fakes.h"
#include "widgets/formtimer.h"

#include <QTest>

#include <memory>

// The value of a column of the present data row, where QFETCH's declaration would not fit.
template <typename T>
T row(const char *column)
{
    return *static_cast<T *>(QTest::qData(column, qMetaTypeId<T>()));
}

// Port links (COMn) go to a private runtime folder, never to the operator's own.
void usePrivateRuntimeDir();

// What the window keeps to itself, for the tests.
struct WindowProbe
{
    static ScanGrid &grid(Form1 &form) { return *form.m_grid; }
    static ConverterSocket &socket(Form1 &form) { return *form.m_winsock; }
    static WaitContext &waits(Form1 &form) { return *form.m_waits; }
};

// Runs one tick of a form timer now, as the timer would (the fake clock drives no QTimer).
struct TimerProbe
{
    static void fire(FormTimer &timer) { timer.fire(); }
};

// The command link over the fake port and the fake clock, the port open at 9600.
struct FakeLink
{
    FakeTime time;
    FakeCommPort port{&time};
    WaitContext waits{time, time};
    CommandLink link{port, waits};
    FakeMessageBoxes boxes;

    FakeLink();
    // Modules that answer: the reply to each command line (without its carriage return).
    void answer(std::function<QString(const QString &command)> reply);
    QStringList sent() const;  // every line written, carriage returns removed
};

// The real window: on fakes, time runs only when a wait blocks; on the simulator, the bench
// simulator's modules stand behind COM1 on a real pseudo-terminal, with real time.
class Window
{
public:
    Window();  // on the fake port, clock and message boxes
    explicit Window(const QList<SimModuleSettings> &modules);
    ~Window() { m_form.reset(); }  // the window closes its port before the line behind it goes

    Form1 &form() const { return *m_form; }
    FakeMessageBoxes boxes;
    std::unique_ptr<FakeTime> time;          // on fakes only
    std::unique_ptr<FakeCommPort> fakePort;  // on fakes only
    std::unique_ptr<SimBench> sim;           // on the simulator only
    int endRequests = 0;

    CommPort &port() const { return fakePort ? *fakePort : static_cast<CommPort &>(*m_serial); }
    template <typename T = QWidget>
    T *w(const QString &name) const
    {
        T *found = m_form->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    void click(const QString &name) const;
    // A control's text: a box's text, a button's caption, a list's current entry.
    QString text(const QString &name) const;
    void setText(const QString &name, const QString &text) const;
    void tick(const QString &timerName) const { TimerProbe::fire(*w<FormTimer>(timerName)); }

    // The operator's way: COM1, a rate (list index), ASCII or Modbus RTU, then OK.
    void open(int rateIndex = 3, bool rtu = false);
    // Selects a grid cell (row 1 is the first module found), as the operator's click does.
    void select(int row, int col = 0) const { WindowProbe::grid(*m_form).setCurrentCell(row, col); }

private:
    void build(CommPort &port, Clock &clock, EventPump &pump);

    std::unique_ptr<SerialCommPort> m_serial;
    std::unique_ptr<SteadyClock> m_clock;
    std::unique_ptr<QtEventPump> m_pump;
    std::unique_ptr<Form1> m_form;
};
