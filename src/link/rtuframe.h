#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

// Modbus RTU framing: data bytes typed as hexadecimal text, followed by the CRC-16/MODBUS, low
// byte first. Keeps the last frame built, as the form did.
class RtuFramer
{
public:
    // Fills both tables (the form does this first thing at start-up).
    RtuFramer();

    std::array<qint16, 256> CrcHiTable{};
    std::array<qint16, 256> CrcLoTable{};
    int CrcHi = 0xFF;
    qint16 CrcLo = 0xFF;
    QByteArray RtuFrame;  // RtuCount data bytes, then CrcHi, then CrcLo
    qint16 RtuCount = 0;

    // Turns the text into RtuFrame. Throws FormatError for a token that is not a hexadecimal
    // number from 0 to FF; the frame is then only partly filled and must not be written.
    void BuildRtuFrame(const QString &text);
    void CalcCrc16(const QByteArray &frame, qint16 n);

    // The CRC bytes of data in wire order (first, second), without touching the frame.
    static QByteArray crcOf(const QByteArray &data);
};

// Every byte as two upper-case hexadecimal digits followed by one blank.
QString hexDump(const QByteArray &bytes);
