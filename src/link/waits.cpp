#include "link/waits.h"

#include "link/clock.h"
#include "link/eventpump.h"

WaitContext &WaitContext::current()
{
    static WaitContext context;
    return context;
}

void WaitContext::install(Clock *clock, EventPump *pump)
{
    current().clock = clock;
    current().pump = pump;
}

bool &WaitContext::ending()
{
    static bool flag = false;
    return flag;
}

void Delay(const qint32 &ms)
{
    Clock &clock = *WaitContext::current().clock;
    EventPump &pump = *WaitContext::current().pump;
    const quint32 start = clock.tickCount();
    for (;;) {
        pump.pumpOnce();
        // The difference is taken modulo 2^32, so a wrap of the counter neither ends nor
        // lengthens the wait.
        const qint32 elapsed = qint32(clock.tickCount() - start);
        if (elapsed >= ms || WaitContext::ending())
            return;
        pump.waitForEvents(qint64(ms) - elapsed);
    }
}
