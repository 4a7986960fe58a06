// SPDX-License-Identifier: GPL-3.0-or-later
#include "portchoice.h"

#include "myserialport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTimer>

#include <algorithm>

namespace {

// Room beside the text of a port in the drop-down: margins and a scroll bar.
constexpr int kPortListPadding = 40;

} // namespace

PortChoice::PortChoice(QComboBox *box, LinkPreferences *preferences, QObject *parent)
    : QObject(parent)
    , m_box(box)
    , m_preferences(preferences)
    , m_scanTimer(new QTimer(this))
    , m_reconnector(new PortReconnector(&m_ports, this))
{
    connect(m_scanTimer, &QTimer::timeout, this, &PortChoice::refreshSerialPorts);
    connect(m_reconnector, &PortReconnector::waitChanged, this, &PortChoice::followWait);
    m_reconnector->setEnabled(preferences->autoReconnect);
}

QString PortChoice::selectedPort() const
{
    return m_box->itemText(m_portIndex);
}

bool PortChoice::isEmpty() const
{
    return m_box->count() == 0;
}

void PortChoice::setExtraPorts(const QStringList &ports)
{
    m_ports.setExtraPorts(ports);
    refreshSerialPorts();
}

void PortChoice::preferPort(const QString &portName)
{
    m_asked = portName;
    refreshSerialPorts();
    selectWanted();
}

// Once the wait is over, the next scan lists what is there.
void PortChoice::followWait(ReconnectWait wait, const QString &portName)
{
    m_awaited = wait == ReconnectWait::None ? QString() : portName;
    if (m_awaited.isEmpty())
        return;
    refreshSerialPorts();
    selectWanted();
}

// A port asked for that does not exist goes first; one that exists is listed as any other.
QStringList PortChoice::listedNames() const
{
    QStringList names = m_ports.presentNames();
    for (const QString &asked : {m_asked, m_awaited}) {
        if (!asked.isEmpty() && !names.contains(asked) && PortList::devicePath(asked).isEmpty())
            names.prepend(asked);
    }
    return names;
}

void PortChoice::followCard(MySerialport *card)
{
    m_reconnector->followCard(card);
    connect(card, &MySerialport::portOpened, this, &PortChoice::rememberOpenedPort);
}

void PortChoice::setAutoReconnect(bool on)
{
    m_preferences->autoReconnect = on;
    m_preferences->save();
    m_reconnector->setEnabled(on);
}

void PortChoice::rememberOpenedPort(const QString &portName, int baudRate)
{
    if (m_preferences->portName == portName && m_preferences->baudRate == baudRate)
        return;
    m_preferences->portName = portName;
    m_preferences->baudRate = baudRate;
    m_preferences->save();
}

void PortChoice::startScanning()
{
    m_scanTimer->start(kScanIntervalMs);
}

void PortChoice::stopScanning()
{
    m_scanTimer->stop();
}

void PortChoice::choose(int index)
{
    m_portIndex = index;
    m_box->setToolTip(m_box->currentData(Qt::ToolTipRole).toString());
}

void PortChoice::refreshSerialPorts()
{
    const QStringList names = listedNames();
    // Only a change in the number of ports rebuilds the list, so that the choice survives.
    if (names.size() == m_box->count())
        return;
    m_box->clear();
    m_box->addItems(names);
    showPathsWhole();
    if (m_box->count() == 1) {
        m_portIndex = 0;
        m_box->setCurrentIndex(0);
    }
    selectWanted();
}

// The box is narrow: its drop-down is as wide as the longest name, and every entry has the
// whole path as its tooltip.
void PortChoice::showPathsWhole()
{
    int widest = m_box->width();
    for (int i = 0; i < m_box->count(); ++i) {
        const QString name = m_box->itemText(i);
        m_box->setItemData(i, PortList::location(name), Qt::ToolTipRole);
        widest = std::max(widest,
                          m_box->view()->fontMetrics().horizontalAdvance(name) + kPortListPadding);
    }
    m_box->view()->setMinimumWidth(widest);
    m_box->setToolTip(m_box->currentData(Qt::ToolTipRole).toString());
}

void PortChoice::selectWanted()
{
    const QString wanted = !m_awaited.isEmpty() ? m_awaited
                           : !m_asked.isEmpty() ? m_asked
                                                : m_preferences->portName;
    const int index = m_box->findText(wanted);
    if (!wanted.isEmpty() && index >= 0)
        m_box->setCurrentIndex(index);
}
