#pragma once

#include <QString>

class Form1;

// The command terminal: one typed command out, its reply back, optionally repeated.
class Terminal
{
public:
    explicit Terminal(Form1 &form);

    void Com_send_Click();
    void Text_Send_KeyPress(int &KeyAscii);
    void Com_clr_Click();
    void Check_Auto_Click();
    void Timer_Send_Timer();

    // The repeat interval typed in Text_Time: trimmed, decimal digits only, from 1 to the largest
    // interval a timer takes. -1 when the text is not such a number.
    static int repeatInterval(const QString &text);

private:
    void stopRepeat();

    Form1 &m_form;
};
