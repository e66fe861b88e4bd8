#include "monitor/trafficlog.h"

#include <QDateTime>

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
    return QDateTime::fromMSecsSinceEpoch(entry.wallMs).toString(QStringLiteral("hh:mm:ss.zzz")) +
           u' ' + entry.channel.leftJustified(22) + u' ' + QLatin1String(directions[entry.kind]) +
           body;
}
