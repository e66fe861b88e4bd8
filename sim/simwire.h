#pragma once

#include <QByteArray>
#include <QtGlobal>

// The arithmetic of the wire, worked out by the simulator on its own: it judges the program's
// checksums and CRCs, so it must not borrow the program's code for them.

// The ASCII checksum of a text: the sum of its character codes, of which the last two
// hexadecimal digits are written, upper case. "$01M" sums to 210 and carries "D2".
QByteArray simAsciiChecksum(const QByteArray &text);

// CRC-16/MODBUS of the bytes, worked bit by bit: start 0xFFFF, reflected polynomial 0xA001.
quint16 simCrc16(const QByteArray &data);
// The bytes followed by their CRC, low byte first, as a Modbus RTU frame carries it.
QByteArray simWithCrc(const QByteArray &data);
