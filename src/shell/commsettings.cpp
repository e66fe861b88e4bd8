#include "shell/commsettings.h"

#include "link/commport.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/rtuframe.h"
#include "link/waits.h"
#include "scan/modeltable.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "shell/messageboxes.h"
#include "shell/portlistinfo.h"
#include "ui_form1.h"

#include <initializer_list>

namespace {

// The rate field of the settings text, by index of the rate list; six characters, blank-padded.
const char *const RateTexts[] = {"  1200", "  2400", "  4800", "  9600",
                                 " 19200", " 38400", " 57600", "115200"};
constexpr int DefaultRateIndex = 3;

void setEnabled(std::initializer_list<QWidget *> widgets, bool enabled)
{
    for (QWidget *w : widgets)
        w->setEnabled(enabled);
}

}  // namespace

CommSettings::CommSettings(Form1 &form) : m_form(form)
{
    QObject::connect(&m_form.MSComm1(), &CommPort::dataArrived, &m_form, [this] { ++m_arrivals; });
}

CommSettings::~CommSettings() = default;

void CommSettings::Form_Load()
{
    Ui::Form1 *ui = m_form.ui();

    // 1. CrcHiTable and CrcLoTable are already filled: the window builds its RtuFramer, which
    //    fills them, before it runs Form_Load, and nothing changes them afterwards.

    // 2. COM1 at 9600.
    ui->LISTCOM->setCurrentIndex(0);
    ui->LISTRATE->setCurrentIndex(DefaultRateIndex);

    // 3. Nothing that talks to a module is usable before a port is open.
    setEnabled({ui->Com_send, ui->Com_clr, ui->Text_Send, ui->Text_Rec, ui->Com_Scan_OK,
                ui->Com_Tcpip_Send, ui->Com_Tcpip_Clear, ui->Com_Scan_All, ui->Com_Configuration,
                ui->Config_BD_Combo, ui->Config_ID_Combo, ui->Config_CS_Combo, ui->Com_loop_Test},
               false);

    // 4. The scan timers stay silent until a scan sets them going.
    for (FormTimer *timer : {m_form.Timer1(), m_form.Timer3()}) {
        timer->setInterval(0);
        timer->setEnabled(false);
    }

    // 5.
    ui->Com_Tcpip_Stop->setEnabled(true);

    // 6.
    SetupScanGrid(m_form.MSFlexGrid1());

    // Which device each port name stands for, kept up to date while the window is open.
    m_portInfo = std::make_unique<PortListInfo>(ui->LISTCOM, ui->portInfoLabel);
}

void CommSettings::Com_Set_Ok_Click()
{
    Ui::Form1 *ui = m_form.ui();
    CommPort &port = m_form.MSComm1();
    try {
        // 1. Taken before the warning: a Cancel there changes the list, not this opening.
        const int rateIndex = ui->LISTRATE->currentIndex();
        const QString rateText = rateIndex >= 0 && rateIndex <= 7
                                     ? QString::fromLatin1(RateTexts[rateIndex])
                                     : QString();

        ConfirmLinkSettings();

        if (port.portOpen())
            port.setPortOpen(false);
        port.setCommPort(ui->LISTCOM->currentIndex() + 1);
        port.setSettings(rateText + QStringLiteral(",n,8,1"));

        if (ui->Opt_RTU->isChecked()) {
            port.setInputMode(1);
            ui->Text_Send->setText(QStringLiteral("1 46 0 0"));
            ui->Com_Scan_All->setEnabled(false);
        } else {
            port.setInputMode(0);
            ui->Text_Send->setText(QStringLiteral("$01M"));
            ui->Com_Scan_All->setEnabled(true);
        }

        try {
            port.setPortOpen(true);
        } catch (const CommError &error) {
            // The box says only that it failed; the label beside the list says why (missing,
            // busy, or the user lacks the rights to the device).
            ui->portInfoLabel->setText(error.message());
            throw;
        }
        m_form.clearLinkFault();

        setEnabled({ui->Com_send, ui->Com_clr, ui->Text_Send, ui->Text_Rec, ui->Com_Scan_OK,
                    ui->Check_Auto, ui->Text_Time},
                   true);

        ClearScanGrid(m_form.MSFlexGrid1());

        ReceiveLoop();
    } catch (const LinkError &) {
        ShowPortError();
    }
}

