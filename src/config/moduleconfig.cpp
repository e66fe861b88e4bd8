#include "config/moduleconfig.h"

#include "dio/diopanel.h"
#include "link/checksum.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "shell/messageboxes.h"
#include "ui_form1.h"

#include <QStringList>

namespace {

constexpr int WindowHeightTwips = 10005;
constexpr qint32 ModelTimeoutMs = 100;
constexpr qint32 DigitalTimeoutMs = 60;
constexpr qint32 AnalogTimeoutMs = 200;
constexpr qint32 WriteTimeoutMs = 500;
constexpr int AnalogChannels = 8;

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

void ModuleConfig::ResetIoPanel()
{
    Ui::Form1 *ui = m_form.ui();
    DioPanel &dio = m_form.dio();
    ui->Frame_DI->setEnabled(false);
    ui->Frame_DO->setEnabled(false);
    ui->Com_DIO_Status->setEnabled(false);
    for (int n = 0; n < DioPanel::Channels; ++n) {
        if (auto *label = m_form.findChild<QWidget *>(QStringLiteral("Lab_D") + channelDigit(n)))
            label->setEnabled(false);
    }
    for (int n = 0; n < DioPanel::Channels; ++n)
        dio.inputButton(n)->setText(QString());
    for (int n = 0; n < DioPanel::Channels; ++n)
        dio.outputButton(n)->setEnabled(false);
}

void ModuleConfig::leaveUnidentified()
{
    Ui::Form1 *ui = m_form.ui();
    ui->Config_BD_Combo->setEnabled(false);
    ui->Config_ID_Combo->setEnabled(false);
    ui->Config_CS_Combo->setEnabled(false);
    ui->Combo_E82_TT->setEnabled(false);
    ui->Com_E82_DF->setEnabled(false);
    ui->Com_Write->setEnabled(false);
}

void ModuleConfig::readCounters(int count)
{
    DioPanel &dio = m_form.dio();
    for (int n = 0; n < count; ++n) {
        const QString reply =
            dio.ask(QStringLiteral("#") + dio.moduleAddress() + channelDigit(n), DigitalTimeoutMs);
        dio.inputButton(n)->setText(DioPanel::statusField(reply));
    }
}

void ModuleConfig::Com_Configuration_Click()
{
    Ui::Form1 *ui = m_form.ui();
    DioPanel &dio = m_form.dio();

    m_form.setHeightTwips(WindowHeightTwips);

    ui->Config_BD_Combo->setCurrentIndex(3);
    ui->Config_ID_Combo->setCurrentIndex(0);
    ui->Config_CS_Combo->setCurrentIndex(0);
    ui->Combo_E82_TT->setCurrentIndex(0);
    ui->Com_E82_DF->setCurrentIndex(0);

    if (ui->Opt_RTU->isChecked()) {
        m_form.boxes().show(
            QStringLiteral(
                "Please Select Communication Protocol ASCII Mode and Turn Switch OFF,ON "),
            QStringLiteral(" MIRVEL Message "), MessageBoxes::Critical, MessageBoxes::Ok);
    }

    ResetIoPanel();
    m_form.Timer3()->setEnabled(false);
    m_form.Timer1()->setEnabled(false);

    ui->Config_BD_Combo->setEnabled(true);
    ui->Config_ID_Combo->setEnabled(true);
    ui->Config_CS_Combo->setEnabled(true);
    ui->Com_Write->setEnabled(true);
    ui->Text_DSP_Res->setText(QString());
    ui->Text_Disp_Com->setText(QStringLiteral(" "));
    ui->Frame_Config->setEnabled(true);
    ui->Com_DIO_Status->setText(QString());

    auto setOutputs = [&](int enabledCount) {
        for (int n = 0; n < DioPanel::Channels; ++n)
            dio.outputButton(n)->setEnabled(n < enabledCount);
    };
    auto readStatus = [&] {
        const QString reply = dio.ask(
            QStringLiteral("$") + dio.moduleAddress() + QStringLiteral("6"), DigitalTimeoutMs);
        ui->Com_DIO_Status->setText(DioPanel::statusField(reply));
    };
    auto analogFields = [&](bool enabled) {
        ui->Combo_E82_TT->setEnabled(enabled);
        ui->Com_E82_DF->setEnabled(enabled);
    };

    try {
        const QString model =
            midChars(dio.ask(QStringLiteral("$") + dio.moduleAddress() + QStringLiteral("F"),
                             ModelTimeoutMs),
                     4, 3);
        if (model == QLatin1String("E41")) {
            ui->Frame_DO->setEnabled(true);
            ui->Frame_DI->setEnabled(true);
            setOutputs(16);
            readStatus();
            ui->Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model == QLatin1String("E43")) {
            readCounters(16);
            ui->Frame_DI->setEnabled(true);
            ui->Frame_DO->setEnabled(false);
            ui->Com_DIO_Status->setEnabled(true);
            readStatus();
            setOutputs(0);
            analogFields(false);
        } else if (model == QLatin1String("E45") || model == QLatin1String("E47")) {
            const int channels = model == QLatin1String("E45") ? 4 : 8;
            readCounters(channels);
            ui->Frame_DO->setEnabled(true);
            ui->Frame_DI->setEnabled(true);
            setOutputs(channels);
            readStatus();
            ui->Com_DIO_Status->setEnabled(true);
            analogFields(false);
        } else if (model == QLatin1String("E82")) {
            for (int n = 0; n < AnalogChannels; ++n) {
                const QString reply = dio.ask(
                    QStringLiteral("#") + dio.moduleAddress() + channelDigit(n), AnalogTimeoutMs);
                dio.inputButton(n)->setText(DioPanel::valueField(reply));
            }
            ui->Frame_DI->setEnabled(true);
            ui->Frame_DO->setEnabled(false);
            ui->Com_DIO_Status->setEnabled(false);
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
    Ui::Form1 *ui = m_form.ui();
    DioPanel &dio = m_form.dio();

    ui->Text_Disp_Com->setText(QStringLiteral(" "));
    const QString baud = baudRateCode(ui->Config_BD_Combo->currentIndex());
    const QString newAddress = moduleIdCode(ui->Config_ID_Combo->currentIndex());
    QString mode = digitalModeDigit(ui->Config_CS_Combo->currentIndex());
    QString format = QStringLiteral("0");
    QString type = QStringLiteral("40");

    const QString model =
        dio.ask(QStringLiteral("$") + dio.moduleAddress() + QStringLiteral("F"), ModelTimeoutMs);
    if (midChars(model, 4, 4) == QLatin1String("E82M")) {
        type = rangeCode(ui->Combo_E82_TT->currentIndex());
        mode = analogModeDigit(ui->Config_CS_Combo->currentIndex());
        format = formatDigit(ui->Com_E82_DF->currentIndex());
        ui->Com_DIO_Status->setText(QString::number(ui->Com_E82_DF->currentIndex()));
    }

    const QString command =
        QStringLiteral("%") + dio.moduleAddress() + newAddress + type + baud + mode + format;
    ui->Text_Disp_Com->setText(command);

    const MessageBoxes::Answer answer =
        m_form.boxes().show(QStringLiteral("Please Check Command ") + ui->Text_Disp_Com->text() +
                                QStringLiteral(" is Correct ?      "),
                            WriteTitle, MessageBoxes::Exclamation, MessageBoxes::OkCancel);
    if (answer != MessageBoxes::AnswerOk)
        return;

    ui->Text_DSP_Res->setText(dio.ask(ui->Text_Disp_Com->text(), WriteTimeoutMs));
    const bool accepted = ui->Text_DSP_Res->text().startsWith(u'!');
    m_form.boxes().show(accepted ? QStringLiteral("Save Success.....    ")
                                 : QStringLiteral("Save Fail........    "),
                        WriteTitle, MessageBoxes::Exclamation, MessageBoxes::Ok);
}
