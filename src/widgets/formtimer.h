#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// A timer of the form: an interval in milliseconds and an on/off switch. Interval 0 never ticks.
// Ticks keep the beat set when the timer was started; a tick that falls due while the previous
// tick's handler is still running (inside one of its waits) is skipped, so ticks never nest, and
// the timer does not even wake the program for it.
class FormTimer : public QObject
{
    Q_OBJECT
public:
    explicit FormTimer(const QString &name, QObject *parent = nullptr);

    void setInterval(int ms);
    int interval() const { return m_interval; }
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    std::function<void()> onTick;

private:
    friend struct TimerProbe;  // tests tick the timer on their own clock
    void fire();
    void apply();

    QTimer m_timer;  // single shot, armed for the next tick that is due
    QElapsedTimer m_clock;
    qint64 m_due = 0;       // when the tick now armed falls due, on m_clock
    quint64 m_armings = 0;  // counts the starts and stops, so a tick sees one made meanwhile
    int m_interval = 0;
    bool m_enabled = false;
    bool m_inTick = false;
};
