#include "sim/simbus.h"

#include "sim/simwire.h"

#include <QTimer>

SimBus::SimBus(QObject *parent) : QObject(parent) {}

SimBus::~SimBus() = default;

SimModule &SimBus::addModule(const SimModuleSettings &settings)
{
    m_modules.push_back(std::make_unique<SimModule>(settings));
    return *m_modules.back();
}

SimModule *SimBus::module(int address) const
{
    for (const auto &m : m_modules) {
        if (m->settings().address == address)
            return m.get();
    }
    return nullptr;
}

std::optional<SimBus::Answer> SimBus::answerAscii(const QByteArray &command, int lineRate)
{
    emit heard(command, lineRate);
    // Two modules at one address and rate would garble each other on a real line; here the
    // first one in bench order answers.
    for (const auto &m : m_modules) {
        if (m_fault.silent && m_fault.appliesTo(m->settings().address))
            continue;
        std::optional<SimReply> reply = m->answer(command, lineRate);
        if (!reply)
            continue;
        if (m_fault.badSum && m_fault.appliesTo(m->settings().address)) {
            QByteArray &bytes = reply->bytes;
            bytes.chop(m->settings().checksum ? 3 : 1);  // the module's checksum and the return
            const int wrong = (simAsciiChecksum(bytes).toInt(nullptr, 16) + 1) % 256;
            bytes += QByteArray::number(wrong, 16).rightJustified(2, '0').toUpper() + '\r';
        }
        return Answer{*reply, m.get()};
    }
    return std::nullopt;
}

std::optional<SimBus::Answer> SimBus::answerRtu(const QByteArray &frame, int lineRate)
{
    emit heard(frame, lineRate);
    for (const auto &m : m_modules) {
        if (m_fault.silent && m_fault.appliesTo(m->settings().address))
            continue;
        std::optional<SimReply> reply = m->answerRtu(frame, lineRate);
        if (!reply)
            continue;
        if (m_fault.appliesTo(m->settings().address)) {
            QByteArray &bytes = reply->bytes;
            if (m_fault.exceptionCode > 0) {
                // The function code with its high bit set, then the code of the exception.
                bytes = simWithCrc(QByteArray(1, frame.at(0)) + char(quint8(frame.at(1)) | 0x80) +
                                   char(m_fault.exceptionCode));
            }
            if (m_fault.badCrc)
                bytes[bytes.size() - 2] = char(bytes.at(bytes.size() - 2) ^ 0xFF);
        }
        return Answer{*reply, m.get()};
    }
    return std::nullopt;
}

void SimBus::stepInputs()
{
    for (const auto &m : m_modules) {
        const int count = simInputCount(m->settings().model);
        if (count == 0)
            continue;
        const int channel = int(m_random.bounded(count));
        m->setInput(channel, !(m->inputs() & (1u << channel)));
    }
}

SimLine::SimLine(SimBus &bus, QObject *parent)
    : QObject(parent), m_bus(bus), m_stream(new QTimer(this))
{
    m_clock.start();
    m_stream->setTimerType(Qt::PreciseTimer);
    connect(m_stream, &QTimer::timeout, this, [this] {
        const int count = qMin(m_streamLeft, 64);
        m_streamLeft -= count;
        if (m_streamLeft <= 0)
            m_stream->stop();
        if (count > 0)
            emit transmit(noise(count, true));
    });
}

SimLine::~SimLine() = default;

int SimLine::lineTimeMs(qsizetype count, int rate)
{
    if (rate <= 0)
        return 0;
    return int((qint64(count) * 10 * 1000 + rate - 1) / rate);
}

