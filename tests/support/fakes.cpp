#include "support/fakes.h"

#include "link/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

void FakeTime::pumpOnce()
{
    if (processQtEvents)
        QCoreApplication::processEvents();
    moveTo(m_elapsed);
}

void FakeTime::waitForEvents(qint64 maxMs)
{
    if (processQtEvents)
        QCoreApplication::processEvents();
    if (maxMs < 0 && m_actions.empty())
        qFatal("FakeTime: a wait without deadline and nothing scheduled would never end");
    const quint64 next = m_actions.empty() ? UINT64_MAX : m_actions.begin()->first;
    moveTo(std::max(m_elapsed, maxMs < 0 ? next : std::min(next, m_elapsed + quint64(maxMs))));
}

void FakeTime::moveTo(quint64 elapsed)
{
    m_now += quint32(elapsed - m_elapsed);
    m_elapsed = elapsed;
    while (!m_actions.empty() && m_actions.begin()->first <= m_elapsed) {
        auto fn = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
        fn();
    }
}

void FakeCommPort::openPort()
{
    if (m_open || failOpen)
        throw CommError(m_open ? QStringLiteral("The port is already open")
                               : QStringLiteral("COM%1: no such port").arg(m_number));
    m_open = true;
    openedWith << m_settings;
}

void FakeCommPort::closePort()
{
    m_open = false;
    m_inbox.clear();
    ++m_generation;
}

void FakeCommPort::writeBytes(const QByteArray &bytes)
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
    writes.append({bytes, m_settings, m_time->tickCount()});
    const QByteArray reply = responder ? responder(bytes, m_settings) : QByteArray();
    if (!reply.isEmpty())
        m_time->at(replyDelay, [this, reply, generation = m_generation] {
            if (generation == m_generation)
                receive(reply);
        });
}

QByteArray FakeCommPort::readBytes()
{
    if (!m_open)
        throw CommError(QStringLiteral("The port is not open"));
    return std::exchange(m_inbox, QByteArray());
}

void FakeCommPort::receive(const QByteArray &bytes)
{
    m_inbox += bytes;
    emit dataArrived();
}

void FakeCommPort::hangUp()
{
    if (m_open) {
        closePort();
        emit lineLost(QStringLiteral("line lost"));
    }
}

QStringList FakeCommPort::written() const
{
    QStringList texts;
    for (const Write &w : writes)
        texts << QString::fromLatin1(w.bytes);
    return texts;
}

void usePrivateRuntimeDir()
{
    static QTemporaryDir dir;
    static const bool set = [] {
        qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
        return QDir(dir.path()).mkpath(QStringLiteral("mirvel"));
    }();
    Q_UNUSED(set);
}

FakeLink::FakeLink()
{
    usePrivateRuntimeDir();
    port.setPortOpen(true);
}

void FakeLink::answer(std::function<QString(const QString &)> reply)
{
    port.responder = [reply](const QByteArray &written, const QString &) {
        return reply(QString::fromLatin1(written).chopped(1)).toLatin1();
    };
}

QStringList FakeLink::sent() const
{
    return port.written().replaceInStrings(QStringLiteral("\r"), QString());
}
