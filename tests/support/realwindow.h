#pragma once

#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "shell/form1.h"
#include "sim/simbench.h"
#include "support/fakes.h"
#include "ui_form1.h"

#include <memory>

// The real window on the real serial port, clock and event pump, for end-to-end runs. Message
// boxes are recorded and answered from a script (a modal box would stop the run); Exit and the
// close box are counted instead of ending the process.
struct RealWindow
{
    SerialCommPort port;
    SteadyClock clock;
    QtEventPump pump;
    FakeMessageBoxes boxes;
    int endRequests = 0;
    std::unique_ptr<Form1> form;

    RealWindow()
    {
        Platform platform;
        platform.port = &port;
        platform.clock = &clock;
        platform.pump = &pump;
        platform.boxes = &boxes;
        platform.endProgram = [this] { ++endRequests; };
        form = std::make_unique<Form1>(platform);
    }
    virtual ~RealWindow() { form.reset(); }

    Ui::Form1 *ui() const { return form->ui(); }
};

// The real window with a bench simulator of the given modules behind COM1.
struct SimWindow : RealWindow
{
    SimBench sim;

    explicit SimWindow(const QList<SimModuleSettings> &modules)
    {
        for (const SimModuleSettings &m : modules)
            sim.addModule(m);
        QString error;
        if (!sim.startSerial(1, true, &error))
            qFatal("no pseudo-terminal: %s", qPrintable(error));
    }
};
