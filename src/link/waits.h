#pragma once

#include <QtGlobal>

class Clock;
class EventPump;

// What every wait runs on: the clock, the event pump, and the flag that the program is ending.
// Handed to whatever waits (the command link, the scans, the converter page, the receive loop);
// the window and mirvel-cli each make one of the real clock and pump, a test one of fakes.
class WaitContext
{
public:
    WaitContext(Clock &clock, EventPump &pump) : m_clock(clock), m_pump(pump) {}
    WaitContext(const WaitContext &) = delete;
    WaitContext &operator=(const WaitContext &) = delete;

    Clock &clock() const { return m_clock; }
    EventPump &pump() const { return m_pump; }
    quint32 now() const;

    // Set once the program is ending: every wait returns at once from then on.
    bool ending() const { return m_ending; }
    void setEnding(bool ending) { m_ending = ending; }

private:
    Clock &m_clock;
    EventPump &m_pump;
    bool m_ending = false;
};

// Lets ms milliseconds pass while the events run. Events are pumped at least once, even for 0
// or less.
void Delay(const WaitContext &waits, const qint32 &ms);
