#pragma once

class Form1;

// The two bus scans: at the current settings (Scan, Timer3) and across all settings
// (Scan Unknown, Timer1), one address per tick.
class BusScan
{
public:
    explicit BusScan(Form1 &form) : m_form(form) {}

    void Com_Scan_All_Click();
    void Com_Scan_OK_Click();
    void Timer1_Timer();
    void Timer3_Timer();

private:
    Form1 &m_form;
};
