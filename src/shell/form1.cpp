#include "shell/form1.h"

#include "config/moduleconfig.h"
#include "dio/diopanel.h"
#include "link/commandlink.h"
#include "link/commport.h"
#include "link/convertersocket.h"
#include "link/errors.h"
#include "link/waits.h"
#include "monitor/trafficfile.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficmonitor.h"
#include "monitor/trafficrecorder.h"
#include "network/networktest.h"
#include "scan/busscan.h"
#include "scan/modeltable.h"
#include "scan/scangrid.h"
#include "shell/commsettings.h"
#include "terminal/terminal.h"
#include "ui_form1.h"
#include "ui_helppage.h"
#include "ui_networkpage.h"
#include "ui_scanpage.h"
#include "ui_terminalpage.h"
#include "widgets/formtimer.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>

#include <initializer_list>

// Every control of the window: the window with its Setting page, and the four other pages.
class Form1Controls : public Ui::Form1,
                      public Ui::TerminalPage,
                      public Ui::ScanPage,
                      public Ui::NetworkPage,
                      public Ui::HelpPage
{
};

static void initResources()
{
    Q_INIT_RESOURCE(form1);
}

namespace {

constexpr int TwipsPerPixel = 15;

// The sixteen channel controls of the I/O panel, channel 0 first. Taken from the design file's
// members rather than looked up by name: every lookup walks the window's hundreds of objects.
std::array<QPushButton *, 16> outputButtons(const Form1Controls *ui)
{
    return {ui->Com_DO0, ui->Com_DO1, ui->Com_DO2, ui->Com_DO3, ui->Com_DO4, ui->Com_DO5,
            ui->Com_DO6, ui->Com_DO7, ui->Com_DO8, ui->Com_DO9, ui->Com_DOA, ui->Com_DOB,
            ui->Com_DOC, ui->Com_DOD, ui->Com_DOE, ui->Com_DOF};
}

std::array<QPushButton *, 16> inputButtons(const Form1Controls *ui)
{
    return {ui->Com_DI_D0, ui->Com_DI_D1, ui->Com_DI_D2, ui->Com_DI_D3,
            ui->Com_DI_D4, ui->Com_DI_D5, ui->Com_DI_D6, ui->Com_DI_D7,
            ui->Com_DI_D8, ui->Com_DI_D9, ui->Com_DI_DA, ui->Com_DI_DB,
            ui->Com_DI_DC, ui->Com_DI_DD, ui->Com_DI_DE, ui->Com_DI_DF};
}

std::array<QLabel *, 16> channelLabels(const Form1Controls *ui)
{
    return {ui->Lab_D0, ui->Lab_D1, ui->Lab_D2, ui->Lab_D3, ui->Lab_D4, ui->Lab_D5,
            ui->Lab_D6, ui->Lab_D7, ui->Lab_D8, ui->Lab_D9, ui->Lab_DA, ui->Lab_DB,
            ui->Lab_DC, ui->Lab_DD, ui->Lab_DE, ui->Lab_DF};
}

// The address list, 00 to FF without CD and DD, put in with one insertion: entry by entry, as
// the design file would add them, it costs more at start-up than any other control.
void fillAddressList(QComboBox *list)
{
    static const char digits[] = "0123456789ABCDEF";
    QStringList codes;
    codes.reserve(254);
    for (int id = 0; id < 256; ++id) {
        if (id != 0xCD && id != 0xDD) {
            const char code[] = {digits[id >> 4], digits[id & 15]};
            codes << QString::fromLatin1(code, 2);
        }
    }
    list->addItems(codes);
    list->setCurrentIndex(0);
}

// The events of showing and painting a window, which reach no handler of the program: the pages
// built after the first paint may wait while these are delivered, and only these. Timer events
// belong here too: the program sets no timer before its pages are built, so they can only be the
// controls' own (a list view's delayed layout, which would otherwise build the pages before the
// first paint on some platforms).
bool showingOrPainting(QEvent::Type type)
{
    switch (type) {
        case QEvent::ActivationChange:
        case QEvent::ApplicationActivate:
        case QEvent::ApplicationDeactivate:
        case QEvent::ApplicationFontChange:
        case QEvent::ApplicationPaletteChange:
        case QEvent::ApplicationStateChange:
        case QEvent::ChildAdded:
        case QEvent::ChildPolished:
        case QEvent::ChildRemoved:
        case QEvent::Create:
        case QEvent::CursorChange:
        case QEvent::Expose:
        case QEvent::FocusAboutToChange:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::FontChange:
        case QEvent::Hide:
        case QEvent::HideToParent:
        case QEvent::LayoutRequest:
        case QEvent::Move:
        case QEvent::Paint:
        case QEvent::PaletteChange:
        case QEvent::PlatformSurface:
        case QEvent::Polish:
        case QEvent::PolishRequest:
        case QEvent::Resize:
        case QEvent::ScreenChangeInternal:
        case QEvent::Show:
        case QEvent::ShowToParent:
        case QEvent::StyleChange:
        case QEvent::Timer:
        case QEvent::ToolTipChange:
        case QEvent::UpdateLater:
        case QEvent::UpdateRequest:
        case QEvent::WinIdChange:
        case QEvent::WindowActivate:
        case QEvent::WindowDeactivate:
        case QEvent::WindowIconChange:
        case QEvent::WindowStateChange:
        case QEvent::WindowTitleChange:
        case QEvent::ZOrderChange:
            return true;
        default:
            return false;
    }
}

// The picture, read as PNG without asking the image format plugins first whether they know the
// file: loading them takes longer than decoding the picture.
QPixmap picture()
{
    QImageReader reader(QStringLiteral(":/help/picture1.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

}  // namespace

void applyDesignTexts(QWidget *window)
{
    // An editable combo box shows its design-time text even where that text is not one of its
    // entries; the list index then stays -1. Designer applies the index last, which would blank
    // the text, so the text is kept in its own property.
    for (QComboBox *combo : window->findChildren<QComboBox *>()) {
        const QVariant designText = combo->property("designText");
        if (combo->currentIndex() < 0 && designText.isValid())
            combo->setEditText(designText.toString());
    }
}

Form1::Form1(const Platform &platform, QWidget *parent, Build build)
    : QWidget(parent),
      m_platform(platform),
      m_waits(std::make_unique<WaitContext>(*platform.clock, *platform.pump)),
      m_ui(std::make_unique<Form1Controls>())
{
    initResources();
    m_ui->Ui::Form1::setupUi(this);
    if (build == Build::Whole) {
        buildPages();
        return;
    }
    m_pagesPending = true;
    qApp->installEventFilter(this);
}

void Form1::buildPages()
{
    if (m_pagesPending) {
        m_pagesPending = false;
        qApp->removeEventFilter(this);
    }
    Form1Controls *ui = m_ui.get();
    ui->Ui::TerminalPage::setupUi(ui->SSTab1Page1);
    ui->Ui::ScanPage::setupUi(ui->SSTab1Page2);
    ui->Ui::NetworkPage::setupUi(ui->SSTab1Page3);
    ui->Ui::HelpPage::setupUi(ui->SSTab1Page4);
    fillAddressList(ui->Config_ID_Combo);
    ui->Picture1->setPixmap(picture());
    // Controls made after the window was shown are polished now, as showing polished the others.
    for (QWidget *page : {ui->SSTab1Page1, ui->SSTab1Page2, ui->SSTab1Page3, ui->SSTab1Page4}) {
        if (!page->testAttribute(Qt::WA_WState_Polished))
            continue;
        for (QWidget *control : page->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            control->ensurePolished();
    }
    applyDesignTexts(this);
    buildSubsystems();
    wireControls();
    guarded([this] { Form_Load(); });
}

Form1::~Form1()
{
    if (m_pagesPending)
        qApp->removeEventFilter(this);
    m_ending = true;
    m_waits->setEnding(true);
    if (m_platform.port->portOpen())
        m_platform.port->setPortOpen(false);
}

void Form1::buildSubsystems()
{
    Form1Controls *ui = m_ui.get();
    MessageBoxes &boxes = *m_platform.boxes;
    m_grid = std::make_unique<ScanGrid>(ui->MSFlexGrid1);
    m_link = std::make_unique<CommandLink>(*m_platform.port, *m_waits);
    m_platform.port->setObjectName(QStringLiteral("MSComm1"));
    m_winsock = std::make_unique<ConverterSocket>(*m_platform.clock);
    m_winsock->setObjectName(QStringLiteral("Winsock1"));

    m_timerSend = new FormTimer(QStringLiteral("Timer_Send"), this);
    m_timerSend->setInterval(50);
    m_timer1 = new FormTimer(QStringLiteral("Timer1"), this);
    m_timer3 = new FormTimer(QStringLiteral("Timer3"), this);
    m_timerLoop = new FormTimer(QStringLiteral("Timer_Loop"), this);

    const auto outputs = outputButtons(ui);
    const auto inputs = inputButtons(ui);
    const auto labels = channelLabels(ui);

    m_settings = std::make_unique<CommSettings>(
        SettingsView{ui->LISTCOM, ui->LISTRATE, ui->Opt_ASC, ui->Opt_RTU, ui->Check_Chksum,
                     ui->portInfoLabel, ui->Text_IP, ui->Text_Port, ui->Text_Send, ui->Text_Rec,
                     ui->Com_send, ui->Com_clr, ui->Check_Auto, ui->Text_Time, ui->Com_Scan_OK,
                     ui->Com_Scan_All, m_grid.get()},
        *m_link, boxes);
    m_terminal = std::make_unique<Terminal>(
        TerminalView{ui->Text_Send, ui->Com_send, ui->Text_Chksum, ui->Text_Rec, ui->Com_clr,
                     ui->Check_Auto, ui->Text_Time, ui->Opt_ASC, ui->Check_Chksum, m_timerSend},
        *m_link, boxes);
    m_scan = std::make_unique<BusScan>(
        ScanView{ui->Com_Scan_OK, ui->Com_Scan_All, ui->Com_Configuration, ui->Text_Scan_Status,
                 ui->Text_Scan_ID_Status, ui->Text_Scan_BD, ui->Text_Scan_Checksum_Status,
                 m_grid.get(), ui->Text_Send, ui->Text_Rec, ui->LISTCOM, ui->LISTRATE, ui->Opt_ASC,
                 ui->Check_Chksum, m_timer1, m_timer3, ui->scanProgress},
        *m_link, boxes);
    m_dio =
        std::make_unique<DioPanel>(DioView{outputs, inputs, ui->Com_DIO_Status, ui->Text_Disp_Com,
                                           ui->Text_DSP_Res, ui->Check_Chksum, m_grid.get()},
                                   *m_link);
    m_config = std::make_unique<ModuleConfig>(
        ConfigView{ui->Config_ID_Combo, ui->Config_BD_Combo, ui->Config_CS_Combo, ui->Combo_E82_TT,
                   ui->Com_E82_DF, ui->Com_Write, ui->Frame_Config, ui->Frame_DI, ui->Frame_DO,
                   ui->Com_DIO_Status, labels, inputs, outputs, ui->Text_Disp_Com, ui->Text_DSP_Res,
                   ui->Opt_RTU, ui->Check_Chksum, m_grid.get()},
        *m_link, boxes);
    m_network = std::make_unique<NetworkTest>(
        NetworkView{ui->Text_IP, ui->Text_Port, ui->Text_Tcpip_Send, ui->Com_Tcpip_Send,
                    ui->Com_Tcpip_Clear, ui->Com_Tcpip_Stop, ui->Com_loop_Test, ui->Tcpip_Status,
                    ui->Text_Tcpip_Receive, ui->HScroll1, ui->Frame19, ui->Label27, ui->Label26,
                    m_timerLoop},
        *m_winsock, *m_waits, boxes);

    // Recording runs from start-up; the window that shows it is made when first asked for.
    m_trafficLog = std::make_unique<TrafficLog>();
    m_recorder = std::make_unique<TrafficRecorder>(*m_trafficLog, *m_platform.clock);
    m_recorder->watchSerial(*m_platform.port);
    m_recorder->watchConverter(*m_winsock);
    // The log file, when the operator opens one, follows the record, window shown or not.
    m_trafficFile = std::make_unique<TrafficFile>();
    connect(m_trafficLog.get(), &TrafficLog::added, m_trafficFile.get(), &TrafficFile::append);
}

void Form1::Form_Load()
{
    Form1Controls *ui = m_ui.get();
    // The CRC tables are built on first use and never change afterwards.
    m_settings->Form_Load();

    // Nothing that talks to a module is usable before a port is open.
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->Com_send, ui->Com_clr, ui->Text_Send, ui->Text_Rec, ui->Com_Scan_OK,
             ui->Com_Tcpip_Send, ui->Com_Tcpip_Clear, ui->Com_Scan_All, ui->Com_Configuration,
             ui->Config_BD_Combo, ui->Config_ID_Combo, ui->Config_CS_Combo, ui->Com_loop_Test})
        w->setEnabled(false);

    // The scan timers stay silent until a scan sets them going.
    for (FormTimer *timer : {m_timer1, m_timer3}) {
        timer->setInterval(0);
        timer->setEnabled(false);
    }

    ui->Com_Tcpip_Stop->setEnabled(true);
    SetupScanGrid(*m_grid);
}

QString Form1::Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT)
{
    return m_link->Response(Send_Data, CHK_SUM, TT);
}

QString Form1::TCPOutput(const QString &Cmd)
{
    return m_network->TCPOutput(Cmd);
}

TrafficMonitor *Form1::showTrafficMonitor()
{
    if (!m_monitor) {
        m_monitor = new TrafficMonitor(*m_trafficLog, *m_trafficFile, *m_platform.boxes, this);
        m_monitor->setStatus(m_monitorStatus);
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
    return m_monitor;
}

void Form1::setMonitorStatus(const QString &text)
{
    m_monitorStatus = text;
    if (m_monitor)
        m_monitor->setStatus(text);
}

void Form1::setHeightTwips(int twips)
{
    resize(width(), (twips + TwipsPerPixel / 2) / TwipsPerPixel);
}

int Form1::heightTwips() const
{
    return height() * TwipsPerPixel;
}

void Form1::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const CommError &error) {
        reportLinkFault(error.message());
    } catch (const FormatError &) {
        // A text the line cannot carry, met where no handler looks for one (a grid cell's address
        // in a panel command): told as the terminal tells a command it cannot send.
        if (!m_ending)
            showFormatError(*m_platform.boxes);
    } catch (const std::exception &error) {
        // Nothing else is expected; should it come, it must neither reach the event loop nor pass
        // unseen, with the click that caused it seemingly done.
        if (!m_ending)
            m_platform.boxes->show(
                QStringLiteral("The action failed: %1").arg(QString::fromLocal8Bit(error.what())),
                QStringLiteral(" System Message "), MessageBoxes::Critical, MessageBoxes::Ok);
    }
}

