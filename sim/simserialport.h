#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;
class SimBus;
class SimLine;

// The folder of the COMn links, the same that the program looks in: "mirvel" under
// $XDG_RUNTIME_DIR, or under the temporary folder's "runtime-$USER" when that is unset or empty.
QString simLinkFolder();

// The bus as a serial port: a pseudo-terminal whose slave side the program opens (through a COMn
// link in simLinkFolder()) and whose master side the simulated modules answer on.
class SimSerialPort : public QObject
{
    Q_OBJECT
public:
    explicit SimSerialPort(SimBus &bus, QObject *parent = nullptr);
    ~SimSerialPort() override;  // removes the link and closes the pseudo-terminal

    // Creates the pseudo-terminal. False, with the reason, when the system has none to give.
    bool open(QString *error = nullptr);
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Points COMn at the slave. An existing COMn link whose device still exists is replaced only
    // when replace is true (a second simulator must not take the first one's name silently).
    bool linkAs(int number, bool replace = true, QString *error = nullptr);
    int comNumber() const { return m_com; }
    QString linkPath() const;
    void unlink();

    // The rate the program set on the line (read on the master side); 0 when unknown.
    int lineRate() const;

    // The adapter is unplugged: the pseudo-terminal closes (the program's port hangs up) and the
    // link goes away with the device.
    void dropLine();
    // Plugged in again: a new pseudo-terminal under the same COM number.
    bool replug(QString *error = nullptr);

    SimLine &line() { return *m_line; }

signals:
    // Bytes the simulator put on the line (for tests and the program's log).
    void sent(const QByteArray &bytes);
    // Bytes the program put on the line, as they were read.
    void received(const QByteArray &bytes);

private:
    void readMaster();
    void writeMaster(const QByteArray &bytes);
    void flushOutput();
    void closeAll();

    SimLine *m_line;
    int m_master = -1;
    int m_keepSlave = -1;  // keeps the master alive while the program has the port closed
    QString m_slavePath;
    int m_com = 0;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_retry;
    QByteArray m_out;
};
