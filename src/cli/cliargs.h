#pragma once

#include "link/sequences.h"

#include <QString>
#include <QStringList>

// What a mirvel-cli command line asks for, every address, rate, channel and number already
// checked, so that a wrong command line is refused before anything reaches the line.
struct CliRequest
{
    enum class Command { Send, Scan, Info, Read, Set, Config, Console, Loop };

    // The options before the command.
    int comNumber = 1;
    QString devicePath;  // in place of the COM number when given
    int rate = 9600;
    bool checksum = false;
    qint32 timeoutMs = -1;  // -1: the window's time-out for each operation
    bool json = false;
    bool quiet = false;

    Command command = Command::Send;
    QStringList texts;  // send, console: the commands as typed
    QString address;    // info, read, set, config: two upper-case hexadecimal digits
    int channel = -1;   // read (-1: every channel of the model), set
    bool on = false;    // set

    bool allSettings = false;  // scan
    bool rtu = false;
    int first = 0;
    int last = 255;

    ConfigurationChoice configuration;  // config
    bool confirmed = false;             // --yes

    QString host;  // console, loop
    int tcpPort = 4000;
    int passes = 1;  // loop
    qint32 delayMs = Timeouts::LoopDelay;
};

struct CliParse
{
    enum Kind { Run, Help, Version, Usage } kind = Usage;
    CliRequest request;
    QString text;  // the help, the version, or the one line that says what is wrong
};

// arguments as main receives them, the program's name first. inputIsTerminal: whether the config
// command may ask its question.
CliParse parseCommandLine(const QStringList &arguments, bool inputIsTerminal);
