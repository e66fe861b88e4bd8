#include "link/eventpump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

QtEventPump::QtEventPump() : m_deadline(new QTimer)
{
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    m_clock.start();
}

QtEventPump::~QtEventPump()
{
    delete m_deadline;
}

void QtEventPump::pumpOnce()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitForEvents(qint64 maxMs)
{
    // One timer serves every nesting level: a nested wait re-arms it for its own deadline, and
    // the outer wait re-arms it again when it resumes, before it blocks once more. A wait woken
    // early that goes on to the same deadline leaves the timer as it is.
    if (maxMs >= 0) {
        const qint64 ms = qMin<qint64>(maxMs, 24 * 3600 * 1000);
        const qint64 deadline = m_clock.elapsed() + ms;
        if (!m_deadline->isActive() || qAbs(deadline - m_armedFor) > 1) {
            m_deadline->start(int(ms));
            m_armedFor = deadline;
        }
    } else {
        m_deadline->stop();
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
