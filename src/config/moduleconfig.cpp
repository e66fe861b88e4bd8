#include "config/moduleconfig.h"

#include "shell/form1.h"

void ModuleConfig::Com_Configuration_Click() {}
void ModuleConfig::Com_Write_Click() {}
void ModuleConfig::ResetIoPanel() {}
