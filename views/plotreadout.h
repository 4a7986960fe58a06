// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTREADOUT_H
#define PLOTREADOUT_H

#include <QColor>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <QWidget>

#include <functional>

class QCustomPlot;
class QMouseEvent;

// The plot's readout: while the pointer is over the plot's axis rect, a vertical line at the frame
// under it and a small label with that frame's number and time and the value of each shown curve
// there, each beside its colour. It is a widget laid over the plot, hidden (and so costing
// nothing) while the pointer is elsewhere; shown, it follows the plot's refreshes.
class PlotReadout : public QWidget
{
    Q_OBJECT
public:
    // `microsAt` gives the time of a frame's key, -1 when unknown.
    PlotReadout(QCustomPlot *plot, std::function<qint64(double)> microsAt);

    // The label's lines: the frame, then one per shown curve ("Sensor0X  -94").
    QStringList lines() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Line
    {
        QColor colour; // invalid for the frame's line
        QString text;
    };

    void follow(QMouseEvent *event);
    void takeValues();
    void stop();
    QRect labelRect(int lineHeight, int rows, int columnWidth, int columns) const;

    QCustomPlot *m_plot;
    std::function<qint64(double)> m_microsAt;
    QPoint m_pointer;
    double m_key = 0;
    QList<Line> m_lines;
    int m_widestText = 0;
    QMetaObject::Connection m_followingReplots;
};

#endif // PLOTREADOUT_H
