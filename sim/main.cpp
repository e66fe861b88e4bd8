// mirvel-sim: a bench of simulated modules behind COM1 (or another COM number), and a simulated
// converter on 127.0.0.1, for operators without hardware.
#include "sim/simbench.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: mirvel-sim [options]\n"
    "\n"
    "Simulated modules on a pseudo-terminal linked as COM1, and a simulated converter on\n"
    "127.0.0.1:4000. Without --module it runs a built-in bench of every model.\n"
    "\n"
    "  --module MODEL:ADDR:RATE[:chk|nochk[:RANGE[:FORMAT]]]\n"
    "                         one module, repeatable; e.g. E41:01:9600:nochk, "
    "E82:0A:38400:chk:09:1\n"
    "                         MODEL E41 E43 E45 E47 E82; ADDR 00-FF (hex); RATE 1200-115200;\n"
    "                         RANGE 08-0D and FORMAT 0-2 for E82 only\n"
    "  --com N                link the pseudo-terminal as COMn (1-20, default 1)\n"
    "  --converter PORT       converter port on 127.0.0.1 (0: any free port; default 4000)\n"
    "  --no-converter         no converter\n"
    "  --loop                 converter in loop mode: every byte comes straight back\n"
    "  --converter-rate RATE  rate of the converter's serial side (default 9600)\n"
    "  --fault SPEC           silent | delay=MS | pieces=SIZE,GAPMS | garbage=BYTES |\n"
    "                         endless=BYTES; repeatable, the faults combine\n"
    "  --fault-address ADDR   the faults apply to this module only (hex)\n"
    "  --activity MS          flip one input of every input module every MS ms (0: never;\n"
    "                         default 2000)\n"
    "  --log                  print every command heard and every reply sent\n"
    "  -h, --help             this text\n";

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "mirvel-sim: %s\n\n%s", qPrintable(message), kUsage);
    return 2;
}

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

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirvel-sim"));

    QCommandLineParser parser;
    const QCommandLineOption moduleOption(QStringLiteral("module"), QString(),
                                          QStringLiteral("spec"));
    const QCommandLineOption comOption(QStringLiteral("com"), QString(), QStringLiteral("n"));
    const QCommandLineOption converterOption(QStringLiteral("converter"), QString(),
                                             QStringLiteral("port"));
    const QCommandLineOption noConverterOption(QStringLiteral("no-converter"));
    const QCommandLineOption loopOption(QStringLiteral("loop"));
    const QCommandLineOption rateOption(QStringLiteral("converter-rate"), QString(),
                                        QStringLiteral("rate"));
    const QCommandLineOption faultOption(QStringLiteral("fault"), QString(),
                                         QStringLiteral("spec"));
    const QCommandLineOption faultAddressOption(QStringLiteral("fault-address"), QString(),
                                                QStringLiteral("addr"));
    const QCommandLineOption activityOption(QStringLiteral("activity"), QString(),
                                            QStringLiteral("ms"));
    const QCommandLineOption logOption(QStringLiteral("log"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({moduleOption, comOption, converterOption, noConverterOption, loopOption,
                       rateOption, faultOption, faultAddressOption, activityOption, logOption,
                       helpOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
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
    const int activity =
        parser.isSet(activityOption) ? parser.value(activityOption).toInt(&ok) : 2000;
    if (!ok || activity < 0)
        return usageError(QStringLiteral("--activity takes a number of milliseconds"));

    // Ctrl-C, SIGTERM and a closed terminal end the event loop through a pipe, so the link is
    // removed on the way out.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("mirvel-sim: pipe");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
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
            std::printf("converter: 127.0.0.1:%u, %s\n", unsigned(chosen),
                        mode == SimConverter::Mode::Loop
                            ? "loop mode"
                            : qPrintable(QStringLiteral("bus mode at %1 baud").arg(converterRate)));
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
