#pragma once

#include "shell/platform.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class Form1;
}

class CommSettings;
class CommandExchange;
class FormTimer;
class RtuFramer;
class ScanGrid;
class Terminal;
class BusScan;
class DioPanel;
class ModuleConfig;
class NetworkTest;

// Completes what the window's design file holds: the texts of combo boxes with no entry selected.
void applyDesignTexts(QWidget *window);

// The one window. Owns the controls (form1.ui), the non-visual components and one handler class
// per subsystem, and wires every control's event to its handler.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(const Platform &platform, QWidget *parent = nullptr);
    ~Form1() override;

    // The one serial exchange of the window.
    QString Response(QString &Send_Data, const bool &CHK_SUM, const qint32 &TT);
    // Sends a text unchanged on the converter connection.
    QString TCPOutput(const QString &Cmd);
    // Turns the text of Text_Send into the frame RtuFrame (throws FormatError on a bad token).
    void BuildRtuFrame();

    Ui::Form1 *ui() const { return m_ui.get(); }
    const Platform &platform() const { return m_platform; }
    CommPort &MSComm1() const { return *m_platform.port; }
    MessageBoxes &boxes() const { return *m_platform.boxes; }
    ScanGrid &MSFlexGrid1() const { return *m_grid; }
    RtuFramer &rtu() const { return *m_rtu; }
    FormTimer *Timer_Send() const { return m_timerSend; }
    FormTimer *Timer1() const { return m_timer1; }
    FormTimer *Timer3() const { return m_timer3; }
    FormTimer *Timer_Loop() const { return m_timerLoop; }

    CommSettings &settings() const { return *m_settings; }
    Terminal &terminal() const { return *m_terminal; }
    BusScan &scan() const { return *m_scan; }
    DioPanel &dio() const { return *m_dio; }
    ModuleConfig &config() const { return *m_config; }
    NetworkTest &network() const { return *m_network; }

    // The window's height in twips (15 twips to the pixel), as the form's Height.
    void setHeightTwips(int twips);
    int heightTwips() const;

    // Closes the port and the connection and ends the program at once.
    void endProgram();

    // A fault of the serial port that no handler deals with (or a lost line): the operator hears
    // of it once, until the port is opened again.
    void reportLinkFault(const QString &reason);
    void clearLinkFault();

    // Runs a handler, so that no error escapes into the event loop.
    void guarded(const std::function<void()> &handler);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wireControls();
    void Form_Load();

    Platform m_platform;
    std::unique_ptr<Ui::Form1> m_ui;
    std::unique_ptr<ScanGrid> m_grid;
    std::unique_ptr<RtuFramer> m_rtu;
    std::unique_ptr<CommandExchange> m_exchange;
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
    bool m_faultShown = false;
    bool m_ending = false;
};
