#pragma once

#include "link/clock.h"
#include "link/commport.h"
#include "link/eventpump.h"
#include "shell/messageboxes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

// A clock and an event pump in one: time moves only when a wait blocks, and then jumps to the
// next scheduled action or the wait's deadline. Scheduled actions stand in for everything that
// happens "meanwhile": replies arriving, the operator clicking.
class FakeTime : public Clock, public EventPump
{
public:
    explicit FakeTime(quint32 start = 1000) : m_now(start) {}

    quint32 tickCount() const override { return m_now; }
    void pumpOnce() override;
    void waitForEvents(qint64 maxMs) override;

    // Runs fn once the clock has reached now + afterMs (during a wait, or the next pump).
    void at(quint32 afterMs, std::function<void()> fn);
    void advance(quint32 ms);
    void set(quint32 now) { m_now = now; }

    int pumps = 0;
    int waits = 0;
    // A wait with no deadline and nothing scheduled would never end in a test.
    std::function<void()> onIdleForever;
    // Also run Qt's own pending events on every pump (for window tests).
    bool processQtEvents = false;

private:
    void runDue();

    quint32 m_now;
    quint64 m_elapsed = 0;  // m_now without the wrap, for ordering
    std::multimap<quint64, std::function<void()>> m_actions;
};

// A serial port that records every byte written and answers from a script.
class FakeCommPort : public CommPort
{
public:
    explicit FakeCommPort(FakeTime *time = nullptr) : m_time(time) {}

    struct Write
    {
        QByteArray bytes;
        QString settings;
        int inputMode;
        quint32 at;
    };

    void setCommPort(int number) override { m_number = number; }
    int commPort() const override { return m_number; }
    void setSettings(const QString &settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override;
    void setInputMode(int mode) override { m_inputMode = mode; }
    int inputMode() const override { return m_inputMode; }
    void clearInput() override;
    void output(const QByteArray &bytes) override;
    QByteArray input() override;

    // Bytes that arrive now, as if the module had sent them.
    void receive(const QByteArray &bytes) { m_inbox += bytes; }
    // The answer to a written command: given the bytes written and the settings, the reply (empty:
    // silence) and its delay in milliseconds.
    std::function<QByteArray(const QByteArray &written, const QString &settings)> responder;
    quint32 replyDelay = 5;
    // Makes the next opens fail (true) or succeed (false).
    bool failOpen = false;
    // Simulates the far end going away: the port closes and reports it once.
    void hangUp(const QString &reason = QStringLiteral("line lost"));

    QList<Write> writes;
    QStringList openedWith;  // the settings of every successful open
    int opens = 0;
    int closes = 0;
    QStringList writtenTexts() const;

private:
    FakeTime *m_time;
    int m_number = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_inputMode = 0;
    bool m_open = false;
    QByteArray m_inbox;
    quint64 m_generation = 0;  // replies scheduled before a close never arrive after it
};

// Message boxes answered from a script; records every box asked for.
class FakeMessageBoxes : public MessageBoxes
{
public:
    struct Box
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    Answer show(const QString &text, const QString &title, Icon icon, Buttons buttons) override;

    QList<Box> shown;
    QList<Answer> answers;  // taken in order; AnswerOk once they run out
    std::function<void(const Box &)> onShow;
};
