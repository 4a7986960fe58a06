// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FREQUENCYCHOICE_H
#define FREQUENCYCHOICE_H

#include <QObject>

class QComboBox;

// The main window's sample-frequency box (SampleFreSelect): the card's rates in index order, so
// that an entry's position is the index sent to the card. It shows only what the card said:
// until the card has answered (at start, while the port is closed, after a read that got no
// answer) no entry is selected, the box shows "—" and its tooltip says why; choosing an entry
// then still asks the card for it. The index changes it makes itself select what the
// driver-card object already holds, so they send nothing.
class FrequencyChoice : public QObject
{
    Q_OBJECT
public:
    FrequencyChoice(QComboBox *box, QObject *parent);

    // The rate at `index` as the card reported it or the operator chose it; an index the table
    // lacks is shown as unknown rather than as a rate the card does not run at.
    void show(int index);
    void showUnknown();
    // The operator chose entry `index`.
    void choose(int index) { m_index = index; }
    int sampleFreIndex() const { return m_index; }
    void retranslate();

private:
    QComboBox *m_box;
    int m_index = 0;
};

#endif // FREQUENCYCHOICE_H
