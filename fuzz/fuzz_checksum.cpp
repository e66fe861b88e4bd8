// The ASCII checksum of arbitrary text: either a clean refusal (a sum beyond 16 bits, a character
// without a byte) or exactly the last two hexadecimal digits of the character sum.
#include "link/checksum.h"
#include "link/errors.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Pairs of bytes make UTF-16 units, so characters beyond one byte occur too.
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    long sum = 0;
    bool sendable = true;
    for (QChar c : text) {
        sendable = sendable && c.unicode() <= 0xFF;
        sum += c.unicode();
    }
    try {
        const QString digits = asciiChecksum(text);
        if (!sendable || sum > 32767)
            std::abort();
        const QString expected = QString::number(sum, 16).toUpper().right(2);
        if (digits != expected)
            std::abort();
        if (lineBytes(text).size() != text.size())
            std::abort();
    } catch (const FormatError &) {
        if (sendable && sum <= 32767)
            std::abort();
    }
    const QString trimmed = trimSpaces(text);
    if (trimmed.startsWith(u' ') || trimmed.endsWith(u' '))
        std::abort();
    if (upperAscii(text).size() != text.size())
        std::abort();
    return 0;
}
