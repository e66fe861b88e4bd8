#pragma once

#include <QString>

class QWidget;

// Modal message boxes: text, title, icon and buttons in, the button pressed out.
class MessageBoxes
{
public:
    enum Icon { Critical, Exclamation, Information, Question };
    enum Buttons { Ok, OkCancel, OkCancelHelp };
    enum Answer { AnswerOk, AnswerCancel, AnswerHelp };

    virtual ~MessageBoxes() = default;
    virtual Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons) = 0;
};

class QtMessageBoxes : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget *parent) : m_parent(parent) {}
    Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons) override;

private:
    QWidget *m_parent;
};

// "Open Communication Port Error " titled " System Message ": a port that would not open, from the
// settings or from a scan that reopens the port.
void showPortError(MessageBoxes &boxes);

// "Data format error !" titled " Syntax description error ": a command that cannot be put on the
// line as it stands (a character with no single-byte code, a malformed Modbus token), wherever it
// was typed.
void showFormatError(MessageBoxes &boxes);
