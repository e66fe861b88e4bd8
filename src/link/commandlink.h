#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

class CommPort;
class WaitContext;

// One ASCII exchange as it went: what was written, and what came back when.
struct ExchangeRecord
{
    QByteArray line;        // the command as written, carriage return included
    bool checksum = false;  // the command carried a checksum
    QString reply;          // what Response returned
    qint32 timeoutMs = 0;
    bool answered = false;  // a carriage return came before the time-out
    quint32 elapsedMs = 0;  // from the write to the reply's end, or to the time-out
};

// The command link every page talks through: the one ASCII exchange, the Modbus RTU frame output
// and the wait, over the serial port.
class CommandLink : public QObject
{
    Q_OBJECT
public:
    CommandLink(CommPort &port, WaitContext &waits, QObject *parent = nullptr);

    CommPort &port() const { return m_port; }
    WaitContext &waits() const { return m_waits; }

    // Drops unread input, writes the command (with its checksum when CHK_SUM is true, in which
    // case Send_Data becomes the trimmed, upper-cased command plus checksum) and a carriage
    // return, then collects the reply until it holds a carriage return or TT milliseconds have
    // passed. The window's events run meanwhile. Returns what arrived, trimmed, carriage return
    // kept; empty when nothing came. Throws CommError on a closed port and FormatError for a
    // command that cannot be sent; in both cases nothing is written.
    QString Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT);
    // Response on a copy of the command, for callers that keep their own text as built.
    QString ask(const QString &command, bool withChecksum, qint32 timeoutMs);

    // Writes a Modbus RTU frame in one piece. Throws CommError when the port is closed.
    void OutputFrame(const QByteArray &frame);

    // Lets ms milliseconds pass while the window's events run.
    void Delay(qint32 ms);

signals:
    void exchanged(const ExchangeRecord &record);

private:
    CommPort &m_port;
    WaitContext &m_waits;
    quint64 m_arrivals = 0;  // the port's arrival notices, so a wait never sleeps on bytes read
};
