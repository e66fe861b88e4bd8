#include "scan/busscan.h"

#include "link/checksum.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/rtuframe.h"
#include "link/waits.h"
#include "scan/modeltable.h"
#include "scan/scangrid.h"
#include "shell/commsettings.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "ui_form1.h"

#include <QTableWidget>

const char *const ScanBaudRates[8] = {"1200",  "2400",  "4800",  "9600",
                                      "19200", "38400", "57600", "115200"};

namespace {

constexpr int AllSettingsInterval = 100;
constexpr int CurrentSettingsInterval = 300;
constexpr int QueryPlainTimeout = 300;
constexpr int QuerySummedTimeout = 500;
constexpr int CurrentQueryTimeout = 600;
constexpr int StopPause = 100;
constexpr int RtuPause = 100;
constexpr int LastAllSettingsId = 255;
constexpr int LastCurrentSettingsId = 256;
// LISTRATE with no entry selected: the rate the Default button chooses.
constexpr int FallbackRateIndex = 3;

QString stopCaption()
{
    return QStringLiteral("Stop");
}
QString allIdleCaption()
{
    return QStringLiteral("Scan Unknow Setting");
}
QString currentIdleCaption()
{
    return QStringLiteral("Scan");
}
QString enableText()
{
    return QStringLiteral("Enable");
}
QString disableText()
{
    return QStringLiteral("Disable");
}
QString lineSettings(const QString &rate)
{
    return rate + QStringLiteral(",n,8,1");
}
QString identificationQuery(const QString &address)
{
    return QStringLiteral("$") + address + QStringLiteral("F");
}

// Marks a step as running for as long as it is on the stack.
struct StepRunning
{
    explicit StepRunning(bool &flag) : m_flag(flag) { m_flag = true; }
    ~StepRunning() { m_flag = false; }
    bool &m_flag;
};

}  // namespace

BusScan::BusScan(Form1 &form) : m_form(form)
{
    QObject::connect(&m_form.MSComm1(), &CommPort::lineLost, &m_form, [this] { onLineLost(); });
}

void BusScan::showStartStatus()
{
    Ui::Form1 *ui = m_form.ui();
    ui->Text_Scan_Status->setText(QString::number(ui->LISTCOM->currentIndex() + 1));
    ui->Text_Scan_ID_Status->setText(QStringLiteral("00"));
    ui->Text_Scan_BD->setText(settingsRate(m_form.MSComm1().settings()));
    ui->Text_Scan_Checksum_Status->setText(ui->Check_Chksum->isChecked() ? enableText()
                                                                         : disableText());
}

void BusScan::Com_Scan_All_Click()
{
    Ui::Form1 *ui = m_form.ui();
    ui->Com_Configuration->setEnabled(false);
    if (m_allIdle) {
        ui->Com_Scan_All->setText(stopCaption());
        ui->Com_Scan_OK->setEnabled(false);
        m_form.Timer1()->setEnabled(true);
        m_form.Timer1()->setInterval(AllSettingsInterval);
        m_form.Timer3()->setEnabled(false);
        // A step of the stopped scan may still be waiting (Stop and a new start both clicked
        // during it): it no longer owns the positions, and they start from 00 again here.
        ++m_allRun;
        if (m_allStepRunning)
            m_all = ScanPosition();
        ClearScanGrid(m_form.MSFlexGrid1());
        noteGridEmpty();
        showStartStatus();
    } else {
        ui->Com_Scan_All->setText(allIdleCaption());
        Delay(StopPause);
        m_form.Timer1()->setEnabled(false);
        ui->Com_Scan_OK->setEnabled(true);
        if (!m_allStepRunning)
            resetAllSettingsScan();
    }
    m_allIdle = !m_allIdle;
}

