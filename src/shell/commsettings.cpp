#include "shell/commsettings.h"

#include "link/commandlink.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/eventpump.h"
#include "link/protocol.h"
#include "link/rtuframe.h"
#include "link/waits.h"
#include "scan/modeltable.h"
#include "shell/portlistinfo.h"
#include "widgets/messageboxes.h"
#include "widgets/multilinebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <initializer_list>

namespace {

constexpr int DefaultRateIndex = 3;

void setEnabled(std::initializer_list<QWidget *> widgets, bool enabled)
{
    for (QWidget *w : widgets)
        w->setEnabled(enabled);
}

}  // namespace

CommSettings::CommSettings(const SettingsView &view, CommandLink &link, MessageBoxes &boxes,
                           QObject *parent)
    : QObject(parent), m_view(view), m_link(link), m_boxes(boxes)
{
    connect(&m_link.port(), &CommPort::dataArrived, this, [this] { ++m_arrivals; });
}

CommSettings::~CommSettings() = default;

void CommSettings::Form_Load()
{
    m_view.LISTCOM->setCurrentIndex(0);
    m_view.LISTRATE->setCurrentIndex(DefaultRateIndex);
    // Which device each port name stands for, kept up to date while the window is open.
    m_portInfo = std::make_unique<PortListInfo>(m_view.LISTCOM, m_view.portInfoLabel);
}

void CommSettings::Com_Set_Ok_Click()
{
    CommPort &port = m_link.port();
    try {
        // 1. Taken before the warning: a Cancel there changes the list, not this opening.
        const int rateIndex = m_view.LISTRATE->currentIndex();
        const QString rateText = rateField(rateIndex);

        ConfirmLinkSettings();

        if (port.portOpen())
            port.setPortOpen(false);
        port.setCommPort(m_view.LISTCOM->currentIndex() + 1);
        port.setSettings(lineSettings(rateText));

        if (m_view.Opt_RTU->isChecked()) {
            port.setInputMode(1);
            m_view.Text_Send->setText(QStringLiteral("1 46 0 0"));
            m_view.Com_Scan_All->setEnabled(false);
        } else {
            port.setInputMode(0);
            m_view.Text_Send->setText(QStringLiteral("$01M"));
            m_view.Com_Scan_All->setEnabled(true);
        }

        try {
            port.setPortOpen(true);
        } catch (const CommError &error) {
            // The box says only that it failed; the label beside the list says why (missing,
            // busy, or the user lacks the rights to the device).
            m_view.portInfoLabel->setText(error.message());
            throw;
        }

        setEnabled({m_view.Com_send, m_view.Com_clr, m_view.Text_Send, m_view.Text_Rec,
                    m_view.Com_Scan_OK, m_view.Check_Auto, m_view.Text_Time},
                   true);

        ClearScanGrid(*m_view.MSFlexGrid1);

        ReceiveLoop();
    } catch (const LinkError &) {
        showPortError(m_boxes);
    }
}

void CommSettings::ConfirmLinkSettings()
{
    if (m_view.LISTRATE->currentIndex() == DefaultRateIndex &&
        m_view.Check_Chksum->checkState() == Qt::Unchecked)
        return;

    MessageBoxes::Answer answer;
    do {
        // No help is attached to the Help button: it leaves the question standing.
        answer = m_boxes.show(
            QStringLiteral("The Checksum/Baud-Rate has been changed! Check that module's "
                           "configuation is correct !"),
            QStringLiteral(" System Message "), MessageBoxes::Exclamation,
            MessageBoxes::OkCancelHelp);
    } while (answer == MessageBoxes::AnswerHelp);

    if (answer == MessageBoxes::AnswerCancel) {
        // Back to the defaults the warning is about: 9600 and no checksum.
        m_view.LISTRATE->setCurrentIndex(DefaultRateIndex);
        m_view.Check_Chksum->setChecked(false);
    }
}

bool CommSettings::receiving() const
{
    return m_view.Opt_RTU->isChecked() && m_link.port().portOpen() && !m_link.waits().ending();
}

void CommSettings::ReceiveLoop()
{
    MultiLineBox *rec = m_view.Text_Rec;
    EventPump &pump = m_link.waits().pump();
    if (receiving())
        rec->setKeepLimit(ReceiveKeepLimit);

    // Every pass re-reads the option, the port and the end flag: the handlers that run inside the
    // pump may have changed any of them (ASCII chosen, the port closed or reopened, Exit).
    while (receiving()) {
        const quint64 seen = m_arrivals;
        const QByteArray bytes = m_link.port().input();
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
    m_view.LISTCOM->setCurrentIndex(0);
    m_view.LISTRATE->setCurrentIndex(DefaultRateIndex);
    if (m_view.Opt_ASC->isChecked())
        Opt_ASC_Click();
    else
        m_view.Opt_ASC->setChecked(true);  // runs Opt_ASC_Click
    m_view.Check_Chksum->setChecked(false);
    m_view.Text_Port->setText(QString::fromLatin1(DefaultConverterPort));
    m_view.Text_IP->setText(QString::fromLatin1(DefaultConverterAddress));
}

void CommSettings::Com_Exit_Click()
{
    if (m_link.port().portOpen())
        m_link.port().setPortOpen(false);
    emit exitRequested();
}

void CommSettings::Opt_ASC_Click()
{
    m_view.Check_Chksum->setEnabled(true);
}

void CommSettings::Opt_RTU_Click()
{
    if (m_view.Opt_RTU->isChecked()) {
        // Modbus RTU frames carry their own CRC.
        m_view.Check_Chksum->setChecked(false);
        m_view.Check_Chksum->setEnabled(false);
    }
}
