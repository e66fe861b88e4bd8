#pragma once

#include "sim/simmodule.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>

#include <memory>
#include <vector>

class QTimer;

// A misbehaviour of the modules, switched on by a test or from the command line. The fields
// combine: a delay and pieces, for example.
struct SimFault
{
    int address = -1;      // the module it applies to; -1 for every module
    bool silent = false;   // the module hears nothing and answers nothing
    int delayMs = 0;       // extra time before the reply
    int pieceSize = 0;     // the reply in pieces of this many bytes (0: whole) …
    int pieceGapMs = 0;    // … this far apart
    int garbageBytes = 0;  // instead of the reply: this many binary bytes, then a carriage return
    int endlessBytes = 0;  // instead of the reply: a stream without carriage return, this long
    // The ASCII reply ends in the right checksum plus one instead of its own: a module without
    // checksum then appends two characters too, so that the fault shows whatever the setting.
    bool badSum = false;
    bool badCrc = false;    // the Modbus RTU reply's CRC is wrong (its low byte inverted)
    int exceptionCode = 0;  // 1-255: the RTU identification gets this exception reply instead

    bool appliesTo(int moduleAddress) const { return address < 0 || address == moduleAddress; }
    bool active() const
    {
        return silent || delayMs > 0 || pieceSize > 0 || garbageBytes > 0 || endlessBytes > 0 ||
               badSum || badCrc || exceptionCode > 0;
    }
};

// The RS-485 bus: the modules on it and the fault in force. Lines (the pseudo-terminal, the
// converter's serial side) hand it the frames they hear.
class SimBus : public QObject
{
    Q_OBJECT
public:
    explicit SimBus(QObject *parent = nullptr);
    ~SimBus() override;

    SimModule &addModule(const SimModuleSettings &settings);
    // The first module at that address, or nullptr. Addresses change with a configuration write.
    SimModule *module(int address) const;
    const std::vector<std::unique_ptr<SimModule>> &modules() const { return m_modules; }

    void setFault(const SimFault &fault) { m_fault = fault; }
    void clearFault() { m_fault = SimFault(); }
    const SimFault &fault() const { return m_fault; }

    struct Answer
    {
        SimReply reply;
        SimModule *module = nullptr;
    };
    // The answer of the first module that answers the frame; nothing when all stay silent.
    std::optional<Answer> answerAscii(const QByteArray &command, int lineRate);
    std::optional<Answer> answerRtu(const QByteArray &frame, int lineRate);

    // Flips one input of every module with inputs, as a running machine would.
    void stepInputs();

signals:
    // Every command line (carriage return removed) and every RTU request heard, at its rate.
    void heard(const QByteArray &frame, int lineRate);

private:
    std::vector<std::unique_ptr<SimModule>> m_modules;
    SimFault m_fault;
    QRandomGenerator m_random{20240611};
};

// One line into the bus: collects the bytes a program writes into frames, and sends each reply
// after the time its characters take at the line's rate plus a short turnaround.
class SimLine : public QObject
{
    Q_OBJECT
public:
    explicit SimLine(SimBus &bus, QObject *parent = nullptr);
    ~SimLine() override;

    static constexpr int kTurnaroundMs = 2;
    static constexpr int kMaxPending =
        512;  // a line without carriage return longer than this is noise

    // Bytes that arrived while the line was at lineRate.
    void receive(const QByteArray &bytes, int lineRate);
    // Drops what was half received and every reply not yet sent (the line went away).
    void reset();

    // Milliseconds that count characters take at rate, ten bits each, rounded up.
    static int lineTimeMs(qsizetype count, int rate);

signals:
    // Bytes to put on the line now.
    void transmit(const QByteArray &bytes);

private:
    void deliver(SimBus::Answer answer, int lineRate);
    void send(const QByteArray &bytes, qint64 atMs);
    void startEndless(int total, int lineRate, qint64 atMs);
    QByteArray noise(int count, bool printable);

    SimBus &m_bus;
    QByteArray m_rx;
    QElapsedTimer m_clock;
    qint64 m_busyUntil = 0;  // the line is sending until then
    quint64 m_generation = 0;
    QTimer *m_stream = nullptr;
    int m_streamLeft = 0;
    int m_streamRate = 9600;
    QRandomGenerator m_random{1977};
};
