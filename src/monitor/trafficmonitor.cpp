#include "monitor/trafficmonitor.h"

#include "monitor/trafficmodel.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

TrafficMonitor::TrafficMonitor(TrafficLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_log(log),
      m_model(new TrafficModel(log, this)),
      m_view(new QListView(this)),
      m_pause(new QPushButton(QStringLiteral("Pause"), this)),
      m_hex(new QCheckBox(QStringLiteral("Hex"), this)),
      m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("TrafficMonitor"));
    setWindowTitle(QStringLiteral("Traffic"));
    resize(760, 420);

    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pause->setObjectName(QStringLiteral("monitorPause"));
    m_pause->setCheckable(true);
    m_hex->setObjectName(QStringLiteral("monitorHex"));
    m_status->setObjectName(QStringLiteral("monitorStatus"));
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("monitorClear"));
    auto *copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("monitorCopy"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pause);
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addWidget(m_hex);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_view);
    layout->addWidget(m_status);

    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        if (!paused)
            refresh();
    });
    connect(clear, &QPushButton::clicked, &m_log, &TrafficLog::clear);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(copiedText()); });
    connect(m_hex, &QCheckBox::toggled, m_model, &TrafficModel::setHex);
    // The view follows the log a few times a second, and only while it is shown: recording
    // costs a line in a list, not a redraw.
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrafficMonitor::refresh);
}

void TrafficMonitor::showEvent(QShowEvent *event)
{
    refresh();
    m_refresh.start();
    QWidget::showEvent(event);
}

void TrafficMonitor::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void TrafficMonitor::refresh()
{
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

QString TrafficMonitor::copiedText()
{
    // What is shown, brought up to date first unless paused.
    refresh();
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        for (int row = 0; row < m_model->rowCount(); ++row)
            rows << row;
    }
    QStringList lines;
    for (int row : rows)
        lines << m_model->line(row);
    return lines.join(u'\n') + (lines.isEmpty() ? QString() : QStringLiteral("\n"));
}
