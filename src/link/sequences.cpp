#include "link/sequences.h"

#include "link/commport.h"
#include "link/errors.h"

const ModelInfo *takeUpModule(const TakeUpSteps &steps, QString *identification)
{
    auto ask = [&steps](const QString &command, qint32 timeoutMs) {
        return steps.exchange(command, steps.checksum(), timeoutMs);
    };
    const QString reply = ask(identificationQuery(steps.address()), Timeouts::ModelQuery);
    if (identification)
        *identification = reply;
    const ModelInfo *model = findModel(modelCode(reply));
    if (!model)
        return nullptr;
    if (model->analogInputs == 0) {
        for (int n = 0; n < model->inputs; ++n) {
            const QString counter = ask(channelRead(steps.address(), n), Timeouts::TakeUpDigital);
            if (steps.counter)
                steps.counter(n, statusField(counter), counter);
        }
        if (steps.countersRead)
            steps.countersRead(*model);
        const QString status = ask(statusQuery(steps.address()), Timeouts::TakeUpDigital);
        if (steps.status)
            steps.status(statusField(status), status);
    } else {
        for (int n = 0; n < model->analogInputs; ++n) {
            const QString value = ask(channelRead(steps.address(), n), Timeouts::TakeUpAnalog);
            if (steps.analog)
                steps.analog(n, valueField(value), value);
        }
    }
    return model;
}

QString configurationFor(const QString &address, const QString &identification,
                         const ConfigurationChoice &choice)
{
    const QString newAddress = moduleIdCode(choice.newAddress);
    const QString baud = baudRateCode(choice.baudRate);
    if (isAnalogForWrite(identification))
        return configurationCommand(address, newAddress, rangeCode(choice.range), baud,
                                    analogModeDigit(choice.mode), formatDigit(choice.format));
    return configurationCommand(address, newAddress, digitalTypeCode(), baud,
                                digitalModeDigit(choice.mode), QStringLiteral("0"));
}

QString writeOutcomeText(bool accepted)
{
    return accepted ? QStringLiteral("Save Success.....    ")
                    : QStringLiteral("Save Fail........    ");
}

RateTurn allSettingsTurn(CommPort &port, const Exchange &exchange, const QString &address,
                         int baudIndex, const RateTurnHooks &hooks)
{
    RateTurn turn;
    hooks.checksumShown(false);
    if (port.portOpen())
        port.setPortOpen(false);
    const QString rate = QString::fromLatin1(ScanBaudRates[baudIndex]);
    hooks.rateShown(rate);
    port.setSettings(lineSettings(rate));
    try {
        port.setPortOpen(true);
    } catch (const CommError &error) {
        turn.outcome = RateTurn::OpenFailed;
        turn.error = error.message();
        return turn;
    }

    for (const bool withChecksum : {false, true}) {
        if (withChecksum)
            hooks.checksumShown(true);
        turn.reply = exchange(identificationQuery(address), withChecksum,
                              withChecksum ? Timeouts::ScanSummed : Timeouts::ScanPlain);
        if (!hooks.goOn()) {
            turn.outcome = RateTurn::Ended;
            return turn;
        }
        if (isAccepted(turn.reply)) {
            turn.outcome = RateTurn::Found;
            turn.withChecksum = withChecksum;
            return turn;
        }
    }
    return turn;
}

QString scanProgressText(ScanKind kind, int done, int total, int found, qint64 leftMs)
{
    QString text = QStringLiteral("%1: %2 of %3 addresses, %4 module(s) found")
                       .arg(kind == ScanKind::AllSettings ? QStringLiteral("Scan Unknown")
                                                          : QStringLiteral("Scan"))
                       .arg(done)
                       .arg(total)
                       .arg(found);
    if (leftMs >= 0)
        text += QStringLiteral(", about %1 min %2 s left")
                    .arg(leftMs / 60000)
                    .arg((leftMs / 1000) % 60, 2, 10, QLatin1Char('0'));
    return text;
}
