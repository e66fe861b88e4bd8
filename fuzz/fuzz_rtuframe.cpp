// Modbus RTU frames from arbitrary text: either a clean format error, or a frame whose own CRC
// leaves a residue of 0 and whose CRC agrees with a bit-by-bit computation.
#include "link/errors.h"
#include "link/rtuframe.h"

#include <QStringList>

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
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray frame;
    try {
        frame = BuildRtuFrame(text);
    } catch (const FormatError &) {
        return 0;
    }
    const qsizetype count = text.split(u' ', Qt::SkipEmptyParts).size();
    if (frame.size() != count + 2)
        std::abort();
    const quint16 crc = bitwiseCrc(frame.left(count));
    if (quint8(frame.at(count)) != (crc & 0xFF) || quint8(frame.at(count + 1)) != (crc >> 8))
        std::abort();
    if (bitwiseCrc(frame) != 0)
        std::abort();
    return 0;
}
