#include "link/protocol.h"

#include <QStringList>

const char *const ScanBaudRates[8] = {"1200",  "2400",  "4800",  "9600",
                                      "19200", "38400", "57600", "115200"};

namespace {

const ModelInfo Models[] = {
    {"E41", 0, 16, 0}, {"E43", 16, 0, 0}, {"E45", 4, 4, 0}, {"E47", 8, 8, 0}, {"E82", 0, 0, 8},
};

// Row -1 (nothing selected) first, then the list's entries in order.
QString byListIndex(const QStringList &table, int listIndex)
{
    const int row = listIndex + 1;
    return row >= 0 && row < table.size() ? table.at(row) : table.first();
}

// The list index of the entry that holds code; -1 when none does.
int listIndexOf(const QStringList &table, const QString &code)
{
    const qsizetype row = table.indexOf(code, 1);
    return row < 0 ? -1 : int(row - 1);
}

const QStringList &rangeCodes()
{
    static const QStringList codes{"08", "08", "09", "0A", "0B", "0C", "0D"};
    return codes;
}

const QStringList &formatDigits()
{
    static const QStringList codes{"0", "0", "1", "2"};
    return codes;
}

const QStringList &moduleIdCodes()
{
    static const QStringList codes = [] {
        QStringList list{QStringLiteral("00")};
        for (int id = 0; id < 256; ++id) {
            if (id != 0xCD && id != 0xDD)
                list << addressText(id);
        }
        return list;
    }();
    return codes;
}

}  // namespace

QString addressText(int id)
{
    if (id < 0 || id > 255)
        return QString();
    return QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
}

QString channelDigit(int channel)
{
    return QString::number(channel, 16).toUpper();
}

QString identificationQuery(const QString &address)
{
    return QStringLiteral("$") + address + QStringLiteral("F");
}

QString statusQuery(const QString &address)
{
    return QStringLiteral("$") + address + QStringLiteral("6");
}

QString channelRead(const QString &address, int channel)
{
    return QStringLiteral("#") + address + channelDigit(channel);
}

QString outputSwitch(const QString &address, int channel, bool on)
{
    return QStringLiteral("#") + address + QLatin1String(channel < 8 ? "1" : "B") +
           QString::number(channel % 8) + QLatin1String(on ? "01" : "00");
}

QString configurationCommand(const QString &address, const QString &newAddress, const QString &type,
                             const QString &baudCode, const QString &mode, const QString &format)
{
    return QStringLiteral("%") + address + newAddress + type + baudCode + mode + format;
}

bool isAccepted(const QString &reply)
{
    return reply.startsWith(u'!');
}

QString midChars(const QString &text, int first, int count)
{
    if (first < 1 || count <= 0 || first > text.size())
        return QString();
    return text.mid(first - 1, count);
}

QString replyAddress(const QString &reply)
{
    return midChars(reply, 2, 2);
}

QString modelCode(const QString &reply)
{
    return midChars(reply, 4, 3);
}

QString statusField(const QString &reply)
{
    return midChars(reply, 4, 5);
}

QString valueField(const QString &reply)
{
    return midChars(reply, 4, 8);
}

bool isAnalogForWrite(const QString &identificationReply)
{
    return midChars(identificationReply, 4, 4) == QLatin1String("E82M");
}

const ModelInfo *findModel(const QString &code)
{
    for (const ModelInfo &model : Models) {
        if (code == QLatin1String(model.code))
            return &model;
    }
    return nullptr;
}

QString ModelTable(const QString &modelCode, ScanKind kind)
{
    if (modelCode == QLatin1String("E45"))
        return kind == ScanKind::AllSettings ? QStringLiteral("4 CH. DI & DO    ")
                                             : QStringLiteral("4 CH DI & DO     ");
    if (modelCode == QLatin1String("E41"))
        return QStringLiteral("16 CH DO         ");
    if (modelCode == QLatin1String("E43"))
        return QStringLiteral("16 CH DI         ");
    if (modelCode == QLatin1String("E82"))
        return QStringLiteral("8 CH A.D         ");
    if (modelCode == QLatin1String("E47"))
        return QStringLiteral("8 CH DI & DO     ");
    return QStringLiteral("Unkonw The Module");
}

QString moduleName(const QString &modelCode)
{
    return QStringLiteral("QRD-") + modelCode;
}

ScanRow scanRow(const QString &reply, ScanKind kind, const QString &baudRate,
                const QString &checksum)
{
    const QString code = modelCode(reply);
    return {replyAddress(reply), moduleName(code), ModelTable(code, kind), baudRate, checksum};
}

int rateIndex(int rate)
{
    for (int i = 0; i < 8; ++i) {
        if (QByteArray(ScanBaudRates[i]).toInt() == rate)
            return i;
    }
    return -1;
}

QString rateField(int listIndex)
{
    if (listIndex < 0 || listIndex > 7)
        return QString();
    return QString::fromLatin1(ScanBaudRates[listIndex]).rightJustified(6, u' ');
}

QString lineSettings(const QString &rateField)
{
    return rateField + QStringLiteral(",n,8,1");
}

QString baudRateCode(int listIndex)
{
    static const QStringList codes{"06", "03", "04", "05", "06", "07", "08", "09", "0A"};
    return byListIndex(codes, listIndex);
}

QString moduleIdCode(int listIndex)
{
    return byListIndex(moduleIdCodes(), listIndex);
}

int moduleIdIndex(const QString &address)
{
    return listIndexOf(moduleIdCodes(), address);
}

QString digitalModeDigit(int listIndex)
{
    // The digital modules know only the checksum half of the entry.
    static const QStringList codes{"0", "0", "0", "4", "4"};
    return byListIndex(codes, listIndex);
}

QString analogModeDigit(int listIndex)
{
    static const QStringList codes{"0", "0", "2", "4", "6"};
    return byListIndex(codes, listIndex);
}

QString rangeCode(int listIndex)
{
    return byListIndex(rangeCodes(), listIndex);
}

QString formatDigit(int listIndex)
{
    return byListIndex(formatDigits(), listIndex);
}

int rangeIndex(const QString &code)
{
    return listIndexOf(rangeCodes(), code);
}

int formatIndex(const QString &digit)
{
    return listIndexOf(formatDigits(), digit);
}

QString rtuIdentificationRequest(const QString &address)
{
    return address + QStringLiteral(" ") + QStringLiteral("46") + QStringLiteral(" 00") +
           QStringLiteral(" ") + QStringLiteral(" 00");
}

QString rtuIdentificationFromDump(const QString &dump)
{
    if (midChars(dump, 14, 1) != QLatin1String("E"))
        return QString();
    return QStringLiteral("!") + midChars(dump, 1, 2) + midChars(dump, 14, 1) +
           midChars(dump, 16, 2);
}

const std::array<QString, 32> &LoopPatterns()
{
    // N comes before M, as the converter's test has always sent them.
    static const std::array<QString, 32> patterns = [] {
        std::array<QString, 32> texts;
        texts[0] = QStringLiteral("012345678901234567890");
        texts[1] = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        texts[2] = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        const QString letters = QStringLiteral("ABCDEFGHIJKLNMOPQRSTUVWXYZ");
        for (int i = 0; i < 26; ++i)
            texts[size_t(3 + i)] = QString(26, letters.at(i));
        texts[29] = QStringLiteral("This is loop test ! ");
        texts[30] = QStringLiteral("TCP/IP To RS232/422/485 Isolated Converter!");
        texts[31] = QStringLiteral("~!@#$%^&*()_+=-':;}{?><|\\");
        return texts;
    }();
    return patterns;
}
