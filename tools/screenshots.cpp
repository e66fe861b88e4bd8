// Takes the README's pictures of the window. The real window on the real platform, driven through
// its controls' object names, over the bench simulator that scripts/screenshots starts: its modules
// behind COM1, its converter in loop mode on 127.0.0.1.
//
//   mirvel-screenshots OUTPUT_FOLDER CONVERTER_PORT LOG_FILE
//
// LOG_FILE: where the Traffic window logs in its picture; its name shows there.
#include "monitor/trafficmonitor.h"
#include "shell/form1.h"
#include "shell/platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "mirvel-screenshots: %s\n", qPrintable(why));
    std::fflush(nullptr);
    std::_Exit(1);
}

class Driver
{
public:
    Driver(QWidget &window, const QString &folder) : m_window(window), m_folder(folder) {}

    template <class T>
    T *control(const char *name) const
    {
        T *widget = m_window.findChild<T *>(QLatin1String(name));
        if (!widget)
            fail(QStringLiteral("the window has no control %1").arg(QLatin1String(name)));
        return widget;
    }

    QString text(const char *name) const
    {
        return control<QWidget>(name)->property("text").toString();
    }

    void click(const char *name) const
    {
        QAbstractButton *button = control<QAbstractButton>(name);
        if (!button->isEnabled())
            fail(QStringLiteral("%1 is not enabled").arg(QLatin1String(name)));
        button->click();
    }

    void page(const char *name) const
    {
        control<QTabWidget>("SSTab1")->setCurrentWidget(control<QWidget>(name));
        settle();
    }

    void waitFor(const std::function<bool()> &condition, const QString &what) const
    {
        // Only keeps a broken run from hanging; every step normally takes a second or two.
        if (!QTest::qWaitFor(condition, 60000))
            fail(QStringLiteral("gave up waiting for %1").arg(what));
    }

    // Text boxes redraw at most every 50 ms; a little more lets every repaint land.
    static void settle() { QTest::qWait(300); }

    void save(const QString &name) const { save(name, m_window); }
    void save(const QString &name, QWidget &shown) const
    {
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        if (!shown.grab().save(path))
            fail(QStringLiteral("could not write %1").arg(path));
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
    }

