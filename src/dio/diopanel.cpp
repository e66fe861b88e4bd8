#include "dio/diopanel.h"

#include "shell/form1.h"

void DioPanel::Com_DO_Click(int channel)
{
    (void)channel;
}
void DioPanel::Com_DI_Click(int channel)
{
    (void)channel;
}
void DioPanel::Com_DIO_Status_Click() {}
