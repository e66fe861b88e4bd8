#include "link/eventpump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

QtEventPump::QtEventPump() : m_deadline(new QTimer)
{
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
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
    // the outer wait re-arms it again when it resumes, before it blocks once more.
    if (maxMs >= 0)
        m_deadline->start(int(qMin<qint64>(maxMs, 24 * 3600 * 1000)));
    else
        m_deadline->stop();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
