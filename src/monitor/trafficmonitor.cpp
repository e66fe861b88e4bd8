#include "monitor/trafficmonitor.h"

#include "monitor/trafficfile.h"
#include "monitor/trafficmodel.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString Title = QStringLiteral("Traffic");

}  // namespace

TrafficMonitor::TrafficMonitor(TrafficLog &log, TrafficFile &file, MessageBoxes &boxes,
                               QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_log(log),
      m_file(file),
      m_boxes(boxes),
      m_model(new TrafficModel(log, this)),
      m_view(new QListView(this)),
      m_pause(new QPushButton(QStringLiteral("Pause"), this)),
      m_save(new QPushButton(QStringLiteral("Save…"), this)),
      m_hex(new QCheckBox(QStringLiteral("Hex"), this)),
      m_logging(new QCheckBox(QStringLiteral("Log to file"), this)),
      m_status(new QLabel(this)),
      m_fileStatus(new QLabel(this))
{
    setObjectName(QStringLiteral("TrafficMonitor"));
    setWindowTitle(Title);
    resize(760, 420);

    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pause->setObjectName(QStringLiteral("monitorPause"));
    m_pause->setCheckable(true);
    m_save->setObjectName(QStringLiteral("monitorSave"));
    m_hex->setObjectName(QStringLiteral("monitorHex"));
    m_logging->setObjectName(QStringLiteral("monitorLog"));
    m_logging->setChecked(m_file.isOpen());
    m_status->setObjectName(QStringLiteral("monitorStatus"));
    m_fileStatus->setObjectName(QStringLiteral("monitorFileStatus"));
    // The file's name and size take what they need of the status line, the progress the rest;
    // a long path or text is cut, it never widens the window.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_fileStatus->setMinimumWidth(1);
    m_fileStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("monitorClear"));
    auto *copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("monitorCopy"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pause);
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addWidget(m_save);
    buttons->addWidget(m_hex);
    buttons->addWidget(m_logging);
    buttons->addStretch();
    auto *statusLine = new QHBoxLayout;
    statusLine->addWidget(m_status, 1);
    statusLine->addWidget(m_fileStatus);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_view);
    layout->addLayout(statusLine);

    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        if (!paused)
            refresh();
    });
    connect(clear, &QPushButton::clicked, &m_log, &TrafficLog::clear);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(copiedText()); });
    connect(m_save, &QPushButton::clicked, this, &TrafficMonitor::save);
    connect(m_hex, &QCheckBox::toggled, m_model, &TrafficModel::setHex);
    connect(m_hex, &QCheckBox::toggled, &m_file, &TrafficFile::setHex);
    connect(m_logging, &QCheckBox::toggled, this, &TrafficMonitor::setLogging);
    connect(&m_file, &TrafficFile::failed, this, &TrafficMonitor::logFailed);
    // The view follows the log at most a few times a second, only while it is shown, and only
    // when something came: recording costs a line in a list, not a redraw, and a window with
    // nothing arriving costs nothing.
    m_refresh.setInterval(RefreshMs);
    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, &TrafficMonitor::refresh);
    connect(&m_log, &TrafficLog::added, this, [this] {
        if (!m_refresh.isActive() && isVisible())
            m_refresh.start();
    });

    chooseFile = [this](FileUse use) {
        // A log goes on after what the file holds, so picking an existing one asks nothing.
        return use == FileUse::Save
                   ? QFileDialog::getSaveFileName(this, QStringLiteral("Save the traffic"),
                                                  QDir::homePath())
                   : QFileDialog::getSaveFileName(this, QStringLiteral("Log the traffic to"),
                                                  QDir::homePath(), QString(), nullptr,
                                                  QFileDialog::DontConfirmOverwrite);
    };
}

TrafficMonitor::~TrafficMonitor()
{
    if (m_saving) {
        m_saving->wait();
        delete m_saving;
    }
}

