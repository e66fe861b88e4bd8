#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// What the logic needs of the serial port. Property-style operations, in the order the handlers
// use them: CommPort, Settings and InputMode while closed, then PortOpen; InBufferCount, Output and
// Input while open.
//
// The operations that move bytes or change the port's state are not virtual: they tell their
// listeners (the window's fault report, the traffic monitor) the same way whichever port stands
// behind them, real or fake.
class CommPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setCommPort(int number) = 0;
    virtual int commPort() const = 0;

    // A rate field (blanks allowed: "  9600") followed by ",n,8,1". Takes effect at the next open.
    virtual void setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;

    virtual bool portOpen() const = 0;
    // true opens with the current CommPort and Settings and throws CommError when the port is
    // missing, busy or not allowed; false closes (closing a closed port does nothing).
    void setPortOpen(bool open);

    // 0: Input gives text; 1: Input gives bytes. The bytes are the same either way; the mode only
    // tells the callers how to read them.
    virtual void setInputMode(int mode) = 0;
    virtual int inputMode() const = 0;

    // InBufferCount = 0: drops everything received and not yet read. Throws CommError when closed.
    virtual void clearInput() = 0;
    // Sends the bytes at once, without waiting for the line. Throws CommError when closed.
    void output(const QByteArray &bytes);
    // Everything received and not yet read, removed from the buffer; empty when nothing waits.
    // Never waits. Throws CommError when closed.
    QByteArray input();

signals:
    // The far end went away (adapter unplugged, line hung up): the port has been closed, once.
    void lineLost(const QString &reason);
    // Something was received (lets a wait wake up; the real port's notifier does this by itself).
    void dataArrived();
    // The port has just been opened.
    void opened();
    // Bytes handed to the line, and bytes taken from it by a reader.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);

protected:
    virtual void openPort() = 0;
    virtual void closePort() = 0;
    virtual void writeBytes(const QByteArray &bytes) = 0;
    virtual QByteArray readBytes() = 0;
};

// The rate field of a settings text, blanks removed ("  9600,n,8,1" gives "9600").
QString settingsRate(const QString &settings);
