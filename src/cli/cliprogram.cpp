#include "cli/cliprogram.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace {

void write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

}  // namespace

std::optional<CliRequest> cliRequest(int *status)
{
    const CliParse parse =
        parseCommandLine(QCoreApplication::arguments(), Os::standardInputIsTerminal());
    switch (parse.kind) {
        case CliParse::Run:
            return parse.request;
        case CliParse::Help:
        case CliParse::Version:
            write(stdout, parse.text);
            *status = CliExit::Ok;
            return std::nullopt;
        case CliParse::Usage:
            break;
    }
    write(stderr, QStringLiteral("mirvel-cli: %1\n").arg(parse.text));
    *status = CliExit::Usage;
    return std::nullopt;
}

CliProgram::CliProgram(const CliRequest &request)
{
    // Ctrl-C (or a request to end) ends every wait at once; the run then closes the port and
    // tells what it has.
    QObject::connect(&m_interrupts, &Os::InterruptWatch::interrupted,
                     [this] { m_waits.setEnding(true); });

    m_streams.out = [this](const QString &text) {
        clearProgress();
        write(stdout, text);
    };
    m_streams.err = [this](const QString &line) {
        clearProgress();
        write(stderr, QStringLiteral("mirvel-cli: %1\n").arg(line));
    };
    if (!request.json && !request.quiet && Os::standardErrorIsTerminal()) {
        // Redrawn in place, and taken away before anything else is written.
        m_streams.progress = [this](const QString &text) {
            if (text.isEmpty()) {
                clearProgress();
                return;
            }
            write(stderr, QStringLiteral("\r%1\x1b[K").arg(text));
            m_progressShown = true;
        };
    }
    m_streams.confirm = [this](const QString &question) {
        clearProgress();
        write(stderr, question);
        Os::InputLine input;
        bool answered = false;
        QString answer;
        QObject::connect(&input, &Os::InputLine::lineRead, [&](const QString &line) {
            answer = line.trimmed().toLower();
            answered = true;
        });
        while (!answered && !m_waits.ending())
            m_pump.waitForEvents(-1);
        if (!answered)
            write(stderr, QStringLiteral("\n"));
        return answer == QLatin1String("y") || answer == QLatin1String("yes");
    };
}

void CliProgram::clearProgress()
{
    if (m_progressShown)
        write(stderr, QStringLiteral("\r\x1b[K"));
    m_progressShown = false;
}

int runConverterProgram()
{
    // Installed in its own folder, or beside mirvel-cli in a build folder.
    const QString here = QCoreApplication::applicationDirPath();
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("mirvel-cli-converter"),
                                       {here + QStringLiteral("/" MIRVEL_CLI_CONVERTER_DIR), here});
    if (program.isEmpty()) {
        write(stderr, QStringLiteral("mirvel-cli: mirvel-cli-converter, which runs console and "
                                     "loop, is not installed beside %1\n")
                          .arg(here));
        return CliExit::NoPort;
    }
    QProcess converter;
    converter.setProgram(program);
    converter.setArguments(QCoreApplication::arguments().mid(1));
    converter.setProcessChannelMode(QProcess::ForwardedChannels);
    converter.setInputChannelMode(QProcess::ForwardedInputChannel);
    // A Ctrl-C on the terminal reaches both programs; an interrupt sent to this one alone is
    // passed on, and the converter's program ends as it would.
    Os::InterruptWatch interrupts;
    QObject::connect(&interrupts, &Os::InterruptWatch::interrupted, &converter,
                     &QProcess::terminate);
    QEventLoop loop;
    QObject::connect(&converter, &QProcess::finished, &loop, &QEventLoop::quit);
    converter.start();
    if (!converter.waitForStarted()) {
        write(stderr, QStringLiteral("mirvel-cli: %1: %2\n").arg(program, converter.errorString()));
        return CliExit::NoPort;
    }
    loop.exec();
    return converter.exitStatus() == QProcess::NormalExit ? converter.exitCode()
                                                          : int(CliExit::Failed);
}
