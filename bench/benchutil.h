#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

#include <sys/resource.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

// One row of the benchmark table: a figure of the program beside a baseline measured in the same
// run on the same machine.
struct BenchRow
{
    QString what;
    double ours;
    double baseline;
    QString unit;
    QString target;  // e.g. "ratio <= 2"
    bool met;
};

inline double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU seconds (user + system) of the whole process so far.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process in KiB.
long residentKiB();

void addRow(QVector<BenchRow> &rows, const QString &what, double ours, double baseline,
            const QString &unit, const QString &target, bool met);

// Runs the event loop for ms milliseconds.
void spin(int ms);
// CPU seconds per second of this process asleep for one second: what any figure of CPU per
// second is compared with.
double idleCpu();

// mirvel-sim as a process of its own, linked as COMn in the private runtime folder, so that the
// simulator's work does not land on the program's thread.
class SimProcess
{
public:
    SimProcess(int com, const QStringList &arguments);
    ~SimProcess();

    // The pseudo-terminal the link points to.
    QString device() const;

private:
    QString m_link;
    QProcess m_process;
};

// A free TCP port on 127.0.0.1.
quint16 freePort();

// A pseudo-terminal linked as COMn whose far end a thread of this process plays, so only the
// program's side of a round trip is measured: module 01 answers "$01F" at once, and on request
// the line streams bytes as fast as they are read.
class PeerPty
{
public:
    explicit PeerPty(int com);
    ~PeerPty();

    QString slavePath() const { return m_slave; }
    // Bytes with no carriage return, added to what is still to stream.
    void stream(qint64 bytes) { m_toStream += bytes; }
    qint64 streamed() const { return m_streamed; }
    qint64 pending() const { return m_toStream; }
    // When the first byte read since armFirstRead() arrived (nowSeconds()); 0 until one has.
    void armFirstRead() { m_firstRead = 0; }
    double firstReadAt() const { return m_firstRead; }

private:
    void run();

    int m_master = -1;
    int m_keepSlave = -1;
    QString m_slave;
    QString m_link;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_toStream{0};
    std::atomic<qint64> m_streamed{0};
    std::atomic<double> m_firstRead{0};
    std::thread m_thread;
};
