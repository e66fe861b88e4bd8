#include "link/loopverdict.h"

#include <algorithm>
#include <array>

namespace {

constexpr size_t Span = LoopVerdict::EvidenceChars;
// Returned characters waiting for their reading: past this the line is flooding, and they are read
// on what has been sent.
constexpr size_t FloodChars = 4 * Span;

bool pastLimit(quint32 from, quint32 to)
{
    return to - from > LoopVerdict::EchoLimitMs;
}

}  // namespace

void LoopVerdict::start()
{
    *this = LoopVerdict();
}

void LoopVerdict::sent(QChar c, quint32 now)
{
    settle(now, false);
    if (m_sent == 0)
        m_firstSent = now;
    m_lastSent = now;
    m_pending.push_back({c, now, m_sent});
    ++m_sent;
}

void LoopVerdict::received(const QString &text, quint32 now)
{
    for (QChar c : text)
        m_returned.push_back({c, now, m_sent});
    settle(now, false);
}

void LoopVerdict::expire(quint32 now)
{
    settle(now, false);
}

void LoopVerdict::lose()
{
    settle(m_lastSent, true);
}

void LoopVerdict::settle(quint32 now, bool ended)
{
    while (!m_pending.empty() || !m_returned.empty()) {
        if (!m_pending.empty() && !m_returned.empty()) {
            const Sent &s = m_pending.front();
            const Back &b = m_returned.front();
            // More than the limit apart, the earlier of the two can pair with nothing to come.
            const bool backFirst = b.after <= s.index;
            if (backFirst ? pastLimit(b.at, s.at) : pastLimit(s.at, b.at)) {
                take(backFirst ? Reading::Insertion : Reading::Drop);
                continue;
            }
            if (s.c == b.c) {
                ++m_echoed;
                m_pending.pop_front();
                m_returned.pop_front();
                continue;
            }
        }
        const size_t sentSpan = std::min(m_pending.size(), Span);
        const size_t backSpan = std::min(m_returned.size(), Span);
        // A stretch that can no longer grow: nothing to come can pair with a character whose
        // limit has passed.
        const bool closed = ended || m_returned.size() >= FloodChars ||
                            (sentSpan > 0 && pastLimit(m_pending[sentSpan - 1].at, now)) ||
                            (backSpan > 0 && pastLimit(m_returned[backSpan - 1].at, now));
        if ((sentSpan < Span || backSpan < Span) && !closed)
            return;
        if (sentSpan == 0 || backSpan == 0) {
            take(sentSpan == 0 ? Reading::Insertion : Reading::Drop);
            continue;
        }
        // A full stretch is read on its content alone, both ends open: a stream may go on past
        // it. A short one holds all there is.
        take(firstReading(sentSpan, backSpan, sentSpan == Span, backSpan == Span));
    }
}

void LoopVerdict::take(Reading reading)
{
    switch (reading) {
        case Reading::Garble:
            ++m_wrong;
            m_pending.pop_front();
            m_returned.pop_front();
            break;
        case Reading::Drop:
            ++m_missing;
            m_pending.pop_front();
            break;
        case Reading::Insertion:
            ++m_extra;
            m_returned.pop_front();
            break;
    }
}

LoopVerdict::Reading LoopVerdict::firstReading(size_t sentSpan, size_t backSpan, bool moreSent,
                                               bool moreBack) const
{
    // faults[i][j]: the fewest faults that line up sent i.. with returned j.. of the stretch.
    // Past its end a stream that goes on may pair what the other has left, at no cost. Only the
    // characters are weighed, not when they came: the stretch reads the same at any lag.
    constexpr size_t N = EvidenceChars + 1;
    std::array<std::array<int, N>, N> faults;
    for (size_t i = sentSpan + 1; i-- > 0;) {
        for (size_t j = backSpan + 1; j-- > 0;) {
            int &f = faults[i][j];
            if (i == sentSpan)
                f = moreSent ? 0 : int(backSpan - j);
            else if (j == backSpan)
                f = moreBack ? 0 : int(sentSpan - i);
            else
                f = std::min({faults[i + 1][j] + 1, faults[i][j + 1] + 1,
                              faults[i + 1][j + 1] + (m_pending[i].c != m_returned[j].c)});
        }
    }
    // The two heads differ and are within the limit of each other: settle has seen to that.
    const int garble = faults[1][1], drop = faults[1][0], insertion = faults[0][1];
    if (garble <= drop && garble <= insertion)
        return Reading::Garble;
    return drop <= insertion ? Reading::Drop : Reading::Insertion;
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
