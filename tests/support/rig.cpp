#include "support/rig.h"

#include "link/clock.h"
#include "link/waits.h"
#include "widgets/multilinebox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QRadioButton>

QStringList FakeMessageBoxes::texts() const
{
    QStringList list;
    for (const Box &box : shown)
        list << box.text;
    return list;
}

Window::Window(Form1::Build build) : time(std::make_unique<FakeTime>())
{
    usePrivateRuntimeDir();
    fakePort = std::make_unique<FakeCommPort>(time.get());
    this->build(*fakePort, *time, *time, build);
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

void Window::build(CommPort &port, Clock &clock, EventPump &pump, Form1::Build build)
{
    m_form = std::make_unique<Form1>(
        Platform{&port, &clock, &pump, &boxes, [this] { ++endRequests; }}, nullptr, build);
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

void Window::open(int rateIndex, bool rtu)
{
    w<QComboBox>(QStringLiteral("LISTCOM"))->setCurrentIndex(0);
    w<QComboBox>(QStringLiteral("LISTRATE"))->setCurrentIndex(rateIndex);
    w<QRadioButton>(rtu ? QStringLiteral("Opt_RTU") : QStringLiteral("Opt_ASC"))->setChecked(true);
    click(QStringLiteral("Com_Set_Ok"));
}
