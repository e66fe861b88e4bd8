#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

// One line of the traffic record: bytes that went out or came in on a channel, or a note about
// them (an exchange's outcome, a Modbus RTU frame, a loop-test verdict).
struct TrafficEntry
{
    // Frame: a note on a Modbus RTU frame, kept as its bytes and its verdict (the note) rather
    // than as the hexadecimal text, a third of the size, which is made only when shown.
    enum Kind { Out, In, Note, Frame };

    qint64 wallMs = 0;  // milliseconds since the epoch, local time when shown
    QString channel;    // "COM1 9600", "TCP 127.0.0.1:4000"
    Kind kind = Note;
    QByteArray bytes;       // Out and In: the bytes, at most MaxBytes of them
    qsizetype dropped = 0;  // bytes beyond MaxBytes, not kept
    QString note;           // Note: the text

    static constexpr qsizetype MaxBytes = 512;
};

// The newest entries, at most MaxEntries; the oldest go first. Recording runs from start-up,
// whether anyone looks or not, so it keeps only what is cheap: each entry is bounded too.
class TrafficLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxEntries = 5000;

    using QObject::QObject;

    void add(TrafficEntry entry);
    void clear();

    const std::deque<TrafficEntry> &entries() const { return m_entries; }
    // Sequence numbers: the first entry kept, and one past the last ever added.
    quint64 firstSeq() const { return m_end - quint64(m_entries.size()); }
    quint64 endSeq() const { return m_end; }

signals:
    // After the entry is kept (and the oldest dropped past the bound).
    void added(const TrafficEntry &entry);
    void cleared();

private:
    std::deque<TrafficEntry> m_entries;
    quint64 m_end = 0;
};

// The bytes as text: printable characters as they are, the rest named (<CR>, <LF>, <00>).
QString visibleText(const QByteArray &bytes);
// A moment as local time in ISO 8601 with milliseconds and the offset from UTC
// ("2024-05-01T03:12:45.120+02:00").
QString isoLocalTime(qint64 wallMs);
// One line of the monitor: time, channel, direction, then the bytes (as text or hexadecimal) or
// the note.
QString entryLine(const TrafficEntry &entry, bool hex);
