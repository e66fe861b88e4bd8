#pragma once

#include <functional>
#include <memory>

class Clock;
class CommPort;
class EventPump;
class MessageBoxes;
class QWidget;

// The seams the window runs on: real ones for the program, fakes for the tests. Pointers are
// borrowed; the owner keeps them alive for the window's lifetime.
struct Platform
{
    CommPort *port = nullptr;
    Clock *clock = nullptr;
    EventPump *pump = nullptr;
    MessageBoxes *boxes = nullptr;
    // Ends the program at once (the port is already closed when this runs).
    std::function<void()> endProgram;
};

// The real seams, owned together.
class RealPlatform
{
public:
    RealPlatform();
    ~RealPlatform();
    Platform platform(QWidget *dialogParent);

private:
    std::unique_ptr<CommPort> m_port;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<EventPump> m_pump;
    std::unique_ptr<MessageBoxes> m_boxes;
};
