#pragma once

#include <QString>
#include <QVector>

#include <algorithm>
#include <chrono>
#include <sys/resource.h>

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
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds (user + system) of the whole process so far.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of the calling thread only.
inline double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process in KiB.
long residentKiB();

void addRow(QVector<BenchRow> &rows, const QString &what, double ours, double baseline,
            const QString &unit, const QString &target, bool met);
