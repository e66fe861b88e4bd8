#pragma once

#include "cli/cliargs.h"
#include "cli/clirun.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/waits.h"

#include "platform/os.h"

#include <optional>

// The command line of the running program, read and checked. Help, the version and a usage error
// are told here; then nothing comes back and *status holds the exit status.
std::optional<CliRequest> cliRequest(int *status);

// What a program of the tool runs on: the real clock and event pump, the user's interrupt ending
// every wait, and its words on the standard streams: results on standard output, reasons on
// standard error, progress on a terminal only and never with -j or -q.
class CliProgram
{
public:
    explicit CliProgram(const CliRequest &request);

    Clock &clock() { return m_clock; }
    WaitContext &waits() { return m_waits; }
    const CliStreams &streams() const { return m_streams; }

private:
    void clearProgress();

    SteadyClock m_clock;
    QtEventPump m_pump;
    WaitContext m_waits{m_clock, m_pump};
    Os::InterruptWatch m_interrupts;
    CliStreams m_streams;
    bool m_progressShown = false;
};

// Runs console and loop in mirvel-cli-converter, with this program's arguments and standard
// streams, and returns its exit status; an interrupt is passed on to it.
int runConverterProgram();
