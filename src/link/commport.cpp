#include "link/commport.h"

#include "link/checksum.h"

QString settingsRate(const QString &settings)
{
    return trimSpaces(settings.section(u',', 0, 0));
}
