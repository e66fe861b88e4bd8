#include "shell/commsettings.h"

#include "shell/form1.h"

void CommSettings::Form_Load() {}
void CommSettings::Com_Set_Ok_Click() {}
void CommSettings::Com_About_Click() {}
void CommSettings::Com_Exit_Click()
{
    m_form.endProgram();
}
void CommSettings::Opt_ASC_Click() {}
void CommSettings::Opt_RTU_Click() {}
