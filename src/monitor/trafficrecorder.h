#pragma once

#include "monitor/trafficlog.h"

#include <QTimer>

class Clock;
class CommPort;
class ConverterSocket;
struct ExchangeRecord;

// Writes what passes on the serial line and the converter connection into the log: every write
// and every piece read, each ASCII exchange's outcome, and in Modbus RTU mode the received bytes
// grouped into frames by the line's silent interval, each judged by its CRC.
class TrafficRecorder : public QObject
{
    Q_OBJECT
public:
    TrafficRecorder(TrafficLog &log, Clock &clock, QObject *parent = nullptr);

    // The serial line to record.
    void watchSerial(CommPort &port);
    // The converter connection to record. Apart from the serial line, in a file of its own, so
    // that a program that records the serial line alone links no network library.
    void watchConverter(ConverterSocket &socket);

    void exchanged(const ExchangeRecord &record);
    void note(const QString &channel, const QString &text);
    QString serialChannel() const;
    QString tcpChannel() const;

    // The silence that ends a Modbus RTU frame at a rate: 3.5 character times, at least 2 ms.
    static int frameGapMs(int rate);

private:
    void add(const QString &channel, TrafficEntry::Kind kind, const QByteArray &bytes);
    void serialIn(const QByteArray &bytes);
    void endFrame();

    TrafficLog &m_log;
    CommPort *m_port = nullptr;
    ConverterSocket *m_socket = nullptr;
    Clock &m_clock;
    QByteArray m_frame;  // Modbus RTU bytes received since the last silence
    // While the frame is one piece: the bytes its entry keeps (at most MaxBytes of it).
    QByteArray m_frameHead;
    // The channel names as last made, and what they were made from: every entry of a channel
    // then shares one text.
    mutable int m_namedPort = -1;
    mutable QString m_namedSettings;
    mutable QString m_serialChannel;
    mutable QString m_namedHost;
    mutable qint32 m_namedRemotePort = -1;
    mutable QString m_tcpChannel;
    quint32 m_lastIn = 0;
    QTimer m_silence;
};

// What a reply's last two characters before its carriage return say of the rest: "ok" when they
// are its checksum, "wrong" when they are two hexadecimal digits that are not, "none" otherwise.
QString replyChecksumVerdict(const QString &reply);
// A Modbus RTU frame judged by its CRC, with an exception reply named by its code.
QString rtuFrameVerdict(const QByteArray &frame);
