#pragma once
// The core's fixtures, without a widget: a fake clock and event pump, a scripted serial port,
// and the command link over them.

#include "link/clock.h"
#include "link/commandlink.h"
#include "link/commport.h"
#include "link/eventpump.h"
#include "link/waits.h"

#include <QList>
#include <QStringList>
#include <QTest>

#include <functional>
#include <map>

// A clock and an event pump in one: time moves only when a wait blocks, and then jumps to the
// next scheduled action (a reply arriving, the operator clicking) or the wait's deadline.
class FakeTime : public Clock, public EventPump
{
public:
    explicit FakeTime(quint32 start = 1000) : m_now(start) {}

    quint32 tickCount() const override { return m_now; }
    void pumpOnce() override;
    void waitForEvents(qint64 maxMs) override;
    // Runs fn once the clock has reached now + ms (during a wait, or the next pump).
    void at(quint32 ms, std::function<void()> fn) { m_actions.emplace(m_elapsed + ms, fn); }
    void advance(quint32 ms) { moveTo(m_elapsed + ms); }

    bool processQtEvents = false;  // also run Qt's own events (sockets, queued signals) on a pump

private:
    void moveTo(quint64 elapsed);

    quint32 m_now;
    quint64 m_elapsed = 0;  // m_now without the wrap, for ordering
    std::multimap<quint64, std::function<void()>> m_actions;
};

// A serial port that records every write and answers from a script, replyDelay ms later.
class FakeCommPort : public CommPort
{
public:
    explicit FakeCommPort(FakeTime *time) : m_time(time) {}

    void setCommPort(int number) override { m_number = number; }
    int commPort() const override { return m_number; }
    void setSettings(const QString &settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool portOpen() const override { return m_open; }
    void setInputMode(int mode) override { m_inputMode = mode; }
    int inputMode() const override { return m_inputMode; }
    void clearInput() override { readBytes(); }

    void receive(const QByteArray &bytes);  // arrives now, as if the module had sent it
    void hangUp();                          // the port closes and says so once

    // The reply to each write (empty: silence), given what was written and the settings in use.
    std::function<QByteArray(const QByteArray &written, const QString &settings)> responder;
    quint32 replyDelay = 5;
    bool failOpen = false;

    struct Write
    {
        QByteArray bytes;
        QString settings;
        quint32 at;
    };
    QList<Write> writes;
    QStringList openedWith;  // the settings of every successful open
    QStringList written() const;

protected:
    void openPort() override;
    void closePort() override;
    void writeBytes(const QByteArray &bytes) override;
    QByteArray readBytes() override;

private:
    FakeTime *m_time;
    int m_number = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_inputMode = 0;
    bool m_open = false;
    QByteArray m_inbox;
    quint64 m_generation = 0;  // replies on their way when the port closes never arrive
};

// The value of a column of the present data row, where QFETCH's declaration would not fit.
template <typename T>
T row(const char *column)
{
    return *static_cast<T *>(QTest::qData(column, qMetaTypeId<T>()));
}

// The rows of a data-driven test as one column "row" of a struct with named fields, the row's
// name first.
template <typename Row>
void addRows(std::initializer_list<Row> rows)
{
    QTest::addColumn<Row>("row");
    for (const Row &r : rows)
        QTest::newRow(r.name) << r;
}

// Port links (COMn) go to a private runtime folder, never to the operator's own.
void usePrivateRuntimeDir();

// The command link over the fake port and the fake clock, the port open at 9600.
struct FakeLink
{
    FakeTime time;
    FakeCommPort port{&time};
    WaitContext waits{time, time};
    CommandLink link{port, waits};

    FakeLink();
    // Modules that answer: the reply to each command line (without its carriage return).
    void answer(std::function<QString(const QString &command)> reply);
    QStringList sent() const;  // every line written, carriage returns removed
};