void TrafficMonitor::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}

void TrafficMonitor::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void TrafficMonitor::refresh()
{
    showFileStatus();
    if (!isVisible() || m_pause->isChecked())
        return;
    QScrollBar *bar = m_view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_model->sync();
    if (atEnd)
        m_view->scrollToBottom();
}

void TrafficMonitor::setStatus(const QString &text)
{
    m_status->setText(text);
}

QString TrafficMonitor::status() const
{
    return m_status->text();
}

QList<int> TrafficMonitor::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString TrafficMonitor::copiedText()
{
    // What is shown, brought up to date first unless paused.
    refresh();
    QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        for (int row = 0; row < m_model->rowCount(); ++row)
            rows << row;
    }
    QStringList lines;
    for (int row : rows)
        lines << m_model->line(row);
    return lines.join(u'\n') + (lines.isEmpty() ? QString() : QStringLiteral("\n"));
}

void TrafficMonitor::save()
{
    const QString path = chooseFile(FileUse::Save);
    if (path.isEmpty())
        return;
    // The selected lines, or the whole record, also what came in while paused.
    std::vector<TrafficEntry> entries;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        entries.assign(m_log.entries().begin(), m_log.entries().end());
    for (int row : rows)
        entries.push_back(m_model->entry(row));
    // A copy of the entries is written on a thread of its own: a slow or full disk never holds
    // up the line.
    const qsizetype count = qsizetype(entries.size());
    auto error = std::make_shared<QString>();
    m_saving =
        QThread::create([path, error, hex = m_hex->isChecked(), entries = std::move(entries)] {
            *error = saveTraffic(path, entries, hex);
        });
    m_save->setEnabled(false);
    connect(m_saving, &QThread::finished, this, [this, path, count, error] {
        // finished comes from the thread's last moments: it has ended once wait returns.
        QThread *done = std::exchange(m_saving, nullptr);
        done->wait();
        delete done;
        m_save->setEnabled(true);
        if (!error->isEmpty()) {
            m_saved.clear();
            m_boxes.show(QStringLiteral("The traffic was not saved: %1").arg(*error), Title,
                         MessageBoxes::Critical, MessageBoxes::Ok);
        } else {
            m_saved = QStringLiteral("Saved %1 lines to %2")
                          .arg(count)
                          .arg(QDir::toNativeSeparators(path));
        }
        showFileStatus();
    });
    m_saving->start();
}

void TrafficMonitor::setLogging(bool on)
{
    if (!on) {
        m_file.close();
    } else if (!m_file.isOpen()) {
        const QString path = chooseFile(FileUse::Log);
        const QString error = path.isEmpty() ? QString() : m_file.open(path);
        if (path.isEmpty() || !error.isEmpty()) {
            const QSignalBlocker block(m_logging);
            m_logging->setChecked(false);
        }
        if (!error.isEmpty())
            m_boxes.show(QStringLiteral("Cannot log to %1").arg(error), Title,
                         MessageBoxes::Critical, MessageBoxes::Ok);
    }
    showFileStatus();
}

void TrafficMonitor::logFailed(const QString &message)
{
    {
        const QSignalBlocker block(m_logging);
        m_logging->setChecked(false);
    }
    showFileStatus();
    // Shown from the event loop rather than from inside the exchange whose entry it could not
    // write, which goes on meanwhile.
    QTimer::singleShot(0, this, [this, message] {
        m_boxes.show(
            QStringLiteral("Logging stopped: %1. The traffic in memory is kept.").arg(message),
            Title, MessageBoxes::Critical, MessageBoxes::Ok);
    });
}

void TrafficMonitor::showFileStatus()
{
    m_fileStatus->setText(m_file.isOpen() ? QStringLiteral("Logging to %1, %2")
                                                .arg(QDir::toNativeSeparators(m_file.fileName()),
                                                     QLocale().formattedDataSize(m_file.size()))
                                          : m_saved);
}
