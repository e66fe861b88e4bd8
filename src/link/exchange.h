#pragma once

#include <QString>

class CommPort;

// One ASCII command out, one reply line back, over the serial port.
class CommandExchange
{
public:
    explicit CommandExchange(CommPort &port) : m_port(port) {}

    // Drops unread input, writes the command (with its checksum when CHK_SUM is true, in which
    // case Send_Data becomes the trimmed, upper-cased command plus checksum) and a carriage
    // return, then collects the reply until it holds a carriage return or TT milliseconds have
    // passed. The window's events run meanwhile. Returns what arrived, trimmed, carriage return
    // kept; empty when nothing came. Throws CommError on a closed port and FormatError for a
    // command that cannot be sent; in both cases nothing is written.
    QString Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT);

private:
    CommPort &m_port;
};