void CommSettings::ConfirmLinkSettings()
{
    Ui::Form1 *ui = m_form.ui();
    if (ui->LISTRATE->currentIndex() == DefaultRateIndex &&
        ui->Check_Chksum->checkState() == Qt::Unchecked)
        return;

    MessageBoxes::Answer answer;
    do {
        // No help is attached to the Help button: it leaves the question standing.
        answer = m_form.boxes().show(
            QStringLiteral("The Checksum/Baud-Rate has been changed! Check that module's "
                           "configuation is correct !"),
            QStringLiteral(" System Message "), MessageBoxes::Exclamation,
            MessageBoxes::OkCancelHelp);
    } while (answer == MessageBoxes::AnswerHelp);

    if (answer == MessageBoxes::AnswerCancel) {
        // Back to the defaults the warning is about: 9600 and no checksum.
        ui->LISTRATE->setCurrentIndex(DefaultRateIndex);
        ui->Check_Chksum->setChecked(false);
    }
}

bool CommSettings::receiving() const
{
    return m_form.ui()->Opt_RTU->isChecked() && m_form.MSComm1().portOpen() &&
           !WaitContext::ending();
}

void CommSettings::ReceiveLoop()
{
    MultiLineBox *rec = m_form.ui()->Text_Rec;
    EventPump &pump = *WaitContext::current().pump;
    if (receiving())
        rec->setKeepLimit(ReceiveKeepLimit);

    // Every pass re-reads the option, the port and the end flag: the handlers that run inside the
    // pump may have changed any of them (ASCII chosen, the port closed or reopened, Exit).
    while (receiving()) {
        const quint64 seen = m_arrivals;
        const QByteArray bytes = m_form.MSComm1().input();
        if (!bytes.isEmpty())
            rec->appendText(hexDump(bytes));
        pump.pumpOnce();
        if (!receiving())
            break;
        // Sleep until something happens, unless bytes came in while the events ran.
        if (m_arrivals == seen)
            pump.waitForEvents(-1);
    }
}

void CommSettings::Com_About_Click()
{
    Ui::Form1 *ui = m_form.ui();
    ui->LISTCOM->setCurrentIndex(0);
    ui->LISTRATE->setCurrentIndex(DefaultRateIndex);
    if (ui->Opt_ASC->isChecked())
        Opt_ASC_Click();
    else
        ui->Opt_ASC->setChecked(true);  // runs Opt_ASC_Click
    ui->Check_Chksum->setChecked(false);
    ui->Text_Port->setText(QString::fromLatin1(DefaultConverterPort));
    ui->Text_IP->setText(QString::fromLatin1(DefaultConverterAddress));
}

void CommSettings::Com_Exit_Click()
{
    if (m_form.MSComm1().portOpen())
        m_form.MSComm1().setPortOpen(false);
    m_form.endProgram();
}

void CommSettings::Opt_ASC_Click()
{
    m_form.ui()->Check_Chksum->setEnabled(true);
}

void CommSettings::Opt_RTU_Click()
{
    Ui::Form1 *ui = m_form.ui();
    if (ui->Opt_RTU->isChecked()) {
        // Modbus RTU frames carry their own CRC.
        ui->Check_Chksum->setChecked(false);
        ui->Check_Chksum->setEnabled(false);
    }
}

void CommSettings::ShowPortError()
{
    m_form.boxes().show(QStringLiteral("Open Communication Port Error "),
                        QStringLiteral(" System Message "), MessageBoxes::Critical,
                        MessageBoxes::Ok);
}
