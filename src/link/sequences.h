#pragma once

#include "link/protocol.h"

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <functional>

class CommPort;
class ConverterSocket;
class WaitContext;

// The sequences of exchanges that the window's pages and mirvel-cli both run: the commands, their
// order and their time-outs are decided here once, and each face shows or collects the answers
// its own way through the hooks it passes.

// One exchange as a sequence asks for it. The window passes CommandLink::ask; mirvel-cli the same
// with its own time-out in place of the sequence's when the user gave one.
using Exchange =
    std::function<QString(const QString &command, bool withChecksum, qint32 timeoutMs)>;

// ---- Taking up a module ----------------------------------------------------------------------

// The hooks of taking up a module. address and checksum are asked anew before every command: the
// window's grid cell and checksum box may change while a reply is awaited. Every value comes with
// the reply it was cut from.
struct TakeUpSteps
{
    Exchange exchange;
    std::function<QString()> address;
    std::function<bool()> checksum;
    std::function<void(int channel, const QString &value, const QString &reply)> counter;
    // A digital model whose counters have been read, before its status is: the window enables its
    // output frame and buttons here.
    std::function<void(const ModelInfo &model)> countersRead;
    std::function<void(const QString &value, const QString &reply)> status;
    std::function<void(int channel, const QString &value, const QString &reply)> analog;
};

// The identification query, then what the model has: the counters and the status of a digital
// model, the analog values of the analog one. Returns the model, or null when the reply carries
// no known model code (nothing more is asked then). identification receives the reply.
const ModelInfo *takeUpModule(const TakeUpSteps &steps, QString *identification = nullptr);

// ---- Writing a configuration ---------------------------------------------------------------

// The configuration chosen, each field by the list index of the window's field (-1: none
// selected).
struct ConfigurationChoice
{
    int newAddress = -1;
    int baudRate = -1;
    int mode = -1;  // Disable/Normal, Disable/Fast, Enable/Normal, Enable/Fast
    int range = -1;
    int format = -1;
};

// The configuration command for the module at address, given its reply to the identification
// query: the analog module (isAnalogForWrite) gets its range, its analog mode digit and its
// format; any other reply the digital type, the digital mode digit and format 0.
QString configurationFor(const QString &address, const QString &identification,
                         const ConfigurationChoice &choice);

// What the window tells of a configuration write: "Save Success.....    " when the module
// accepted it, "Save Fail........    " otherwise.
QString writeOutcomeText(bool accepted);

// ---- The all-settings scan -------------------------------------------------------------------

struct RateTurnHooks
{
    // Before the port is reopened (false) and before the query with checksum (true).
    std::function<void(bool withChecksum)> checksumShown;
    std::function<void(const QString &rate)> rateShown;
    // After every exchange: false ends the turn at once (a stop, or the scan taken over).
    std::function<bool()> goOn;
};

struct RateTurn
{
    enum Outcome { NotFound, Found, Ended, OpenFailed } outcome = NotFound;
    bool withChecksum = false;
    QString reply;  // the reply that answered
    QString error;  // why the port did not open at the rate
};

// One turn of the all-settings scan at ScanBaudRates[baudIndex]: the port closed, set to the rate
// and opened again, the identification query without checksum and, unanswered, with it.
RateTurn allSettingsTurn(CommPort &port, const Exchange &exchange, const QString &address,
                         int baudIndex, const RateTurnHooks &hooks);

// "Scan: 37 of 257 addresses, 2 module(s) found"; for the all-settings scan "Scan Unknown: …" and,
// when leftMs is known, ", about 4 min 05 s left".
QString scanProgressText(ScanKind kind, int done, int total, int found, qint64 leftMs = -1);

// ---- The converter -------------------------------------------------------------------------

// A console command as the converter page sends it: the text, then ConsoleReturn ms later the
// carriage return.
void sendConsoleCommand(ConverterSocket &socket, const WaitContext &waits, const QString &command);

// A loop-test text, one character at a time, each followed by a pause of pauseMs(), read anew
// after every character (the window's speed bar may move meanwhile). linkStands is asked before
// each character: false ends the text there, and false comes back. sent hears of each character
// put on the connection.
bool sendLoopText(ConverterSocket &socket, const WaitContext &waits, const QString &text,
                  const std::function<bool()> &linkStands, const std::function<void(QChar)> &sent,
                  const std::function<qint32()> &pauseMs);
