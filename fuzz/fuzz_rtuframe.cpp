// Modbus RTU frames from arbitrary text: either a clean format error, or a frame whose own CRC
// leaves a residue of 0 and whose CRC agrees with a bit-by-bit computation.
#include "link/errors.h"
#include "link/rtuframe.h"

#include <cstdint>
#include <cstdlib>

namespace {

quint16 bitwiseCrc(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (char c : data) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static RtuFramer framer;
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        framer.BuildRtuFrame(text);
    } catch (const FormatError &) {
        return 0;
    }
    const QByteArray &frame = framer.RtuFrame;
    if (frame.size() != framer.RtuCount + 2)
        std::abort();
    const QByteArray body = frame.left(framer.RtuCount);
    const quint16 crc = bitwiseCrc(body);
    if (quint8(frame.at(framer.RtuCount)) != (crc & 0xFF) ||
        quint8(frame.at(framer.RtuCount + 1)) != (crc >> 8))
        std::abort();
    if (bitwiseCrc(frame) != 0)
        std::abort();
    return 0;
}
