// SPDX-License-Identifier: GPL-3.0-or-later
#include "frequencychoice.h"

#include "samplerates.h"

#include <QComboBox>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcApp, "eskin.app")
} // namespace

FrequencyChoice::FrequencyChoice(QComboBox *box, QObject *parent)
    : QObject(parent)
    , m_box(box)
{
    for (int hz : kSampleRatesHz)
        box->addItem(QString::number(hz));
    box->setPlaceholderText(QStringLiteral("—"));
    m_index = 0;
    showUnknown();
}

void FrequencyChoice::show(int index)
{
    const int hz = sampleRateHz(index);
    if (hz == 0) {
        qCDebug(lcApp) << "sample frequency index out of range : " << index;
        showUnknown();
        return;
    }
    m_index = index;
    m_box->setCurrentIndex(m_box->findText(QString::number(hz)));
    m_box->setToolTip(QString());
}

void FrequencyChoice::showUnknown()
{
    m_box->setCurrentIndex(-1);
    retranslate();
}

void FrequencyChoice::retranslate()
{
    m_box->setToolTip(m_box->currentIndex() < 0
                          ? tr("驱动卡尚未告知其采样频率。选择一项即请驱动卡以该频率采样。")
                          : QString());
}
