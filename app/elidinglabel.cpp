// SPDX-License-Identifier: GPL-3.0-or-later
#include "elidinglabel.h"

#include <QPainter>
#include <QStyle>

ElidingLabel::ElidingLabel(Qt::TextElideMode mode, QWidget *parent)
    : QLabel(parent)
    , m_mode(mode)
{
    setTextFormat(Qt::PlainText);
}

void ElidingLabel::setWholeText(const QString &text)
{
    setText(text);
    setToolTip(text);
}

QSize ElidingLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

bool ElidingLabel::showsWholeText() const
{
    return fontMetrics().horizontalAdvance(text()) <= contentsRect().width();
}

void ElidingLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), m_mode, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
