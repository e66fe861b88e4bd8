#pragma once

#include "link/commport.h"

#include <QSerialPort>

#include <memory>

namespace Os {
class PortClaim;
}

// The serial port over QSerialPort. Opens exclusively (no second program, nor a second open in
// this one), and turns a hung-up line into one lineLost report and a closed port, where
// QSerialPort alone would go on reporting read errors in a tight loop.
class SerialCommPort : public CommPort
{
    Q_OBJECT
public:
    explicit SerialCommPort(QObject *parent = nullptr);
    ~SerialCommPort() override;

    void setCommPort(int number) override { m_number = number; }
    // A device path that the next openings use as it stands, in place of the COM number's device
    // (an empty path goes back to the number).
    void setDevicePath(const QString &path) { m_devicePath = path; }
    int commPort() const override { return m_number; }
    void setSettings(const QString &settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool portOpen() const override { return m_port.isOpen(); }
    void setInputMode(int mode) override { m_inputMode = mode; }
    int inputMode() const override { return m_inputMode; }
    void clearInput() override;

    // The device the port is open on (empty while closed).
    QString device() const { return m_port.isOpen() ? m_device : QString(); }

protected:
    void openPort() override;
    void closePort() override;
    void writeBytes(const QByteArray &bytes) override;
    QByteArray readBytes() override;

private:
    void onError(QSerialPort::SerialPortError error);
    void requireOpen() const;

    QSerialPort m_port;
    int m_number = 1;
    int m_inputMode = 0;
    QString m_settings = QStringLiteral("9600,n,8,1");
    std::unique_ptr<Os::PortClaim> m_claim;  // held while the port is open
    QString m_device;
    QString m_devicePath;
};
