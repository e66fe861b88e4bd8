#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>

#include <memory>

class QFile;
class QSerialPort;

// What the program needs of the operating system beyond Qt, and nothing else. Two
// implementations: posix (Linux and its kin: device locks, the driver's own write, the /dev
// folder) and generic (Qt alone, for any system Qt runs on). The build chooses one.
namespace Os {

// The platform this build was made for: "posix" or "generic".
const char *name();

// A serial device held for this program while the port is open, so that other programs, and a
// second open in this one, see it taken. Released when destroyed.
class PortClaim
{
public:
    virtual ~PortClaim() = default;
};

enum class ClaimFailure { None, Permission, Busy, Other };

// Claims the device before it is opened. Null when it cannot be had, with why in failure and the
// system's own words in reason.
std::unique_ptr<PortClaim> claimPort(const QString &device, ClaimFailure *failure, QString *reason);

// Hands bytes to the open port's driver at once, past the port's own buffer; returns how many the
// driver took (0 where there is no such path: the caller writes the rest the port's own way).
qint64 writeNow(QSerialPort &port, const QByteArray &bytes);

// Whether the file open in file is still the one its name stands for: not removed, not replaced
// by another under the same name.
bool stillNamed(const QFile &file);

// Ends the process at once: no further event is handled, no destructor runs.
[[noreturn]] void endProcessNow(int status);

// A port of the system's list as the names see it: its name, and whether it is a USB adapter.
struct PortListing
{
    QString name;
    bool usb = false;
};

// Which listed port each of the names COM1, COM2, … takes: entry n - 1 is the index in ports of
// the port behind COMn, -1 where none is.
QList<qsizetype> numberPorts(const QList<PortListing> &ports);

// The system's serial ports as the names COM1, COM2, … take them: entry n - 1 stands behind COMn;
// a null entry where nothing does.
QList<QSerialPortInfo> serialPortsByNumber();

// The folder of the COMn links that pin a name to a device: "mirvel" in the user's runtime
// folder.
QString comLinkFolder();

// Tells when serial devices may have come or gone, or a link may have been placed in or taken
// from the link folder. Several changes at once may be told once or several times.
class DeviceWatch : public QObject
{
    Q_OBJECT
public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

signals:
    void changed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Tells when the user asks the program to stop (Ctrl-C, or the system's request to end), through
// the event loop.
class InterruptWatch : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Whether standard input, or standard error, is a terminal: someone there may answer a question or
// watch the progress of a long run. The generic layer cannot tell, and answers no.
bool standardInputIsTerminal();
bool standardErrorIsTerminal();

// One line typed on standard input, read while the event loop runs, so that an interrupt is heard
// while the question waits for its answer.
class InputLine : public QObject
{
    Q_OBJECT
public:
    explicit InputLine(QObject *parent = nullptr);
    ~InputLine() override;

signals:
    // The line without its end; what there was when the input ended without one.
    void lineRead(const QString &line);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Os
