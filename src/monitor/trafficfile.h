#pragma once

#include "monitor/trafficlog.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

// Traffic entries in a file, one line each: a name ending in ".csv" gives CSV (RFC 4180) with a
// header row and the columns time, channel, direction, hex, text and verdict; any other name
// gives the lines as the Traffic window shows them.
bool isCsvName(const QString &path);
QByteArray csvHeader();
// The entry's line with its line end, in UTF-8; hex: plain lines show the bytes in hexadecimal.
QByteArray trafficFileLine(const TrafficEntry &entry, bool csv, bool hex);

// Writes the entries to path, replacing what it held. The error text (naming the file and the
// reason), empty when every line was written.
QString saveTraffic(const QString &path, const std::vector<TrafficEntry> &entries, bool hex);

// A log that grows by every entry appended. The lines go to the system, with no buffer of the
// program's own, at the next pass of the event loop, which comes at the latest when the exchange
// waits for its reply: the exchange does not wait for the disk, and a crash of the program loses
// at most the entries of that moment. A file that reaches the rotation size goes on in the next
// free running number: bench.log, bench.1.log, bench.2.log. A write that fails stops the log and
// says so once.
class TrafficFile : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultRotateBytes = qint64(64) * 1024 * 1024;

    explicit TrafficFile(QObject *parent = nullptr);
    ~TrafficFile() override;

    // Starts logging to path, after what it already holds (closing any log open before). The
    // error text (naming the file and the reason), empty when the log is open.
    QString open(const QString &path);
    void append(const TrafficEntry &entry);
    // Writes what was appended and is not written yet (close does too).
    void flush();
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    // The file now written (a numbered one once rotated) and its size.
    QString fileName() const { return m_file.fileName(); }
    qint64 size() const { return m_size; }
    void setRotateBytes(qint64 bytes) { m_rotateBytes = bytes; }
    // Plain lines with the bytes in hexadecimal, as the window shows them with Hex.
    void setHex(bool hex) { m_hex = hex; }

    // path with a running number before its suffix: bench.log, 2 gives bench.2.log.
    static QString numberedName(const QString &path, int number);

signals:
    // Writing stopped (disk full, file removed, device gone): the log is closed. Once per open.
    void failed(const QString &message);

private:
    QString openFile(const QString &path);
    bool write(const QByteArray &lines);
    bool rotate();
    void fail(const QString &reason);
    // Whether the name still leads to the file written (not removed or replaced).
    bool stillThere() const;

    QFile m_file;
    std::vector<TrafficEntry> m_pending;
    QTimer m_flush;
    QString m_firstName;
    int m_number = 0;
    bool m_csv = false;
    bool m_hex = false;
    qint64 m_size = 0;
    qint64 m_entries = 0;  // lines in the file now written, from this run
    qint64 m_rotateBytes = DefaultRotateBytes;
    qint64 m_checkAt = 0;  // wall time of the next look whether the file is still there
};
