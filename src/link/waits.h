#pragma once

#include <QtGlobal>

class Clock;
class EventPump;

// The clock and the event pump that every wait of the program uses. The window installs the real
// ones at start-up; tests install a fake clock and pump.
struct WaitContext
{
    Clock *clock = nullptr;
    EventPump *pump = nullptr;

    static WaitContext &current();
    static void install(Clock *clock, EventPump *pump);
    // Set once the program is ending: every wait returns at once from then on.
    static bool &ending();
};

// Lets ms milliseconds pass while the window's events run. Events are pumped at least once, even
// for 0 or less.
void Delay(const qint32 &ms);
