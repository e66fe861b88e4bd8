#include "cli/cliargs.h"

#include "link/checksum.h"
#include "link/errors.h"

#include <QCommandLineParser>

namespace {

// Thrown by the checks below with the one line that says what is wrong.
struct UsageError
{
    QString text;
};

[[noreturn]] void refuse(const QString &text)
{
    throw UsageError{text};
}

const char *const CommandsHelp =
    "Commands:\n"
    "  send COMMAND...\n"
    "      Each command as the terminal's Send: with its checksum when -c is given, then a\n"
    "      carriage return; one reply line each.\n"
    "  scan [--all] [--rtu] [--first AA] [--last AA]\n"
    "      The current-settings scan, ASCII or, with --rtu, Modbus RTU; with --all the\n"
    "      all-settings scan (eight rates, without then with checksum). --first and --last\n"
    "      bound the addresses (default 00 and FF). One line per module, as the scan grid.\n"
    "  info AA\n"
    "      As the Configuration button: the model, then the model's present values.\n"
    "  read AA [CH]\n"
    "      Channel reads (CH 0 to 15, decimal); every channel of the model without CH.\n"
    "  set AA CH on|off\n"
    "      One output switch (CH 0 to 15, decimal), then the status read.\n"
    "  config AA [--id NN] [--baud RATE] [--checksum on|off] [--fast] [--range RR]\n"
    "         [--format F] [--yes]\n"
    "      The configuration write: new address (default AA), baud rate (default the -b\n"
    "      rate), checksum (default as -c), and for the analog module fast conversion, input\n"
    "      range 08 to 0D (default 08) and data format 0 to 2 (default 0). Asks\n"
    "      \"Write %AA...? [y/N]\" on a terminal unless --yes; when standard input is not a\n"
    "      terminal it needs --yes.\n"
    "  console HOST[:PORT] COMMAND...\n"
    "      Each command through the converter as the console's Send does (the text, 50 ms\n"
    "      later a carriage return), and what comes back within the time-out (default\n"
    "      1000 ms). PORT: default 4000.\n"
    "  loop HOST[:PORT] [--passes N] [--delay MS]\n"
    "      The loop test through the converter wired back on itself: N passes over its texts\n"
    "      (default 1) at MS milliseconds per character (default 60).\n"
    "\n"
    "Exit status: 0 everything answered as asked; 1 the bench answered wrong or not at all;\n"
    "2 a usage error; 3 the port or the connection could not be opened; 130 interrupted.\n";

QCommandLineOption valueOption(const QStringList &names, const char *description,
                               const char *valueName)
{
    return QCommandLineOption(names, QString::fromLatin1(description),
                              QString::fromLatin1(valueName));
}

QCommandLineOption flagOption(const QStringList &names, const char *description)
{
    return QCommandLineOption(names, QString::fromLatin1(description));
}

// One to nine digits of the base (10 or 16), ASCII only.
bool allDigits(const QString &text, int base)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        const bool decimal = c >= u'0' && c <= u'9';
        const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!decimal && !(base == 16 && hex))
            return false;
    }
    return true;
}

// Two hexadecimal digits, either case; upper case comes back.
QString hexAddress(const QString &text, const QString &what)
{
    if (text.size() != 2 || !allDigits(text, 16))
        refuse(QStringLiteral("%1 takes two hexadecimal digits (00 to FF), not \"%2\"")
                   .arg(what, text));
    return text.toUpper();
}

int decimal(const QString &text, int min, int max, const QString &what)
{
    const int value = allDigits(text, 10) ? text.toInt() : -1;
    if (value < min || value > max)
        refuse(QStringLiteral("%1 takes a number from %2 to %3, not \"%4\"")
                   .arg(what)
                   .arg(min)
                   .arg(max)
                   .arg(text));
    return value;
}

int baudRate(const QString &text, const QString &what)
{
    const int index = rateIndex(decimal(text, 1, 999999, what));
    if (index < 0)
        refuse(QStringLiteral("%1 takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200, "
                              "not \"%2\"")
                   .arg(what, text));
    return QByteArray(ScanBaudRates[index]).toInt();
}

