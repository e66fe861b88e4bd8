#pragma once

#include "cli/cliargs.h"
#include "link/commandlink.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>

class CommPort;
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

// Thrown to end a command once the run is ending: nothing more is asked.
struct CliInterrupted
{
};

// What the serial commands and the converter's share: the request, the waits, where the words go,
// and how a run ends. The waits end at once when waits' ending flag is set (the user's interrupt):
// what was gathered so far is told, and the status is CliExit::Interrupted.
class CliRunBase
{
protected:
    CliRunBase(const CliRequest &request, WaitContext &waits, const CliStreams &streams);
    ~CliRunBase() = default;

    // Runs the command; then closing, whatever happened. An interrupt, or a port or connection
    // that fails, ends the command; it has told what it gathered on its way out.
    int finish(const std::function<int()> &command, const std::function<void()> &closing);

    bool ending() const;
    // The user's time-out in place of the operation's, when one was given.
    qint32 timeoutFor(qint32 operationMs) const;
    void showProgress(const QString &text) const;
    // The document with -j; the lines otherwise.
    void print(const QJsonValue &document, const QStringList &lines) const;

    const CliRequest &m_request;
    WaitContext &m_waits;
    CliStreams m_streams;
};

// The commands of the serial port: send, scan, info, read, set and config.
class CliRun : private CliRunBase
{
public:
    CliRun(const CliRequest &request, CommPort &port, WaitContext &waits,
           const CliStreams &streams);

    int run();

private:
    int send();
    int scan();
    int scanAllSettings();
    int info();
    int read();
    int set();
    int config();

    void openPort(int inputMode);
    // One exchange; nothing more goes on the line once the run is ending.
    QString ask(const QString &command, bool withChecksum, qint32 timeoutMs);
    QString rtuScanStep(const QString &address);

    CommPort &m_port;
    CommandLink m_link;
    ExchangeRecord m_lastExchange;
};
