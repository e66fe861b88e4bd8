#pragma once

#include <QString>

class CommandHistory;
class CommandLink;
class FormTimer;
class MessageBoxes;
class MultiLineBox;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The controls of the terminal page, and the two settings it follows.
struct TerminalView
{
    QLineEdit *Text_Send;
    QPushButton *Com_send;
    QLineEdit *Text_Chksum;
    MultiLineBox *Text_Rec;
    QPushButton *Com_clr;
    QCheckBox *Check_Auto;
    QLineEdit *Text_Time;
    QRadioButton *Opt_ASC;
    QCheckBox *Check_Chksum;
    FormTimer *Timer_Send;
};

// The command terminal: one typed command out, its reply back, optionally repeated.
class Terminal
{
public:
    Terminal(const TerminalView &view, CommandLink &link, MessageBoxes &boxes);

    void Com_send_Click();
    void Text_Send_KeyPress(int &KeyAscii);
    void Com_clr_Click();
    void Check_Auto_Click();
    void Timer_Send_Timer();

    // The window tells the operator of a lost line once; a repeat running on that line stops
    // with it, instead of failing at its next tick with a second message about the same loss.
    void onLineLost();

    // The repeat interval typed in Text_Time: trimmed, decimal digits only, from 1 to the largest
    // interval a timer takes. -1 when the text is not such a number.
    static int repeatInterval(const QString &text);

private:
    void stopRepeat();

    TerminalView m_view;
    CommandLink &m_link;
    MessageBoxes &m_boxes;
    CommandHistory *m_history;  // owned by Text_Send
};
