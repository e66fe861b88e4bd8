// mirvel-cli: the bench operations of the window from the command line, on the same core.
#include "cli/cliargs.h"
#include "cli/clirun.h"
#include "link/clock.h"
#include "link/eventpump.h"
#include "link/serialcommport.h"
#include "link/waits.h"

#include "platform/os.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const CliParse parse =
        parseCommandLine(QCoreApplication::arguments(), Os::standardInputIsTerminal());
    switch (parse.kind) {
        case CliParse::Help:
        case CliParse::Version:
            write(stdout, parse.text);
            return CliExit::Ok;
        case CliParse::Usage:
            write(stderr, QStringLiteral("mirvel-cli: %1\n").arg(parse.text));
            return CliExit::Usage;
        case CliParse::Run:
            break;
    }
    const CliRequest &request = parse.request;

    SteadyClock clock;
    QtEventPump pump;
    WaitContext waits(clock, pump);
    // Ctrl-C (or a request to end) ends every wait at once; the run then closes the port and
    // tells what it has.
    Os::InterruptWatch interrupts;
    QObject::connect(&interrupts, &Os::InterruptWatch::interrupted,
                     [&waits] { waits.setEnding(true); });

    SerialCommPort port;
    port.setCommPort(request.comNumber);
    port.setDevicePath(request.devicePath);

    // The progress line is redrawn in place, and taken away before anything else is written.
    bool progressShown = false;
    auto clearProgress = [&progressShown] {
        if (progressShown)
            write(stderr, QStringLiteral("\r\x1b[K"));
        progressShown = false;
    };
    CliStreams streams;
    streams.out = [&](const QString &text) {
        clearProgress();
        write(stdout, text);
    };
    streams.err = [&](const QString &line) {
        clearProgress();
        write(stderr, QStringLiteral("mirvel-cli: %1\n").arg(line));
    };
    if (!request.json && !request.quiet && Os::standardErrorIsTerminal()) {
        streams.progress = [&](const QString &text) {
            if (text.isEmpty()) {
                clearProgress();
                return;
            }
            write(stderr, QStringLiteral("\r%1\x1b[K").arg(text));
            progressShown = true;
        };
    }
    streams.confirm = [&](const QString &question) {
        clearProgress();
        write(stderr, question);
        Os::InputLine input;
        bool answered = false;
        QString answer;
        QObject::connect(&input, &Os::InputLine::lineRead, [&](const QString &line) {
            answer = line.trimmed().toLower();
            answered = true;
        });
        while (!answered && !waits.ending())
            pump.waitForEvents(-1);
        if (!answered)
            write(stderr, QStringLiteral("\n"));
        return answer == QLatin1String("y") || answer == QLatin1String("yes");
    };

    CliRun run(request, port, clock, waits, streams);
    return run.run();
}
