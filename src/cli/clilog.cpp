#include "cli/clilog.h"

#include "cli/cliargs.h"
#include "cli/clirun.h"

CliTrafficLog::CliTrafficLog(Clock &clock, const CliStreams &streams) : m_recorder(m_log, clock)
{
    QObject::connect(&m_log, &TrafficLog::added, &m_file, &TrafficFile::append);
    // A log that fails (a full disk, a file taken away) is told once and stops; the bench's work
    // goes on and keeps its own exit status.
    QObject::connect(&m_file, &TrafficFile::failed, [err = streams.err](const QString &message) {
        err(QStringLiteral("the log stopped: %1").arg(message));
    });
}

CliTrafficLog::~CliTrafficLog()
{
    m_file.close();
}

QString CliTrafficLog::open(const QString &path)
{
    return m_file.open(path);
}

bool openRequestedLog(std::optional<CliTrafficLog> &log, const CliRequest &request, Clock &clock,
                      const CliStreams &streams)
{
    if (request.logPath.isEmpty())
        return true;
    log.emplace(clock, streams);
    const QString error = log->open(request.logPath);
    if (error.isEmpty())
        return true;
    streams.err(QStringLiteral("--log: %1").arg(error));
    return false;
}
