#include "scan/busscan.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/commandlink.h"
#include "link/commport.h"
#include "link/errors.h"
#include "link/rtuframe.h"
#include "link/sequences.h"
#include "link/waits.h"
#include "scan/modeltable.h"
#include "scan/scangrid.h"
#include "widgets/formtimer.h"
#include "widgets/messageboxes.h"
#include "widgets/multilinebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>

namespace {

constexpr int AllSettingsInterval = 100;
constexpr int CurrentSettingsInterval = 300;
constexpr int StopPause = 100;
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

}  // namespace

BusScan::BusScan(const ScanView &view, CommandLink &link, MessageBoxes &boxes, QObject *parent)
    : QObject(parent), m_view(view), m_link(link), m_boxes(boxes)
{
}

void BusScan::reportProgress(bool allSettings)
{
    const ScanPosition &p = allSettings ? m_all : m_current;
    const int total = allSettings ? AllSettingsSteps : CurrentSettingsSteps;
    const int done = qMin<int>(p.NextId, total);
    qint64 left = -1;
    if (allSettings && done > 0 && done < total) {
        // The steps so far tell how long one takes: up to 6.4 s without a module, far less with.
        const quint32 elapsed = m_link.waits().now() - m_allStartedAt;
        left = qint64(elapsed) * (total - done) / done;
    }
    const QString text =
        scanProgressText(allSettings ? ScanKind::AllSettings : ScanKind::CurrentSettings, done,
                         total, p.FoundCount, left);
    m_view.scanProgress->setMaximum(total);
    m_view.scanProgress->setValue(done);
    (allSettings ? m_view.Com_Scan_All : m_view.Com_Scan_OK)->setToolTip(text);
    emit progressChanged(text);
}

void BusScan::reportIdle()
{
    if (m_allIdle)
        m_view.Com_Scan_All->setToolTip(QString());
    if (m_currentIdle)
        m_view.Com_Scan_OK->setToolTip(QString());
    if (m_allIdle && m_currentIdle) {
        m_view.scanProgress->setValue(0);
        emit progressChanged(QString());
    }
}

void BusScan::showStartStatus()
{
    m_view.Text_Scan_Status->setText(QString::number(m_view.LISTCOM->currentIndex() + 1));
    m_view.Text_Scan_ID_Status->setText(QStringLiteral("00"));
    m_view.Text_Scan_BD->setText(settingsRate(m_link.port().settings()));
    m_view.Text_Scan_Checksum_Status->setText(checksumText(m_view.Check_Chksum->isChecked()));
}

void BusScan::Com_Scan_All_Click()
{
    m_view.Com_Configuration->setEnabled(false);
    if (m_allIdle) {
        m_view.Com_Scan_All->setText(stopCaption());
        m_view.Com_Scan_OK->setEnabled(false);
        m_view.Timer1->setEnabled(true);
        m_view.Timer1->setInterval(AllSettingsInterval);
        m_view.Timer3->setEnabled(false);
        // A step of the stopped scan may still be waiting (Stop and a new start both clicked
        // during it): it no longer owns the positions, and they start from 00 again here.
        ++m_allRun;
        if (m_allStepRunning)
            m_all = ScanPosition();
        ClearScanGrid(*m_view.MSFlexGrid1);
        noteGridEmpty();
        showStartStatus();
        m_allStartedAt = m_link.waits().now();
        reportProgress(true);
    } else {
        m_view.Com_Scan_All->setText(allIdleCaption());
        m_link.Delay(StopPause);
        m_view.Timer1->setEnabled(false);
        m_view.Com_Scan_OK->setEnabled(true);
        if (!m_allStepRunning)
            resetAllSettingsScan();
    }
    m_allIdle = !m_allIdle;
    reportIdle();
}

