#include "widgets/formtimer.h"

#include <QScopeGuard>

FormTimer::FormTimer(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
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
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

void FormTimer::fire()
{
    if (m_inTick || !onTick)
        return;
    m_inTick = true;
    const auto reset = qScopeGuard([this] { m_inTick = false; });
    onTick();
}
