#pragma once

class Form1;

// Start-up and the communication settings group: port, rate, protocol, checksum; OK, Default, Exit.
class CommSettings
{
public:
    explicit CommSettings(Form1 &form) : m_form(form) {}

    void Form_Load();
    void Com_Set_Ok_Click();
    void Com_About_Click();
    void Com_Exit_Click();
    void Opt_ASC_Click();
    void Opt_RTU_Click();

    // "Open Communication Port Error " titled " System Message " (also used by the scans when
    // they cannot reopen the port).
    void ShowPortError();

private:
    void ConfirmLinkSettings();
    void ReceiveLoop();

    Form1 &m_form;
};
