#pragma once

#include <QString>
#include <QtGlobal>

class Form1;
class QAbstractButton;

// The digital I/O panel: sixteen output switches, sixteen channel reads, the status read.
class DioPanel
{
public:
    static constexpr int Channels = 16;

    explicit DioPanel(Form1 &form) : m_form(form) {}

    // Com_DO0_Click … Com_DOF_Click.
    void Com_DO_Click(int channel);
    // Com_DI_D0_Click … Com_DI_DF_Click.
    void Com_DI_Click(int channel);
    void Com_DIO_Status_Click();

    // The flag of output channel 0 to 15: what its button last commanded.
    bool outputOn(int channel) const { return m_outputOn[channel]; }

    // The selected module: the grid's current cell without its surrounding blanks. Read anew for
    // every command, since the operator may pick another cell while an exchange waits.
    QString moduleAddress() const;
    // One exchange with the checksum setting of this moment.
    QString ask(const QString &command, qint32 timeoutMs) const;

    // A status or counter value: characters 4 to 8 of a reply. An analog or read value: 4 to 11.
    static QString statusField(const QString &reply);
    static QString valueField(const QString &reply);

    QAbstractButton *outputButton(int channel) const;
    QAbstractButton *inputButton(int channel) const;

private:
    Form1 &m_form;
    bool m_outputOn[Channels] = {};
};
