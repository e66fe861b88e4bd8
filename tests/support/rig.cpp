#include "support/rig.h"

#include "link/clock.h"
#include "link/formtimer.h"
#include "link/multilinebox.h"
#include "link/waits.h"
#include "network/convertersocket.h"
#include "scan/busscan.h"
#include "scan/scangrid.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

void usePrivateRuntimeDir()
{
    static QTemporaryDir dir;
    static const bool set = [] {
        qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
        return QDir(dir.path()).mkpath(QStringLiteral("mirvel"));
    }();
    Q_UNUSED(set);
}

BusScan &WindowProbe::scan(Form1 &form)
{
    return *form.m_scan;
}

ScanGrid &WindowProbe::grid(Form1 &form)
{
    return *form.m_grid;
}

ConverterSocket &WindowProbe::socket(Form1 &form)
{
    return *form.m_winsock;
}

void TimerProbe::fire(FormTimer &timer)
{
    timer.fire();
}

FakeLink::FakeLink()
{
    usePrivateRuntimeDir();
    WaitContext::install(&time, &time);
    WaitContext::ending() = false;
    port.setPortOpen(true);
}

void FakeLink::answer(std::function<QString(const QString &)> reply)
{
    port.responder = [reply](const QByteArray &written, const QString &) {
        return reply(QString::fromLatin1(written).chopped(1)).toLatin1();
    };
}

QStringList FakeLink::sent() const
{
    QStringList lines = port.written();
    for (QString &line : lines)
        line.remove(u'\r');
    return lines;
}

Window::Window()
{
    usePrivateRuntimeDir();
    time = std::make_unique<FakeTime>();
    fakePort = std::make_unique<FakeCommPort>(time.get());
    build(*fakePort, *time, *time);
}

Window::Window(const QList<SimModuleSettings> &modules)
{
    usePrivateRuntimeDir();
    sim = std::make_unique<SimBench>();
    for (const SimModuleSettings &m : modules)
        sim->addModule(m);
    QString error;
    if (!sim->startSerial(1, true, &error))
        qFatal("no pseudo-terminal: %s", qPrintable(error));
    m_serial = std::make_unique<SerialCommPort>();
    m_clock = std::make_unique<SteadyClock>();
    m_pump = std::make_unique<QtEventPump>();
    build(*m_serial, *m_clock, *m_pump);
}

Window::~Window()
{
    // The window closes its port before the line behind it goes.
    m_form.reset();
}

void Window::build(CommPort &port, Clock &clock, EventPump &pump)
{
    WaitContext::ending() = false;
    Platform platform;
    platform.port = &port;
    platform.clock = &clock;
    platform.pump = &pump;
    platform.boxes = &boxes;
    platform.endProgram = [this] { ++endRequests; };
    m_form = std::make_unique<Form1>(platform);
}

CommPort &Window::port() const
{
    return fakePort ? static_cast<CommPort &>(*fakePort) : *m_serial;
}

void Window::click(const QString &name) const
{
    w<QAbstractButton>(name)->click();
}

QString Window::text(const QString &name) const
{
    QWidget *control = w(name);
    if (auto *box = qobject_cast<MultiLineBox *>(control))
        return box->text();
    if (auto *list = qobject_cast<QComboBox *>(control))
        return list->currentText();
    return control->property("text").toString();
}

void Window::setText(const QString &name, const QString &text) const
{
    QWidget *control = w(name);
    if (auto *box = qobject_cast<MultiLineBox *>(control))
        box->setText(text);
    else
        control->setProperty("text", text);
}

void Window::tick(const QString &timerName) const
{
    auto *timer = m_form->findChild<FormTimer *>(timerName);
    if (!timer)
        qFatal("no timer %s", qPrintable(timerName));
    TimerProbe::fire(*timer);
}

void Window::open(int rateIndex, bool rtu)
{
    w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(0);
    w<QComboBox>(QStringLiteral("LISTRATE"))->setCurrentIndex(rateIndex);
    w<QRadioButton>(rtu ? QStringLiteral("Opt_RTU") : QStringLiteral("Opt_ASC"))->setChecked(true);
    click(QStringLiteral("Com_Set_Ok"));
}

void Window::select(int row, int col) const
{
    WindowProbe::grid(*m_form).setCurrentCell(row, col);
}
