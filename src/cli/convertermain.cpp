// mirvel-cli-converter: mirvel-cli's console and loop, the one program of the tool that links the
// network library. mirvel-cli runs it with its own arguments and standard streams.
#include "cli/cliconverter.h"
#include "cli/clilog.h"
#include "cli/cliprogram.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int status = 0;
    const std::optional<CliRequest> request = cliRequest(&status);
    if (!request)
        return status;
    if (request->command != CliRequest::Command::Console &&
        request->command != CliRequest::Command::Loop) {
        std::fputs(
            "mirvel-cli: mirvel-cli-converter runs console and loop; the other commands "
            "are mirvel-cli's\n",
            stderr);
        return CliExit::Usage;
    }
    CliProgram program(*request);
    CliConverterRun run(*request, program.clock(), program.waits(), program.streams());
    std::optional<CliTrafficLog> log;
    if (!openRequestedLog(log, *request, program.clock(), program.streams()))
        return CliExit::Usage;
    if (log)
        run.watching = [&log](ConverterSocket &socket) { log->recorder().watchConverter(socket); };
    return run.run();
}
