#pragma once

#include <QtGlobal>

#include <memory>

class Form1;
class PortListInfo;

// Start-up and the communication settings group: port, rate, protocol, checksum; OK, Default, Exit.
class CommSettings
{
public:
    explicit CommSettings(Form1 &form);
    ~CommSettings();

    void Form_Load();
    void Com_Set_Ok_Click();
    void Com_About_Click();
    void Com_Exit_Click();
    void Opt_ASC_Click();
    void Opt_RTU_Click();

    // "Open Communication Port Error " titled " System Message " (also used by the scans when
    // they cannot reopen the port).
    void ShowPortError();

    // The converter's address that Default writes into Text_IP.
    static constexpr const char *DefaultConverterAddress = "192.168.0.100";
    static constexpr const char *DefaultConverterPort = "1001";
    // The most Text_Rec keeps while the Modbus RTU dump runs; older text is dropped.
    static constexpr qsizetype ReceiveKeepLimit = 65536;

private:
    void ConfirmLinkSettings();
    void ReceiveLoop();
    bool receiving() const;

    Form1 &m_form;
    std::unique_ptr<PortListInfo> m_portInfo;
    // Counts the port's arrival notices, so the receive loop never sleeps on bytes that came in
    // while it was pumping.
    quint64 m_arrivals = 0;
};
