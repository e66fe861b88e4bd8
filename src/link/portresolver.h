#pragma once

#include <QString>
#include <QStringList>

// How the names COM1 … COM20 of the port list find their devices.
struct PortTarget
{
    QString device;       // path to open; empty when nothing stands behind the name
    QString description;  // what the operator is shown: path, maker, serial number
};

class PortResolver
{
public:
    // The folder holding COMn links that pin a name to a device (the bench simulator puts its
    // pseudo-terminal there): "mirvel" in the per-user runtime folder.
    static QString linkFolder();
    static PortTarget resolve(int number);
    // resolve(1) to resolve(count) at once.
    static QList<PortTarget> resolveAll(int count);
};
