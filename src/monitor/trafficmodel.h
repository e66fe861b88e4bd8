#pragma once

#include "monitor/trafficlog.h"

#include <QAbstractListModel>

#include <deque>

// The log as a list for a view. It follows the log only when told to (sync), so a paused view
// stays as it is while recording goes on.
class TrafficModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit TrafficModel(const TrafficLog &log, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Takes in what the log gained and drops what it lost since the last call.
    void sync();
    void setHex(bool hex);
    QString line(int row) const;
    const TrafficEntry &entry(int row) const { return m_rows.at(size_t(row)); }

private:
    const TrafficLog &m_log;
    std::deque<TrafficEntry> m_rows;
    quint64 m_firstSeq = 0;  // sequence number of m_rows.front()
    bool m_hex = false;
};
