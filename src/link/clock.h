#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// Milliseconds since some fixed start, as an unsigned 32-bit counter that wraps around to 0.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual quint32 tickCount() const = 0;
};

class SteadyClock : public Clock
{
public:
    SteadyClock() { m_timer.start(); }
    quint32 tickCount() const override { return quint32(quint64(m_timer.elapsed())); }

private:
    QElapsedTimer m_timer;
};
