#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

class CommandLink;
class QCheckBox;
class QLineEdit;
class QPushButton;
class ScanGrid;

constexpr int DioChannels = 16;

// The controls of the digital I/O panel, the grid that names the module, and the checksum box.
struct DioView
{
    std::array<QPushButton *, DioChannels> Com_DO;    // Com_DO0 … Com_DOF
    std::array<QPushButton *, DioChannels> Com_DI_D;  // Com_DI_D0 … Com_DI_DF
    QPushButton *Com_DIO_Status;
    QLineEdit *Text_Disp_Com;
    QLineEdit *Text_DSP_Res;
    QCheckBox *Check_Chksum;
    ScanGrid *MSFlexGrid1;
};

// The digital I/O panel: sixteen output switches, sixteen channel reads, the status read.
class DioPanel
{
public:
    DioPanel(const DioView &view, CommandLink &link);

    // Com_DO0_Click … Com_DOF_Click.
    void Com_DO_Click(int channel);
    // Com_DI_D0_Click … Com_DI_DF_Click.
    void Com_DI_Click(int channel);
    void Com_DIO_Status_Click();

private:
    QString ask(const QString &command, qint32 timeoutMs) const;

    DioView m_view;
    CommandLink &m_link;
    // The flag of each output button: what it last commanded, whichever module that was.
    std::array<bool, DioChannels> m_outputOn{};
};
