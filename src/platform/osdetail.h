#pragma once

#include <QSerialPortInfo>
#include <QStringList>

// What the two implementations tell the part of the platform layer they share.
namespace Os::Detail {

// Folders whose entries change when a serial device comes or goes ("/dev"); none where the system
// has no such folder.
QStringList deviceFolders();

// Whether devices are noticed by asking the system for its ports now and then, where no folder
// tells of them.
bool pollsForDevices();

// Whether the port is a USB adapter, as far as the system tells.
bool isUsb(const QSerialPortInfo &info);

}  // namespace Os::Detail
