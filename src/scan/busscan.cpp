#include "scan/busscan.h"

#include "shell/form1.h"

void BusScan::Com_Scan_All_Click() {}
void BusScan::Com_Scan_OK_Click() {}
void BusScan::Timer1_Timer() {}
void BusScan::Timer3_Timer() {}