void BusScan::Com_Scan_OK_Click()
{
    m_view.Timer3->setEnabled(false);
    if (m_currentIdle) {
        m_view.Com_Scan_OK->setText(stopCaption());
        m_view.Text_Rec->setText(QStringLiteral(" "));
        m_view.Timer3->setEnabled(true);
        m_view.Timer3->setInterval(CurrentSettingsInterval);
        m_view.Timer1->setEnabled(false);
        m_view.Com_Configuration->setEnabled(true);
        ++m_currentRun;
        if (m_currentStepRunning)
            m_current = ScanPosition();
        ClearScanGrid(*m_view.MSFlexGrid1);
        noteGridEmpty();
        m_view.Com_Scan_All->setEnabled(false);
        showStartStatus();
        reportProgress(false);
    } else {
        m_view.Com_Scan_OK->setText(currentIdleCaption());
        m_link.Delay(StopPause);
        if (m_view.Opt_ASC->isChecked())
            m_view.Com_Scan_All->setEnabled(true);
        m_view.Timer3->setEnabled(false);
        if (!m_currentStepRunning)
            resetCurrentSettingsScan();
    }
    m_currentIdle = !m_currentIdle;
    m_view.Text_Send->setText(QStringLiteral(" "));
    reportIdle();
}

void BusScan::Timer1_Timer()
{
    if (m_allStepRunning)
        return;
    m_allStepRunning = true;
    const auto running = qScopeGuard([this] { m_allStepRunning = false; });
    CommPort &port = m_link.port();
    // Every wait below runs the window's handlers; one of them may have ended or restarted the
    // scan this step belongs to.
    const quint32 run = m_allRun;
    auto outlived = [&] { return m_allRun != run; };

    try {
        if (m_all.NextId > LastAllSettingsId) {
            m_view.Timer1->setEnabled(false);
        } else {
            const QString address = addressText(m_all.NextId);
            m_view.Text_Scan_ID_Status->setText(address);
            bool found = false;
            bool withChecksum = false;
            QString reply;
            RateTurnHooks hooks;
            hooks.checksumShown = [this](bool summed) {
                m_view.Text_Scan_Checksum_Status->setText(checksumText(summed));
            };
            hooks.rateShown = [this](const QString &rate) { m_view.Text_Scan_BD->setText(rate); };
            hooks.goOn = [&outlived] { return !outlived(); };
            const Exchange exchange = [this](const QString &command, bool withChecksum,
                                             qint32 timeoutMs) {
                return m_link.ask(command, withChecksum, timeoutMs);
            };
            for (;;) {
                const RateTurn turn =
                    allSettingsTurn(port, exchange, address, m_all.BaudIndex, hooks);
                if (turn.outcome == RateTurn::OpenFailed) {
                    abandonAllSettingsScan();
                    showPortError(m_boxes);
                    return;
                }
                if (turn.outcome == RateTurn::Ended)
                    return;
                reply = turn.reply;
                if (turn.outcome == RateTurn::Found) {
                    found = true;
                    withChecksum = turn.withChecksum;
                } else {
                    ++m_all.BaudIndex;
                }
                // The caption is read afresh: a Stop clicked during the turn ends the search.
                if (found || m_all.BaudIndex >= 8 ||
                    m_view.Com_Scan_All->text() == allIdleCaption())
                    break;
            }
            m_all.BaudIndex = 0;
            if (found) {
                m_all.CellCounter += 6;
                noteRowWritten(fillScanRow(*m_view.MSFlexGrid1, m_all.FoundCount + 1, reply,
                                           ScanKind::AllSettings, m_view.Text_Scan_BD->text(),
                                           checksumText(withChecksum)));
                ++m_all.NextId;
                ++m_all.FoundCount;
            } else {
                ++m_all.NextId;
            }
            reportProgress(true);
        }
        if (m_allIdle)
            resetAllSettingsScan();
    } catch (const CommError &) {
        if (outlived())
            return;
        abandonAllSettingsScan();
        throw;
    }
}

