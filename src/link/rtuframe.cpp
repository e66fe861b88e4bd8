#include "link/rtuframe.h"

#include "link/errors.h"

#include <QStringList>

namespace {

struct CrcTables
{
    std::array<quint8, 256> hi{};
    std::array<quint8, 256> lo{};

    CrcTables()
    {
        for (int i = 0; i < 256; ++i) {
            quint16 value = quint16(i);
            for (int step = 0; step < 8; ++step)
                value = (value & 1) ? quint16((value >> 1) ^ 0xA001) : quint16(value >> 1);
            hi[size_t(i)] = quint8(value & 0xFF);
            lo[size_t(i)] = quint8(value >> 8);
        }
    }
};

const CrcTables &tables()
{
    static const CrcTables built;
    return built;
}

bool hexDigitsOnly(const QString &token)
{
    for (QChar c : token) {
        const bool digit =
            (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
        if (!digit)
            return false;
    }
    return true;
}

// The counter of data bytes is a 16-bit integer.
constexpr qsizetype MaxDataBytes = 32767;

}  // namespace

const std::array<quint8, 256> &CrcHiTable()
{
    return tables().hi;
}

const std::array<quint8, 256> &CrcLoTable()
{
    return tables().lo;
}

Crc16 CalcCrc16(const QByteArray &frame, qsizetype n)
{
    const CrcTables &t = tables();
    Crc16 crc;
    for (qsizetype k = 0; k < n && k < frame.size(); ++k) {
        const quint8 idx = crc.CrcHi ^ quint8(frame.at(k));
        crc.CrcHi = t.hi[idx] ^ crc.CrcLo;
        crc.CrcLo = t.lo[idx];
    }
    return crc;
}

QByteArray BuildRtuFrame(const QString &text)
{
    const QStringList tokens = text.split(u' ', Qt::SkipEmptyParts);
    if (tokens.size() > MaxDataBytes)
        throw FormatError(QStringLiteral("Too many bytes for one frame"));
    QByteArray frame;
    frame.reserve(tokens.size() + 2);
    for (const QString &token : tokens) {
        // toUInt alone would also take a "0x" prefix, a sign or surrounding white space.
        bool ok = hexDigitsOnly(token);
        const uint value = ok ? token.toUInt(&ok, 16) : 0;
        if (!ok || value > 0xFF)
            throw FormatError(QStringLiteral("Not a byte: \"%1\"").arg(token.left(16)));
        frame.append(char(value));
    }
    const Crc16 crc = CalcCrc16(frame, frame.size());
    frame.append(char(crc.CrcHi));
    frame.append(char(crc.CrcLo));
    return frame;
}

QString hexDump(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    return QString::fromLatin1(bytes.toHex(' ').toUpper()) + u' ';
}