bool onOff(const QString &text, const QString &what)
{
    if (text != QLatin1String("on") && text != QLatin1String("off"))
        refuse(QStringLiteral("%1 takes on or off, not \"%2\"").arg(what, text));
    return text == QLatin1String("on");
}

void portOption(const QString &text, CliRequest &request)
{
    const bool named = text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
    const QString digits = text.mid(3);
    const int number = named && digits.size() <= 2 && allDigits(digits, 10) ? digits.toInt() : 0;
    if (number >= 1 && number <= 20) {
        request.comNumber = number;
    } else if (!named && (text.contains(u'/') || text.contains(u'\\'))) {
        request.devicePath = text;
    } else {
        refuse(QStringLiteral("-p takes COM1 to COM20 or a device path, not \"%1\"").arg(text));
    }
}

// HOST, HOST:PORT or [IPv6 address]:PORT.
void hostAndPort(const QString &text, CliRequest &request, const QString &command)
{
    QString host = text;
    QString port;
    bool portGiven = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        const QString rest = close < 0 ? QString() : text.mid(close + 1);
        if (close < 0 || (!rest.isEmpty() && !rest.startsWith(u':')))
            refuse(QStringLiteral("%1: \"%2\" is not HOST[:PORT]").arg(command, text));
        host = text.mid(1, close - 1);
        portGiven = !rest.isEmpty();
        port = rest.mid(1);
    } else if (text.count(u':') == 1) {
        host = text.section(u':', 0, 0);
        port = text.section(u':', 1);
        portGiven = true;
    }
    if (host.isEmpty())
        refuse(QStringLiteral("%1: \"%2\" names no host").arg(command, text));
    request.host = host;
    if (portGiven)
        request.tcpPort = decimal(port, 1, 65535, command + QStringLiteral(": the port"));
}

// The command's own options and its positional arguments.
QStringList commandArguments(const QString &command, const QStringList &arguments,
                             QCommandLineParser &parser, int minCount, int maxCount)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(QStringList{command} + arguments))
        refuse(command + QStringLiteral(": ") + parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < minCount || (maxCount >= 0 && positional.size() > maxCount))
        refuse(QStringLiteral("%1: %2 argument(s) given; see --help")
                   .arg(command)
                   .arg(positional.size()));
    return positional;
}

// Every command as it will go on the line: a character with no single-byte code, or a sum that
// leaves the checksum's range, is refused here rather than after the commands before it.
void checkSendable(const QStringList &commands, bool withChecksum, const QString &command)
{
    for (const QString &text : commands) {
        // No command of the family begins so: an option put after the command, by mistake.
        if (text.startsWith(u'-'))
            refuse(QStringLiteral("%1: \"%2\" is an option; options come before the command")
                       .arg(command, text));
        try {
            lineBytes(text);
            if (withChecksum)
                asciiChecksum(upperAscii(trimSpaces(text)));
        } catch (const FormatError &error) {
            refuse(QStringLiteral("%1: \"%2\" cannot be sent: %3")
                       .arg(command, text, error.message()));
        }
    }
}

void parseScan(const QStringList &arguments, CliRequest &request)
{
    QCommandLineParser parser;
    const QCommandLineOption all = flagOption({"all"}, "");
    const QCommandLineOption rtu = flagOption({"rtu"}, "");
    const QCommandLineOption first = valueOption({"first"}, "", "AA");
    const QCommandLineOption last = valueOption({"last"}, "", "AA");
    parser.addOptions({all, rtu, first, last});
    commandArguments(QStringLiteral("scan"), arguments, parser, 0, 0);
    request.allSettings = parser.isSet(all);
    request.rtu = parser.isSet(rtu);
    if (parser.isSet(first))
        request.first =
            hexAddress(parser.value(first), QStringLiteral("scan: --first")).toInt(nullptr, 16);
    if (parser.isSet(last))
        request.last =
            hexAddress(parser.value(last), QStringLiteral("scan: --last")).toInt(nullptr, 16);
    if (request.first > request.last)
        refuse(QStringLiteral("scan: --first comes after --last"));
    if (request.rtu && request.allSettings)
        refuse(QStringLiteral("scan: --all asks in ASCII only, not with --rtu"));
    if (request.rtu && request.checksum)
        refuse(QStringLiteral("scan: Modbus RTU frames carry their own CRC, not -c"));
}

