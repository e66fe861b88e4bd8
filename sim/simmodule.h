#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// The five models of the family.
enum class SimModel { E41, E43, E45, E47, E82 };

// "E41" … "E82".
QString simModelCode(SimModel model);
// The model of a code, exactly as written ("E41"); nothing for anything else.
std::optional<SimModel> simModelFromCode(const QString &code);
int simInputCount(SimModel model);   // digital inputs (with a counter each)
int simOutputCount(SimModel model);  // digital outputs
int simAnalogCount(SimModel model);  // analog inputs

// The baud-rate codes of the configuration write: "03" is 1200 … "0A" is 115200.
int simRateOfCode(int code);  // 0 for an unknown code
int simCodeOfRate(int rate);  // 0 for a rate the family does not have
bool simIsLineRate(int rate);

// What a module is set to: what the configuration write changes, and what a bench describes.
struct SimModuleSettings
{
    SimModel model = SimModel::E41;
    int address = 1;        // 0 to 255
    int rate = 9600;        // one of the eight line rates
    bool checksum = false;  // answers only checksummed commands, and checksums its replies
    int range = 0x08;       // analog: type code 08 (+/-10 V) to 0D (+/-20 mA)
    int format = 0;         // analog: 0 engineering units, 1 percent of span, 2 hexadecimal
    bool fast = false;      // analog: fast conversion (accepted and reported, nothing else)

    bool operator==(const SimModuleSettings &other) const;
};

// The reply a module gives to one frame, and the settings it takes once that reply has left.
struct SimReply
{
    QByteArray bytes;  // carriage return included (ASCII), CRC included (RTU)
    std::optional<SimModuleSettings> reconfigure;
};

// One module on the bus: its settings, its channels, and its answers to the commands it hears.
class SimModule
{
public:
    explicit SimModule(const SimModuleSettings &settings);

    const SimModuleSettings &settings() const { return m_settings; }
    void setSettings(const SimModuleSettings &settings);
    QString addressText() const;

    // Digital channels, bit n for channel n.
    quint16 outputs() const { return m_outputs; }
    void setOutput(int channel, bool on);
    quint16 inputs() const { return m_inputs; }
    // A rising edge on an input adds one to its counter.
    void setInput(int channel, bool on);
    quint16 counter(int channel) const;
    void setCounter(int channel, quint16 value);
    // Analog input as a fraction of the range's full scale, -1 to 1.
    double analog(int channel) const;
    void setAnalog(int channel, double fraction);

    // The answer to one ASCII command (its carriage return removed) heard at lineRate; nothing
    // when the module stays silent (another address, another rate, a wrong or missing checksum).
    std::optional<SimReply> answer(const QByteArray &command, int lineRate);
    // The answer to a Modbus RTU identification request (address, 46, 00, 00, CRC).
    std::optional<SimReply> answerRtu(const QByteArray &frame, int lineRate);

    // The value field of a channel read on the analog model, in the present range and format.
    QByteArray analogField(int channel) const;

private:
    QByteArray body(const QByteArray &command, std::optional<SimModuleSettings> &reconfigure);
    QByteArray configure(const QByteArray &fields, std::optional<SimModuleSettings> &reconfigure);
    QByteArray statusField() const;

    SimModuleSettings m_settings;
    quint16 m_outputs = 0;
    quint16 m_inputs = 0;
    std::array<quint16, 16> m_counters{};
    std::array<double, 8> m_analog{};
};

// The Modbus RTU identification request this family answers: six bytes, valid CRC.
bool simIsRtuIdentification(const QByteArray &frame);
