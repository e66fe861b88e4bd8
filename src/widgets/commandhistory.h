#pragma once

#include <QObject>
#include <QStringList>

class QLineEdit;

// The commands sent from one box in this run, newest last, as a terminal keeps them: Up and Down
// in the box step through them, and stepping past the newest gives back what was being typed.
// Nothing is kept between runs.
class CommandHistory : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxCommands = 50;

    explicit CommandHistory(QLineEdit *box);

    // A command has been sent from the box; a repeat of the newest is kept once.
    void record(const QString &command);
    const QStringList &commands() const { return m_commands; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void step(int direction);

    QLineEdit *m_box;
    QStringList m_commands;
    int m_position = 0;  // m_commands.size(): not in the history, the draft is shown
    QString m_draft;
};
