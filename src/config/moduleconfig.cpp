#include "config/moduleconfig.h"

#include "link/checksum.h"
#include "link/commandlink.h"
#include "widgets/messageboxes.h"
#include "scan/scangrid.h"

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
constexpr qint32 ModelTimeoutMs = 100;
constexpr qint32 DigitalTimeoutMs = 60;
constexpr qint32 AnalogTimeoutMs = 200;
constexpr qint32 WriteTimeoutMs = 500;
constexpr int AnalogChannels = 8;
constexpr int Channels = 16;

const QString WriteTitle = QStringLiteral("Save Configuration to EEprom...");

// Row -1 (nothing selected) first, then the list's entries in order.
QString byListIndex(const QStringList &table, int listIndex)
{
    const int row = listIndex + 1;
    return row >= 0 && row < table.size() ? table.at(row) : table.first();
}

QString channelDigit(int channel)
{
    return QString::number(channel, 16).toUpper();
}

}  // namespace

QString ModuleConfig::baudRateCode(int listIndex)
{
    static const QStringList codes{"06", "03", "04", "05", "06", "07", "08", "09", "0A"};
    return byListIndex(codes, listIndex);
}

QString ModuleConfig::moduleIdCode(int listIndex)
{
    // 00 to FF without CD and DD, which the list does not offer.
    static const QStringList codes = [] {
        QStringList list{QStringLiteral("00")};
        for (int id = 0; id < 256; ++id) {
            if (id != 0xCD && id != 0xDD)
                list << QStringLiteral("%1").arg(id, 2, 16, QLatin1Char('0')).toUpper();
        }
        return list;
    }();
    return byListIndex(codes, listIndex);
}

QString ModuleConfig::digitalModeDigit(int listIndex)
{
    // The digital modules know only the checksum half of the entry.
    static const QStringList codes{"0", "0", "0", "4", "4"};
    return byListIndex(codes, listIndex);
}

QString ModuleConfig::analogModeDigit(int listIndex)
{
    static const QStringList codes{"0", "0", "2", "4", "6"};
    return byListIndex(codes, listIndex);
}

QString ModuleConfig::rangeCode(int listIndex)
{
    static const QStringList codes{"08", "08", "09", "0A", "0B", "0C", "0D"};
    return byListIndex(codes, listIndex);
}

QString ModuleConfig::formatDigit(int listIndex)
{
    static const QStringList codes{"0", "0", "1", "2"};
    return byListIndex(codes, listIndex);
}

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
            ask(QStringLiteral("#") + m_view.MSFlexGrid1->selectedAddress() + channelDigit(n),
                DigitalTimeoutMs);
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
            ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("6"),
                DigitalTimeoutMs);
        m_view.Com_DIO_Status->setText(statusField(reply));
    };
    auto analogFields = [&](bool enabled) {
        m_view.Combo_E82_TT->setEnabled(enabled);
        m_view.Com_E82_DF->setEnabled(enabled);
    };

    try {
        const QString model = midChars(
            ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("F"),
                ModelTimeoutMs),
            4, 3);
        if (model == QLatin1String("E41")) {
            m_view.Frame_DO->setEnabled(true);
            m_view.Frame_DI->setEnabled(true);
            setOutputs(16);
            readStatus();
            m_view.Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model == QLatin1String("E43")) {
            readCounters(16);
            m_view.Frame_DI->setEnabled(true);
            m_view.Frame_DO->setEnabled(false);
            m_view.Com_DIO_Status->setEnabled(true);
            readStatus();
            setOutputs(0);
            analogFields(false);
        } else if (model == QLatin1String("E45") || model == QLatin1String("E47")) {
            const int channels = model == QLatin1String("E45") ? 4 : 8;
            readCounters(channels);
            m_view.Frame_DO->setEnabled(true);
            m_view.Frame_DI->setEnabled(true);
            setOutputs(channels);
            readStatus();
            m_view.Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model == QLatin1String("E82")) {
            for (int n = 0; n < AnalogChannels; ++n) {
                const QString reply = ask(
                    QStringLiteral("#") + m_view.MSFlexGrid1->selectedAddress() + channelDigit(n),
                    AnalogTimeoutMs);
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
    QString type = QStringLiteral("40");

    const QString model =
        ask(QStringLiteral("$") + m_view.MSFlexGrid1->selectedAddress() + QStringLiteral("F"),
            ModelTimeoutMs);
    if (midChars(model, 4, 4) == QLatin1String("E82M")) {
        type = rangeCode(m_view.Combo_E82_TT->currentIndex());
        mode = analogModeDigit(m_view.Config_CS_Combo->currentIndex());
        format = formatDigit(m_view.Com_E82_DF->currentIndex());
        m_view.Com_DIO_Status->setText(QString::number(m_view.Com_E82_DF->currentIndex()));
    }

    const QString command = QStringLiteral("%") + m_view.MSFlexGrid1->selectedAddress() +
                            newAddress + type + baud + mode + format;
    m_view.Text_Disp_Com->setText(command);

    const MessageBoxes::Answer answer =
        m_boxes.show(QStringLiteral("Please Check Command ") + m_view.Text_Disp_Com->text() +
                         QStringLiteral(" is Correct ?      "),
                     WriteTitle, MessageBoxes::Exclamation, MessageBoxes::OkCancel);
    if (answer != MessageBoxes::AnswerOk)
        return;

    m_view.Text_DSP_Res->setText(ask(m_view.Text_Disp_Com->text(), WriteTimeoutMs));
    const bool accepted = m_view.Text_DSP_Res->text().startsWith(u'!');
    m_boxes.show(accepted ? QStringLiteral("Save Success.....    ")
                          : QStringLiteral("Save Fail........    "),
                 WriteTitle, MessageBoxes::Exclamation, MessageBoxes::Ok);
}
