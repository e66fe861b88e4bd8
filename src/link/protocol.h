#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The module family's command protocol, as the window's pages and mirvel-cli both use it: the
// commands and their time-outs, the reply fields, the model table, the configuration codes, the
// rates, and the converter's loop-test texts. Each rule lives here once.

// ---- Time-outs and pauses, in milliseconds, by operation -------------------------------------

namespace Timeouts {
constexpr qint32 Terminal = 200;      // a typed command
constexpr qint32 OutputSwitch = 60;   // an output switch and the status read after it
constexpr qint32 ChannelRead = 200;   // a channel read or status read on demand
constexpr qint32 ModelQuery = 100;    // the identification asked when taking up or writing
constexpr qint32 TakeUpDigital = 60;  // counter and status reads when taking up a module
constexpr qint32 TakeUpAnalog = 200;  // analog reads when taking up a module
constexpr qint32 ConfigWrite = 500;   // the configuration write
constexpr qint32 ScanCurrent = 600;   // the current-settings scan's query (ASCII)
constexpr qint32 ScanPlain = 300;     // the all-settings scan's query without checksum
constexpr qint32 ScanSummed = 500;    // the all-settings scan's query with checksum
constexpr qint32 ScanRtuPause = 100;  // before each Modbus RTU request of the scan
constexpr qint32 ConsoleReturn = 50;  // between a console command and its carriage return
constexpr qint32 LoopDelay = 60;      // the loop test's pause after each character, as linked
}  // namespace Timeouts

// ---- Addresses, commands -----------------------------------------------------------------------

// The two-digit upper-case hexadecimal address text of an ID: "09", "0A", "FF"; empty outside
// 0 to 255.
QString addressText(int id);
// The digit that names channel 0 to 15 in a command: "0" to "9", "A" to "F".
QString channelDigit(int channel);

// "$AAF": the module's name, its model code at reply characters 4 to 6.
QString identificationQuery(const QString &address);
// "$AA6": the module's digital input and output status.
QString statusQuery(const QString &address);
// "#AA" and the channel digit: a counter, input or analog value.
QString channelRead(const QString &address, int channel);
// "#AA" and the switch suffix: the group ("1" for channels 0 to 7, "B" for 8 to 15), the channel
// within its group, "01" on or "00" off. #011301 switches channel 3 of module 01 on.
QString outputSwitch(const QString &address, int channel, bool on);
// "%" + present address + new address + type code + baud-rate code + mode digit + format digit.
QString configurationCommand(const QString &address, const QString &newAddress, const QString &type,
                             const QString &baudCode, const QString &mode, const QString &format);

// The type code of a configuration written to a digital module.
inline QString digitalTypeCode()
{
    return QStringLiteral("40");
}

// ---- Replies -----------------------------------------------------------------------------------

// A reply that begins with "!" is an accepted answer; nothing else of it is checked.
bool isAccepted(const QString &reply);
// The characters from position first (counted from 1) on, at most count of them; fewer when the
// text is shorter, empty when it ends before first.
QString midChars(const QString &text, int first, int count);
// The address a reply carries: characters 2 and 3.
QString replyAddress(const QString &reply);
// The model code of an identification reply: characters 4 to 6.
QString modelCode(const QString &reply);
// A status or counter value: characters 4 to 8.
QString statusField(const QString &reply);
// An analog or read value: characters 4 to 11.
QString valueField(const QString &reply);
// The configuration write treats a module as the analog model when characters 4 to 7 of its
// identification reply are "E82M".
bool isAnalogForWrite(const QString &identificationReply);

// ---- Models ------------------------------------------------------------------------------------

// Which scan found a module: the two scans describe one model differently.
enum class ScanKind { AllSettings, CurrentSettings };

struct ModelInfo
{
    const char *code;  // "E41" …
    int inputs;        // digital inputs (counters)
    int outputs;       // digital outputs
    int analogInputs;
};

// The model of an exact, case-sensitive code; null for any other text.
const ModelInfo *findModel(const QString &code);
// The 17-character description of a model code ("Unkonw The Module" for anything unknown), as
// the scan of that kind writes it.
QString ModelTable(const QString &modelCode, ScanKind kind);
// "QRD-" and the model code, whatever it is.
QString moduleName(const QString &modelCode);

// One found module as the grid lists it.
struct ScanRow
{
    QString address;
    QString name;
    QString description;  // with its trailing blanks
    QString baudRate;
    QString checksum;  // "Enable" or "Disable"
};
ScanRow scanRow(const QString &reply, ScanKind kind, const QString &baudRate,
                const QString &checksum);
inline QString checksumText(bool enabled)
{
    return enabled ? QStringLiteral("Enable") : QStringLiteral("Disable");
}

// ---- Rates and line settings ---------------------------------------------------------------

// The eight rates, in the order of the rate lists and of the all-settings scan.
extern const char *const ScanBaudRates[8];
// The list index of a rate (1200 → 0 … 115200 → 7); -1 for any other.
int rateIndex(int rate);
// The rate field of the settings text for a list index: six characters, blank-padded ("  9600");
// empty outside 0 to 7.
QString rateField(int listIndex);
// A rate field followed by ",n,8,1".
QString lineSettings(const QString &rateField);

// ---- Configuration codes, by the list index of their field (-1: none selected) ---------------

QString baudRateCode(int listIndex);
// 00 to FF without CD and DD, which the list of new addresses does not offer.
QString moduleIdCode(int listIndex);
// The list index of a new address ("0F" → 15); -1 for text the list does not hold.
int moduleIdIndex(const QString &address);
// Checksum (and, for the analog module, fast conversion): Disable/Normal, Disable/Fast,
// Enable/Normal, Enable/Fast.
QString digitalModeDigit(int listIndex);
QString analogModeDigit(int listIndex);
// The analog input range: 08 (+/-10V) to 0D (+/-20mA).
QString rangeCode(int listIndex);
// The analog data format: 0 volts, 1 percent, 2 hexadecimal.
QString formatDigit(int listIndex);
// The list index of a range code ("0A" → 2) and of a format digit; -1 for any other text.
int rangeIndex(const QString &code);
int formatIndex(const QString &digit);

// ---- Modbus RTU identification -----------------------------------------------------------------

// The request the current-settings scan sends for an address in Modbus RTU mode, as hexadecimal
// byte text: the address, function 46 and two zero bytes ("07 46 00  00").
QString rtuIdentificationRequest(const QString &address);
// The identification answer picked out of a hexadecimal dump of what came back (blanks trimmed),
// in the form of an ASCII identification reply: "!" + the first byte's two digits + the fifth
// byte's low digit + the sixth byte's two digits, when that low digit is the model letter "E";
// empty otherwise.
QString rtuIdentificationFromDump(const QString &dump);

// ---- The converter's loop test ---------------------------------------------------------------

// The texts the loop test sends, one character at a time, in this order (the table LoopPatterns).
const std::array<QString, 32> &LoopPatterns();
