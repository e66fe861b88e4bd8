#include "config/moduleconfig.h"

#include "link/commandlink.h"
#include "link/protocol.h"
#include "link/sequences.h"
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
    auto analogFields = [&](bool enabled) {
        m_view.Combo_E82_TT->setEnabled(enabled);
        m_view.Com_E82_DF->setEnabled(enabled);
    };

    // Each value is shown as it comes; the frames of a digital model are enabled after its
    // counters are read and before its status is.
    TakeUpSteps steps;
    steps.exchange = [this](const QString &command, bool withChecksum, qint32 timeoutMs) {
        return m_link.ask(command, withChecksum, timeoutMs);
    };
    steps.address = [this] { return m_view.MSFlexGrid1->selectedAddress(); };
    steps.checksum = [this] { return m_view.Check_Chksum->isChecked(); };
    steps.counter = [this](int n, const QString &value, const QString &) {
        m_view.Com_DI_D[size_t(n)]->setText(value);
    };
    steps.countersRead = [&](const ModelInfo &model) {
        m_view.Frame_DO->setEnabled(model.outputs > 0);
        m_view.Frame_DI->setEnabled(true);
        setOutputs(model.outputs);
    };
    steps.status = [this](const QString &value, const QString &) {
        m_view.Com_DIO_Status->setText(value);
    };
    steps.analog = [this](int n, const QString &value, const QString &) {
        m_view.Com_DI_D[size_t(n)]->setText(value);
    };

    try {
        const ModelInfo *model = takeUpModule(steps);
        if (model && model->analogInputs == 0) {
            m_view.Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model) {
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
    ConfigurationChoice choice;
    choice.baudRate = m_view.Config_BD_Combo->currentIndex();
    choice.newAddress = m_view.Config_ID_Combo->currentIndex();
    choice.mode = m_view.Config_CS_Combo->currentIndex();

    const QString model =
        ask(identificationQuery(m_view.MSFlexGrid1->selectedAddress()), Timeouts::ModelQuery);
    if (isAnalogForWrite(model)) {
        // The analog fields are read after the query, the mode field again.
        choice.range = m_view.Combo_E82_TT->currentIndex();
        choice.mode = m_view.Config_CS_Combo->currentIndex();
        choice.format = m_view.Com_E82_DF->currentIndex();
        m_view.Com_DIO_Status->setText(QString::number(m_view.Com_E82_DF->currentIndex()));
    }

    const QString command = configurationFor(m_view.MSFlexGrid1->selectedAddress(), model, choice);
    m_view.Text_Disp_Com->setText(command);

    const MessageBoxes::Answer answer =
        m_boxes.show(QStringLiteral("Please Check Command ") + m_view.Text_Disp_Com->text() +
                         QStringLiteral(" is Correct ?      "),
                     WriteTitle, MessageBoxes::Exclamation, MessageBoxes::OkCancel);
    if (answer != MessageBoxes::AnswerOk)
        return;

    m_view.Text_DSP_Res->setText(ask(m_view.Text_Disp_Com->text(), Timeouts::ConfigWrite));
    const bool accepted = isAccepted(m_view.Text_DSP_Res->text());
    m_boxes.show(writeOutcomeText(accepted), WriteTitle, MessageBoxes::Exclamation,
                 MessageBoxes::Ok);
}
