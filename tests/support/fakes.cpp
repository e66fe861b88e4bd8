#include "support/fakes.h"

#include "link/errors.h"

#include <QCoreApplication>

void FakeTime::pumpOnce()
{
    ++pumps;
    if (processQtEvents)
        QCoreApplication::processEvents();
    runDue();
}

void FakeTime::waitForEvents(qint64 maxMs)
{
    ++waits;
    if (processQtEvents)
        QCoreApplication::processEvents();
    if (maxMs < 0 && m_actions.empty()) {
        if (onIdleForever)
            onIdleForever();
        else
            qFatal("FakeTime: a wait without deadline and nothing scheduled would never end");
        return;
    }
    quint64 target = maxMs < 0 ? m_actions.begin()->first : m_elapsed + quint64(maxMs);
    if (!m_actions.empty() && m_actions.begin()->first < target)
        target = m_actions.begin()->first;
    if (target > m_elapsed) {
        m_now += quint32(target - m_elapsed);
        m_elapsed = target;
    }
    runDue();
}

void FakeTime::at(quint32 afterMs, std::function<void()> fn)
{
    m_actions.emplace(m_elapsed + afterMs, std::move(fn));
}

void FakeTime::advance(quint32 ms)
{
    m_now += ms;
    m_elapsed += ms;
    runDue();
}

void FakeTime::runDue()
{
    while (!m_actions.empty() && m_actions.begin()->first <= m_elapsed) {
        auto fn = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
        fn();
    }
}

void FakeCommPort::setPortOpen(bool open)
{
    if (open) {
        if (m_open)
            throw CommError(QStringLiteral("The port is already open"));
        if (failOpen)
            throw CommError(QStringLiteral("COM%1: no such port").arg(m_number));
        m_open = true;
        ++opens;
        openedWith << m_settings;
    } else if (m_open) {
        m_open = false;
        ++closes;
        m_inbox.clear();
        ++m_generation;
    }
}

void FakeCommPort::clearInput()
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
    m_inbox.clear();
}

void FakeCommPort::output(const QByteArray &bytes)
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
    writes.append({bytes, m_settings, m_inputMode, m_time ? m_time->tickCount() : 0});
    if (!responder)
        return;
    const QByteArray reply = responder(bytes, m_settings);
    if (reply.isEmpty())
        return;
    if (!m_time) {
        m_inbox += reply;
        return;
    }
    const quint64 generation = m_generation;
    m_time->at(replyDelay, [this, reply, generation] {
        if (m_open && generation == m_generation) {
            m_inbox += reply;
            emit dataArrived();
        }
    });
}

QByteArray FakeCommPort::input()
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
    QByteArray bytes = m_inbox;
    m_inbox.clear();
    return bytes;
}

void FakeCommPort::hangUp(const QString &reason)
{
    if (!m_open)
        return;
    setPortOpen(false);
    emit lineLost(reason);
}

QStringList FakeCommPort::writtenTexts() const
{
    QStringList texts;
    for (const Write &w : writes)
        texts << QString::fromLatin1(w.bytes);
    return texts;
}

MessageBoxes::Answer FakeMessageBoxes::show(const QString &text, const QString &title, Icon icon,
                                            Buttons buttons)
{
    shown.append({text, title, icon, buttons});
    if (onShow)
        onShow(shown.last());
    return answers.isEmpty() ? AnswerOk : answers.takeFirst();
}
