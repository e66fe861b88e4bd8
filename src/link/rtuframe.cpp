#include "link/rtuframe.h"

#include "link/errors.h"

namespace {

std::array<quint16, 256> crcTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 value = quint16(i);
        for (int step = 0; step < 8; ++step)
            value = (value & 1) ? quint16((value >> 1) ^ 0xA001) : quint16(value >> 1);
        table[size_t(i)] = value;
    }
    return table;
}

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - '0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - 'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - 'a' + 10;
    return -1;
}

QString trimLeadingSpaces(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    return text.mid(i);
}

}  // namespace

RtuFramer::RtuFramer()
{
    const std::array<quint16, 256> table = crcTable();
    for (size_t i = 0; i < 256; ++i) {
        CrcHiTable[i] = qint16(table[i] & 0xFF);
        CrcLoTable[i] = qint16(table[i] >> 8);
    }
}

void RtuFramer::BuildRtuFrame(const QString &text)
{
    // Counting pass: tokens are separated by one or more spaces.
    QString t = text;
    while (t.endsWith(u' '))
        t.chop(1);
    int count = 0;
    while (!t.isEmpty()) {
        t = trimLeadingSpaces(t);
        const qsizetype space = t.indexOf(u' ');
        t = t.mid(space < 0 ? t.size() : space + 1);
        ++count;
    }
    if (count > 32767)
        throw FormatError(QStringLiteral("Too many bytes for one frame"));
    RtuCount = qint16(count);
    RtuFrame = QByteArray(count + 2, '\0');

    // Parsing pass.
    t = text;
    for (int i = 0; i < count; ++i) {
        t = trimLeadingSpaces(t);
        const qsizetype space = t.indexOf(u' ');
        const QString token = space < 0 ? t : t.left(space);
        uint value = 0;
        for (QChar c : token) {
            const int digit = hexDigit(c);
            if (digit < 0 || (value = value * 16 + uint(digit)) > 0xFF)
                throw FormatError(QStringLiteral("Not a byte: \"%1\"").arg(token.left(16)));
        }
        RtuFrame[i] = char(value);
        t = space < 0 ? QString() : t.mid(space + 1);
    }

    CalcCrc16(RtuFrame, RtuCount);
    RtuFrame[count] = char(CrcHi);
    RtuFrame[count + 1] = char(CrcLo);
}

void RtuFramer::CalcCrc16(const QByteArray &frame, qint16 n)
{
    CrcHi = 0xFF;
    CrcLo = 0xFF;
    for (int k = 0; k < n && k < frame.size(); ++k) {
        const int idx = (CrcHi ^ quint8(frame.at(k))) & 0xFF;
        CrcHi = CrcHiTable[size_t(idx)] ^ CrcLo;
        CrcLo = CrcLoTable[size_t(idx)];
    }
}

QByteArray RtuFramer::crcOf(const QByteArray &data)
{
    static const RtuFramer framer;
    RtuFramer scratch(framer);
    scratch.CalcCrc16(data, qint16(qMin<qsizetype>(data.size(), 32767)));
    QByteArray crc;
    crc.append(char(scratch.CrcHi));
    crc.append(char(scratch.CrcLo));
    return crc;
}

QString hexDump(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    static const char digits[] = "0123456789ABCDEF";
    for (char b : bytes) {
        const auto v = quint8(b);
        text.append(QChar(digits[v >> 4]));
        text.append(QChar(digits[v & 0xF]));
        text.append(u' ');
    }
    return text;
}
