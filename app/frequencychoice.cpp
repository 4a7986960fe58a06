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
    m_index = 0;
}

void FrequencyChoice::show(int index)
{
    const int hz = sampleRateHz(index);
    if (hz == 0) {
        qCDebug(lcApp) << "sample frequency index out of range : " << index;
        m_box->setCurrentIndex(-1);
        return;
    }
    m_index = index;
    m_box->setCurrentIndex(m_box->findText(QString::number(hz)));
}