void parseConfig(const QStringList &arguments, CliRequest &request, bool inputIsTerminal)
{
    QCommandLineParser parser;
    const QCommandLineOption id = valueOption({"id"}, "", "NN");
    const QCommandLineOption baud = valueOption({"baud"}, "", "RATE");
    const QCommandLineOption checksum = valueOption({"checksum"}, "", "on|off");
    const QCommandLineOption fast = flagOption({"fast"}, "");
    const QCommandLineOption range = valueOption({"range"}, "", "RR");
    const QCommandLineOption format = valueOption({"format"}, "", "F");
    const QCommandLineOption yes = flagOption({"yes"}, "");
    parser.addOptions({id, baud, checksum, fast, range, format, yes});
    const QString command = QStringLiteral("config");
    request.address = hexAddress(commandArguments(command, arguments, parser, 1, 1).first(),
                                 QStringLiteral("config: the address"));

    ConfigurationChoice &choice = request.configuration;
    const QString newAddress = parser.isSet(id)
                                   ? hexAddress(parser.value(id), QStringLiteral("config: --id"))
                                   : request.address;
    choice.newAddress = moduleIdIndex(newAddress);
    if (choice.newAddress < 0)
        refuse(QStringLiteral("config: %1 cannot be written as a new address (the window's list "
                              "leaves out CD and DD)%2")
                   .arg(newAddress, parser.isSet(id) ? QString() : QStringLiteral("; give --id")));
    const int rate = parser.isSet(baud)
                         ? baudRate(parser.value(baud), QStringLiteral("config: --baud"))
                         : request.rate;
    choice.baudRate = rateIndex(rate);
    const bool summed = parser.isSet(checksum)
                            ? onOff(parser.value(checksum), QStringLiteral("config: --checksum"))
                            : request.checksum;
    choice.mode = (summed ? 2 : 0) + (parser.isSet(fast) ? 1 : 0);
    choice.range = parser.isSet(range) ? rangeIndex(parser.value(range).toUpper()) : 0;
    if (choice.range < 0)
        refuse(
            QStringLiteral("config: --range takes 08 to 0D, not \"%1\"").arg(parser.value(range)));
    choice.format = parser.isSet(format) ? formatIndex(parser.value(format)) : 0;
    if (choice.format < 0)
        refuse(QStringLiteral("config: --format takes 0, 1 or 2, not \"%1\"")
                   .arg(parser.value(format)));
    request.confirmed = parser.isSet(yes);
    if (!request.confirmed && !inputIsTerminal)
        refuse(
            QStringLiteral("config: standard input is not a terminal, so nothing can be "
                           "asked; give --yes to write without asking"));
}

void parseLoop(const QStringList &arguments, CliRequest &request)
{
    QCommandLineParser parser;
    const QCommandLineOption passes = valueOption({"passes"}, "", "N");
    const QCommandLineOption delay = valueOption({"delay"}, "", "MS");
    parser.addOptions({passes, delay});
    const QString command = QStringLiteral("loop");
    hostAndPort(commandArguments(command, arguments, parser, 1, 1).first(), request, command);
    if (parser.isSet(passes))
        request.passes = decimal(parser.value(passes), 1, 100000, QStringLiteral("loop: --passes"));
    if (parser.isSet(delay))
        request.delayMs = decimal(parser.value(delay), 0, 10000, QStringLiteral("loop: --delay"));
}

