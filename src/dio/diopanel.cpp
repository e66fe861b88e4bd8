#include "dio/diopanel.h"

#include "link/commandlink.h"
#include "link/protocol.h"
#include "scan/scangrid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr qint32 OutputTimeoutMs = Timeouts::OutputSwitch;
constexpr qint32 ReadTimeoutMs = Timeouts::ChannelRead;

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

    const QString command = outputSwitch(m_view.MSFlexGrid1->selectedAddress(), channel, on);
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

    const QString status = ask(statusQuery(m_view.MSFlexGrid1->selectedAddress()), OutputTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DI_Click(int channel)
{
    if (channel < 0 || channel >= DioChannels)
        return;
    const QString command = channelRead(m_view.MSFlexGrid1->selectedAddress(), channel);
    m_view.Text_Disp_Com->setText(command);
    m_view.Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    m_view.Com_DI_D[size_t(channel)]->setText(valueField(m_view.Text_DSP_Res->text()));

    const QString status = ask(statusQuery(m_view.MSFlexGrid1->selectedAddress()), ReadTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(status));
}

void DioPanel::Com_DIO_Status_Click()
{
    const QString command = statusQuery(m_view.MSFlexGrid1->selectedAddress());
    m_view.Text_Disp_Com->setText(command);
    m_view.Text_DSP_Res->setText(ask(command, ReadTimeoutMs));
    // A second read feeds the caption, so the caption shows the newer of the two.
    const QString again = ask(statusQuery(m_view.MSFlexGrid1->selectedAddress()), ReadTimeoutMs);
    m_view.Com_DIO_Status->setText(statusField(again));
}
