#include "monitor/trafficlog.h"

#include <QDateTime>

#include <limits>

void TrafficLog::add(TrafficEntry entry)
{
    if (entry.bytes.size() > TrafficEntry::MaxBytes) {
        entry.dropped += entry.bytes.size() - TrafficEntry::MaxBytes;
        entry.bytes.truncate(TrafficEntry::MaxBytes);
    }
    // A piece read from a port can arrive in the port's whole read buffer, many times its size;
    // the log keeps thousands of entries, so each holds only its own bytes.
    if (entry.bytes.capacity() > entry.bytes.size())
        entry.bytes = QByteArray(entry.bytes.constData(), entry.bytes.size());
    m_entries.push_back(std::move(entry));
    ++m_end;
    if (qsizetype(m_entries.size()) > MaxEntries)
        m_entries.pop_front();
    emit added(m_entries.back());
}

void TrafficLog::clear()
{
    m_entries.clear();
    emit cleared();
}

QString visibleText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = quint8(c);
        if (b == '\r')
            text += QLatin1String("<CR>");
        else if (b == '\n')
            text += QLatin1String("<LF>");
        else if (b < 0x20 || b >= 0x7F)
            text += QStringLiteral("<%1>").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QChar(b);
    }
    return text;
}

QString isoLocalTime(qint64 wallMs)
{
    // The conversion to local time costs microseconds, more than the rest of a line written to a
    // log file on every exchange; offsets change on whole minutes, so it runs once a minute. The
    // save thread formats too: each thread keeps its own minute.
    struct Minute
    {
        qint64 start = std::numeric_limits<qint64>::min();
        QString head;    // "2024-05-01T03:12:"
        QString offset;  // "+02:00"
    };
    thread_local Minute minute;
    const qint64 start = wallMs - (wallMs % 60000 + 60000) % 60000;
    if (start != minute.start) {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(start);
        const int offset = local.offsetFromUtc();
        if (offset % 60 != 0)  // seconds in the offset: a historical zone, no whole minutes
            return QDateTime::fromMSecsSinceEpoch(wallMs).toOffsetFromUtc(offset).toString(
                Qt::ISODateWithMs);
        minute.start = start;
        minute.head = local.toString(QStringLiteral("yyyy-MM-ddThh:mm:"));
        minute.offset = QStringLiteral("%1%2:%3")
                            .arg(QChar(offset < 0 ? u'-' : u'+'))
                            .arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0'))
                            .arg(qAbs(offset) / 60 % 60, 2, 10, QLatin1Char('0'));
    }
    const int ms = int(wallMs - start);
    const char16_t digits[] = {
        char16_t(u'0' + ms / 10000),    char16_t(u'0' + ms / 1000 % 10), u'.',
        char16_t(u'0' + ms / 100 % 10), char16_t(u'0' + ms / 10 % 10),   char16_t(u'0' + ms % 10)};
    QString text;
    text.reserve(29);
    text += minute.head;
    text += QStringView(digits, 6);
    text += minute.offset;
    return text;
}

QString entryLine(const TrafficEntry &entry, bool hex)
{
    static const char *const directions[] = {"out ", "in  ", "    ", "    "};
    QString body;
    if (entry.kind == TrafficEntry::Note)
        body = entry.note;
    else if (entry.kind == TrafficEntry::Frame)
        body = QStringLiteral("frame %1: %2")
                   .arg(QString::fromLatin1(entry.bytes.toHex(' ').toUpper()), entry.note);
    else
        body =
            hex ? QString::fromLatin1(entry.bytes.toHex(' ').toUpper()) : visibleText(entry.bytes);
    if (entry.dropped > 0)
        body += QStringLiteral(" … (%1 more bytes)").arg(entry.dropped);
    return isoLocalTime(entry.wallMs).mid(11, 12) + u' ' + entry.channel.leftJustified(22) + u' ' +
           QLatin1String(directions[entry.kind]) + body;
}