void parseCommand(const QString &command, const QStringList &arguments, CliRequest &request,
                  bool inputIsTerminal)
{
    using C = CliRequest::Command;
    QCommandLineParser parser;
    if (command == QLatin1String("send")) {
        request.command = C::Send;
        if (arguments.isEmpty())
            refuse(QStringLiteral("send: no command given"));
        request.texts = arguments;
        checkSendable(request.texts, request.checksum, command);
    } else if (command == QLatin1String("scan")) {
        request.command = C::Scan;
        parseScan(arguments, request);
    } else if (command == QLatin1String("info")) {
        request.command = C::Info;
        request.address = hexAddress(commandArguments(command, arguments, parser, 1, 1).first(),
                                     QStringLiteral("info: the address"));
    } else if (command == QLatin1String("read")) {
        request.command = C::Read;
        const QStringList positional = commandArguments(command, arguments, parser, 1, 2);
        request.address = hexAddress(positional.first(), QStringLiteral("read: the address"));
        if (positional.size() == 2)
            request.channel = decimal(positional.at(1), 0, 15, QStringLiteral("read: the channel"));
    } else if (command == QLatin1String("set")) {
        request.command = C::Set;
        const QStringList positional = commandArguments(command, arguments, parser, 3, 3);
        request.address = hexAddress(positional.at(0), QStringLiteral("set: the address"));
        request.channel = decimal(positional.at(1), 0, 15, QStringLiteral("set: the channel"));
        request.on = onOff(positional.at(2), QStringLiteral("set: the state"));
    } else if (command == QLatin1String("config")) {
        request.command = C::Config;
        parseConfig(arguments, request, inputIsTerminal);
    } else if (command == QLatin1String("console")) {
        request.command = C::Console;
        if (arguments.size() < 2)
            refuse(QStringLiteral("console: HOST[:PORT] and at least one command are needed"));
        hostAndPort(arguments.first(), request, command);
        request.texts = arguments.mid(1);
        checkSendable(request.texts, false, command);
    } else if (command == QLatin1String("loop")) {
        request.command = C::Loop;
        parseLoop(arguments, request);
    } else {
        refuse(QStringLiteral("unknown command \"%1\"; see --help").arg(command));
    }
}

}  // namespace

CliParse parseCommandLine(const QStringList &arguments, bool inputIsTerminal)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Every bench operation of MIRVEL from the command line, for scripts and production lines:\n"
        "the modules on a serial port, the converter over TCP. Options come before the command."));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption port = valueOption(
        {"p", "port"},
        "COM1 to COM20, resolved as the window resolves them, or a device path (/dev/ttyUSB0); "
        "default COM1.",
        "PORT");
    const QCommandLineOption baud =
        valueOption({"b", "baud"},
                    "1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200; default 9600.", "RATE");
    const QCommandLineOption checksum =
        flagOption({"c", "checksum"}, "ASCII commands carry the checksum.");
    const QCommandLineOption timeout =
        valueOption({"t", "timeout"},
                    "Reply time-out; default: the window's time-out for the operation.", "MS");
    const QCommandLineOption json =
        flagOption({"j", "json"}, "One JSON document on standard output instead of text.");
    const QCommandLineOption quiet = flagOption({"q", "quiet"}, "No progress on standard error.");
    const QCommandLineOption help = flagOption({"h", "help"}, "Print this help.");
    const QCommandLineOption version = flagOption({"version"}, "Print the version.");
    parser.addOptions({port, baud, checksum, timeout, json, quiet, help, version});
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("send, scan, info, read, set, config, console or loop."),
        QStringLiteral("command [arguments]"));

    CliParse result;
    if (!parser.parse(arguments)) {
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.kind = CliParse::Help;
        // The program's own name, however it was started.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(u'\n'),
                     QStringLiteral("Usage: mirvel-cli [options] command [arguments]"));
        result.text = help + QLatin1Char('\n') + QString::fromLatin1(CommandsHelp);
        return result;
    }
    if (parser.isSet(version)) {
        result.kind = CliParse::Version;
        result.text = QStringLiteral("mirvel-cli %1\n").arg(QStringLiteral(MIRVEL_VERSION));
        return result;
    }

    CliRequest &request = result.request;
    try {
        if (parser.isSet(port))
            portOption(parser.value(port), request);
        if (parser.isSet(baud))
            request.rate = baudRate(parser.value(baud), QStringLiteral("-b"));
        request.checksum = parser.isSet(checksum);
        if (parser.isSet(timeout))
            request.timeoutMs = decimal(parser.value(timeout), 1, 600000, QStringLiteral("-t"));
        request.json = parser.isSet(json);
        request.quiet = parser.isSet(quiet);
        const QStringList positional = parser.positionalArguments();
        if (positional.isEmpty())
            refuse(QStringLiteral("no command given; see --help"));
        parseCommand(positional.first(), positional.mid(1), request, inputIsTerminal);
    } catch (const UsageError &error) {
        result.text = error.text;
        return result;
    }
    result.kind = CliParse::Run;
    return result;
}
