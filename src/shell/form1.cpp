#include "shell/form1.h"

#include "config/moduleconfig.h"
#include "dio/diopanel.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/exchange.h"
#include "link/rtuframe.h"
#include "link/waits.h"
#include "network/networktest.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"
#include "shell/commsettings.h"
#include "shell/formtimer.h"
#include "shell/messageboxes.h"
#include "terminal/terminal.h"
#include "ui_form1.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

static void initResources()
{
    Q_INIT_RESOURCE(form1);
}

namespace {

constexpr int TwipsPerPixel = 15;

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

Form1::Form1(const Platform &platform, QWidget *parent)
    : QWidget(parent), m_platform(platform), m_ui(std::make_unique<Ui::Form1>())
{
    initResources();
    WaitContext::install(m_platform.clock, m_platform.pump);
    m_ui->setupUi(this);
    applyDesignTexts(this);

    m_grid = std::make_unique<ScanGrid>(m_ui->MSFlexGrid1);
    m_rtu = std::make_unique<RtuFramer>();
    m_exchange = std::make_unique<CommandExchange>(*m_platform.port);
    m_platform.port->setObjectName(QStringLiteral("MSComm1"));

    m_timerSend = new FormTimer(QStringLiteral("Timer_Send"), this);
    m_timerSend->setInterval(50);
    m_timer1 = new FormTimer(QStringLiteral("Timer1"), this);
    m_timer3 = new FormTimer(QStringLiteral("Timer3"), this);
    m_timerLoop = new FormTimer(QStringLiteral("Timer_Loop"), this);

    m_settings = std::make_unique<CommSettings>(*this);
    m_terminal = std::make_unique<Terminal>(*this);
    m_scan = std::make_unique<BusScan>(*this);
    m_dio = std::make_unique<DioPanel>(*this);
    m_config = std::make_unique<ModuleConfig>(*this);
    m_network = std::make_unique<NetworkTest>(*this);

    wireControls();
    guarded([this] { Form_Load(); });
}

Form1::~Form1()
{
    m_ending = true;
    WaitContext::ending() = true;
    if (m_platform.port->portOpen())
        m_platform.port->setPortOpen(false);
    WaitContext::ending() = false;
}

void Form1::Form_Load()
{
    m_settings->Form_Load();
}

QString Form1::Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT)
{
    return m_exchange->Response(Send_Data, CHK_SUM, TT);
}

QString Form1::TCPOutput(const QString &Cmd)
{
    return m_network->TCPOutput(Cmd);
}

void Form1::BuildRtuFrame()
{
    m_rtu->BuildRtuFrame(m_ui->Text_Send->text());
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
    } catch (const std::exception &error) {
        // Handlers catch the errors they expect; anything else must not reach the event loop.
        qWarning("Unhandled error in a handler: %s", error.what());
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

void Form1::clearLinkFault()
{
    m_faultShown = false;
}

void Form1::endProgram()
{
    if (m_ending)
        return;
    m_ending = true;
    WaitContext::ending() = true;
    if (m_platform.port->portOpen())
        m_platform.port->setPortOpen(false);
    m_network->closeConnection();
    for (FormTimer *timer : {m_timerSend, m_timer1, m_timer3, m_timerLoop})
        timer->setEnabled(false);
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
    Ui::Form1 *ui = m_ui.get();
    auto click = [this](QAbstractButton *button, std::function<void()> handler) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { guarded(handler); });
    };

    connect(m_platform.port, &CommPort::lineLost, this,
            [this](const QString &reason) { reportLinkFault(reason); });

    // Setting page.
    click(ui->Com_Set_Ok, [this] { m_settings->Com_Set_Ok_Click(); });
    click(ui->Com_About, [this] { m_settings->Com_About_Click(); });
    click(ui->Com_Exit, [this] { m_settings->Com_Exit_Click(); });
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
    click(ui->Com_DIO_Status, [this] { m_dio->Com_DIO_Status_Click(); });
    for (int channel = 0; channel < 16; ++channel) {
        const QString digit = QString::number(channel, 16).toUpper();
        auto *output = findChild<QAbstractButton *>(QStringLiteral("Com_DO") + digit);
        auto *input = findChild<QAbstractButton *>(QStringLiteral("Com_DI_D") + digit);
        click(output, [this, channel] { m_dio->Com_DO_Click(channel); });
        click(input, [this, channel] { m_dio->Com_DI_Click(channel); });
    }

    // TCP/IP page.
    click(ui->Com_link, [this] { m_network->Com_link_Click(); });
    click(ui->Com_Tcpip_Stop, [this] { m_network->Com_Tcpip_Stop_Click(); });
    click(ui->Com_Tcpip_Send, [this] { m_network->Com_Tcpip_Send_Click(); });
    click(ui->Com_Tcpip_Clear, [this] { m_network->Com_Tcpip_Clear_Click(); });
    click(ui->Com_loop_Test, [this] { m_network->Com_loop_Test_Click(); });
    m_timerLoop->onTick = [this] { guarded([this] { m_network->Timer_Loop_Timer(); }); };
}
