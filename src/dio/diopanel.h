#pragma once

class Form1;

// The digital I/O panel: sixteen output switches, sixteen channel reads, the status read.
class DioPanel
{
public:
    explicit DioPanel(Form1 &form) : m_form(form) {}

    // Com_DO0_Click … Com_DOF_Click.
    void Com_DO_Click(int channel);
    // Com_DI_D0_Click … Com_DI_DF_Click.
    void Com_DI_Click(int channel);
    void Com_DIO_Status_Click();

private:
    Form1 &m_form;
};
