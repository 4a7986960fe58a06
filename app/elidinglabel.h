// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ELIDINGLABEL_H
#define ELIDINGLABEL_H

#include <QLabel>

// A one-line label that gives up width when its row is short of room: the text is then drawn
// shortened with an ellipsis at `mode`, and shown whole in the tooltip.
class ElidingLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidingLabel(Qt::TextElideMode mode, QWidget *parent = nullptr);

    // The text, and the same text as the tooltip, since it may be drawn shortened.
    void setWholeText(const QString &text);

    QSize minimumSizeHint() const override;
    // Whether the whole text fits as the label is laid out now.
    bool showsWholeText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode m_mode;
};

#endif // ELIDINGLABEL_H
