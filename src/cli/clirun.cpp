#include "cli/clirun.h"

#include "link/checksum.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/rtuframe.h"
#include "link/sequences.h"
#include "link/waits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

namespace {

// A reply up to its carriage return, without it.
QString lineOf(const QString &reply)
{
    const qsizetype end = reply.indexOf(u'\r');
    return end < 0 ? reply : reply.left(end);
}

bool answered(const QString &reply)
{
    return reply.contains(u'\r');
}

// One line for standard error: the command, and what it got back or the words for nothing.
QString failureLine(const QString &command, const QString &reply, const QString &nothing)
{
    return QStringLiteral("%1: %2").arg(
        command, answered(reply) ? QStringLiteral("answered ") + lineOf(reply) : nothing);
}

// What came back, without its carriage return; null when nothing did.
QJsonValue replyJson(const QString &reply)
{
    return reply.isEmpty() ? QJsonValue() : QJsonValue(lineOf(reply));
}

QString description(const QString &modelCode, ScanKind kind)
{
    return ModelTable(modelCode, kind).simplified();
}

// A grid row as the window shows it: 01  QRD-E41  16 CH DO  9600  Disable.
QString rowText(const ScanRow &row)
{
    return QStringList{row.address, row.name, row.description.simplified(), row.baudRate,
                       row.checksum}
               .join(QStringLiteral("  ")) +
           QLatin1Char('\n');
}

QJsonObject rowJson(const ScanRow &row)
{
    return {{"address", row.address},
            {"name", row.name},
            {"description", row.description.simplified()},
            {"baud", row.baudRate.toInt()},
            {"checksum", row.checksum == checksumText(true)}};
}

}  // namespace

CliRunBase::CliRunBase(const CliRequest &request, WaitContext &waits, const CliStreams &streams)
    : m_request(request), m_waits(waits), m_streams(streams)
{
}

int CliRunBase::finish(const std::function<int()> &command, const std::function<void()> &closing)
{
    int status = CliExit::Ok;
    try {
        status = command();
    } catch (const CliInterrupted &) {
        // What was gathered has been told on the way out of the command.
    } catch (const CommError &error) {
        // The port could not be opened, or went away during the run; a connection likewise.
        m_streams.err(error.message());
        status = CliExit::NoPort;
    } catch (const LinkError &error) {
        // Every text was checked before the run; this is a fault of the tool, told as such
        // rather than ending it without a word.
        m_streams.err(error.message());
        status = CliExit::Failed;
    }
    closing();
    showProgress(QString());
    return ending() ? int(CliExit::Interrupted) : status;
}

bool CliRunBase::ending() const
{
    return m_waits.ending();
}

qint32 CliRunBase::timeoutFor(qint32 operationMs) const
{
    return m_request.timeoutMs > 0 ? m_request.timeoutMs : operationMs;
}

void CliRunBase::showProgress(const QString &text) const
{
    if (m_streams.progress)
        m_streams.progress(text);
}