    int gridRowOf(const QString &address) const
    {
        const QTableWidget *grid = control<QTableWidget>("MSFlexGrid1");
        for (int row = 1; row < grid->rowCount(); ++row) {
            const QTableWidgetItem *cell = grid->item(row, 0);
            if (cell && cell->text() == address)
                return row;
        }
        return -1;
    }

private:
    QWidget &m_window;
    QString m_folder;
};

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4)
        fail(QStringLiteral("usage: mirvel-screenshots OUTPUT_FOLDER CONVERTER_PORT LOG_FILE"));
    const QString folder = args.at(1);
    const QString converterPort = args.at(2);
    const QString logFile = args.at(3);
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot make %1").arg(folder));

    // The program's own font, so the pictures show what an operator sees.
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);

    RealPlatform real;
    Form1 window(real.platform(nullptr));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        fail(QStringLiteral("the window never showed"));
    Driver d(window, folder);

    // A message box would wait for a click that never comes: say what it asked and stop.
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            const auto *box = qobject_cast<QMessageBox *>(modal);
            fail(QStringLiteral("a message box came up: %1")
                     .arg(box ? box->text() : modal->windowTitle()));
        }
    });
    boxWatch.start(100);

    // Setting: COM1 at 9600, ASCII, no checksum, opened on the simulator's line.
    d.page("SSTab1Page0");
    if (d.control<QComboBox>("LISTCOM")->currentText() != QLatin1String("COM1") ||
        d.control<QComboBox>("LISTRATE")->currentText() != QLatin1String("9600"))
        fail(QStringLiteral("the window did not start at COM1, 9600"));
    d.control<QRadioButton>("Opt_ASC")->setChecked(true);
    d.control<QCheckBox>("Check_Chksum")->setChecked(false);
    d.click("Com_Set_Ok");
    d.waitFor([&] { return d.control<QWidget>("Com_Scan_OK")->isEnabled(); },
              QStringLiteral("COM1 to open"));
    Driver::settle();
    d.save(QStringLiteral("setting"));

    // Termial: module 01 asked for its name.
    d.page("SSTab1Page1");
    d.control<QLineEdit>("Text_Send")->setText(QStringLiteral("$01M"));
    d.click("Com_send");
    d.waitFor([&] { return !d.text("Text_Rec").isEmpty(); },
              QStringLiteral("the reply of module 01"));
    Driver::settle();
    d.save(QStringLiteral("terminal"));

    // TCP/IP: linked to the simulated converter, a loop test under way. The address is typed in
    // first: the window's own address is a real one.
    d.page("SSTab1Page3");
    d.control<QLineEdit>("Text_IP")->setText(QStringLiteral("127.0.0.1"));
    d.control<QLineEdit>("Text_Port")->setText(converterPort);
    if (d.text("Text_IP") != QLatin1String("127.0.0.1"))
        fail(QStringLiteral("the converter address did not take"));
    d.click("Com_link");
    d.waitFor([&] { return d.control<QWidget>("Com_loop_Test")->isEnabled(); },
              QStringLiteral("the link to 127.0.0.1:%1").arg(converterPort));
    // The loop test's tick runs the whole pass in nested waits, so the picture is taken from a
    // timer inside them, and the stop clicked there too.
    bool taken = false;
    QTimer::singleShot(3000, [&] {
        d.save(QStringLiteral("tcpip"));
        taken = true;
        d.click("Com_loop_Test");
    });
    d.click("Com_loop_Test");
    d.waitFor([&] { return taken && d.text("Com_loop_Test") == QLatin1String("Loop Test"); },
              QStringLiteral("the loop test to stop"));
    // The traffic monitor after the loop test: its last characters and the final counts.
    TrafficMonitor *monitor = window.showTrafficMonitor();
    d.waitFor([&] { return monitor->status().startsWith(QLatin1String("Loop test:")); },
              QStringLiteral("the loop test's counts"));
    Driver::settle();
    d.save(QStringLiteral("monitor-loop"), *monitor);
    d.click("Com_Tcpip_Stop");
    monitor->hide();

    // Help.
    d.page("SSTab1Page4");
    d.save(QStringLiteral("help"));

    // Scan: the modules at 9600 without checksum found, the scan stopped past them, and the E47
    // at 04 taken up with two of its outputs switched on. Last, because taking up a module grows
    // the window.
    d.page("SSTab1Page2");
    monitor->findChild<QAbstractButton *>(QStringLiteral("monitorClear"))->click();
    d.click("Com_Scan_OK");
    d.waitFor([&] { return d.gridRowOf(QStringLiteral("07")) > 0; },
              QStringLiteral("the scan to reach 07"));
    // The monitor during the scan: the queries, the answers, and the progress in its status line.
    window.showTrafficMonitor();
    Driver::settle();
    d.save(QStringLiteral("monitor-scan"), *monitor);
    // Then logging to a file for a while, the file and its size beside the progress.
    monitor->chooseFile = [&](TrafficMonitor::FileUse) { return logFile; };
    monitor->findChild<QAbstractButton *>(QStringLiteral("monitorLog"))->click();
    d.waitFor([&] { return QFileInfo(logFile).size() > 2000; }, QStringLiteral("the log to grow"));
    Driver::settle();
    d.save(QStringLiteral("monitor-log"), *monitor);
    monitor->findChild<QAbstractButton *>(QStringLiteral("monitorLog"))->click();
    monitor->hide();
    if (d.text("Com_Scan_OK") == QLatin1String("Stop"))
        d.click("Com_Scan_OK");
    d.waitFor([&] { return d.text("Com_Scan_OK") != QLatin1String("Stop"); },
              QStringLiteral("the scan to stop"));
    const int row = d.gridRowOf(QStringLiteral("04"));
    if (row < 0)
        fail(QStringLiteral("module 04 is not in the grid"));
    d.control<QTableWidget>("MSFlexGrid1")->setCurrentCell(row, 0);
    d.click("Com_Configuration");
    d.click("Com_DO0");
    d.click("Com_DO2");
    Driver::settle();
    d.save(QStringLiteral("scan"));

    // A Modbus RTU session: OK stays in the receive loop, so the frame is sent, the monitor looked
    // at and ASCII chosen again (which ends the loop) from timers inside it.
    d.page("SSTab1Page1");
    monitor->findChild<QAbstractButton *>(QStringLiteral("monitorClear"))->click();
    d.control<QRadioButton>("Opt_RTU")->setChecked(true);
    QTimer::singleShot(500, [&] {
        d.click("Com_send");
        QTimer::singleShot(700, [&] {
            d.click("Com_send");
            QTimer::singleShot(1000, [&] {
                window.showTrafficMonitor();
                Driver::settle();
                d.save(QStringLiteral("monitor-rtu"), *monitor);
                d.control<QRadioButton>("Opt_ASC")->setChecked(true);
            });
        });
    });
    d.click("Com_Set_Ok");
    return 0;
}
