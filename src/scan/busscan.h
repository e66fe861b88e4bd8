#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

class CommandLink;
class FormTimer;
class MessageBoxes;
class MultiLineBox;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class ScanGrid;

// What a scan keeps from one tick to the next. The k-th module found has its cells at
// CellCounter - FoundCount - 1 + column (taken after CellCounter has grown, before FoundCount
// has), which is row k of the grid.
struct ScanPosition
{
    qint16 NextId = 0;
    qint16 CellCounter = 0;
    qint16 FoundCount = 0;
    qint16 BaudIndex = 0;  // all-settings scan only
};

// The controls the scans work on. Text_Send and Text_Rec belong to the terminal: the Modbus RTU
// step builds its request in the one and reads the answer from the other's dump.
struct ScanView
{
    QPushButton *Com_Scan_OK;
    QPushButton *Com_Scan_All;
    QPushButton *Com_Configuration;
    QLineEdit *Text_Scan_Status;
    QLineEdit *Text_Scan_ID_Status;
    QLineEdit *Text_Scan_BD;
    QLineEdit *Text_Scan_Checksum_Status;
    ScanGrid *MSFlexGrid1;
    QLineEdit *Text_Send;
    MultiLineBox *Text_Rec;
    QComboBox *LISTCOM;
    QComboBox *LISTRATE;
    QRadioButton *Opt_ASC;
    QCheckBox *Check_Chksum;
    FormTimer *Timer1;
    FormTimer *Timer3;
    QProgressBar *scanProgress;  // a thin bar in the status frame: how far the running scan is
};

// The two bus scans: at the current settings (Scan, Timer3) and across all settings
// (Scan Unknown, Timer1), one address per tick.
class BusScan : public QObject
{
    Q_OBJECT
public:
    BusScan(const ScanView &view, CommandLink &link, MessageBoxes &boxes,
            QObject *parent = nullptr);

    // The addresses each scan asks, 00 to FF and one beyond for the current-settings scan.
    static constexpr int CurrentSettingsSteps = 257;
    static constexpr int AllSettingsSteps = 256;

    void Com_Scan_All_Click();
    void Com_Scan_OK_Click();
    void Timer1_Timer();
    void Timer3_Timer();

    // Both scans' timers off, as taking up a module does; the scans' own state stays.
    void stopTimers();
    // The line went away: the window tells the operator; the scans end and must not reopen it.
    void onLineLost();

signals:
    // How far the running scan is: "Scan: 12 of 257 addresses, 2 module(s) found"; an empty
    // text once no scan runs. The bar and the running scan's tool tip show the same.
    void progressChanged(const QString &text);

private:
    void reportProgress(bool allSettings);
    void reportIdle();

    void showStartStatus();
    void resetAllSettingsScan();
    void resetCurrentSettingsScan();
    // The scan ends at once, as if Stop had been clicked and the reset done, without touching the
    // port; a step still running ends quietly at its next check.
    void abandonAllSettingsScan();
    void abandonCurrentSettingsScan();
    // The grid has rows for 254 modules; the operator is told (the grid's tool tip) of any more.
    void noteGridEmpty();
    void noteRowWritten(bool written);

    ScanView m_view;
    CommandLink &m_link;
    MessageBoxes &m_boxes;
    ScanPosition m_all;      // Timer1_Timer's
    ScanPosition m_current;  // Timer3_Timer's
    // Set: idle, the next click starts the scan. Set at start so the first click starts it.
    bool m_allIdle = true;
    bool m_currentIdle = true;
    bool m_allStepRunning = false;
    bool m_currentStepRunning = false;
    // Changes whenever a scan is started or abandoned, so a step that outlived its scan (its
    // waits ran the clicks) leaves the positions and the grid to the scan that follows.
    quint32 m_allRun = 0;
    quint32 m_currentRun = 0;
    int m_unlisted = 0;          // modules found beyond the grid's last row
    quint32 m_allStartedAt = 0;  // when the all-settings scan started, for its time left
};