void BusScan::resetAllSettingsScan()
{
    m_all.NextId = 0;
    m_all.CellCounter = 0;
    m_all.FoundCount = 0;
    CommPort &port = m_link.port();
    if (port.portOpen())
        port.setPortOpen(false);
    int index = m_view.LISTRATE->currentIndex();
    if (index < 0 || index > 7)
        index = FallbackRateIndex;
    port.setSettings(lineSettings(QString::fromLatin1(ScanBaudRates[index])));
    try {
        port.setPortOpen(true);
    } catch (const CommError &) {
        // The scan is already idle (the Stop did that); only the port is missing.
        showPortError(m_boxes);
    }
}

void BusScan::Timer3_Timer()
{
    if (m_currentStepRunning)
        return;
    m_currentStepRunning = true;
    const auto running = qScopeGuard([this] { m_currentStepRunning = false; });
    const quint32 run = m_currentRun;
    auto outlived = [&] { return m_currentRun != run; };

    try {
        if (m_current.NextId > LastCurrentSettingsId) {
            m_view.Timer3->setEnabled(false);
        } else {
            const QString address = addressText(m_current.NextId);
            m_view.Text_Scan_ID_Status->setText(address);
            QString reply;
            if (m_view.Opt_ASC->isChecked()) {
                QString query = identificationQuery(address);
                reply =
                    m_link.Response(query, m_view.Check_Chksum->isChecked(), Timeouts::ScanCurrent);
            } else {
                m_view.Text_Send->setText(rtuIdentificationRequest(address));
                m_link.Delay(Timeouts::ScanRtuPause);
                if (outlived())
                    return;
                try {
                    m_link.OutputFrame(BuildRtuFrame(m_view.Text_Send->text()));
                } catch (const FormatError &) {
                    // The operator changed Text_Send during the pause: the frame is not sent and
                    // the step goes on as if nothing answered.
                }
                // The answer to the previous step's request, appended by the receive loop.
                const QString received = trimSpaces(m_view.Text_Rec->text());
                m_view.Text_Rec->setText(received);
                reply = rtuIdentificationFromDump(received);
                m_view.Text_Rec->setText(QStringLiteral(" "));
            }
            if (outlived())
                return;
            if (isAccepted(reply)) {
                m_current.CellCounter += 6;
                noteRowWritten(fillScanRow(*m_view.MSFlexGrid1, m_current.FoundCount + 1, reply,
                                           ScanKind::CurrentSettings, m_view.Text_Scan_BD->text(),
                                           m_view.Text_Scan_Checksum_Status->text()));
                ++m_current.FoundCount;
            }
            ++m_current.NextId;
            reportProgress(false);
        }
        if (m_currentIdle)
            resetCurrentSettingsScan();
    } catch (const CommError &) {
        if (outlived())
            return;
        abandonCurrentSettingsScan();
        throw;
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
    ++m_allRun;
    m_view.Timer1->setEnabled(false);
    m_view.Com_Scan_All->setText(allIdleCaption());
    m_view.Com_Scan_OK->setEnabled(true);
    m_allIdle = true;
    m_all = ScanPosition();
    reportIdle();
}

void BusScan::abandonCurrentSettingsScan()
{
    ++m_currentRun;
    m_view.Timer3->setEnabled(false);
    m_view.Com_Scan_OK->setText(currentIdleCaption());
    if (m_view.Opt_ASC->isChecked())
        m_view.Com_Scan_All->setEnabled(true);
    m_currentIdle = true;
    m_current = ScanPosition();
    reportIdle();
}

void BusScan::stopTimers()
{
    m_view.Timer3->setEnabled(false);
    m_view.Timer1->setEnabled(false);
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
    m_view.MSFlexGrid1->table()->setToolTip(QString());
}

void BusScan::noteRowWritten(bool written)
{
    if (written)
        return;
    ++m_unlisted;
    m_view.MSFlexGrid1->table()->setToolTip(
        QStringLiteral("The grid is full: %1 more module(s) found beyond row 254, not listed")
            .arg(m_unlisted));
}
