#include "monitor/trafficmodel.h"

TrafficModel::TrafficModel(const TrafficLog &log, QObject *parent)
    : QAbstractListModel(parent), m_log(log)
{
    connect(&log, &TrafficLog::cleared, this, [this] {
        beginResetModel();
        m_rows.clear();
        m_firstSeq = m_log.endSeq();
        endResetModel();
    });
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= int(m_rows.size()))
        return QVariant();
    return line(index.row());
}

QString TrafficModel::line(int row) const
{
    return entryLine(m_rows.at(size_t(row)), m_hex);
}

void TrafficModel::sync()
{
    const quint64 endShown = m_firstSeq + quint64(m_rows.size());
    // What the log no longer keeps goes from the top.
    const quint64 firstKept = qMax(m_log.firstSeq(), m_firstSeq);
    const int gone = int(qMin<quint64>(firstKept - m_firstSeq, m_rows.size()));
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, gone - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + gone);
        m_firstSeq += quint64(gone);
        endRemoveRows();
    }
    if (m_rows.empty())
        m_firstSeq = qMax(m_firstSeq, m_log.firstSeq());
    const quint64 from = qMax(endShown, m_log.firstSeq());
    if (from >= m_log.endSeq())
        return;
    const int added = int(m_log.endSeq() - from);
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size()) + added - 1);
    const auto &entries = m_log.entries();
    for (quint64 seq = from; seq < m_log.endSeq(); ++seq)
        m_rows.push_back(entries.at(size_t(seq - m_log.firstSeq())));
    endInsertRows();
    // Rows beyond the log's bound: the view keeps no more than the log does.
    const int over = int(m_rows.size()) - int(TrafficLog::MaxEntries);
    if (over > 0) {
        beginRemoveRows(QModelIndex(), 0, over - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + over);
        m_firstSeq += quint64(over);
        endRemoveRows();
    }
}

void TrafficModel::setHex(bool hex)
{
    if (hex == m_hex)
        return;
    m_hex = hex;
    if (!m_rows.empty())
        emit dataChanged(index(0), index(int(m_rows.size()) - 1));
}
