#pragma once

#include "monitor/trafficfile.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficrecorder.h"

#include <QString>

#include <optional>

class Clock;
struct CliRequest;
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

// The log of --log, when the request asks for one, opened before anything goes on the line. False
// when the file cannot be opened: the reason has been told, and nothing is to be sent.
bool openRequestedLog(std::optional<CliTrafficLog> &log, const CliRequest &request, Clock &clock,
                      const CliStreams &streams);