void SimLine::receive(const QByteArray &bytes, int lineRate)
{
    m_rx += bytes;
    for (;;) {
        // A Modbus RTU request has no terminator: it is recognised when its last byte arrives.
        // Its two zero bytes never occur in an ASCII command, so a command never looks like one.
        if (m_rx.size() >= 6 && simIsRtuIdentification(m_rx.right(6))) {
            const QByteArray frame = m_rx.right(6);
            m_rx.clear();
            if (std::optional<SimBus::Answer> answer = m_bus.answerRtu(frame, lineRate))
                deliver(*answer, lineRate);
            break;
        }
        const qsizetype cr = m_rx.indexOf('\r');
        if (cr < 0)
            break;
        const QByteArray line = m_rx.left(cr);
        m_rx.remove(0, cr + 1);
        // A lead character starts a new command; what came before it on the line is noise.
        const qsizetype lead =
            qMax(line.lastIndexOf('$'), qMax(line.lastIndexOf('#'), line.lastIndexOf('%')));
        if (lead < 0)
            continue;
        if (std::optional<SimBus::Answer> answer = m_bus.answerAscii(line.mid(lead), lineRate))
            deliver(*answer, lineRate);
    }
    if (m_rx.size() > kMaxPending)
        m_rx.remove(0, m_rx.size() - 6);
}

void SimLine::reset()
{
    ++m_generation;
    m_rx.clear();
    m_stream->stop();
    m_streamLeft = 0;
    m_busyUntil = 0;
}

void SimLine::deliver(SimBus::Answer answer, int lineRate)
{
    const SimFault &fault = m_bus.fault();
    const bool faulty = fault.appliesTo(answer.module->settings().address);
    const qint64 now = m_clock.elapsed();
    qint64 at = qMax(now, m_busyUntil) + kTurnaroundMs + (faulty ? fault.delayMs : 0);

    if (faulty && fault.endlessBytes > 0) {
        startEndless(fault.endlessBytes, lineRate, at);
        return;
    }
    QByteArray bytes = answer.reply.bytes;
    if (faulty && fault.garbageBytes > 0)
        bytes = noise(fault.garbageBytes, false) + '\r';

    const qsizetype piece = faulty && fault.pieceSize > 0 ? fault.pieceSize : bytes.size();
    for (qsizetype offset = 0; offset < bytes.size(); offset += piece) {
        const QByteArray chunk = bytes.mid(offset, piece);
        if (offset > 0)
            at += fault.pieceGapMs;
        at += lineTimeMs(chunk.size(), lineRate);
        send(chunk, at);
    }
    m_busyUntil = at;

    if (answer.reply.reconfigure) {
        // The module takes its new settings once its reply has left, not before.
        const quint64 generation = m_generation;
        SimModule *module = answer.module;
        const SimModuleSettings next = *answer.reply.reconfigure;
        QTimer::singleShot(int(qMax<qint64>(0, at - m_clock.elapsed())), Qt::PreciseTimer, this,
                           [this, generation, module, next] {
                               if (generation == m_generation)
                                   module->setSettings(next);
                           });
    }
}

void SimLine::send(const QByteArray &bytes, qint64 atMs)
{
    const quint64 generation = m_generation;
    QTimer::singleShot(int(qMax<qint64>(0, atMs - m_clock.elapsed())), Qt::PreciseTimer, this,
                       [this, generation, bytes] {
                           if (generation == m_generation)
                               emit transmit(bytes);
                       });
}

void SimLine::startEndless(int total, int lineRate, qint64 atMs)
{
    const quint64 generation = m_generation;
    m_streamRate = lineRate;
    m_busyUntil = atMs + lineTimeMs(total, lineRate);
    QTimer::singleShot(int(qMax<qint64>(0, atMs - m_clock.elapsed())), Qt::PreciseTimer, this,
                       [this, generation, total] {
                           if (generation != m_generation)
                               return;
                           m_streamLeft += total;
                           m_stream->start(qMax(1, lineTimeMs(64, m_streamRate)));
                       });
}

QByteArray SimLine::noise(int count, bool printable)
{
    QByteArray bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        const char c = printable ? char(0x21 + m_random.bounded(0x7E - 0x21 + 1))
                                 : char(m_random.bounded(256));
        if (c != '\r')
            bytes.append(c);
    }
    return bytes;
}
