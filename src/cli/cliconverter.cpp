#include "cli/cliconverter.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/convertersocket.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/loopverdict.h"
#include "link/sequences.h"
#include "link/waits.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QScopeGuard>

#include <cmath>

namespace {

// How long the console listens after a command when no -t is given: the tool's own choice, the
// window's console listens for as long as it is open.
constexpr qint32 ConsoleListenMs = 1000;
// The loop test's counts are shown at most this often while characters stream.
constexpr quint32 LoopProgressMs = 100;
// The socket gives up a connection that takes too long only when its state is asked for: asked
// this often while the connection is being made.
constexpr qint64 ConnectPollMs = 100;

}  // namespace

CliConverterRun::CliConverterRun(const CliRequest &request, Clock &clock, WaitContext &waits,
                                 const CliStreams &streams)
    : CliRunBase(request, waits, streams), m_clock(clock)
{
}

int CliConverterRun::run()
{
    return finish(
        [this] { return m_request.command == CliRequest::Command::Loop ? loop() : console(); },
        [] {});
}

void CliConverterRun::connectTo(ConverterSocket &socket)
{
    socket.setRemoteHost(m_request.host);
    socket.setRemotePort(m_request.tcpPort);
    socket.Connect();
    for (;;) {
        const int state = socket.State();
        if (state == ConverterSocket::Connected)
            return;
        if (state == ConverterSocket::Error || state == ConverterSocket::Closed ||
            state == ConverterSocket::Closing)
            throw CommError(
                QStringLiteral("%1 port %2: %3")
                    .arg(m_request.host, QString::number(m_request.tcpPort), socket.errorString()));
        if (ending())
            throw CliInterrupted{};
        m_waits.pump().waitForEvents(ConnectPollMs);
    }
}

int CliConverterRun::console()
{
    ConverterSocket socket(m_clock);
    connectTo(socket);
    QString received;
    bool closed = false;
    QObject::connect(&socket, &ConverterSocket::DataArrival,
                     [&](qint32) { received += socket.GetData(); });
    QObject::connect(&socket, &ConverterSocket::CloseEvent, [&] { closed = true; });
    QJsonArray items;
    bool ok = true;
    const auto report = qScopeGuard([&] { print(items, {}); });
    for (const QString &text : m_request.texts) {
        if (ending())
            break;
        const QString command = trimSpaces(text);
        received.clear();
        sendConsoleCommand(socket, m_waits, command);
        Delay(m_waits, timeoutFor(ConsoleListenMs));
        items.append(QJsonObject{{"command", command}, {"received", received}});
        if (!m_request.json) {
            QString shown = received;
            shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
            m_streams.out(shown.endsWith(u'\n') ? shown : shown + QLatin1Char('\n'));
        }
        if (received.isEmpty() && !ending()) {
            ok = false;
            m_streams.err(QStringLiteral("%1: nothing came back").arg(command));
        }
        if (closed) {
            m_streams.err(QStringLiteral("the converter closed the connection"));
            return CliExit::Failed;
        }
    }
    return ok ? CliExit::Ok : CliExit::Failed;
}

int CliConverterRun::loop()
{
    ConverterSocket socket(m_clock);
    connectTo(socket);
    LoopVerdict verdict;
    verdict.start();
    quint32 shownAt = m_waits.now();
    int pass = 1;
    auto progress = [&] {
        const quint32 now = m_waits.now();
        if (now - shownAt < LoopProgressMs)
            return;
        shownAt = now;
        showProgress(QStringLiteral("Pass %1 of %2: %3")
                         .arg(pass)
                         .arg(m_request.passes)
                         .arg(verdict.summary()));
    };
    QObject::connect(&socket, &ConverterSocket::DataArrival, [&](qint32) {
        verdict.received(socket.GetData(), m_waits.now());
        progress();
    });
    const auto report = qScopeGuard([&] {
        verdict.lose();
        print(QJsonObject{{"sent", verdict.sentCount()},
                          {"echoed", verdict.echoed()},
                          {"wrong", verdict.wrong()},
                          {"missing", verdict.missing()},
                          {"extra", verdict.extra()},
                          {"chars_per_s", std::round(verdict.pace() * 10) / 10}},
              {verdict.summary()});
    });

    auto linkStands = [&] { return !ending() && socket.State() == ConverterSocket::Connected; };
    auto sent = [&](QChar c) {
        verdict.sent(c, m_waits.now());
        progress();
    };
    auto pause = [this] { return m_request.delayMs; };
    bool whole = true;
    for (; pass <= m_request.passes && whole; ++pass) {
        for (const QString &text : LoopPatterns()) {
            whole = sendLoopText(socket, m_waits, text, linkStands, sent, pause);
            if (!whole)
                break;
        }
    }
    pass = qMin(pass, m_request.passes);
    // The last characters may still be on their way back.
    const quint32 stopped = m_waits.now();
    for (;;) {
        verdict.expire(m_waits.now());
        const quint32 waited = m_waits.now() - stopped;
        if (!verdict.outstanding() || waited >= LoopVerdict::EchoLimitMs || !linkStands())
            break;
        m_waits.pump().waitForEvents(LoopVerdict::EchoLimitMs - waited);
    }
    verdict.lose();
    if (!whole && !ending()) {
        m_streams.err(QStringLiteral("the converter closed the connection"));
        return CliExit::Failed;
    }
    const bool clean = verdict.sentCount() > 0 && verdict.wrong() == 0 && verdict.missing() == 0 &&
                       verdict.extra() == 0;
    if (!clean && !ending())
        m_streams.err(QStringLiteral("what came back differs from what was sent"));
    return clean ? CliExit::Ok : CliExit::Failed;
}
