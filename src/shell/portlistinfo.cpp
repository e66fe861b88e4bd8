#include "shell/portlistinfo.h"

#include "link/portresolver.h"

#include <QComboBox>
#include <QLabel>

namespace {

QString entryText(int number, const PortTarget &target)
{
    return QStringLiteral("COM%1: %2").arg(number).arg(target.description);
}

}  // namespace

PortListInfo::PortListInfo(QComboBox *list, QLabel *label, QObject *parent)
    : QObject(parent), m_list(list), m_label(label)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(250);
    connect(&m_settle, &QTimer::timeout, this, &PortListInfo::refresh);
    connect(&m_devices, &Os::DeviceWatch::changed, this, [this] { m_settle.start(); });
    connect(m_list, &QComboBox::currentIndexChanged, this, [this] { showSelected(); });
    // Asking the system for its serial ports takes tens of milliseconds: done once the window has
    // been drawn rather than before it shows.
    QTimer::singleShot(150, this, &PortListInfo::refresh);
}

void PortListInfo::refresh()
{
    const QList<PortTarget> targets = PortResolver::resolveAll(int(m_list->count()));
    for (int i = 0; i < targets.size(); ++i)
        m_list->setItemData(i, entryText(i + 1, targets.at(i)), Qt::ToolTipRole);
    showSelected(targets.value(m_list->currentIndex()));
}

void PortListInfo::showSelected()
{
    // Looked up afresh: a pinned device can vanish without the watched folders changing.
    const int index = m_list->currentIndex();
    showSelected(index < 0 ? PortTarget() : PortResolver::resolve(index + 1));
}

void PortListInfo::showSelected(const PortTarget &target)
{
    const int index = m_list->currentIndex();
    if (index < 0) {
        m_label->clear();
        m_list->setToolTip(QString());
        return;
    }
    const QString text = entryText(index + 1, target);
    m_list->setItemData(index, text, Qt::ToolTipRole);
    m_list->setToolTip(text);
    m_label->setText(text);
}
