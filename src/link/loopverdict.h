#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <deque>

// The loop test's verdict. The characters sent and those that came back are lined up as two
// streams, and every difference between them is read as the fewest faults that explain it: a
// character that came back different is wrong, one that did not come back is missing, one that
// came back with nothing sent for it is extra.
//
// Equal characters pair at once (pairing them never costs a better reading). A difference waits
// for its evidence, EvidenceChars characters of both streams from there on, and is then read on
// those alone: the reading with the fewest faults over that stretch, a garble before a drop
// before an insertion when they explain it equally well. The stretch is longer than any run of
// one character in the loop texts, so a drop or a garble at the end of a run is told by the run
// after it. The counts thus depend on the two streams, not on how far the echoes lag behind the
// sends (short of the limit itself). Only a stretch that cannot grow (the test has ended, or
// nothing to come can pair with its last character) is read on less: what it holds is all there
// is.
//
// A returned character and a sent one more than EchoLimitMs apart never pair: a character with
// nothing back in its place within that time is missing, one that comes back later is extra.
class LoopVerdict
{
public:
    static constexpr quint32 EchoLimitMs = 1000;
    static constexpr int EvidenceChars = 40;

    void start();
    void sent(QChar c, quint32 now);
    void received(const QString &text, quint32 now);
    // Readings whose evidence can no longer grow are taken: characters with nothing back in
    // their place within EchoLimitMs are missing.
    void expire(quint32 now);
    // The link is gone or the test has ended: what has not come back will not, and every reading
    // still open is taken on what is there.
    void lose();
    // Some character sent or returned is not accounted for yet.
    bool outstanding() const { return !m_pending.empty() || !m_returned.empty(); }

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
    struct Sent
    {
        QChar c;
        quint32 at;
        int index;  // of all characters sent
    };
    struct Back
    {
        QChar c;
        quint32 at;
        int after;  // characters sent before it came
    };
    enum class Reading { Garble, Drop, Insertion };

    void settle(quint32 now, bool ended);
    void take(Reading reading);
    Reading firstReading(size_t sentSpan, size_t backSpan, bool moreSent, bool moreBack) const;

    // Only what is not yet accounted for: a clean line empties both at every echo.
    std::deque<Sent> m_pending;
    std::deque<Back> m_returned;
    int m_sent = 0;
    int m_echoed = 0;
    int m_wrong = 0;
    int m_missing = 0;
    int m_extra = 0;
    quint32 m_firstSent = 0;
    quint32 m_lastSent = 0;
};
