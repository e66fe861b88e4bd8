// mirvel-cli: the bench operations of the window from the command line, on the same core. The
// serial commands run here; console and loop in mirvel-cli-converter, so that this program links
// no network library and starts as quickly as a bare program opening the port.
#include "cli/clilog.h"
#include "cli/cliprogram.h"
#include "cli/clirun.h"
#include "link/serialcommport.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int status = 0;
    const std::optional<CliRequest> request = cliRequest(&status);
    if (!request)
        return status;
    if (request->command == CliRequest::Command::Console ||
        request->command == CliRequest::Command::Loop)
        return runConverterProgram();

    CliProgram program(*request);
    SerialCommPort port;
    port.setCommPort(request->comNumber);
    port.setDevicePath(request->devicePath);
    CliRun run(*request, port, program.waits(), program.streams());
    std::optional<CliTrafficLog> log;
    if (!openRequestedLog(log, *request, program.clock(), program.streams()))
        return CliExit::Usage;
    if (log) {
        log->recorder().watchSerial(port);
        QObject::connect(&run.link(), &CommandLink::exchanged, &log->recorder(),
                         &TrafficRecorder::exchanged);
    }
    return run.run();
}
