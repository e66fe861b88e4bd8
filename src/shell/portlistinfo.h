#pragma once

#include "link/portresolver.h"
#include "platform/os.h"

#include <QObject>
#include <QTimer>

class QComboBox;
class QLabel;

// Shows which device each name of the port list stands for, without touching the list's texts:
// a tool tip on every entry and, in the label beside the list, the selected entry's device. The
// display follows adapters being plugged in or out and links being placed in the link folder.
class PortListInfo : public QObject
{
    Q_OBJECT
public:
    PortListInfo(QComboBox *list, QLabel *label, QObject *parent = nullptr);

    // Resolves every entry again and redraws.
    void refresh();

private:
    void showSelected();
    void showSelected(const PortTarget &target);

    QComboBox *m_list;
    QLabel *m_label;
    Os::DeviceWatch m_devices;
    // One refresh for a burst of changes (a plugged adapter adds several nodes and links).
    QTimer m_settle;
};