void BusScan::Com_Scan_OK_Click()
{
    Ui::Form1 *ui = m_form.ui();
    m_form.Timer3()->setEnabled(false);
    if (m_currentIdle) {
        ui->Com_Scan_OK->setText(stopCaption());
        ui->Text_Rec->setText(QStringLiteral(" "));
        m_form.Timer3()->setEnabled(true);
        m_form.Timer3()->setInterval(CurrentSettingsInterval);
        m_form.Timer1()->setEnabled(false);
        ui->Com_Configuration->setEnabled(true);
        ++m_currentRun;
        if (m_currentStepRunning)
            m_current = ScanPosition();
        ClearScanGrid(m_form.MSFlexGrid1());
        noteGridEmpty();
        ui->Com_Scan_All->setEnabled(false);
        showStartStatus();
    } else {
        ui->Com_Scan_OK->setText(currentIdleCaption());
        Delay(StopPause);
        if (ui->Opt_ASC->isChecked())
            ui->Com_Scan_All->setEnabled(true);
        m_form.Timer3()->setEnabled(false);
        if (!m_currentStepRunning)
            resetCurrentSettingsScan();
    }
    m_currentIdle = !m_currentIdle;
    ui->Text_Send->setText(QStringLiteral(" "));
}

void BusScan::Timer1_Timer()
{
    if (m_allStepRunning)
        return;
    StepRunning running(m_allStepRunning);
    Ui::Form1 *ui = m_form.ui();
    CommPort &port = m_form.MSComm1();
    // Every wait below runs the window's handlers; one of them may have ended or restarted the
    // scan this step belongs to.
    const quint32 run = m_allRun;
    auto outlived = [&] { return m_allRun != run; };

    try {
        if (m_all.NextId > LastAllSettingsId) {
            m_form.Timer1()->setEnabled(false);
        } else {
            const QString address = addressText(m_all.NextId);
            ui->Text_Scan_ID_Status->setText(address);
            bool found = false;
            bool withChecksum = false;
            QString reply;
            for (;;) {
                ui->Text_Scan_Checksum_Status->setText(disableText());
                if (port.portOpen())
                    port.setPortOpen(false);
                const QString rate = QString::fromLatin1(ScanBaudRates[m_all.BaudIndex]);
                ui->Text_Scan_BD->setText(rate);
                port.setSettings(lineSettings(rate));
                try {
                    port.setPortOpen(true);
                } catch (const CommError &) {
                    abandonAllSettingsScan();
                    m_form.settings().ShowPortError();
                    return;
                }
                m_form.clearLinkFault();

                QString query = identificationQuery(address);
                reply = m_form.Response(query, false, QueryPlainTimeout);
                if (outlived())
                    return;
                if (reply.startsWith(u'!')) {
                    found = true;
                } else {
                    ui->Text_Scan_Checksum_Status->setText(enableText());
                    query = identificationQuery(address);
                    reply = m_form.Response(query, true, QuerySummedTimeout);
                    if (outlived())
                        return;
                    if (reply.startsWith(u'!')) {
                        found = true;
                        withChecksum = true;
                    } else {
                        ++m_all.BaudIndex;
                    }
                }
                // The caption is read afresh: a Stop clicked during the turn ends the search.
                if (found || m_all.BaudIndex >= 8 || ui->Com_Scan_All->text() == allIdleCaption())
                    break;
            }
            m_all.BaudIndex = 0;
            if (found) {
                m_all.CellCounter += 6;
                noteRowWritten(fillScanRow(m_form.MSFlexGrid1(), m_all.FoundCount + 1, reply,
                                           ScanKind::AllSettings, ui->Text_Scan_BD->text(),
                                           withChecksum ? enableText() : disableText()));
                ++m_all.NextId;
                ++m_all.FoundCount;
            } else {
                ++m_all.NextId;
            }
        }
        if (m_allIdle)
            resetAllSettingsScan();
    } catch (const CommError &error) {
        if (outlived())
            return;
        abandonAllSettingsScan();
        m_form.reportLinkFault(error.message());
    }
}

void BusScan::resetAllSettingsScan()
{
    m_all.NextId = 0;
    m_all.CellCounter = 0;
    m_all.FoundCount = 0;
    CommPort &port = m_form.MSComm1();
    if (port.portOpen())
        port.setPortOpen(false);
    int index = m_form.ui()->LISTRATE->currentIndex();
    if (index < 0 || index > 7)
        index = FallbackRateIndex;
    port.setSettings(lineSettings(QString::fromLatin1(ScanBaudRates[index])));
    try {
        port.setPortOpen(true);
        m_form.clearLinkFault();
    } catch (const CommError &) {
        // The scan is already idle (the Stop did that); only the port is missing.
        m_form.settings().ShowPortError();
    }
}

