#include "link/loopverdict.h"

void LoopVerdict::start()
{
    *this = LoopVerdict();
}

void LoopVerdict::sent(QChar c, quint32 now)
{
    expire(now);
    if (m_sent == 0)
        m_firstSent = now;
    m_lastSent = now;
    ++m_sent;
    m_pending.push_back({c, now});
}

void LoopVerdict::received(const QString &text, quint32 now)
{
    expire(now);
    for (QChar c : text) {
        if (m_pending.empty()) {
            ++m_extra;
            continue;
        }
        // A character that matches a later one outstanding means those before it were lost on
        // the way: the line dropped them rather than garbled this one.
        size_t match = 0;
        while (match < m_pending.size() && m_pending[match].c != c)
            ++match;
        if (match == m_pending.size()) {
            ++m_wrong;
            m_pending.pop_front();
            continue;
        }
        m_missing += int(match);
        m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(match) + 1);
        ++m_echoed;
    }
}

void LoopVerdict::expire(quint32 now)
{
    while (!m_pending.empty() && now - m_pending.front().at > EchoLimitMs) {
        m_pending.pop_front();
        ++m_missing;
    }
}

void LoopVerdict::lose()
{
    m_missing += int(m_pending.size());
    m_pending.clear();
}

double LoopVerdict::pace() const
{
    const quint32 span = m_lastSent - m_firstSent;
    return m_sent > 1 && span > 0 ? (m_sent - 1) * 1000.0 / span : 0.0;
}

QString LoopVerdict::summary() const
{
    QString text = QStringLiteral("%1 sent, %2 echoed, %3 wrong, %4 missing, ")
                       .arg(m_sent)
                       .arg(m_echoed)
                       .arg(m_wrong)
                       .arg(m_missing);
    if (m_extra > 0)
        text += QStringLiteral("%1 extra, ").arg(m_extra);
    return text + QStringLiteral("%1 chars/s").arg(pace(), 0, 'f', 1);
}
