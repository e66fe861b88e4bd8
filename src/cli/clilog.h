#pragma once

#include "monitor/trafficfile.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficrecorder.h"

#include <QString>

class Clock;
struct CliStreams;

// --log FILE: the record of a run kept in a file, the same lines the window's Log to file writes
// (CSV when the name ends in .csv), flushed as they come and rotated at the same size.
class CliTrafficLog
{
public:
    CliTrafficLog(Clock &clock, const CliStreams &streams);
    ~CliTrafficLog();  // writes what is still pending, then closes

    // Opens the file for appending; the file and the reason when it cannot be.
    QString open(const QString &path);
    TrafficRecorder &recorder() { return m_recorder; }

private:
    TrafficLog m_log;
    TrafficRecorder m_recorder;
    TrafficFile m_file;
};