void BusScan::Timer3_Timer()
{
    if (m_currentStepRunning)
        return;
    StepRunning running(m_currentStepRunning);
    Ui::Form1 *ui = m_form.ui();
    const quint32 run = m_currentRun;
    auto outlived = [&] { return m_currentRun != run; };

    try {
        if (m_current.NextId > LastCurrentSettingsId) {
            m_form.Timer3()->setEnabled(false);
        } else {
            const QString address = addressText(m_current.NextId);
            ui->Text_Scan_ID_Status->setText(address);
            QString reply;
            if (ui->Opt_ASC->isChecked()) {
                QString query = identificationQuery(address);
                reply = m_form.Response(query, ui->Check_Chksum->isChecked(), CurrentQueryTimeout);
            } else {
                ui->Text_Send->setText(address + QStringLiteral(" ") + QStringLiteral("46") +
                                       QStringLiteral(" 00") + QStringLiteral(" ") +
                                       QStringLiteral(" 00"));
                Delay(RtuPause);
                if (outlived())
                    return;
                try {
                    m_form.BuildRtuFrame();
                    m_form.MSComm1().output(m_form.rtu().RtuFrame);
                } catch (const FormatError &) {
                    // The operator changed Text_Send during the pause: the frame is not sent and
                    // the step goes on as if nothing answered.
                }
                // The answer to the previous step's request, appended by the receive loop.
                const QString received = trimSpaces(ui->Text_Rec->text());
                ui->Text_Rec->setText(received);
                reply = rtuIdentificationFromDump(received);
                ui->Text_Rec->setText(QStringLiteral(" "));
            }
            if (outlived())
                return;
            if (reply.startsWith(u'!')) {
                m_current.CellCounter += 6;
                noteRowWritten(fillScanRow(m_form.MSFlexGrid1(), m_current.FoundCount + 1, reply,
                                           ScanKind::CurrentSettings, ui->Text_Scan_BD->text(),
                                           ui->Text_Scan_Checksum_Status->text()));
                ++m_current.FoundCount;
            }
            ++m_current.NextId;
        }
        if (m_currentIdle)
            resetCurrentSettingsScan();
    } catch (const CommError &error) {
        if (outlived())
            return;
        abandonCurrentSettingsScan();
        m_form.reportLinkFault(error.message());
    }
}

void BusScan::resetCurrentSettingsScan()
{
    m_current.NextId = 0;
    m_current.CellCounter = 0;
    m_current.FoundCount = 0;
}

void BusScan::abandonAllSettingsScan()
{
    Ui::Form1 *ui = m_form.ui();
    ++m_allRun;
    m_form.Timer1()->setEnabled(false);
    ui->Com_Scan_All->setText(allIdleCaption());
    ui->Com_Scan_OK->setEnabled(true);
    m_allIdle = true;
    m_all = ScanPosition();
}

void BusScan::abandonCurrentSettingsScan()
{
    Ui::Form1 *ui = m_form.ui();
    ++m_currentRun;
    m_form.Timer3()->setEnabled(false);
    ui->Com_Scan_OK->setText(currentIdleCaption());
    if (ui->Opt_ASC->isChecked())
        ui->Com_Scan_All->setEnabled(true);
    m_currentIdle = true;
    m_current = ScanPosition();
}

void BusScan::onLineLost()
{
    // The window tells the operator about the lost line once; the scan only has to end, and
    // must not reopen a port that has gone.
    if (!m_allIdle)
        abandonAllSettingsScan();
    if (!m_currentIdle)
        abandonCurrentSettingsScan();
}

void BusScan::noteGridEmpty()
{
    m_unlisted = 0;
    m_form.MSFlexGrid1().table()->setToolTip(QString());
}

void BusScan::noteRowWritten(bool written)
{
    if (written)
        return;
    ++m_unlisted;
    m_form.MSFlexGrid1().table()->setToolTip(
        QStringLiteral("The grid is full: %1 more module(s) found beyond row 254, not listed")
            .arg(m_unlisted));
}
