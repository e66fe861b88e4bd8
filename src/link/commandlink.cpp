#include "link/commandlink.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/waits.h"


namespace {

constexpr qsizetype MaxReply = 64 * 1024;

}  // namespace

CommandLink::CommandLink(CommPort &port, WaitContext &waits, QObject *parent)
    : QObject(parent), m_port(port), m_waits(waits)
{
    connect(&m_port, &CommPort::dataArrived, this, [this] { ++m_arrivals; });
}

QString CommandLink::Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT)
{
    Clock &clock = m_waits.clock();
    EventPump &pump = m_waits.pump();

    QString buffer = QStringLiteral(" ");
    if (!m_port.portOpen())
        throw CommError(QStringLiteral("The port is not open"));

    QString command = Send_Data;
    if (CHK_SUM) {
        const QString s = upperAscii(trimSpaces(command));
        command = s + asciiChecksum(s);
    }
    // Checked before anything touches the line, so a bad command writes nothing.
    const QByteArray bytes = lineBytes(trimSpaces(command)) + '\r';
    if (CHK_SUM)
        Send_Data = command;

    m_port.clearInput();
    m_port.output(bytes);


    const quint32 start = clock.tickCount();
    quint32 elapsed = 0;
    quint32 replyAt = 0;  // when the carriage return was read, before the events ran
    for (;;) {
        // Bytes can reach the port's buffer while the events are pumped, after this pass has
        // read it; a wait must not block on data that is already there.
        const quint64 seen = m_arrivals;
        // A port lost during the wait reads as silence; the next exchange reports it.
        const QByteArray piece = m_port.portOpen() ? m_port.input() : QByteArray();
        // A reply line is a few dozen characters; a line that never ends (noise, a stuck
        // device) is kept only up to a bound and the rest is read and dropped, so memory stays
        // bounded while the exchange runs to its time-out.
        if (buffer.size() < MaxReply)
            buffer = trimSpaces(buffer + QString::fromLatin1(piece.left(MaxReply - buffer.size())));
        const bool complete = buffer.contains(u'\r');
        if (complete)
            replyAt = clock.tickCount() - start;
        pump.pumpOnce();
        elapsed = clock.tickCount() - start;
        if (qint64(elapsed) >= qint64(TT) || complete || m_waits.ending())
            break;
        if (m_arrivals == seen)
            pump.waitForEvents(qint64(TT) - qint64(elapsed));
    }
    const bool answered = buffer.contains(u'\r');
    emit exchanged({bytes, CHK_SUM, buffer, TT, answered, answered ? replyAt : elapsed});
    return buffer;
}

QString CommandLink::ask(const QString &command, bool withChecksum, qint32 timeoutMs)
{
    QString sendData = command;
    return Response(sendData, withChecksum, timeoutMs);
}

void CommandLink::OutputFrame(const QByteArray &frame)
{
    m_port.output(frame);
}

void CommandLink::Delay(qint32 ms)
{
    ::Delay(m_waits, ms);
}
