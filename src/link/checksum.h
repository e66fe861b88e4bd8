#pragma once

#include <QByteArray>
#include <QString>

// Removes leading and trailing blanks (the space character only: tabs and carriage returns stay).
QString trimSpaces(const QString &text);

// Upper-cases the letters a to z only; every other character stays as it is.
QString upperAscii(const QString &text);

// The last two upper-case hexadecimal digits of the sum of the character codes of text, the sum
// taken as a signed 16-bit integer: "$01M" gives "D2", the empty text "0". Throws FormatError when
// the sum leaves the 16-bit range or a character has no single-byte code, so a wrong checksum is
// never sent.
QString asciiChecksum(const QString &text);

// Whether every character of the text has a single-byte code (Latin-1), so that it can go on the
// line as it stands.
bool hasLineBytes(const QString &text);

// The text as the bytes that go on the line, one byte per character (Latin-1). Throws FormatError
// for a character that has no single-byte code.
QByteArray lineBytes(const QString &text);
