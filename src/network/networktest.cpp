#include "network/networktest.h"

#include "shell/form1.h"

void NetworkTest::Com_link_Click() {}
void NetworkTest::Com_Tcpip_Stop_Click() {}
void NetworkTest::Com_Tcpip_Send_Click() {}
void NetworkTest::Com_Tcpip_Clear_Click() {}
void NetworkTest::Com_loop_Test_Click() {}
void NetworkTest::Timer_Loop_Timer() {}
QString NetworkTest::TCPOutput(const QString &Cmd)
{
    (void)Cmd;
    return QString();
}
void NetworkTest::closeConnection() {}
