#pragma once

class Form1;

// The command terminal: one typed command out, its reply back, optionally repeated.
class Terminal
{
public:
    explicit Terminal(Form1 &form) : m_form(form) {}

    void Com_send_Click();
    void Text_Send_KeyPress(int &KeyAscii);
    void Com_clr_Click();
    void Check_Auto_Click();
    void Timer_Send_Timer();

private:
    Form1 &m_form;
};
