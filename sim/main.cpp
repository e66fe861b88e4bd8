// mirvel-sim: a bench of simulated modules behind COM1 (or another COM number), and a simulated
// converter on 127.0.0.1, for operators without hardware.
#include "sim/simbench.h"
#include "sim/simsystem.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

namespace {

QString printable(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes) {
        const uchar u = uchar(c);
        if (u >= 0x20 && u < 0x7F)
            text += QChar(u);
        else
            text += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QCommandLineOption option(const char *name, const char *description, const char *value = nullptr)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                              value ? QString::fromLatin1(value) : QString());
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirvel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated modules on a pseudo-terminal linked as COM1, and a simulated converter on\n"
        "127.0.0.1:4000. Without --module it runs a built-in bench of every model.\n"
        "Exit status: 0 when ended by Ctrl-C, SIGTERM or SIGHUP; 1 when the COMn link is\n"
        "taken, no pseudo-terminal can be had or the converter port asked for is taken;\n"
        "2 for a malformed command line."));
    const QCommandLineOption moduleOption = option(
        "module",
        "One module, repeatable; replaces the built-in bench. MODEL:ADDR:RATE[:chk|nochk[:RANGE"
        "[:FORMAT]]], e.g. E41:01:9600:nochk or E82:0A:38400:chk:09:1. MODEL is E41, E43, E45, "
        "E47 or E82; ADDR (00-FF) and RANGE (08-0D) are hexadecimal; RANGE and FORMAT (0-2) are "
        "for the E82 only.",
        "spec");
    const QCommandLineOption comOption =
        option("com", "Link the pseudo-terminal as COMn, n from 1 to 20 (default 1).", "n");
    const QCommandLineOption converterOption = option(
        "converter",
        "Converter port on 127.0.0.1, 0 for any free port (default 4000; when 4000 is taken and "
        "no port was given, the simulator runs without converter).",
        "port");
    const QCommandLineOption noConverterOption = option("no-converter", "No converter.");
    const QCommandLineOption loopOption =
        option("loop", "Converter in loop mode: every byte comes straight back.");
    const QCommandLineOption loopDropOption =
        option("loop-drop", "With --loop: every Nth byte of a connection is lost (0: none).", "n");
    const QCommandLineOption loopCorruptOption = option(
        "loop-corrupt",
        "With --loop: every Nth byte of a connection comes back as another printable character "
        "(0: none).",
        "n");
    const QCommandLineOption rateOption =
        option("converter-rate", "Rate of the converter's serial side (default 9600).", "rate");
    const QCommandLineOption faultOption = option(
        "fault",
        "A module fault, repeatable, the faults combine: silent, delay=MS, pieces=SIZE,GAPMS, "
        "garbage=BYTES, endless=BYTES, badsum, badcrc or exception=CODE (hexadecimal).",
        "spec");
    const QCommandLineOption faultAddressOption =
        option("fault-address", "The faults hit this module only (hexadecimal address).", "addr");
    const QCommandLineOption activityOption = option(
        "activity",
        "Every MS milliseconds one input of each input module flips, so counters count; 0 never "
        "(default 2000).",
        "ms");
    const QCommandLineOption logOption =
        option("log", "Print every frame heard and every reply sent.");
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Print this help."));
    parser.addOptions({moduleOption, comOption, converterOption, noConverterOption, loopOption,
                       loopDropOption, loopCorruptOption, rateOption, faultOption,
                       faultAddressOption, activityOption, logOption, helpOption});

    const auto usageError = [&parser](const QString &message) {
        std::fprintf(stderr, "mirvel-sim: %s\n\n%s", qPrintable(message),
                     qPrintable(parser.helpText()));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"")
                              .arg(parser.positionalArguments().constFirst()));

    QList<SimModuleSettings> modules;
    QString error;
    for (const QString &spec : parser.values(moduleOption)) {
        const std::optional<SimModuleSettings> settings = simParseModule(spec, &error);
        if (!settings)
            return usageError(error);
        modules << *settings;
    }
    if (modules.isEmpty())
        modules = SimBench::defaultModules();

    bool ok = true;
    const int com = parser.isSet(comOption) ? parser.value(comOption).toInt(&ok) : 1;
    if (!ok || com < 1 || com > 20)
        return usageError(QStringLiteral("--com takes a number from 1 to 20"));

    const bool converterGiven = parser.isSet(converterOption);
    const int port = converterGiven ? parser.value(converterOption).toInt(&ok) : 4000;
    if (!ok || port < 0 || port > 65535)
        return usageError(QStringLiteral("--converter takes a port from 0 to 65535"));
    if (converterGiven && parser.isSet(noConverterOption))
        return usageError(QStringLiteral("--converter and --no-converter exclude each other"));
    const int converterRate = parser.isSet(rateOption) ? parser.value(rateOption).toInt(&ok) : 9600;
    if (!ok || !simIsLineRate(converterRate))
        return usageError(QStringLiteral("--converter-rate takes one of the eight line rates"));

    SimFault fault;
    for (const QString &spec : parser.values(faultOption)) {
        if (!simParseFault(spec, fault, &error))
            return usageError(error);
    }
    if (parser.isSet(faultAddressOption)) {
        fault.address = parser.value(faultAddressOption).toInt(&ok, 16);
        if (!ok || fault.address < 0 || fault.address > 0xFF)
            return usageError(QStringLiteral("--fault-address takes a hexadecimal address 00-FF"));
    }
    const int loopDrop = parser.isSet(loopDropOption) ? parser.value(loopDropOption).toInt(&ok) : 0;
    if (!ok || loopDrop < 0)
        return usageError(QStringLiteral("--loop-drop takes a count, 0 for none"));
    const int loopCorrupt =
        parser.isSet(loopCorruptOption) ? parser.value(loopCorruptOption).toInt(&ok) : 0;
    if (!ok || loopCorrupt < 0)
        return usageError(QStringLiteral("--loop-corrupt takes a count, 0 for none"));
    if ((loopDrop > 0 || loopCorrupt > 0) && !parser.isSet(loopOption))
        return usageError(QStringLiteral("--loop-drop and --loop-corrupt act in loop mode only"));
    const int activity =
        parser.isSet(activityOption) ? parser.value(activityOption).toInt(&ok) : 2000;
    if (!ok || activity < 0)
        return usageError(QStringLiteral("--activity takes a number of milliseconds"));

    // Ctrl-C, SIGTERM and a closed terminal end the event loop through a pipe, so the link is
    // removed on the way out.
    const int endSignals = SimSystem::catchEndSignals(&error);
    if (endSignals < 0) {
        std::fprintf(stderr, "mirvel-sim: %s\n", qPrintable(error));
        return 1;
    }
    QSocketNotifier signalNotifier(endSignals, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [endSignals] {
        SimSystem::drainEndSignals(endSignals);
        QCoreApplication::quit();
    });

    SimBench bench;
    for (const SimModuleSettings &settings : modules)
        bench.addModule(settings);
    bench.bus().setFault(fault);

    if (!bench.startSerial(com, false, &error)) {
        std::fprintf(stderr, "mirvel-sim: COM%d: %s\n", com, qPrintable(error));
        if (error.contains(QLatin1String("already points")))
            std::fprintf(stderr,
                         "mirvel-sim: another simulator may be running; remove the link "
                         "or choose another number with --com\n");
        return 1;
    }

    std::printf("mirvel-sim: %d module(s) on the bus\n", int(modules.size()));
    for (const SimModuleSettings &settings : modules)
        std::printf("  %s\n", qPrintable(simDescribeModule(settings)));
    std::printf("serial: COM%d -> %s (link %s)\n", com, qPrintable(bench.serial()->slavePath()),
                qPrintable(bench.serial()->linkPath()));

    if (!parser.isSet(noConverterOption)) {
        const SimConverter::Mode mode =
            parser.isSet(loopOption) ? SimConverter::Mode::Loop : SimConverter::Mode::Bus;
        const quint16 chosen = bench.startConverter(quint16(port), mode, &error);
        if (chosen == 0 && converterGiven) {
            std::fprintf(stderr, "mirvel-sim: converter on 127.0.0.1:%d: %s\n", port,
                         qPrintable(error));
            return 1;
        }
        if (chosen == 0) {
            std::printf("converter: none (127.0.0.1:%d: %s; choose one with --converter)\n", port,
                        qPrintable(error));
        } else {
            bench.converter()->setLineRate(converterRate);
            bench.converter()->setLoopDrop(loopDrop);
            bench.converter()->setLoopCorrupt(loopCorrupt);
            QString how = QStringLiteral("bus mode at %1 baud").arg(converterRate);
            if (mode == SimConverter::Mode::Loop) {
                how = QStringLiteral("loop mode");
                if (loopDrop > 0)
                    how += QStringLiteral(", byte %1, %2, ... dropped")
                               .arg(loopDrop)
                               .arg(2 * loopDrop);
                if (loopCorrupt > 0)
                    how += QStringLiteral(", byte %1, %2, ... corrupted")
                               .arg(loopCorrupt)
                               .arg(2 * loopCorrupt);
            }
            std::printf("converter: 127.0.0.1:%u, %s\n", unsigned(chosen), qPrintable(how));
        }
    }
    if (fault.active())
        std::printf("fault in force%s\n",
                    fault.address < 0 ? ""
                                      : qPrintable(QStringLiteral(" for module %1")
                                                       .arg(fault.address, 2, 16, QLatin1Char('0'))
                                                       .toUpper()));
    std::printf("Ctrl-C ends the simulator.\n");
    std::fflush(stdout);

    if (parser.isSet(logOption)) {
        QObject::connect(&bench.bus(), &SimBus::heard, &app, [](const QByteArray &frame, int rate) {
            std::printf("heard %6d: %s\n", rate, qPrintable(printable(frame)));
            std::fflush(stdout);
        });
        QObject::connect(bench.serial(), &SimSerialPort::sent, &app, [](const QByteArray &bytes) {
            std::printf("sent        %s\n", qPrintable(printable(bytes)));
            std::fflush(stdout);
        });
    }

    QTimer inputs;
    QObject::connect(&inputs, &QTimer::timeout, &bench.bus(), &SimBus::stepInputs);
    if (activity > 0)
        inputs.start(activity);

    const int status = app.exec();
    bench.serial()->unlink();
    std::printf("mirvel-sim: ended, COM%d released\n", com);
    return status;
}
