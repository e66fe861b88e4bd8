// The bench simulator's command parser: any bytes heard on the line, at any rate, give either
// silence or one well-formed reply ending in a carriage return (ASCII) or a frame whose CRC is
// right (Modbus RTU).
#include "sim/simbus.h"
#include "sim/simmodule.h"
#include "sim/simwire.h"

#include <cstdint>
#include <cstdlib>

namespace {

SimBus &bus()
{
    static SimBus *b = [] {
        auto *made = new SimBus;
        made->addModule({SimModel::E41, 0x01, 9600, false});
        made->addModule({SimModel::E43, 0x02, 9600, true});
        made->addModule({SimModel::E45, 0x03, 19200, false});
        made->addModule({SimModel::E47, 0x04, 9600, false});
        made->addModule({SimModel::E82, 0x05, 9600, true});
        return made;
    }();
    return *b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const int rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const int rate = rates[data[0] % 8];
    const QByteArray frame(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    if (const auto answer = bus().answerAscii(frame, rate)) {
        const QByteArray &reply = answer->reply.bytes;
        if (reply.isEmpty() || !reply.endsWith('\r') || reply.count('\r') != 1)
            std::abort();
        if (reply.at(0) != '!' && reply.at(0) != '?' && reply.at(0) != '>')
            std::abort();
    }
    if (const auto answer = bus().answerRtu(frame, rate)) {
        const QByteArray &reply = answer->reply.bytes;
        // A frame followed by its own CRC leaves a remainder of zero.
        if (reply.size() < 3 || simCrc16(reply) != 0)
            std::abort();
    }
    return 0;
}
