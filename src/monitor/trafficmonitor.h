#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class MessageBoxes;
class QCheckBox;
class QLabel;
class QListView;
class QPushButton;
class QThread;
class TrafficFile;
class TrafficLog;
class TrafficModel;

// The "Traffic" window: the newest entries of the log, as text or hexadecimal, with Pause, Clear,
// Copy and Save, the log to a file switched on and off, and a status line for what runs (a scan's
// progress, the loop test's counts) and for the log file.
class TrafficMonitor : public QWidget
{
    Q_OBJECT
public:
    // file: the log that Log to file opens; it belongs to the record, so it goes on writing while
    // this window is closed.
    TrafficMonitor(TrafficLog &log, TrafficFile &file, MessageBoxes &boxes,
                   QWidget *parent = nullptr);
    ~TrafficMonitor() override;

    void setStatus(const QString &text);
    QString status() const;

    // The lines now shown, all or only the selected ones, as they go to the clipboard.
    QString copiedText();

    // The file the operator picks, for Save or for Log to file; empty when none was picked. A
    // file dialog unless replaced (the tests give the name).
    enum class FileUse { Save, Log };
    std::function<QString(FileUse)> chooseFile;

    static constexpr int RefreshMs = 100;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();
    QList<int> selectedRows() const;
    void save();
    void setLogging(bool on);
    void logFailed(const QString &message);
    void showFileStatus();

    TrafficLog &m_log;
    TrafficFile &m_file;
    MessageBoxes &m_boxes;
    TrafficModel *m_model;
    QListView *m_view;
    QPushButton *m_pause;
    QPushButton *m_save;
    QCheckBox *m_hex;
    QCheckBox *m_logging;
    QLabel *m_status;
    QLabel *m_fileStatus;
    QString m_saved;  // what the last save did
    QThread *m_saving = nullptr;
    QTimer m_refresh;
};
