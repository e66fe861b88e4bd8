#include "terminal/terminal.h"

#include "shell/form1.h"

void Terminal::Com_send_Click() {}
void Terminal::Text_Send_KeyPress(int &KeyAscii)
{
    (void)KeyAscii;
}
void Terminal::Com_clr_Click() {}
void Terminal::Check_Auto_Click() {}
void Terminal::Timer_Send_Timer() {}
