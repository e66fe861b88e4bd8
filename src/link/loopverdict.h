#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <deque>

// The loop test's verdict: every character that comes back is compared with the character sent
// at that position. A character not back within EchoLimitMs, or lost with the link, is missing;
// one that comes back with nothing outstanding is extra.
class LoopVerdict
{
public:
    static constexpr quint32 EchoLimitMs = 1000;

    void start();
    void sent(QChar c, quint32 now);
    void received(const QString &text, quint32 now);
    // Characters outstanding for longer than EchoLimitMs are counted missing.
    void expire(quint32 now);
    // The link is gone: whatever is outstanding will not come back.
    void lose();
    bool outstanding() const { return !m_pending.empty(); }

    int sentCount() const { return m_sent; }
    int echoed() const { return m_echoed; }
    int wrong() const { return m_wrong; }
    int missing() const { return m_missing; }
    int extra() const { return m_extra; }
    // Characters sent per second, from the first character sent to the last.
    double pace() const;
    // "837 sent, 837 echoed, 0 wrong, 0 missing, 16.6 chars/s"; the extra count only when some
    // came.
    QString summary() const;

private:
    struct Pending
    {
        QChar c;
        quint32 at;
    };
    std::deque<Pending> m_pending;
    int m_sent = 0;
    int m_echoed = 0;
    int m_wrong = 0;
    int m_missing = 0;
    int m_extra = 0;
    quint32 m_firstSent = 0;
    quint32 m_lastSent = 0;
};
