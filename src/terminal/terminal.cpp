#include "terminal/terminal.h"

#include "link/checksum.h"
#include "link/commandlink.h"
#include "link/protocol.h"
#include "link/rtuframe.h"
#include "widgets/commandhistory.h"
#include "widgets/formtimer.h"
#include "widgets/messageboxes.h"
#include "widgets/multilinebox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include <limits>

namespace {

const QString CrLf = QStringLiteral("\r\n");

}  // namespace

Terminal::Terminal(const TerminalView &view, CommandLink &link, MessageBoxes &boxes)
    : m_view(view), m_link(link), m_boxes(boxes), m_history(new CommandHistory(view.Text_Send))
{
}

void Terminal::onLineLost()
{
    if (m_view.Timer_Send->isEnabled())
        stopRepeat();
}

void Terminal::Com_send_Click()
{
    m_history->record(trimSpaces(m_view.Text_Send->text()));
    try {
        m_view.Text_Chksum->setText(QStringLiteral(" "));
        m_view.Text_Rec->setText(QStringLiteral(" "));

        if (m_view.Opt_ASC->isChecked()) {
            const bool withSum = m_view.Check_Chksum->checkState() != Qt::Unchecked;
            // The display shows the sum of the text as typed; Response sends the sum of the
            // upper-cased text, so the two differ for lower-case letters.
            const QString s = trimSpaces(m_view.Text_Send->text());
            m_view.Text_Chksum->setText(withSum ? s + asciiChecksum(s) : QString());

            const QString before = m_view.Text_Rec->text();
            QString command = m_view.Text_Send->text();
            const QString reply = m_link.Response(command, withSum, Timeouts::Terminal);
            m_view.Text_Rec->setText(before + reply + CrLf);
            if (m_view.Text_Rec->text().size() >= m_view.Text_Rec->maxLength())
                m_view.Text_Rec->setText(QString());
        } else {
            const QByteArray frame = BuildRtuFrame(m_view.Text_Send->text());
            m_link.OutputFrame(frame);
            // The reply comes through the receive loop of the OK button, not here.
            m_view.Text_Chksum->setText(m_view.Text_Chksum->text() + hexDump(frame) + CrLf);
        }
    } catch (const std::exception &) {
        // A repeated send fails the same way at every tick (a port that has gone away, a text
        // that cannot be sent): the repeat stops, so the operator gets one message and is not
        // held by a box coming back at every tick.
        if (m_view.Check_Auto->isChecked())
            stopRepeat();
        showFormatError(m_boxes);
    }
}

void Terminal::Text_Send_KeyPress(int &KeyAscii)
{
    if (KeyAscii == 13) {
        KeyAscii = 0;
        Com_send_Click();
    }
}

void Terminal::Com_clr_Click()
{
    m_view.Text_Rec->setText(QStringLiteral(" "));
}

int Terminal::repeatInterval(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return -1;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
    }
    bool ok = false;
    const qlonglong ms = digits.toLongLong(&ok);
    if (!ok || ms < 1 || ms > std::numeric_limits<int>::max())
        return -1;
    return int(ms);
}

void Terminal::Check_Auto_Click()
{
    if (!m_view.Check_Auto->isChecked()) {
        m_view.Text_Time->setEnabled(true);
        m_view.Timer_Send->setEnabled(false);
        return;
    }

    const int ms = repeatInterval(m_view.Text_Time->text());
    if (ms < 0) {
        stopRepeat();
        m_boxes.show(
            QStringLiteral("The auto-send interval must be a whole number of milliseconds, "
                           "from 1 to %1. Correct the mS box and check Auto again.")
                .arg(std::numeric_limits<int>::max()),
            QStringLiteral(" System Message "), MessageBoxes::Exclamation, MessageBoxes::Ok);
        return;
    }
    m_view.Text_Time->setEnabled(false);
    m_view.Timer_Send->setInterval(ms);
    m_view.Timer_Send->setEnabled(true);
}

void Terminal::stopRepeat()
{
    {
        const QSignalBlocker quiet(m_view.Check_Auto);
        m_view.Check_Auto->setChecked(false);
    }
    m_view.Text_Time->setEnabled(true);
    m_view.Timer_Send->setEnabled(false);
}

void Terminal::Timer_Send_Timer()
{
    Com_send_Click();
}
