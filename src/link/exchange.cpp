#include "link/exchange.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/waits.h"

namespace {

constexpr qsizetype MaxReply = 64 * 1024;

}  // namespace

QString CommandExchange::Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT)
{
    Clock &clock = *WaitContext::current().clock;
    EventPump &pump = *WaitContext::current().pump;

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

    // Bytes can reach the port's buffer while the events are pumped, after this pass has read
    // it; a wait must not block on data that is already there.
    int arrivals = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&m_port, &CommPort::dataArrived, [&arrivals] { ++arrivals; });
    struct Disconnect
    {
        const QMetaObject::Connection &connection;
        ~Disconnect() { QObject::disconnect(connection); }
    } disconnect{counting};

    const quint32 start = clock.tickCount();
    for (;;) {
        arrivals = 0;
        // A port lost during the wait reads as silence; the next exchange reports it.
        const QByteArray piece = m_port.portOpen() ? m_port.input() : QByteArray();
        // A reply line is a few dozen characters; a line that never ends (noise, a stuck
        // device) is kept only up to a bound and the rest is read and dropped, so memory stays
        // bounded while the exchange runs to its time-out.
        if (buffer.size() < MaxReply)
            buffer = trimSpaces(buffer + QString::fromLatin1(piece.left(MaxReply - buffer.size())));
        pump.pumpOnce();
        const quint32 elapsed = clock.tickCount() - start;
        if (qint64(elapsed) >= qint64(TT) || buffer.contains(u'\r') || WaitContext::ending())
            break;
        if (arrivals == 0)
            pump.waitForEvents(qint64(TT) - qint64(elapsed));
    }
    return buffer;
}
