// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FREQUENCYCHOICE_H
#define FREQUENCYCHOICE_H

#include <QObject>

class QComboBox;

// The main window's sample-frequency box (SampleFreSelect): the card's rates in index order, so
// that an entry's position is the index sent to the card, showing the rate the card reported.
// The index changes it makes itself select what the driver-card object already holds, so they
// send nothing.
class FrequencyChoice : public QObject
{
    Q_OBJECT
public:
    FrequencyChoice(QComboBox *box, QObject *parent);

    // The rate at `index` as the card reported it or the operator chose it; an index the table
    // lacks shows no entry rather than a rate the card does not run at.
    void show(int index);
    // The operator chose entry `index`.
    void choose(int index) { m_index = index; }
    int sampleFreIndex() const { return m_index; }

private:
    QComboBox *m_box;
    int m_index = 0;
};

#endif // FREQUENCYCHOICE_H
