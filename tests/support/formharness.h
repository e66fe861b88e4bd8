#pragma once

#include "shell/form1.h"
#include "support/fakes.h"
#include "ui_form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <memory>

// The real window on fake seams: a fake clock and pump, a scripted port, scripted message boxes.
// Exit and the close box are recorded instead of ending the test.
struct FormHarness
{
    FakeTime time;
    FakeCommPort port{&time};
    FakeMessageBoxes boxes;
    int endRequests = 0;
    std::unique_ptr<Form1> form;

    explicit FormHarness(quint32 startTick = 1000) : time(startTick)
    {
        Platform platform;
        platform.port = &port;
        platform.clock = &time;
        platform.pump = &time;
        platform.boxes = &boxes;
        platform.endProgram = [this] { ++endRequests; };
        form = std::make_unique<Form1>(platform);
    }

    Ui::Form1 *ui() const { return form->ui(); }

    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        return form->findChild<T *>(name);
    }

    void click(const QString &name) const
    {
        auto *button = find<QAbstractButton>(name);
        QVERIFY2(button, qPrintable(name));
        button->click();
    }
};