void CliRunBase::print(const QJsonValue &document, const QStringList &lines) const
{
    if (m_request.json) {
        const QJsonDocument json = document.isArray() ? QJsonDocument(document.toArray())
                                                      : QJsonDocument(document.toObject());
        m_streams.out(QString::fromUtf8(json.toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        return;
    }
    for (const QString &line : lines)
        m_streams.out(line + QLatin1Char('\n'));
}

CliRun::CliRun(const CliRequest &request, CommPort &port, WaitContext &waits,
               const CliStreams &streams)
    : CliRunBase(request, waits, streams), m_port(port), m_link(port, waits)
{
    QObject::connect(&m_link, &CommandLink::exchanged,
                     [this](const ExchangeRecord &record) { m_lastExchange = record; });
}

int CliRun::run()
{
    using C = CliRequest::Command;
    return finish(
        [this]() -> int {
            switch (m_request.command) {
                case C::Send:
                    return send();
                case C::Scan:
                    return m_request.allSettings ? scanAllSettings() : scan();
                case C::Info:
                    return info();
                case C::Read:
                    return read();
                case C::Set:
                    return set();
                case C::Config:
                    return config();
                case C::Console:
                case C::Loop:
                    break;
            }
            // The converter commands run in mirvel-cli-converter (CliConverterRun).
            m_streams.err(QStringLiteral("not a command of the serial port"));
            return CliExit::Usage;
        },
        [this] {
            if (m_port.portOpen())
                m_port.setPortOpen(false);
        });
}

void CliRun::openPort(int inputMode)
{
    m_port.setSettings(lineSettings(rateField(rateIndex(m_request.rate))));
    m_port.setInputMode(inputMode);
    m_port.setPortOpen(true);
}

QString CliRun::ask(const QString &command, bool withChecksum, qint32 timeoutMs)
{
    if (ending())
        throw CliInterrupted{};
    return m_link.ask(command, withChecksum, timeoutFor(timeoutMs));
}

int CliRun::send()
{
    openPort(0);
    QJsonArray items;
    bool ok = true;
    const auto report = qScopeGuard([&] { print(items, {}); });
    for (const QString &command : m_request.texts) {
        const QString reply = ask(command, m_request.checksum, Timeouts::Terminal);
        items.append(QJsonObject{{"command", command},
                                 {"sent", QString::fromLatin1(m_lastExchange.line.chopped(1))},
                                 {"reply", replyJson(reply)},
                                 {"ms", qint64(m_lastExchange.elapsedMs)}});
        // The terminal's own way: the reply and a line end, an empty line when none came.
        if (!m_request.json)
            m_streams.out(lineOf(reply) + QLatin1Char('\n'));
        if (!answered(reply))
            m_streams.err(QStringLiteral("%1: no reply within %2 ms")
                              .arg(command, QString::number(timeoutFor(Timeouts::Terminal))));
        ok = ok && answered(reply) && isAccepted(reply);
        if (ending())
            break;
    }
    return ok ? CliExit::Ok : CliExit::Failed;
}

QString CliRun::rtuScanStep(const QString &address)
{
    // As the window's step: the pause, then the request; the answer read is the previous
    // request's, which came in since.
    m_link.Delay(Timeouts::ScanRtuPause);
    if (ending())
        throw CliInterrupted{};
    const QString received = trimSpaces(hexDump(m_port.input()));
    m_link.OutputFrame(BuildRtuFrame(rtuIdentificationRequest(address)));
    return rtuIdentificationFromDump(received);
}

int CliRun::scan()
{
    openPort(m_request.rtu ? 1 : 0);
    const QString baud = settingsRate(m_port.settings());
    const QString checksum = checksumText(m_request.checksum);
    // Up to FF the window's scan makes one step more, with no address: in Modbus RTU mode it is
    // the one that reads the answer from FF.
    const int last = m_request.last == 255 ? 256 : m_request.last;
    const int total = last - m_request.first + 1;
    QJsonArray modules;
    int asked = 0;
    const auto report = qScopeGuard([&] {
        print(QJsonObject{{"modules", modules}, {"asked", asked}}, {});
    });
    auto take = [&](const QString &reply) {
        if (!isAccepted(reply))
            return;
        const ScanRow row = scanRow(reply, ScanKind::CurrentSettings, baud, checksum);
        modules.append(rowJson(row));
        if (!m_request.json)
            m_streams.out(rowText(row));
    };
    auto progress = [&] {
        showProgress(
            scanProgressText(ScanKind::CurrentSettings, asked, total, int(modules.size())));
    };

    progress();
    for (int id = m_request.first; id <= last && !ending(); ++id) {
        const QString address = addressText(id);
        const QString reply = m_request.rtu ? rtuScanStep(address)
                                            : ask(identificationQuery(address), m_request.checksum,
                                                  Timeouts::ScanCurrent);
        ++asked;
        take(reply);
        progress();
    }
    if (m_request.rtu && last < 256 && !ending()) {
        // The answer to the last request, with nothing more asked.
        m_link.Delay(Timeouts::ScanRtuPause);
        take(rtuIdentificationFromDump(trimSpaces(hexDump(m_port.input()))));
    }
    if (modules.isEmpty() && !ending())
        m_streams.err(QStringLiteral("no module found"));
    return modules.isEmpty() ? CliExit::Failed : CliExit::Ok;
}

int CliRun::scanAllSettings()
{
    const int total = m_request.last - m_request.first + 1;
    QJsonArray modules;
    int asked = 0;
    const auto report = qScopeGuard([&] {
        print(QJsonObject{{"modules", modules}, {"asked", asked}}, {});
    });
    RateTurnHooks hooks;
    hooks.checksumShown = [](bool) {};
    hooks.rateShown = [](const QString &) {};
    hooks.goOn = [this] { return !ending(); };
    const Exchange exchange = [this](const QString &command, bool withChecksum, qint32 ms) {
        return ask(command, withChecksum, ms);
    };
    const quint32 started = m_waits.now();

    showProgress(scanProgressText(ScanKind::AllSettings, 0, total, 0));
    for (int id = m_request.first; id <= m_request.last && !ending(); ++id) {
        for (int baudIndex = 0; baudIndex < 8; ++baudIndex) {
            const RateTurn turn =
                allSettingsTurn(m_port, exchange, addressText(id), baudIndex, hooks);
            if (turn.outcome == RateTurn::OpenFailed)
                throw CommError(turn.error);
            if (turn.outcome == RateTurn::Ended)
                break;
            if (turn.outcome == RateTurn::Found) {
                const ScanRow row = scanRow(turn.reply, ScanKind::AllSettings,
                                            QString::fromLatin1(ScanBaudRates[baudIndex]),
                                            checksumText(turn.withChecksum));
                modules.append(rowJson(row));
                if (!m_request.json)
                    m_streams.out(rowText(row));
                break;
            }
        }
        ++asked;
        const qint64 left =
            asked < total ? qint64(m_waits.now() - started) * (total - asked) / asked : -1;
        showProgress(
            scanProgressText(ScanKind::AllSettings, asked, total, int(modules.size()), left));
    }
    if (modules.isEmpty() && !ending())
        m_streams.err(QStringLiteral("no module found"));
    return modules.isEmpty() ? CliExit::Failed : CliExit::Ok;
}

int CliRun::info()
{
    openPort(0);
    const QString &address = m_request.address;
    QString identification;
    QString status;
    bool statusRead = false;
    QJsonArray inputs;
    QJsonArray analog;
    bool ok = true;
    const auto report = qScopeGuard([&] {
        QJsonObject document{{"address", address}};
        QStringList lines;
        // A reply that does not begin with "!" names no model, whatever stands where the code
        // would.
        const bool identified = isAccepted(identification);
        const QString code = modelCode(lineOf(identification));
        document.insert(QStringLiteral("model"), identified ? QJsonValue(code) : QJsonValue());
        if (identified) {
            document.insert(QStringLiteral("description"),
                            description(code, ScanKind::CurrentSettings));
            lines << QStringList{address, moduleName(code),
                                 description(code, ScanKind::CurrentSettings)}
                         .join(QStringLiteral("  "));
        }
        const ModelInfo *model = identified ? findModel(code) : nullptr;
        if (model && model->inputs > 0) {
            document.insert(QStringLiteral("inputs"), inputs);
            for (int n = 0; n < inputs.size(); ++n)
                lines << QStringLiteral("input %1  %2").arg(n).arg(inputs.at(n).toString());
        }
        if (model && model->analogInputs > 0) {
            document.insert(QStringLiteral("analog"), analog);
            for (int n = 0; n < analog.size(); ++n)
                lines << QStringLiteral("analog %1  %2").arg(n).arg(analog.at(n).toString());
        }
        if (statusRead) {
            document.insert(QStringLiteral("status"), status);
            lines << QStringLiteral("status  ") + status;
        }
        if (model && model->outputs > 0) {
            document.insert(QStringLiteral("outputs"), model->outputs);
            lines << QStringLiteral("outputs  %1").arg(model->outputs);
        }
        print(document, lines);
    });

    auto note = [&](const QString &reply) { ok = ok && answered(reply) && isAccepted(reply); };
    TakeUpSteps steps;
    steps.exchange = [this](const QString &command, bool withChecksum, qint32 ms) {
        return ask(command, withChecksum, ms);
    };
    steps.address = [&address] { return address; };
    steps.checksum = [this] { return m_request.checksum; };
    steps.counter = [&](int, const QString &value, const QString &reply) {
        inputs.append(lineOf(value));
        note(reply);
    };
    steps.status = [&](const QString &value, const QString &reply) {
        status = lineOf(value);
        statusRead = true;
        note(reply);
    };
    steps.analog = [&](int, const QString &value, const QString &reply) {
        analog.append(lineOf(value));
        note(reply);
    };
    if (!takeUpModule(steps, &identification) || !isAccepted(identification)) {
        const QString query = identificationQuery(address);
        if (ending())
            return CliExit::Failed;
        if (!answered(identification))
            m_streams.err(QStringLiteral("%1: no reply within %2 ms")
                              .arg(query, QString::number(timeoutFor(Timeouts::ModelQuery))));
        else if (!isAccepted(identification))
            m_streams.err(QStringLiteral("%1: answered %2").arg(query, lineOf(identification)));
        else
            m_streams.err(QStringLiteral("%1: no known model in the reply %2")
                              .arg(query, lineOf(identification)));
        return CliExit::Failed;
    }
    if (!ok && !ending())
        m_streams.err(QStringLiteral("%1: a value was not read").arg(address));
    return ok ? CliExit::Ok : CliExit::Failed;
}

int CliRun::read()
{
    openPort(0);
    const QString &address = m_request.address;
    QJsonObject channels;
    bool ok = true;
    const auto report = qScopeGuard([&] {
        print(QJsonObject{{"address", address}, {"channels", channels}}, {});
    });
    int first = m_request.channel;
    int count = 1;
    if (first < 0) {
        const QString reply =
            ask(identificationQuery(address), m_request.checksum, Timeouts::ModelQuery);
        const ModelInfo *model = isAccepted(reply) ? findModel(modelCode(reply)) : nullptr;
        if (!model) {
            if (!ending())
                m_streams.err(
                    QStringLiteral("%1: no known model, so no channels to read").arg(address));
            return CliExit::Failed;
        }
        first = 0;
        count = model->inputs + model->analogInputs;
        if (count == 0)
            m_streams.err(QStringLiteral("%1: %2 has no inputs to read")
                              .arg(address, moduleName(model->code)));
    }
    for (int channel = first; channel < first + count; ++channel) {
        const QString reply =
            ask(channelRead(address, channel), m_request.checksum, Timeouts::ChannelRead);
        const QString value = lineOf(valueField(reply));
        channels.insert(channelDigit(channel), reply.isEmpty() ? QJsonValue() : QJsonValue(value));
        if (!m_request.json)
            m_streams.out(channelDigit(channel) + QStringLiteral("  ") + value + QLatin1Char('\n'));
        if (!answered(reply) || !isAccepted(reply)) {
            ok = false;
            m_streams.err(
                failureLine(channelRead(address, channel), reply, QStringLiteral("no reply")));
        }
        if (ending())
            break;
    }
    return ok ? CliExit::Ok : CliExit::Failed;
}

int CliRun::set()
{
    openPort(0);
    const QString &address = m_request.address;
    QString reply;
    QString status;
    const auto report = qScopeGuard([&] {
        const QJsonValue statusValue =
            status.isEmpty() ? QJsonValue() : QJsonValue(lineOf(statusField(status)));
        print(QJsonObject{{"address", address},
                          {"channel", m_request.channel},
                          {"on", m_request.on},
                          {"reply", replyJson(reply)},
                          {"status", statusValue}},
              {lineOf(reply), QStringLiteral("status  ") + lineOf(statusField(status))});
    });
    const QString command = outputSwitch(address, m_request.channel, m_request.on);
    reply = ask(command, m_request.checksum, Timeouts::OutputSwitch);
    status = ask(statusQuery(address), m_request.checksum, Timeouts::OutputSwitch);
    const bool ok = answered(reply) && isAccepted(reply) && answered(status) && isAccepted(status);
    if (!ok && !ending())
        m_streams.err(failureLine(command, reply, QStringLiteral("no reply, or no status")));
    return ok ? CliExit::Ok : CliExit::Failed;
}

int CliRun::config()
{
    openPort(0);
    const QString &address = m_request.address;
    QString command;
    QString reply;
    bool written = false;
    const auto report = qScopeGuard([&] {
        const bool accepted = written && isAccepted(reply);
        QStringList lines;
        if (written)
            lines << QStringList{command, lineOf(reply), writeOutcomeText(accepted).simplified()}
                         .join(QStringLiteral("  "));
        print(QJsonObject{{"address", address},
                          {"command", command.isEmpty() ? QJsonValue() : QJsonValue(command)},
                          {"accepted", accepted},
                          {"reply", replyJson(reply)}},
              lines);
    });
    const QString identification =
        ask(identificationQuery(address), m_request.checksum, Timeouts::ModelQuery);
    command = configurationFor(address, identification, m_request.configuration);
    if (!m_request.confirmed &&
        !m_streams.confirm(QStringLiteral("Write %1? [y/N] ").arg(command))) {
        if (!ending())
            m_streams.err(QStringLiteral("%1: not written").arg(command));
        return CliExit::Failed;
    }
    reply = ask(command, m_request.checksum, Timeouts::ConfigWrite);
    written = true;
    if (!isAccepted(reply)) {
        m_streams.err(QStringLiteral("%1: %2").arg(
            command, answered(reply) ? QStringLiteral("refused, ") + lineOf(reply)
                                     : QStringLiteral("no reply")));
        return CliExit::Failed;
    }
    return CliExit::Ok;
}
