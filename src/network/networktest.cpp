#include "network/networktest.h"

#include "link/checksum.h"
#include "link/clock.h"
#include "link/convertersocket.h"
#include "link/eventpump.h"
#include "link/protocol.h"
#include "link/sequences.h"
#include "link/waits.h"
#include "widgets/commandhistory.h"
#include "widgets/formtimer.h"
#include "widgets/messageboxes.h"
#include "widgets/multilinebox.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>

namespace {

const QString LinkingText = QStringLiteral("Linking.............");
const QString LinkFailText = QStringLiteral("Link Fail !............");
const QString OnLineText = QStringLiteral("Network On line!...... ");
const QString OffLineText = QStringLiteral("Off Line.......");
const QString ClosedByPeerText = QStringLiteral("  --- Link Fail ---");
const QString StopLoopCaption = QStringLiteral("Stop Loop");
const QString LoopTestCaption = QStringLiteral("Loop Test");
const QString Blank = QStringLiteral(" ");

constexpr int LoopTickMs = 20;
// The counts are shown at most this often while characters stream.
constexpr quint32 VerdictShowMs = 100;

}  // namespace

NetworkTest::NetworkTest(const NetworkView &view, ConverterSocket &Winsock1, WaitContext &waits,
                         MessageBoxes &boxes, QObject *parent)
    : QObject(parent),
      m_view(view),
      m_winsock(Winsock1),
      m_waits(waits),
      m_boxes(boxes),
      m_history(new CommandHistory(view.Text_Tcpip_Send))
{
    m_view.Text_Tcpip_Receive->setKeepLimit(ReceiveKeepLimit);
    m_lastEchoes.setSingleShot(true);
    m_lastEchoes.setInterval(int(LoopVerdict::EchoLimitMs));
    connect(&m_lastEchoes, &QTimer::timeout, this, [this] {
        m_verdict.lose();
        publishVerdict();
    });
}

NetworkTest::~NetworkTest() = default;

bool NetworkTest::portNumber(const QString &text, qint32 *port)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 5)
        return false;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = digits.toInt();
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

void NetworkTest::Com_link_Click()
{
    const quint64 link = ++m_linkGeneration;

    if (m_winsock.State() != ConverterSocket::Closed)
        m_winsock.Close();
    qint32 port = 0;
    if (!portNumber(m_view.Text_Port->text(), &port)) {
        // Nothing to connect to: said at once, without the wait.
        m_view.Tcpip_Status->setText(LinkFailText);
        return;
    }
    m_winsock.setRemoteHost(m_view.Text_IP->text());
    m_winsock.setRemotePort(port);
    m_winsock.Connect();

    Delay(m_waits, 1000);
    // A Link or Release clicked during the wait has taken over; its outcome is the one to show.
    if (link != m_linkGeneration)
        return;
    m_view.Tcpip_Status->setText(LinkingText);
    int state = ConverterSocket::Closed;
    for (;;) {
        m_waits.pump().pumpOnce();
        Delay(m_waits, 100);
        if (link != m_linkGeneration)
            return;
        state = m_winsock.State();
        // Closed or closing: the other side took the connection back before it could be shown
        // as standing.
        if (state == ConverterSocket::Connected || state == ConverterSocket::Error ||
            state == ConverterSocket::Closed || state == ConverterSocket::Closing)
            break;
    }
    if (state != ConverterSocket::Connected) {
        m_view.Tcpip_Status->setText(LinkFailText);
        return;
    }
    m_view.Tcpip_Status->setText(OnLineText);
    m_view.Text_Tcpip_Send->setText(QStringLiteral("$01M"));
    m_view.HScroll1->setValue(Timeouts::LoopDelay);
    m_view.Com_Tcpip_Send->setEnabled(true);
    m_view.Com_Tcpip_Clear->setEnabled(true);
    m_view.Com_loop_Test->setEnabled(true);
    m_view.Com_Tcpip_Stop->setEnabled(true);
}

void NetworkTest::Com_Tcpip_Stop_Click()
{
    ++m_linkGeneration;
    m_winsock.Close();
    m_view.Tcpip_Status->setText(OffLineText);
    m_view.Com_Tcpip_Send->setEnabled(false);
    m_view.Com_Tcpip_Clear->setEnabled(false);
    m_view.Com_loop_Test->setEnabled(false);
}

void NetworkTest::Winsock1_Close()
{
    m_winsock.Close();
    m_view.Tcpip_Status->setText(ClosedByPeerText);
    // Nothing can be sent on a dead link; Clear and Release stay usable.
    m_view.Com_Tcpip_Send->setEnabled(false);
    m_view.Com_loop_Test->setEnabled(false);
}

QString NetworkTest::TCPOutput(const QString &Cmd)
{
    m_winsock.SendData(Cmd);
    return QString();
}

void NetworkTest::Com_Tcpip_Send_Click()
{
    m_view.Text_Tcpip_Receive->setText(Blank);
    const QString command = trimSpaces(m_view.Text_Tcpip_Send->text());
    m_history->record(command);
    // A command that cannot go on the line as it stands goes out not at all, not even its
    // carriage return, and is told as the terminal tells it.
    if (!hasLineBytes(command)) {
        showFormatError(m_boxes);
        return;
    }
    sendConsoleCommand(m_winsock, m_waits, command);
}

