#include "shell/commsettings.h"

#include "shell/form1.h"
#include "shell/messageboxes.h"

void CommSettings::Form_Load() {}
void CommSettings::Com_Set_Ok_Click() {}
void CommSettings::Com_About_Click() {}
void CommSettings::Com_Exit_Click()
{
    m_form.endProgram();
}
void CommSettings::Opt_ASC_Click() {}
void CommSettings::Opt_RTU_Click() {}
void CommSettings::ShowPortError()
{
    m_form.boxes().show(QStringLiteral("Open Communication Port Error "),
                        QStringLiteral(" System Message "), MessageBoxes::Critical,
                        MessageBoxes::Ok);
}
void CommSettings::ConfirmLinkSettings() {}
void CommSettings::ReceiveLoop() {}
