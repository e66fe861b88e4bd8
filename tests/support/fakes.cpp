#include "support/fakes.h"

#include "link/errors.h"

#include <QCoreApplication>

void FakeTime::pumpOnce()
{
    if (processQtEvents)
        QCoreApplication::processEvents();
    runDue();
}

void FakeTime::waitForEvents(qint64 maxMs)
{
    if (processQtEvents)
        QCoreApplication::processEvents();
    if (maxMs < 0 && m_actions.empty()) {
        if (!onIdleForever)
            qFatal("FakeTime: a wait without deadline and nothing scheduled would never end");
        onIdleForever();
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

void FakeCommPort::requireOpen() const
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
}

void FakeCommPort::openPort()
{
    if (m_open)
        throw CommError(QStringLiteral("The port is already open"));
    if (failOpen)
        throw CommError(QStringLiteral("COM%1: no such port").arg(m_number));
    m_open = true;
    openedWith << m_settings;
}

void FakeCommPort::closePort()
{
    m_open = false;
    m_inbox.clear();
    ++m_generation;
}

void FakeCommPort::clearInput()
{
    requireOpen();
    m_inbox.clear();
}

void FakeCommPort::writeBytes(const QByteArray &bytes)
{
    requireOpen();
    writes.append({bytes, m_settings, m_time->tickCount()});
    const QByteArray reply = responder ? responder(bytes, m_settings) : QByteArray();
    if (reply.isEmpty())
        return;
    const quint64 generation = m_generation;
    m_time->at(replyDelay, [this, reply, generation] {
        if (generation == m_generation)
            receive(reply);
    });
}

QByteArray FakeCommPort::readBytes()
{
    requireOpen();
    return std::exchange(m_inbox, QByteArray());
}

void FakeCommPort::receive(const QByteArray &bytes)
{
    m_inbox += bytes;
    emit dataArrived();
}

void FakeCommPort::hangUp()
{
    if (!m_open)
        return;
    closePort();
    emit lineLost(QStringLiteral("line lost"));
}

QStringList FakeCommPort::written() const
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
    return answers.isEmpty() ? AnswerOk : answers.takeFirst();
}

QStringList FakeMessageBoxes::texts() const
{
    QStringList list;
    for (const Box &box : shown)
        list << box.text;
    return list;
}
