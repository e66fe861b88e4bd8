#include "widgets/formtimer.h"

#include <QScopeGuard>

FormTimer::FormTimer(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FormTimer::fire);
}

void FormTimer::setInterval(int ms)
{
    m_interval = ms;
    apply();
}

void FormTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    apply();
}

void FormTimer::apply()
{
    ++m_armings;
    if (m_enabled && m_interval > 0) {
        m_due = m_clock.elapsed() + m_interval;
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

void FormTimer::fire()
{
    if (m_inTick || !onTick)
        return;
    const quint64 armings = m_armings;
    {
        m_inTick = true;
        const auto reset = qScopeGuard([this] { m_inTick = false; });
        onTick();
    }
    // Started, stopped or given another interval by the handler: that arming stands.
    if (armings != m_armings || !m_enabled || m_interval <= 0)
        return;
    // The next tick on the beat; those that fell due while the handler ran are skipped.
    const qint64 now = m_clock.elapsed();
    m_due += m_interval;
    if (m_due <= now)
        m_due += (now - m_due) / m_interval * m_interval + m_interval;
    m_timer.start(int(m_due - now));
}
