#pragma once
// The window's fixtures: a page on fakes without the window, and the whole window on fakes or on
// the bench simulator's real pseudo-terminal.

#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "scan/scangrid.h"
#include "shell/form1.h"
#include "sim/simbench.h"
#include "support/fakes.h"
#include "widgets/formtimer.h"
#include "widgets/messageboxes.h"

#include <QTest>

#include <memory>

// Message boxes answered from a script (AnswerOk once `answers` runs out); records every box.
class FakeMessageBoxes : public MessageBoxes
{
public:
    struct Box
    {
        QString text, title;
        Icon icon;
        Buttons buttons;
    };
    Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons) override
    {
        shown.append({text, title, icon, buttons});
        return answers.isEmpty() ? AnswerOk : answers.takeFirst();
    }

    QList<Box> shown;
    QList<Answer> answers;
    QStringList texts() const;
};

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

// A page without the window: the command link on fakes, and message boxes answered from a script.
struct PageRig : FakeLink
{
    FakeMessageBoxes boxes;
};

// The real window: on fakes, time runs only when a wait blocks; on the simulator, the bench
// simulator's modules stand behind COM1 on a real pseudo-terminal, with real time.
class Window
{
public:
    // On the fake port, clock and message boxes; built as the program builds it, or all at once.
    explicit Window(Form1::Build build = Form1::Build::Whole);
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
    void build(CommPort &port, Clock &clock, EventPump &pump,
               Form1::Build build = Form1::Build::Whole);

    std::unique_ptr<SerialCommPort> m_serial;
    std::unique_ptr<SteadyClock> m_clock;
    std::unique_ptr<QtEventPump> m_pump;
    std::unique_ptr<Form1> m_form;
};
