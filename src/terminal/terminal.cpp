#include "terminal/terminal.h"

#include "link/checksum.h"
#include "link/commport.h"
#include "link/rtuframe.h"
#include "shell/form1.h"
#include "shell/formtimer.h"
#include "shell/messageboxes.h"
#include "ui_form1.h"

#include <QSignalBlocker>

#include <limits>

namespace {

const QString CrLf = QStringLiteral("\r\n");

}  // namespace

Terminal::Terminal(Form1 &form) : m_form(form)
{
    // The window tells the operator of a lost line once; a repeat running on that line stops
    // with it, instead of failing at its next tick with a second message about the same loss.
    QObject::connect(&m_form.MSComm1(), &CommPort::lineLost, &m_form, [this] {
        if (m_form.Timer_Send()->isEnabled())
            stopRepeat();
    });
}

void Terminal::Com_send_Click()
{
    Ui::Form1 *ui = m_form.ui();
    try {
        ui->Text_Chksum->setText(QStringLiteral(" "));
        ui->Text_Rec->setText(QStringLiteral(" "));

        if (ui->Opt_ASC->isChecked()) {
            const bool withSum = ui->Check_Chksum->checkState() != Qt::Unchecked;
            // The display shows the sum of the text as typed; Response sends the sum of the
            // upper-cased text, so the two differ for lower-case letters.
            const QString s = trimSpaces(ui->Text_Send->text());
            ui->Text_Chksum->setText(withSum ? s + asciiChecksum(s) : QString());

            const QString before = ui->Text_Rec->text();
            QString command = ui->Text_Send->text();
            const QString reply = m_form.Response(command, withSum, 200);
            ui->Text_Rec->setText(before + reply + CrLf);
            if (ui->Text_Rec->text().size() >= ui->Text_Rec->maxLength())
                ui->Text_Rec->setText(QString());
        } else {
            m_form.BuildRtuFrame();
            // A copy: the scan may build its own frame while this one is on its way.
            const QByteArray frame = m_form.rtu().RtuFrame;
            m_form.MSComm1().output(frame);
            // The reply comes through the receive loop of the OK button, not here.
            ui->Text_Chksum->setText(ui->Text_Chksum->text() + hexDump(frame) + CrLf);
        }
    } catch (const std::exception &) {
        // A repeated send fails the same way at every tick (a port that has gone away, a text
        // that cannot be sent): the repeat stops, so the operator gets one message and is not
        // held by a box coming back at every tick.
        if (ui->Check_Auto->isChecked())
            stopRepeat();
        m_form.boxes().show(QStringLiteral("Data format error !"),
                            QStringLiteral(" Syntax description error "), MessageBoxes::Exclamation,
                            MessageBoxes::Ok);
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
    m_form.ui()->Text_Rec->setText(QStringLiteral(" "));
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
    Ui::Form1 *ui = m_form.ui();
    if (!ui->Check_Auto->isChecked()) {
        ui->Text_Time->setEnabled(true);
        m_form.Timer_Send()->setEnabled(false);
        return;
    }

    const int ms = repeatInterval(ui->Text_Time->text());
    if (ms < 0) {
        stopRepeat();
        m_form.boxes().show(
            QStringLiteral("The auto-send interval must be a whole number of milliseconds, "
                           "from 1 to %1. Correct the mS box and check Auto again.")
                .arg(std::numeric_limits<int>::max()),
            QStringLiteral(" System Message "), MessageBoxes::Exclamation, MessageBoxes::Ok);
        return;
    }
    ui->Text_Time->setEnabled(false);
    m_form.Timer_Send()->setInterval(ms);
    m_form.Timer_Send()->setEnabled(true);
}

void Terminal::stopRepeat()
{
    Ui::Form1 *ui = m_form.ui();
    {
        const QSignalBlocker quiet(ui->Check_Auto);
        ui->Check_Auto->setChecked(false);
    }
    ui->Text_Time->setEnabled(true);
    m_form.Timer_Send()->setEnabled(false);
}

void Terminal::Timer_Send_Timer()
{
    Com_send_Click();
}
