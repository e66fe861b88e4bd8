#include "config/moduleconfig.h"

#include "link/commandlink.h"
#include "link/protocol.h"
#include "scan/scangrid.h"
#include "widgets/messageboxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

namespace {

constexpr int WindowHeightTwips = 10005;
constexpr int Channels = 16;

const QString WriteTitle = QStringLiteral("Save Configuration to EEprom...");

}  // namespace

ModuleConfig::ModuleConfig(const ConfigView &view, CommandLink &link, MessageBoxes &boxes,
                           QObject *parent)
    : QObject(parent), m_view(view), m_link(link), m_boxes(boxes)
{
}

QString ModuleConfig::ask(const QString &command, qint32 timeoutMs) const
{
    return m_link.ask(command, m_view.Check_Chksum->isChecked(), timeoutMs);
}

void ModuleConfig::ResetIoPanel()
{
    m_view.Frame_DI->setEnabled(false);
    m_view.Frame_DO->setEnabled(false);
    m_view.Com_DIO_Status->setEnabled(false);
    for (QLabel *label : m_view.Lab_D)
        label->setEnabled(false);
    for (QPushButton *input : m_view.Com_DI_D)
        input->setText(QString());
    for (QPushButton *output : m_view.Com_DO)
        output->setEnabled(false);
}

void ModuleConfig::leaveUnidentified()
{
    m_view.Config_BD_Combo->setEnabled(false);
    m_view.Config_ID_Combo->setEnabled(false);
    m_view.Config_CS_Combo->setEnabled(false);
    m_view.Combo_E82_TT->setEnabled(false);
    m_view.Com_E82_DF->setEnabled(false);
    m_view.Com_Write->setEnabled(false);
}

void ModuleConfig::readCounters(int count)
{
    for (int n = 0; n < count; ++n) {
        const QString reply =
            ask(channelRead(m_view.MSFlexGrid1->selectedAddress(), n), Timeouts::TakeUpDigital);
        m_view.Com_DI_D[size_t(n)]->setText(statusField(reply));
    }
}

void ModuleConfig::Com_Configuration_Click()
{
    emit heightRequested(WindowHeightTwips);

    m_view.Config_BD_Combo->setCurrentIndex(3);
    m_view.Config_ID_Combo->setCurrentIndex(0);
    m_view.Config_CS_Combo->setCurrentIndex(0);
    m_view.Combo_E82_TT->setCurrentIndex(0);
    m_view.Com_E82_DF->setCurrentIndex(0);

    if (m_view.Opt_RTU->isChecked()) {
        m_boxes.show(QStringLiteral(
                         "Please Select Communication Protocol ASCII Mode and Turn Switch OFF,ON "),
                     QStringLiteral(" MIRVEL Message "), MessageBoxes::Critical, MessageBoxes::Ok);
    }

    ResetIoPanel();
    emit takingUp();

    m_view.Config_BD_Combo->setEnabled(true);
    m_view.Config_ID_Combo->setEnabled(true);
    m_view.Config_CS_Combo->setEnabled(true);
    m_view.Com_Write->setEnabled(true);
    m_view.Text_DSP_Res->setText(QString());
    m_view.Text_Disp_Com->setText(QStringLiteral(" "));
    m_view.Frame_Config->setEnabled(true);
    m_view.Com_DIO_Status->setText(QString());

    auto setOutputs = [&](int enabledCount) {
        for (int n = 0; n < Channels; ++n)
            m_view.Com_DO[size_t(n)]->setEnabled(n < enabledCount);
    };
    auto readStatus = [&] {
        const QString reply =
            ask(statusQuery(m_view.MSFlexGrid1->selectedAddress()), Timeouts::TakeUpDigital);
        m_view.Com_DIO_Status->setText(statusField(reply));
    };
    auto analogFields = [&](bool enabled) {
        m_view.Combo_E82_TT->setEnabled(enabled);
        m_view.Com_E82_DF->setEnabled(enabled);
    };

    try {
        const QString code = modelCode(
            ask(identificationQuery(m_view.MSFlexGrid1->selectedAddress()), Timeouts::ModelQuery));
        const ModelInfo *model = findModel(code);
        if (model && model->analogInputs == 0) {
            // Digital: the counters first, then the status; the output frame only for a model
            // with outputs.
            readCounters(model->inputs);
            m_view.Frame_DO->setEnabled(model->outputs > 0);
            m_view.Frame_DI->setEnabled(true);
            setOutputs(model->outputs);
            readStatus();
            m_view.Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model) {
            for (int n = 0; n < model->analogInputs; ++n) {
                const QString reply = ask(channelRead(m_view.MSFlexGrid1->selectedAddress(), n),
                                          Timeouts::TakeUpAnalog);
                m_view.Com_DI_D[size_t(n)]->setText(valueField(reply));
            }
            m_view.Frame_DI->setEnabled(true);
            m_view.Frame_DO->setEnabled(false);
            m_view.Com_DIO_Status->setEnabled(false);
            setOutputs(0);
            analogFields(true);
        } else {
            leaveUnidentified();
        }
    } catch (...) {
        // A port fault part-way leaves the window as for a module that never answered, so no
        // half-enabled panel or write button outlives it.
        ResetIoPanel();
        leaveUnidentified();
        throw;
    }
}

void ModuleConfig::Com_Write_Click()
{
    m_view.Text_Disp_Com->setText(QStringLiteral(" "));
    const QString baud = baudRateCode(m_view.Config_BD_Combo->currentIndex());
    const QString newAddress = moduleIdCode(m_view.Config_ID_Combo->currentIndex());
    QString mode = digitalModeDigit(m_view.Config_CS_Combo->currentIndex());
    QString format = QStringLiteral("0");
    QString type = digitalTypeCode();

    const QString model =
        ask(identificationQuery(m_view.MSFlexGrid1->selectedAddress()), Timeouts::ModelQuery);
    if (isAnalogForWrite(model)) {
        type = rangeCode(m_view.Combo_E82_TT->currentIndex());
        mode = analogModeDigit(m_view.Config_CS_Combo->currentIndex());
        format = formatDigit(m_view.Com_E82_DF->currentIndex());
        m_view.Com_DIO_Status->setText(QString::number(m_view.Com_E82_DF->currentIndex()));
    }

    const QString command = configurationCommand(m_view.MSFlexGrid1->selectedAddress(), newAddress,
                                                 type, baud, mode, format);
    m_view.Text_Disp_Com->setText(command);

    const MessageBoxes::Answer answer =
        m_boxes.show(QStringLiteral("Please Check Command ") + m_view.Text_Disp_Com->text() +
                         QStringLiteral(" is Correct ?      "),
                     WriteTitle, MessageBoxes::Exclamation, MessageBoxes::OkCancel);
    if (answer != MessageBoxes::AnswerOk)
        return;

    m_view.Text_DSP_Res->setText(ask(m_view.Text_Disp_Com->text(), Timeouts::ConfigWrite));
    const bool accepted = isAccepted(m_view.Text_DSP_Res->text());
    m_boxes.show(accepted ? QStringLiteral("Save Success.....    ")
                          : QStringLiteral("Save Fail........    "),
                 WriteTitle, MessageBoxes::Exclamation, MessageBoxes::Ok);
}
