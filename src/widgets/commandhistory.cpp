#include "widgets/commandhistory.h"

#include <QKeyEvent>
#include <QLineEdit>

CommandHistory::CommandHistory(QLineEdit *box) : QObject(box), m_box(box)
{
    box->installEventFilter(this);
}

void CommandHistory::record(const QString &command)
{
    if (!command.isEmpty() && (m_commands.isEmpty() || m_commands.constLast() != command)) {
        m_commands << command;
        if (m_commands.size() > MaxCommands)
            m_commands.removeFirst();
    }
    m_position = int(m_commands.size());
    m_draft.clear();
}

bool CommandHistory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CommandHistory::step(int direction)
{
    const int next = m_position + direction;
    if (next < 0 || next > m_commands.size())
        return;
    if (m_position == m_commands.size())
        m_draft = m_box->text();
    m_position = next;
    m_box->setText(m_position == m_commands.size() ? m_draft : m_commands.at(m_position));
}