void Form1::reportLinkFault(const QString &reason)
{
    m_ui->portInfoLabel->setText(reason);
    if (m_faultShown || m_ending)
        return;
    m_faultShown = true;
    // Shown from the event loop rather than from inside whatever wait noticed the fault.
    QTimer::singleShot(0, this, [this, reason] {
        if (!m_ending)
            m_platform.boxes->show(
                QStringLiteral("The communication port is not open: %1").arg(reason),
                QStringLiteral(" System Message "), MessageBoxes::Critical, MessageBoxes::Ok);
    });
}

void Form1::endProgram()
{
    if (m_ending)
        return;
    m_ending = true;
    m_waits->setEnding(true);
    if (m_platform.port->portOpen())
        m_platform.port->setPortOpen(false);
    m_network->closeConnection();
    for (FormTimer *timer : {m_timerSend, m_timer1, m_timer3, m_timerLoop})
        timer->setEnabled(false);
    m_trafficFile->close();  // the last lines of a log, before the program ends at once
    if (m_platform.endProgram)
        m_platform.endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The close box ends the program as Exit does: every loop ends, the port is closed.
    event->accept();
    endProgram();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (m_pagesPending) {
        if (!showingOrPainting(event->type())) {
            buildPages();
        } else if (watched == this && event->type() == QEvent::Paint && !m_pagesQueued) {
            m_pagesQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_pagesPending)
                        buildPages();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    if (watched == m_ui->Text_Send && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        int keyAscii = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            keyAscii = 13;
        if (keyAscii != 0) {
            guarded([&] { m_terminal->Text_Send_KeyPress(keyAscii); });
            // A key the handler set to 0 is discarded.
            if (keyAscii == 0)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::wireControls()
{
    Form1Controls *ui = m_ui.get();
    auto click = [this](QAbstractButton *button, std::function<void()> handler) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { guarded(handler); });
    };

    // The serial line: a lost line ends what runs on it, and is told once until the port opens.
    CommPort *port = m_platform.port;
    connect(port, &CommPort::lineLost, this, [this](const QString &reason) {
        m_terminal->onLineLost();
        m_scan->onLineLost();
        reportLinkFault(reason);
    });
    connect(port, &CommPort::opened, this, [this] { m_faultShown = false; });

    // Setting page.
    click(ui->Com_Set_Ok, [this] { m_settings->Com_Set_Ok_Click(); });
    click(ui->Com_About, [this] { m_settings->Com_About_Click(); });
    click(ui->Com_Exit, [this] { m_settings->Com_Exit_Click(); });
    connect(m_settings.get(), &CommSettings::exitRequested, this, &Form1::endProgram);
    connect(ui->Opt_ASC, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            guarded([this] { m_settings->Opt_ASC_Click(); });
    });
    connect(ui->Opt_RTU, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            guarded([this] { m_settings->Opt_RTU_Click(); });
    });

    // Terminal page.
    click(ui->Com_send, [this] { m_terminal->Com_send_Click(); });
    click(ui->Com_clr, [this] { m_terminal->Com_clr_Click(); });
    connect(ui->Check_Auto, &QCheckBox::toggled, this,
            [this] { guarded([this] { m_terminal->Check_Auto_Click(); }); });
    ui->Text_Send->installEventFilter(this);
    m_timerSend->onTick = [this] { guarded([this] { m_terminal->Timer_Send_Timer(); }); };

    // Scan page.
    click(ui->Com_Scan_OK, [this] { m_scan->Com_Scan_OK_Click(); });
    click(ui->Com_Scan_All, [this] { m_scan->Com_Scan_All_Click(); });
    m_timer1->onTick = [this] { guarded([this] { m_scan->Timer1_Timer(); }); };
    m_timer3->onTick = [this] { guarded([this] { m_scan->Timer3_Timer(); }); };
    click(ui->Com_Configuration, [this] { m_config->Com_Configuration_Click(); });
    click(ui->Com_Write, [this] { m_config->Com_Write_Click(); });
    // Taking up a module grows the window and stops both scans.
    connect(m_config.get(), &ModuleConfig::heightRequested, this, &Form1::setHeightTwips);
    connect(m_config.get(), &ModuleConfig::takingUp, this, [this] { m_scan->stopTimers(); });
    click(ui->Com_DIO_Status, [this] { m_dio->Com_DIO_Status_Click(); });
    const auto outputs = outputButtons(ui);
    const auto inputs = inputButtons(ui);
    for (int channel = 0; channel < 16; ++channel) {
        click(outputs[size_t(channel)], [this, channel] { m_dio->Com_DO_Click(channel); });
        click(inputs[size_t(channel)], [this, channel] { m_dio->Com_DI_Click(channel); });
    }

    // TCP/IP page.
    click(ui->Com_link, [this] { m_network->Com_link_Click(); });
    click(ui->Com_Tcpip_Stop, [this] { m_network->Com_Tcpip_Stop_Click(); });
    click(ui->Com_Tcpip_Send, [this] { m_network->Com_Tcpip_Send_Click(); });
    click(ui->Com_Tcpip_Clear, [this] { m_network->Com_Tcpip_Clear_Click(); });
    click(ui->Com_loop_Test, [this] { m_network->Com_loop_Test_Click(); });
    m_timerLoop->onTick = [this] { guarded([this] { m_network->Timer_Loop_Timer(); }); };
    connect(m_winsock.get(), &ConverterSocket::CloseEvent, this,
            [this] { guarded([this] { m_network->Winsock1_Close(); }); });
    connect(m_winsock.get(), &ConverterSocket::DataArrival, this, [this](qint32 bytesTotal) {
        guarded([this, bytesTotal] { m_network->Winsock1_DataArrival(bytesTotal); });
    });

    // The traffic monitor and what it shows besides the traffic.
    auto *f2 = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(f2, &QShortcut::activated, this, &Form1::showTrafficMonitor);
    connect(m_link.get(), &CommandLink::exchanged, m_recorder.get(), &TrafficRecorder::exchanged);
    connect(m_scan.get(), &BusScan::progressChanged, this, &Form1::setMonitorStatus);
    connect(m_network.get(), &NetworkTest::loopStatus, this, &Form1::setMonitorStatus);
    connect(m_network.get(), &NetworkTest::loopFinished, this, [this](const QString &summary) {
        m_recorder->note(m_recorder->tcpChannel(), QStringLiteral("loop test: ") + summary);
        setMonitorStatus(QStringLiteral("Loop test: ") + summary);
    });
}
