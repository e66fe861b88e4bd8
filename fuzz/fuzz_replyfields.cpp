// Replies cut into their fields by position, as the scan and the panel read them: never out of
// range, never longer than asked, and the model table always gives a 17-character text.
#include "link/protocol.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int first = int(int8_t(data[0]));
    const int count = int(int8_t(data[1]));
    const QString reply =
        QString::fromLatin1(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const QString piece = midChars(reply, first, count);
    if (piece.size() > qMax(0, count))
        std::abort();
    if (!piece.isEmpty() && reply.mid(first - 1, count) != piece)
        std::abort();
    // The fields the scan, the panel and the configuration write take.
    for (const auto &[from, length] : {std::pair{2, 2}, {4, 3}, {4, 5}, {4, 8}, {4, 4}}) {
        if (midChars(reply, from, length).size() > length)
            std::abort();
    }
    for (ScanKind kind : {ScanKind::AllSettings, ScanKind::CurrentSettings}) {
        if (ModelTable(midChars(reply, 4, 3), kind).size() != 17)
            std::abort();
    }
    const QString address = addressText(first * 3);
    if (!(address.isEmpty() || address.size() == 2))
        std::abort();
    return 0;
}
