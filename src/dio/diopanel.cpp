#include "dio/diopanel.h"

#include "link/checksum.h"
#include "link/commandlink.h"
#include "scan/scangrid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

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

DioPanel::DioPanel(const DioView &view, CommandLink &link) : m_view(view), m_link(link) {}

QString DioPanel::ask(const QString &command, qint32 timeoutMs) const
{
    return m_link.ask(command, m_view.Check_Chksum->isChecked(), timeoutMs);
}

void DioPanel::Com_DO_Click(int channel)
{
    if (channel < 0 || channel >= DioChannels)
        return;
    QPushButton *button = m_view.Com_DO[size_t(channel)];
    bool &flag = m_outputOn[size_t(channel)];
    // The button shows what the program last commanded, not what Qt's own toggle made of the
    // click; the caption stays as it is.
    flag = !flag;
    const bool on = flag;
    button->setChecked(on);

    const QString command =
        QStringLiteral("#") + m_view.MSFlexGrid1->selectedAddress() + outputSuffix(channel, on);
    m_view.Text_Disp_Com->setText(command);
    QString reply;
    try {
        reply = ask(command, OutputTimeoutMs);
    } catch (...) {
        // Nothing went out: the channel is as it was, and the next click must command the same.
        m_outputOn[size_t(channel)] = !on;
        button->setChecked(!on);
        throw;
    }
    m_view.Text_DSP_Res->setText(reply);

    const QString status =
        ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("6"),
            OutputTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DI_Click(int channel)
{
    if (channel < 0 || channel >= DioChannels)
        return;
    const QString command =
        QStringLiteral("#") + m_view.MSFlexGrid1->selectedAddress() + channelDigit(channel);
    m_view.Text_Disp_Com->setText(command);
    m_view.Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    m_view.Com_DI_D[size_t(channel)]->setText(valueField(m_view.Text_DSP_Res->text()));

    const QString status =
        ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("6"),
            ReadTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DIO_Status_Click()
{
    const QString command =
        QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("6");
    m_view.Text_Disp_Com->setText(command);
    m_view.Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    // A second read feeds the caption, so the caption shows the newer of the two.
    const QString again =
        ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("6"),
            ReadTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(again));
}
