// The scan's reading of a Modbus RTU answer out of the hexadecimal dump: any text gives either
// nothing or an identification reply built from the dump's own characters, and a dump made from
// real bytes gives back the address and model digits it carries.
#include "link/protocol.h"
#include "link/rtuframe.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromLatin1(bytes);
    const QString reply = rtuIdentificationFromDump(text);
    if (!reply.isEmpty() && (reply.size() > 6 || !reply.startsWith(u'!') || reply.at(3) != u'E'))
        std::abort();

    const QString dump = hexDump(bytes).trimmed();
    const QString fromBytes = rtuIdentificationFromDump(dump);
    if (size >= 5 && (data[4] & 0x0F) == 0x0E) {
        const QString expected = QStringLiteral("!") + dump.mid(0, 2) + u'E' + dump.mid(15, 2);
        if (fromBytes != expected)
            std::abort();
    } else if (size >= 5 && !fromBytes.isEmpty()) {  // the fifth byte carries no model letter
        std::abort();
    }
    return 0;
}
