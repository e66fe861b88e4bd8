#pragma once

#include <QString>

class Form1;

// The converter test page: the TCP link, the console and the loop test.
class NetworkTest
{
public:
    explicit NetworkTest(Form1 &form) : m_form(form) {}

    void Com_link_Click();
    void Com_Tcpip_Stop_Click();
    void Com_Tcpip_Send_Click();
    void Com_Tcpip_Clear_Click();
    void Com_loop_Test_Click();
    void Timer_Loop_Timer();
    QString TCPOutput(const QString &Cmd);

    // Closes the connection without touching the controls (the program is ending).
    void closeConnection();

private:
    Form1 &m_form;
};
