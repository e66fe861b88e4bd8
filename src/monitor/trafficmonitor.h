#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QListView;
class QPushButton;
class TrafficLog;
class TrafficModel;

// The "Traffic" window: the newest entries of the log, as text or hexadecimal, with Pause, Clear
// and Copy, and a status line for what runs (a scan's progress, the loop test's counts).
class TrafficMonitor : public QWidget
{
    Q_OBJECT
public:
    explicit TrafficMonitor(TrafficLog &log, QWidget *parent = nullptr);

    void setStatus(const QString &text);
    QString status() const;

    // The lines now shown, all or only the selected ones, as they go to the clipboard.
    QString copiedText();

    static constexpr int RefreshMs = 100;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();

    TrafficLog &m_log;
    TrafficModel *m_model;
    QListView *m_view;
    QPushButton *m_pause;
    QCheckBox *m_hex;
    QLabel *m_status;
    QTimer m_refresh;
};
