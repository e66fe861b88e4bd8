#pragma once

#include "sim/simbus.h"
#include "sim/simconverter.h"
#include "sim/simmodule.h"
#include "sim/simserialport.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// A whole bench in one object, for the program and for tests running it in-process: the bus of
// modules, its pseudo-terminal linked as COMn, and optionally the converter on 127.0.0.1.
//
//     SimBench bench;
//     bench.addModule({SimModel::E41, 0x01, 9600, false});
//     bench.startSerial(7);                 // COM7 now opens the bench
//     quint16 port = bench.startConverter(); // 127.0.0.1:port reaches the same bus
//
// Everything runs in the thread's event loop; the program's waits run it, so the bench answers
// while the window waits for a reply.
class SimBench : public QObject
{
    Q_OBJECT
public:
    explicit SimBench(QObject *parent = nullptr);
    ~SimBench() override;

    SimBus &bus() { return *m_bus; }
    SimModule &addModule(const SimModuleSettings &settings) { return m_bus->addModule(settings); }
    SimModule *module(int address) const { return m_bus->module(address); }

    // The pseudo-terminal, linked as COMn in simLinkFolder(). False with the reason.
    bool startSerial(int comNumber = 1, bool replaceLink = true, QString *error = nullptr);
    SimSerialPort *serial() const { return m_serial.get(); }
    int comNumber() const { return m_serial ? m_serial->comNumber() : 0; }

    // The converter; port 0 picks a free one. Returns the port listened on, 0 on failure.
    quint16 startConverter(quint16 port = 0, SimConverter::Mode mode = SimConverter::Mode::Bus,
                           QString *error = nullptr);
    SimConverter *converter() const { return m_converter.get(); }

    // The bench the program runs when given no modules: every model several times, at several
    // rates, some with checksum; those at 9600 without checksum sit at the lowest addresses.
    static QList<SimModuleSettings> defaultModules();

private:
    std::unique_ptr<SimBus> m_bus;
    std::unique_ptr<SimSerialPort> m_serial;
    std::unique_ptr<SimConverter> m_converter;
};

// MODEL:ADDR:RATE[:chk|nochk[:RANGE[:FORMAT]]], for example "E41:01:9600:nochk" or
// "E82:0A:38400:chk:09:1". ADDR and RANGE are hexadecimal, FORMAT 0, 1 or 2.
std::optional<SimModuleSettings> simParseModule(const QString &text, QString *error = nullptr);
QString simDescribeModule(const SimModuleSettings &settings);

// silent | delay=MS | pieces=SIZE,GAPMS | garbage=BYTES | endless=BYTES | badsum | badcrc |
// exception=CODE (hexadecimal), added to fault.
bool simParseFault(const QString &text, SimFault &fault, QString *error = nullptr);
