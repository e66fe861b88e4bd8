#include "shell/platform.h"

#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "widgets/messageboxes.h"

#include "platform/os.h"

RealPlatform::RealPlatform()
    : m_port(std::make_unique<SerialCommPort>()),
      m_clock(std::make_unique<SteadyClock>()),
      m_pump(std::make_unique<QtEventPump>())
{
}

RealPlatform::~RealPlatform() = default;

Platform RealPlatform::platform(QWidget *dialogParent)
{
    if (!m_boxes)
        m_boxes = std::make_unique<QtMessageBoxes>(dialogParent);
    Platform p;
    p.port = m_port.get();
    p.clock = m_clock.get();
    p.pump = m_pump.get();
    p.boxes = m_boxes.get();
    p.endProgram = [] {
        // At once, from whatever depth of nested waits: no further handler may run.
        Os::endProcessNow(0);
    };
    return p;
}
