#pragma once

#include "link/loopverdict.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class CommandHistory;
class ConverterSocket;
class FormTimer;
class MessageBoxes;
class MultiLineBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class WaitContext;

// The controls of the TCP/IP page.
struct NetworkView
{
    QLineEdit *Text_IP;
    QLineEdit *Text_Port;
    QLineEdit *Text_Tcpip_Send;
    QPushButton *Com_Tcpip_Send;
    QPushButton *Com_Tcpip_Clear;
    QPushButton *Com_Tcpip_Stop;
    QPushButton *Com_loop_Test;
    QLineEdit *Tcpip_Status;
    MultiLineBox *Text_Tcpip_Receive;
    QScrollBar *HScroll1;
    QGroupBox *Frame19;
    QLabel *Label27;
    QLabel *Label26;
    FormTimer *Timer_Loop;
};

// The converter test page: the TCP link, the console and the loop test.
class NetworkTest : public QObject
{
    Q_OBJECT
public:
    NetworkTest(const NetworkView &view, ConverterSocket &Winsock1, WaitContext &waits,
                MessageBoxes &boxes, QObject *parent = nullptr);
    ~NetworkTest() override;

    void Com_link_Click();
    void Com_Tcpip_Stop_Click();
    void Com_Tcpip_Send_Click();
    void Com_Tcpip_Clear_Click();
    void Com_loop_Test_Click();
    void Timer_Loop_Timer();
    QString TCPOutput(const QString &Cmd);

    // The socket's events.
    void Winsock1_Close();
    void Winsock1_DataArrival(qint32 bytesTotal);

    // Closes the connection without touching the controls (the program is ending).
    void closeConnection();

    // The most the receive box keeps: the newest 64 KiB of what arrived. A peer that floods the
    // connection can then neither grow the box without bound nor make each append slower.
    static constexpr qsizetype ReceiveKeepLimit = 64 * 1024;

    // The port number in the text: a decimal integer from 1 to 65535, blanks around it allowed.
    static bool portNumber(const QString &text, qint32 *port);

signals:
    // The loop test's counts while it runs, and once more when it has stopped.
    void loopStatus(const QString &summary);
    void loopFinished(const QString &summary);

private:
    void stopLoopTest();
    bool linkStands(quint64 link) const;
    void showVerdict(bool force);
    void finishVerdict();
    void publishVerdict();

    NetworkView m_view;
    ConverterSocket &m_winsock;
    WaitContext &m_waits;
    MessageBoxes &m_boxes;
    // Counts the Links and Releases: a wait that finds it changed knows that a newer click has
    // taken the connection over.
    quint64 m_linkGeneration = 0;
    bool m_loopTestOn = false;  // the flag of Com_loop_Test
    qint16 PatternIndex = 0;
    bool m_passRunning = false;
    CommandHistory *m_history;
    LoopVerdict m_verdict;
    bool m_verdictOpen = false;     // counting: from the start click until the final counts
    bool m_verdictClosing = false;  // stopped; waiting for the last echoes
    quint32 m_verdictShownAt = 0;
    QTimer m_lastEchoes;
};
