#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QtGlobal>

class QTimer;

// Runs the window's events from inside a wait, so that clicks, timer ticks, port and socket
// events are handled while an exchange or a pause is in progress.
class EventPump
{
public:
    virtual ~EventPump() = default;
    // Processes the events that are pending now, once, and returns.
    virtual void pumpOnce() = 0;
    // Blocks until at least one event has been handled or maxMs milliseconds have passed
    // (maxMs < 0: no deadline). Never spins: the thread sleeps in the event loop.
    virtual void waitForEvents(qint64 maxMs) = 0;
};

class QtEventPump : public EventPump
{
public:
    QtEventPump();
    ~QtEventPump() override;
    void pumpOnce() override;
    void waitForEvents(qint64 maxMs) override;

private:
    QTimer *m_deadline;
    QElapsedTimer m_clock;
    qint64 m_armedFor = -1;  // the deadline m_deadline is armed for, on m_clock
};
