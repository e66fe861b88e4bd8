#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>

// Modbus RTU framing: data bytes typed as hexadecimal text, followed by the CRC-16/MODBUS, low
// byte first.

// The lookup tables of the table-driven CRC: CrcHiTable gives the byte sent first, CrcLoTable
// the byte sent second. Built once, on first use.
const std::array<quint8, 256> &CrcHiTable();
const std::array<quint8, 256> &CrcLoTable();

// The CRC registers after the first n bytes of frame: CrcHi is sent first, CrcLo second.
struct Crc16
{
    quint8 CrcHi = 0xFF;
    quint8 CrcLo = 0xFF;
};
Crc16 CalcCrc16(const QByteArray &frame, qsizetype n);

// The frame of the text: its tokens (separated by one or more blanks, and only by blanks) read as
// hexadecimal bytes, then CrcHi and CrcLo. Throws FormatError for a token that is not a
// hexadecimal number from 0 to FF; nothing is returned then, so no partial frame can be sent.
QByteArray BuildRtuFrame(const QString &text);

// Every byte as two upper-case hexadecimal digits followed by one blank.
QString hexDump(const QByteArray &bytes);
