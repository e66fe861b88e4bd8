#pragma once

#include "cli/clirun.h"

class Clock;
class ConverterSocket;

// The converter's commands, console and loop, over a TCP connection of their own. They run in
// mirvel-cli-converter, the one program of the tool that links the network library.
class CliConverterRun : private CliRunBase
{
public:
    CliConverterRun(const CliRequest &request, Clock &clock, WaitContext &waits,
                    const CliStreams &streams);

    int run();

private:
    int console();
    int loop();
    void connectTo(ConverterSocket &socket);

    Clock &m_clock;
};
