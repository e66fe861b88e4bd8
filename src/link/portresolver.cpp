#include "link/portresolver.h"

#include "platform/os.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <functional>

QString PortResolver::linkFolder()
{
    return Os::comLinkFolder();
}

namespace {

QString describe(const QSerialPortInfo &info)
{
    QStringList parts{info.systemLocation()};
    if (!info.manufacturer().isEmpty())
        parts << info.manufacturer();
    if (!info.description().isEmpty() && info.description() != info.manufacturer())
        parts << info.description();
    if (!info.serialNumber().isEmpty())
        parts << QStringLiteral("serial %1").arg(info.serialNumber());
    return parts.join(QStringLiteral(", "));
}

PortTarget resolveAmong(int number,
                        const std::function<const QList<QSerialPortInfo> &()> &listPorts)
{
    const QString name = QStringLiteral("COM%1").arg(number);
    const QFileInfo link(PortResolver::linkFolder() + u'/' + name);
    if (link.isSymLink() || link.exists()) {
        const QString target = link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath();
        if (QFileInfo::exists(target))
            return {target,
                    QStringLiteral("%1 (pinned in %2)").arg(target, PortResolver::linkFolder())};
    }
    // Listing the system's ports takes tens of milliseconds: only when no link pins the name.
    const QList<QSerialPortInfo> &ports = listPorts();
    if (number >= 1 && number <= ports.size() && !ports.at(number - 1).isNull()) {
        const QSerialPortInfo &info = ports.at(number - 1);
        return {info.systemLocation(), describe(info)};
    }
    return {QString(), QStringLiteral("no device")};
}

}  // namespace

PortTarget PortResolver::resolve(int number)
{
    QList<QSerialPortInfo> ports;
    bool listed = false;
    return resolveAmong(number, [&]() -> const QList<QSerialPortInfo> & {
        if (!listed) {
            ports = Os::serialPortsByNumber();
            listed = true;
        }
        return ports;
    });
}

QList<PortTarget> PortResolver::resolveAll(int count)
{
    // The system's ports are listed once for all the names: listing them is the slow part.
    const QList<QSerialPortInfo> ports = Os::serialPortsByNumber();
    QList<PortTarget> targets;
    for (int number = 1; number <= count; ++number)
        targets << resolveAmong(number, [&]() -> const QList<QSerialPortInfo> & { return ports; });
    return targets;
}
