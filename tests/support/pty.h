#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A pseudo-terminal for tests: the program opens the slave side through a COMn link in a private
// runtime folder; the test plays the module on the master side.
class TestPty
{
public:
    TestPty();
    ~TestPty();

    bool isValid() const { return m_master >= 0; }
    int master() const { return m_master; }
    QString slavePath() const { return m_slave; }

    // Points COMn at this pseudo-terminal (XDG_RUNTIME_DIR is set to a private folder).
    void linkAs(int number);
    // The baud rate the program set on the line, as the master side sees it.
    int lineRate() const;
    // Reads what the program wrote, waiting up to timeoutMs for at least one byte.
    QByteArray readMaster(int timeoutMs = 2000);
    // Reads until the text contains a carriage return (or the time runs out).
    QByteArray readLine(int timeoutMs = 2000);
    void writeMaster(const QByteArray &bytes);
    // The far end goes away, as an unplugged adapter.
    void closeMaster();

    static QTemporaryDir &runtimeDir();

private:
    int m_master = -1;
    QString m_slave;
    int m_keepSlave = -1;
};

int speedToRate(unsigned speed);
