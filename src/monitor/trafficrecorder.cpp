#include "monitor/trafficrecorder.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/commandlink.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/rtuframe.h"

#include <QDateTime>

#include <algorithm>

TrafficRecorder::TrafficRecorder(TrafficLog &log, Clock &clock, QObject *parent)
    : QObject(parent), m_log(log), m_clock(clock)
{
    m_silence.setSingleShot(true);
    m_silence.setTimerType(Qt::PreciseTimer);
    connect(&m_silence, &QTimer::timeout, this, &TrafficRecorder::endFrame);
}

void TrafficRecorder::watchSerial(CommPort &port)
{
    m_port = &port;
    connect(&port, &CommPort::sent, this,
            [this](const QByteArray &bytes) { add(serialChannel(), TrafficEntry::Out, bytes); });
    connect(&port, &CommPort::received, this, &TrafficRecorder::serialIn);
}

QString TrafficRecorder::serialChannel() const
{
    if (!m_port)
        return QString();
    const int number = m_port->commPort();
    const QString settings = m_port->settings();
    if (number != m_namedPort || settings != m_namedSettings || m_serialChannel.isNull()) {
        m_namedPort = number;
        m_namedSettings = settings;
        m_serialChannel = QStringLiteral("COM%1 %2").arg(number).arg(settingsRate(settings));
    }
    return m_serialChannel;
}

int TrafficRecorder::frameGapMs(int rate)
{
    if (rate <= 0)
        return 2;
    // Ten bits to the character: 35 bit times.
    return qMax(2, int((35 * 1000 + rate - 1) / rate));
}

void TrafficRecorder::add(const QString &channel, TrafficEntry::Kind kind, const QByteArray &bytes)
{
    TrafficEntry entry;
    entry.wallMs = QDateTime::currentMSecsSinceEpoch();
    entry.channel = channel;
    entry.kind = kind;
    entry.bytes = bytes;
    m_log.add(std::move(entry));
}

void TrafficRecorder::note(const QString &channel, const QString &text)
{
    TrafficEntry entry;
    entry.wallMs = QDateTime::currentMSecsSinceEpoch();
    entry.channel = channel;
    entry.note = text;
    m_log.add(std::move(entry));
}

void TrafficRecorder::serialIn(const QByteArray &bytes)
{
    add(serialChannel(), TrafficEntry::In, bytes);
    if (m_port->inputMode() != 1) {
        m_frame.clear();
        m_frameHead.clear();
        return;
    }
    const int gap = frameGapMs(settingsRate(m_port->settings()).toInt());
    const quint32 now = m_clock.tickCount();
    if (!m_frame.isEmpty() && qint64(now - m_lastIn) >= gap)
        endFrame();
    // A frame is a few hundred bytes at most; a stream without silence is cut into pieces of
    // that size rather than held without end.
    if (m_frame.size() > TrafficEntry::MaxBytes)
        endFrame();
    // A frame read in one piece shows the same bytes as that piece's entry: it shares them.
    m_frameHead = m_frame.isEmpty() ? m_log.entries().back().bytes : QByteArray();
    m_frame += bytes;
    m_lastIn = now;
    m_silence.start(gap);
}

void TrafficRecorder::endFrame()
{
    m_silence.stop();
    if (m_frame.isEmpty())
        return;
    TrafficEntry entry;
    entry.wallMs = QDateTime::currentMSecsSinceEpoch();
    entry.channel = serialChannel();
    entry.kind = TrafficEntry::Frame;
    // Shown as "frame" and the first MaxBytes bytes in hexadecimal, judged on the whole frame.
    entry.bytes = m_frameHead.isEmpty() ? m_frame.left(TrafficEntry::MaxBytes) : m_frameHead;
    entry.note = rtuFrameVerdict(m_frame);
    m_log.add(std::move(entry));
    m_frame.clear();
    m_frameHead.clear();
}

void TrafficRecorder::exchanged(const ExchangeRecord &record)
{
    const QString command = visibleText(record.line.chopped(1));
    QString text;
    if (!record.answered) {
        text = QStringLiteral("%1: no reply within %2 ms").arg(command).arg(record.timeoutMs);
    } else {
        text = QStringLiteral("%1: reply after %2 ms").arg(command).arg(record.elapsedMs);
        if (record.checksum)
            text += QStringLiteral(", checksum ") + replyChecksumVerdict(record.reply);
    }
    note(serialChannel(), text);
}

QString replyChecksumVerdict(const QString &reply)
{
    const QString body = reply.left(reply.indexOf(u'\r'));
    const QString given = body.right(2);
    const bool hexDigits =
        given.size() == 2 && std::all_of(given.begin(), given.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
        });
    if (body.size() < 3 || !hexDigits)
        return QStringLiteral("none");
    try {
        return asciiChecksum(body.chopped(2)) == given.toUpper() ? QStringLiteral("ok")
                                                                 : QStringLiteral("wrong");
    } catch (const FormatError &) {
        return QStringLiteral("wrong");
    }
}

QString rtuFrameVerdict(const QByteArray &frame)
{
    if (frame.size() < 4)
        return QStringLiteral("too short for a frame");
    const Crc16 crc = CalcCrc16(frame, frame.size() - 2);
    const bool crcOk = quint8(frame.at(frame.size() - 2)) == crc.CrcHi &&
                       quint8(frame.at(frame.size() - 1)) == crc.CrcLo;
    QString verdict = crcOk ? QStringLiteral("CRC ok") : QStringLiteral("CRC wrong");
    const auto function = quint8(frame.at(1));
    if (function & 0x80) {
        const auto hex2 = [](int value) {
            return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
        };
        verdict += QStringLiteral(", exception %1 to function %2")
                       .arg(hex2(quint8(frame.at(2))), hex2(function & 0x7F));
    }
    return verdict;
}
