#pragma once

#include <QObject>
#include <QString>

#include <array>

class CommandLink;
class MessageBoxes;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ScanGrid;

// The controls that taking up a module and writing its configuration work on: the configuration
// fields, and the I/O panel that taking up sets up for the module's model.
struct ConfigView
{
    QComboBox *Config_ID_Combo;
    QComboBox *Config_BD_Combo;
    QComboBox *Config_CS_Combo;
    QComboBox *Combo_E82_TT;
    QComboBox *Com_E82_DF;
    QPushButton *Com_Write;
    QGroupBox *Frame_Config;
    QGroupBox *Frame_DI;
    QGroupBox *Frame_DO;
    QPushButton *Com_DIO_Status;
    std::array<QLabel *, 16> Lab_D;          // Lab_D0 … Lab_DF
    std::array<QPushButton *, 16> Com_DI_D;  // Com_DI_D0 … Com_DI_DF
    std::array<QPushButton *, 16> Com_DO;    // Com_DO0 … Com_DOF
    QLineEdit *Text_Disp_Com;
    QLineEdit *Text_DSP_Res;
    QRadioButton *Opt_RTU;
    QCheckBox *Check_Chksum;
    ScanGrid *MSFlexGrid1;
};

// Taking up the module selected in the grid, and writing a new configuration into it.
class ModuleConfig : public QObject
{
    Q_OBJECT
public:
    ModuleConfig(const ConfigView &view, CommandLink &link, MessageBoxes &boxes,
                 QObject *parent = nullptr);

    void Com_Configuration_Click();
    void Com_Write_Click();

signals:
    // The window is to be this many twips high, so the panel and the fields are in view.
    void heightRequested(int twips);
    // A module is being taken up: the scans' timers stop.
    void takingUp();

private:
    void ResetIoPanel();
    // The fields and panel as for a module that gave no known model code.
    void leaveUnidentified();
    QString ask(const QString &command, qint32 timeoutMs) const;

    ConfigView m_view;
    CommandLink &m_link;
    MessageBoxes &m_boxes;
};
