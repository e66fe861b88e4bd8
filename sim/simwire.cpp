#include "sim/simwire.h"

QByteArray simAsciiChecksum(const QByteArray &text)
{
    unsigned total = 0;
    for (char c : text)
        total += uchar(c);
    static const char digits[] = "0123456789ABCDEF";
    const unsigned lastTwo = total % 256;
    const char pair[2] = {digits[lastTwo / 16], digits[lastTwo % 16]};
    return QByteArray(pair, 2);
}

quint16 simCrc16(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (char c : data) {
        crc ^= uchar(c);
        // Least significant bit first: the polynomial is applied in its reflected form.
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray simWithCrc(const QByteArray &data)
{
    const quint16 crc = simCrc16(data);
    return data + char(crc & 0xFF) + char(crc >> 8);
}
