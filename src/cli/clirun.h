#pragma once

#include "cli/cliargs.h"
#include "link/commandlink.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>

class Clock;
class CommPort;
class ConverterSocket;
class WaitContext;

// Where the tool's words go: the results on standard output, the reasons on standard error, the
// progress of a scan or a loop test on a terminal, and the question before a configuration write.
struct CliStreams
{
    std::function<void(const QString &text)> out;  // whole lines, each with its end
    std::function<void(const QString &line)> err;  // one line, without its end
    // The one progress line; an empty text takes it away. Null: no progress is shown.
    std::function<void(const QString &text)> progress;
    // True when the answer is yes.
    std::function<bool(const QString &question)> confirm;
};

namespace CliExit {
enum : int { Ok = 0, Failed = 1, Usage = 2, NoPort = 3, Interrupted = 130 };
}

// Runs one checked request, over the serial port or over a connection to the converter of its
// own, and tells how it went as the exit status. The waits end at once when waits' ending flag is
// set (the user's interrupt): the port is closed, what was gathered so far is told, and the status
// is CliExit::Interrupted.
class CliRun
{
public:
    CliRun(const CliRequest &request, CommPort &port, Clock &clock, WaitContext &waits,
           const CliStreams &streams);
    ~CliRun();

    int run();

private:
    int send();
    int scan();
    int scanAllSettings();
    int info();
    int read();
    int set();
    int config();
    int console();
    int loop();

    void openPort(int inputMode);
    void connectTo(ConverterSocket &socket);
    // One exchange, with the user's time-out in place of the operation's when one was given.
    // Nothing more goes on the line once the run is ending.
    QString ask(const QString &command, bool withChecksum, qint32 timeoutMs);
    QString rtuScanStep(const QString &address);
    qint32 timeoutFor(qint32 operationMs) const;
    void showProgress(const QString &text) const;
    void print(const QJsonValue &document, const QStringList &lines) const;
    bool ending() const;

    const CliRequest &m_request;
    CommPort &m_port;
    Clock &m_clock;
    WaitContext &m_waits;
    CliStreams m_streams;
    CommandLink m_link;
    ExchangeRecord m_lastExchange;
};