void NetworkTest::Com_Tcpip_Clear_Click()
{
    m_view.Text_Tcpip_Send->setText(Blank);
    m_view.Text_Tcpip_Receive->setText(Blank);
}

void NetworkTest::Winsock1_DataArrival(qint32 bytesTotal)
{
    (void)bytesTotal;
    const QString data = m_winsock.GetData();
    m_view.Text_Tcpip_Receive->appendText(data);
    if (m_verdictOpen) {
        m_verdict.received(data, m_waits.now());
        if (m_verdictClosing && !m_verdict.outstanding())
            publishVerdict();
        else
            showVerdict(false);
    }
}

void NetworkTest::Com_loop_Test_Click()
{
    m_loopTestOn = !m_loopTestOn;
    if (m_loopTestOn) {
        m_verdict.start();
        m_verdictOpen = true;
        m_verdictClosing = false;
        m_lastEchoes.stop();
        m_view.Com_loop_Test->setText(StopLoopCaption);
        m_view.Timer_Loop->setInterval(LoopTickMs);
        m_view.Timer_Loop->setEnabled(true);
        m_view.Com_Tcpip_Send->setEnabled(false);
        m_view.Com_Tcpip_Clear->setEnabled(false);
        m_view.Com_Tcpip_Stop->setEnabled(false);
        m_view.HScroll1->setEnabled(true);
        m_view.Frame19->setEnabled(true);
        m_view.Label27->setEnabled(true);
        m_view.Label26->setEnabled(true);
    } else {
        stopLoopTest();
        // A pass still running sends the rest of its text; the counts close when it ends.
        if (!m_passRunning)
            finishVerdict();
    }
}

void NetworkTest::stopLoopTest()
{
    m_loopTestOn = false;
    m_view.Com_loop_Test->setText(LoopTestCaption);
    m_view.Timer_Loop->setEnabled(false);
    m_view.Com_Tcpip_Send->setEnabled(true);
    m_view.Com_Tcpip_Clear->setEnabled(true);
    m_view.Com_Tcpip_Stop->setEnabled(true);
    m_view.Text_Tcpip_Send->setText(Blank);
    m_view.Text_Tcpip_Receive->setText(Blank);
    m_view.HScroll1->setEnabled(false);
    m_view.Frame19->setEnabled(false);
    m_view.Label27->setEnabled(false);
    m_view.Label26->setEnabled(false);
}

bool NetworkTest::linkStands(quint64 link) const
{
    return link == m_linkGeneration && m_winsock.State() == ConverterSocket::Connected;
}

void NetworkTest::Timer_Loop_Timer()
{
    // The connection the pass streams over; a pass never carries on over a newer one.
    const quint64 link = m_linkGeneration;
    m_passRunning = true;
    const auto passEnds = qScopeGuard([this] {
        m_passRunning = false;
        if (!m_loopTestOn)
            finishVerdict();
    });
    if (PatternIndex < 0 || PatternIndex > 31)
        PatternIndex = 0;
    for (;;) {
        m_view.Text_Tcpip_Receive->setText(Blank);
        const QString text = LoopPatterns()[size_t(PatternIndex)];
        m_view.Text_Tcpip_Send->setText(text);
        const bool whole = sendLoopText(
            m_winsock, m_waits, text, [&] { return linkStands(link); },
            [this](QChar c) {
                if (m_verdictOpen) {
                    m_verdict.sent(c, m_waits.now());
                    showVerdict(false);
                }
            },
            // Read afresh after every character: the bar may have moved during the pause.
            [this] { return qint32(m_view.HScroll1->value()); });
        if (!whole) {
            // The connection is gone: the test stops as the stop click would stop it (so it
            // neither streams into nothing nor ticks on), leaving what cannot work on a dead
            // link disabled. The broken text is sent again, whole, at the next start.
            stopLoopTest();
            m_verdict.lose();
            if (m_winsock.State() != ConverterSocket::Connected) {
                m_view.Com_Tcpip_Send->setEnabled(false);
                m_view.Com_loop_Test->setEnabled(false);
            }
            return;
        }
        ++PatternIndex;
        if (m_view.Com_loop_Test->text() == LoopTestCaption || PatternIndex > 31)
            break;
    }
    m_view.Text_Tcpip_Send->setText(Blank);
    m_view.Text_Tcpip_Receive->setText(Blank);
    if (PatternIndex > 31)
        PatternIndex = 0;
}

void NetworkTest::closeConnection()
{
    ++m_linkGeneration;
    m_winsock.Close();
}

void NetworkTest::showVerdict(bool force)
{
    const quint32 at = m_waits.now();
    if (!force && at - m_verdictShownAt < VerdictShowMs)
        return;
    m_verdictShownAt = at;
    const QString summary = m_verdict.summary();
    m_view.Com_loop_Test->setToolTip(summary);
    emit loopStatus(summary);
}

void NetworkTest::finishVerdict()
{
    if (!m_verdictOpen || m_verdictClosing)
        return;
    m_verdict.expire(m_waits.now());
    if (!m_verdict.outstanding()) {
        publishVerdict();
        return;
    }
    // The last characters may still be on their way back.
    m_verdictClosing = true;
    m_lastEchoes.start();
}

void NetworkTest::publishVerdict()
{
    if (!m_verdictOpen)
        return;
    m_verdictOpen = false;
    m_verdictClosing = false;
    m_lastEchoes.stop();
    showVerdict(true);
    emit loopFinished(m_verdict.summary());
}
