#include "sim/simmodule.h"

#include "sim/simwire.h"

#include <cmath>

namespace {

struct ModelInfo
{
    SimModel model;
    const char *code;
    int inputs;
    int outputs;
    int analog;
    quint8 rtuDigits;  // the model's two digits as one byte: E41 travels as 0E 41
};

constexpr ModelInfo kModels[] = {
    {SimModel::E41, "E41", 0, 16, 0, 0x41}, {SimModel::E43, "E43", 16, 0, 0, 0x43},
    {SimModel::E45, "E45", 4, 4, 0, 0x45},  {SimModel::E47, "E47", 8, 8, 0, 0x47},
    {SimModel::E82, "E82", 0, 0, 8, 0x82},
};

const ModelInfo &info(SimModel model)
{
    for (const ModelInfo &m : kModels) {
        if (m.model == model)
            return m;
    }
    return kModels[0];
}

constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Two hexadecimal digits at position pos, or -1.
int hexByte(const QByteArray &text, int pos)
{
    if (pos + 2 > text.size())
        return -1;
    const int high = hexValue(text.at(pos));
    const int low = hexValue(text.at(pos + 1));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

QByteArray hex2(int value)
{
    return QByteArray::number(value & 0xFF, 16).rightJustified(2, '0').toUpper();
}

QByteArray hex4(int value)
{
    return QByteArray::number(value & 0xFFFF, 16).rightJustified(4, '0').toUpper();
}

// Full scale of each analog range, and how its engineering value is written (8 characters).
struct RangeInfo
{
    int code;
    double fullScale;  // in the unit the reply uses
    int decimals;
};

constexpr RangeInfo kRanges[] = {
    {0x08, 10.0, 4},   // +dd.dddd  V
    {0x09, 5.0, 5},    // +d.ddddd  V
    {0x0A, 2.5, 5},    // +d.ddddd  V
    {0x0B, 1.25, 5},   // +d.ddddd  V
    {0x0C, 650.0, 3},  // +ddd.ddd  mV
    {0x0D, 20.0, 4},   // +dd.dddd  mA
};

const RangeInfo *rangeInfo(int code)
{
    for (const RangeInfo &r : kRanges) {
        if (r.code == code)
            return &r;
    }
    return nullptr;
}

// A signed value written in exactly eight characters: sign, zero-padded integer part, decimals.
QByteArray signedField(double value, int decimals)
{
    const QByteArray digits = QByteArray::number(std::fabs(value), 'f', decimals);
    return QByteArray(value < 0 ? "-" : "+") + digits.rightJustified(7, '0');
}

}  // namespace

QString simModelCode(SimModel model)
{
    return QString::fromLatin1(info(model).code);
}

std::optional<SimModel> simModelFromCode(const QString &code)
{
    for (const ModelInfo &m : kModels) {
        if (code == QLatin1String(m.code))
            return m.model;
    }
    return std::nullopt;
}

int simInputCount(SimModel model)
{
    return info(model).inputs;
}

int simOutputCount(SimModel model)
{
    return info(model).outputs;
}

int simAnalogCount(SimModel model)
{
    return info(model).analog;
}

int simRateOfCode(int code)
{
    return code >= 0x03 && code <= 0x0A ? kRates[code - 0x03] : 0;
}

int simCodeOfRate(int rate)
{
    for (int i = 0; i < 8; ++i) {
        if (kRates[i] == rate)
            return 0x03 + i;
    }
    return 0;
}

bool simIsLineRate(int rate)
{
    return simCodeOfRate(rate) != 0;
}

bool SimModuleSettings::operator==(const SimModuleSettings &other) const
{
    return model == other.model && address == other.address && rate == other.rate &&
           checksum == other.checksum && range == other.range && format == other.format &&
           fast == other.fast;
}

bool simIsRtuIdentification(const QByteArray &frame)
{
    return frame.size() == 6 && quint8(frame.at(1)) == 0x46 && frame.at(2) == 0 &&
           frame.at(3) == 0 && simWithCrc(frame.left(4)) == frame;
}

SimModule::SimModule(const SimModuleSettings &settings) : m_settings(settings)
{
    // Distinct first values, so that a read shows which channel and module answered.
    for (int ch = 0; ch < 16; ++ch)
        m_counters[size_t(ch)] = quint16(settings.address * 100 + ch * 7);
    for (int ch = 0; ch < 8; ++ch)
        m_analog[size_t(ch)] = (ch % 2 ? -1.0 : 1.0) * (ch + 1) / 10.0;
}

void SimModule::setSettings(const SimModuleSettings &settings)
{
    m_settings = settings;
}

QString SimModule::addressText() const
{
    return QString::fromLatin1(hex2(m_settings.address));
}

void SimModule::setOutput(int channel, bool on)
{
    if (channel < 0 || channel >= simOutputCount(m_settings.model))
        return;
    const quint16 bit = quint16(1u << channel);
    m_outputs = on ? quint16(m_outputs | bit) : quint16(m_outputs & ~bit);
}

void SimModule::setInput(int channel, bool on)
{
    if (channel < 0 || channel >= simInputCount(m_settings.model))
        return;
    const quint16 bit = quint16(1u << channel);
    if (on && !(m_inputs & bit))
        ++m_counters[size_t(channel)];
    m_inputs = on ? quint16(m_inputs | bit) : quint16(m_inputs & ~bit);
}

quint16 SimModule::counter(int channel) const
{
    return channel >= 0 && channel < 16 ? m_counters[size_t(channel)] : 0;
}

void SimModule::setCounter(int channel, quint16 value)
{
    if (channel >= 0 && channel < 16)
        m_counters[size_t(channel)] = value;
}

double SimModule::analog(int channel) const
{
    return channel >= 0 && channel < 8 ? m_analog[size_t(channel)] : 0.0;
}

void SimModule::setAnalog(int channel, double fraction)
{
    if (channel >= 0 && channel < 8)
        m_analog[size_t(channel)] = qBound(-1.0, fraction, 1.0);
}

QByteArray SimModule::analogField(int channel) const
{
    const double fraction = analog(channel);
    switch (m_settings.format) {
        case 1:
            return signedField(fraction * 100.0, 3);
        case 2:
            // Two's complement of the fraction of full scale, as the family's hexadecimal format.
            return hex4(int(std::lround(fraction * 32767.0)));
        default: {
            const RangeInfo *range = rangeInfo(m_settings.range);
            if (!range)
                range = &kRanges[0];
            return signedField(fraction * range->fullScale, range->decimals);
        }
    }
}

QByteArray SimModule::statusField() const
{
    switch (m_settings.model) {
        case SimModel::E41:
            return hex4(m_outputs) + "00";
        case SimModel::E43:
            return hex4(m_inputs) + "00";
        default:
            return hex2(m_outputs) + hex2(m_inputs) + "00";
    }
}

std::optional<SimReply> SimModule::answer(const QByteArray &command, int lineRate)
{
    if (lineRate != m_settings.rate || command.size() < 3)
        return std::nullopt;
    const char lead = command.at(0);
    if (lead != '$' && lead != '#' && lead != '%')
        return std::nullopt;
    if (hexByte(command, 1) != m_settings.address)
        return std::nullopt;

    QByteArray text = command;
    if (m_settings.checksum) {
        // The last two characters must be the checksum of everything before them.
        if (text.size() < 5)
            return std::nullopt;
        const QByteArray given = text.right(2).toUpper();
        text.chop(2);
        if (given != simAsciiChecksum(text))
            return std::nullopt;
    }

    SimReply reply;
    reply.bytes = body(text, reply.reconfigure);
    if (m_settings.checksum)
        reply.bytes += simAsciiChecksum(reply.bytes);
    reply.bytes += '\r';
    return reply;
}

QByteArray SimModule::body(const QByteArray &command, std::optional<SimModuleSettings> &reconfigure)
{
    const QByteArray own = hex2(m_settings.address);
    const QByteArray accepted = "!" + own;
    const QByteArray refused = "?" + own;
    const QByteArray rest = command.mid(3);
    const SimModel model = m_settings.model;

    switch (command.at(0)) {
        case '$':
            if (rest == "F")
                return accepted + simModelCode(model).toLatin1() +
                       (model == SimModel::E82 ? "M" : "");
            if (rest == "M")
                return accepted + "QRD-" + simModelCode(model).toLatin1();
            if (rest == "6")
                return model == SimModel::E82 ? refused : accepted + statusField();
            if (rest == "2") {
                const int type = model == SimModel::E82 ? m_settings.range : 0x40;
                const int mode = (m_settings.checksum ? 4 : 0) + (m_settings.fast ? 2 : 0);
                return accepted + hex2(type) + hex2(simCodeOfRate(m_settings.rate)) +
                       QByteArray::number(mode) + QByteArray::number(m_settings.format);
            }
            return refused;
        case '#':
            if (rest.size() == 1) {
                const int channel = hexValue(rest.at(0));
                if (channel >= 0 && channel < simAnalogCount(model))
                    return accepted + analogField(channel);
                if (channel >= 0 && channel < simInputCount(model))
                    return accepted +
                           QByteArray::number(m_counters[size_t(channel)]).rightJustified(5, '0');
                return refused;
            }
            if (rest.size() == 4) {
                const char group = rest.at(0);
                const int digit = rest.at(1) >= '0' && rest.at(1) <= '7' ? rest.at(1) - '0' : -1;
                const QByteArray state = rest.mid(2);
                const int channel = digit < 0      ? -1
                                    : group == '1' ? digit
                                    : group == 'B' ? 8 + digit
                                                   : -1;
                if (channel < 0 || channel >= simOutputCount(model) ||
                    (state != "00" && state != "01"))
                    return refused;
                setOutput(channel, state == "01");
                return accepted;
            }
            return refused;
        default:
            return configure(rest, reconfigure);
    }
}

QByteArray SimModule::configure(const QByteArray &fields,
                                std::optional<SimModuleSettings> &reconfigure)
{
    const QByteArray refused = "?" + hex2(m_settings.address);
    // New address, type code, baud-rate code, mode digit, format digit.
    if (fields.size() != 8)
        return refused;
    const int address = hexByte(fields, 0);
    const int type = hexByte(fields, 2);
    const int rate = simRateOfCode(hexByte(fields, 4));
    const int mode = hexValue(fields.at(6));
    const int format = hexValue(fields.at(7));
    const bool analog = m_settings.model == SimModel::E82;
    if (address < 0 || rate == 0)
        return refused;
    if (analog) {
        if (!rangeInfo(type) || (mode != 0 && mode != 2 && mode != 4 && mode != 6) || format < 0 ||
            format > 2)
            return refused;
    } else if (type != 0x40 || (mode != 0 && mode != 4) || format != 0) {
        return refused;
    }

    SimModuleSettings next = m_settings;
    next.address = address;
    next.rate = rate;
    next.checksum = (mode & 4) != 0;
    if (analog) {
        next.range = type;
        next.fast = (mode & 2) != 0;
        next.format = format;
    }
    reconfigure = next;
    return "!" + hex2(address);
}

std::optional<SimReply> SimModule::answerRtu(const QByteArray &frame, int lineRate)
{
    if (lineRate != m_settings.rate || !simIsRtuIdentification(frame) ||
        quint8(frame.at(0)) != m_settings.address)
        return std::nullopt;
    // Address, function, sub-function, byte count, then the model: "E" as the low digit of one
    // byte and the two digits in the next.
    QByteArray data;
    data.append(char(m_settings.address));
    data.append(char(0x46));
    data.append(char(0x00));
    data.append(char(0x02));
    data.append(char(0x0E));
    data.append(char(info(m_settings.model).rtuDigits));
    return SimReply{simWithCrc(data), std::nullopt};
}
