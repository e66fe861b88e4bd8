#include "link/commport.h"

#include "link/checksum.h"

void CommPort::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return;
    }
    openPort();
    emit opened();
}

void CommPort::output(const QByteArray &bytes)
{
    writeBytes(bytes);
    emit sent(bytes);
}

QByteArray CommPort::input()
{
    QByteArray bytes = readBytes();
    if (!bytes.isEmpty())
        emit received(bytes);
    return bytes;
}

QString settingsRate(const QString &settings)
{
    return trimSpaces(settings.section(u',', 0, 0));
}
