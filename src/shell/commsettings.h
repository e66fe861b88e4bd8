#pragma once

#include <QObject>
#include <QtGlobal>

#include <memory>

class CommandLink;
class MessageBoxes;
class MultiLineBox;
class PortListInfo;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ScanGrid;

// The settings group, the converter fields that Default restores, and what OK unlocks.
struct SettingsView
{
    QComboBox *LISTCOM;
    QComboBox *LISTRATE;
    QRadioButton *Opt_ASC;
    QRadioButton *Opt_RTU;
    QCheckBox *Check_Chksum;
    QLabel *portInfoLabel;
    QLineEdit *Text_IP;
    QLineEdit *Text_Port;
    QLineEdit *Text_Send;
    MultiLineBox *Text_Rec;
    QPushButton *Com_send;
    QPushButton *Com_clr;
    QCheckBox *Check_Auto;
    QLineEdit *Text_Time;
    QPushButton *Com_Scan_OK;
    QPushButton *Com_Scan_All;
    ScanGrid *MSFlexGrid1;
};

// The communication settings group: port, rate, protocol, checksum; OK, Default, Exit.
class CommSettings : public QObject
{
    Q_OBJECT
public:
    CommSettings(const SettingsView &view, CommandLink &link, MessageBoxes &boxes,
                 QObject *parent = nullptr);
    ~CommSettings() override;

    // COM1 at 9600, and the device display of the port list.
    void Form_Load();
    void Com_Set_Ok_Click();
    void Com_About_Click();
    void Com_Exit_Click();
    void Opt_ASC_Click();
    void Opt_RTU_Click();

    // The converter's address that Default writes into Text_IP.
    static constexpr const char *DefaultConverterAddress = "192.168.0.100";
    static constexpr const char *DefaultConverterPort = "1001";
    // The most Text_Rec keeps while the Modbus RTU dump runs; older text is dropped.
    static constexpr qsizetype ReceiveKeepLimit = 65536;

signals:
    void exitRequested();

private:
    void ConfirmLinkSettings();
    void ReceiveLoop();
    bool receiving() const;

    SettingsView m_view;
    CommandLink &m_link;
    MessageBoxes &m_boxes;
    std::unique_ptr<PortListInfo> m_portInfo;
    // Counts the port's arrival notices, so the receive loop never sleeps on bytes that came in
    // while it was pumping.
    quint64 m_arrivals = 0;
};
