#pragma once

#include "shell/platform.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class BusScan;
class CommandLink;
class CommSettings;
class ConverterSocket;
class DioPanel;
class Form1Controls;
class FormTimer;
class ModuleConfig;
class NetworkTest;
class ScanGrid;
class Terminal;
class TrafficFile;
class TrafficLog;
class TrafficMonitor;
class TrafficRecorder;
class WaitContext;

// Completes what the window's design file holds: the texts of combo boxes with no entry selected.
void applyDesignTexts(QWidget *window);

// The one window. Owns the controls (form1.ui and one design file per page after the first),
// the non-visual components and one handler class per subsystem, gives each subsystem its own
// controls, and wires every control's event to its handler and the pages to one another.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    enum class Build {
        // Everything in the constructor.
        Whole,
        // For a window shown at once: the constructor builds the window with its first page, which
        // is all that the first paint shows; the other pages, the subsystems and the wiring follow
        // right after that paint, and in any case before any event other than those of showing
        // and painting is delivered, so no handler and no operator sees the window unfinished.
        PagesAfterFirstPaint,
    };

    explicit Form1(const Platform &platform, QWidget *parent = nullptr, Build build = Build::Whole);
    ~Form1() override;

    // The one serial exchange of the window.
    QString Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT);
    // Sends a text unchanged on the converter connection.
    QString TCPOutput(const QString &Cmd);

    // The window's height in twips (15 twips to the pixel), as the form's Height.
    void setHeightTwips(int twips);
    int heightTwips() const;

    // Closes the port and the connection and ends the program at once.
    void endProgram();

    // The "Traffic" window, made on first use, shown and raised (F2).
    TrafficMonitor *showTrafficMonitor();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend struct WindowProbe;

    void buildPages();
    void buildSubsystems();
    void wireControls();
    void Form_Load();
    // Runs a handler, so that no error escapes into the event loop.
    void guarded(const std::function<void()> &handler);
    // A fault of the serial port that no handler deals with (or a lost line): the operator hears
    // of it once, until the port is opened again.
    void reportLinkFault(const QString &reason);
    void setMonitorStatus(const QString &text);

    Platform m_platform;
    std::unique_ptr<WaitContext> m_waits;
    std::unique_ptr<Form1Controls> m_ui;
    bool m_pagesPending = false;
    bool m_pagesQueued = false;
    std::unique_ptr<ScanGrid> m_grid;
    std::unique_ptr<CommandLink> m_link;
    std::unique_ptr<ConverterSocket> m_winsock;
    FormTimer *m_timerSend = nullptr;
    FormTimer *m_timer1 = nullptr;
    FormTimer *m_timer3 = nullptr;
    FormTimer *m_timerLoop = nullptr;
    std::unique_ptr<CommSettings> m_settings;
    std::unique_ptr<Terminal> m_terminal;
    std::unique_ptr<BusScan> m_scan;
    std::unique_ptr<DioPanel> m_dio;
    std::unique_ptr<ModuleConfig> m_config;
    std::unique_ptr<NetworkTest> m_network;
    std::unique_ptr<TrafficLog> m_trafficLog;
    std::unique_ptr<TrafficRecorder> m_recorder;
    std::unique_ptr<TrafficFile> m_trafficFile;
    TrafficMonitor *m_monitor = nullptr;
    QString m_monitorStatus;
    bool m_faultShown = false;
    bool m_ending = false;
};
