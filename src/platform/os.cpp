// The part of the platform layer that is Qt alone in both implementations.
#include "platform/os.h"

#include "platform/osdetail.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

constexpr int DevicePollMs = 2000;

QStringList portNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.systemLocation();
    names.sort();
    return names;
}

}  // namespace

QList<QSerialPortInfo> Os::serialPortsByNumber()
{
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    QList<PortListing> listed;
    for (const QSerialPortInfo &info : available)
        listed.append({info.portName(), Detail::isUsb(info)});
    QList<QSerialPortInfo> ports;
    for (const qsizetype index : numberPorts(listed))
        ports << (index < 0 ? QSerialPortInfo() : available.at(index));
    return ports;
}

struct Os::DeviceWatch::Private
{
    QFileSystemWatcher watcher;
    QTimer poll;
    QStringList ports;

    // The link folder is watched once it exists, its parent until then (so that its making is
    // seen); it is never made here, since the program makes no file the operator did not ask for.
    void arm()
    {
        const QString links = comLinkFolder();
        QStringList folders = Detail::deviceFolders();
        folders << (QFileInfo(links).isDir() ? links : QFileInfo(links).absolutePath());
        const QStringList watched = watcher.directories();
        for (const QString &folder : folders) {
            if (!watched.contains(folder) && QFileInfo(folder).isDir())
                watcher.addPath(folder);
        }
    }
};

Os::DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->arm();
    connect(&d->watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        d->arm();
        emit changed();
    });
    if (Detail::pollsForDevices()) {
        d->ports = portNames();
        d->poll.setInterval(DevicePollMs);
        connect(&d->poll, &QTimer::timeout, this, [this] {
            QStringList now = portNames();
            if (now != d->ports) {
                d->ports = std::move(now);
                emit changed();
            }
        });
        d->poll.start();
    }
}

Os::DeviceWatch::~DeviceWatch() = default;
