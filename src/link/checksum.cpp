#include "link/checksum.h"

#include "link/errors.h"

#include <algorithm>
#include <limits>

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString upperAscii(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return result;
}

QString asciiChecksum(const QString &text)
{
    int sum = 0;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            throw FormatError(QStringLiteral("The command holds a character that cannot be sent"));
        sum += c.unicode();
        if (sum > std::numeric_limits<qint16>::max())
            throw FormatError(QStringLiteral("The command is too long for its checksum"));
    }
    return QString::number(sum, 16).toUpper().right(2);
}

bool hasLineBytes(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QByteArray lineBytes(const QString &text)
{
    if (!hasLineBytes(text))
        throw FormatError(QStringLiteral("The command holds a character that cannot be sent"));
    return text.toLatin1();
}
