#include "dio/diopanel.h"

#include "link/checksum.h"
#include "scan/scangrid.h"
#include "shell/form1.h"
#include "ui_form1.h"

namespace {

constexpr qint32 OutputTimeoutMs = 60;
constexpr qint32 ReadTimeoutMs = 200;

QString channelDigit(int channel)
{
    return QString::number(channel, 16).toUpper();
}

// Channels 0 to 7 are group "1", channels 8 to 15 group "B", each numbered 0 to 7 in its group.
QString outputSuffix(int channel, bool on)
{
    return QLatin1String(channel < 8 ? "1" : "B") + QString::number(channel % 8) +
           QLatin1String(on ? "01" : "00");
}

}  // namespace

QString DioPanel::moduleAddress() const
{
    return trimSpaces(m_form.MSFlexGrid1().text());
}

QString DioPanel::ask(const QString &command, qint32 timeoutMs) const
{
    // Response rewrites its argument when it adds the checksum; the caller's text stays as built.
    QString sendData = command;
    const bool withChecksum = m_form.ui()->Check_Chksum->isChecked();
    return m_form.Response(sendData, withChecksum, timeoutMs);
}

QString DioPanel::statusField(const QString &reply)
{
    return midChars(reply, 4, 5);
}

QString DioPanel::valueField(const QString &reply)
{
    return midChars(reply, 4, 8);
}

QAbstractButton *DioPanel::outputButton(int channel) const
{
    return m_form.findChild<QAbstractButton *>(QStringLiteral("Com_DO") + channelDigit(channel));
}

QAbstractButton *DioPanel::inputButton(int channel) const
{
    return m_form.findChild<QAbstractButton *>(QStringLiteral("Com_DI_D") + channelDigit(channel));
}

void DioPanel::Com_DO_Click(int channel)
{
    if (channel < 0 || channel >= Channels)
        return;
    Ui::Form1 *ui = m_form.ui();
    QAbstractButton *button = outputButton(channel);
    // The button shows what the program last commanded, not what Qt's own toggle made of the
    // click; the caption stays as it is.
    m_outputOn[channel] = !m_outputOn[channel];
    const bool on = m_outputOn[channel];
    button->setChecked(on);

    const QString command = QStringLiteral("#") + moduleAddress() + outputSuffix(channel, on);
    ui->Text_Disp_Com->setText(command);
    QString reply;
    try {
        reply = ask(command, OutputTimeoutMs);
    } catch (...) {
        // Nothing went out: the channel is as it was, and the next click must command the same.
        m_outputOn[channel] = !on;
        button->setChecked(!on);
        throw;
    }
    ui->Text_DSP_Res->setText(reply);

    const QString status =
        ask(QStringLiteral("$") + moduleAddress() + QStringLiteral("6"), OutputTimeoutMs);
    ui->Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DI_Click(int channel)
{
    if (channel < 0 || channel >= Channels)
        return;
    Ui::Form1 *ui = m_form.ui();
    const QString command = QStringLiteral("#") + moduleAddress() + channelDigit(channel);
    ui->Text_Disp_Com->setText(command);
    ui->Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    inputButton(channel)->setText(valueField(ui->Text_DSP_Res->text()));

    const QString status =
        ask(QStringLiteral("$") + moduleAddress() + QStringLiteral("6"), ReadTimeoutMs);
    ui->Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DIO_Status_Click()
{
    Ui::Form1 *ui = m_form.ui();
    const QString command = QStringLiteral("$") + moduleAddress() + QStringLiteral("6");
    ui->Text_Disp_Com->setText(command);
    ui->Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    // A second read feeds the caption, so the caption shows the newer of the two.
    const QString again =
        ask(QStringLiteral("$") + moduleAddress() + QStringLiteral("6"), ReadTimeoutMs);
    ui->Com_DIO_Status->setText(statusField(again));
}
