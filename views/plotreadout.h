// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTREADOUT_H
#define PLOTREADOUT_H

#include <QColor>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <QWidget>

class FrameAxis;
class QCustomPlot;
class QMouseEvent;

// The plot's readout: while the pointer is over the plot's axis rect, a vertical line at the frame
// under it and a small label with that frame's number and time, the gap the pointer is over (its
// length and cause), and the value of each shown curve there, each beside its colour. It is a
// widget laid over the plot, hidden (and so costing nothing) while the pointer is elsewhere; shown,
// it follows the plot's refreshes.
class PlotReadout : public QWidget
{
    Q_OBJECT
public:
    // Frames stand where `axis` puts them.
    PlotReadout(QCustomPlot *plot, const FrameAxis *axis);

    // The label's lines: the frame, the gap when over one, then one per shown curve
    // ("Sensor0X  -94").
    QStringList lines() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Line
    {
        QColor colour; // invalid for the frame's and the gap's lines
        QString text;
    };

    void follow(QMouseEvent *event);
    void takeValues();
    void stop();
    QRect labelRect(int lineHeight, int rows, int columnWidth, int columns) const;

    QCustomPlot *m_plot;
    const FrameAxis *m_axis;
    QPoint m_pointer;
    double m_key = 0;
    double m_coordinate = 0;
    QList<Line> m_lines;
    int m_widestText = 0;
    QMetaObject::Connection m_followingReplots;
};

#endif // PLOTREADOUT_H
