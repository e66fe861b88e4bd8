#include "link/waits.h"

#include "link/clock.h"
#include "link/eventpump.h"

quint32 WaitContext::now() const
{
    return m_clock.tickCount();
}

void Delay(const WaitContext &waits, const qint32 &ms)
{
    Clock &clock = waits.clock();
    EventPump &pump = waits.pump();
    const quint32 start = clock.tickCount();
    // Events run once at least; after that, each wait for events runs those that came.
    pump.pumpOnce();
    for (;;) {
        // The difference is taken modulo 2^32, so a wrap of the counter neither ends nor
        // lengthens the wait.
        const qint32 elapsed = qint32(clock.tickCount() - start);
        if (elapsed >= ms || waits.ending())
            return;
        pump.waitForEvents(qint64(ms) - elapsed);
    }
}
